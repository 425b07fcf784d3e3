// Walks over group graphs that share members: a ladder of levels whose two groups both hold
// the next level's pair (the paths double at every level), and a dozen groups that all hold
// each other. Every walk starts from nothing compiled, as after loading a map.

#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <benchmark/benchmark.h>

#include "benchmain.h"
#include <QCoreApplication>

namespace {

quint64 addGroup(MapModel &map, int type, const QList<quint64> &members)
{
    auto *group = new Group(type, map.nextUid(), QStringLiteral("Group"));
    group->addChildren(members);
    map.addGroup(group);
    return group->uid();
}

QList<quint64> addLights(MapModel &map, int n)
{
    QList<quint64> uids;
    for (int i = 0; i < n; ++i) {
        auto *light = new Light;
        light->setUid(map.nextUid());
        map.addLight(light);
        uids << light->uid();
    }
    return uids;
}

// Returns the top group of a ladder of the given levels over the given number of lights.
quint64 ladder(MapModel &map, int type, int levels, int lights)
{
    QList<quint64> pair = addLights(map, lights);
    for (int level = 0; level < levels; ++level)
        pair = {addGroup(map, type, pair), addGroup(map, type, pair)};
    return pair.first();
}

quint64 mutualDozen(MapModel &map, int type)
{
    const QList<quint64> lights = addLights(map, 12);
    QList<quint64> groups;
    for (quint64 light : lights)
        groups << addGroup(map, type, {light});
    for (quint64 uid : std::as_const(groups))
        map.group(uid)->addChildren(groups);
    return groups.first();
}

// Forgets every compiled matrix and flattening, then does what a click on the group does.
void walk(benchmark::State &state, MapModel &map, quint64 top)
{
    SelectionEffect effect(&map, 0xFFFFFFFFu);
    effect.reset();
    for (auto _ : state) {
        state.PauseTiming();
        for (Group *group : map.groups()) {
            group->freeLightMatrix();
            group->setType(group->type());
        }
        state.ResumeTiming();
        map.group(top)->compile();
        effect.setGroupSelected(top, true);
        benchmark::DoNotOptimize(map.group(top)->orderedLightUids().size());
        benchmark::DoNotOptimize(map.group(top)->stepCount());
    }
}

void BM_Ladder(benchmark::State &state)
{
    MapModel map;
    const quint64 top = ladder(map, int(state.range(0)), int(state.range(1)), int(state.range(2)));
    walk(state, map, top);
}

void BM_MutualDozen(benchmark::State &state)
{
    MapModel map;
    walk(state, map, mutualDozen(map, int(state.range(0))));
}

} // namespace

// type (1 chasing, 2 synchronized), levels, lights under the last level
BENCHMARK(BM_Ladder)
    ->Args({1, 30, 2})
    ->Args({2, 30, 2})
    ->Args({2, 60, 2})
    ->Args({2, 30, 1000})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MutualDozen)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
