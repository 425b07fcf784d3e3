#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <vector>

class Effect;
class MapModel;
class QTimer;

// Lateness bookkeeping of the frame clock, kept apart from the timer so the arithmetic can be
// checked with made-up times. All values in milliseconds, in 64 bits.
struct EngineTiming
{
    qint64 interval = 0;
    qint64 accumulated = 0;

    qint64 shortest() const { return interval / 4; }
    qint64 longest() const { return 2 * interval; }
    qint64 latenessCap() const { return 100 * interval; }

    // Books one frame that came elapsed ms after the previous one and returns the next
    // timer interval, always within [shortest, longest].
    qint64 nextInterval(qint64 elapsed);
};

class EffectEngine : public QObject
{
    Q_OBJECT

public:
    EffectEngine(MapModel *map, const QList<Effect *> &effects, int frameInterval,
                 QObject *parent = nullptr);
    EffectEngine(MapModel *map, int frameInterval, QObject *parent = nullptr);
    ~EffectEngine() override;

    void addEffect(Effect *effect);
    const QList<Effect *> &effects() const { return m_effects; }
    static bool priorityLessThan(const Effect *a, const Effect *b);
    void sortEffects();

    bool isPaused() const;
    void setPaused(bool paused);
    void setFrameInterval(int ms);
    int frameInterval() const { return int(m_timing.interval); }
    qint64 accumulatedLateness() const { return m_timing.accumulated; }
    int armedInterval() const;
    quint32 frameCount() const { return m_frameCounter; }
    // Frames that only sent the frame before them again, nothing having changed.
    quint32 repeatedFrameCount() const { return m_repeatedFrames; }
    // Frames that painted and sent only the lights that changed.
    quint32 partialFrameCount() const { return m_partialFrames; }
    // On by default; off, every frame is painted and sent whole (for comparisons).
    void setIncrementalFrames(bool on) { m_incremental = on; }

    // One frame at wall time now; the lateness is measured on the monotonic clock.
    void tick(const QDateTime &now);
    // One frame with the monotonic time given in ms since the engine was made.
    void tick(const QDateTime &now, qint64 monotonicMs);

signals:
    void EngineTick(const QDateTime &t);
    void propertiesCompiled();
    // Around the map's output of each frame: every datagram of the frame is asked for between
    // the two, so a sender can collect them and send them together.
    void frameOutputStarting();
    void frameOutputFinished();

public slots:
    void handleTimer();

private:
    void renderFrame(const QDateTime &now);
    bool collectFrameInputs(const QList<Effect *> &effects, std::vector<quint64> *words) const;
    Effect *partialFrameEffect(const QList<Effect *> &effects);
    bool stoppedPainting(const QList<Effect *> &effects);

    MapModel *m_map = nullptr;
    QList<Effect *> m_effects;
    quint32 m_frameCounter = 0;
    QTimer *m_timer = nullptr;
    EngineTiming m_timing;
    QElapsedTimer m_clock;
    qint64 m_lastTickMs = 0;
    // What the last frame was made from; empty when it may not be repeated.
    std::vector<quint64> m_lastFrameInputs;
    std::vector<quint64> m_frameInputs;
    quint32 m_repeatedFrames = 0;
    quint32 m_partialFrames = 0;
    bool m_incremental = true;
    std::vector<quint64> m_changedLights;
    // The effects enabled in the last frame.
    std::vector<const Effect *> m_paintingEffects;
};
