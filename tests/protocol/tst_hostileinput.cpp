// DM_TEST_SANITIZE
// What a hostile or faulty network sends: controller answers naming addresses that never
// connect, repeated or beyond any sane count; port replies short of their records; floods
// of bad replies.
#include "protocol/commlibrary.h"
#include "protocol/droppeddatagramlog.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "protocol/pauselinkmessages.h"
#include "support/orvexreplycorpus.h"
#include "support/simulatedorvexnetwork.h"
#include "support/standincontroller.h"

#include <QTcpSocket>
#include <QtTest>

using namespace OrvexDatagrams;

namespace {
int debugLines = 0;
void countDebugLines(QtMsgType type, const QMessageLogContext &, const QString &)
{
    debugLines += type == QtDebugMsg;
}

QByteArray answerFor(const QByteArray &address, quint16 port)
{
    return "3166485691:1:" + address + ':' + QByteArray::number(port) + '\n';
}
} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { NetworkSettings::instance().restoreDefaults(); }

    void stalledControllersNeitherBlockNorRepeat();
    void controllersAreCapped();
    void shortPortRepliesAreDropped();
    void droppedRepliesAreSummarised();
};

void TestHostileInput::init()
{
    NetworkSettings &s = NetworkSettings::instance();
    s.restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
    s.pauseReplyPort = 38082;
    s.pauseAnnouncementPort = 36776;
    s.pauseReplyWindowMs = 300;
    s.pauseRepeatMs = 150;
}

void TestHostileInput::stalledControllersNeitherBlockNorRepeat()
{
    NetworkSettings::instance().pauseConnectWaitMs = 3000;
    StandInController controller;
    controller.autoAnswer = false;
    StandInController sentinel(QHostAddress(QStringLiteral("127.0.0.2")), false);
    const quint16 stalled = controller.stallingPort();
    QVERIFY(stalled != 0 && sentinel.isReady());

    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_COMPARE(controller.announcements().size(), 1);
    // Blocking for the connect wait on each would hold the loop far beyond the wait below.
    for (int i = 3; i < 8; ++i) {
        const QByteArray address = "127.0.0." + QByteArray::number(i);
        for (int repeat = 0; repeat < 3; ++repeat)
            QVERIFY(controller.answer(answerFor(address, stalled)));
    }
    QVERIFY(controller.answer(sentinel.defaultAnswer()));
    QTRY_VERIFY_WITH_TIMEOUT(sentinel.frames(0).size() >= 2, 2500);
    QCOMPARE(sentinel.frames(0).first(), PauseLinkMessages::registration("Dallowmere"));
    QCOMPARE(lib.controllerAddresses().size(), 6);
    QCOMPARE(lib.findChildren<QTcpSocket *>().size(), 6);
    // Past the connect wait the stalled ones are given up; the sentinel stays.
    QTRY_COMPARE(lib.controllerAddresses(), QStringList{QStringLiteral("127.0.0.2")});
}

void TestHostileInput::controllersAreCapped()
{
    // The listener's queue overflows under the burst: the kernel retries after a second.
    NetworkSettings::instance().pauseConnectWaitMs = 10000;
    StandInController controller;
    controller.autoAnswer = false;
    StandInController everywhere(QHostAddress(QHostAddress::AnyIPv4), false);
    QVERIFY(everywhere.isReady());
    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_COMPARE(controller.announcements().size(), 1);
    const int answers = CommLibrary::MaxControllers + 6;
    for (int i = 1; i <= answers; ++i)
        QVERIFY(
            controller.answer(answerFor("127.0.0." + QByteArray::number(i), everywhere.tcpPort())));
    QTest::ignoreMessage(QtDebugMsg, "CommLibrary ignored 6 controller answers beyond the limit "
                                     "of 64 controllers");
    QTRY_COMPARE(everywhere.connections().size(), CommLibrary::MaxControllers);
    QTRY_VERIFY(everywhere.frames(CommLibrary::MaxControllers - 1).size() >= 2);
    QCOMPARE(lib.controllerAddresses().size(), CommLibrary::MaxControllers);
}

void TestHostileInput::shortPortRepliesAreDropped()
{
    for (const QByteArray &d : OrvexReplyCorpus::shortPortReplies())
        QVERIFY(std::holds_alternative<std::monostate>(parseReply(d, 1)));
}

void TestHostileInput::droppedRepliesAreSummarised()
{
    DroppedDatagramLog log;
    QCOMPARE(log.noteAt(0), 1);
    for (qint64 t = 1; t < 1000; ++t)
        QCOMPARE(log.noteAt(t), 0);
    QCOMPARE(log.noteAt(1000), 1000);
    QCOMPARE(log.noteAt(60000), 1);

    // A flood through the parser writes a line or two, not one per datagram.
    const QtMessageHandler previous = qInstallMessageHandler(countDebugLines);
    for (int i = 0; i < 5000; ++i)
        parseReply(OrvexReplyCorpus::shortPortReplies().first(), 1);
    qInstallMessageHandler(previous);
    QVERIFY2(debugLines <= 2, qPrintable(QString::number(debugLines)));
}

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
