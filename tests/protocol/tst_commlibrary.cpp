// DM_TEST_SANITIZE
#include "protocol/commlibrary.h"
#include "protocol/networksettings.h"
#include "protocol/pauselinkmessages.h"
#include "support/pauselinkframes.h"
#include "support/simulatedorvexnetwork.h"
#include "support/standincontroller.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

using namespace PauseLinkMessages;
using namespace PauseLinkFrames;

namespace {

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QString headerText(const char *sender, const char *command)
{
    return QStringLiteral("<!DOCTYPE document>\n<Envelope>\n <Header>\n  <SenderID>%1</SenderID>\n"
                          "  <TargetID>0</TargetID>\n  <RequestID>0</RequestID>\n"
                          "  <Command>%2</Command>\n </Header>\n")
        .arg(QLatin1String(sender), QLatin1String(command));
}

QNetworkAddressEntry entry(const char *ip, const char *mask)
{
    QNetworkAddressEntry e;
    e.setIp(QHostAddress(QLatin1String(ip)));
    e.setNetmask(QHostAddress(QLatin1String(mask)));
    return e;
}

} // namespace

class TestCommLibrary : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void pauseMessageIsExact();
    void registrationVariants_data();
    void registrationVariants();
    void announcementText();
    void announcementTargets();
    void answers_data();
    void answers();
    void frames_data();
    void frames();
    void framesBackToBack();

    void registersThenPausesAndRepeats();
    void otherClientNameRegistersOtherVariant();
    void secondAnswerFromSameAddressOpensNoConnection();
    void malformedAndRefusedAnswersAreSkipped();
    void answerAfterWindowIsIgnored();
    void vanishedControllerIsDropped();
    void garbageFromControllerIsDiscarded();
};

void TestCommLibrary::init()
{
    NetworkSettings &s = NetworkSettings::instance();
    s.restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
    s.pauseReplyPort = 38081;
    s.pauseAnnouncementPort = 36775;
    s.pauseReplyWindowMs = 300;
    s.pauseRepeatMs = 150;
}

void TestCommLibrary::cleanup()
{
    NetworkSettings::instance().restoreDefaults();
}

void TestCommLibrary::pauseMessageIsExact()
{
    const QByteArray body =
        utf16le(headerText("3166485691", "113") + QStringLiteral(" <Body/>\n</Envelope>\n"));
    QCOMPARE(body.size(), 368);
    QCOMPARE(pause(), QByteArray("Content-Length: 368\r\n\r\n") + body);
}

void TestCommLibrary::registrationVariants_data()
{
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("product") << "Dallowmere"
                             << "3166485692"
                             << "Dallowmere";
    QTest::newRow("case differs") << "dallowmere"
                                  << "3166485691"
                                  << "Corvanel";
    QTest::newRow("other") << "Something"
                           << "3166485691"
                           << "Corvanel";
}

void TestCommLibrary::registrationVariants()
{
    QFETCH(QString, client);
    QFETCH(QString, id);
    QFETCH(QString, name);
    const QByteArray body = utf16le(
        headerText(id.toLatin1().constData(), "3") +
        QStringLiteral(" <Body>\n  <ID>%1</ID>\n  <Name>%2</Name>\n  <Type>3</Type>\n </Body>\n"
                       "</Envelope>\n")
            .arg(id, name));
    QCOMPARE(registration(client),
             "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

void TestCommLibrary::announcementText()
{
    QCOMPARE(announcement(QHostAddress(QStringLiteral("192.168.1.20")), 8081),
             QByteArray("3166485691:1:192.168.1.20:8081\n"));
}

void TestCommLibrary::announcementTargets()
{
    NetworkSettings::InterfaceInfo lo;
    lo.humanReadableName = QStringLiteral("lo");
    lo.up = lo.loopback = true;
    lo.addresses = {entry("127.0.0.1", "255.0.0.0"), entry("::1", "ffff:ffff::")};
    QVERIFY(PauseLinkMessages::announcementTargets({lo}).isEmpty());

    NetworkSettings::InterfaceInfo lan;
    lan.humanReadableName = QStringLiteral("lan");
    lan.up = true;
    lan.addresses = {entry("fe80::1", "ffff:ffff:ffff:ffff::"),
                     entry("192.168.1.20", "255.255.255.0"), entry("10.2.0.7", "255.255.0.0")};
    const QList<AnnouncementTarget> targets = PauseLinkMessages::announcementTargets({lo, lan});
    QCOMPARE(targets.size(), 2);
    QCOMPARE(targets.at(0).local, QHostAddress(QStringLiteral("192.168.1.20")));
    QCOMPARE(targets.at(0).broadcast, QHostAddress(QStringLiteral("192.168.1.255")));
    QCOMPARE(targets.at(1).broadcast, QHostAddress(QStringLiteral("10.2.255.255")));
}

void TestCommLibrary::answers_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("four fields") << QByteArray("a:b:10.0.0.5:4000\n") << true << "10.0.0.5" << 4000;
    QTest::newRow("line feeds anywhere")
        << QByteArray("a:b:10.0.0.5:40\n00\n") << true << "10.0.0.5" << 4000;
    QTest::newRow("highest port") << QByteArray("a:b:1.2.3.4:65535") << true << "1.2.3.4" << 65535;
    QTest::newRow("three fields") << QByteArray("b:10.0.0.5:4000\n") << false << "" << 0;
    QTest::newRow("five fields") << QByteArray("a:b:10.0.0.5:4000:x\n") << false << "" << 0;
    QTest::newRow("bad address") << QByteArray("a:b:10.0.0.300:4000") << false << "" << 0;
    QTest::newRow("short address") << QByteArray("a:b:10.0.5:4000") << false << "" << 0;
    QTest::newRow("port 0") << QByteArray("a:b:10.0.0.5:0") << false << "" << 0;
    QTest::newRow("port too big") << QByteArray("a:b:10.0.0.5:65536") << false << "" << 0;
    QTest::newRow("port wraps") << QByteArray("a:b:10.0.0.5:4294971296") << false << "" << 0;
    QTest::newRow("signed port") << QByteArray("a:b:10.0.0.5:+80") << false << "" << 0;
    QTest::newRow("port with junk") << QByteArray("a:b:10.0.0.5:80x") << false << "" << 0;
    QTest::newRow("empty") << QByteArray() << false << "" << 0;
    QTest::newRow("oversize") << QByteArray("a:b:10.0.0.5:80") + QByteArray(2000, '\n') << false
                              << "" << 0;
}

void TestCommLibrary::answers()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, valid);
    const ControllerAnswer answer = parseAnswer(datagram);
    QCOMPARE(answer.valid, valid);
    if (valid) {
        QTEST(answer.address, "address");
        QTEST(int(answer.port), "port");
    }
}

void TestCommLibrary::frames_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("consumed");
    const int complete = int(FrameStatus::Complete);
    const int incomplete = int(FrameStatus::Incomplete);
    const int invalid = int(FrameStatus::Invalid);
    QTest::newRow("complete") << QByteArray("Content-Length: 4\r\n\r\nabcdXY") << complete << 25;
    QTest::newRow("empty body") << QByteArray("Content-Length: 0\r\n\r\n") << complete << 21;
    QTest::newRow("nothing yet") << QByteArray() << incomplete << 0;
    QTest::newRow("header so far") << QByteArray("Content-Len") << incomplete << 0;
    QTest::newRow("body short") << QByteArray("Content-Length: 368\r\n\r\nab") << incomplete << 0;
    QTest::newRow("absent length") << QByteArray("Host: x\r\n\r\nabcd") << invalid << 0;
    QTest::newRow("empty length") << QByteArray("Content-Length: \r\n\r\n") << invalid << 0;
    QTest::newRow("negative") << QByteArray("Content-Length: -4\r\n\r\nabcd") << invalid << 0;
    QTest::newRow("huge") << QByteArray("Content-Length: 99999999999999999999\r\n\r\n") << invalid
                          << 0;
    QTest::newRow("over limit") << QByteArray("Content-Length: 65538\r\n\r\n") << invalid << 0;
    QTest::newRow("odd") << QByteArray("Content-Length: 3\r\n\r\nabc") << invalid << 0;
    QTest::newRow("garbage") << QByteArray("\x01\x02garbage") << invalid << 0;
    QTest::newRow("endless header")
        << QByteArray("Content-Length: ") + QByteArray(100, '1') << invalid << 0;
}

void TestCommLibrary::frames()
{
    QFETCH(QByteArray, stream);
    const FrameResult result = readFrame(stream);
    QTEST(int(result.status), "status");
    QTEST(result.consumed, "consumed");
}

void TestCommLibrary::framesBackToBack()
{
    const QByteArray stream = registration(QStringLiteral("Dallowmere")) + pause();
    const FrameResult first = readFrame(stream);
    QCOMPARE(first.status, FrameStatus::Complete);
    QCOMPARE(stream.left(first.consumed), registration(QStringLiteral("Dallowmere")));
    const FrameResult second = readFrame(stream.mid(first.consumed));
    QCOMPARE(second.status, FrameStatus::Complete);
    QCOMPARE(second.body.size(), 368);
}

void TestCommLibrary::registersThenPausesAndRepeats()
{
    StandInController controller;
    QVERIFY(controller.isReady());
    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_COMPARE(controller.announcements().size(), 1);
    QCOMPARE(controller.announcements().first(), QByteArray("3166485691:1:127.0.0.1:38081\n"));
    QTRY_COMPARE(lib.controllerAddresses(), QStringList{QStringLiteral("127.0.0.1")});
    QTRY_COMPARE(controller.connections().size(), 1);
    // Registration, the pause when the window closes, then the repeats.
    QTRY_VERIFY(controller.frames(0).size() >= 3);
    const QList<QByteArray> frames = controller.frames(0);
    QCOMPARE(frames.at(0), registration(QStringLiteral("Dallowmere")));
    QCOMPARE(frames.at(1), pause());
    QCOMPARE(frames.at(2), pause());
    QCOMPARE(controller.announcements().size(), 1);
}

void TestCommLibrary::otherClientNameRegistersOtherVariant()
{
    StandInController controller;
    CommLibrary lib(QStringLiteral("Tool"));
    QTRY_VERIFY(controller.frames(0).size() >= 1);
    QCOMPARE(controller.frames(0).first(), registration(QStringLiteral("Corvanel")));
    QVERIFY(controller.frames(0).first() != registration(QStringLiteral("Dallowmere")));
}

void TestCommLibrary::secondAnswerFromSameAddressOpensNoConnection()
{
    StandInController controller;
    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_COMPARE(controller.connections().size(), 1);
    QVERIFY(controller.answer(controller.defaultAnswer()));
    // The first pause comes when the window closes, after the second answer was read.
    QTRY_VERIFY(controller.frames(0).size() >= 2);
    QCOMPARE(controller.connections().size(), 1);
    QCOMPARE(lib.controllerAddresses().size(), 1);
}

void TestCommLibrary::malformedAndRefusedAnswersAreSkipped()
{
    StandInController controller;
    controller.autoAnswer = false;
    StandInController sentinel(QHostAddress(QStringLiteral("127.0.0.2")), false);
    QVERIFY(sentinel.isReady());
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QByteArray refusedPort = QByteArray::number(closed.serverPort());
    closed.close();

    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_COMPARE(controller.announcements().size(), 1);
    const QByteArray port = QByteArray::number(controller.tcpPort());
    QVERIFY(controller.answer("b:127.0.0.1:" + port + "\n"));
    QVERIFY(controller.answer("a:b:127.0.0.1:" + port + ":x\n"));
    QVERIFY(controller.answer("a:b:127.0.0.1:" + refusedPort + "\n"));
    QVERIFY(controller.answer(sentinel.defaultAnswer()));
    QTRY_COMPARE(sentinel.connections().size(), 1);
    QCOMPARE(controller.connections().size(), 0);
    QCOMPARE(lib.controllerAddresses(), QStringList{QStringLiteral("127.0.0.2")});
}

void TestCommLibrary::answerAfterWindowIsIgnored()
{
    StandInController controller;
    StandInController late(QHostAddress(QStringLiteral("127.0.0.3")), false);
    QVERIFY(late.isReady());
    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_VERIFY(controller.frames(0).size() >= 2); // the window has closed
    QVERIFY(controller.answer(late.defaultAnswer()));
    const int seen = controller.frames(0).size();
    QTRY_VERIFY(controller.frames(0).size() >= seen + 2); // two more pause passes
    QCOMPARE(late.connections().size(), 0);
    QCOMPARE(lib.controllerAddresses().size(), 1);
}

void TestCommLibrary::vanishedControllerIsDropped()
{
    StandInController controller;
    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_COMPARE(lib.controllerAddresses().size(), 1);
    controller.vanish();
    QTRY_VERIFY(lib.controllerAddresses().isEmpty());
    QTRY_VERIFY(lib.findChildren<QTcpSocket *>().isEmpty());
}

void TestCommLibrary::garbageFromControllerIsDiscarded()
{
    StandInController controller;
    CommLibrary lib(QStringLiteral("Dallowmere"));
    QTRY_COMPARE(controller.connections().size(), 1);
    const QByteArray garbage(1 << 20, '\xA5');
    controller.sendToClients("Content-Length: -1\r\n\r\n");
    controller.sendToClients(garbage);
    controller.sendToClients("Content-Length: 99999999999\r\n\r\n");
    const int seen = controller.frames(0).size();
    QTRY_VERIFY(controller.frames(0).size() >= seen + 2);
    const QList<QTcpSocket *> sockets = lib.findChildren<QTcpSocket *>();
    QCOMPARE(sockets.size(), 1);
    QTRY_COMPARE(sockets.first()->bytesAvailable(), qint64(0));
    QCOMPARE(lib.controllerAddresses().size(), 1);
}

QTEST_GUILESS_MAIN(TestCommLibrary)
#include "tst_commlibrary.moc"
