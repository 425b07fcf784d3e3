#include "requestrepeater.h"

#include "protocol/networksettings.h"

RequestRepeater::RequestRepeater(std::function<bool()> send, QObject *parent)
    : QObject(parent), m_send(std::move(send))
{
    connect(&m_timer, &WindowTimer::timeout, this, &RequestRepeater::sendNext);
}

bool RequestRepeater::start()
{
    m_timer.stop();
    m_sent = 0;
    if (!m_send())
        return false;
    m_sent = 1;
    if (m_sent < NetworkSettings::instance().requestSends)
        m_timer.start(NetworkSettings::instance().requestRepeatMs);
    return true;
}

void RequestRepeater::sendNext()
{
    m_send();
    ++m_sent;
    if (m_sent < NetworkSettings::instance().requestSends)
        m_timer.start();
}
