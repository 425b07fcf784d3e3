#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/ipv4address.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/orvexdatagrams.h"
#include "protocol/osocket.h"
#include "support/orvexreplies.h"
#include "support/simulatedorvexnetwork.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using Iface = SimulatedOrvexInterface;

class TestDiscoveryEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<DataSupply *>(); }
    void init();
    void cleanup();

    void discoversEveryInterfaceOnceWithEveryField();
    void portDiscoveryFillsPorts();
    void interfaceRepliesCountOnlyFromTheirHostWhenAsked_data();
    void interfaceRepliesCountOnlyFromTheirHostWhenAsked();
    void oneDiscoveryMakesAtMostMaxInterfaces();
    void requestsGoOutSeveralTimes_data();
    void requestsGoOutSeveralTimes();

private:
    Iface *addInterface(const char *ip, Iface::DiscoverForm form, quint64 serial, quint16 version);
    // Runs a discover and waits until `count` interfaces have answered.
    bool discover(DiscoveryEngine &engine, QSignalSpy &spy, int count);

    SimulatedOrvexNetwork *m_net = nullptr;
    MapModel *m_map = nullptr;
    EffectEngine *m_effects = nullptr;
};

void TestDiscoveryEngine::init()
{
    NetworkSettings::instance().restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
    m_net = new SimulatedOrvexNetwork;
    QVERIFY(m_net->isListening());
    m_map = new MapModel;
    m_effects = new EffectEngine(m_map, 100);
}

void TestDiscoveryEngine::cleanup()
{
    delete m_effects;
    delete m_map;
    delete m_net;
    NetworkSettings::instance().restoreDefaults();
}

Iface *TestDiscoveryEngine::addInterface(const char *ip, Iface::DiscoverForm form, quint64 serial,
                                         quint16 version)
{
    Iface *iface = m_net->addInterface(QHostAddress(QLatin1String(ip)));
    iface->identity.form = form;
    iface->identity.serial = serial;
    iface->identity.protocolVersion = version;
    return iface;
}

bool TestDiscoveryEngine::discover(DiscoveryEngine &engine, QSignalSpy &spy, int count)
{
    spy.clear();
    engine.discoverControllers();
    return QTest::qWaitFor([&] { return spy.size() >= count; }, 5000);
}

void TestDiscoveryEngine::discoversEveryInterfaceOnceWithEveryField()
{
    Iface *a = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x11223344, 1);
    a->identity.mac = QByteArray::fromHex("0011223344AB");
    a->identity.universe = 7;
    a->identity.versionText = "4.5.6";
    a->identity.idText = "Supply A";
    Iface *b = addInterface("127.0.0.3", Iface::DiscoverForm::Version3, 0x0000ABCD12345678, 3);
    b->identity.idText = "Wide Supply";
    // The second form is not one the engine listens to.
    addInterface("127.0.0.4", Iface::DiscoverForm::SecondForm, 0x55, 1);

    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy spy(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, spy, 2));
    QTest::qWait(50);
    QCOMPARE(spy.size(), 2);

    const QByteArray sent = m_net->broadcastsWithCode(OrvexDatagrams::Discover).value(0);
    quint32 carried = 0;
    QVERIFY(parseDottedQuad("10.1.1.222", &carried));
    QCOMPARE(sent, OrvexDatagrams::buildDiscover(carried));

    DataSupply *da = engine.controllerForUid(0x11223344);
    QVERIFY(da);
    QCOMPARE(da->type(), 2);
    QCOMPARE(da->uid(), quint64(0x11223344));
    QCOMPARE(da->serialNumber(), quint64(0x11223344));
    QCOMPARE(da->name(), QStringLiteral("Supply A"));
    QCOMPARE(da->family(), QStringLiteral("Supply A"));
    QCOMPARE(da->ipAddress(), QStringLiteral("127.0.0.2"));
    QCOMPARE(da->macAddress(), QStringLiteral("00:11:22:33:44:ab"));
    QCOMPARE(da->universe(), quint32(7));
    QCOMPARE(da->protocolVersion(), quint16(1));
    QCOMPARE(da->versionString(), QStringLiteral("4.5.6"));
    QVERIFY(!da->parent());

    DataSupply *db = engine.controllerForUid(0x0000ABCD12345678);
    QVERIFY(db);
    QCOMPARE(db->serialNumber(), quint64(0x0000ABCD12345678));
    QCOMPARE(db->ipAddress(), QStringLiteral("127.0.0.3"));
    QCOMPARE(db->protocolVersion(), quint16(3));
    QCOMPARE(db->name(), QStringLiteral("Wide Supply"));
    QCOMPARE(engine.controllerForUid(0x55), nullptr);
}

void TestDiscoveryEngine::portDiscoveryFillsPorts()
{
    Iface *a = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 2);
    a->ports = {{3, 1}, {1, 3}, {2, 2}};
    Iface *b = addInterface("127.0.0.3", Iface::DiscoverForm::Version3, 0x2002, 4);
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, found, 2));
    QSignalSpy ports(&engine, &DiscoveryEngine::discoveredPorts);
    DataSupply *ds = engine.controllerForUid(0x1001);
    engine.discoverPorts(ds);
    engine.discoverPorts(engine.controllerForUid(0x2002)); // version 4: nothing
    QTRY_COMPARE(ports.size(), 1);
    QCOMPARE(ports.at(0).at(0).toULongLong(), quint64(0x1001));
    QCOMPARE(ports.at(0).at(1).toUInt(), 3u);
    QCOMPARE(int(ds->portCount()), 3);
    QCOMPARE(int(ds->portNumber(0)), 3);
    QCOMPARE(int(ds->portNumber(1)), 1);
    QCOMPARE(int(ds->portNumber(2)), 2);
    QCOMPARE(int(ds->portType(1)), 3);
    QCOMPARE(int(ds->portType(2)), 2);
    QCOMPARE(ds->portIndexTable().value(0), quint8(1)); // port number 1 is at index 1
    QCOMPARE(ds->portIndexTable().value(2), quint8(0));
    QCOMPARE(a->receivedWithCode(OrvexDatagrams::PortDiscovery).size(), 1);
    QVERIFY(b->receivedWithCode(OrvexDatagrams::PortDiscovery).isEmpty());
}

void TestDiscoveryEngine::interfaceRepliesCountOnlyFromTheirHostWhenAsked_data()
{
    QTest::addColumn<bool>("discoverReply"); // else a port reply
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("asked");          // ports asked for, and the real answer lost
    QTest::addColumn<bool>("answeredBefore"); // ports asked for, and really answered first
    QTest::addColumn<bool>("rediscovered");   // a new discovery after the ports were asked for
    QTest::addColumn<bool>("taken");
    // clang-format off
    QTest::newRow("ports asked, from the host") << false << "127.0.0.2" << true << false << false << true;
    QTest::newRow("ports asked, forged") << false << "127.0.0.3" << true << false << false << false;
    QTest::newRow("ports never asked") << false << "127.0.0.2" << false << false << false << false;
    QTest::newRow("ports already answered") << false << "127.0.0.2" << false << true << false << false;
    QTest::newRow("ports asked before a new discovery") << false << "127.0.0.2" << true << false << true << false;
    QTest::newRow("discover, from the host") << true << "127.0.0.2" << false << false << false << true;
    QTest::newRow("discover, forged") << true << "127.0.0.3" << false << false << false << false;
    // clang-format on
}

// A reply naming 127.0.0.2 reaches the engine from `from`; a later discover reply of a third
// host tells when the engine has read it, since one socket reads in arrival order.
void TestDiscoveryEngine::interfaceRepliesCountOnlyFromTheirHostWhenAsked()
{
    QFETCH(bool, discoverReply);
    QFETCH(QString, from);
    QFETCH(bool, asked);
    QFETCH(bool, answeredBefore);
    QFETCH(bool, rediscovered);
    QFETCH(bool, taken);
    Iface *device = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 2);
    device->ports = {{1, 1}, {2, 1}};
    Iface *other = addInterface("127.0.0.3", Iface::DiscoverForm::Classic, 0x3003, 2);
    Iface *marker = addInterface("127.0.0.4", Iface::DiscoverForm::Classic, 0x4004, 2);
    other->answering = marker->answering = false;
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    QSignalSpy ports(&engine, &DiscoveryEngine::discoveredPorts);
    if (discoverReply) {
        device->answering = false;
        engine.discoverControllers();
    } else {
        QVERIFY(discover(engine, found, 1));
    }
    DataSupply *ds = engine.controllerForUid(0x1001);
    if (asked || answeredBefore) {
        device->faults[OrvexDatagrams::PortDiscovery].drop = asked ? 1000 : 0;
        engine.discoverPorts(ds);
        QTRY_COMPARE(device->receivedWithCode(OrvexDatagrams::PortDiscovery).size(), 1);
        if (answeredBefore)
            QTRY_COMPARE(ports.size(), 1);
    }
    if (rediscovered) {
        QVERIFY(discover(engine, found, 1));
        ds = engine.controllerForUid(0x1001);
    }
    const quint32 named = QHostAddress("127.0.0.2").toIPv4Address();
    const QByteArray reply =
        discoverReply
            ? OrvexReplies::discoverReply(OrvexDatagrams::DiscoverReply, QByteArray(6, 1), named,
                                          0x7007, 2, 0, "1", "Claimed")
            : OrvexReplies::portDiscoveryReply(named, {{1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 3}});
    const OSocket *socket = engine.orvex()->socket();
    Iface *sender = from == QLatin1String("127.0.0.2") ? device : other;
    QVERIFY(sender->sendRawTo(reply, socket->localAddress(), socket->localPort()));
    const QByteArray done = OrvexReplies::discoverReply(
        OrvexDatagrams::DiscoverReply, QByteArray(6, 4), QHostAddress("127.0.0.4").toIPv4Address(),
        0x4004, 2, 0, "1", "Marker");
    QVERIFY(marker->sendRawTo(done, socket->localAddress(), socket->localPort()));
    QTRY_VERIFY(engine.controllerForUid(0x4004));

    if (discoverReply) {
        QCOMPARE(engine.controllerForUid(0x7007) != nullptr, taken);
        return;
    }
    QCOMPARE(int(ds->portCount()), taken ? 5 : answeredBefore ? 2 : 1);
    QCOMPARE(int(ds->portType(0)), taken ? 3 : 1);
    QCOMPARE(int(ports.size()), int(taken || answeredBefore));
}

void TestDiscoveryEngine::oneDiscoveryMakesAtMostMaxInterfaces()
{
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    const int max = DiscoveryEngine::MaxInterfacesPerDiscovery;
    char mac[6] = {};
    char text[] = "x";
    const auto replyFrom = [&](quint32 ip) {
        engine.handleOrvexDiscoverResponse(mac, ip, ip, 2, 0, text, text);
    };
    engine.discoverControllers();
    QTest::ignoreMessage(QtDebugMsg, "Discovery: dropped 1 discover replies beyond 1024 "
                                     "interfaces, counted since the last line");
    for (quint32 ip = 1; ip <= quint32(max) + 100; ++ip)
        replyFrom(0x0A000000 + ip);
    QCOMPARE(int(found.size()), max);
    QVERIFY(engine.controllerForUid(0x0A000000 + max));
    QVERIFY(!engine.controllerForUid(0x0A000001 + max));
    // The next discovery starts its count anew.
    engine.discoverControllers();
    replyFrom(0x0B000001);
    QCOMPARE(int(found.size()), max + 1);
}

void TestDiscoveryEngine::requestsGoOutSeveralTimes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("answering");
    QTest::addColumn<int>("endAfter"); // ended (or started again) once this many arrived
    QTest::addColumn<int>("sent");     // with 5 sends in all
    // clang-format off
    QTest::newRow("discover") << QByteArray("discover") << true << 0 << 5;
    QTest::newRow("discover, started again") << QByteArray("discover") << true << 2 << 2 + 5;
    QTest::newRow("port request, answered") << QByteArray("ports") << true << 0 << 1;
    QTest::newRow("port request, unanswered") << QByteArray("ports") << false << 0 << 5;
    QTest::newRow("port request, discovery anew") << QByteArray("ports") << false << 2 << 2;
    QTest::newRow("blink scan") << QByteArray("v1 scan") << true << 0 << 5;
    QTest::newRow("blink scan 2") << QByteArray("v2 scan") << true << 0 << 5;
    QTest::newRow("blink scan 2, ended") << QByteArray("v2 scan") << true << 2 << 2;
    QTest::newRow("blink scan 2, started again") << QByteArray("v2 scan") << true << 2 << 2 + 5;
    // clang-format on
}

// Each copy leaves 40 ms after the last, until the request is answered (ports only), ended
// (a scan), or stopped by a new discovery (ports); starting it again starts a new sequence.
void TestDiscoveryEngine::requestsGoOutSeveralTimes()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, answering);
    QFETCH(int, endAfter);
    QFETCH(int, sent);
    const bool again = QByteArray(QTest::currentDataTag()).endsWith("started again");
    NetworkSettings &settings = NetworkSettings::instance();
    settings.requestSends = 5;
    settings.requestRepeatMs = 40;
    const quint16 version = request == "v1 scan" ? 1 : 2;
    Iface *device = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, version);
    device->ports = {{1, 1}};
    device->lights = {{0x140001, 1, {}, {}}};
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    QSignalSpy lights(&engine, &DiscoveryEngine::discoveredLight);
    DataSupply *ds = nullptr;
    if (request != "discover") {
        QVERIFY(discover(engine, found, 1));
        ds = engine.controllerForUid(0x1001);
        QTest::qWait(5 * settings.requestRepeatMs); // the discover's copies go first
    }
    device->answering = answering;
    device->clearReceived();
    const quint16 code = request == "discover" ? OrvexDatagrams::Discover
                         : request == "ports"  ? OrvexDatagrams::PortDiscovery
                         : version == 1        ? OrvexDatagrams::BlinkScan
                                               : OrvexDatagrams::BlinkScan2;
    const auto start = [&] {
        if (request == "discover")
            engine.discoverControllers();
        else if (request == "ports")
            engine.discoverPorts(ds);
        else
            engine.discoverLights(ds);
    };
    start();
    // On a loaded machine a copy may leave before the wait looks again: what follows counts
    // from how many had gone out when the test acted, the copy still unread included.
    int expected = sent;
    if (endAfter > 0) {
        QVERIFY(QTest::qWaitFor([&] { return device->receivedWithCode(code).size() >= endAfter; },
                                5000));
        m_net->readPending();
        expected = int(device->receivedWithCode(code).size()) + sent - endAfter;
        if (again)
            start();
        else if (request == "ports")
            engine.discoverControllers();
        else
            engine.endLightScan(ds);
    }
    // However late the timers fire, every copy due goes out, and none after the last.
    QTRY_COMPARE_WITH_TIMEOUT(int(device->receivedWithCode(code).size()), expected, 10000);
    QTest::qWait(3 * settings.requestRepeatMs);
    QCOMPARE(int(device->receivedWithCode(code).size()), expected);
    // The copies are answered, and each light counts once a scan.
    if (request.contains("scan"))
        QCOMPARE(lights.size(), again ? 2 : 1);
}

QTEST_GUILESS_MAIN(TestDiscoveryEngine)
#include "tst_discoveryengine.moc"
