// Editing every light of a large map in the light editor: open the editor on all lights,
// choose another dimming curve for all of them in the property table, and apply.
#include "devices/propertymapper.h"
#include "dialogs/editlightsdialog.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>

#include <benchmark/benchmark.h>

int qInitResources_PropertyMap();
int qInitResources_DeviceConfigFiles();
int qInitResources_FixtureProfiles();

namespace {

constexpr quint64 GenericSerial = 0x00100000; // "Generic 3-Ch"
constexpr int LightsPerPort = 170;
constexpr int Ports = 4;

struct EditRig
{
    MapModel map;

    explicit EditRig(int lights)
    {
        DataSupply *ds = nullptr;
        for (int i = 0; i < lights; ++i) {
            const int slot = i % (LightsPerPort * Ports);
            if (slot == 0) {
                ds = map.createDataSupply(2);
                ds->setUid(map.nextUid());
                ds->setName(QStringLiteral("Supply %1").arg(i / (LightsPerPort * Ports)));
                ds->setPortCount(Ports);
                for (int p = 0; p < Ports; ++p)
                    ds->setPortNumber(p, quint8(p + 1));
                ds->rebuildPortIndex();
                map.addDataSupply(ds);
            }
            auto *light = new Light;
            light->setUid(map.nextUid());
            light->setName(QStringLiteral("Light %1").arg(i));
            light->setSerialNumber(GenericSerial + quint64(i % 0xFFFF));
            light->setDataSupplyUid(ds->uid());
            light->setPort(quint8(slot / LightsPerPort));
            light->setDmxChannel(3 * (slot % LightsPerPort));
            map.addLight(light);
            ds->addLight(light->uid());
        }
    }
};

void BM_EditAllLights(benchmark::State &state)
{
    EditRig rig(int(state.range(0)));
    const QList<Light *> lights = rig.map.lights().values();
    const QString token = QStringLiteral("DIMMING_CURVE");
    int curve = 1;
    for (auto _ : state) {
        EditLightsDialog dialog(&rig.map, lights);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("m_propertyTable"));
        QComboBox *options = nullptr;
        for (int i = 0; i < table->rowCount() && !options; ++i)
            if (table->item(i, 0)->data(Qt::UserRole).toString() == token)
                options = qobject_cast<QComboBox *>(table->cellWidget(i, 2));
        if (!options) {
            state.SkipWithError("no dimming curve row");
            return;
        }
        options->setCurrentText(
            PropertyMapper::instance()->toDisplayValue(token, QString::number(curve)));
        dialog.findChild<QPushButton *>(QStringLiteral("m_applyButton"))->click();
        if (lights.first()->dimmingCurve() != quint32(curve)) {
            state.SkipWithError("the edit did not reach the lights");
            return;
        }
        curve = 1 - curve;
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_EditAllLights)
    ->Arg(1500)
    ->Arg(15000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInitResources_PropertyMap();
    qInitResources_DeviceConfigFiles();
    qInitResources_FixtureProfiles();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
