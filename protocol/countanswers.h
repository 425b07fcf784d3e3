#ifndef COUNTANSWERS_H
#define COUNTANSWERS_H

#include <QHash>
#include <QList>
#include <QVector>

// The answers of one light scan that carry fixture counts, put back together.
//
// A device answers a blink scan 2 with one datagram or several; nothing in a datagram names
// the request it answers, says where an answer ends or how the device packed it, and the
// network may lose, copy and reorder any datagram. So the scan asks again, one request at a
// time, and keeps each answer as a round of its own (CountRounds decides where a round ends).
// Of a round only each port's counts in the order they came are kept, so that how a device
// packs them does not matter.
//
// The rule: a port's lights are the list that every answered round brought it, AgreeingRounds
// rounds at least; where rounds disagree, the list that OutvotingRounds rounds at least
// brought it, Majority times as many as brought it other lists, all together. A round that
// lacks the port brings it an empty list. Anything else names the port, never guesses: a
// round's errors are taken to be its own, so the same wrong list does not come round after
// round, and an error common enough to come often is outvoted only by many more rounds.
// Alike datagrams are the exception: when a port came in two equal datagrams one after the
// other, losing either, or copying either, gives the same wrong list, so rounds agree on it
// far more often. Such a port is taken only from AlikeAgreeingRounds rounds that all agree, and
// only while no port of the interface has shown the link's errors; else it is named.
// When the device falls silent, lists that all its answers agreed on, too few to settle them,
// are taken unchecked.
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

    // How a round ended.
    enum class RoundEnd {
        Answered,   // it went quiet after its datagrams: one answer
        Overlapped, // it may hold several answers (the scan's own copies): names ports only
        Unanswered, // nothing came
        Endless,    // it never went quiet, or brought more than any honest answer
    };

    struct Result
    {
        // The counted ports' lists in the device's order, ports ascending.
        QList<List> lists;
        // Ports (from 1) that make no lights, and why.
        QHash<int, Doubt> unsettled;
        // Ports (from 1, ascending) taken unchecked from the few answers the device gave.
        QList<int> unchecked;
        QList<int> unsettledPorts() const;
    };

    // maxLights: the most lights a port holds. valueLimit: the most count values a round
    // takes; a round bringing more was flooded and tells nothing. It should allow the
    // longest honest answer twice.
    explicit CountAnswers(quint64 maxLights = 512, int valueLimit = 1 << 16);

    void beginRound();
    // Count lists of one datagram of the round.
    void add(const QList<List> &lists);
    void endRound(RoundEnd how);

    int answeredRounds() const { return int(m_rounds.size()); }
    bool hasCounts() const { return !m_ports.isEmpty(); }
    // Whether the round so far brought every port exactly the lists of the last answered round:
    // a whole answer, so that it need not wait to go quiet.
    bool repeatsLastRound() const;
    // Whether every port seen so far has a list that wins the rounds.
    bool isSettled() const;
    // What the rounds settle; `final`: no round follows, so a port still open is named, or
    // taken unchecked from the only answer there was.
    Result result(bool final = true) const;

private:
    using Sequence = QVector<quint64>;
    struct Round
    {
        QHash<int, int> sequences; // port -> sequence id
        QHash<int, bool> alike;    // ports that came in two equal datagrams one after the other
    };

    // A clean link: every answer alike. Fewer rounds agree on the same error too often on a
    // noisy link: three rounds each losing one of two datagrams at 5% loss, 0.1% of scans;
    // three alike reorderings of three datagrams a quarter held, 1%.
    static constexpr int AgreeingRounds = 4;
    // A noisy link: one round in four or more may go wrong, and a wrong list must not win by
    // coming a few times in a row before the right one.
    static constexpr int OutvotingRounds = 6;
    static constexpr int Majority = 3;
    // Alike datagrams: at 5% loss, 130 of them agree on a wrong number in 3 rounds 1.4% of
    // the time, in 5 rounds 0.03%.
    static constexpr int AlikeAgreeingRounds = 5;

    struct Votes
    {
        int sequence = 0; // the list most rounds brought
        int best = 0;     // how many brought it
        int others = 0;   // how many brought another
    };
    Votes votes(int port) const;
    // Whether any port's rounds disagree: the link has shown its errors.
    bool anyDisagreement() const;
    // Whether a round that brought the port that sequence brought it in alike datagrams: a
    // network copy makes one round look so, the device's own answer every round.
    bool cameAlike(int port, int sequence) const;
    // The winning sequence of the port, or -1; noisy: anyDisagreement().
    int winner(int port, bool noisy) const;
    int intern(const Sequence &sequence);
    quint64 lightsOf(int sequence) const { return m_lights.at(sequence); }
    void takeWinner(Result &result, int port, int sequence, bool unchecked) const;
    Doubt doubtOf(int port) const;

    quint64 m_maxLights;
    int m_valueLimit;
    QList<Sequence> m_sequences;
    QList<quint64> m_lights;
    QHash<Sequence, int> m_sequenceIds;
    QList<Round> m_rounds; // answered rounds only
    QHash<int, Sequence> m_current;
    int m_currentValues = 0;
    bool m_currentFlooded = false;
    QHash<int, QVector<quint64>> m_lastDatagram; // of the round, by port: its latest list
    QHash<int, bool> m_ports;                    // every port seen, from any round
    QHash<int, bool> m_currentAlike;
    RoundEnd m_lastEnd = RoundEnd::Answered;
};

#endif // COUNTANSWERS_H
