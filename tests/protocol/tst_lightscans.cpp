// DM_TEST_SANITIZE
#include "model/datasupply.h"
#include "model/light.h"
#include "protocol/orvexdatagrams.h"
#include "support/lightdiscoveryrig.h"
#include "support/orvexreplies.h"
#include "support/simulatedorvexnetwork.h"

#include <QtTest>

using namespace OrvexDatagrams;
using Serials = QMap<quint64, int>; // serial -> 0-based port

class TestLightScans : public QObject
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
        const quint64 rdm = 0x5651A0000001;
        QTest::newRow("v1 blink scan")
            << quint16(1) << quint8(4) << Serials{{0x140001, 0}, {0x140002, 0}};
        QTest::newRow("v2, short UIDs")
            << quint16(2) << quint8(4) << Serials{{0x140001, 0}, {0x140002, 1}, {rdm, 2}};
        QTest::newRow("v3, long UIDs")
            << quint16(3) << quint8(3) << Serials{{0x140001, 0}, {0x140002, 1}, {rdm, 2}};
        QTest::newRow("v4 sends nothing") << quint16(4) << quint8(4) << Serials{};
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
            QCOMPARE(light->dmxChannel(), 0);
        }
        QCOMPARE(got, expected);
        QCOMPARE(m_rig->found.size(), expected.size());
        QCOMPARE(m_rig->device->receivedWithCode(version == 1 ? BlinkScan : BlinkScan2).size(),
                 version == 4 ? 0 : 1);
    }

    void countedLights_data()
    {
        QTest::addColumn<quint16>("version");
        QTest::addColumn<quint64>("serial");
        QTest::addColumn<QList<int>>("channels");
        QTest::addColumn<QList<bool>>("fixtureHeads"); // empty: CA lights
        QTest::newRow("fixture counts 2, 3")
            << quint16(2) << quint64(0x990001) << QList<int>{0, 3, 0, 3, 6}
            << QList<bool>{true, false, true, false, false};
        QTest::newRow("CA scan 2 + 1")
            << quint16(1) << quint64(0x990001) << QList<int>{0, 3, 6} << QList<bool>{};
        QTest::newRow("CA scan, dropped range")
            << quint16(1) << quint64(0x39000010) << QList<int>{} << QList<bool>{};
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
            QCOMPARE(batch[i]->port(), quint8(0));
            QCOMPARE(batch[i]->dataSupplyUid(), ds->uid());
            // Fixture lights carry the interface's serial, CA lights their own uid.
            QCOMPARE(batch[i]->serialNumber(), fixtureHeads.isEmpty() ? batch[i]->uid() : serial);
            QCOMPARE(batch[i]->uid() == batch[i]->fixture(), fixtureHeads.value(i));
        }
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
        QTest::qWait(120); // an answered read is not sent again
        QCOMPARE(m_rig->device->receivedWithCode(GetDeviceVariable).size(), 2);
        QCOMPARE(m_rig->batches.size(), 1);
    }

    void corruptAndRaggedEntriesMakeNoFlood()
    {
        m_rig->device->answering = false;
        QVERIFY(m_rig->scan(m_rig->supply(0x990001, 2), 0));
        QTRY_COMPARE(m_rig->device->receivedWithCode(BlinkScan2).size(), 1);
        const auto counts = [](const QVector<quint32> &values) {
            return OrvexReplies::blinkScan2Entry(1, 2, OrvexReplies::serialPayload(values));
        };
        const QByteArray ragged = OrvexReplies::serialPayload({0x140001, 0x140002}).left(6);
        const QByteArray uid = OrvexReplies::blinkScan2Entry(1, 4, QByteArray()) +
                               OrvexReplies::uidPayload(4, {0x5651A0000001});
        for (const QByteArray &entries :
             {counts({0xFFFFFFFF}), counts({300, 300}), OrvexReplies::blinkScan2Entry(1, 2, ragged),
              OrvexReplies::blinkScan2Entry(1, 1, ragged), uid, uid})
            QVERIFY(m_rig->device->sendRaw(OrvexReplies::blinkScan2Reply(
                m_rig->device->address().toIPv4Address(), 1, entries)));
        // The whole serial of the ragged entry, and the repeated UID once.
        QTRY_COMPARE(m_rig->found.size(), 2);
        QTest::qWait(50);
        QCOMPARE(m_rig->found.size(), 2);
        QCOMPARE(m_rig->found[0]->serialNumber(), quint64(0x140001));
        QCOMPARE(m_rig->found[1]->serialNumber(), quint64(0x5651A0000001));
        QVERIFY(m_rig->batches.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLightScans)
#include "tst_lightscans.moc"
