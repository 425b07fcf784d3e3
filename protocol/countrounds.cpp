#include "countrounds.h"

#include <algorithm>
#include <numeric>

QByteArray CountRounds::contentOf(const OrvexDatagrams::BlinkScan2ReplyData &reply)
{
    QByteArray content = reply.entries;
    content.prepend(char(reply.entryCount));
    return content;
}

QList<CountAnswers::List> CountRounds::countLists(const OrvexDatagrams::BlinkScan2ReplyData &reply,
                                                  quint64 maxLights)
{
    QList<CountAnswers::List> lists;
    for (const OrvexDatagrams::BlinkScan2List &list : reply.lists) {
        if (list.type != 2 || list.count != list.values.size())
            continue;
        const quint64 lights =
            std::accumulate(list.values.cbegin(), list.values.cend(), quint64(0));
        if (lights <= maxLights)
            lists.append({list.port, list.values});
    }
    return lists;
}

CountRounds::CountRounds(const Timing &timing, qint64 now, int roundLimit)
    : m_timing(timing), m_answers(roundLimit), m_roundStart(now), m_due(now + timing.quietMs)
{}

void CountRounds::datagram(qint64 now, const QByteArray &content,
                           const QList<CountAnswers::List> &lists)
{
    switch (m_phase) {
    case Phase::Done:
        return;
    case Phase::Settling:
        // The scan's own copies: their answers overlap, so they only name the ports.
        m_answers.notePorts(lists);
        break;
    case Phase::Waiting:
        m_phase = Phase::Receiving;
        [[fallthrough]];
    case Phase::Receiving:
        m_answers.add(content, lists);
        break;
    }
    m_lastDatagram = now;
    m_due = std::min(now + m_timing.quietMs, m_roundStart + m_timing.roundMs);
}

CountRounds::Step CountRounds::step(qint64 now)
{
    if (m_phase == Phase::Done)
        return Step::Done;
    if (now < m_due)
        return Step::Wait;
    if (m_phase == Phase::Settling)
        return ask(now);
    return endRound(now);
}

CountRounds::Step CountRounds::endRound(qint64 now)
{
    // A round whose datagrams never stopped holds no answer of the device's alone: a replayed
    // datagram or a flood kept it open.
    const bool streaming = m_phase == Phase::Receiving && now - m_lastDatagram < m_timing.quietMs;
    m_streaming = streaming ? m_streaming + 1 : 0;
    m_answers.endRound(streaming);
    const bool settled = m_asked >= m_timing.minRounds && m_answers.isSettled(m_timing.minRounds);
    if (settled || m_asked >= m_timing.maxRounds || m_streaming >= MaxStreamingRounds) {
        m_phase = Phase::Done;
        return Step::Done;
    }
    return ask(now);
}

CountRounds::Step CountRounds::ask(qint64 now)
{
    ++m_asked;
    m_answers.beginRound();
    m_phase = Phase::Waiting;
    m_roundStart = now;
    m_due = now + m_timing.answerWaitMs;
    return Step::Ask;
}
