// A chasing group made from a rubber-band selection of n lights, ordered from a corner with one
// synchronized subgroup per line, then compiled: should stay under 200 ms at 15,000 lights and
// grow no faster than n log n.

#include "dialogs/groupbuilder.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QRandomGenerator>

#include "benchmain.h"
#include <algorithm>
#include <cmath>

namespace {

// n lights on a facade grid of 12-unit spacing, slightly off the grid as placed by hand;
// returns their uids in the arbitrary order a rubber band collects them in.
QList<quint64> populate(MapModel &map, int n)
{
    QRandomGenerator random(2718);
    const int columns = int(std::sqrt(double(n)));
    QList<quint64> uids;
    uids.reserve(n);
    for (int i = 0; i < n; ++i) {
        auto *light = new Light;
        light->setUid(map.nextUid());
        light->setName(QStringLiteral("Light %1").arg(i));
        LightPose pose;
        pose.x = (i % columns) * 12.0 + random.bounded(3);
        pose.y = (i / columns) * 12.0 + random.bounded(3);
        light->setPose(pose);
        map.addLight(light);
        uids.append(light->uid());
    }
    std::shuffle(uids.begin(), uids.end(), random);
    return uids;
}

void BM_CreateGroupFromCorner(benchmark::State &state)
{
    const int n = int(state.range(0));
    MapModel map;
    const QList<quint64> selection = populate(map, n);
    GroupBuilder::Options options;
    options.name = QStringLiteral("Facade");
    options.keepClickOrder = false;
    options.start = GroupBuilder::TopLeft;
    options.subgroups = true;
    qsizetype steps = 0;
    for (auto _ : state) {
        Group *group = GroupBuilder::build(&map, selection, options);
        group->compile();
        state.PauseTiming();
        steps = group->lightMatrix().stepCount;
        const QList<quint64> made = QList<quint64>{group->uid()} + group->children();
        for (quint64 uid : made)
            map.deleteGroup(uid);
        state.ResumeTiming();
    }
    state.counters["steps"] = double(steps);
    state.counters["per_light"] = benchmark::Counter(
        double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_CreateGroupFromCorner)
    ->Arg(1500)
    ->Arg(15000)
    ->Arg(150000)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
