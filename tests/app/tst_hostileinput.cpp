// DM_TEST_SANITIZE
// Hostile and unlucky input: group graphs that share members or chain deep, controller
// answers that never connect or never end, short and flooding replies, a full disk.
#include "support/apptestsupport.h"

#include "app/metatool.h"
#include "app/processsignals.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "protocol/commlibrary.h"
#include "protocol/droppeddatagramlog.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "support/orvexreplycorpus.h"
#include "support/standincontroller.h"

#include <QAction>
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
    for (int i = 0; i < 30 && shape == Ladder; ++i)
        groups = {add(groups), add(groups)};
    for (int i = 0; i < 12 && shape == Dozen; ++i)
        groups << add({lights.at(i)});
    for (int i = 0; i < 12 && shape == Dozen; ++i)
        map.group(groups.at(i))->addChildren(groups);
    for (int i = shape == ChainAtLimit ? Group::MaxWalkDepth : 20000;
         i > 0 && shape >= ChainAtLimit; --i)
        groups = {add(groups)};
    if (shape == LongChain)
        lights.clear();
    return map.group(groups.first());
}

QByteArray answerFor(int host, quint16 port)
{
    return "3166485691:1:127.0.0." + QByteArray::number(host) + ':' + QByteArray::number(port);
}
} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void groupWalksListEachLightOncePerStep_data();
    void groupWalksListEachLightOncePerStep();
    void stalledControllersNeitherBlockNorRepeat();
    void controllersAreCapped();
    void shortAndFloodingRepliesAreDroppedQuietly();
    void saveBeyondTheFileSizeLimitFailsAndKeepsTheMap();
};

void TestHostileInput::init()
{
    NetworkSettings &s = NetworkSettings::instance();
    s.pauseReplyPort = 38082;
    s.pauseAnnouncementPort = 36776;
    s.pauseReplyWindowMs = 300;
    s.pauseRepeatMs = 150;
    s.pauseConnectWaitMs = 3000;
}

void TestHostileInput::groupWalksListEachLightOncePerStep_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("type");
    for (int shape : {Ladder, Dozen, ChainAtLimit, LongChain}) {
        for (int type : {int(Group::Chasing), int(Group::Synchronized)})
            QTest::addRow("shape %d type %d", shape, type) << shape << type;
    }
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
    SelectionEffect effect(&map, 0xFFFFFFFFu);
    effect.reset();
    QSignalSpy announced(&effect, &SelectionEffect::lightSelectionChanged);
    effect.setGroupSelected(top->uid(), true);
    QCOMPARE(announced.size(), top->lightMatrix().totalLightCount);
}

void TestHostileInput::stalledControllersNeitherBlockNorRepeat()
{
    // Never accepting and queueing one connection (the filler), it leaves later ones hanging.
    QTcpServer stalled;
    stalled.setMaxPendingConnections(0);
    stalled.setListenBacklogSize(0);
    QVERIFY(stalled.listen(QHostAddress::AnyIPv4));
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, stalled.serverPort());
    QVERIFY(filler.waitForConnected());
    StandInController controller, sentinel(QHostAddress("127.0.0.2"), false);
    controller.autoAnswer = false;
    CommLibrary lib("Dallowmere");
    QTRY_COMPARE(controller.announcements().size(), 1);
    for (int i = 0; i < 15; ++i)
        QVERIFY(controller.answer(answerFor(3 + i % 5, stalled.serverPort())));
    QVERIFY(controller.answer(sentinel.defaultAnswer()));
    // Blocking for the connect wait on each would hold the loop far longer.
    QTRY_VERIFY_WITH_TIMEOUT(sentinel.frames(0).size() >= 2, 2500);
    QCOMPARE(lib.findChildren<QTcpSocket *>().size(), 6);
    QCOMPARE(lib.controllerAddresses().size(), 6);
    QTRY_COMPARE(lib.controllerAddresses(), QStringList{"127.0.0.2"});
}

void TestHostileInput::controllersAreCapped()
{
    NetworkSettings::instance().pauseConnectWaitMs = 10000; // a burst overflows listen queues
    StandInController controller, everywhere(QHostAddress::AnyIPv4, false);
    controller.autoAnswer = false;
    CommLibrary lib("Dallowmere");
    QTRY_COMPARE(controller.announcements().size(), 1);
    for (int i = 1; i <= CommLibrary::MaxControllers + 6; ++i)
        QVERIFY(controller.answer(answerFor(i, everywhere.tcpPort())));
    QTest::ignoreMessage(QtDebugMsg, "CommLibrary ignored 6 controller answers beyond the limit "
                                     "of 64 controllers");
    QTRY_VERIFY(everywhere.frames(CommLibrary::MaxControllers - 1).size() >= 2);
    QCOMPARE(lib.controllerAddresses().size(), CommLibrary::MaxControllers);
    QCOMPARE(everywhere.connections().size(), CommLibrary::MaxControllers);
}

void TestHostileInput::shortAndFloodingRepliesAreDroppedQuietly()
{
    for (const QByteArray &d : OrvexReplyCorpus::shortPortReplies())
        QVERIFY(std::holds_alternative<std::monostate>(OrvexDatagrams::parseReply(d, 1)));
    DroppedDatagramLog log;
    QCOMPARE(log.noteAt(0), 1);
    QCOMPARE(log.noteAt(999), 0);
    QCOMPARE(log.noteAt(1000), 2);
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &) { ++debugLines; });
    for (int i = 0; i < 5000; ++i)
        OrvexDatagrams::parseReply(OrvexReplyCorpus::shortPortReplies().first(), 1);
    qInstallMessageHandler(previous);
    QVERIFY2(debugLines <= 2, qPrintable(QString::number(debugLines)));
}

void TestHostileInput::saveBeyondTheFileSizeLimitFailsAndKeepsTheMap()
{
    ProcessSignals::ignoreFileSizeLimitSignal();
    QTemporaryDir dir;
    ScriptedPrompt prompt;
    MetaTool w;
    QList<quint64> lights;
    build(*w.mapModel(), Dozen, Group::Chasing, lights);
    w.setDirty(true);
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small{512, previous.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    prompt.fileNames << dir.filePath("big");
    w.findChild<QAction *>("saveMapAsAction")->trigger();
    setrlimit(RLIMIT_FSIZE, &previous);
    QCOMPARE(prompt.titles.last(), QString("Save Failed"));
    QVERIFY(w.getDirty());
    QCOMPARE(w.mapModel()->lights().size(), 12);
    QVERIFY(!QFile::exists(dir.filePath("big.map")));
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
