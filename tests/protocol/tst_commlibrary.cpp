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

} // namespace

class TestCommLibrary : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void pauseMessageIsExact();
    void answers_data();
    void answers();
    void frames_data();
    void frames();

    void registersThenPausesAndRepeats();
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

QTEST_GUILESS_MAIN(TestCommLibrary)
#include "tst_commlibrary.moc"
