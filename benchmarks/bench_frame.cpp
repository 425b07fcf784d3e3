// One whole live-play frame: engine tick, the selection effect painting every light, every
// interface filling its port buffers and emitting its port-outs, to the last frame signal.
#include "canvasmap.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QCoreApplication>
#include <QDateTime>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

using canvasmap::LightsPerPort;
using canvasmap::PortsPerInterface;

quint32 packetHash(const QByteArray &bytes)
{
    quint32 hash = 2166136261u;
    for (char byte : bytes)
        hash = (hash ^ quint8(byte)) * 16777619u;
    return hash;
}

struct FrameRig
{
    MapModel map;
    std::unique_ptr<SelectionEffect> effect;
    std::unique_ptr<EffectEngine> engine;
    qint64 clockMs = 0;
    qint64 bytesSent = 0;
    // The sum of an FNV-1a hash per port-out over address, port and bytes: interfaces send in
    // hash order, which differs from run to run, so the packets' order must not count.
    quint32 contentHash = 0;
    int lightCount = 0;
    // Creation order, so the selection and the chase are the same lights in every run.
    QList<quint64> uidsInOrder;

    explicit FrameRig(int lights)
    {
        effect = std::make_unique<SelectionEffect>(&map, 4294967295u);
        const int perInterface = PortsPerInterface * LightsPerPort;
        const int interfaces = (lights + perInterface - 1) / perInterface;
        for (int i = 0; i < interfaces && lightCount < lights; ++i)
            addInterface(i, lights);
        map.setLivePlayDisabled(false);
        effect->reset();
        effect->enabled = true;
        for (int n = 0; n < uidsInOrder.size(); n += 10)
            effect->setLightSelected(uidsInOrder.at(n), true);
        QObject::connect(
            &map, &MapModel::signalSendPortOut, &map,
            [this](QString ip, quint32, quint8 port, quint16, quint16, QByteArray data) {
                bytesSent += data.size();
                contentHash += packetHash(ip.toLatin1() + char(port) + data);
            });
        engine = std::make_unique<EffectEngine>(&map, 100);
        engine->setPaused(true);
        engine->addEffect(effect.get());
    }

    void addInterface(int index, int lights)
    {
        canvasmap::addInterface(map, index, lightCount, lights, [this](const Light *light) {
            uidsInOrder.append(light->uid());
        })->updateBufferSizes();
    }

    void frame()
    {
        clockMs += 100;
        engine->tick(QDateTime::currentDateTime(), clockMs);
    }
};

// A chase over the first hundred lights' own groups, stepping every frame.
void startChase(FrameRig &rig)
{
    auto *group = new Group(Group::Chasing, rig.map.nextUid(), QStringLiteral("chase"));
    group->addChildren(rig.uidsInOrder.mid(0, 100));
    rig.map.addGroup(group);
    rig.effect->highlightGroup(group->uid());
}

void runFrames(benchmark::State &state, bool highlight, bool livePlay = true,
               bool incremental = true)
{
    FrameRig rig(int(state.range(0)));
    rig.engine->setIncrementalFrames(incremental);
    rig.map.setLivePlayDisabled(!livePlay);
    if (highlight)
        startChase(rig);
    rig.frame(); // the first frame converts every colour once
    rig.bytesSent = 0;
    for (auto _ : state)
        rig.frame();
    state.counters["lights"] = rig.lightCount;
    state.counters["per_light"] =
        benchmark::Counter(double(rig.lightCount), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
    state.counters["bytes_per_frame"] =
        double(rig.bytesSent) / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

void BM_Frame(benchmark::State &state)
{
    runFrames(state, false);
}

void BM_FrameHighlight(benchmark::State &state)
{
    runFrames(state, true);
}

// Every light painted and written every frame, as frames were built before steady frames
// repeated the last one and changed lights were written alone.
void BM_FrameWhole(benchmark::State &state)
{
    runFrames(state, false, true, false);
}

// For comparison: the same frame with live play off, where the map model only ends every
// light's frame; the difference to BM_Frame is the interfaces' output.
void BM_FrameLivePlayOff(benchmark::State &state)
{
    runFrames(state, false, false);
}

// The content of a few frames, the chase stepping through them, as one hash: a build that
// makes the frame faster must print the same numbers as the build before it.
void printChecksums()
{
    for (int lights : {1500, 15000, 150000}) {
        FrameRig rig(lights);
        startChase(rig);
        for (int i = 0; i < 6; ++i)
            rig.frame();
        std::printf("frame content %d lights: %08x (%lld bytes)\n", lights,
                    unsigned(rig.contentHash), static_cast<long long>(rig.bytesSent));
    }
}

// Frames between every kind of change that alters the output, and steady frames after each,
// as one hash per map size: steady frames must send what the frame before them sent.
void printChangeChecksums()
{
    for (int lights : {1500, 15000}) {
        FrameRig rig(lights);
        auto frames = [&rig](int n) {
            for (int i = 0; i < n; ++i)
                rig.frame();
        };
        const QList<quint64> &uids = rig.uidsInOrder;
        frames(3);
        rig.effect->setLightSelected(uids.at(5), true);
        frames(2);
        rig.effect->setLightSelected(uids.at(10), false);
        frames(2);
        rig.map.light(uids.at(7))->setDmxChannel(420);
        frames(2);
        rig.map.light(uids.at(8))->setPort(3);
        frames(2);
        rig.map.light(uids.at(11))->setLedChemistry(3);
        frames(2);
        rig.map.light(uids.at(12))->setHalfFullMode(true);
        frames(2);
        DataSupply *first = rig.map.dataSupply(rig.map.light(uids.at(0))->dataSupplyUid());
        first->setPortNumber(1, 9);
        frames(2);
        first->setProtocolVersion(1);
        frames(2);
        first->setProtocolVersion(2);
        first->setMissing(true);
        frames(2);
        rig.map.setLivePlayDisabled(true);
        frames(2);
        rig.map.setLivePlayDisabled(false);
        frames(2);
        rig.effect->setFgColor(VeyColor(Qt::green));
        rig.effect->setLightSelected(uids.at(20), true);
        frames(2);
        rig.map.setColorCacheEnabled(true);
        frames(2);
        rig.map.deleteLight(uids.at(30));
        frames(2);
        first->removeLight(uids.at(31));
        frames(2);
        startChase(rig);
        frames(3);
        rig.effect->setLightSelected(uids.at(40), true);
        frames(2);
        rig.effect->enabled = false;
        frames(2);
        std::printf("frame changes %d lights: %08x (%lld bytes)\n", lights,
                    unsigned(rig.contentHash), static_cast<long long>(rig.bytesSent));
    }
}

} // namespace

BENCHMARK(BM_Frame)->Arg(1500)->Arg(15000)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameHighlight)->Arg(1500)->Arg(15000)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameWhole)->Arg(1500)->Arg(15000)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameLivePlayOff)->Arg(1500)->Arg(15000)->Arg(150000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsSet("DALLOWMERE_FRAME_CHECKSUM")) {
        printChecksums();
        printChangeChecksums();
        return 0;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
