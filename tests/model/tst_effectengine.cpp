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
    void effectsRenderInPriorityOrder();
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

QTEST_GUILESS_MAIN(TestEffectEngine)
#include "tst_effectengine.moc"
