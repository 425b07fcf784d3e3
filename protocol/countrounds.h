#ifndef COUNTROUNDS_H
#define COUNTROUNDS_H

#include <QByteArray>
#include <QList>

#include "protocol/countanswers.h"
#include "protocol/orvexdatagrams.h"

// When the fixture counts of one scanned interface are asked for again, and when an answer is
// over: time enters only through the `now` each call is given (ms on any steady clock), so
// that a test can drive it on a clock of its own.
//
// Once a scan's first answer holds counts, the scan's own copies of the request stop: their
// answers overlap and cannot be told apart. The rounds wait until those answers are quiet,
// then ask once and take what comes until the answer is quiet again, and so on until the
// rounds settle every port or the rounds run out. A round is bounded in time and the rounds in
// number, so a replayed datagram or a flood ends the gathering all the same.
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
        int roundMs = 0;      // the longest a round, or the wait for the scan's answers, runs
        int minRounds = 0;    // fewer settle nothing
        int maxRounds = 0;
    };

    enum class Step {
        Wait, // nothing to do before due()
        Ask,  // send one request now: a round has begun
        Done, // result() is final
    };

    // What of a blink scan 2 reply takes part in the counts: its content without the more
    // flag, whose meaning devices do not share, and its lists of fixture counts that can
    // stand for lights: one count a value, adding up to at most `maxLights` (a corrupt count
    // must not make billions).
    static QByteArray contentOf(const OrvexDatagrams::BlinkScan2ReplyData &reply);
    static QList<CountAnswers::List> countLists(const OrvexDatagrams::BlinkScan2ReplyData &reply,
                                                quint64 maxLights);

    // roundLimit: see CountAnswers.
    CountRounds(const Timing &timing, qint64 now, int roundLimit);

    // A blink scan 2 datagram from the interface: `content` tells it from another, `lists` are
    // the counts it carries that can stand for lights.
    void datagram(qint64 now, const QByteArray &content, const QList<CountAnswers::List> &lists);
    qint64 due() const { return m_due; }
    Step step(qint64 now);
    bool isDone() const { return m_phase == Phase::Done; }
    int roundsAsked() const { return m_asked; }
    CountAnswers::Result result() const { return m_answers.result(m_timing.minRounds); }

private:
    enum class Phase { Settling, Waiting, Receiving, Done };

    // Rounds that were still bringing datagrams when their time ran out: a stream, not an
    // answer. This many in a row end the gathering.
    static constexpr int MaxStreamingRounds = 3;

    Step endRound(qint64 now);
    Step ask(qint64 now);

    Timing m_timing;
    CountAnswers m_answers;
    Phase m_phase = Phase::Settling;
    qint64 m_roundStart = 0;
    qint64 m_due = 0;
    qint64 m_lastDatagram = 0;
    int m_asked = 0;
    int m_streaming = 0; // rounds in a row that did not go quiet
};

#endif // COUNTROUNDS_H
