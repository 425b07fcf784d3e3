#include "countrounds.h"

#include <algorithm>

QList<CountAnswers::List> CountRounds::countLists(const OrvexDatagrams::BlinkScan2ReplyData &reply)
{
    QList<CountAnswers::List> lists;
    for (const OrvexDatagrams::BlinkScan2List &list : reply.lists) {
        if (list.type == 2 && list.count == list.values.size())
            lists.append({list.port, list.values});
    }
    return lists;
}

CountRounds::CountRounds(const Timing &timing, qint64 now, bool firstIsOneAnswer, quint64 maxLights,
                         int valueLimit)
    : m_timing(timing), m_answers(maxLights, valueLimit), m_firstIsOneAnswer(firstIsOneAnswer),
      m_start(now), m_roundFirst(now), m_last(now), m_due(now)
{
    m_answers.beginRound();
}

void CountRounds::datagram(qint64 now, const QList<CountAnswers::List> &lists)
{
    switch (m_phase) {
    case Phase::Done:
        return;
    case Phase::Waiting:
        m_roundFirst = now;
        [[fallthrough]];
    case Phase::Guard: // a pause in the answer longer than the quiet: the round goes on
    case Phase::Settle:
    case Phase::Receiving:
        receive(now, lists);
        return;
    }
}

void CountRounds::receive(qint64 now, const QList<CountAnswers::List> &lists)
{
    m_answers.add(lists);
    m_last = now;
    m_phase = Phase::Receiving;
    m_due = capped(std::min(now + m_timing.quietMs, m_roundFirst + m_timing.roundMs));
    if (!m_first && m_answers.repeatsLastRound()) {
        m_phase = Phase::Settle;
        m_due = capped(now + m_timing.settleMs);
    }
}

CountRounds::Step CountRounds::step(qint64 now)
{
    if (m_phase == Phase::Done)
        return Step::Done;
    if (now < m_due)
        return Step::Wait;
    const bool cut = now >= m_start + m_timing.gatherMs;
    if (m_phase == Phase::Receiving && !cut && now - m_last >= m_timing.quietMs) {
        m_phase = Phase::Guard;
        m_due = capped(now + m_timing.quietMs);
        if (m_due > now)
            return Step::Wait;
    }
    CountAnswers::RoundEnd end = howRoundEnded();
    // Cut short by the gathering's end, a round may lack the rest of its answer.
    if (cut && (m_phase == Phase::Receiving || m_phase == Phase::Guard))
        end = CountAnswers::RoundEnd::Overlapped;
    m_answers.endRound(end);
    m_silent = end == CountAnswers::RoundEnd::Unanswered ? m_silent + 1 : 0;
    if (isOver(end, now)) {
        m_phase = Phase::Done;
        return Step::Done;
    }
    ask(now);
    return Step::Ask;
}

CountAnswers::RoundEnd CountRounds::howRoundEnded() const
{
    using End = CountAnswers::RoundEnd;
    switch (m_phase) {
    case Phase::Waiting:
        return End::Unanswered;
    case Phase::Receiving:
        // Still bringing datagrams when its time ran out: a stream.
        return End::Endless;
    default:
        return m_first && !m_firstIsOneAnswer ? End::Overlapped : End::Answered;
    }
}

bool CountRounds::isOver(CountAnswers::RoundEnd end, qint64 now) const
{
    // A stream goes on whatever is asked, so asking again would only bring more of it.
    return m_answers.isSettled() || end == CountAnswers::RoundEnd::Endless ||
           m_silent >= MaxSilentRounds || m_asked >= m_timing.maxRounds ||
           now >= m_start + m_timing.gatherMs;
}

void CountRounds::ask(qint64 now)
{
    ++m_asked;
    m_first = false;
    m_answers.beginRound();
    m_phase = Phase::Waiting;
    m_due = capped(now + m_timing.answerWaitMs);
}
