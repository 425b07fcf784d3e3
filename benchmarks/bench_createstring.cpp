// Strings of n lights in the main window, offscreen, while the light tree, the group panel and
// the canvas follow: "Add String" creating a tile string on a new interface into an empty map,
// and the string dialog of the lights wizard laying out and naming n lights already found on
// one port (the tree stays sorted meanwhile, as it does under the wizard). Either must cost no
// more than n log n: 10,000 lights under 2 s, the 65,000 cap under 15 s.
#include "app/lightview.h"
#include "app/metatool.h"
#include "dialogs/createstringdialog.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include "benchmain.h"
#include "processmeasures.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

struct Window
{
    std::unique_ptr<MetaTool> window;

    Window() : window(std::make_unique<MetaTool>())
    {
        window->resize(1280, 800);
        window->show();
        QApplication::processEvents();
        window->effectEngine()->setPaused(true);
    }
    ~Window() { window->effectEngine()->setPaused(true); }
    MapModel *map() const { return window->mapModel(); }
};

template <class T> T *child(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QString::fromLatin1(name));
}

// Fills in the dialog the window has just opened (rows x columns as a tile) and presses
// "Add Right"; the dialog then creates the string and closes.
void pressAddRight(int rows, int columns)
{
    auto *dialog = qobject_cast<CreateStringDialog *>(QApplication::activeModalWidget());
    if (!dialog) {
        QTimer::singleShot(0, [rows, columns] { pressAddRight(rows, columns); });
        return;
    }
    child<QToolButton>(dialog, "m_tileButton")->click();
    child<QSpinBox>(dialog, "m_numColumnsSpinBox")->setValue(columns);
    child<QSpinBox>(dialog, "m_numRowsSpinBox")->setValue(rows);
    child<QPushButton>(dialog, "buttonAddRight")->click();
}

void BM_AddString(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const int columns = int(state.range(1));
    for (auto _ : state) {
        Window w;
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer timer;
        timer.start();
        QTimer::singleShot(0, [rows, columns] { pressAddRight(rows, columns); });
        w.window->handleAddStringAction();
        QApplication::processEvents();
        state.SetIterationTime(double(timer.nsecsElapsed()) * 1e-9);
        state.counters["cpu_s"] = processCpuSeconds() - cpuBefore;
        if (w.map()->lights().size() != rows * columns)
            state.SkipWithError("the string did not reach the map whole");
    }
    state.counters["lights"] = double(rows) * columns;
}

// n lights found on port 1 of an interface, as the lights wizard enters them into the map.
QList<Light *> foundLights(MapModel *map, int n, DataSupply **found)
{
    DataSupply *ds = map->createDataSupply(2);
    ds->setUid(map->nextUid());
    ds->setName(QStringLiteral("Found"));
    ds->setProtocolVersion(2);
    ds->setPortCount(1);
    map->addDataSupply(ds);
    QList<Light *> lights;
    for (int i = 0; i < n; ++i) {
        auto *light = new Light;
        light->setUid(map->nextUid());
        light->setDataSupplyUid(ds->uid());
        light->setSerialNumber(quint64(0x20000000 + n - i));
        light->setName(QStringLiteral("Found %1").arg(n - i));
        map->addLight(light);
        ds->addLight(light->uid());
        lights.append(light);
    }
    *found = ds;
    return lights;
}

void BM_NameDiscoveredString(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const int columns = int(state.range(1));
    for (auto _ : state) {
        Window w;
        DataSupply *ds = nullptr;
        const QList<Light *> lights = foundLights(w.map(), rows * columns, &ds);
        QApplication::processEvents();
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer timer;
        timer.start();
        {
            CreateStringDialog dialog(w.map(), w.window.get());
            dialog.setDiscoveredLights(lights);
            dialog.setController(ds->uid());
            dialog.setBaseDmxAddress(1);
            QTimer::singleShot(0, [rows, columns] { pressAddRight(rows, columns); });
            dialog.exec();
        }
        QApplication::processEvents();
        state.SetIterationTime(double(timer.nsecsElapsed()) * 1e-9);
        state.counters["cpu_s"] = processCpuSeconds() - cpuBefore;
        if (!w.map()->light(lights.first()->uid())->name().endsWith(QStringLiteral("01-001")))
            state.SkipWithError("the string was not laid out");
    }
    state.counters["lights"] = double(rows) * columns;
}

} // namespace

BENCHMARK(BM_AddString)
    ->Args({10, 100})
    ->Args({100, 100})
    ->Args({65, 1000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NameDiscoveredString)
    ->Args({10, 100})
    ->Args({20, 100})
    ->Args({100, 100})
    ->Args({65, 1000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
