#ifndef COUNTANSWERS_H
#define COUNTANSWERS_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QVector>

// The answers of one light scan that carry fixture counts, put back together.
//
// The scan's request goes out several times and each copy is answered by the whole answer
// again: one datagram or several, the "more" flag set on all but the last. The network may
// lose or copy any datagram, and a device's own datagrams may be alike (one entry a datagram,
// alike fixtures), so neither a datagram seen before nor one seen twice can be dropped on
// sight. What tells them apart is the repetition: every copy of the request brings the same
// answer, so how often a datagram stands in the device's answer is told by how often the
// copies brought it. Where every copy brought every datagram, nothing was lost and the network
// can only have added copies: the fewest a copy brought is the device's own. Where datagrams
// went missing and no answer's end came twice, the network can only have taken some: the
// most. Where both happened, what most copies agree on. The datagram that ends an answer comes
// once from the device: a network that brings it k times in most copies copies every datagram
// k times.
class CountAnswers
{
public:
    struct List
    {
        int port = 0; // as the datagram numbers it, from 1
        QVector<quint64> counts;
    };

    // More distinct datagrams than this in one scan are not kept: no interface's answer is
    // that long, and a flood must not grow without bound.
    static constexpr int MaxDatagrams = 1024;

    // A datagram arrives: `content` tells it from any other, `ends` is whether its "more" flag
    // is clear, and `request` is how many copies of the request had gone out. False when it
    // is a datagram already seen (its lists are known) or one beyond MaxDatagrams.
    bool addDatagram(const QByteArray &content, bool ends, int request);
    // A list of counts of the datagram added last, when that one was new.
    void addList(int port, const QVector<quint64> &counts);

    bool hasCounts() const { return m_hasCounts; }
    // The device's answer as the copies agree on it: its lists in the device's order.
    // requestsSent: how many copies of the request went out.
    QList<List> answer(int requestsSent) const;

private:
    struct Datagram
    {
        bool ends = false;
        QList<List> lists;
    };
    // What the answer to one copy of the request brought: how often each datagram came, and
    // the datagrams in the order they first came.
    struct Copy
    {
        QHash<int, int> seen;
        QList<int> order;
    };

    // What the network did to the answers, as far as they show it.
    enum class Noise { Copies, Losses, Both };
    // How often the datagram stands in the device's answer.
    int multiplicity(int datagram, int factor, Noise noise) const;
    QList<int> answerOrder() const;
    // How many times the network copied that answer: how often its least repeated ending
    // datagram came (1 without one).
    static int networkCopies(const Copy &copy, const QVector<Datagram> &datagrams);
    // How many times the network copies every datagram, as most answers show it.
    int networkFactor() const;
    // Whether some copy of the request went unanswered or lacks a datagram the others brought.
    bool showsLoss(int requestsSent) const;
    // Whether some answer's end came more often than the network copies every datagram.
    bool showsCopies(int factor) const;

    QHash<QByteArray, int> m_index;
    QVector<Datagram> m_datagrams;
    QHash<int, Copy> m_copies; // by request copy
    int m_last = -1;           // the datagram whose lists come next; -1: none
    bool m_hasCounts = false;
};

#endif // COUNTANSWERS_H
