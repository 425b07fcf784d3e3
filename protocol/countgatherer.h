#ifndef COUNTGATHERER_H
#define COUNTGATHERER_H

#include <QHash>
#include <QObject>

#include <functional>
#include <memory>

#include "protocol/countrounds.h"

class WindowTimer;

// Gathers the fixture counts of the scanned interfaces, one CountRounds each with a timer of
// its own: the discovery engine hands it every count datagram and sends the request again
// when asked; the gatherer hands back what the rounds counted.
class CountGatherer : public QObject
{
    Q_OBJECT
public:
    // now: ms on a steady clock. readArrived: reads every datagram already in, before a timer
    // decides, so that a reply handled late behind a busy window stays in its own round.
    CountGatherer(std::function<qint64()> now, std::function<void()> readArrived,
                  QObject *parent = nullptr);
    ~CountGatherer() override;

    // Starts gathering for ip at its first count datagram. firstIsOneAnswer: the scan's
    // request had gone out once when the datagram came. valueLimit: see CountAnswers.
    void start(quint32 ip, const CountRounds::Timing &timing, bool firstIsOneAnswer,
               quint64 maxLights, int valueLimit);
    bool isGathering(quint32 ip) const { return m_gatherings.contains(ip); }
    void datagram(quint32 ip, const QList<CountAnswers::List> &lists);
    // Ends the gathering for ip without a result.
    void stop(quint32 ip);
    void stopAll();

signals:
    // Send the request to ip once more: its round `round` (from 1) has begun.
    void askAgain(quint32 ip, int round);
    // The gathering for ip is over; it has ended before this is emitted.
    void counted(quint32 ip, const CountAnswers::Result &result);

private:
    struct Gathering
    {
        std::shared_ptr<CountRounds> rounds;
        WindowTimer *timer = nullptr;
    };

    void arm(quint32 ip);
    void handleTimer(quint32 ip);

    std::function<qint64()> m_now;
    std::function<void()> m_readArrived;
    QHash<quint32, Gathering> m_gatherings;
};

#endif // COUNTGATHERER_H
