#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "support/lightdiscoveryrig.h"
#include "support/orvexreplies.h"
#include "support/simulatedorvexnetwork.h"

#include <QPointer>
#include <QtEndian>
#include <QtTest>

using namespace OrvexDatagrams;
using Iface = SimulatedOrvexInterface;
Q_DECLARE_METATYPE(Iface::AnswerFaults)
using Serials = QMap<quint64, int>;            // serial -> 0-based port
using Layout = QMap<quint8, QVector<quint32>>; // fixture counts by 1-based port

// What a read leaves on a light, in one line.
static QString summary(const Light *l)
{
    // clang-format off
    return QStringLiteral("ch %1 curve %2 res %3 chem %4 hw %5 mode %6 | %7 | %8 | %9")
        .arg(l->dmxChannel()).arg(l->dimmingCurve()).arg(l->resolution()).arg(l->ledChemistry())
        .arg(l->hueweaveEnabled()).arg(l->colorControlMode()).arg(l->modelName(),
             l->property(QStringLiteral("Device Info")), l->property(QStringLiteral("DMX Personality")));
    // clang-format on
}

// The light of every read test, as the simulated device holds it.
static QList<Iface::Light> catalogueLights()
{
    // clang-format off
    return {
        Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 0x0120}, {"DIMMING_CURVE", 2},
            {"INPUT_RESOLUTION", 0}, {"LED_CHEMISTRY", 1}, {"HUEWEAVE_ENABLED", 4},
            {"HUEWEAVE_INPUT_MODE_5_CH", 2}}),
        Iface::catalogueLight(0x5651A0000007, 2, {{"RDM_DMX_ADDRESS", 17},
            {"RDM_DIMMING_CURVE", 2}, {"RDM_DMX_PERSONALITY", 0x0203}},
            QStringLiteral("D.0039-P.0509-F.0004")),
        Iface::catalogueLight(0x70140001, 1, {{"DMX_OFFSET", 5}}),
        {0x123400000001, 1, {}, {{RdmDeviceInfo, QByteArray(19, '\1')}}}};
    // clang-format on
}

// What another host would answer to a read request that it saw: the same serial number and
// address, with other values.
static QByteArray forgedAnswer(quint16 code, const QByteArray &request)
{
    const auto *bytes = reinterpret_cast<const uchar *>(request.constData());
    if (code == EERead && request.size() >= 18)
        return OrvexReplies::memoryReadReply(EEReadReply, qFromLittleEndian<quint32>(bytes + 12),
                                             qFromLittleEndian<quint16>(bytes + 16), 0x7E);
    if (code == RdmGet && request.size() >= 35) {
        const quint64 uid = (quint64(qFromBigEndian<quint16>(bytes + 15)) << 32) |
                            qFromBigEndian<quint32>(bytes + 17);
        return OrvexReplies::rdmGetReply(uid, qFromBigEndian<quint16>(bytes + 33),
                                         QByteArray(19, '\x7E'));
    }
    return {};
}

// Collects the debug lines written while it lives.
struct DebugLines
{
    DebugLines() { previous = qInstallMessageHandler(&DebugLines::keep); }
    ~DebugLines() { qInstallMessageHandler(previous); }
    static void keep(QtMsgType, const QMessageLogContext &, const QString &text) { lines << text; }
    static inline QStringList lines;
    QtMessageHandler previous;
};

// Light scans and reads of the discovery engine against the simulated device.
class TestLightDiscovery : public QObject
{
    Q_OBJECT
    std::unique_ptr<LightDiscoveryRig> m_rig;

private slots:
    void init() { m_rig = std::make_unique<LightDiscoveryRig>(); }
    void cleanup() { m_rig.reset(); }

    void singleLights_data()
    {
        QTest::addColumn<quint16>("version");
        QTest::addColumn<quint8>("rdmForm");
        QTest::addColumn<Serials>("expected");
        // clang-format off
        const quint64 rdm = 0x5651A0000001, v1 = 0x140001, v2 = 0x140002;
        QTest::newRow("v1 blink scan") << quint16(1) << quint8(4) << Serials{{v1, 0}, {v2, 0}};
        QTest::newRow("v2, short UIDs") << quint16(2) << quint8(4) << Serials{{v1, 0}, {v2, 1}, {rdm, 2}};
        QTest::newRow("v3, long UIDs") << quint16(3) << quint8(3) << Serials{{v1, 0}, {v2, 1}, {rdm, 2}};
        QTest::newRow("v4 sends nothing") << quint16(4) << quint8(4) << Serials{};
        // clang-format on
    }

    void singleLights()
    {
        QFETCH(quint16, version);
        QFETCH(quint8, rdmForm);
        QFETCH(Serials, expected);
        m_rig->device->lights = {
            {0x140001, 1, {}, {}}, {0x140002, 2, {}, {}}, {0x5651A0000001, 3, {}, {}}};
        m_rig->device->rdmUidForm = rdmForm;
        DataSupply *ds = m_rig->supply(0x00A00001, version);
        QVERIFY(m_rig->scan(ds, int(expected.size())));
        QTest::qWait(50);
        Serials got;
        for (Light *light : std::as_const(m_rig->found)) {
            got.insert(light->serialNumber(), light->port());
            QCOMPARE(light->dataSupplyUid(), ds->uid());
        }
        QCOMPARE(got, expected);
        QCOMPARE(m_rig->found.size(), expected.size());
    }

    void countedLights_data()
    {
        QTest::addColumn<quint16>("version");
        QTest::addColumn<quint64>("serial");
        QTest::addColumn<QList<int>>("channels");
        QTest::addColumn<QList<bool>>("fixtureHeads"); // empty: CA lights
        // clang-format off
        QTest::newRow("fixture counts 2, 3") << quint16(2) << quint64(0x990001)
            << QList<int>{0, 3, 0, 3, 6} << QList<bool>{true, false, true, false, false};
        QTest::newRow("CA scan 2 + 1") << quint16(1) << quint64(0x990001) << QList<int>{0, 3, 6} << QList<bool>{};
        QTest::newRow("CA scan, dropped range") << quint16(1) << quint64(0x39000010) << QList<int>{} << QList<bool>{};
        // clang-format on
    }

    void countedLights()
    {
        QFETCH(quint16, version);
        QFETCH(quint64, serial);
        QFETCH(QList<int>, channels);
        QFETCH(QList<bool>, fixtureHeads);
        m_rig->device->fixtureCounts = {{1, {2, 3}}};
        m_rig->device->caCounts = SimulatedOrvexInterface::CACounts{2, 1};
        DataSupply *ds = m_rig->supply(serial, version);
        QVERIFY(m_rig->scan(ds, 0, channels.isEmpty() ? 0 : 1));
        QTest::qWait(50);
        QCOMPARE(m_rig->batches.size(), channels.isEmpty() ? 0 : 1);
        const QList<Light *> batch = m_rig->batches.value(0);
        QCOMPARE(batch.size(), channels.size());
        for (int i = 0; i < batch.size(); ++i) {
            QCOMPARE(batch[i]->dmxChannel(), channels[i]);
            QCOMPARE(batch[i]->dataSupplyUid(), ds->uid());
            // Fixture lights carry the interface's serial, CA lights their own uid.
            QCOMPARE(batch[i]->serialNumber(), fixtureHeads.isEmpty() ? batch[i]->uid() : serial);
            QCOMPARE(batch[i]->uid() == batch[i]->fixture(), fixtureHeads.value(i));
        }
    }

    void repeatedRepliesMakeEachLightOnce_data()
    {
        QTest::addColumn<quint16>("version");
        QTest::addColumn<QList<quint64>>("serials"); // in the device's order
        QTest::addColumn<QList<int>>("batches");     // sizes
        QTest::addColumn<QVector<quint32>>("port1"); // fixture counts on port 1
        QTest::addColumn<bool>("replyPerEntry");
        const quint64 rdm = 0x5651A0000001, v1 = 0x140001, v2 = 0x140002;
        const QVector<quint32> twoThree{2, 3};
        // clang-format off
        QTest::newRow("v1: blink scan and CA counts") << quint16(1) << QList<quint64>{v1, v2} << QList<int>{3} << twoThree << false;
        QTest::newRow("v2: serials, UIDs, fixture counts") << quint16(2) << QList<quint64>{v1, v2, rdm} << QList<int>{5, 1} << twoThree << false;
        // 63 counts an entry: two equal entries of one reply are lights of their own.
        QTest::newRow("v2: equal count entries in one reply") << quint16(2) << QList<quint64>{v1, v2, rdm} << QList<int>{126, 1} << QVector<quint32>(126, 1) << false;
        QTest::newRow("v2: a port's counts over two replies") << quint16(2) << QList<quint64>{v1, v2, rdm} << QList<int>{70, 1} << QVector<quint32>(70, 1) << true;
        // One entry a reply, and two of them alike: only how often the copies bring them
        // tells them from the network's copies.
        QTest::newRow("v2: equal replies of a port") << quint16(2) << QList<quint64>{v1, v2, rdm} << QList<int>{126, 1} << QVector<quint32>(126, 1) << true;
        // clang-format on
    }

    // Every answer comes three times, to each of the scan's requests: each light is made once,
    // in the device's order. Fixture counts come over a link that copies a tenth of the
    // datagrams at random: one that copied every datagram alike could not be told from a device
    // that sends each of them that often.
    void repeatedRepliesMakeEachLightOnce()
    {
        QFETCH(quint16, version);
        QFETCH(QList<quint64>, serials);
        QFETCH(QList<int>, batches);
        QFETCH(QVector<quint32>, port1);
        QFETCH(bool, replyPerEntry);
        NetworkSettings::instance().requestRepeatMs = 20;
        m_rig->device->lights = {
            {0x140001, 1, {}, {}}, {0x140002, 2, {}, {}}, {0x5651A0000001, 2, {}, {}}};
        m_rig->device->fixtureCounts = {{1, port1}, {2, {1}}};
        m_rig->device->countsReplyPerEntry = replyPerEntry;
        m_rig->device->caCounts = SimulatedOrvexInterface::CACounts{2, 1};
        m_rig->device->faults[0] = {0, 0, 3, {}};
        if (version != 1) {
            m_rig->device->faults[BlinkScan2] = {};
            m_rig->device->setDuplication(0.1, 2);
        }
        QVERIFY(m_rig->scan(m_rig->supply(0x990001, version), int(serials.size()),
                            int(batches.size())));
        // Fixture counts stop the scan's copies and ask one request at a time: the scan's first
        // and at least one more, to check it.
        QTRY_VERIFY(m_rig->device->receivedWithCode(version == 1 ? BlinkScan : BlinkScan2).size() >=
                    (version == 1 ? 5 : 2));
        m_rig->waitOutCounts();
        QList<quint64> found;
        for (const Light *light : std::as_const(m_rig->found))
            found << light->serialNumber();
        QCOMPARE(found, serials);
        QList<int> sizes;
        for (const QList<Light *> &batch : std::as_const(m_rig->batches))
            sizes << int(batch.size());
        QCOMPARE(sizes, batches);
    }

    void countsComeWholeInTheDevicesOrder_data()
    {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<bool>("replyPerEntry");
        QTest::addColumn<int>("copied"); // percent of the datagrams the link sends twice
        const auto repeat = [](int times, const QVector<quint32> &counts) {
            QVector<quint32> all;
            for (int i = 0; i < times; ++i)
                all += counts;
            return all;
        };
        QVector<quint32> mixed; // 150 fixtures of 1 to 5 lights: three entries, none alike
        for (int i = 0; i < 150; ++i)
            mixed << quint32(1 + (i * 7 + i / 5) % 5);
        const QList<QPair<QByteArray, Layout>> layouts = {
            {"126 one-light fixtures", {{1, QVector<quint32>(126, 1)}}},
            {"170 three-light fixtures", {{1, QVector<quint32>(170, 3)}}},
            {"300 one-light fixtures", {{1, QVector<quint32>(300, 1)}}},
            {"512 one-light fixtures", {{1, QVector<quint32>(512, 1)}}},
            {"42 x [1,2,3]", {{1, repeat(42, {1, 2, 3})}}},
            {"150 mixed fixtures", {{1, mixed}}},
            // Port 1's alike entries fall on both sides of the first datagram's end.
            {"three ports",
             {{1, QVector<quint32>(200, 1)},
              {2, QVector<quint32>(130, 2)},
              {3, repeat(30, {3, 1})}}},
        };
        for (const auto &[name, layout] : layouts) {
            QTest::newRow(name + ", packed") << layout << false << 0;
            QTest::newRow(name + ", one entry a reply") << layout << true << 0;
        }
        QTest::newRow("512 one-light fixtures, packed, a tenth copied")
            << layouts.at(3).second << false << 10;
        // Alike datagrams on a link that copies: a lost or a copied one looks the same in
        // every answer, so the port is named rather than guessed.
        QTest::newRow("126 one-light fixtures, one entry a reply, a tenth copied")
            << layouts.at(0).second << true << 10;
    }

    // However a device packs a port's fixture counts, the port's lights come once, as one
    // batch in the device's order: each fixture whole, starting at channel 0, ports ascending.
    void countsComeWholeInTheDevicesOrder()
    {
        QFETCH(Layout, layout);
        QFETCH(bool, replyPerEntry);
        QFETCH(int, copied);
        m_rig->device->fixtureCounts = layout;
        m_rig->device->countsReplyPerEntry = replyPerEntry;
        m_rig->device->setDuplication(copied / 100.0, 2);
        DataSupply *ds = m_rig->supply(0x990001, 2);
        ds->setPortCount(3);
        m_rig->engine->discoverLights(ds);
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->countsComplete, QList<quint64>{ds->uid()}, 10000);
        m_rig->waitOutCounts();
        QCOMPARE(m_rig->countsComplete.size(), 1);
        if (replyPerEntry && copied > 0) {
            QVERIFY(m_rig->batches.isEmpty());
            QCOMPARE(m_rig->unsettledPorts, QList<int>{0});
            QCOMPARE(m_rig->engine->countDoubt(ds->uid(), 0), CountAnswers::Doubt::Disagreed);
            return;
        }
        QList<int> ports;
        for (const QList<Light *> &batch : std::as_const(m_rig->batches)) {
            ports << batch.first()->port();
            QVector<quint32> fixtures;
            for (const Light *light : batch) {
                QCOMPARE(light->port(), ports.last());
                if (light->uid() == light->fixture())
                    fixtures << 0;
                QCOMPARE(light->dmxChannel(), 3 * int(fixtures.last()));
                ++fixtures.last();
            }
            QCOMPARE(fixtures, layout.value(quint8(ports.last() + 1)));
        }
        QList<int> expected;
        for (const quint8 port : layout.keys())
            expected << port - 1;
        QCOMPARE(ports, expected);
    }

    // Three interfaces of alike fixtures scanned at once, each with a more flag of its own
    // meaning: each gathers its own rounds, and each port's lights come once.
    void countInterfacesAtOnce()
    {
        const QList<SimulatedOrvexInterface::MoreFlag> flags = {
            SimulatedOrvexInterface::MoreFlag::Never, SimulatedOrvexInterface::MoreFlag::Always,
            SimulatedOrvexInterface::MoreFlag::Alternating};
        QHash<quint64, int> expected; // by interface uid
        for (int i = 0; i < 3; ++i) {
            Iface *dev = i == 0 ? m_rig->device
                                : m_rig->net->addInterface(
                                      QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i)));
            dev->fixtureCounts = {{1, QVector<quint32>(126 + 63 * i, 1)}};
            dev->countsReplyPerEntry = true;
            dev->moreFlag = flags.at(i);
            DataSupply *ds = m_rig->supply(0x990001 + i, 2);
            ds->setIpAddress(dev->address());
            expected.insert(ds->uid(), 126 + 63 * i);
        }
        for (const auto &ds : m_rig->supplies)
            m_rig->engine->discoverLights(ds.get());
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->countsComplete.size(), 3, 10000);
        QHash<quint64, int> found;
        for (const QList<Light *> &batch : std::as_const(m_rig->batches))
            found[batch.first()->dataSupplyUid()] += int(batch.size());
        QCOMPARE(found, expected);
        QVERIFY(m_rig->unsettledPorts.isEmpty());
    }

    void laterScanReportsOnlyWhatAnswersIt_data()
    {
        QTest::addColumn<QByteArray>("between");
        QTest::addColumn<QList<quint64>>("second"); // what the second scan reports, in order
        QTest::newRow("same interface") << QByteArray() << QList<quint64>{1, 3, 4};
        QTest::newRow("after a new discovery")
            << QByteArray("discovery") << QList<quint64>{1, 3, 4};
        QTest::newRow("another interface") << QByteArray("other") << QList<quint64>{1, 3, 4};
    }

    // Light 2 is taken off site and light 4 put up between two scans: the second scan reports
    // what answers it, in the device's order (port 1 first), and never light 2 again, whatever
    // came between the scans.
    void laterScanReportsOnlyWhatAnswersIt()
    {
        QFETCH(QByteArray, between);
        QFETCH(QList<quint64>, second);
        m_rig->device->lights = {
            {0x140001, 1, {}, {}}, {0x140002, 2, {}, {}}, {0x140003, 1, {}, {}}};
        DataSupply *ds = m_rig->supply(0x990001, 2);
        QVERIFY(m_rig->scan(ds, 3));
        m_rig->engine->endLightScan(ds);
        if (between == "discovery")
            m_rig->engine->discoverControllers();
        if (between == "other")
            ds = m_rig->supply(0x990002, 2);
        m_rig->device->lights.removeAt(1);
        m_rig->device->lights.append({0x140004, 2, {}, {}});
        m_rig->found.clear();
        QVERIFY(m_rig->scan(ds, int(second.size())));
        QTest::qWait(50);
        QList<quint64> serials;
        for (const Light *light : std::as_const(m_rig->found)) {
            serials << (light->serialNumber() & 0xF);
            QCOMPARE(light->port(), int(serials.last() % 2 == 0)); // lights 2 and 4: port 2
        }
        QCOMPARE(serials, second);
    }

    void supplyValuesAreReadBeforeTheBatch()
    {
        // A known supply, whose first answer is lost.
        m_rig->device->fixtureCounts = {{1, {2}}};
        m_rig->device->deviceVariables = {{9, 40}};
        m_rig->device->faults[GetDeviceVariable].drop = 1;
        DataSupply *ds = m_rig->supply(0x00A00001, 2);
        QVERIFY(m_rig->scan(ds, 0, 1));
        QCOMPARE(ds->property(QStringLiteral("Maximum Number of Serial Numbers")),
                 QStringLiteral("40"));
        const QList<Light *> batch = m_rig->batches.value(0);
        QCOMPARE(batch.size(), 2);
        QCOMPARE(batch[1]->dmxChannel(), int(batch[0]->lastChannel()) + 1);
        QTest::qWait(300); // an answered read is not sent again
        QCOMPARE(m_rig->device->receivedWithCode(GetDeviceVariable).size(), 2);
        QCOMPARE(m_rig->batches.size(), 1);
    }

    // A device that answers late has answered several of the scan's copies at once: that
    // muddle counts for no answer, and the rounds alone count its alike fixtures.
    void lateAnswersToTheScansCopiesCountForNone()
    {
        NetworkSettings::instance().requestRepeatMs = 20;
        m_rig->device->fixtureCounts = {{1, QVector<quint32>(126, 1)}};
        m_rig->device->countsReplyPerEntry = true;
        m_rig->device->faults[BlinkScan2].delayMs = 100;
        DataSupply *ds = m_rig->supply(0x990001, 2);
        m_rig->engine->discoverLights(ds);
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->countsComplete, QList<quint64>{ds->uid()}, 10000);
        QVERIFY(m_rig->unsettledPorts.isEmpty());
        QCOMPARE(m_rig->batches.size(), 1);
        QCOMPARE(m_rig->batches[0].size(), 126);
    }

    // A port whose counts the scan's limit for the interface cannot take makes no lights and is
    // named for holding too many.
    void portsPastTheScansLimitAreNamed()
    {
        m_rig->device->fixtureCounts = {{1, QVector<quint32>(300, 1)},
                                        {2, QVector<quint32>(300, 1)}};
        DataSupply *ds = m_rig->supply(0x990001, 2);
        ds->setPortCount(1);
        m_rig->engine->discoverLights(ds);
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->countsComplete, QList<quint64>{ds->uid()}, 10000);
        QCOMPARE(m_rig->batches.size(), 1);
        QCOMPARE(m_rig->batches[0].size(), 300);
        QCOMPARE(m_rig->unsettledPorts, QList<int>{1});
        QCOMPARE(m_rig->engine->countDoubt(ds->uid(), 1), CountAnswers::Doubt::TooManyLights);
    }

    // A scan left behind while the interface's own values are read for its counted lights asks
    // for nothing more and hands nothing on.
    void endedScanStopsReadingTheSupply()
    {
        m_rig->device->fixtureCounts = {{1, {2}}};
        m_rig->device->deviceVariables = {{9, 40}};
        m_rig->device->faults[GetDeviceVariable].drop = 1000;
        DataSupply *ds = m_rig->supply(0x00A00001, 2);
        m_rig->engine->discoverLights(ds);
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig->device->receivedWithCode(GetDeviceVariable).isEmpty(),
                                 10000);
        m_rig->engine->endLightScan(ds);
        m_rig->net->readPending();
        const qsizetype asked = m_rig->device->receivedWithCode(GetDeviceVariable).size();
        QVERIFY(!m_rig->engine->isGatheringCounts(ds));
        QTest::qWait(3 * NetworkSettings::instance().discoveryRetryMs);
        QCOMPARE(m_rig->device->receivedWithCode(GetDeviceVariable).size(), asked);
        QVERIFY(m_rig->batches.isEmpty());
        QVERIFY(m_rig->countsComplete.isEmpty());
    }

    // Only the answer to the value being read counts: an unasked or late reply changes
    // nothing on the interface.
    void unaskedSupplyValuesChangeNothing()
    {
        m_rig->device->fixtureCounts = {{1, {2}}};
        m_rig->device->deviceVariables = {{9, 40}};
        DataSupply *ds = m_rig->supply(0x00A00001, 2);
        QVERIFY(m_rig->scan(ds, 0, 1));
        const QString name = QStringLiteral("Maximum Number of Serial Numbers");
        QCOMPARE(ds->property(name), QStringLiteral("40"));
        m_rig->engine->handleDeviceVariableReply(m_rig->device->address().toIPv4Address(), 9, 77);
        QCOMPARE(ds->property(name), QStringLiteral("40"));
    }

    void corruptAndRaggedEntriesMakeNoFlood()
    {
        using namespace OrvexReplies;
        const QByteArray ragged = serialPayload({0x140001, 0x140002}).left(6);
        const QByteArray uid = blinkScan2Entry(1, 4, {}) + uidPayload(4, {0x5651A0000001});
        QList<QByteArray> answer;
        for (const QByteArray &entries :
             {blinkScan2Entry(1, 2, serialPayload({0xFFFFFFFF})),
              // Adding up past 32 bits: one light a count, if it were taken as it adds up.
              blinkScan2Entry(1, 2, serialPayload({0xFFFFFFFF, 2})),
              blinkScan2Entry(1, 2, serialPayload({300, 300})), blinkScan2Entry(1, 2, ragged),
              blinkScan2Entry(1, 1, ragged), uid, uid, blinkScan2Entry(1, 2, serialPayload({2}))})
            answer << blinkScan2Reply(m_rig->device->address().toIPv4Address(), 1, entries);
        m_rig->device->blinkScan2Answers = {answer};
        QVERIFY(m_rig->scan(m_rig->supply(0x990001, 2), 0));
        // The whole serial of the ragged entry and the repeated UID once; the port whose counts
        // add up past what a port holds makes no light and is named for it.
        m_rig->waitOutCounts();
        QCOMPARE(m_rig->found.size(), 2);
        QCOMPARE(m_rig->found[0]->serialNumber(), quint64(0x140001));
        QCOMPARE(m_rig->batches.size(), 0);
        QCOMPARE(m_rig->unsettledPorts, QList<int>{0});
        QCOMPARE(m_rig->engine->countDoubt(m_rig->supplies.back()->uid(), 0),
                 CountAnswers::Doubt::TooManyLights);
    }

    void readsFillTheLightOnce_data()
    {
        QTest::addColumn<quint64>("serial");
        QTest::addColumn<Iface::AnswerFaults>("faults");
        QTest::addColumn<int>("requests"); // with every answer there at once
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("forged"); // another host answers every request first
        const QString eeprom =
            "ch 288 curve 2 res 0 chem 1 hw 4 mode 2 | Lumivane Hueweave Graze |  | ";
        const QString rdm = "ch 16 curve 2 res 1 chem 0 hw 0 mode 0 | Tessary RDM Graze | "
                            "D.0039-P.0509-F.0004 | Personality 2";
        for (const quint64 serial : {quint64(0x140001), quint64(0x5651A0000007)}) {
            const bool wide = serial > 0xFFFFFFFFu;
            const QByteArray kind = wide ? "rdm: " : "eeprom: ";
            const QString expected = wide ? rdm : eeprom;
            const int requests = wide ? 5 : 7;
            // clang-format off
            QTest::newRow(kind + "answers") << serial << Iface::AnswerFaults{} << requests << expected << false;
            QTest::newRow(kind + "first answers lost") << serial << Iface::AnswerFaults{2, 0, 1, {}} << requests << expected << false;
            QTest::newRow(kind + "answers twice") << serial << Iface::AnswerFaults{0, 0, 2, {}} << requests << expected << false;
            QTest::newRow(kind + "answers late") << serial << Iface::AnswerFaults{0, 20, 1, {}} << requests << expected << false;
            QTest::newRow(kind + "another host answers first") << serial << Iface::AnswerFaults{0, 20, 1, {}} << requests << expected << true;
            // clang-format on
        }
        // A model whose file fixes its LED chemistry; an RDM model that no file knows.
        QTest::newRow("static value") << quint64(0x70140001) << Iface::AnswerFaults{} << 4
                                      << "ch 5 curve 1 res 1 chem 2 hw 0 mode 0 | "
                                         "Veylight Fernrow Cove RGBW |  | "
                                      << false;
        QTest::newRow("unknown RDM model")
            << quint64(0x123400000001) << Iface::AnswerFaults{} << 1
            << "ch 0 curve 0 res 1 chem 0 hw 0 mode 0 |  |  | " << false;
    }

    void readsFillTheLightOnce()
    {
        QFETCH(quint64, serial);
        QFETCH(Iface::AnswerFaults, faults);
        QFETCH(int, requests);
        QFETCH(QString, expected);
        QFETCH(bool, forged);
        Light *light = m_rig->scanLights(catalogueLights()).value(serial);
        const quint16 code = serial > 0xFFFFFFFFu ? RdmGet : EERead;
        m_rig->device->faults[code] = faults;
        Iface *forger = m_rig->net->addInterface(QHostAddress("127.0.0.3"));
        if (forged) {
            connect(m_rig->device, &Iface::datagramReceived, forger,
                    [this, forger](quint16 c, const QByteArray &request) {
                        m_rig->sendToEngine(forger, forgedAnswer(c, request));
                    });
        }
        QVERIFY(m_rig->read(light));
        QTest::qWait(250);
        QCOMPARE(m_rig->completed, QList<quint64>{serial});
        QCOMPARE(summary(light), expected);
        // Every token once, each lost answer once more: nothing answered is asked again.
        QCOMPARE(m_rig->device->receivedWithCode(code).size(), requests + faults.drop);
        QVERIFY(forger->received().isEmpty()); // no request follows a forged answer
    }

    // Answers after three retry intervals: each request's first answer counts, and the retries
    // of one read leave the other read's answers alone.
    void slowInterfaceIsReadCompletely()
    {
        const QHash<quint64, Light *> lights = m_rig->scanLights(catalogueLights());
        NetworkSettings::instance().discoveryRetryMs = 50;
        for (const quint16 code : {EERead, RdmGet})
            m_rig->device->faults[code].delayMs = 150;
        const QList<quint64> serials = {0x140001, 0x5651A0000007};
        for (const quint64 serial : serials)
            QVERIFY(m_rig->engine->readLightData(lights[serial], QStringLiteral("127.0.0.2")));
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->completed.size(), 2, 10000);
        QCOMPARE(QSet<quint64>(m_rig->completed.cbegin(), m_rig->completed.cend()),
                 QSet<quint64>(serials.cbegin(), serials.cend()));
        QCOMPARE(summary(lights[serials[0]]),
                 "ch 288 curve 2 res 0 chem 1 hw 4 mode 2 | Lumivane Hueweave Graze |  | ");
        QCOMPARE(summary(lights[serials[1]]),
                 "ch 16 curve 2 res 1 chem 0 hw 0 mode 0 | Tessary RDM Graze | "
                 "D.0039-P.0509-F.0004 | Personality 2");
    }

    void silentDeviceEndsTheReadAsFailed_data()
    {
        QTest::addColumn<quint64>("serial"); // 0: the supply's own values
        QTest::addColumn<quint16>("code");
        QTest::newRow("eeprom") << quint64(0x140001) << quint16(EERead);
        QTest::newRow("rdm") << quint64(0x5651A0000007) << quint16(RdmGet);
        QTest::newRow("supply values") << quint64(0) << quint16(GetDeviceVariable);
    }

    void silentDeviceEndsTheReadAsFailed()
    {
        QFETCH(quint64, serial);
        QFETCH(quint16, code);
        NetworkSettings::instance().lightReadMaxRetries = 2;
        QSignalSpy failed(m_rig->engine.get(), &DiscoveryEngine::lightDataReadFailed);
        m_rig->device->faults[code].drop = 1000;
        if (serial) {
            const QHash<quint64, Light *> lights = m_rig->scanLights(catalogueLights());
            QVERIFY(m_rig->engine->readLightData(lights[serial], QStringLiteral("127.0.0.2")));
            QVERIFY(failed.wait(5000));
            QCOMPARE(failed.first().first().toULongLong(), serial);
            QVERIFY(!m_rig->engine->isReadingLight(serial));
        } else {
            // A known supply's lights wait on its values; without them they still come.
            m_rig->device->fixtureCounts = {{1, {2}}};
            m_rig->device->deviceVariables = {{9, 40}};
            QVERIFY(m_rig->scan(m_rig->supply(0x00A00001, 2), 0, 1));
            QCOMPARE(m_rig->batches.first().size(), 2);
        }
        QTest::qWait(3 * NetworkSettings::instance().discoveryRetryMs); // nothing more is sent
        QCOMPARE(m_rig->device->receivedWithCode(code).size(), 1 + 2);
        QVERIFY(m_rig->completed.isEmpty());
    }

    // Scan replies count only from the interface being scanned, sent from its own address.
    void scanRepliesComeOnlyFromTheScannedInterface_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("scanEnded");
        QTest::addColumn<int>("lights");
        for (const QByteArray kind : {"serials", "uids", "fixture counts", "blink scan", "ca"}) {
            // clang-format off
            QTest::newRow(kind + ", genuine") << kind << "127.0.0.2" << "127.0.0.2" << false << 2;
            QTest::newRow(kind + ", forged") << kind << "127.0.0.3" << "127.0.0.2" << false << 0;
            QTest::newRow(kind + ", unscanned host") << kind << "127.0.0.3" << "127.0.0.3" << false << 0;
            QTest::newRow(kind + ", after the scan") << kind << "127.0.0.2" << "127.0.0.2" << true << 0;
            // clang-format on
        }
    }

    void scanRepliesComeOnlyFromTheScannedInterface()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QString, from);
        QFETCH(QString, named);
        QFETCH(bool, scanEnded);
        QFETCH(int, lights);
        using namespace OrvexReplies;
        const quint32 ip = QHostAddress(named).toIPv4Address();
        QByteArray reply;
        if (kind == "serials")
            reply =
                blinkScan2Reply(ip, 1, blinkScan2Entry(1, 1, serialPayload({0x140001, 0x140002})));
        else if (kind == "uids")
            reply = blinkScan2Reply(
                ip, 2, blinkScan2Entry(1, 4, {}) + uidPayload(4, {0x5651A0000001, 0x5651A0000002}));
        else if (kind == "fixture counts")
            reply = blinkScan2Reply(ip, 1, blinkScan2Entry(1, 2, serialPayload({2})));
        else if (kind == "blink scan")
            reply = blinkScanReply(ip, 0x140001); // one light a reply
        else
            reply = caScanReply(ip, 1, 1);
        Iface *sender = from == m_rig->device->address().toString()
                            ? m_rig->device
                            : m_rig->net->addInterface(QHostAddress(from));
        DataSupply *ds = m_rig->supply(0x990001, 2);
        QVERIFY(m_rig->scan(ds, 0));
        // Counts are taken from the rounds that ask the device again once the scan's own
        // copies are out: the device answers those alike.
        if (kind == "fixture counts") {
            QTRY_COMPARE(m_rig->device->receivedWithCode(BlinkScan2).size(),
                         NetworkSettings::instance().requestSends);
            m_rig->device->fixtureCounts = {{1, {2}}};
        }
        if (scanEnded)
            m_rig->engine->endLightScan(ds);
        QCOMPARE(m_rig->engine->isScanning(ds), !scanEnded);
        QVERIFY(m_rig->sendToEngine(sender, reply));
        if (kind == "blink scan")
            QVERIFY(m_rig->sendToEngine(sender, blinkScanReply(ip, 0x140002)));
        m_rig->waitOutCounts();
        int made = int(m_rig->found.size());
        for (const QList<Light *> &batch : std::as_const(m_rig->batches))
            made += int(batch.size());
        QCOMPARE(made, lights);
        for (Light *light : std::as_const(m_rig->found))
            QCOMPARE(light->dataSupplyUid(), ds->uid());
    }

    // A flood of serial lists makes no more than 512 lights a port and 512 a port of the
    // interface in all, and says so in a line or two, not one a reply.
    void floodMakesBoundedLights()
    {
        DataSupply *ds = m_rig->supply(0x990001, 2);
        ds->setPortCount(2);
        QVERIFY(m_rig->scan(ds, 0));
        const quint32 ip = m_rig->device->address().toIPv4Address();
        quint32 serial = 0x100000;
        const auto entry = [&serial](quint8 port, int count = 63) {
            QVector<quint32> serials;
            for (int i = 0; i < count; ++i)
                serials << serial++;
            return OrvexReplies::blinkScan2Entry(port, 1, OrvexReplies::serialPayload(serials));
        };
        DebugLines log;
        // More datagrams than one pass of the reader takes: the rest are read all the same.
        for (int i = 0; i < 70; ++i)
            QVERIFY(m_rig->sendToEngine(m_rig->device,
                                        OrvexReplies::blinkScan2Reply(ip, 1, entry(1, 7))));
        QTRY_COMPARE(m_rig->found.size(), 490);
        // Port 1 alone first (beyond its 512), then ports 2 and 3 share what the scan has left.
        for (int i = 0; i < 10; ++i)
            QVERIFY(
                m_rig->sendToEngine(m_rig->device, OrvexReplies::blinkScan2Reply(ip, 1, entry(1))));
        QTRY_COMPARE(m_rig->found.size(), 512);
        for (int i = 0; i < 10; ++i)
            QVERIFY(m_rig->sendToEngine(m_rig->device,
                                        OrvexReplies::blinkScan2Reply(ip, 2, entry(2) + entry(3))));
        QTRY_COMPARE(m_rig->found.size(), DiscoveryEngine::lightLimitForScan(ds));
        QCOMPARE(DiscoveryEngine::lightLimitForScan(ds), 1024);
        // A whole fixture list or nothing.
        QVERIFY(m_rig->sendToEngine(
            m_rig->device,
            OrvexReplies::blinkScan2Reply(
                ip, 1, OrvexReplies::blinkScan2Entry(2, 2, OrvexReplies::serialPayload({2})))));
        QTest::qWait(100);
        QCOMPARE(m_rig->found.size(), 1024);
        QVERIFY(m_rig->batches.isEmpty());
        int onFirstPort = 0;
        for (const Light *light : std::as_const(m_rig->found))
            onFirstPort += light->port() == 0;
        QCOMPARE(onFirstPort, 512);
        const QStringList drops = DebugLines::lines.filter("Light scan: dropped");
        QVERIFY2(!drops.isEmpty() && drops.size() < 10, qPrintable(drops.join('\n')));
        QVERIFY2(drops.first().contains("beyond 512 a port or 1024 a scan"),
                 qPrintable(drops.first()));
    }

    void forgottenAndDeletedLightsDropLateReplies()
    {
        const QList<quint64> serials = {0x140001, 0x140002, 0x140003};
        QHash<quint64, Light *> lights = m_rig->scanLights({Iface::catalogueLight(serials[0], 1),
                                                            Iface::catalogueLight(serials[1], 1),
                                                            Iface::catalogueLight(serials[2], 1)});
        QVERIFY(!m_rig->engine->readLightData(lights[serials[0]], QStringLiteral("10.0.0.300")));
        m_rig->device->faults[EERead].delayMs = 20;
        QPointer<Light> forgotten = lights[serials[0]], deleted = lights[serials[1]];
        QPointer<Light> inMap = lights[serials[2]];
        QVERIFY(m_rig->map->addLight(inMap));
        for (Light *light : {forgotten, deleted, inMap})
            QVERIFY(m_rig->engine->readLightData(light, QStringLiteral("127.0.0.2")));
        m_rig->engine->forgetLight(serials[0]);
        delete deleted.data();
        m_rig->engine->removeLight(serials[2]); // through the map, which holds it
        QTest::qWait(150);
        QVERIFY(m_rig->completed.isEmpty());
        QVERIFY(!inMap && m_rig->map->lights().isEmpty());
        for (const quint64 serial : serials)
            QVERIFY(!m_rig->engine->lightForSerial(serial) &&
                    !m_rig->engine->isReadingLight(serial));
        m_rig->engine.reset(); // a forgotten light is the caller's
        QVERIFY(forgotten);
        delete forgotten.data();
    }
};

QTEST_GUILESS_MAIN(TestLightDiscovery)
#include "tst_lightdiscovery.moc"
