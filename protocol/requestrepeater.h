#ifndef REQUESTREPEATER_H
#define REQUESTREPEATER_H

#include "protocol/windowtimer.h"

#include <QObject>

#include <functional>

// Sends one request several times, NetworkSettings' requestRepeatMs apart, until it has gone
// out requestSends times in all or is stopped: a datagram lost on the way there or back then
// loses nothing, as long as the replies to the copies are merged.
class RequestRepeater : public QObject
{
    Q_OBJECT
public:
    // send: sends the request once; false when the socket refused it.
    explicit RequestRepeater(std::function<bool()> send, QObject *parent = nullptr);

    // Sends now and schedules the other copies; a sequence already running starts anew.
    // Returns the first send's result; when it failed, no copy follows.
    bool start();
    void stop() { m_timer.stop(); }
    bool isRunning() const { return m_timer.isActive(); }
    int sent() const { return m_sent; }

private:
    void sendNext();

    std::function<bool()> m_send;
    WindowTimer m_timer;
    int m_sent = 0;
};

#endif // REQUESTREPEATER_H
