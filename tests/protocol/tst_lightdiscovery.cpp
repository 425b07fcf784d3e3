#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/orvexdatagrams.h"
#include "support/lightdiscoveryrig.h"
#include "support/orvexreplies.h"

#include <QPointer>
#include <QtTest>

using namespace OrvexDatagrams;
using Iface = SimulatedOrvexInterface;
Q_DECLARE_METATYPE(Iface::AnswerFaults)
using Serials = QMap<quint64, int>; // serial -> 0-based port

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

    void corruptAndRaggedEntriesMakeNoFlood()
    {
        m_rig->device->answering = false;
        QVERIFY(m_rig->scan(m_rig->supply(0x990001, 2), 0));
        QTRY_COMPARE(m_rig->device->receivedWithCode(BlinkScan2).size(), 1);
        using namespace OrvexReplies;
        const QByteArray ragged = serialPayload({0x140001, 0x140002}).left(6);
        const QByteArray uid = blinkScan2Entry(1, 4, {}) + uidPayload(4, {0x5651A0000001});
        for (const QByteArray &entries :
             {blinkScan2Entry(1, 2, serialPayload({0xFFFFFFFF})),
              blinkScan2Entry(1, 2, serialPayload({300, 300})), blinkScan2Entry(1, 2, ragged),
              blinkScan2Entry(1, 1, ragged), uid, uid})
            QVERIFY(m_rig->device->sendRaw(
                blinkScan2Reply(m_rig->device->address().toIPv4Address(), 1, entries)));
        // The whole serial of the ragged entry, and the repeated UID once.
        QTest::qWait(100);
        QCOMPARE(m_rig->found.size(), 2);
        QCOMPARE(m_rig->found[0]->serialNumber(), quint64(0x140001));
        QVERIFY(m_rig->batches.isEmpty());
    }

    void readsFillTheLightOnce_data()
    {
        QTest::addColumn<quint64>("serial");
        QTest::addColumn<Iface::AnswerFaults>("faults");
        QTest::addColumn<int>("requests"); // with every answer there at once
        QTest::addColumn<QString>("expected");
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
            QTest::newRow(kind + "answers") << serial << Iface::AnswerFaults{} << requests << expected;
            QTest::newRow(kind + "first answers lost") << serial << Iface::AnswerFaults{2, 0, 1, {}} << requests << expected;
            QTest::newRow(kind + "answers twice") << serial << Iface::AnswerFaults{0, 0, 2, {}} << requests << expected;
            QTest::newRow(kind + "answers late") << serial << Iface::AnswerFaults{0, 20, 1, {}} << requests << expected;
            // clang-format on
        }
        // A model whose file fixes its LED chemistry; an RDM model that no file knows.
        QTest::newRow("static value") << quint64(0x70140001) << Iface::AnswerFaults{} << 4
                                      << "ch 5 curve 1 res 1 chem 2 hw 0 mode 0 | "
                                         "Veylight Fernrow Cove RGBW |  | ";
        QTest::newRow("unknown RDM model") << quint64(0x123400000001) << Iface::AnswerFaults{} << 1
                                           << "ch 0 curve 0 res 1 chem 0 hw 0 mode 0 |  |  | ";
    }

    void readsFillTheLightOnce()
    {
        QFETCH(quint64, serial);
        QFETCH(Iface::AnswerFaults, faults);
        QFETCH(int, requests);
        QFETCH(QString, expected);
        // clang-format off
        Light *light = m_rig->scanLights({
            Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 0x0120}, {"DIMMING_CURVE", 2},
                {"INPUT_RESOLUTION", 0}, {"LED_CHEMISTRY", 1}, {"HUEWEAVE_ENABLED", 4},
                {"HUEWEAVE_INPUT_MODE_5_CH", 2}}),
            Iface::catalogueLight(0x5651A0000007, 2, {{"RDM_DMX_ADDRESS", 17},
                {"RDM_DIMMING_CURVE", 2}, {"RDM_DMX_PERSONALITY", 0x0203}},
                QStringLiteral("D.0039-P.0509-F.0004")),
            Iface::catalogueLight(0x70140001, 1, {{"DMX_OFFSET", 5}}),
            {0x123400000001, 1, {}, {{RdmDeviceInfo, QByteArray(19, '\1')}}}}).value(serial);
        // clang-format on
        const quint16 code = serial > 0xFFFFFFFFu ? RdmGet : EERead;
        m_rig->device->faults[code] = faults;
        QVERIFY(m_rig->read(light));
        QTest::qWait(250);
        QCOMPARE(m_rig->completed, QList<quint64>{serial});
        QCOMPARE(summary(light), expected);
        // Every token once, each lost answer once more: nothing answered is asked again.
        QCOMPARE(m_rig->device->receivedWithCode(code).size(), requests + faults.drop);
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
