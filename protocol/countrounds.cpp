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

CountRounds::CountRounds(const Timing &timing, qint64 now, bool firstIsOneAnswer,
                         quint64 maxLights, int valueLimit)
    : m_timing(timing), m_answers(maxLights, valueLimit), m_firstIsOneAnswer(firstIsOneAnswer),
      m_start(now), m_roundFirst(now), m_last(now), m_due(now)
{
    m_answers.beginRound();
}

void CountRounds::datagram(qint64 now, const QList<CountAnswers::List> &lists)
{
    if (m_phase == Phase::Done)
        return;
    if (m_phase == Phase::Waiting) {
        m_phase = Phase::Receiving;
        m_roundFirst = now;
    }
    m_answers.add(lists);
    m_last = now;
    m_due = capped(std::min(now + m_timing.quietMs, m_roundFirst + m_timing.roundMs));
    // The last answer again, whole: nothing of it is left to wait for.
    m_repeated = m_phase == Phase::Receiving && m_answers.repeatsLastRound();
    if (m_repeated)
        m_due = now;
}

CountRounds::Step CountRounds::step(qint64 now)
{
    if (m_phase == Phase::Done)
        return Step::Done;
    if (now < m_due)
        return Step::Wait;
    const CountAnswers::RoundEnd end = howRoundEnded(now);
    m_answers.endRound(end);
    m_silent = end == CountAnswers::RoundEnd::Unanswered ? m_silent + 1 : 0;
    if (isOver(end, now)) {
        m_phase = Phase::Done;
        return Step::Done;
    }
    ask(now);
    return Step::Ask;
}

CountAnswers::RoundEnd CountRounds::howRoundEnded(qint64 now) const
{
    using End = CountAnswers::RoundEnd;
    if (m_phase == Phase::Waiting)
        return End::Unanswered;
    if (m_repeated)
        return End::Answered;
    if (now - m_last < m_timing.quietMs) {
        // Cut short by the gathering's end, it may lack the rest of its answer.
        return now >= m_start + m_timing.gatherMs ? End::Overlapped : End::Endless;
    }
    return m_phase == Phase::First && !m_firstIsOneAnswer ? End::Overlapped : End::Answered;
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
    m_repeated = false;
    m_answers.beginRound();
    m_phase = Phase::Waiting;
    m_due = capped(now + m_timing.answerWaitMs);
}
