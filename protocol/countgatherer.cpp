#include "countgatherer.h"

#include "protocol/windowtimer.h"

#include <algorithm>
#include <limits>

CountGatherer::CountGatherer(std::function<qint64()> now, std::function<void()> readArrived,
                             QObject *parent)
    : QObject(parent), m_now(std::move(now)), m_readArrived(std::move(readArrived))
{}

CountGatherer::~CountGatherer()
{
    stopAll();
}

void CountGatherer::start(quint32 ip, const CountRounds::Timing &timing, bool firstIsOneAnswer,
                          quint64 maxLights, int valueLimit)
{
    stop(ip);
    Gathering &gathering = m_gatherings[ip];
    gathering.rounds =
        std::make_shared<CountRounds>(timing, m_now(), firstIsOneAnswer, maxLights, valueLimit);
    gathering.timer = new WindowTimer(this);
    connect(gathering.timer, &WindowTimer::timeout, this, [this, ip] { handleTimer(ip); });
}

void CountGatherer::datagram(quint32 ip, const QList<CountAnswers::List> &lists)
{
    const auto it = m_gatherings.find(ip);
    if (it == m_gatherings.end())
        return;
    it->rounds->datagram(m_now(), lists);
    arm(ip);
}

void CountGatherer::stop(quint32 ip)
{
    const auto it = m_gatherings.find(ip);
    if (it == m_gatherings.end())
        return;
    // This may run inside the timer's own timeout.
    it->timer->dismiss();
    m_gatherings.erase(it);
}

void CountGatherer::stopAll()
{
    for (const quint32 ip : m_gatherings.keys())
        stop(ip);
}

void CountGatherer::arm(quint32 ip)
{
    const Gathering &gathering = m_gatherings[ip];
    const qint64 wait = gathering.rounds->due() - m_now();
    gathering.timer->start(int(std::clamp<qint64>(wait, 0, std::numeric_limits<int>::max())));
}

void CountGatherer::handleTimer(quint32 ip)
{
    m_readArrived();
    // What was read may have ended the gathering.
    const auto it = m_gatherings.find(ip);
    if (it == m_gatherings.end())
        return;
    switch (it->rounds->step(m_now())) {
    case CountRounds::Step::Wait:
        arm(ip);
        break;
    case CountRounds::Step::Ask:
        arm(ip);
        emit askAgain(ip, it->rounds->roundsAsked());
        break;
    case CountRounds::Step::Done: {
        const CountAnswers::Result result = it->rounds->result();
        stop(ip);
        emit counted(ip, result);
        break;
    }
    }
}
