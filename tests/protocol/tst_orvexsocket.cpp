#include <QSignalSpy>
#include <QTest>

#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/osocket.h"
#include "support/orvexreplies.h"
#include "support/simulatedorvexnetwork.h"

// DM_TEST_SANITIZE

using namespace OrvexDatagrams;

namespace {

const QHostAddress Device("127.0.0.2");
constexpr quint32 Device32 = 0x7F000002;

} // namespace

// Every request goes over a real loopback socket to the simulated interface, and every
// reply kind comes back to its signal.
class TstOrvexSocket : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void constructionBroadcastsFiveSyncs();
    void discoverReachesEveryInterfaceInEveryForm();
    void discoverRejectsBadAddressText();
    void portDiscovery();
    void blinkScans();
    void eepromReadsByAddressRange();
    void deviceVariableAndRdmGet();
    void rawOnlyReplies();
    void dmxFrameAndPortOut();
    void invalidTargetsSendNothing();
    void repliesKeepArrivalOrder();
    void resetSocketKeepsWorking();
    void failedBindIsLoggedAndSurvived();

private:
    void sendRaw(const QByteArray &datagram);

    SimulatedOrvexNetwork *m_net = nullptr;
    SimulatedOrvexInterface *m_dev = nullptr;
    Orvex *m_orvex = nullptr;
};

void TstOrvexSocket::initTestCase()
{
    SimulatedOrvexNetwork::useLoopback();
}

void TstOrvexSocket::init()
{
    m_net = new SimulatedOrvexNetwork;
    QVERIFY(m_net->isListening());
    m_dev = m_net->addInterface(Device);
    QVERIFY(m_dev->isListening());
    m_orvex = new Orvex;
}

void TstOrvexSocket::cleanup()
{
    delete m_orvex;
    delete m_net;
}

void TstOrvexSocket::sendRaw(const QByteArray &datagram)
{
    QVERIFY(m_dev->sendRawTo(datagram, QHostAddress::LocalHost, m_orvex->socket()->localPort()));
}

void TstOrvexSocket::constructionBroadcastsFiveSyncs()
{
    QCOMPARE(m_orvex->socket()->localAddress(), QHostAddress(QHostAddress::LocalHost));
    QTRY_COMPARE(m_net->broadcastsWithCode(Sync).size(), 5);
    QCOMPARE(m_net->broadcastsWithCode(Sync).first(), buildSync());
    emit m_orvex->requestSyncPacket();
    QTRY_COMPARE(m_net->broadcastsWithCode(Sync).size(), 6);
}

void TstOrvexSocket::discoverReachesEveryInterfaceInEveryForm()
{
    SimulatedOrvexInterface *eo = m_net->addInterface(QHostAddress("127.0.0.3"));
    eo->identity.form = SimulatedOrvexInterface::DiscoverForm::SecondForm;
    SimulatedOrvexInterface *v3 = m_net->addInterface(QHostAddress("127.0.0.4"));
    v3->identity.form = SimulatedOrvexInterface::DiscoverForm::Version3;
    v3->identity.serial = 0xAB0000000001ull;
    v3->identity.protocolVersion = 3;
    v3->identity.versionText = "";
    v3->identity.idText = "V3 box";

    QByteArray mac, version, id;
    quint32 ip = 0, sn = 0;
    quint16 ver = 0;
    connect(m_orvex, &Orvex::signalDiscoverResponse, this,
            [&](char *m, quint32 i, quint32 s, quint16 v, quint32, char *vs, char *is) {
                mac = QByteArray(m, 6);
                ip = i;
                sn = s;
                ver = v;
                version = vs;
                id = is;
            });
    QSignalSpy classic(m_orvex, &Orvex::signalDiscoverResponse);
    QSignalSpy second(m_orvex, &Orvex::signalDiscoverEOResponse);
    QByteArray v3Id;
    quint64 v3Serial = 0;
    connect(m_orvex, &Orvex::signalDiscoverResponseV3, this,
            [&](char *, quint32, quint64 s, quint16, quint32, char *, char *is) {
                v3Serial = s;
                v3Id = is;
            });
    QSignalSpy third(m_orvex, &Orvex::signalDiscoverResponseV3);

    QVERIFY(m_orvex->sendDiscover("10.1.1.222"));
    QTRY_COMPARE(classic.size() + second.size() + third.size(), 3);
    QCOMPARE(classic.size(), 1);
    QCOMPARE(second.size(), 1);
    QCOMPARE(mac, m_dev->identity.mac);
    QCOMPARE(ip, Device32);
    QCOMPARE(sn, 0x12345678u);
    QCOMPARE(ver, quint16(1));
    QCOMPARE(version, QByteArray("1.2.3"));
    QCOMPARE(id, QByteArray("Simulated Interface"));
    QCOMPARE(second.first().at(1).toUInt(), 0x7F000003u);
    QCOMPARE(v3Serial, 0xAB0000000001ull);
    QCOMPARE(v3Id, QByteArray("V3 box"));
    QCOMPARE(m_net->broadcastsWithCode(Discover).first(), buildDiscover(0x0A0101DE));
}

void TstOrvexSocket::discoverRejectsBadAddressText()
{
    QTRY_COMPARE(m_net->broadcasts().size(), 5);
    QVERIFY(!m_orvex->sendDiscover("10.1.1"));
    QVERIFY(!m_orvex->sendDiscover("010.1.1.222"));
    QVERIFY(m_orvex->sendDiscover("10.1.1.223"));
    QTRY_COMPARE(m_net->broadcastsWithCode(Discover).size(), 1);
}

void TstOrvexSocket::portDiscovery()
{
    m_dev->ports = {{1, 0x11}, {2, 0x22}, {3, 0x33}};
    QByteArray numbers, types;
    quint32 ip = 0;
    QSignalSpy spy(m_orvex, &Orvex::signalDiscoverPortsResponse);
    connect(m_orvex, &Orvex::signalDiscoverPortsResponse, this,
            [&](unsigned int i, unsigned char count, unsigned char *n, unsigned char *t) {
                ip = i;
                numbers = QByteArray(reinterpret_cast<char *>(n), count);
                types = QByteArray(reinterpret_cast<char *>(t), count);
            });
    QVERIFY(m_orvex->sendDiscoverPorts("127.0.0.2"));
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(ip, Device32);
    QCOMPARE(numbers, QByteArray::fromHex("010203"));
    QCOMPARE(types, QByteArray::fromHex("112233"));
    QCOMPARE(m_dev->receivedWithCode(PortDiscovery).first(), buildPortDiscovery(Device32));
}

void TstOrvexSocket::blinkScans()
{
    m_dev->lights = {{0x10000001, 1, {}, {}},
                     {0x10000002, 2, {}, {}},
                     {0x10000003, 2, {}, {}},
                     {0x5651AA000001ull, 3, {}, {}}};
    QSignalSpy scan(m_orvex, &Orvex::signalBlinkScanResponse);
    QVERIFY(m_orvex->sendBlinkScan("127.0.0.2"));
    QTRY_COMPARE(scan.size(), 3);
    QCOMPARE(scan.at(0).at(0).toUInt(), Device32);
    QCOMPARE(scan.at(2).at(1).toUInt(), 0x10000003u);

    QSignalSpy sn(m_orvex, &Orvex::signalBlinkScan2SNResponse);
    QSignalSpy rdm(m_orvex, &Orvex::signalBlinkScan2ORDMResponse);
    QVERIFY(m_orvex->sendBlinkScan2("127.0.0.2"));
    QTRY_COMPARE(rdm.size(), 1);
    QCOMPARE(sn.size(), 2);
    QCOMPARE(sn.at(1).at(1).toUInt(), 2u);
    QCOMPARE(sn.at(1).at(2).toUInt(), 2u);
    QCOMPARE(sn.at(1).at(3).value<QVector<quint64>>(), QVector<quint64>({0x10000002, 0x10000003}));
    QCOMPARE(rdm.at(0).at(1).toUInt(), 3u);
    QCOMPARE(rdm.at(0).at(2).value<QVector<quint64>>(), QVector<quint64>({0x5651AA000001ull}));
}

void TstOrvexSocket::eepromReadsByAddressRange()
{
    m_dev->lights = {
        {0x20000001, 1, {{0x0040, 0x01}, {0x0305, 0x44}, {0x0A05, 1}, {0x0B07, 9}}, {}}};
    QSignalSpy ee(m_orvex, &Orvex::signalBlinkEEReadResponse);
    QSignalSpy pixel(m_orvex, &Orvex::signalPixelTokenByteReadResponse);
    QSignalSpy telemetry(m_orvex, &Orvex::signalTelemetryByteReadResponse);
    QVERIFY(m_orvex->sendEERead("127.0.0.2", 0x20000001, 0x0040));
    QVERIFY(m_orvex->sendEERead("127.0.0.2", 0x20000001, 0x0A05)); // answered by no signal
    QVERIFY(m_orvex->sendEERead("127.0.0.2", 0x20000001, 0x0305));
    QVERIFY(m_orvex->sendEERead("127.0.0.2", 0x20000001, 0x0B07));
    QTRY_COMPARE(telemetry.size(), 1);
    QCOMPARE(ee.size(), 1);
    QCOMPARE(ee.first(), QVariantList({Device32, 0x20000001u, 0x40, 0x01}));
    QCOMPARE(pixel.size(), 1);
    QCOMPARE(pixel.first().at(2).toUInt(), 3u);
    QCOMPARE(pixel.first().at(3).toUInt(), 5u);
    QCOMPARE(pixel.first().at(4).toUInt(), 0x44u);
    QCOMPARE(telemetry.first().at(2).toUInt(), 0x0B07u);
    QCOMPARE(m_dev->receivedWithCode(EERead).first(), buildEERead(0x20000001, 0x0040));
}

void TstOrvexSocket::deviceVariableAndRdmGet()
{
    m_dev->deviceVariables.insert(0x0021, 0xCAFEF00D);
    SimulatedOrvexInterface::Light rdmLight;
    rdmLight.serial = 0x123456789ABCull;
    rdmLight.rdm.insert(RdmDeviceInfo, QByteArray::fromHex("01000A1F0101000000000003"));
    m_dev->lights = {rdmLight};
    QSignalSpy variable(m_orvex, &Orvex::signalDeviceVariableReply);
    QSignalSpy rdm(m_orvex, &Orvex::signalRDMGetReply);
    m_orvex->sendGetDeviceVariable("127.0.0.2", 0x0021);
    QVERIFY(m_orvex->sendRdmGet("127.0.0.2", 0x123456789ABCull, RdmDeviceInfo));
    QTRY_COMPARE(rdm.size(), 1);
    QTRY_COMPARE(variable.size(), 1);
    QCOMPARE(variable.first(), QVariantList({Device32, 0x0021, 0xCAFEF00Du}));
    QCOMPARE(rdm.first().at(0).toUInt(), Device32);
    QCOMPARE(rdm.first().at(1).toULongLong(), 0x123456789ABCull);
    QCOMPARE(rdm.first().at(2).toUInt(), 0x0060u);
    QCOMPARE(rdm.first().at(3).toString(), QStringLiteral("D.0a1f-P.0101-F.0003"));
    QCOMPARE(m_dev->receivedWithCode(RdmGet).first(), buildRdmGet(0x123456789ABCull, 0x0060));
}

void TstOrvexSocket::rawOnlyReplies()
{
    QSignalSpy array(m_orvex, &Orvex::signalGetArrayReply);
    QSignalSpy bytes(m_orvex, &Orvex::signalGetByteArrayReply);
    QSignalSpy ca(m_orvex, &Orvex::signalCAScanResponse);
    QSignalSpy be(m_orvex, &Orvex::signalBEBlinkScanResponse);
    QSignalSpy token(m_orvex, &Orvex::signalExtPromTokenReadResponse);
    QSignalSpy caList(m_orvex, &Orvex::signalBlinkScan2CAResponse);
    sendRaw(OrvexReplies::arrayReply(7, {10, 20}));
    sendRaw(OrvexReplies::byteArrayReply(8, "xy"));
    sendRaw(OrvexReplies::caScanReply(0x0A000009, 2, 1));
    sendRaw(OrvexReplies::beBlinkScanReply(0x0A000009, 4, QByteArray::fromHex("010203040506")));
    sendRaw(OrvexReplies::memoryReadReply(ExtPromTokenReadReply, 77, 0x0102, 3));
    sendRaw(OrvexReplies::blinkScan2Reply(
        0x0A000009, 1, OrvexReplies::blinkScan2Entry(2, 2, OrvexReplies::serialPayload({4, 5}))));
    QByteArray ragged = OrvexReplies::blinkScan2Entry(3, 2, OrvexReplies::serialPayload({6, 7}));
    ragged[2] = 5;
    sendRaw(OrvexReplies::blinkScan2Reply(0x0A000009, 1, ragged));
    QTRY_COMPARE(caList.size(), 2);
    QCOMPARE(array.first().at(0).toUInt(), Device32);
    QCOMPARE(array.first().at(2).value<QList<quint32>>(), QList<quint32>({10, 20}));
    QCOMPARE(bytes.first().at(2).toByteArray(), QByteArray("xy"));
    QCOMPARE(ca.first(), QVariantList({0x0A000009u, 2, 1}));
    QCOMPARE(be.first().at(2).toByteArray(), QByteArray::fromHex("060504030201"));
    QCOMPARE(token.first(), QVariantList({Device32, 77u, 0x0102, 3}));
    QCOMPARE(caList.first().at(2).toUInt(), 2u);
    // The count is the entry length / 4; the list holds every value read.
    QCOMPARE(caList.at(1).at(2).toUInt(), 1u);
    QCOMPARE(caList.at(1).at(3).value<QVector<quint64>>(), QVector<quint64>({6, 7}));
}

void TstOrvexSocket::dmxFrameAndPortOut()
{
    const QByteArray data(600, '\x42');
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    QTest::ignoreMessage(QtDebugMsg, "Truncating: DMX data length exceed 512");
    QVERIFY(!m_orvex->sendDmxFrame("127.0.0.2", 0, 0, bytes, 600));
    QVERIFY(m_orvex->sendPortOut("127.0.0.2", 0xFFFFFFFF, 1, 0, 512, 0, bytes));
    emit m_orvex->requestSendPortOut("127.0.0.2", 5, 2, 0, 3, 0, bytes);
    QTRY_COMPARE(m_dev->receivedWithCode(PortOut).size(), 2);
    QTRY_COMPARE(m_dev->receivedWithCode(DmxOut).size(), 1);
    QCOMPARE(m_dev->receivedWithCode(DmxOut).first().size(), 533);
    QCOMPARE(m_dev->receivedWithCode(PortOut).at(0).size(), 536);
    QCOMPARE(m_dev->receivedWithCode(PortOut).at(1), buildPortOut(5, 2, 0, 0, bytes, 3));
}

void TstOrvexSocket::invalidTargetsSendNothing()
{
    QVERIFY(!m_orvex->sendBlinkScan("10.0.0.300"));
    QVERIFY(!m_orvex->sendBlinkScan2("127.0.0.02"));
    QVERIFY(!m_orvex->sendDiscoverPorts("127.0.0"));
    QVERIFY(!m_orvex->sendRdmGet("", 1, 0x60));
    QVERIFY(!m_orvex->sendEERead("localhost", 1, 0x40));
    QVERIFY(!m_orvex->sendDmxFrame("127.0.0.2 ", 0, 0, nullptr, 0));
    m_orvex->sendGetDeviceVariable("x", 1);
    // A good request after the bad ones is the first unicast the device sees.
    QVERIFY(m_orvex->sendBlinkScan("127.0.0.2"));
    QTRY_VERIFY(!m_dev->receivedWithCode(BlinkScan).isEmpty());
    for (const SimulatedOrvexInterface::Received &r : m_dev->received())
        QVERIFY(r.broadcast || r.code == BlinkScan);
}

void TstOrvexSocket::repliesKeepArrivalOrder()
{
    QList<quint32> order;
    connect(m_orvex, &Orvex::signalBlinkScanResponse, this,
            [&](unsigned int, unsigned int sn) { order.append(sn); });
    connect(m_orvex, &Orvex::signalDeviceVariableReply, this,
            [&](uint, quint16, quint32 value) { order.append(value); });
    {
        // Loopback delivers during the send, so all three wait in the socket when the reader
        // runs once.
        const QSignalBlocker blocker(m_orvex->socket());
        sendRaw(OrvexReplies::blinkScanReply(1, 100));
        sendRaw(OrvexReplies::deviceVariableReply(1, 200));
        sendRaw(OrvexReplies::blinkScanReply(1, 300));
        m_orvex->checkSocket();
    }
    QCOMPARE(order, QList<quint32>({100, 200, 300}));
}

void TstOrvexSocket::resetSocketKeepsWorking()
{
    m_dev->lights = {{0x30000001, 1, {}, {}}};
    const quint16 oldPort = m_orvex->socket()->localPort();
    m_orvex->resetSocket();
    QVERIFY(m_orvex->socket()->localPort() != 0);
    QVERIFY(m_orvex->socket()->localPort() != oldPort);
    QSignalSpy scan(m_orvex, &Orvex::signalBlinkScanResponse);
    QVERIFY(m_orvex->sendBlinkScan("127.0.0.2"));
    QTRY_COMPARE(scan.size(), 1);
    // Resetting again from inside a reply's slot must not break the reader.
    connect(m_orvex, &Orvex::signalBlinkScanResponse, m_orvex, &Orvex::resetSocket);
    QVERIFY(m_orvex->sendBlinkScan("127.0.0.2"));
    QTRY_COMPARE(scan.size(), 2);
}

void TstOrvexSocket::failedBindIsLoggedAndSurvived()
{
    // An address this machine does not have: the bind fails and the log line carries the
    // socket's error text as it is, unquoted.
    NetworkSettings::instance().bindAddress = QHostAddress(QStringLiteral("192.0.2.1"));
    QTest::ignoreMessage(
        QtDebugMsg, QRegularExpression(QStringLiteral("^OSocket failed to bind to port: [^\"]")));
    Orvex unbound;
    SimulatedOrvexNetwork::useLoopback();
    QVERIFY(!unbound.sendBlinkScan("10.0.0.300"));
}

QTEST_GUILESS_MAIN(TstOrvexSocket)
#include "tst_orvexsocket.moc"
