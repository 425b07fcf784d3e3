#ifndef COUNTROUNDS_H
#define COUNTROUNDS_H

#include <QList>

#include "protocol/countanswers.h"
#include "protocol/orvexdatagrams.h"

// When the fixture counts of one scanned interface are asked for again, and when an answer is
// over: time enters only through the `now` each call is given (ms on any steady clock), so
// that a test can drive it on a clock of its own.
//
// Round 0 is what answered the scan's own request: one answer when the request had gone out
// once before it came, else overlapping answers that only name ports. Then the rounds ask
// once and take what comes, one request at a time, until CountAnswers settles every port.
// A round is over once it has been quiet for quietMs and then stays quiet for as long again
// (the guard: a pause up to twice the quiet is still part of the answer), or once it repeats
// the last answer whole and stays quiet for settleMs. What they assume of a device: it
// answers a request within answerWaitMs, and its datagrams of one answer come less than twice
// quietMs apart and all within roundMs. Whatever arrives, the gathering ends within gatherMs
// of its start.
//
// The caller reads every datagram that has arrived before it calls step(): a datagram handled
// late, behind a busy window, still belongs to the answer it came with.
class CountRounds
{
public:
    // The product's values are NetworkSettings' (DiscoveryEngine::countTiming).
    struct Timing
    {
        int quietMs = 0;      // an answer is over after this long without a datagram
        int answerWaitMs = 0; // a request with no datagram after this long went unanswered
        int roundMs = 0;      // the longest one answer runs; longer is a stream
        int settleMs = 0;     // a round that repeats the last answer ends after this more
        int gatherMs = 0;     // the longest the whole gathering runs
        int maxRounds = 0;
    };

    enum class Step {
        Wait, // nothing to do before due()
        Ask,  // send one request now: a round has begun
        Done, // result() is final
    };

    // A device silent for this many requests in a row has stopped answering: a device may
    // ignore repeats of a request for a while, and at 5% loss two requests in a row go
    // unanswered in one gathering of twenty.
    static constexpr int MaxSilentRounds = 3;

    // The lists of a blink scan 2 reply that count fixtures: one count a value.
    static QList<CountAnswers::List> countLists(const OrvexDatagrams::BlinkScan2ReplyData &reply);

    // Starts at the first count datagram, `now`. firstIsOneAnswer: the scan's request had
    // gone out once only when it came. valueLimit: see CountAnswers.
    CountRounds(const Timing &timing, qint64 now, bool firstIsOneAnswer, quint64 maxLights,
                int valueLimit);

    void datagram(qint64 now, const QList<CountAnswers::List> &lists);
    qint64 due() const { return m_due; }
    Step step(qint64 now);
    bool isDone() const { return m_phase == Phase::Done; }
    int roundsAsked() const { return m_asked; }
    CountAnswers::Result result() const { return m_answers.result(true); }

private:
    enum class Phase {
        Waiting,   // asked, nothing yet
        Receiving, // until quiet
        Guard,     // quiet: anything now is the answer going on after a longer pause
        Settle,    // repeats the last answer whole: anything now belongs to the round
        Done,
    };

    void receive(qint64 now, const QList<CountAnswers::List> &lists);
    CountAnswers::RoundEnd howRoundEnded() const;
    bool isOver(CountAnswers::RoundEnd end, qint64 now) const;
    void ask(qint64 now);
    qint64 capped(qint64 due) const { return std::min(due, m_start + m_timing.gatherMs); }

    Timing m_timing;
    CountAnswers m_answers;
    bool m_firstIsOneAnswer;
    Phase m_phase = Phase::Receiving;
    bool m_first = true; // round 0, the scan's own answers
    qint64 m_start = 0;
    qint64 m_roundFirst = 0; // the round's first datagram
    qint64 m_last = 0;       // the round's latest datagram
    qint64 m_due = 0;
    int m_asked = 0;
    int m_silent = 0; // rounds in a row that nothing answered
};

#endif // COUNTROUNDS_H
