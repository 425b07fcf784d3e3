// DM_TEST_SANITIZE
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/orvexdatagrams.h"
#include "support/lightdiscoveryrig.h"
#include "support/simulatedorvexnetwork.h"

#include <QPointer>
#include <QtTest>

using namespace OrvexDatagrams;
using Iface = SimulatedOrvexInterface;
Q_DECLARE_METATYPE(Iface::AnswerFaults)

// What a read leaves on a light, in one line.
static QString summary(const Light *l)
{
    return QStringLiteral("ch %1 curve %2 res %3 chem %4 hw %5 mode %6 | %7 | %8 | %9")
        .arg(l->dmxChannel())
        .arg(l->dimmingCurve())
        .arg(l->resolution())
        .arg(l->ledChemistry())
        .arg(l->hueweaveEnabled())
        .arg(l->colorControlMode())
        .arg(l->modelName(), l->property(QStringLiteral("Device Info")),
             l->property(QStringLiteral("DMX Personality")));
}

class TestLightReads : public QObject
{
    Q_OBJECT
    std::unique_ptr<LightDiscoveryRig> m_rig;

    // Scans the simulated device's lights and returns them by serial.
    QHash<quint64, Light *> scanLights(const QList<Iface::Light> &lights)
    {
        m_rig->device->lights = lights;
        QHash<quint64, Light *> found;
        if (m_rig->scan(m_rig->supply(0x990001, 2), int(lights.size()))) {
            for (Light *light : std::as_const(m_rig->found))
                found.insert(light->serialNumber(), light);
        }
        return found;
    }

private slots:
    void init() { m_rig = std::make_unique<LightDiscoveryRig>(); }
    void cleanup() { m_rig.reset(); }

    void readsFillTheLightOnce_data()
    {
        QTest::addColumn<quint64>("serial");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<Iface::AnswerFaults>("faults");
        const QString eeprom =
            "ch 288 curve 2 res 0 chem 1 hw 4 mode 2 | Lumivane Hueweave Graze |  | ";
        const QString rdm = "ch 16 curve 2 res 1 chem 0 hw 0 mode 0 | Tessary RDM Graze | "
                            "D.0039-P.0509-F.0004 | Personality 2";
        for (const quint64 serial : {quint64(0x140001), quint64(0x5651A0000007)}) {
            const QByteArray kind = serial > 0xFFFFFFFFu ? "rdm: " : "eeprom: ";
            const QString expected = serial > 0xFFFFFFFFu ? rdm : eeprom;
            QTest::newRow(kind + "answers") << serial << expected << Iface::AnswerFaults{};
            QTest::newRow(kind + "first answers lost")
                << serial << expected << Iface::AnswerFaults{2, 0, 1, {}};
            QTest::newRow(kind + "answers twice")
                << serial << expected << Iface::AnswerFaults{0, 0, 2, {}};
            QTest::newRow(kind + "answers late")
                << serial << expected << Iface::AnswerFaults{0, 15, 1, {}};
        }
    }

    void readsFillTheLightOnce()
    {
        QFETCH(quint64, serial);
        QFETCH(QString, expected);
        QFETCH(Iface::AnswerFaults, faults);
        Light *light = scanLights({Iface::catalogueLight(0x140001, 1,
                                                         {{"DMX_OFFSET", 0x0120},
                                                          {"DIMMING_CURVE", 2},
                                                          {"INPUT_RESOLUTION", 0},
                                                          {"LED_CHEMISTRY", 1},
                                                          {"HUEWEAVE_ENABLED", 4},
                                                          {"HUEWEAVE_INPUT_MODE_5_CH", 2}}),
                                   Iface::catalogueLight(0x5651A0000007, 2,
                                                         {{"RDM_DMX_ADDRESS", 17},
                                                          {"RDM_DIMMING_CURVE", 2},
                                                          {"RDM_DMX_PERSONALITY", 0x0203}},
                                                         QStringLiteral("D.0039-P.0509-F.0004"))})
                           .value(serial);
        QVERIFY(light);
        const quint16 code = serial > 0xFFFFFFFFu ? RdmGet : EERead;
        m_rig->device->faults[code] = faults;
        QVERIFY(m_rig->read(light));
        QTest::qWait(100);
        QCOMPARE(m_rig->completed, QList<quint64>{serial});
        QCOMPARE(summary(light), expected);
        // Every token once, each lost answer once more: nothing answered is asked again.
        QCOMPARE(m_rig->device->receivedWithCode(code).size(),
                 (code == RdmGet ? 5 : 7) + faults.drop);
    }

    void staticValuesUnknownModelsAndRefusals()
    {
        // A model whose LED chemistry its file fixes, and an RDM device that no file knows.
        const quint64 fixed = 0x70140001, stranger = 0x123400000001;
        QHash<quint64, Light *> lights =
            scanLights({Iface::catalogueLight(fixed, 1, {{"DMX_OFFSET", 5}}),
                        {stranger, 1, {}, {{RdmDeviceInfo, QByteArray(19, '\1')}}}});
        QVERIFY(lights.size() == 2);
        QVERIFY(m_rig->engine->readLightData(lights[fixed], QStringLiteral("127.0.0.2")));
        QCOMPARE(lights[fixed]->ledChemistry(), 2u);
        QTRY_COMPARE(m_rig->completed, QList<quint64>{fixed});
        QCOMPARE(lights[fixed]->dmxChannel(), 5);
        QVERIFY(m_rig->read(lights[stranger]));
        QTest::qWait(100);
        QCOMPARE(m_rig->completed, (QList<quint64>{fixed, stranger}));
        QCOMPARE(m_rig->device->receivedWithCode(RdmGet).size(), 1);
        QVERIFY(!m_rig->engine->readLightData(lights[stranger], QStringLiteral("10.0.0.300")));
        QVERIFY(!m_rig->engine->isReadingLight(stranger));
    }

    void forgottenAndDeletedLightsDropLateReplies()
    {
        const QList<quint64> serials = {0x140001, 0x140002, 0x140003};
        QHash<quint64, Light *> lights =
            scanLights({Iface::catalogueLight(serials[0], 1), Iface::catalogueLight(serials[1], 1),
                        Iface::catalogueLight(serials[2], 1)});
        QVERIFY(lights.size() == 3);
        m_rig->device->faults[EERead].delayMs = 20;
        QPointer<Light> forgotten = lights[serials[0]], deleted = lights[serials[1]],
                        inMap = lights[serials[2]];
        QVERIFY(m_rig->map->addLight(inMap));
        for (Light *light : {forgotten, deleted, inMap})
            QVERIFY(m_rig->engine->readLightData(light, QStringLiteral("127.0.0.2")));
        m_rig->engine->forgetLight(serials[0]);
        delete deleted.data();
        m_rig->engine->removeLight(serials[2]); // through the map, which holds it
        QTest::qWait(150);
        QVERIFY(m_rig->completed.isEmpty());
        QVERIFY(!inMap && m_rig->map->lights().isEmpty());
        for (const quint64 serial : serials) {
            QCOMPARE(m_rig->engine->lightForSerial(serial), nullptr);
            QVERIFY(!m_rig->engine->isReadingLight(serial));
        }
        m_rig->engine.reset(); // a forgotten light is the caller's
        QVERIFY(forgotten);
        delete forgotten.data();
    }
};

QTEST_GUILESS_MAIN(TestLightReads)
#include "tst_lightreads.moc"
