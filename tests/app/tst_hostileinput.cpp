// Shared or deep group graphs, stalled or endless controllers, bad replies, a full disk.
#include "support/apptestsupport.h"

#include "app/processsignals.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/commlibrary.h"
#include "protocol/droppeddatagramlog.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "support/orvexreplycorpus.h"
#include "support/standincontroller.h"

#include <QtTest>

#include <sys/resource.h>

namespace {
enum Shape { Ladder, Dozen, ChainAtLimit, LongChain };
int debugLines = 0;

// Builds the shape over new lights (none reachable in a long chain); returns its top group.
Group *build(MapModel &map, int shape, int type, QList<quint64> &lights)
{
    DataSupply *ds = addInterface(&map, "Interface", QHostAddress("127.0.0.9"), 1);
    for (int i = 0; i < (shape == Dozen ? 12 : 2); ++i)
        lights << addLight(&map, ds, "Light", 0, 3 * i, QPointF())->uid();
    auto add = [&](const QList<quint64> &members) {
        auto *group = new Group(type, map.nextUid(), "Group");
        group->addChildren(members);
        map.addGroup(group);
        return group->uid();
    };
    QList<quint64> groups = shape == Dozen ? QList<quint64>() : lights;
    for (int i = 0; i < 30 && shape == Ladder; ++i) // each level's pair holds the next pair
        groups = {add(groups), add(groups)};
    for (int i = 0; i < 12 && shape == Dozen; ++i)
        groups << add({lights.at(i)});
    for (int i = 0; i < 12 && shape == Dozen; ++i)
        map.group(groups.at(i))->addChildren(groups);
    for (int i = shape == ChainAtLimit ? Group::MaxWalkDepth : 20000; i > 0 && shape > Dozen; --i)
        groups = {add(groups)};
    if (shape == LongChain)
        lights.clear();
    return map.group(groups.first());
}
} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void groupWalksListEachLightOncePerStep_data();
    void groupWalksListEachLightOncePerStep();
    void controllersNeitherBlockNorRepeatNorOverflow();
    void shortAndFloodingRepliesAreDroppedQuietly();
    void saveBeyondTheFileSizeLimitFailsAndKeepsTheMap();
};

void TestHostileInput::groupWalksListEachLightOncePerStep_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("type"); // chasing or synchronized
    for (int row = 0; row < 8; ++row)
        QTest::addRow("shape %d type %d", row / 2, row % 2 + 1) << row / 2 << row % 2 + 1;
}

void TestHostileInput::groupWalksListEachLightOncePerStep()
{
    QFETCH(int, shape);
    QFETCH(int, type);
    MapModel map;
    QList<quint64> lights;
    Group *top = build(map, shape, type, lights);
    QCOMPARE(top->orderedLightUids().size(), lights.size());
    QSet<quint64> listed;
    for (const QVector<quint64> &step : top->lightMatrix().stepLightUids) {
        QCOMPARE(QSet<quint64>(step.begin(), step.end()).size(), step.size());
        listed += QSet<quint64>(step.begin(), step.end());
    }
    QCOMPARE(listed, QSet<quint64>(lights.begin(), lights.end()));
    if (shape == Ladder)
        QCOMPARE(top->stepCount(), type == Group::Chasing ? 2 : 1);
}

void TestHostileInput::controllersNeitherBlockNorRepeatNorOverflow()
{
    NetworkSettings &s = NetworkSettings::instance();
    s.pauseReplyWindowMs = 300;
    s.pauseConnectWaitMs = 4000; // a burst overflows a listen queue: the kernel retries in 1 s
    // Never accepting and queueing one connection (the filler), it leaves later ones hanging.
    QTcpServer stalled;
    stalled.setMaxPendingConnections(0);
    stalled.setListenBacklogSize(0);
    QVERIFY(stalled.listen(QHostAddress::AnyIPv4));
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, stalled.serverPort());
    QVERIFY(filler.waitForConnected());
    StandInController controller, everywhere(QHostAddress::AnyIPv4, false);
    controller.autoAnswer = false;
    CommLibrary lib("Dallowmere");
    QTRY_COMPARE(controller.announcements().size(), 1);
    // Five stalled addresses three times each, then one more live one than there is room for.
    for (int i = 0; i < 15 + CommLibrary::MaxControllers - 4; ++i) {
        const quint16 port = i < 15 ? stalled.serverPort() : everywhere.tcpPort();
        QVERIFY(controller.answer("3166485691:1:127.0.0." +
                                  QByteArray::number(i < 15 ? 3 + i % 5 : i) + ':' +
                                  QByteArray::number(port)));
    }
    QTest::ignoreMessage(QtDebugMsg, "CommLibrary ignored 1 controller answers beyond the limit "
                                     "of 64 controllers");
    // Blocking for the connect wait on each stalled answer would hold the loop far longer.
    QTRY_VERIFY_WITH_TIMEOUT(everywhere.frames(CommLibrary::MaxControllers - 6).size() >= 2, 3000);
    QCOMPARE(lib.findChildren<QTcpSocket *>().size(), CommLibrary::MaxControllers);
    QCOMPARE(everywhere.connections().size(), CommLibrary::MaxControllers - 5);
    QTRY_COMPARE(lib.controllerAddresses().size(), CommLibrary::MaxControllers - 5);
}

void TestHostileInput::shortAndFloodingRepliesAreDroppedQuietly()
{
    for (const QByteArray &d : OrvexReplyCorpus::shortPortReplies())
        QVERIFY(std::holds_alternative<std::monostate>(OrvexDatagrams::parseReply(d, 1)));
    DroppedDatagramLog log;
    QCOMPARE(log.noteAt(0) + log.noteAt(999) + log.noteAt(1000), 1 + 0 + 2);
    QTest::ignoreMessage(QtDebugMsg, "one \"quoted\"");
    DroppedDatagramLog::writeReplyLine(1, QStringLiteral("one \"quoted\""));
    QTest::ignoreMessage(QtDebugMsg, "three (3 such replies since the last line)");
    DroppedDatagramLog::writeReplyLine(3, QStringLiteral("three"));
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &) { ++debugLines; });
    for (int i = 0; i < 5000; ++i)
        OrvexDatagrams::parseReply(OrvexReplyCorpus::shortPortReplies().first(), 1);
    qInstallMessageHandler(previous);
    QVERIFY2(debugLines <= 2, qPrintable(QString::number(debugLines)));
}

// The main window shows "Save Failed" whenever saving the map fails.
void TestHostileInput::saveBeyondTheFileSizeLimitFailsAndKeepsTheMap()
{
    ProcessSignals::ignoreFileSizeLimitSignal();
    QTemporaryDir dir;
    MapModel map;
    QList<quint64> lights;
    build(map, Dozen, Group::Chasing, lights);
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const rlimit small{512, previous.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = map.saveMap(dir.filePath("big.map"));
    setrlimit(RLIMIT_FSIZE, &previous);
    QVERIFY(!saved && !QFile::exists(dir.filePath("big.map")));
    QCOMPARE(map.lights().size(), 12);
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
