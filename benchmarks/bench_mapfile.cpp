// Saving and loading map files of 1,000 to 150,000 lights, next to the time Qt alone takes to
// parse the same file into a DOM document: loading should stay within about twice the parse
// and grow linearly. Also the model's resident memory per light and the refusal of hostile
// files.

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapfilereader.h"
#include "model/mapmodel.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

#include "benchmain.h"
#include "processmeasures.h"
#include <algorithm>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int LightsPerInterface = 170; // one universe of 3-channel lights
constexpr int LightsPerGroup = 10;

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A map of n lights on interfaces of three ports, every light with its own group, one
// synchronized group per ten lights and one chasing group per ten of those.
void populate(MapModel &map, int n)
{
    DataSupply *ds = nullptr;
    QList<quint64> syncGroups;
    QList<quint64> members;
    for (int i = 0; i < n; ++i) {
        if (i % LightsPerInterface == 0) {
            ds = map.createDataSupply(2);
            ds->setUid(map.nextUid());
            ds->setName(QStringLiteral("Interface %1").arg(i / LightsPerInterface));
            ds->setIpAddressText(QStringLiteral("127.0.%1.%2").arg(i / 40000).arg(i % 250 + 1));
            ds->setProtocolVersion(2);
            ds->setPortCount(3);
            map.addDataSupply(ds);
        }
        auto *light = new Light;
        light->setUid(map.nextUid());
        light->setDataSupplyUid(ds->uid());
        light->setPort(quint8(i % 3));
        light->setDmxChannel((i % LightsPerInterface) / 3 * 3);
        light->setSerialNumber(quint64(0x10000000 + (i * 7919) % n));
        light->setName(QStringLiteral("Light %1").arg(i));
        LightPose pose;
        pose.x = (i % 300) * 12.0;
        pose.y = (i / 300) * 12.0;
        light->setPose(pose);
        map.addLight(light);
        ds->addLight(light->uid());
        members.append(light->uid());
        if (members.size() == LightsPerGroup) {
            auto *group = new Group(Group::Synchronized, map.nextUid(), QStringLiteral("Sync"));
            group->addChildren(members);
            map.addGroup(group);
            syncGroups.append(group->uid());
            members.clear();
        }
        if (syncGroups.size() == LightsPerGroup) {
            auto *chase = new Group(Group::Chasing, map.nextUid(), QStringLiteral("Chase"));
            chase->addChildren(syncGroups);
            map.addGroup(chase);
            syncGroups.clear();
        }
    }
}

// The saved file of a map of n lights, made once per size.
QString mapFile(int n)
{
    static std::map<int, QString> files;
    auto it = files.find(n);
    if (it != files.end())
        return it->second;
    MapModel map;
    populate(map, n);
    const QString path = workDir().filePath(QStringLiteral("bench-%1.map").arg(n));
    map.saveMap(path);
    return files.emplace(n, path).first->second;
}

void BM_SaveMap(benchmark::State &state)
{
    const int n = int(state.range(0));
    MapModel map;
    populate(map, n);
    const QString path = workDir().filePath(QStringLiteral("save-%1.map").arg(n));
    for (auto _ : state)
        benchmark::DoNotOptimize(map.saveMap(path));
    state.counters["per_light"] = benchmark::Counter(
        double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_LoadMap(benchmark::State &state)
{
    const int n = int(state.range(0));
    const QString path = mapFile(n);
    for (auto _ : state) {
        auto map = std::make_unique<MapModel>();
        benchmark::DoNotOptimize(map->loadMap(path, MapLoadDefaults()));
        state.PauseTiming();
        map.reset();
        state.ResumeTiming();
    }
    state.counters["per_light"] = benchmark::Counter(
        double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The yardstick: Qt's own parse of the same file, nothing entered into a model.
void BM_ParseOnly(benchmark::State &state)
{
    const int n = int(state.range(0));
    const QString path = mapFile(n);
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QDomDocument document;
        benchmark::DoNotOptimize(document.setContent(&file, false));
    }
    state.counters["per_light"] = benchmark::Counter(
        double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The reader alone: the file's records built, nothing entered into a model.
void BM_ReadRecords(benchmark::State &state)
{
    const int n = int(state.range(0));
    QFile file(mapFile(n));
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    for (auto _ : state) {
        auto reader = std::make_unique<MapFileReader>();
        benchmark::DoNotOptimize(reader->read(bytes));
        state.PauseTiming();
        reader.reset();
        state.ResumeTiming();
    }
    state.counters["per_light"] = benchmark::Counter(
        double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Resident memory the loaded model of n lights holds, per light: the loaded map minus the
// process before it, with freed memory handed back to the system on both sides.
void BM_ModelMemory(benchmark::State &state)
{
    const int n = int(state.range(0));
    const QString path = mapFile(n);
    double perLight = 0;
    for (auto _ : state) {
        malloc_trim(0);
        const long before = processStatusKb("VmRSS");
        auto map = std::make_unique<MapModel>();
        map->loadMap(path, MapLoadDefaults());
        malloc_trim(0);
        perLight = double(processStatusKb("VmRSS") - before) * 1024.0 / n;
        state.PauseTiming();
        map.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_per_light"] = perLight;
}

// The resident memory a load reaches at its peak against what the loaded model keeps, both
// above the process before the load. The kernel's high-water mark is reset first.
void BM_LoadPeakMemory(benchmark::State &state)
{
    const int n = int(state.range(0));
    const QString path = mapFile(n);
    double peakOverAfter = 0;
    double peakMb = 0;
    for (auto _ : state) {
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = processStatusKb("VmRSS");
        auto map = std::make_unique<MapModel>();
        map->loadMap(path, MapLoadDefaults());
        const long peak = processStatusKb("VmHWM");
        const long after = processStatusKb("VmRSS");
        peakOverAfter = double(peak - before) / double(std::max(after - before, 1L));
        peakMb = double(peak - before) / 1024.0;
        state.counters["lights"] = double(map->lights().size());
        state.PauseTiming();
        map.reset();
        state.ResumeTiming();
    }
    state.counters["peak_over_after"] = peakOverAfter;
    state.counters["peak_MB"] = peakMb;
}

// A 20 MB file of 5,000,000 empty light records: refused at the light count's bound, and
// the resident memory the refusal reached above the process before it. Once per reader; the
// third run reads the largest file of empty records within the bounds (1,000,000 lights and
// 2,000,000 groups, 12 MB), which loads.
void BM_RefuseManyLights(benchmark::State &state)
{
    const QByteArray bytes = state.range(0) < 2
                                 ? "<map>" + QByteArray("<l/>").repeated(5000000) + "</map>"
                                 : "<map>" + QByteArray("<l/>").repeated(1000000) +
                                       QByteArray("<g/>").repeated(2000000) + "</map>";
    const bool xmlParserOnly = state.range(0) == 1;
    double peakMb = 0;
    bool loaded = true;
    for (auto _ : state) {
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = processStatusKb("VmRSS");
        MapModel map;
        loaded = map.loadMapData(bytes, MapLoadDefaults(), xmlParserOnly);
        peakMb = double(processStatusKb("VmHWM") - before) / 1024.0;
    }
    state.counters["peak_MB"] = peakMb;
    state.counters["loaded"] = loaded;
}

// Hostile files a map load must refuse at once: 100,000 nested elements, the same left open,
// and one element with 100,000 attributes.
void BM_RefuseHostile(benchmark::State &state)
{
    const int n = 100000;
    QByteArray bytes;
    if (state.range(0) == 0)
        bytes = "<map>" + QByteArray("<a>").repeated(n) + QByteArray("</a>").repeated(n) + "</map>";
    else if (state.range(0) == 1)
        bytes = "<map>" + QByteArray("<a>").repeated(n);
    else {
        bytes = "<map><l";
        for (int i = 0; i < n; ++i)
            bytes += " a" + QByteArray::number(i) + "='1'";
        bytes += "/></map>";
    }
    const QString path = workDir().filePath(QStringLiteral("hostile-%1.map").arg(state.range(0)));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();
    MapModel map;
    for (auto _ : state)
        benchmark::DoNotOptimize(map.loadMap(path, MapLoadDefaults()));
}

} // namespace

BENCHMARK(BM_RefuseHostile)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPeakMemory)
    ->Arg(100000)
    ->Arg(600000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefuseManyLights)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRecords)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(150000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseOnly)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMap)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(150000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveMap)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(150000)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
