// The compact per-frame state of lights: frames whose colours change, repeat, blend or follow a
// layout change write the same bytes as a light that has never rendered before; frame states
// come from the pool in creation order; a port's used size covers every byte a light writes.
// DM_TEST_SANITIZE

#include "colour/veycolor.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/lightframestate.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

const VeyColor Red = VeyColor::fromRgbF(1.0, 0.0, 0.0);
const VeyColor Teal = VeyColor::fromRgbF(0.0, 0.6, 0.4);
const VeyColor HalfWhite = VeyColor::fromRgbF(1.0, 1.0, 1.0, 0.5);

struct Kind
{
    quint32 chemistry;
    quint32 resolution;
    bool half;
};

void configure(Light *light, const Kind &kind)
{
    light->setLedChemistry(kind.chemistry);
    light->setResolution(kind.resolution);
    light->setHalfFullMode(kind.half);
}

// One frame's colours for one light: each pair is (colour, priority).
using FrameColours = QList<QPair<VeyColor, int>>;

// The bytes a light with no history writes for these colours: what every frame of a light
// that has rendered before must match.
QByteArray freshBytes(const Kind &kind, const FrameColours &colours)
{
    Light light;
    configure(&light, kind);
    for (const auto &colour : colours)
        light.applyEffectColor(colour.first, colour.second);
    QByteArray buffer(512, '\0');
    light.writeDmx(reinterpret_cast<quint8 *>(buffer.data()), 512);
    return buffer.left(light.outputByteCount());
}

QByteArray renderedBytes(Light *light, const FrameColours &colours)
{
    for (const auto &colour : colours)
        light->applyEffectColor(colour.first, colour.second);
    QByteArray buffer(512, '\0');
    light->writeDmx(reinterpret_cast<quint8 *>(buffer.data()), 512);
    light->endFrame();
    return buffer.left(light->outputByteCount());
}

} // namespace

class TestLightFrameState : public QObject
{
    Q_OBJECT

private slots:
    void everyFrameMatchesAFreshLight_data();
    void everyFrameMatchesAFreshLight();
    void layoutChangeBetweenFramesConverts();
    void discoveredColourIsNotTakenForTheLastMix();
    void statesFollowCreationOrderAndAreReused();
    void usedSizeCoversEveryWrittenByte_data();
    void usedSizeCoversEveryWrittenByte();
    void selectionChangesReachTheNextFrame();
};

void TestLightFrameState::everyFrameMatchesAFreshLight_data()
{
    QTest::addColumn<quint32>("chemistry");
    QTest::addColumn<quint32>("resolution");
    QTest::addColumn<bool>("half");
    QTest::newRow("rgb 8-bit") << 0u << 1u << false;
    QTest::newRow("rgb 16-bit half") << 0u << 0u << true;
    QTest::newRow("4-channel") << 1u << 1u << false;
    QTest::newRow("5-channel 16-bit") << 3u << 0u << false;
}

// Steady frames skip both the mix and the conversion; a sequence that changes, repeats,
// blends at equal priority and returns must still give exactly a fresh light's bytes.
void TestLightFrameState::everyFrameMatchesAFreshLight()
{
    QFETCH(quint32, chemistry);
    QFETCH(quint32, resolution);
    QFETCH(bool, half);
    const Kind kind{chemistry, resolution, half};
    const QList<FrameColours> frames = {
        {{Red, 1}},
        {{Red, 1}},
        {{Teal, 1}},
        {{Red, 1}},
        {{Red, 1}, {Teal, 1}},
        {{Red, 1}},
        {{Red, 1}, {HalfWhite, 2}},
        {{Red, 1}, {HalfWhite, 2}},
        {{Teal, 2}, {Red, 1}},
        {},
        {{Red, 1}},
    };
    Light light;
    configure(&light, kind);
    for (int i = 0; i < frames.size(); ++i)
        QVERIFY2(renderedBytes(&light, frames.at(i)) == freshBytes(kind, frames.at(i)),
                 qPrintable(QStringLiteral("frame %1").arg(i)));
}

void TestLightFrameState::layoutChangeBetweenFramesConverts()
{
    Light light;
    configure(&light, {0, 1, false});
    const QByteArray red8 = freshBytes({0, 1, false}, {{Red, 1}});
    const QByteArray red16 = freshBytes({0, 0, false}, {{Red, 1}});
    QCOMPARE(red8.size(), 3);
    QCOMPARE(red16.size(), 6);
    QCOMPARE(renderedBytes(&light, {{Red, 1}}), red8);
    QCOMPARE(renderedBytes(&light, {{Red, 1}}), red8);
    light.setResolution(0);
    QCOMPARE(renderedBytes(&light, {{Red, 1}}), red16);
    QCOMPARE(renderedBytes(&light, {{Red, 1}}), red16);
    light.setResolution(1);
    QCOMPARE(renderedBytes(&light, {{Red, 1}}), red8);
}

// A colour copied in from a discovered light is no mix result: the next frame, painting the
// same colour as before, must write from the mix again, not from what was copied.
void TestLightFrameState::discoveredColourIsNotTakenForTheLastMix()
{
    const QByteArray red = freshBytes({0, 1, false}, {{Red, 1}});
    Light light;
    configure(&light, {0, 1, false});
    QCOMPARE(renderedBytes(&light, {{Red, 1}}), red);
    Light other;
    configure(&other, {0, 1, false});
    other.applyEffectColor(Teal, 1);
    light.applyDiscovered(&other);
    QCOMPARE(renderedBytes(&light, {}), freshBytes({0, 1, false}, {}));
    QCOMPARE(renderedBytes(&light, {{Red, 1}}), red);
}

void TestLightFrameState::statesFollowCreationOrderAndAreReused()
{
    constexpr int Count = 3000;
    std::vector<std::unique_ptr<Light>> lights;
    auto makeLights = [&lights] {
        lights.clear();
        for (int i = 0; i < Count; ++i)
            lights.push_back(std::make_unique<Light>());
    };
    makeLights();
    for (auto &light : lights) {
        light->setDmxChannel(100);
        light->setPort(3);
        light->applyEffectColor(Red, 5);
    }
    QSet<const LightFrameState *> before;
    for (const auto &light : lights)
        before.insert(light->frameState());
    QCOMPARE(before.size(), qsizetype(Count));

    lights.clear();
    makeLights();
    int ascending = 0;
    int reused = 0;
    for (size_t i = 0; i < lights.size(); ++i) {
        const LightFrameState *state = lights[i]->frameState();
        QCOMPARE(state->owner, lights[i].get());
        // A slot that held a light before starts over from the defaults.
        QCOMPARE(lights[i]->dmxChannel(), 0);
        QCOMPARE(lights[i]->port(), quint8(0));
        QCOMPARE(lights[i]->footprint(), 3u);
        QVERIFY(state->firstColorOfFrame);
        QVERIFY(!state->currentIsMix && !state->renderedIsMix);
        if (i > 0 && state == lights[i - 1]->frameState() + 1)
            ++ascending;
        if (before.contains(state))
            ++reused;
    }
    // Only block boundaries may break the run, and freed slots are taken again.
    QVERIFY2(ascending >= Count - 8, qPrintable(QString::number(ascending)));
    QVERIFY2(reused >= Count / 2, qPrintable(QString::number(reused)));
}

void TestLightFrameState::usedSizeCoversEveryWrittenByte_data()
{
    QTest::addColumn<int>("deviceChannels");
    QTest::addColumn<quint32>("resolution");
    QTest::addColumn<bool>("half");
    QTest::addColumn<int>("channel");
    for (int channels : {1, 4, 8}) {
        for (quint32 resolution : {1u, 0u}) {
            for (bool half : {false, true}) {
                for (int channel : {0, 240, 496}) {
                    QTest::addRow("%d ch, %s, %s, at %d", channels, resolution ? "8-bit" : "16-bit",
                                  half ? "half" : "full", channel)
                        << channels << resolution << half << channel;
                }
            }
        }
    }
}

// A "Device Info" footprint is the channel count alone; on a 16-bit or half light the bytes
// written run past it. Whatever the light writes must be in the frame that goes out.
void TestLightFrameState::usedSizeCoversEveryWrittenByte()
{
    QFETCH(int, deviceChannels);
    QFETCH(quint32, resolution);
    QFETCH(bool, half);
    QFETCH(int, channel);

    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    ds->setIpAddressText(QStringLiteral("127.0.0.5"));
    ds->setProtocolVersion(2);
    ds->setPortCount(1);
    map.addDataSupply(ds);
    auto *light = new Light;
    light->setUid(2);
    light->setDataSupplyUid(1);
    light->setResolution(resolution);
    light->setHalfFullMode(half);
    light->setDmxChannel(channel);
    light->setProperty(
        QStringLiteral("Device Info"),
        QStringLiteral("D.0038-P.0509-F.%1").arg(deviceChannels, 4, 10, QLatin1Char('0')));
    map.addLight(light);
    ds->addLight(2);
    QCOMPARE(light->footprint(), quint32(deviceChannels));
    const int bytes = light->outputByteCount();
    if (channel + bytes > 512)
        QSKIP("does not fit the universe; writeDmx writes nothing");

    light->applyEffectColor(VeyColor::fromRgbF(1.0, 1.0, 1.0), 1);
    QSignalSpy frames(ds, &DataSupply::signalSendPortOut);
    QVERIFY(ds->updateLights());
    QCOMPARE(frames.count(), 1);
    const QByteArray data = frames.takeFirst().at(5).toByteArray();
    QVERIFY2(
        data.size() >= channel + bytes,
        qPrintable(
            QStringLiteral("sent %1, written up to %2").arg(data.size()).arg(channel + bytes)));
    QCOMPARE(data.mid(channel, bytes), ds->portBuffer(0).mid(channel, bytes));
    QVERIFY(data.mid(channel, bytes).count(char(0xFF)) > 0);
}

// The selection effect keeps a flag per light that follows the selection; a change between
// frames must show in the very next frame.
void TestLightFrameState::selectionChangesReachTheNextFrame()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    ds->setIpAddressText(QStringLiteral("127.0.0.5"));
    ds->setProtocolVersion(2);
    ds->setPortCount(1);
    map.addDataSupply(ds);
    for (quint64 uid = 2; uid < 6; ++uid) {
        auto *light = new Light;
        light->setUid(uid);
        light->setDataSupplyUid(1);
        light->setDmxChannel(int(uid - 2) * 3);
        map.addLight(light);
        ds->addLight(uid);
    }
    SelectionEffect effect(&map, 4294967295u);
    effect.reset();
    effect.enabled = true;
    EffectEngine engine(&map, 100);
    engine.setPaused(true);
    engine.addEffect(&effect);
    QSignalSpy frames(ds, &DataSupply::signalSendPortOut);
    auto frame = [&] {
        engine.tick(QDateTime::currentDateTime(), 0);
        return frames.takeLast().at(5).toByteArray().left(12);
    };
    const QByteArray red = freshBytes({0, 1, false}, {{VeyColor(Qt::red), 1}});
    const QByteArray dark = freshBytes({0, 1, false}, {{VeyColor(Qt::black), 1}});
    QCOMPARE(red.size(), 3);
    QVERIFY(red != dark);

    QCOMPARE(frame(), dark + dark + dark + dark);
    effect.setLightSelected(3, true);
    QCOMPARE(frame(), dark + red + dark + dark);
    effect.setLightSelected(5, true);
    effect.setLightSelected(3, false);
    QCOMPARE(frame(), dark + dark + dark + red);
    effect.selectAll();
    QCOMPARE(frame(), red + red + red + red);
    effect.clearSelection();
    QCOMPARE(frame(), dark + dark + dark + dark);
    effect.setLightSelected(2, true);
    map.deleteLight(4);
    QCOMPARE(frame(), red + dark + dark + dark);
}

QTEST_GUILESS_MAIN(TestLightFrameState)
#include "tst_lightframestate.moc"
