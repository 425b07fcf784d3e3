#include "countanswers.h"

#include <algorithm>
#include <limits>

namespace {

// Counts from a datagram are not trusted to stay small: a sum that would overflow saturates.
quint64 lightsIn(const QVector<quint64> &counts)
{
    quint64 total = 0;
    for (const quint64 count : counts)
        total = count > std::numeric_limits<quint64>::max() - total
                    ? std::numeric_limits<quint64>::max()
                    : total + count;
    return total;
}

} // namespace

QList<int> CountAnswers::Result::unsettledPorts() const
{
    QList<int> ports = unsettled.keys();
    std::sort(ports.begin(), ports.end());
    return ports;
}

CountAnswers::CountAnswers(quint64 maxLights, int valueLimit)
    : m_maxLights(maxLights), m_valueLimit(valueLimit)
{
    intern({}); // id 0: the list of a round that lacks the port
}

void CountAnswers::beginRound()
{
    m_current.clear();
    m_currentAlike.clear();
    m_lastDatagram.clear();
    m_currentValues = 0;
    m_currentFlooded = false;
}

void CountAnswers::add(const QList<List> &lists)
{
    QHash<int, Sequence> datagram; // by port: what this datagram brings it
    for (const List &list : lists) {
        m_ports.insert(list.port, true);
        if (m_currentFlooded)
            continue;
        m_currentValues += int(list.counts.size());
        if (m_currentValues > m_valueLimit) {
            // Kept no further: a flood must not grow the memory it takes.
            m_currentFlooded = true;
            m_current.clear();
            continue;
        }
        datagram[list.port] += list.counts;
    }
    if (m_currentFlooded)
        return;
    for (auto it = datagram.cbegin(); it != datagram.cend(); ++it) {
        // Equal lists within one datagram are lost or copied together; equal datagrams not.
        Sequence &last = m_lastDatagram[it.key()];
        if (last == it.value())
            m_currentAlike.insert(it.key(), true);
        last = it.value();
        m_current[it.key()] += it.value();
    }
}

void CountAnswers::endRound(RoundEnd how)
{
    if (how == RoundEnd::Answered && m_currentFlooded)
        how = RoundEnd::Endless;
    m_lastEnd = how;
    if (how == RoundEnd::Answered) {
        Round round;
        for (auto it = m_current.cbegin(); it != m_current.cend(); ++it)
            round.sequences.insert(it.key(), intern(it.value()));
        round.alike = m_currentAlike;
        m_rounds.append(round);
    }
    m_current.clear();
    m_lastDatagram.clear();
}

bool CountAnswers::repeatsLastRound() const
{
    if (m_rounds.isEmpty() || m_currentFlooded)
        return false;
    const Round &last = m_rounds.constLast();
    if (last.sequences.size() != m_current.size())
        return false;
    for (auto it = m_current.cbegin(); it != m_current.cend(); ++it) {
        const auto id = last.sequences.constFind(it.key());
        if (id == last.sequences.cend() || m_sequences.at(id.value()) != it.value())
            return false;
    }
    return true;
}

int CountAnswers::intern(const Sequence &sequence)
{
    const auto found = m_sequenceIds.constFind(sequence);
    if (found != m_sequenceIds.cend())
        return found.value();
    const int id = int(m_sequences.size());
    m_sequences.append(sequence);
    m_lights.append(lightsIn(sequence));
    m_sequenceIds.insert(sequence, id);
    return id;
}

CountAnswers::Votes CountAnswers::votes(int port) const
{
    QHash<int, int> perSequence;
    Votes votes;
    for (const Round &round : m_rounds) {
        const int id = round.sequences.value(port, 0);
        const int v = ++perSequence[id];
        if (v > votes.best) {
            votes.sequence = id;
            votes.best = v;
        }
    }
    votes.others = int(m_rounds.size()) - votes.best;
    return votes;
}

bool CountAnswers::anyDisagreement() const
{
    for (auto it = m_ports.cbegin(); it != m_ports.cend(); ++it) {
        if (votes(it.key()).others > 0)
            return true;
    }
    return false;
}

bool CountAnswers::cameAlike(int port, int sequence) const
{
    return std::any_of(m_rounds.cbegin(), m_rounds.cend(), [&](const Round &round) {
        return round.sequences.value(port, 0) == sequence && round.alike.contains(port);
    });
}

int CountAnswers::winner(int port, bool noisy) const
{
    const Votes v = votes(port);
    if (cameAlike(port, v.sequence)) {
        const bool wins = v.others == 0 && v.best >= AlikeAgreeingRounds && !noisy;
        return wins ? v.sequence : -1;
    }
    const bool wins = (v.others == 0 && v.best >= AgreeingRounds) ||
                      (v.best >= OutvotingRounds && v.best >= Majority * v.others);
    return wins ? v.sequence : -1;
}

bool CountAnswers::isSettled() const
{
    if (m_ports.isEmpty())
        return false;
    const bool noisy = anyDisagreement();
    for (auto it = m_ports.cbegin(); it != m_ports.cend(); ++it) {
        if (winner(it.key(), noisy) < 0)
            return false;
    }
    return true;
}

CountAnswers::Result CountAnswers::result(bool final) const
{
    Result result;
    QList<int> ports = m_ports.keys();
    std::sort(ports.begin(), ports.end());
    // The device fell silent: a list that all its answers agree on, too few to settle it, is
    // taken as it came, and said to be unchecked.
    const bool silent = final && m_lastEnd == RoundEnd::Unanswered;
    const bool noisy = anyDisagreement();
    for (const int port : ports) {
        const Votes v = votes(port);
        const int won = winner(port, noisy);
        const bool agreedBeforeSilence = won < 0 && silent && v.best >= 1 && v.others == 0;
        const int sequence = agreedBeforeSilence ? v.sequence : won;
        if (sequence >= 0)
            takeWinner(result, port, sequence, agreedBeforeSilence);
        else if (final)
            result.unsettled.insert(port, doubtOf(port));
    }
    return result;
}

void CountAnswers::takeWinner(Result &result, int port, int sequence, bool unchecked) const
{
    // A port that an answer showed is never left without lights in silence.
    if (sequence == 0) {
        result.unsettled.insert(port, unchecked ? Doubt::Unanswered : Doubt::Disagreed);
        return;
    }
    if (lightsOf(sequence) > m_maxLights) {
        result.unsettled.insert(port, Doubt::TooManyLights);
        return;
    }
    result.lists.append({port, m_sequences.at(sequence)});
    if (unchecked)
        result.unchecked.append(port);
}

CountAnswers::Doubt CountAnswers::doubtOf(int port) const
{
    const bool allTooMany =
        !m_rounds.isEmpty() && std::all_of(m_rounds.cbegin(), m_rounds.cend(), [&](const Round &r) {
            return lightsOf(r.sequences.value(port, 0)) > m_maxLights;
        });
    if (allTooMany)
        return Doubt::TooManyLights;
    if (m_lastEnd == RoundEnd::Endless)
        return Doubt::Endless;
    if (m_lastEnd == RoundEnd::Unanswered || m_rounds.isEmpty())
        return Doubt::Unanswered;
    return Doubt::Disagreed;
}
