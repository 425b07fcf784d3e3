#include "windowtimer.h"

WindowTimer::WindowTimer(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::handleTimeout);
}

void WindowTimer::start()
{
    m_clock.start();
    m_timer.start(m_intervalMs);
}

void WindowTimer::start(int ms)
{
    m_intervalMs = ms;
    start();
}

void WindowTimer::stop()
{
    m_timer.stop();
}

void WindowTimer::dismiss()
{
    stop();
    disconnect();
    deleteLater();
}

void WindowTimer::handleTimeout()
{
    constexpr qint64 nsPerMs = 1000000;
    const qint64 leftNs = qint64(m_intervalMs) * nsPerMs - m_clock.nsecsElapsed();
    if (leftNs > 0) {
        m_timer.start(int((leftNs + nsPerMs - 1) / nsPerMs));
        return;
    }
    emit timeout();
}

void WindowTimer::singleShot(int ms, QObject *context, std::function<void()> slot)
{
    auto *timer = new WindowTimer(context);
    connect(timer, &WindowTimer::timeout, context, [timer, slot = std::move(slot)] {
        // The slot may delete the context, and with it this timer and this very lambda.
        const std::function<void()> run = slot;
        timer->deleteLater();
        run();
    });
    timer->start(ms);
}
