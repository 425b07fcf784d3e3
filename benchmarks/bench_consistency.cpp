// The colour-consistency option's cost on a whole frame: 15,000 lights of three fixture kinds
// showing 64 distinct colours that move on by one light every frame, so every light converts
// every frame and the shared colour cache decides the cost. Compare the two rows: with the
// option on the frame should stay within 1.5x of the plain conversion.
#include "colour/veycolor.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QCoreApplication>

#include "benchmain.h"
#include <benchmark/benchmark.h>

namespace {

constexpr int Lights = 15000;
constexpr int Colours = 64;
constexpr quint32 Profiles[] = {48, 3, 1}; // 3, 4 and 5 channels
constexpr quint32 Chemistry[] = {0, 1, 3};
constexpr int Channels[] = {3, 4, 5};

struct Rig
{
    MapModel map;
    QList<Light *> lights;
    QList<VeyColor> colours;
    int frameNumber = 0;

    explicit Rig(bool consistency)
    {
        for (int c = 0; c < Colours; ++c) {
            VeyColor colour;
            colour.setRgb8(uint(c * 4), uint(255 - c * 3), uint((c * 37) % 256));
            colours << colour;
        }
        const int perInterface = 4 * 100;
        for (int first = 0; first < Lights; first += perInterface)
            addInterface(first, qMin(perInterface, Lights - first));
        map.setLivePlayDisabled(false);
        map.setColorCacheEnabled(consistency);
    }

    void addInterface(int first, int count)
    {
        DataSupply *ds = map.createDataSupply(2);
        ds->setUid(map.nextUid());
        ds->setIpAddressText(
            QStringLiteral("127.0.%1.%2").arg(first >> 16).arg((first >> 8) & 255));
        ds->setProtocolVersion(2);
        ds->setPortCount(4);
        map.addDataSupply(ds);
        int channel[4] = {};
        for (int i = 0; i < count; ++i) {
            const int kind = (first + i) % 3;
            const int port = i / 100;
            auto *light = new Light;
            light->setUid(map.nextUid());
            light->setDataSupplyUid(ds->uid());
            light->setPort(quint8(port));
            light->setLedChemistry(Chemistry[kind]);
            light->setHueweaveProfileId(Profiles[kind]);
            light->setDmxChannel(channel[port]);
            channel[port] += Channels[kind];
            ds->addLight(light->uid());
            map.addLight(light);
            lights << light;
        }
        ds->updateBufferSizes();
    }

    void frame()
    {
        ++frameNumber;
        for (int i = 0; i < lights.size(); ++i)
            lights[i]->applyEffectColor(colours[(i + frameNumber) % Colours], 1);
        map.updateLights();
    }
};

void BM_ConsistencyFrame(benchmark::State &state)
{
    Rig rig(state.range(0) != 0);
    rig.frame(); // fills the cache
    for (auto _ : state)
        rig.frame();
    state.SetLabel(state.range(0) ? "option on" : "option off");
}

} // namespace

BENCHMARK(BM_ConsistencyFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
