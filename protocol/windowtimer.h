#ifndef WINDOWTIMER_H
#define WINDOWTIMER_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// The single-shot timer of every window and retry of the network code: it never times out
// before its interval has passed. Qt's default (coarse) timers may fire up to 5% early, which
// loses a reply that arrives in the last moments of a 3 s window; this one runs a precise
// timer, and should that fire early all the same, it waits out the rest before it times out.
class WindowTimer : public QObject
{
    Q_OBJECT
public:
    explicit WindowTimer(QObject *parent = nullptr);

    // Starts, or starts again, for the interval set last.
    void start();
    void start(int ms);
    void stop();
    // Stops for good and lets go of every connection, to be deleted once control returns to
    // the event loop: safe inside the timer's own timeout.
    void dismiss();
    bool isActive() const { return m_timer.isActive(); }
    void setInterval(int ms) { m_intervalMs = ms; }
    int interval() const { return m_intervalMs; }

    // Calls `slot` once, no earlier than ms from now, unless context is destroyed before.
    static void singleShot(int ms, QObject *context, std::function<void()> slot);

signals:
    void timeout();

private:
    void handleTimeout();

    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_intervalMs = 0;
};

#endif // WINDOWTIMER_H
