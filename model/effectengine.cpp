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

// Everything a frame's output depends on, when every effect can tell: equal words for two
// frames mean the second would send exactly what the first sent.
bool EffectEngine::collectFrameInputs(const QList<Effect *> &effects,
                                      std::vector<quint64> *words) const
{
    words->clear();
    if (!m_map)
        return false;
    words->push_back(quint64(effects.size()));
    for (const Effect *effect : effects) {
        quint64 revision = 0;
        if (effect->enabled && !effect->outputRevision(&revision))
            return false;
        words->push_back(quint64(quintptr(effect)));
        words->push_back(quint64(effect->enabled) | quint64(effect->priority()) << 32);
        words->push_back(effect->enabled ? revision : 0);
    }
    m_map->appendFrameInputs(words);
    return true;
}

// The one effect whose changed lights alone make this frame different from the last, when
// that is so and the map can write just those lights (m_changedLights); else null.
Effect *EffectEngine::partialFrameEffect(const QList<Effect *> &effects)
{
    if (m_lastFrameInputs.size() != m_frameInputs.size())
        return nullptr;
    Effect *painter = nullptr;
    for (int i = 0; i < effects.size(); ++i) {
        if (!effects.at(i)->enabled)
            continue;
        // With two effects on a light, one alone cannot paint it again.
        if (painter)
            return nullptr;
        painter = effects.at(i);
    }
    // Words 3, 6, 9, ... are the effects' revisions; any other difference changes more than
    // a few lights.
    for (size_t i = 0; i < m_frameInputs.size(); ++i) {
        const bool revision = i >= 3 && i < 1 + 3 * size_t(effects.size()) && i % 3 == 0;
        if (m_frameInputs[i] != m_lastFrameInputs[i] && !revision)
            return nullptr;
    }
    if (!painter || !painter->changedLights(&m_changedLights))
        return nullptr;
    // Lights a canvas waits for are painted again too: it reads their colour mid-frame.
    const std::vector<quint64> &canvas = m_map->canvasChanges();
    if (!canvas.empty()) {
        m_changedLights.insert(m_changedLights.end(), canvas.begin(), canvas.end());
        std::sort(m_changedLights.begin(), m_changedLights.end());
        m_changedLights.erase(std::unique(m_changedLights.begin(), m_changedLights.end()),
                              m_changedLights.end());
    }
    if (!m_map->prepareLightsOnly(m_changedLights))
        return nullptr;
    return painter;
}

// Whether an effect that painted the last frame paints this one no more. Its lights then
// show their zero colours from this frame on, which no effect colour tells a canvas.
bool EffectEngine::stoppedPainting(const QList<Effect *> &effects)
{
    bool stopped = false;
    // Only an effect still listed is looked at: one that left may be gone.
    for (const Effect *effect : m_paintingEffects)
        stopped = stopped || !effects.contains(effect) || !effect->enabled;
    m_paintingEffects.clear();
    for (const Effect *effect : effects) {
        if (effect->enabled)
            m_paintingEffects.push_back(effect);
    }
    return stopped;
}

void EffectEngine::renderFrame(const QDateTime &now)
{
    // Effects added while this frame renders take part from the next frame on.
    const QList<Effect *> effects = m_effects;
    for (Effect *effect : effects) {
        if (effect->enabled)
            effect->startFrame();
    }
    const bool known = m_incremental && collectFrameInputs(effects, &m_frameInputs);
    // A canvas waiting for colours reads them in the middle of a frame, so that frame paints.
    const bool repeat = known && !m_lastFrameInputs.empty() && m_frameInputs == m_lastFrameInputs &&
                        !m_map->hasCanvasChanges();
    Effect *painter =
        known && !repeat && !m_lastFrameInputs.empty() ? partialFrameEffect(effects) : nullptr;
    for (Effect *effect : effects)
        effect->tick(now, m_frameCounter, !repeat && !painter);
    if (painter)
        painter->renderLights(m_changedLights);
    if (m_map && stoppedPainting(effects))
        m_map->listUnpaintedLights();
    emit propertiesCompiled();
    if (m_map) {
        emit frameOutputStarting();
        if (repeat)
            m_map->repeatLastFrame();
        else if (painter)
            m_map->updatePreparedLights();
        else
            m_map->updateLights();
        emit frameOutputFinished();
    }
    if (painter)
        ++m_partialFrames;
    if (known)
        m_lastFrameInputs.swap(m_frameInputs);
    else
        m_lastFrameInputs.clear();
    if (repeat)
        ++m_repeatedFrames;
    ++m_frameCounter;
    emit EngineTick(now);
}
