// DM_TEST_SANITIZE
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

    void pausesEffectEngineAndRestores();
    void keepsEffectEnginePausedWhenItWasPaused();
    void discoversEveryInterfaceOnceWithEveryField();
    void duplicateReplyMakesNoSecondInterface();
    void newSearchForgetsEarlierResults();
    void portsOfVersionOneAreReportedAtOnce();
    void portDiscoveryFillsPorts();
    void portDiscoveryWithoutPortsEmptiesThem();
    void repliesForDeletedInterfacesAreSkipped();
    void lookupsOfUnknownIdsAreEmpty();
    void relaysInterfaceOutput();
    void deletesOnlyUnclaimedInterfaces();

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

void TestDiscoveryEngine::pausesEffectEngineAndRestores()
{
    m_effects->setPaused(false);
    {
        DiscoveryEngine engine(m_map, m_effects);
        QVERIFY(m_effects->isPaused());
    }
    QVERIFY(!m_effects->isPaused());
}

void TestDiscoveryEngine::keepsEffectEnginePausedWhenItWasPaused()
{
    m_effects->setPaused(true);
    {
        DiscoveryEngine engine(m_map, m_effects);
        QVERIFY(m_effects->isPaused());
    }
    QVERIFY(m_effects->isPaused());
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

void TestDiscoveryEngine::duplicateReplyMakesNoSecondInterface()
{
    Iface *a = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 1);
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy spy(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, spy, 1));
    // The same interface answers again, even under another serial number.
    const QByteArray again =
        OrvexReplies::discoverReply(OrvexDatagrams::DiscoverReply, a->identity.mac,
                                    a->address().toIPv4Address(), 0x2002, 1, 0, "1.0", "Again");
    QVERIFY(a->sendRaw(again));
    QVERIFY(a->sendRaw(again));
    QTest::qWait(50);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(engine.controllerForUid(0x2002), nullptr);
}

void TestDiscoveryEngine::newSearchForgetsEarlierResults()
{
    addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 1);
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy spy(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, spy, 1));
    auto *first = spy.at(0).at(0).value<DataSupply *>();
    QVERIFY(discover(engine, spy, 1));
    auto *second = spy.at(0).at(0).value<DataSupply *>();
    QVERIFY(first != second);
    QCOMPARE(engine.controllerForUid(0x1001), second);
}

void TestDiscoveryEngine::portsOfVersionOneAreReportedAtOnce()
{
    Iface *a = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 1);
    a->ports = {{1, 1}, {2, 1}};
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, found, 1));
    QSignalSpy ports(&engine, &DiscoveryEngine::discoveredPorts);
    DataSupply *ds = engine.controllerForUid(0x1001);
    const int portsBefore = ds->portCount();
    engine.discoverPorts(ds);
    QCOMPARE(ports.size(), 1);
    QCOMPARE(ports.at(0).at(0).toULongLong(), quint64(0x1001));
    QCOMPARE(ports.at(0).at(1).toUInt(), 1u);
    QCOMPARE(int(ds->portCount()), portsBefore);
    engine.discoverPorts(nullptr);
    QTest::qWait(50);
    QVERIFY(a->receivedWithCode(OrvexDatagrams::PortDiscovery).isEmpty());
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

void TestDiscoveryEngine::portDiscoveryWithoutPortsEmptiesThem()
{
    Iface *a = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 2);
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, found, 1));
    DataSupply *ds = engine.controllerForUid(0x1001);
    ds->setPortCount(2);
    QSignalSpy ports(&engine, &DiscoveryEngine::discoveredPorts);
    engine.discoverPorts(ds);
    QTRY_COMPARE(ports.size(), 1);
    QCOMPARE(ports.at(0).at(1).toUInt(), 0u);
    QCOMPARE(int(ds->portCount()), 0);
    Q_UNUSED(a)
}

void TestDiscoveryEngine::repliesForDeletedInterfacesAreSkipped()
{
    Iface *a = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 2);
    a->ports = {{1, 1}};
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, found, 1));
    QSignalSpy ports(&engine, &DiscoveryEngine::discoveredPorts);
    engine.discoverPorts(engine.controllerForUid(0x1001));
    // The caller throws the interface away while its port reply is on the way.
    delete engine.controllerForUid(0x1001);
    QCOMPARE(engine.controllerForUid(0x1001), nullptr);
    QTRY_COMPARE(a->receivedWithCode(OrvexDatagrams::PortDiscovery).size(), 1);
    QVERIFY(a->sendRaw(OrvexReplies::portDiscoveryReply(a->address().toIPv4Address(), {{1, 1}})));
    QTest::qWait(100);
    QCOMPARE(ports.size(), 0);

    // A discover reply from the same address is a new interface now.
    found.clear();
    QVERIFY(a->sendRaw(OrvexReplies::discoverReply(OrvexDatagrams::DiscoverReply, a->identity.mac,
                                                   a->address().toIPv4Address(), 0x1001, 2, 0,
                                                   "1.0", "Back")));
    QTRY_COMPARE(found.size(), 1);
    QCOMPARE(engine.controllerForUid(0x1001)->name(), QStringLiteral("Back"));
}

void TestDiscoveryEngine::lookupsOfUnknownIdsAreEmpty()
{
    DiscoveryEngine engine(m_map, m_effects);
    QCOMPARE(engine.controllerForUid(0x42), nullptr);
    QCOMPARE(engine.lightForSerial(0x42), nullptr);
    engine.removeLight(0x42);
    QVERIFY(!engine.isKnownId(0));
    QVERIFY(!engine.isKnownId(0xFFFFFFFF));
    QCOMPARE(engine.propertyNames().size(), 16);
}

void TestDiscoveryEngine::relaysInterfaceOutput()
{
    Iface *v1 = addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 1);
    Iface *v2 = addInterface("127.0.0.3", Iface::DiscoverForm::Classic, 0x2002, 2);
    v2->ports = {{4, 1}};
    DiscoveryEngine engine(m_map, m_effects);
    QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
    QVERIFY(discover(engine, found, 2));
    QSignalSpy ports(&engine, &DiscoveryEngine::discoveredPorts);
    engine.discoverPorts(engine.controllerForUid(0x2002));
    QTRY_COMPARE(ports.size(), 1);

    // Short, long and odd-headed data all go out as 512 bytes with start code and timer 0.
    DataSupply *ds1 = engine.controllerForUid(0x1001);
    emit ds1->signalSendDmxFrame(QStringLiteral("127.0.0.2"), 7, 9, QByteArray(3, '\x11'));
    emit ds1->signalSendDmxFrame(QStringLiteral("127.0.0.2"), 0, 0, QByteArray(600, '\x22'));
    QByteArray shortFrame(512, '\0');
    shortFrame.replace(0, 3, QByteArray(3, '\x11'));
    const QByteArray longFrame(512, '\x22');
    QTRY_COMPARE(v1->receivedWithCode(OrvexDatagrams::DmxOut).size(), 2);
    QCOMPARE(
        v1->receivedWithCode(OrvexDatagrams::DmxOut).at(0),
        OrvexDatagrams::buildDmxOut(0, 0, reinterpret_cast<const uchar *>(shortFrame.data()), 512));
    QCOMPARE(
        v1->receivedWithCode(OrvexDatagrams::DmxOut).at(1),
        OrvexDatagrams::buildDmxOut(0, 0, reinterpret_cast<const uchar *>(longFrame.data()), 512));

    DataSupply *ds2 = engine.controllerForUid(0x2002);
    ds2->lightsOn();
    const QByteArray full(512, '\xFF');
    QTRY_COMPARE(v2->receivedWithCode(OrvexDatagrams::PortOut).size(), 1);
    QCOMPARE(v2->receivedWithCode(OrvexDatagrams::PortOut).at(0),
             OrvexDatagrams::buildPortOut(0xFFFFFFFF, 4, 0, ds2->portStartCode(0),
                                          reinterpret_cast<const uchar *>(full.data()), 512));
}

void TestDiscoveryEngine::deletesOnlyUnclaimedInterfaces()
{
    addInterface("127.0.0.2", Iface::DiscoverForm::Classic, 0x1001, 1);
    addInterface("127.0.0.3", Iface::DiscoverForm::Classic, 0x2002, 1);
    addInterface("127.0.0.4", Iface::DiscoverForm::Classic, 0x3003, 1);
    addInterface("127.0.0.5", Iface::DiscoverForm::Classic, 0x4004, 1);
    QObject holder;
    QPointer<DataSupply> inMap, adopted, unclaimed, forgotten;
    {
        DiscoveryEngine engine(m_map, m_effects);
        QSignalSpy found(&engine, &DiscoveryEngine::discoveredController);
        QVERIFY(discover(engine, found, 4));
        inMap = engine.controllerForUid(0x1001);
        adopted = engine.controllerForUid(0x2002);
        unclaimed = engine.controllerForUid(0x3003);
        QVERIFY(m_map->addDataSupply(inMap));
        adopted->setParent(&holder);
        // Only 0x4004 answers the second search; 0x3003's first object drops out of the tables.
        m_net->interfaces().at(2)->answering = false;
        QVERIFY(discover(engine, found, 3));
        forgotten = unclaimed;
        unclaimed = engine.controllerForUid(0x4004);
        QVERIFY(forgotten && unclaimed);
    }
    QVERIFY(inMap);
    QCOMPARE(m_map->dataSupply(0x1001), inMap.data());
    QVERIFY(adopted);
    QVERIFY(!unclaimed);
    QVERIFY(!forgotten);
}

QTEST_GUILESS_MAIN(TestDiscoveryEngine)
#include "tst_discoveryengine.moc"
