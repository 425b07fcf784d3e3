#include "model/effectengine.h"

#include "model/effect.h"
#include "model/mapmodel.h"

#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

qint64 saturatingAdd(qint64 a, qint64 b)
{
    if (b > 0 && a > std::numeric_limits<qint64>::max() - b)
        return std::numeric_limits<qint64>::max();
    if (b < 0 && a < std::numeric_limits<qint64>::min() - b)
        return std::numeric_limits<qint64>::min();
    return a + b;
}

} // namespace

qint64 EngineTiming::nextInterval(qint64 elapsed)
{
    const qint64 late = saturatingAdd(elapsed, -interval);
    accumulated = saturatingAdd(accumulated, late);
    // A stall of more than twice the cap is forgotten rather than paid back.
    if (accumulated > 2 * latenessCap())
        accumulated = 0;
    accumulated = std::clamp(accumulated, qint64(0), std::max(latenessCap(), qint64(0)));
    const qint64 next = interval - late / 5 - accumulated / 5;
    return std::max(shortest(), std::min(next, longest()));
}

EffectEngine::EffectEngine(MapModel *map, const QList<Effect *> &effects, int frameInterval,
                           QObject *parent)
    : QObject(parent), m_map(map), m_timer(new QTimer)
{
    for (Effect *effect : effects) {
        if (effect)
            m_effects.append(effect);
    }
    sortEffects();
    setFrameInterval(frameInterval);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setSingleShot(true);
    m_timer->setInterval(int(m_timing.interval));
    connect(m_timer, &QTimer::timeout, this, &EffectEngine::handleTimer);
    m_clock.start();
    m_lastTickMs = 0;
    m_timer->start();
}

EffectEngine::EffectEngine(MapModel *map, int frameInterval, QObject *parent)
    : EffectEngine(map, QList<Effect *>(), frameInterval, parent)
{}

EffectEngine::~EffectEngine()
{
    delete m_timer;
}

void EffectEngine::addEffect(Effect *effect)
{
    if (!effect)
        return;
    m_effects.append(effect);
    if (m_effects.size() > 1)
        sortEffects();
}

bool EffectEngine::priorityLessThan(const Effect *a, const Effect *b)
{
    return a->priority() < b->priority();
}

// Stable, so effects of equal priority render in the order they were added.
void EffectEngine::sortEffects()
{
    std::stable_sort(m_effects.begin(), m_effects.end(), priorityLessThan);
}

bool EffectEngine::isPaused() const
{
    return !m_timer->isActive();
}

// Not counted: callers save isPaused() before pausing and restore exactly that value.
void EffectEngine::setPaused(bool paused)
{
    if (paused) {
        m_timer->stop();
        return;
    }
    m_timing.accumulated = 0;
    m_timer->start();
}

void EffectEngine::setFrameInterval(int ms)
{
    m_timing.interval = ms;
    m_timing.accumulated = 0;
}

int EffectEngine::armedInterval() const
{
    return m_timer->interval();
}

void EffectEngine::handleTimer()
{
    tick(QDateTime::currentDateTime());
}

void EffectEngine::tick(const QDateTime &now)
{
    tick(now, m_clock.elapsed());
}

void EffectEngine::tick(const QDateTime &now, qint64 monotonicMs)
{
    renderFrame(now);
    const qint64 elapsed = monotonicMs - m_lastTickMs;
    m_lastTickMs = monotonicMs;
    const qint64 next = m_timing.nextInterval(elapsed);
    m_timer->start(int(std::clamp(next, qint64(0), qint64(std::numeric_limits<int>::max()))));
}

void EffectEngine::renderFrame(const QDateTime &now)
{
    // Effects added while this frame renders take part from the next frame on.
    const QList<Effect *> effects = m_effects;
    for (Effect *effect : effects)
        effect->tick(now, m_frameCounter);
    emit propertiesCompiled();
    if (m_map)
        m_map->updateLights();
    ++m_frameCounter;
    emit EngineTick(now);
}
