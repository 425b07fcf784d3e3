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

int CountAnswers::multiplicity(int datagram) const
{
    // Votes of the copies that brought the datagram; a copy that lost it says nothing.
    QMap<int, int> votes;
    for (const Copy &copy : m_copies) {
        const int seen = copy.seen.value(datagram);
        if (seen == 0)
            continue;
        const int copies = networkCopies(copy, m_datagrams);
        ++votes[std::max(1, (seen + copies / 2) / copies)];
    }
    // The most votes; on a tie the fewer lights, since a light made twice is the worse fault.
    int best = 1;
    int bestVotes = 0;
    for (auto it = votes.cbegin(); it != votes.cend(); ++it) {
        if (it.value() > bestVotes) {
            best = it.key();
            bestVotes = it.value();
        }
    }
    return best;
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

QList<CountAnswers::List> CountAnswers::answer() const
{
    QList<List> lists;
    for (const int datagram : answerOrder()) {
        const QList<List> &own = m_datagrams.at(datagram).lists;
        if (own.isEmpty())
            continue;
        for (int i = multiplicity(datagram); i > 0; --i)
            lists += own;
    }
    return lists;
}
