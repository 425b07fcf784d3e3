#ifndef COUNTANSWERS_H
#define COUNTANSWERS_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QVector>

// The answers of one light scan that carry fixture counts, put back together.
//
// A device answers a blink scan 2 with one datagram or several, and a port of alike fixtures
// may fill several equal ones; nothing in a datagram names the request it answers or says
// where an answer ends. The network may lose, copy, delay and reorder any datagram, so one
// answer alone cannot tell the device's equal datagrams from the network's copies. The scan
// therefore asks again, one request at a time, and keeps what each answer brought as a round
// of its own (CountRounds decides where a round ends). How often the device sends a datagram
// is then what the rounds show best: every round is a sample of the same answer, with the
// network's losses and copies on top, and the losses and copies of all the datagrams together
// tell how noisy the link is. A datagram whose number the rounds do not settle beyond doubt
// leaves its ports unsettled: they are named, never guessed.
class CountAnswers
{
public:
    // Why a port's lights could not be counted.
    enum class Doubt {
        Disagreed,     // the answers brought it different lists
        TooManyLights, // its counts add up to more lights than a port holds
        Unanswered,    // the interface stopped answering before its lists could be compared
        Endless,       // its answers never went quiet: a stream, not an answer
    };

    struct List
    {
        int port = 0; // as the datagram numbers it, from 1
        QVector<quint64> counts;
        bool operator==(const List &other) const
        {
            return port == other.port && counts == other.counts;
        }
    };

    struct Result
    {
        // The settled ports' lists in the device's order.
        QList<List> lists;
        // Ports (from 1) whose lights the rounds do not settle.
        QList<int> unsettledPorts;
        // Whether more rounds can settle nothing further: every port settled.
        bool settled() const { return unsettledPorts.isEmpty(); }
    };

    // roundLimit: the most count datagrams one round takes; a round that brings more was
    // flooded and tells nothing. It should allow an honest device's longest answer twice.
    explicit CountAnswers(int roundLimit = 4096) : m_roundLimit(roundLimit) {}

    void beginRound();
    // A datagram of the round: `content` tells it from any other; `lists` are the fixture
    // counts it carries (none: it takes no part in the counts).
    void add(const QByteArray &content, const QList<List> &lists);
    // abandon: the round is known to hold more than one answer of the device's.
    void endRound(bool abandon = false);
    // Rounds that brought counts and were not flooded.
    int rounds() const { return int(m_rounds.size()); }
    bool hasCounts() const { return !m_ports.isEmpty(); }
    // Notes ports whose counts came outside a round, so that an unsettled answer names them.
    void notePorts(const QList<List> &lists);

    // What the rounds so far settle. `minRounds`: fewer rounds settle nothing.
    Result result(int minRounds = 1) const;
    // Whether result() settles every port, found the cheaper way where a number is open.
    bool isSettled(int minRounds) const;

    // How sure the rule must be of a datagram's number before it takes it.
    static constexpr double Certainty = 0.999;

private:
    struct Content
    {
        QByteArray key;
        QList<List> lists;
    };
    struct Round
    {
        QHash<int, int> seen; // content -> how often
        QList<int> order;     // contents in arrival order, every arrival
        int total = 0;
        bool flooded = false;
    };

    // How often each content stands in the device's answer; -1 where the rounds leave it open.
    QHash<int, int> multiplicities(const QList<const Round *> &rounds) const;
    QList<const Round *> usableRounds() const;
    // The result from these rounds (none: too few), with the counts when already known.
    Result resultOf(const QList<const Round *> &rounds, const QHash<int, int> *known) const;
    QList<int> deviceOrder(const QList<const Round *> &rounds, const QHash<int, int> &counts,
                           QList<QPair<int, int>> &doubtful) const;
    // The ports whose fixtures come out otherwise when the two contents swap places.
    QSet<int> portsPlacedByOrder(int a, int b) const;
    void dropUnusedContents();

    int m_roundLimit;
    QList<Content> m_contents;
    QHash<QByteArray, int> m_index;
    QList<Round> m_rounds;
    Round m_current;
    bool m_inRound = false;
    QSet<int> m_ports;
};

#endif // COUNTANSWERS_H
