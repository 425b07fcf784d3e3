// Cost of the per-light colour work of one frame: the selection-style mix of an effect colour
// into a light's colour, and the conversion of the light's colour into output bytes.
//
// Run: cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DDALLOWMERE_BENCHMARKS=ON
//      cmake --build build-rel --target bench_colour && build-rel/benchmarks/bench_colour

#include "colour/colourmixing.h"
#include "colour/fixturetypetable.h"
#include "colour/profiledatabase.h"
#include "colour/veycolor.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int frameLights = 15000;

// The fixture type of each width: 0 (RGB), 5 (RGBA), 1 (RGBAW).
int fixtureForChannels(int channels)
{
    return channels == 3 ? 0 : channels == 4 ? 5 : 1;
}

// A light's colour at the start of a frame: zero levels in its own colour form.
VeyColor zeroColour(int fixture)
{
    const int colourType = colorTypeOfFixture(fixture);
    const int channels = channelCountForColorType(colourType);
    VeyColor colour;
    if (channels >= 4) {
        const double zeros[9] = {};
        colour.setNChannelF(zeros, channels + 1, colourType, fixture, false);
    } else {
        colour.setRgbF(0, 0, 0, 0, fixture);
    }
    return colour;
}

// Effect colours: one for all lights (a selection), or a different hue on every light.
std::vector<VeyColor> effectColours(bool varied)
{
    std::vector<VeyColor> colours;
    colours.reserve(frameLights);
    for (int i = 0; i < frameLights; ++i) {
        VeyColor c;
        if (varied)
            c.setRgbF(0.5 + 0.5 * ((i * 7) % 101) / 100.0, ((i * 13) % 257) / 256.0,
                      ((i * 29) % 211) / 210.0);
        else
            c.setRgb8(255, 160, 40);
        colours.push_back(c);
    }
    return colours;
}

void warmUp()
{
    ProfileDatabase::instance();
}

void BM_Mix(benchmark::State &state)
{
    warmUp();
    const int fixture = fixtureForChannels(int(state.range(0)));
    const VeyColor zero = zeroColour(fixture);
    const std::vector<VeyColor> effects = effectColours(state.range(1) != 0);
    size_t i = 0;
    for (auto _ : state) {
        VeyColor mixed = VeyColor::mix(effects[i], zero, 24, 1.0);
        benchmark::DoNotOptimize(mixed);
        i = (i + 1) % effects.size();
    }
    state.SetLabel(state.range(1) ? "a different colour per light" : "one colour for all");
}

void BM_ColorToOutputBytes(benchmark::State &state)
{
    warmUp();
    const int fixture = fixtureForChannels(int(state.range(0)));
    const VeyColor zero = zeroColour(fixture);
    const std::vector<VeyColor> effects = effectColours(true);
    std::vector<VeyColor> lights;
    for (const VeyColor &effect : effects)
        lights.push_back(VeyColor::mix(effect, zero, 24, 1.0));
    quint8 out[16];
    size_t i = 0;
    for (auto _ : state) {
        colorToOutputBytes(lights[i], out, int(state.range(1)));
        benchmark::DoNotOptimize(out);
        i = (i + 1) % lights.size();
    }
    state.SetLabel(state.range(1) == 1 ? "8-bit" : "16-bit");
}

// One frame of 15,000 lights: mix the effect colour into each light, then write its bytes.
void BM_Frame(benchmark::State &state)
{
    warmUp();
    const int fixture = fixtureForChannels(int(state.range(0)));
    const VeyColor zero = zeroColour(fixture);
    const std::vector<VeyColor> effects = effectColours(state.range(1) != 0);
    std::vector<quint8> buffer(size_t(frameLights) * 16);
    for (auto _ : state) {
        for (int light = 0; light < frameLights; ++light) {
            const VeyColor mixed = VeyColor::mix(effects[size_t(light)], zero, 24, 1.0);
            colorToOutputBytes(mixed, buffer.data() + light * 16, 1);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetLabel(state.range(1) ? "a different colour per light" : "one colour for all");
}

} // namespace

BENCHMARK(BM_Mix)->ArgsProduct({{3, 4, 5}, {0, 1}});
BENCHMARK(BM_ColorToOutputBytes)->ArgsProduct({{3, 4, 5}, {1, 2}});
BENCHMARK(BM_Frame)->ArgsProduct({{3, 4, 5}, {0, 1}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
