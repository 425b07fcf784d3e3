#include "model/datasupply.h"
#include "model/effect.h"
#include "model/effectengine.h"
#include "model/group.h"
#include "model/light.h"
#include "model/lightframestate.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

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

VeyColor rgb8(uint red, uint green, uint blue)
{
    VeyColor color;
    color.setRgb8(red, green, blue);
    return color;
}

// One interface of two ports with lights of 3, 4 and 5 channels, the selection effect
// running; records the datagrams each frame asks for.
struct FrameRig
{
    MapModel map;
    SelectionEffect effect{&map, 4294967295u};
    EffectEngine engine{&map, 100};
    DataSupply *supply = nullptr;
    QList<quint64> uids;
    QStringList sent;
    qint64 clockMs = 0;

    explicit FrameRig(bool colourCache = false)
    {
        map.setColorCacheEnabled(colourCache);
        supply = map.createDataSupply(2);
        supply->setUid(map.nextUid());
        supply->setIpAddressText(QStringLiteral("10.0.0.7"));
        supply->setProtocolVersion(2);
        supply->setPortCount(2);
        map.addDataSupply(supply);
        const quint32 kinds[][3] = {{0, 0, 3}, {1, 3, 4}, {3, 1, 5}};
        for (int i = 0; i < 12; ++i)
            addLight(quint8(i / 6), (i % 6) * 5, kinds[i % 3]);
        supply->updateBufferSizes();
        map.setLivePlayDisabled(false);
        // Mid levels, so that a dimming curve or a conversion shows in the bytes.
        effect.setFgColor(rgb8(100, 150, 200));
        effect.setBgColor(rgb8(40, 20, 10));
        effect.enabled = true;
        effect.setLightSelected(uids.at(0), true);
        effect.setLightSelected(uids.at(5), true);
        engine.setPaused(true);
        engine.addEffect(&effect);
        QObject::connect(
            &map, &MapModel::signalSendPortOut, &map,
            [this](QString ip, quint32, quint8 port, quint16, quint16 startCode, QByteArray data) {
                sent << QStringLiteral("%1 %2 %3 %4")
                            .arg(ip)
                            .arg(port)
                            .arg(startCode)
                            .arg(QString::fromLatin1(data.toHex()));
            });
        QObject::connect(&map, &MapModel::signalSendDmxFrame, &map,
                         [this](QString ip, quint16, quint16, QByteArray data) {
                             sent << ip + QLatin1Char(' ') + QString::fromLatin1(data.toHex());
                         });
    }

    Light *addLight(quint8 port, int channel, const quint32 *kind)
    {
        auto *light = new Light();
        light->setUid(map.nextUid());
        light->setDataSupplyUid(supply->uid());
        light->setPort(port);
        light->setLedChemistry(kind[0]);
        light->setHueweaveProfileId(kind[1]);
        light->setDmxChannel(channel);
        supply->addLight(light->uid());
        map.addLight(light);
        uids.append(light->uid());
        return light;
    }

    Light *light(int index) { return map.light(uids.at(index)); }

    QStringList frame()
    {
        sent.clear();
        engine.tick(QDateTime::currentDateTime(), clockMs += 100);
        return sent;
    }
};

using FrameChange = void (*)(FrameRig &);

} // namespace

Q_DECLARE_METATYPE(FrameChange)

class TestEffectEngine : public QObject
{
    Q_OBJECT

private slots:
    void rearmIntervals_data();
    void rearmIntervals();
    void boundsOfSmallAndHugeIntervals();
    void accumulatedLatenessDrains();
    void effectsRenderInPriorityOrder();
    void changeReachesNextFrame_data();
    void changeReachesNextFrame();
    void highlightStepsEveryFrame();
    void partialFramesMatchWholeFrames();
    void overlappingLightsAreWrittenWhole();
    void selectAllOnlyCoversKnownLights();
    void lightListedTwiceSendsOnBoth();
    void effectWithoutRevisionRendersEveryFrame();
    void clearingTellsOnlyTheSelectedLights();
    void selectionColoursFollowEachLightsSpace();
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

void TestEffectEngine::changeReachesNextFrame_data()
{
    QTest::addColumn<FrameChange>("change");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("colourCache");
    QTest::newRow("light selected")
        << FrameChange([](FrameRig &r) { r.effect.setLightSelected(r.uids.at(3), true); }) << true
        << false;
    QTest::newRow("light deselected")
        << FrameChange([](FrameRig &r) { r.effect.setLightSelected(r.uids.at(0), false); }) << true
        << false;
    QTest::newRow("foreground colour") << FrameChange([](FrameRig &r) {
        r.effect.setFgColor(rgb8(10, 200, 30));
        r.effect.setLightSelected(r.uids.at(2), true);
    }) << true << false;
    QTest::newRow("background colour")
        << FrameChange([](FrameRig &r) { r.effect.setBgColor(rgb8(0, 0, 90)); }) << true << false;
    QTest::newRow("effect off") << FrameChange([](FrameRig &r) { r.effect.enabled = false; })
                                << true << false;
    QTest::newRow("live play off")
        << FrameChange([](FrameRig &r) { r.map.setLivePlayDisabled(true); }) << true << false;
    QTest::newRow("light channel")
        << FrameChange([](FrameRig &r) { r.light(1)->setDmxChannel(200); }) << true << false;
    QTest::newRow("light port") << FrameChange([](FrameRig &r) { r.light(1)->setPort(1); }) << true
                                << false;
    QTest::newRow("light chemistry")
        << FrameChange([](FrameRig &r) { r.light(0)->setLedChemistry(1); }) << false << true;
    QTest::newRow("light half mode")
        << FrameChange([](FrameRig &r) { r.light(0)->setHalfFullMode(true); }) << true << false;
    QTest::newRow("light dimming curve")
        << FrameChange([](FrameRig &r) { r.light(0)->setDimmingCurve(2); }) << true << true;
    QTest::newRow("colour cache option")
        << FrameChange([](FrameRig &r) { r.map.setColorCacheEnabled(true); }) << false << false;
    QTest::newRow("light address property") << FrameChange([](FrameRig &r) {
        r.light(2)->setProperty(QStringLiteral("DMX Address"), QStringLiteral("301"));
    }) << true << false;
    QTest::newRow("light added") << FrameChange([](FrameRig &r) {
        static const quint32 kind[] = {3, 1, 5};
        r.addLight(0, 300, kind);
        r.supply->updateBufferSizes();
    }) << true << false;
    QTest::newRow("light deleted")
        << FrameChange([](FrameRig &r) { r.map.deleteLight(r.uids.at(0)); }) << true << false;
    QTest::newRow("light leaves interface")
        << FrameChange([](FrameRig &r) { r.supply->removeLight(r.uids.at(2)); }) << true << false;
    QTest::newRow("port number") << FrameChange([](FrameRig &r) { r.supply->setPortNumber(1, 5); })
                                 << true << false;
    QTest::newRow("port count") << FrameChange([](FrameRig &r) { r.supply->setPortCount(1); })
                                << true << false;
    QTest::newRow("protocol version")
        << FrameChange([](FrameRig &r) { r.supply->setProtocolVersion(1); }) << true << false;
    QTest::newRow("interface address")
        << FrameChange([](FrameRig &r) { r.supply->setIpAddressText(QStringLiteral("10.0.0.9")); })
        << true << false;
}

// A steady frame sends again what the frame before sent without painting it; after any change
// the next frame sends what a map built with the change from the start sends.
void TestEffectEngine::changeReachesNextFrame()
{
    QFETCH(FrameChange, change);
    QFETCH(bool, visible);
    QFETCH(bool, colourCache);
    // Any light's settings anywhere count, so the map built with the change goes first.
    FrameRig fresh(colourCache);
    change(fresh);
    const QStringList expected = fresh.frame();

    FrameRig rig(colourCache);
    const QStringList first = rig.frame();
    QVERIFY(!first.isEmpty());
    QCOMPARE(rig.frame(), first);
    QCOMPARE(rig.engine.repeatedFrameCount(), 1u);

    change(rig);
    const QStringList changed = rig.frame();
    QCOMPARE(rig.engine.repeatedFrameCount(), 1u);
    QCOMPARE(changed, expected);
    QCOMPARE(changed != first, visible);

    QCOMPARE(rig.frame(), changed);
    QCOMPARE(rig.engine.repeatedFrameCount(), 2u);
}

void TestEffectEngine::highlightStepsEveryFrame()
{
    FrameRig rig;
    auto *group = new Group(Group::Chasing, rig.map.nextUid(), QStringLiteral("chase"));
    group->addChildren(rig.uids.mid(0, 3));
    rig.map.addGroup(group);
    rig.effect.highlightGroup(group->uid());
    QStringList last = rig.frame();
    for (int i = 0; i < 3; ++i) {
        const QStringList next = rig.frame();
        QVERIFY(next != last);
        last = next;
    }
    QCOMPARE(rig.engine.repeatedFrameCount(), 0u);
    // A selection ends the highlight; frames then settle again.
    rig.effect.setLightSelected(rig.uids.at(0), true);
    const QStringList settled = rig.frame();
    QCOMPARE(rig.frame(), settled);
    QCOMPARE(rig.engine.repeatedFrameCount(), 1u);
}

// Frames built from what changed send, frame by frame, what frames built whole send.
void TestEffectEngine::partialFramesMatchWholeFrames()
{
    FrameRig incremental;
    FrameRig whole;
    whole.engine.setIncrementalFrames(false);
    const QList<FrameChange> changes = {
        [](FrameRig &r) { r.effect.setLightSelected(r.uids.at(3), true); },
        [](FrameRig &r) {
            r.effect.setLightSelected(r.uids.at(3), false);
            r.effect.setLightSelected(r.uids.at(3), true);
            r.effect.setLightSelected(r.uids.at(9), true);
        },
        [](FrameRig &r) { r.effect.setLightSelected(r.uids.at(0), false); },
        [](FrameRig &r) {
            auto *group = new Group(Group::Chasing, r.map.nextUid(), QStringLiteral("chase"));
            group->addChildren(r.uids.mid(2, 6));
            r.map.addGroup(group);
            r.effect.highlightGroup(group->uid());
        },
        nullptr,
        nullptr,
        nullptr,
        [](FrameRig &r) { r.effect.setLightSelected(r.uids.at(11), true); },
        [](FrameRig &r) { r.effect.clearSelection(); },
    };
    QCOMPARE(incremental.frame(), whole.frame());
    for (FrameChange change : changes) {
        if (change) {
            change(incremental);
            change(whole);
        }
        QCOMPARE(incremental.frame(), whole.frame());
        QCOMPARE(incremental.frame(), whole.frame());
    }
    QVERIFY(incremental.engine.partialFrameCount() >= 5);
    QCOMPARE(whole.engine.partialFrameCount() + whole.engine.repeatedFrameCount(), 0u);
}

// Clearing deselects what was selected, or what the views last heard was: those lights alone
// are announced and repainted, whatever the size of the map. Each announced light is
// repainted, as a canvas marks it and takes its colour from the next frame.
void TestEffectEngine::clearingTellsOnlyTheSelectedLights()
{
    FrameRig rig;
    rig.frame();
    rig.effect.handleUpdatedLight(rig.uids.at(0)); // deselects silently: 0 and 5 still shown
    rig.effect.setLightSelected(rig.uids.at(7), true);
    rig.frame();
    QSignalSpy told(&rig.effect, &SelectionEffect::lightSelectionChanged);
    rig.effect.clearSelection();
    QSet<quint64> deselected;
    for (const QList<QVariant> &args : std::as_const(told)) {
        QCOMPARE(args.at(1).toBool(), false);
        deselected.insert(args.at(0).toULongLong());
    }
    QCOMPARE(told.size(), 3);
    QCOMPARE(deselected, QSet<quint64>({rig.uids.at(0), rig.uids.at(5), rig.uids.at(7)}));
    std::vector<quint64> changed;
    QVERIFY(rig.effect.changedLights(&changed));
    std::vector<quint64> announced(deselected.cbegin(), deselected.cend());
    std::sort(announced.begin(), announced.end());
    QCOMPARE(changed, announced);
    told.clear();
    rig.effect.clearSelection();
    QCOMPARE(told.size(), 0);
}

// After Select All, a light the selection never heard of shows the background colour even
// where as many lights are selected as the map holds (one it was not told had gone).
void TestEffectEngine::selectAllOnlyCoversKnownLights()
{
    FrameRig told;
    FrameRig untold;
    const quint32 kind[3] = {0, 0, 3};
    for (FrameRig *rig : {&told, &untold}) {
        rig->effect.selectAll();
        rig->frame();
        const quint64 gone = rig->uids.takeLast();
        rig->map.deleteLight(gone);
        Light *added = rig->addLight(1, 40, kind);
        if (rig == &told) {
            rig->effect.handleDeletedLight(gone);
            rig->effect.handleNewLight(added->uid());
        }
    }
    QCOMPARE(untold.frame(), told.frame());
}

// A light two interfaces list goes out with its colour on both, not dark on the second.
void TestEffectEngine::lightListedTwiceSendsOnBoth()
{
    FrameRig rig;
    DataSupply *second = rig.map.createDataSupply(2);
    second->setUid(rig.map.nextUid());
    second->setIpAddressText(QStringLiteral("10.0.0.8"));
    second->setProtocolVersion(2);
    rig.map.addDataSupply(second);
    second->addLight(rig.uids.at(0));
    for (int frame = 0; frame < 2; ++frame) {
        QString first;
        QString other;
        for (const QString &datagram : rig.frame()) {
            if (datagram.startsWith(QLatin1String("10.0.0.7 1 ")))
                first = datagram.section(QLatin1Char(' '), 3).left(6);
            else if (datagram.startsWith(QLatin1String("10.0.0.8 1 ")))
                other = datagram.section(QLatin1Char(' '), 3).left(6);
        }
        QVERIFY(first != QLatin1String("000000"));
        QCOMPARE(other, first);
        rig.effect.setLightSelected(rig.uids.at(0), frame == 0);
    }
}

// Where two lights share bytes the later one wins; written alone, the earlier one would.
void TestEffectEngine::overlappingLightsAreWrittenWhole()
{
    FrameRig rig;
    rig.light(1)->setDmxChannel(2); // over the last byte of light 0
    rig.frame();
    rig.effect.setLightSelected(rig.uids.at(0), false);
    const QStringList changed = rig.frame();
    QCOMPARE(rig.engine.partialFrameCount(), 0u);
    FrameRig fresh;
    fresh.light(1)->setDmxChannel(2);
    fresh.effect.setLightSelected(fresh.uids.at(0), false);
    QCOMPARE(changed, fresh.frame());
}

void TestEffectEngine::effectWithoutRevisionRendersEveryFrame()
{
    FrameRig rig;
    QStringList log;
    RecordingEffect recording(&log, QStringLiteral("r"), 1);
    rig.engine.addEffect(&recording);
    for (int i = 0; i < 3; ++i)
        rig.frame();
    QCOMPARE(log.size(), 3);
    QCOMPARE(rig.engine.repeatedFrameCount(), 0u);
}

// Lights of many colour spaces take turns in one frame; the selection colours the effect
// carried into each space and keeps must be those it carries for that light alone.
void TestEffectEngine::selectionColoursFollowEachLightsSpace()
{
    MapModel map;
    SelectionEffect effect{&map, 4294967295u};
    effect.setFgColor(rgb8(100, 150, 200));
    effect.enabled = true;
    QList<quint64> uids;
    for (int profile = 0; profile < 60; ++profile) {
        for (const quint32 chemistry : {1u, 3u}) {
            auto *light = new Light();
            light->setUid(map.nextUid());
            light->setLedChemistry(chemistry);
            light->setHueweaveProfileId(quint32(profile));
            light->setHueweaveEnabled(profile % 2 == 0 ? 4 : 0);
            light->frameState()->endFrame();
            map.addLight(light);
            uids.append(light->uid());
        }
    }
    effect.selectAll();
    effect.render();
    int carried = 0;
    for (const quint64 uid : uids) {
        LightFrameState *state = map.light(uid)->frameState();
        const VeyColor together = state->currentColor;
        state->endFrame();
        effect.setFgColor(rgb8(100, 150, 200));
        effect.selectAll();
        effect.renderLights({uid});
        QVERIFY2(state->currentColor == together, qPrintable(QString::number(uid)));
        carried += together.spec() == VeyColor::NChannel ? 1 : 0;
    }
    // Enough spaces that some share a place in the effect's memo.
    QVERIFY(carried > 40);
}

QTEST_GUILESS_MAIN(TestEffectEngine)
#include "tst_effectengine.moc"
