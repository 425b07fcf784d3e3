// The light tree's share of opening a map of n lights (four ports of 100 lights per interface):
// the tree takes the map's announcements of every interface and light as one batch, sorts by
// name once and paints its first screen, offscreen. Reports the time and the resident memory
// the tree adds; the map itself is loaded beforehand and not counted.
#include "app/lightview.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include "benchmain.h"
#include "processmeasures.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int PortsPerInterface = 4;
constexpr int LightsPerPort = 100;

std::unique_ptr<MapModel> makeMap(int n)
{
    auto map = std::make_unique<MapModel>();
    int made = 0;
    for (int index = 0; made < n; ++index) {
        DataSupply *dataSupply = map->createDataSupply(2);
        dataSupply->setUid(map->nextUid());
        dataSupply->setName(QStringLiteral("Interface %1").arg(index));
        dataSupply->setPortCount(PortsPerInterface);
        map->loadDataSupply(dataSupply);
        for (int port = 0; port < PortsPerInterface; ++port) {
            for (int i = 0; i < LightsPerPort && made < n; ++i, ++made) {
                auto *light = new Light();
                light->setUid(map->nextUid());
                light->setDataSupplyUid(dataSupply->uid());
                light->setPort(quint8(port));
                light->setDmxChannel(3 * i);
                // Numbered out of order, so the sort has work to do.
                light->setName(QStringLiteral("Light %1").arg((made * 7919) % n));
                dataSupply->addLight(light->uid());
                map->loadLight(light);
            }
        }
    }
    return map;
}

MapModel *mapOf(int n)
{
    static std::map<int, std::unique_ptr<MapModel>> maps;
    std::unique_ptr<MapModel> &map = maps[n];
    if (!map)
        map = makeMap(n);
    return map.get();
}

void BM_BuildLightTree(benchmark::State &state)
{
    const int n = int(state.range(0));
    MapModel *map = mapOf(n);
    const QList<quint64> interfaces = map->dataSupplies().keys();
    const QList<quint64> lights = map->lights().keys();
    long addedKb = 0;
    for (auto _ : state) {
        malloc_trim(0);
        const long before = processStatusKb("VmRSS");
        QElapsedTimer timer;
        timer.start();
        auto tree = std::make_unique<LightView>(map, nullptr, nullptr, QStringLiteral("Light"));
        tree->resize(600, 800);
        tree->show();
        tree->setSortingEnabled(false);
        // As the map announces a load: one batch of interfaces, then lights.
        map->beginBatch();
        for (quint64 uid : interfaces)
            emit map->newDataSupply(uid);
        for (quint64 uid : lights)
            emit map->newLight(uid);
        map->endBatch();
        tree->restoreSorting(0);
        for (int i = 0; i < tree->topLevelItemCount(); i += 50)
            tree->topLevelItem(i)->setExpanded(true);
        QApplication::processEvents();
        state.SetIterationTime(double(timer.nsecsElapsed()) * 1e-9);
        addedKb = processStatusKb("VmRSS") - before;
        tree.reset();
    }
    state.counters["tree_MB"] = double(addedKb) / 1024.0;
}

} // namespace

BENCHMARK(BM_BuildLightTree)
    ->Arg(15000)
    ->Arg(150000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
