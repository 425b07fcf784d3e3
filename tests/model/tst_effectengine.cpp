// DM_TEST_SANITIZE
#include "model/effect.h"
#include "model/effectengine.h"
#include "model/mapmodel.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Records every frame it is asked to render, into a log shared by several effects.
class RecordingEffect : public Effect
{
public:
    RecordingEffect(QStringList *log, const QString &tag, quint32 priority)
        : Effect(nullptr, 4294967295u), m_log(log), m_tag(tag)
    {
        setPriority(priority);
        enabled = true;
    }

    QDomElement toXml(QDomDocument &document) override
    {
        QDomElement element = document.createElement(QStringLiteral("effect"));
        saveCommon(element);
        return element;
    }
    int typeId() const override { return 0; }
    quint32 defaultCycleTime() const override { return 0; }
    void reset() override { ++resets; }
    void render() override { m_log->append(m_tag + QString::number(currentFrame())); }
    void fromXml(QDomElement *element) override { loadCommon(element); }

    int resets = 0;

private:
    QStringList *m_log;
    QString m_tag;
};

} // namespace

class TestEffectEngine : public QObject
{
    Q_OBJECT

private slots:
    void rearmIntervals_data();
    void rearmIntervals();
    void boundsOfSmallAndHugeIntervals();
    void accumulatedLatenessDrains();
    void tickRearmsWithMadeUpTimes();
    void frameNumbersAndSignalOrder();
    void effectsRenderInPriorityOrder();
    void disabledEffectDoesNotRender();
    void pauseIsNotCounted();
    void resumeRestartsWithLastInterval();
    void setFrameIntervalLeavesArmedTimer();
    void timerFiresFrames();
    void effectXmlCommonKeys();
};

void TestEffectEngine::rearmIntervals_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("before");
    QTest::addColumn<qint64>("after");
    QTest::addColumn<qint64>("next");
    QTest::newRow("on time") << qint64(100) << qint64(0) << qint64(0) << qint64(100);
    QTest::newRow("10 late") << qint64(110) << qint64(0) << qint64(10) << qint64(96);
    QTest::newRow("30 late") << qint64(130) << qint64(0) << qint64(30) << qint64(88);
    QTest::newRow("20 early") << qint64(80) << qint64(0) << qint64(0) << qint64(104);
    QTest::newRow("raised to minimum") << qint64(300) << qint64(0) << qint64(200) << qint64(25);
    QTest::newRow("capped") << qint64(120) << qint64(9990) << qint64(10000) << qint64(25);
    QTest::newRow("stall forgotten") << qint64(60000) << qint64(0) << qint64(0) << qint64(25);
    QTest::newRow("clock went back") << qint64(-5) << qint64(0) << qint64(0) << qint64(121);
}

void TestEffectEngine::rearmIntervals()
{
    QFETCH(qint64, elapsed);
    QFETCH(qint64, before);
    QFETCH(qint64, after);
    QFETCH(qint64, next);
    EngineTiming timing;
    timing.interval = 100;
    timing.accumulated = before;
    QCOMPARE(timing.nextInterval(elapsed), next);
    QCOMPARE(timing.accumulated, after);
}

void TestEffectEngine::boundsOfSmallAndHugeIntervals()
{
    EngineTiming three;
    three.interval = 3;
    QCOMPARE(three.shortest(), qint64(0));
    QCOMPARE(three.nextInterval(1000), qint64(0));

    // 100 x I and the lateness overflow 32 bits here; in 64 bits they stay exact.
    EngineTiming huge;
    huge.interval = 30000000;
    QCOMPARE(huge.latenessCap(), qint64(3000000000));
    QCOMPARE(huge.nextInterval(huge.interval + 2500000000LL), huge.shortest());
    QCOMPARE(huge.accumulated, qint64(2500000000LL));

    EngineTiming extreme;
    extreme.interval = 100;
    QCOMPARE(extreme.nextInterval(std::numeric_limits<qint64>::max()), qint64(25));
    QCOMPARE(extreme.accumulated, qint64(0));
    QCOMPARE(extreme.nextInterval(std::numeric_limits<qint64>::min()), qint64(200));
    QCOMPARE(extreme.accumulated, qint64(0));
}

void TestEffectEngine::accumulatedLatenessDrains()
{
    EngineTiming timing;
    timing.interval = 100;
    QCOMPARE(timing.nextInterval(150), qint64(80)); // late 50, accumulated 50
    QCOMPARE(timing.nextInterval(80), qint64(98));  // early 20: accumulated 30
    QCOMPARE(timing.accumulated, qint64(30));
    QCOMPARE(timing.nextInterval(70), qint64(106)); // early 30: accumulated 0
    QCOMPARE(timing.accumulated, qint64(0));
}

void TestEffectEngine::tickRearmsWithMadeUpTimes()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    EffectEngine engine(&map, 100);
    QCOMPARE(engine.armedInterval(), 100);
    const QDateTime now = QDateTime::currentDateTime();
    engine.tick(now, 130);
    QCOMPARE(engine.armedInterval(), 88);
    QCOMPARE(engine.accumulatedLateness(), qint64(30));
    engine.tick(now, 130 + 80);
    QCOMPARE(engine.armedInterval(), 100 + 4 - 2);
    engine.tick(now, 210 + 60000);
    QCOMPARE(engine.armedInterval(), 25);
    QCOMPARE(engine.accumulatedLateness(), qint64(0));
    QVERIFY(!engine.isPaused());
}

void TestEffectEngine::frameNumbersAndSignalOrder()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    QStringList log;
    RecordingEffect effect(&log, QStringLiteral("e"), 0);
    EffectEngine engine(&map, {&effect}, 100);
    QStringList order;
    connect(&engine, &EffectEngine::propertiesCompiled, this,
            [&] { order << QStringLiteral("compiled ") + log.join(QLatin1Char(',')); });
    connect(&engine, &EffectEngine::EngineTick, this, [&](const QDateTime &) {
        order << QStringLiteral("tick ") + QString::number(engine.frameCount());
    });
    QSignalSpy ticks(&engine, &EffectEngine::EngineTick);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1000000);
    engine.tick(now, 100);
    engine.tick(now.addMSecs(100), 200);
    QCOMPARE(log, (QStringList{"e0", "e1"}));
    QCOMPARE(order, (QStringList{"compiled e0", "tick 1", "compiled e0,e1", "tick 2"}));
    QCOMPARE(ticks.count(), 2);
    QCOMPARE(ticks.at(1).first().toDateTime(), now.addMSecs(100));
    QCOMPARE(effect.currentTickTime(), now.addMSecs(100));
    QCOMPARE(effect.previousTickTime(), now.addMSecs(100));
}

void TestEffectEngine::effectsRenderInPriorityOrder()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    QStringList log;
    RecordingEffect high(&log, QStringLiteral("high"), 4000000000u);
    RecordingEffect first(&log, QStringLiteral("a"), 5);
    RecordingEffect second(&log, QStringLiteral("b"), 5);
    RecordingEffect low(&log, QStringLiteral("low"), 0);
    EffectEngine engine(&map, {&high, &first}, 100);
    engine.addEffect(nullptr);
    QCOMPARE(engine.effects().size(), 2);
    engine.addEffect(&second);
    engine.addEffect(&low);
    QCOMPARE(engine.effects(), (QList<Effect *>{&low, &first, &second, &high}));
    QVERIFY(EffectEngine::priorityLessThan(&first, &high));
    QVERIFY(!EffectEngine::priorityLessThan(&second, &first));
    engine.tick(QDateTime::currentDateTime(), 100);
    QCOMPARE(log, (QStringList{"low0", "a0", "b0", "high0"}));
}

void TestEffectEngine::disabledEffectDoesNotRender()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    QStringList log;
    RecordingEffect effect(&log, QStringLiteral("e"), 0);
    effect.enabled = false;
    EffectEngine engine(&map, {&effect}, 100);
    const QDateTime now = QDateTime::currentDateTime();
    engine.tick(now, 100);
    QVERIFY(log.isEmpty());
    QCOMPARE(effect.currentFrame(), 0u);
    QCOMPARE(effect.previousTickTime(), now);
    engine.tick(now, 200);
    QCOMPARE(effect.currentFrame(), 1u);
}

void TestEffectEngine::pauseIsNotCounted()
{
    MapModel map;
    EffectEngine engine(&map, 100);
    QVERIFY(!engine.isPaused());

    // The callers' pattern, nested: each saves the state and restores exactly it.
    const bool outerWas = engine.isPaused();
    engine.setPaused(true);
    const bool innerWas = engine.isPaused();
    engine.setPaused(true);
    QVERIFY(engine.isPaused());
    engine.setPaused(innerWas);
    QVERIFY(engine.isPaused());
    engine.setPaused(outerWas);
    QVERIFY(!engine.isPaused());

    // Pausing twice and resuming once leaves the engine running.
    engine.setPaused(true);
    engine.setPaused(true);
    engine.setPaused(false);
    QVERIFY(!engine.isPaused());
}

void TestEffectEngine::resumeRestartsWithLastInterval()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    EffectEngine engine(&map, 100);
    engine.tick(QDateTime::currentDateTime(), 130);
    QCOMPARE(engine.armedInterval(), 88);
    QCOMPARE(engine.accumulatedLateness(), qint64(30));
    engine.setPaused(true);
    engine.setPaused(false);
    QVERIFY(!engine.isPaused());
    QCOMPARE(engine.armedInterval(), 88);
    QCOMPARE(engine.accumulatedLateness(), qint64(0));

    // Resuming a running engine also resets the lateness and restarts the timer.
    engine.tick(QDateTime::currentDateTime(), 130 + 110);
    QCOMPARE(engine.accumulatedLateness(), qint64(10));
    engine.setPaused(false);
    QCOMPARE(engine.accumulatedLateness(), qint64(0));
    QVERIFY(!engine.isPaused());
}

void TestEffectEngine::setFrameIntervalLeavesArmedTimer()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    EffectEngine engine(&map, 100);
    engine.tick(QDateTime::currentDateTime(), 110);
    QCOMPARE(engine.armedInterval(), 96);
    engine.setFrameInterval(40);
    QCOMPARE(engine.armedInterval(), 96);
    QCOMPARE(engine.accumulatedLateness(), qint64(0));
    QCOMPARE(engine.frameInterval(), 40);
    // The next frame corrects with the new interval and its bounds: 110 ms is 70 late.
    engine.tick(QDateTime::currentDateTime(), 220);
    QCOMPARE(engine.armedInterval(), 12);
}

void TestEffectEngine::timerFiresFrames()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    EffectEngine engine(&map, 5);
    QSignalSpy ticks(&engine, &EffectEngine::EngineTick);
    QVERIFY(ticks.wait(2000));
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, 2000);
    QVERIFY(!engine.isPaused());
    engine.setPaused(true);
    const int count = int(ticks.count());
    QTest::qWait(30);
    QCOMPARE(int(ticks.count()), count);
}

void TestEffectEngine::effectXmlCommonKeys()
{
    QStringList log;
    RecordingEffect effect(&log, QStringLiteral("e"), 7);
    effect.setName(QStringLiteral("Mine"));
    effect.setTransparency(0.125);
    effect.setBegin(-1);
    QDomDocument document;
    const QDomElement element = effect.toXml(document);
    QStringList keys;
    for (QDomElement e = element.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        keys << e.tagName() + QLatin1Char('=') + e.text();
    QCOMPARE(keys, (QStringList{"type=Generic Effect",
                                "name=Mine",
                                "eid=4294967295",
                                "gid=4294967295",
                                "transparency=0.125",
                                "priority=7",
                                "begin=4294967295",
                                "end=0",
                                "fadein=0",
                                "fadeout=0",
                                "starttype=0",
                                "startfixedtime=0",
                                "startlinkeid=4294967295",
                                "startlinkstart=1",
                                "startlinkoffset=0",
                                "endtype=0",
                                "endfixedtime=0",
                                "endlinkeid=4294967295",
                                "endlinkstart=1",
                                "endlinkoffset=0",
                                "endcyclecount=1"}));

    QDomDocument input;
    QVERIFY(input.setContent(QStringLiteral(
        "<effect><priority>9</priority><priority>x</priority><eid>bad</eid><gid>12</gid>"
        "<startlinkstart>0</startlinkstart><endlinkstart>junk</endlinkstart>"
        "<endcyclecount>no</endcyclecount><transparency>0.5</transparency>"
        "<fps>30</fps><nonsense>1</nonsense><begin>7</begin></effect>")));
    QDomElement root = input.documentElement();
    RecordingEffect reader(&log, QStringLiteral("r"), 3);
    QSignalSpy begins(&reader, &Effect::beginChanged);
    reader.fromXml(&root);
    QCOMPARE(reader.priority(), 0u);
    QCOMPARE(reader.effectId(), 4294967295u);
    QCOMPARE(reader.groupUid(), quint64(12));
    QCOMPARE(reader.resets, 1);
    QVERIFY(!reader.startLinkStart());
    QVERIFY(reader.endLinkStart());
    QCOMPARE(reader.endCycleCount(), 1u);
    QCOMPARE(reader.transparency(), 0.5);
    QCOMPARE(reader.begin(), 7);
    QCOMPARE(begins.count(), 1);
    QCOMPARE(Effect::keyCode(QStringLiteral("fgcolor")), 59);
    QCOMPARE(Effect::keyCode(QStringLiteral("italic")), 93);
    QCOMPARE(Effect::keyCode(QStringLiteral("effect")), 1);
}

QTEST_GUILESS_MAIN(TestEffectEngine)
#include "tst_effectengine.moc"
