// DM_TEST_SANITIZE
#include "model/datasupply.h"
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

namespace {

constexpr quint64 EepromSerial = 0x00140001; // a Lumivane Hueweave Graze
constexpr quint64 RdmSerial = 0x5651A0000007;
const QString TessaryCode = QStringLiteral("D.0039-P.0509-F.0004");

} // namespace

class TestLightReads : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_rig = std::make_unique<LightDiscoveryRig>(); }
    void cleanup() { m_rig.reset(); }

    void readsFillTheLightOnceWhateverTheAnswers_data();
    void readsFillTheLightOnceWhateverTheAnswers();
    void staticValuesUnknownModelsAndRefusals();
    void forgottenAndDeletedLightsDropLateReplies();

private:
    // Scans the simulated device (protocol version 2) and returns its lights by serial.
    QHash<quint64, Light *> scanLights(int count);

    std::unique_ptr<LightDiscoveryRig> m_rig;
};

QHash<quint64, Light *> TestLightReads::scanLights(int count)
{
    QHash<quint64, Light *> lights;
    if (m_rig->scan(m_rig->supply(0x990001, 2), count)) {
        for (Light *light : std::as_const(m_rig->found))
            lights.insert(light->serialNumber(), light);
    }
    return lights;
}

void TestLightReads::readsFillTheLightOnceWhateverTheAnswers_data()
{
    QTest::addColumn<bool>("rdm");
    QTest::addColumn<int>("drop");
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("delayMs");
    for (const bool rdm : {false, true}) {
        const QByteArray kind = rdm ? "rdm " : "eeprom ";
        QTest::newRow(kind + "answers") << rdm << 0 << 1 << 0;
        QTest::newRow(kind + "first answers lost") << rdm << 2 << 1 << 0;
        QTest::newRow(kind + "answers twice") << rdm << 0 << 2 << 0;
        QTest::newRow(kind + "answers late") << rdm << 0 << 1 << 15;
    }
}

void TestLightReads::readsFillTheLightOnceWhateverTheAnswers()
{
    QFETCH(bool, rdm);
    QFETCH(int, drop);
    QFETCH(int, copies);
    QFETCH(int, delayMs);
    const quint64 serial = rdm ? RdmSerial : EepromSerial;
    m_rig->device->lights = {rdm ? Iface::catalogueLight(RdmSerial, 1,
                                                         {{"RDM_DMX_ADDRESS", 17},
                                                          {"RDM_DIMMING_CURVE", 2},
                                                          {"RDM_DMX_PERSONALITY", 0x0203}},
                                                         TessaryCode)
                                 : Iface::catalogueLight(EepromSerial, 1,
                                                         {{"DMX_OFFSET", 0x0120},
                                                          {"DIMMING_CURVE", 2},
                                                          {"INPUT_RESOLUTION", 0},
                                                          {"LED_CHEMISTRY", 1},
                                                          {"HUEWEAVE_ENABLED", 4},
                                                          {"HUEWEAVE_INPUT_MODE_5_CH", 2}})};
    Light *light = scanLights(1).value(serial);
    QVERIFY(light);
    const quint16 code = rdm ? RdmGet : EERead;
    m_rig->device->faults[code] = {drop, delayMs, copies, {}};
    QVERIFY(m_rig->read(light));
    QTest::qWait(100);
    QCOMPARE(m_rig->completed, QList<quint64>{serial});
    QVERIFY(!m_rig->engine->isReadingLight(serial));
    // Every token once, the lost answers once more: nothing answered is asked again.
    QCOMPARE(m_rig->device->receivedWithCode(code).size(), (rdm ? 5 : 7) + drop);
    QCOMPARE(light->dimmingCurve(), 2u);
    if (rdm) {
        QCOMPARE(light->dmxChannel(), 16);
        QCOMPARE(light->property(QStringLiteral("Device Info")), TessaryCode);
        QCOMPARE(light->modelName(), QStringLiteral("Tessary RDM Graze"));
        QVERIFY(light->hasProperty(QStringLiteral("DMX Personality")));
    } else {
        QCOMPARE(light->dmxChannel(), 0x0120);
        QCOMPARE(light->resolution(), 0u);
        QCOMPARE(light->ledChemistry(), 1u);
        QCOMPARE(light->hueweaveEnabled(), 4);
        QCOMPARE(light->colorControlMode(), 2u);
        QCOMPARE(light->modelName(), QStringLiteral("Lumivane Hueweave Graze"));
    }
}

void TestLightReads::staticValuesUnknownModelsAndRefusals()
{
    // A model whose LED chemistry is fixed by its file, and an RDM device no file knows.
    const quint64 fixed = 0x70140001;
    const quint64 unknown = 0x123400000001;
    Iface::Light stranger{unknown, 1, {}, {{RdmDeviceInfo, QByteArray(19, '\1')}}};
    m_rig->device->lights = {Iface::catalogueLight(fixed, 1, {{"DMX_OFFSET", 5}}), stranger};
    const QHash<quint64, Light *> lights = scanLights(2);
    QVERIFY(lights.size() == 2);
    QVERIFY(m_rig->engine->readLightData(lights[fixed], QStringLiteral("127.0.0.2")));
    QCOMPARE(lights[fixed]->ledChemistry(), 2u);
    QTRY_COMPARE(m_rig->completed, QList<quint64>{fixed});
    QCOMPARE(lights[fixed]->dmxChannel(), 5);

    QVERIFY(m_rig->read(lights[unknown]));
    QTest::qWait(100);
    QCOMPARE(m_rig->completed, (QList<quint64>{fixed, unknown}));
    QCOMPARE(m_rig->device->receivedWithCode(RdmGet).size(), 1);
    QCOMPARE(lights[unknown]->modelName(), QString());

    QVERIFY(!m_rig->engine->readLightData(lights[unknown], QStringLiteral("10.0.0.300")));
    QVERIFY(!m_rig->engine->isReadingLight(unknown));
    QVERIFY(!m_rig->engine->readLightData(nullptr, QStringLiteral("127.0.0.2")));
}

void TestLightReads::forgottenAndDeletedLightsDropLateReplies()
{
    const QList<quint64> serials = {0x140001, 0x140002, 0x140003};
    for (const quint64 serial : serials)
        m_rig->device->lights.append(Iface::catalogueLight(serial, 1));
    m_rig->device->faults[EERead].delayMs = 20;
    QHash<quint64, Light *> lights = scanLights(3);
    QVERIFY(lights.size() == 3);
    QPointer<Light> forgotten = lights[serials[0]];
    QPointer<Light> deleted = lights[serials[1]];
    QPointer<Light> inMap = lights[serials[2]];
    QVERIFY(m_rig->map->addLight(inMap));
    for (Light *light : {forgotten, deleted, inMap})
        QVERIFY(m_rig->engine->readLightData(light, QStringLiteral("127.0.0.2")));

    m_rig->engine->forgetLight(serials[0]);
    delete deleted.data();
    m_rig->engine->removeLight(serials[2]);
    QTest::qWait(150);
    QVERIFY(m_rig->completed.isEmpty());
    QVERIFY(forgotten);
    QVERIFY(!inMap);
    QCOMPARE(m_rig->map->light(lights[serials[2]]->uid()), nullptr);
    for (const quint64 serial : serials) {
        QCOMPARE(m_rig->engine->lightForSerial(serial), nullptr);
        QVERIFY(!m_rig->engine->isReadingLight(serial));
    }
    // Forgotten means handed over: the engine no longer deletes it.
    m_rig->engine.reset();
    QVERIFY(forgotten);
    delete forgotten.data();
}

QTEST_GUILESS_MAIN(TestLightReads)
#include "tst_lightreads.moc"
