// The long campaign of the lockstep frame check (tests/model/tst_framedifferential runs a few
// hundred sequences): thousands of random edit sequences, each run on a map whose engine
// repeats and rewrites frames and on one that builds every frame whole, each shown on a
// canvas, every datagram of every frame and every square after it compared; one sequence in
// five starts with live play off. A divergence is printed shrunk to the edits that matter.
// DALLOWMERE_CAMPAIGN_SEQUENCES sets the count (default 5000).
#include "benchmain.h"
#include "support/framedifferential.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>

namespace {

void BM_LockstepCampaign(benchmark::State &state)
{
    const int sequences = qEnvironmentVariableIsSet("DALLOWMERE_CAMPAIGN_SEQUENCES")
                              ? qEnvironmentVariableIntValue("DALLOWMERE_CAMPAIGN_SEQUENCES")
                              : 5000;
    long frames = 0;
    long skipped = 0;
    int diverged = 0;
    for (auto _ : state) {
        for (int i = 0; i < sequences; ++i) {
            // Seeds apart from the test's, so the campaign tries sequences it does not.
            const quint32 seed = 100000u + quint32(i);
            const bool livePlay = i % 5 != 4;
            const std::vector<FrameDifferential::Op> ops =
                FrameDifferential::randomSequence(seed, 60);
            const FrameDifferential::Outcome outcome = FrameDifferential::run(ops, livePlay);
            frames += outcome.frames;
            skipped += outcome.skipped;
            if (outcome.diverged) {
                ++diverged;
                const auto few = FrameDifferential::shrink(ops, livePlay);
                std::fprintf(stderr, "seed %u (live play %s) diverged:\n%s\n%s\n", seed,
                             livePlay ? "on" : "off", qPrintable(FrameDifferential::describe(few)),
                             qPrintable(FrameDifferential::run(few, livePlay).detail));
            }
        }
    }
    state.counters["sequences"] = sequences;
    state.counters["frames"] = double(frames);
    state.counters["repeated_or_partial"] = double(skipped);
    state.counters["diverged"] = diverged;
    if (diverged > 0)
        state.SkipWithError("frames diverged");
}

} // namespace

BENCHMARK(BM_LockstepCampaign)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
