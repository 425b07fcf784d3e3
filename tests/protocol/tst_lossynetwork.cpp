#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"
#include "support/buildscale.h"
#include "support/lightdiscoveryrig.h"
#include "support/simulatedorvexnetwork.h"

#include <QLoggingCategory>
#include <QtTest>

using Iface = SimulatedOrvexInterface;

namespace {

// Four interfaces and 28 lights: a version 1 interface with four lights and three CA lights, a
// version 2 interface with six lights on two ports and two RDM lights, a version 3 interface
// with fixture counts of two and three lights, and one whose every answer is one datagram with
// three serial numbers on ports 1 and 2 and a fixture of five lights on port 3.
void buildSite(SimulatedOrvexNetwork &net)
{
    Iface *a = net.addInterface(QHostAddress("127.0.0.2"));
    a->identity.serial = 0x0A000001;
    for (quint64 serial = 0x140001; serial <= 0x140004; ++serial)
        a->lights.append({serial, 1, {}, {}});
    a->caCounts = Iface::CACounts{2, 1};
    Iface *b = net.addInterface(QHostAddress("127.0.0.3"));
    b->identity.serial = 0x0B000002;
    b->identity.protocolVersion = 2;
    b->ports = {{1, 1}, {2, 1}};
    for (quint64 serial = 0x150001; serial <= 0x150006; ++serial)
        b->lights.append({serial, quint8(serial <= 0x150003 ? 1 : 2), {}, {}});
    b->lights.append({0x5651A0000001, 2, {}, {}});
    b->lights.append({0x5651A0000002, 2, {}, {}});
    Iface *c = net.addInterface(QHostAddress("127.0.0.4"));
    c->identity.form = Iface::DiscoverForm::Version3;
    c->identity.serial = 0xC0C000000003;
    c->identity.protocolVersion = 3;
    c->ports = {{1, 3}, {2, 3}};
    c->fixtureCounts = {{1, {2, 3}}};
    Iface *d = net.addInterface(QHostAddress("127.0.0.5"));
    d->identity.form = Iface::DiscoverForm::Version3;
    d->identity.serial = 0xD0D000000004;
    d->identity.protocolVersion = 3;
    d->ports = {{1, 1}, {2, 1}, {3, 3}};
    d->lights = {{0x160001, 1, {}, {}}, {0x160002, 1, {}, {}}, {0x160003, 2, {}, {}}};
    d->fixtureCounts = {{3, {5}}};
}

// What the site holds, as the road reports it: each interface with its port count, then each
// interface's lights in the order the devices list them.
const QStringList &expectedRoad()
{
    static const QStringList road = [] {
        QStringList lines = {"a000001 ports 1", "b000002 ports 2", "c0c000000003 ports 2",
                             "d0d000000004 ports 3"};
        for (quint64 serial = 0x140001; serial <= 0x140004; ++serial)
            lines << QStringLiteral("a000001 port 0 light %1").arg(serial, 0, 16);
        lines << "a000001 port 0 batch of 3";
        for (quint64 serial = 0x150001; serial <= 0x150006; ++serial)
            lines << QStringLiteral("b000002 port %1 light %2")
                         .arg(serial <= 0x150003 ? 0 : 1)
                         .arg(serial, 0, 16);
        lines << "b000002 port 1 light 5651a0000001"
              << "b000002 port 1 light 5651a0000002";
        lines << "c0c000000003 port 0 batch of 5";
        lines << "d0d000000004 port 0 light 160001"
              << "d0d000000004 port 0 light 160002"
              << "d0d000000004 port 1 light 160003"
              << "d0d000000004 port 2 batch of 5";
        return lines;
    }();
    return road;
}

// Runs the road as the wizards and the sync do (a discovery that asks every interface for its
// ports, then a scan of every interface, all at once) and returns what it found, ordered as
// expectedRoad() is.
QStringList runRoad(double lossRate, quint32 seed, int windowMs)
{
    SimulatedOrvexNetwork net;
    buildSite(net);
    net.setLoss(lossRate, seed);
    MapModel map;
    EffectEngine effects(&map, 100);
    DiscoveryEngine engine(&map, &effects);
    QList<DataSupply *> found;
    QStringList interfaces;
    QHash<quint64, QStringList> lights;
    QObject::connect(&engine, &DiscoveryEngine::discoveredController, [&](DataSupply *ds) {
        found << ds;
        engine.discoverPorts(ds);
    });
    QObject::connect(&engine, &DiscoveryEngine::discoveredPorts, [&](quint64 uid, uint count) {
        interfaces << QStringLiteral("%1 ports %2").arg(uid, 0, 16).arg(count);
    });
    QObject::connect(&engine, &DiscoveryEngine::discoveredLight, [&](Light *l) {
        lights[l->dataSupplyUid()] << QStringLiteral("%1 port %2 light %3")
                                          .arg(l->dataSupplyUid(), 0, 16)
                                          .arg(l->port())
                                          .arg(l->serialNumber(), 0, 16);
    });
    QObject::connect(&engine, &DiscoveryEngine::discoveredLights, [&](QList<Light *> &list) {
        const Light *l = list.value(0);
        if (l)
            lights[l->dataSupplyUid()] << QStringLiteral("%1 port %2 batch of %3")
                                              .arg(l->dataSupplyUid(), 0, 16)
                                              .arg(l->port())
                                              .arg(list.size());
    });
    const auto lightCount = [&] {
        int count = 0;
        for (const QStringList &list : std::as_const(lights))
            count += int(list.size());
        return count;
    };
    // A road that finds less waits out the windows; the comparison tells what it missed.
    const auto waitUntil = [&](const std::function<bool()> &done, int limitMs = 0) {
        QEventLoop loop;
        const auto check = [&] {
            if (done())
                loop.quit();
        };
        QObject::connect(&engine, &DiscoveryEngine::discoveredPorts, &loop, check);
        QObject::connect(&engine, &DiscoveryEngine::discoveredLight, &loop, check);
        QObject::connect(&engine, &DiscoveryEngine::discoveredLights, &loop, check);
        QObject::connect(&engine, &DiscoveryEngine::lightCountsComplete, &loop, check);
        QTimer::singleShot(limitMs > 0 ? limitMs : windowMs, &loop, &QEventLoop::quit);
        if (!done())
            loop.exec();
    };
    engine.discoverControllers();
    waitUntil([&] { return interfaces.size() == 4; });
    for (DataSupply *ds : std::as_const(found))
        engine.discoverLights(ds);
    // Whatever is missing once the scans' window is over, or their counting, is missed; the
    // counted lights come once their rounds are over.
    waitUntil([&] { return lightCount() == 18; });
    waitUntil(
        [&] {
            return std::none_of(found.cbegin(), found.cend(),
                                [&](const DataSupply *ds) { return engine.isGatheringCounts(ds); });
        },
        60000);
    QStringList road = interfaces;
    road.sort();
    QList<quint64> owners = lights.keys();
    std::sort(owners.begin(), owners.end());
    for (const quint64 owner : std::as_const(owners))
        road << lights.value(owner);
    return road;
}

// What one sorted road has that the other lacks, each line marked with its side.
QStringList unlike(const QStringList &found, const QStringList &expected)
{
    QStringList lines;
    for (const QString &line : expected) {
        if (!found.contains(line))
            lines << QStringLiteral("lacks ") + line;
    }
    for (const QString &line : found) {
        if (found.count(line) > expected.count(line) && !lines.contains("extra " + line))
            lines << QStringLiteral("extra ") + line;
    }
    return lines;
}

} // namespace

// The discovery road on a link that loses datagrams at random, in both directions, from fixed
// seeds: each request goes out several times, so that nearly every seed finds everything.
class TestLossyNetwork : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { NetworkSettings::instance().restoreDefaults(); }
    void everythingIsFound_data();
    void everythingIsFound();
    void alikeFixturesSurviveLossAndCopies_data();
    void alikeFixturesSurviveLossAndCopies();
};

void TestLossyNetwork::initTestCase()
{
    // Repeated replies are dropped with a line each second; a hundred roads make many.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    NetworkSettings &settings = NetworkSettings::instance();
    settings.restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
    settings.requestRepeatMs = 15;
    LightDiscoveryRig::useShortCountRounds();
}

void TestLossyNetwork::everythingIsFound_data()
{
    QTest::addColumn<double>("lossRate");
    QTest::addColumn<int>("firstSeed");
    QTest::addColumn<int>("seeds");
    QTest::addColumn<int>("atLeast"); // seeds in which everything is found
    QTest::newRow("no loss") << 0.0 << 1 << 10 << 10;
    // A counted port whose answer is one datagram, beside serial lists: requests that go
    // unanswered are lost, not answers that disagree, so its lights come in every seed.
    QTest::newRow("5% loss, seeds 1-20") << 0.05 << 1 << 20 << 20;
    QTest::newRow("5% loss, seeds 21-100") << 0.05 << 21 << 80 << 78;
    QTest::newRow("20% loss") << 0.20 << 1 << 50 << 40;
}

void TestLossyNetwork::everythingIsFound()
{
    QFETCH(double, lossRate);
    QFETCH(int, firstSeed);
    QFETCH(int, seeds);
    QFETCH(int, atLeast);
    atLeast = shareForThisBuild(atLeast, seeds);
    seeds = seedsForThisBuild(seeds);
    // Long enough for every copy and its answer, even on a loaded machine; a road that finds
    // everything ends at once.
    const NetworkSettings &settings = NetworkSettings::instance();
    const int windowMs = settings.requestSends * settings.requestRepeatMs + 300;
    QStringList sorted = expectedRoad();
    sorted.sort();
    int complete = 0;
    QStringList missed;
    for (quint32 seed = firstSeed; seed < quint32(firstSeed + seeds); ++seed) {
        QStringList road = runRoad(lossRate, seed, windowMs);
        // With no loss, nothing may differ from the site, not even the order; a lost reply
        // whose copy comes later moves its lights back.
        if (lossRate == 0.0)
            QCOMPARE(road, expectedRoad());
        road.sort();
        if (road == sorted)
            ++complete;
        else
            missed << QStringLiteral("%1 (%2)").arg(seed).arg(unlike(road, sorted).join(", "));
    }
    qInfo().noquote() << QStringLiteral("%1: everything found in %2 of %3 seeds (missed: %4)")
                             .arg(QTest::currentDataTag())
                             .arg(complete)
                             .arg(seeds)
                             .arg(missed.isEmpty() ? QStringLiteral("none") : missed.join("; "));
    QVERIFY2(complete >= atLeast, qPrintable(missed.join("; ")));
}

void TestLossyNetwork::alikeFixturesSurviveLossAndCopies_data()
{
    QTest::addColumn<bool>("replyPerEntry");
    QTest::addColumn<double>("lossRate");
    QTest::addColumn<double>("copyRate");
    QTest::addColumn<int>("seeds");
    QTest::addColumn<int>("atLeast"); // seeds in which every light comes; none ever twice
    // clang-format off
    // A copied datagram makes its round disagree: the port then needs six rounds, which the
    // short gathering here does not always reach (named).
    QTest::newRow("packed, 10% copied") << false << 0.0 << 0.10 << 20 << 16;
    QTest::newRow("packed, 5% lost") << false << 0.05 << 0.0 << 20 << 20;
    QTest::newRow("packed, 1% lost and 1% copied") << false << 0.01 << 0.01 << 20 << 19;
    // One entry a reply: every port comes in alike datagrams, and a lost or copied one looks
    // the same in every answer, so once the link shows errors the ports are named, not guessed.
    // Such a scan runs until its gathering's time is up: fewer seeds.
    QTest::newRow("one entry a reply, 10% copied") << true << 0.0 << 0.10 << 10 << 0;
    QTest::newRow("one entry a reply, 5% lost") << true << 0.05 << 0.0 << 10 << 0;
    QTest::newRow("one entry a reply, 1% lost and 1% copied") << true << 0.01 << 0.01 << 10 << 0;
    // clang-format on
}

// Ports of alike fixtures, whose count entries are equal within and across datagrams, on a link
// that loses or copies datagrams at random: the scan tells the network's copies from the
// device's own alike entries by how the answers to its request copies agree.
void TestLossyNetwork::alikeFixturesSurviveLossAndCopies()
{
    QFETCH(bool, replyPerEntry);
    QFETCH(double, lossRate);
    QFETCH(double, copyRate);
    QFETCH(int, seeds);
    QFETCH(int, atLeast);
    atLeast = shareForThisBuild(atLeast, seeds);
    seeds = seedsForThisBuild(seeds);
    QVector<quint32> mixed; // 42 x [1, 2, 3]
    for (int i = 0; i < 42; ++i)
        mixed << 1 << 2 << 3;
    const QMap<quint8, QVector<quint32>> layout = {
        {1, QVector<quint32>(512, 1)}, {2, mixed}, {3, QVector<quint32>(130, 2)}};
    int exact = 0;
    QStringList fewer, wrong; // fewer: the short ports named as unsettled
    for (quint32 seed = 1; seed <= quint32(seeds); ++seed) {
        LightDiscoveryRig rig;
        rig.device->fixtureCounts = layout;
        rig.device->countsReplyPerEntry = replyPerEntry;
        rig.device->setLoss(lossRate, seed);
        rig.device->setDuplication(copyRate, seed);
        DataSupply *ds = rig.supply(0x990001, 2);
        ds->setPortCount(3);
        rig.engine->discoverLights(ds);
        QVERIFY(QTest::qWaitFor([&] { return !rig.countsComplete.isEmpty(); }, 120000));
        QMap<int, int> lights; // by 0-based port
        for (const QList<Light *> &batch : std::as_const(rig.batches))
            lights[batch.first()->port()] += int(batch.size());
        const int found = lights.value(0) + lights.value(1) + lights.value(2);
        if (lights == QMap<int, int>{{0, 512}, {1, 252}, {2, 260}})
            ++exact;
        else if (found < 1024 && !rig.unsettledPorts.isEmpty())
            fewer << QString::number(seed);
        else
            wrong << QString::number(seed);
    }
    qInfo().noquote() << QStringLiteral("%1: every light once in %2 of %3 seeds; unsettled "
                                        "named in %4, wrong in silence in %5")
                             .arg(QTest::currentDataTag())
                             .arg(exact)
                             .arg(seeds)
                             .arg(fewer.isEmpty() ? QStringLiteral("none") : fewer.join(' '),
                                  wrong.isEmpty() ? QStringLiteral("none") : wrong.join(' '));
    QVERIFY(exact >= atLeast);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(' ')));
}

QTEST_GUILESS_MAIN(TestLossyNetwork)
#include "tst_lossynetwork.moc"
