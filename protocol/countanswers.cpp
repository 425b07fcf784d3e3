#include "countanswers.h"

#include <QMap>

#include <algorithm>

bool CountAnswers::addDatagram(const QByteArray &content, bool ends, int request)
{
    m_last = -1;
    QByteArray key = content;
    key.append(ends ? '\1' : '\0');
    auto it = m_index.constFind(key);
    const bool fresh = it == m_index.cend();
    if (fresh) {
        if (m_datagrams.size() >= MaxDatagrams)
            return false;
        it = m_index.insert(key, int(m_datagrams.size()));
        m_datagrams.append(Datagram{ends, {}});
        m_last = *it;
    }
    Copy &copy = m_copies[request];
    int &seen = copy.seen[*it];
    if (seen++ == 0)
        copy.order.append(*it);
    return fresh;
}

void CountAnswers::addList(int port, const QVector<quint64> &counts)
{
    if (m_last < 0)
        return;
    m_datagrams[m_last].lists.append({port, counts});
    m_hasCounts = true;
}

int CountAnswers::networkCopies(const Copy &copy, const QVector<Datagram> &datagrams)
{
    int copies = 0;
    for (auto it = copy.seen.cbegin(); it != copy.seen.cend(); ++it) {
        if (datagrams.at(it.key()).ends)
            copies = copies == 0 ? it.value() : std::min(copies, it.value());
    }
    return std::max(copies, 1);
}

namespace {

// The value seen most often; on a tie the smaller, since a light made twice is the worse fault.
int mostOften(const QMap<int, int> &tally)
{
    int best = 1;
    int most = 0;
    for (auto it = tally.cbegin(); it != tally.cend(); ++it) {
        if (it.value() > most) {
            best = it.key();
            most = it.value();
        }
    }
    return best;
}

} // namespace

int CountAnswers::networkFactor() const
{
    // A network that copies every datagram copies each answer's ending datagram as often.
    QMap<int, int> tally;
    for (const Copy &copy : m_copies)
        ++tally[networkCopies(copy, m_datagrams)];
    return mostOften(tally);
}

bool CountAnswers::showsLoss(int requestsSent) const
{
    // Every copy of the request is answered by every datagram of the answer, unless the
    // network lost some.
    int answered = 0;
    for (const Copy &copy : m_copies) {
        if (copy.seen.size() < m_datagrams.size())
            return true;
        ++answered;
    }
    return answered < requestsSent;
}

bool CountAnswers::showsCopies(int factor) const
{
    for (const Copy &copy : m_copies) {
        if (networkCopies(copy, m_datagrams) > factor)
            return true;
    }
    return false;
}

int CountAnswers::multiplicity(int datagram, int factor, Noise noise) const
{
    // A copy that lost the datagram altogether says nothing of it.
    QMap<int, int> tally;
    for (const Copy &copy : m_copies) {
        if (const int seen = copy.seen.value(datagram))
            ++tally[std::max(1, (seen + factor / 2) / factor)];
    }
    if (tally.isEmpty())
        return 1;
    switch (noise) {
    case Noise::Copies: // no copy brought fewer than the device sent
        return tally.firstKey();
    case Noise::Losses: // no copy brought more
        return tally.lastKey();
    case Noise::Both:
        break;
    }
    return mostOften(tally);
}

QList<int> CountAnswers::answerOrder() const
{
    // Each copy's order joins the order so far: a datagram it brought first goes right after
    // the one before it in that copy, so that a datagram one copy lost takes its place from
    // the others.
    QList<int> order;
    QList<int> requests = m_copies.keys();
    std::sort(requests.begin(), requests.end());
    for (const int request : std::as_const(requests)) {
        qsizetype anchor = -1;
        for (const int datagram : m_copies.value(request).order) {
            const qsizetype at = order.indexOf(datagram);
            if (at >= 0) {
                anchor = at;
                continue;
            }
            order.insert(++anchor, datagram);
        }
    }
    return order;
}

QList<CountAnswers::List> CountAnswers::answer(int requestsSent) const
{
    // Where no datagram went missing the network can only have added copies, and where no
    // answer's end came twice it can only have taken some away; what it did is told by the
    // datagrams every answer holds once, its end among them. Seen to do neither, it is taken
    // to have copied: a light made twice is the worse fault.
    const int factor = networkFactor();
    const bool losses = showsLoss(requestsSent);
    const Noise noise = !losses ? Noise::Copies : showsCopies(factor) ? Noise::Both : Noise::Losses;
    QList<List> lists;
    for (const int datagram : answerOrder()) {
        const QList<List> &own = m_datagrams.at(datagram).lists;
        if (own.isEmpty())
            continue;
        for (int i = multiplicity(datagram, factor, noise); i > 0; --i)
            lists += own;
    }
    return lists;
}
