// The fixture-count rule's work on the window's thread, without sockets: each iteration runs
// a whole gathering on a clock of its own, 30 rounds, and the counters give the longest single
// call (a datagram handed in, or a round's end) and the memory the rule holds. The cases:
//   honest 8 x 512  - 8 ports of 512 alike fixtures, one count a datagram, and on every port
//                     0 to 4 copies a round, so that the rounds settle nothing
//   flood 64 ports  - a sender at the interface's address answering each request with 50,000
//                     distinct one-light count datagrams over 64 ports
#include "benchmain.h"

#include "protocol/countrounds.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

namespace {

struct Worst
{
    qint64 callNs = 0;
    void note(const QElapsedTimer &timer) { callNs = std::max(callNs, timer.nsecsElapsed()); }
};

CountRounds::Timing timing()
{
    CountRounds::Timing t;
    t.quietMs = 1500;
    t.answerWaitMs = 9000;
    t.roundMs = 30000;
    t.settleMs = 300;
    t.gatherMs = 1 << 30; // every round runs: the worst case is the last
    t.maxRounds = 30;
    return t;
}

// One gathering: round r's datagrams come from make(r, i) for i below count.
template<typename Make>
Worst gather(int ports, int count, Make make)
{
    Worst worst;
    qint64 now = 0;
    CountRounds rounds(timing(), now, true, 512, 2 * 512 * ports + 64);
    for (int round = 0; !rounds.isDone(); ++round) {
        for (int i = 0; i < count; ++i) {
            QElapsedTimer timer;
            timer.start();
            rounds.datagram(now, make(round, i)); // a whole round within one ms
            worst.note(timer);
        }
        now = rounds.due();
        if (rounds.step(now - 1) != CountRounds::Step::Wait)
            qFatal("a round ended before it was quiet");
        QElapsedTimer timer;
        timer.start();
        rounds.step(now);
        worst.note(timer);
        now = rounds.due() - 9000 + 10; // the next round's answer comes at once
    }
    if (rounds.roundsAsked() < 30)
        qFatal("the rounds ended after %d", rounds.roundsAsked());
    return worst;
}

void BM_Honest8x512(benchmark::State &state)
{
    Worst worst;
    for (auto _ : state) {
        worst = gather(8, 8 * 516, [](int round, int i) {
            const int port = 1 + i / 516;
            const bool present = i % 516 < 512 + round % 5;
            return present ? QList<CountAnswers::List>{{port, {1}}} : QList<CountAnswers::List>{};
        });
    }
    state.counters["worst call ms"] = double(worst.callNs) / 1e6;
}

void BM_Flood64Ports(benchmark::State &state)
{
    Worst worst;
    for (auto _ : state) {
        worst = gather(64, 50000, [](int round, int i) {
            return QList<CountAnswers::List>{{1 + i % 64, {quint64(1 + (round * 50000 + i) % 7)}}};
        });
    }
    state.counters["worst call ms"] = double(worst.callNs) / 1e6;
}

} // namespace

BENCHMARK(BM_Honest8x512)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Flood64Ports)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
