#include "countanswers.h"

#include <QMap>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>

namespace {

// One guess at what the link does to each datagram the device sends: loses it, or brings it
// twice.
struct Noise
{
    double lost = 0.0;
    double copied = 0.0;
};

// The links the rule weighs, each as likely as the others: from clean to one that loses or
// copies nearly a third of what it carries.
const QVector<Noise> &noiseGuesses()
{
    static const QVector<Noise> guesses = [] {
        const double rates[] = {0.0, 0.01, 0.02, 0.04, 0.07, 0.1, 0.15, 0.2};
        QVector<Noise> all;
        for (const double lost : rates) {
            for (const double copied : rates)
                all.append({lost, copied});
        }
        return all;
    }();
    return guesses;
}

// How likely a datagram the device does not send at all (a forged one, or one of another
// round's answer that came late) shows in a round.
constexpr double StrayRate = 0.05;
constexpr double Impossible = -std::numeric_limits<double>::infinity();
// The most a datagram is taken to stand in one answer.
constexpr int MaxMultiplicity = 1100;

// log of the sum of the exponentials, scaled by the largest.
double logSum(const QVector<double> &logs)
{
    const double high = *std::max_element(logs.cbegin(), logs.cend());
    if (high == Impossible)
        return Impossible;
    double sum = 0.0;
    for (const double log : logs)
        sum += std::exp(log - high);
    return high + std::log(sum);
}

double logOf(double p)
{
    return p > 0.0 ? std::log(p) : Impossible;
}

double logStray(int seen)
{
    return seen == 0 ? std::log(1.0 - StrayRate) : std::log(StrayRate) + seen * std::log(0.5);
}

// What the rounds show of one content: how often each round brought it.
struct Sample
{
    int content = 0;
    QVector<int> seen;
    QMap<int, int> tally; // how many rounds brought it k times, by k
    int least = 0;
    int most = 0;
    // The numbers the device may send it: 0, then first to last.
    int first = 1;
    int last = 1;
    // log chance of the rounds for each number (0, then first to last), for each noise guess.
    QVector<QVector<double>> logChance;
    QVector<double> logAny; // for each noise guess, over all numbers
};

Sample sampleOf(int content, const QVector<int> &seen)
{
    Sample s;
    s.content = content;
    s.seen = seen;
    for (const int k : seen)
        ++s.tally[k];
    s.least = *std::min_element(seen.cbegin(), seen.cend());
    s.most = *std::max_element(seen.cbegin(), seen.cend());
    // No guess loses or copies more than a third: numbers farther from what came are beyond it.
    s.first = std::max(1, int(std::floor(s.least / 1.35)));
    s.last = std::min(MaxMultiplicity, int(std::ceil(s.most / 0.65)) + 1);
    s.first = std::min(s.first, s.last);
    return s;
}

// Fills every sample's chances under one noise guess: how likely the rounds are if the device
// sends the content m times, for each m the sample weighs.
void weigh(QVector<Sample> &samples, const Noise &noise)
{
    int highest = 0;
    for (const Sample &s : std::as_const(samples))
        highest = std::max(highest, s.last);
    const double kept = 1.0 - noise.lost - noise.copied;
    // chance[k]: that m sent datagrams arrive k times, grown one datagram at a time.
    QVector<double> chance{1.0};
    for (int m = 1; m <= highest; ++m) {
        QVector<double> next(chance.size() + 2, 0.0);
        for (int k = 0; k < chance.size(); ++k) {
            next[k] += chance[k] * noise.lost;
            next[k + 1] += chance[k] * kept;
            next[k + 2] += chance[k] * noise.copied;
        }
        chance = next;
        for (Sample &s : samples) {
            if (m < s.first || m > s.last)
                continue;
            double log = 0.0;
            for (auto it = s.tally.cbegin(); it != s.tally.cend(); ++it)
                log += it.value() * logOf(it.key() < chance.size() ? chance[it.key()] : 0.0);
            s.logChance.last()[1 + m - s.first] = log;
        }
    }
}

} // namespace

void CountAnswers::beginRound()
{
    m_current = Round();
    m_inRound = true;
}

void CountAnswers::add(const QByteArray &content, const QList<List> &lists)
{
    if (!m_inRound || lists.isEmpty() || m_current.flooded)
        return;
    notePorts(lists);
    if (++m_current.total > m_roundLimit) {
        m_current.flooded = true;
        return;
    }
    auto it = m_index.constFind(content);
    if (it == m_index.cend()) {
        it = m_index.insert(content, int(m_contents.size()));
        m_contents.append({content, lists});
    }
    ++m_current.seen[*it];
    m_current.order.append(*it);
}

void CountAnswers::notePorts(const QList<List> &lists)
{
    for (const List &list : lists)
        m_ports.insert(list.port);
}

void CountAnswers::endRound(bool abandon)
{
    if (!m_inRound)
        return;
    m_inRound = false;
    // A round that brought no counts says nothing: its request or its whole answer was lost.
    if (abandon || m_current.flooded || m_current.total == 0) {
        dropUnusedContents();
        return;
    }
    m_rounds.append(m_current);
    m_current = Round();
}

void CountAnswers::dropUnusedContents()
{
    // A flood's contents are in no kept round; without this they would pile up round after
    // round.
    QSet<int> used;
    for (const Round &round : std::as_const(m_rounds)) {
        for (auto it = round.seen.cbegin(); it != round.seen.cend(); ++it)
            used.insert(it.key());
    }
    if (used.size() == m_contents.size())
        return;
    QHash<int, int> renumbered;
    QList<Content> kept;
    for (int i = 0; i < m_contents.size(); ++i) {
        if (used.contains(i)) {
            renumbered.insert(i, int(kept.size()));
            kept.append(m_contents.at(i));
        }
    }
    m_contents = kept;
    m_index.clear();
    for (int i = 0; i < m_contents.size(); ++i)
        m_index.insert(m_contents.at(i).key, i);
    for (Round &round : m_rounds) {
        QHash<int, int> seen;
        for (auto it = round.seen.cbegin(); it != round.seen.cend(); ++it)
            seen.insert(renumbered.value(it.key()), it.value());
        round.seen = seen;
        for (int &content : round.order)
            content = renumbered.value(content);
    }
}

QList<const CountAnswers::Round *> CountAnswers::usableRounds() const
{
    // A round that brought far more or far fewer datagrams than most holds more than one
    // answer, or part of one: its request and another's answers met in it.
    QVector<int> totals;
    for (const Round &round : m_rounds)
        totals.append(round.total);
    std::sort(totals.begin(), totals.end());
    const int median = totals.isEmpty() ? 0 : totals.at(totals.size() / 2);
    const int slack = std::max(2, int(std::ceil(median * 0.35)));
    QList<const Round *> usable;
    for (const Round &round : m_rounds) {
        if (std::abs(round.total - median) <= slack)
            usable.append(&round);
    }
    return usable;
}

QHash<int, int> CountAnswers::multiplicities(const QList<const Round *> &rounds) const
{
    QVector<Sample> samples;
    for (int c = 0; c < m_contents.size(); ++c) {
        QVector<int> seen;
        for (const Round *round : rounds)
            seen.append(round->seen.value(c));
        if (std::any_of(seen.cbegin(), seen.cend(), [](int k) { return k > 0; }))
            samples.append(sampleOf(c, seen));
    }
    const QVector<Noise> &guesses = noiseGuesses();
    for (Sample &s : samples)
        s.logAny.fill(Impossible, guesses.size());
    QVector<double> logAll(guesses.size(), 0.0);
    for (int g = 0; g < guesses.size(); ++g) {
        for (Sample &s : samples) {
            QVector<double> chances(2 + s.last - s.first, Impossible);
            chances[0] = 0.0;
            for (auto it = s.tally.cbegin(); it != s.tally.cend(); ++it)
                chances[0] += it.value() * logStray(it.key());
            s.logChance.append(chances);
        }
        weigh(samples, guesses.at(g));
        for (Sample &s : samples) {
            s.logAny[g] = logSum(s.logChance.last());
            logAll[g] += s.logAny[g];
        }
    }
    // Each content's number, weighed over every noise guess with every other content's
    // numbers left free: the link's noise is what all of them show together.
    QHash<int, int> counts;
    for (const Sample &s : std::as_const(samples)) {
        // Summed in plain numbers, scaled by the largest term so that none overflows.
        double scale = Impossible;
        QVector<double> others(guesses.size(), Impossible);
        for (int g = 0; g < guesses.size(); ++g) {
            if (s.logAny[g] == Impossible)
                continue;
            others[g] = logAll[g] - s.logAny[g];
            for (const double log : std::as_const(s.logChance[g]))
                scale = std::max(scale, others[g] + log);
        }
        QVector<double> weight(s.logChance.first().size(), 0.0);
        for (int g = 0; scale != Impossible && g < guesses.size(); ++g) {
            if (others[g] == Impossible)
                continue;
            for (int i = 0; i < weight.size(); ++i)
                weight[i] += std::exp(others[g] + s.logChance[g][i] - scale);
        }
        const double total = std::accumulate(weight.cbegin(), weight.cend(), 0.0);
        const auto best = std::max_element(weight.cbegin(), weight.cend());
        const int index = int(best - weight.cbegin());
        const bool sure = total > 0.0 && *best / total >= Certainty;
        counts.insert(s.content, !sure ? -1 : index == 0 ? 0 : s.first + index - 1);
    }
    return counts;
}

namespace {

// One arrival of a content in a round: the content and which of its arrivals it is, so that a
// device's equal datagrams each keep a place of their own.
using Occurrence = QPair<int, int>;

QList<Occurrence> occurrences(const QList<int> &order)
{
    QList<Occurrence> labelled;
    QHash<int, int> seen;
    for (const int content : order)
        labelled.append({content, seen[content]++});
    return labelled;
}

// Whether the rounds put a before b beyond doubt: a few more rounds the other way would not
// turn it.
bool decided(int agree, int disagree)
{
    return agree >= disagree + 5;
}

// The order most rounds agree on, pair by pair: a datagram held on the way or two swapped
// move only their own pairs, in the rounds they happened in. Pairs of different contents the
// rounds leave in doubt go to `doubtful`.
QList<int> agreedOrder(const QList<QList<Occurrence>> &rounds,
                       const std::function<bool(int, int)> &sharesPort,
                       QList<QPair<int, int>> &doubtful)
{
    const QList<Occurrence> &labels = rounds.first();
    const int n = int(labels.size());
    QHash<Occurrence, int> index;
    for (int i = 0; i < n; ++i)
        index.insert(labels[i], i);
    // before[i * n + j]: rounds that brought label i ahead of label j.
    QVector<int> before(n * n, 0);
    QVector<double> meanPlace(n, 0.0);
    QVector<int> at(n);
    for (const QList<Occurrence> &round : rounds) {
        for (int place = 0; place < round.size(); ++place)
            at[place] = index.value(round[place]);
        for (int place = 0; place < n; ++place) {
            meanPlace[at[place]] += double(place) / rounds.size();
            for (int later = place + 1; later < n; ++later)
                ++before[at[place] * n + at[later]];
        }
    }
    QVector<int> wins(n, 0);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            if (i != j && before[i * n + j] > before[j * n + i])
                ++wins[i];
        }
    }
    QVector<int> sorted(n);
    std::iota(sorted.begin(), sorted.end(), 0);
    std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
        if (wins[a] != wins[b])
            return wins[a] > wins[b];
        return meanPlace[a] < meanPlace[b];
    });
    // Each datagram against the next different one of the same port: the rest of the order
    // follows from those.
    QList<int> order;
    for (int i = 0; i < n; ++i) {
        const int a = sorted[i];
        order.append(labels[a].first);
        for (int j = i + 1; j < n; ++j) {
            const int b = sorted[j];
            if (labels[a].first == labels[b].first || !sharesPort(labels[a].first, labels[b].first))
                continue;
            if (!decided(before[a * n + b], before[b * n + a]))
                doubtful.append({labels[a].first, labels[b].first});
            break;
        }
    }
    return order;
}

} // namespace

QList<int> CountAnswers::deviceOrder(const QList<const Round *> &rounds,
                                     const QHash<int, int> &counts,
                                     QList<QPair<int, int>> &doubtful) const
{
    // The rounds that brought exactly the settled datagrams tell their order.
    QList<QList<Occurrence>> exact;
    const Round *closest = nullptr;
    int closestDistance = std::numeric_limits<int>::max();
    for (const Round *round : rounds) {
        QList<int> order;
        for (const int content : round->order) {
            if (counts.value(content) > 0)
                order.append(content);
        }
        int distance = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() > 0)
                distance += std::abs(it.value() - round->seen.value(it.key()));
        }
        if (distance == 0)
            exact.append(occurrences(order));
        if (distance < closestDistance) {
            closest = round;
            closestDistance = distance;
        }
    }
    const auto sharesPort = [this](int a, int b) {
        for (const List &first : m_contents.at(a).lists) {
            for (const List &second : m_contents.at(b).lists) {
                if (first.port == second.port)
                    return true;
            }
        }
        return false;
    };
    if (!exact.isEmpty())
        return agreedOrder(exact, sharesPort, doubtful);
    // No round brought the answer whole: the closest one, its surplus left out and what it
    // lacks put beside the datagram's other arrivals.
    QList<int> order;
    QHash<int, int> placed;
    for (const int content : closest ? closest->order : QList<int>()) {
        if (placed.value(content) < counts.value(content)) {
            order.append(content);
            ++placed[content];
        }
    }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        for (int i = placed.value(it.key()); i < it.value(); ++i) {
            const qsizetype at = order.lastIndexOf(it.key());
            order.insert(at < 0 ? order.size() : at + 1, it.key());
        }
    }
    // A guess: where it puts different datagrams apart, their order is in doubt.
    for (int i = 0; i < order.size(); ++i) {
        for (int j = i + 1; j < order.size(); ++j) {
            if (order[i] != order[j])
                doubtful.append({order[i], order[j]});
        }
    }
    return order;
}

QSet<int> CountAnswers::portsPlacedByOrder(int a, int b) const
{
    // Only the order within a port places its fixtures, and only where the two datagrams'
    // fixtures differ: alike fixtures come out the same either way.
    QSet<int> ports;
    const auto countsOn = [this](int content, int port) {
        QVector<quint64> counts;
        for (const List &list : m_contents.at(content).lists) {
            if (list.port == port)
                counts += list.counts;
        }
        return counts;
    };
    for (const List &list : m_contents.at(a).lists) {
        const QVector<quint64> first = countsOn(a, list.port);
        const QVector<quint64> second = countsOn(b, list.port);
        if (!second.isEmpty() && first + second != second + first)
            ports.insert(list.port);
    }
    return ports;
}

bool CountAnswers::isSettled(int minRounds) const
{
    const QList<const Round *> rounds = usableRounds();
    if (rounds.size() < std::max(1, minRounds))
        return false;
    const QHash<int, int> counts = multiplicities(rounds);
    if (std::any_of(counts.cbegin(), counts.cend(), [](int count) { return count < 0; }))
        return false;
    return resultOf(rounds, &counts).settled();
}

CountAnswers::Result CountAnswers::result(int minRounds) const
{
    const QList<const Round *> rounds = usableRounds();
    return resultOf(rounds.size() < std::max(1, minRounds) ? QList<const Round *>() : rounds,
                    nullptr);
}

CountAnswers::Result CountAnswers::resultOf(const QList<const Round *> &rounds,
                                            const QHash<int, int> *known) const
{
    Result result;
    QSet<int> unsettled;
    if (rounds.isEmpty()) {
        unsettled = m_ports;
    } else {
        const QHash<int, int> counts = known ? *known : multiplicities(rounds);
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() < 0) {
                for (const List &list : m_contents.at(it.key()).lists)
                    unsettled.insert(list.port);
            }
        }
        QList<QPair<int, int>> doubtful;
        const QList<int> order = deviceOrder(rounds, counts, doubtful);
        for (const QPair<int, int> &pair : std::as_const(doubtful))
            unsettled += portsPlacedByOrder(pair.first, pair.second);
        for (const int content : order) {
            for (const List &list : m_contents.at(content).lists) {
                if (!unsettled.contains(list.port))
                    result.lists.append(list);
            }
        }
    }
    result.unsettledPorts = QList<int>(unsettled.cbegin(), unsettled.cend());
    std::sort(result.unsettledPorts.begin(), result.unsettledPorts.end());
    return result;
}
