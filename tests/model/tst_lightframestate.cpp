// The pooled frame state: each light's state finds its own rarely read part (the light that
// owns it, the colour its levels came from) beside the pool's block, across many blocks and
// through slots freed and taken again, without any of it overlapping another state; the
// widest light's levels fit the state whole; the pool's memory goes back once the last light
// is gone; and the mixes, levels and zero colours that lights share from process-wide memos are
// those each light would make for itself.

#include "colour/profileconversion.h"
#include "model/light.h"
#include "model/lightframestate.h"
#include "model/mapmodel.h"

#include <QRandomGenerator>
#include <QTest>

#include <memory>
#include <vector>

namespace {

VeyColor numberedColor(int n)
{
    VeyColor color;
    color.setRgb8(uint(n & 0xFF), uint((n >> 8) & 0xFF), 0x5A);
    return color;
}

void markHot(LightFrameState *state, int n)
{
    state->currentColor = numberedColor(n + 1);
    for (int k = 0; k < LightLevels::Size; ++k)
        state->levelScratch[k] = quint8(n + k);
    state->dmxChannel = n;
}

bool hotIntact(const LightFrameState *state, int n)
{
    for (int k = 0; k < LightLevels::Size; ++k) {
        if (state->levelScratch[k] != quint8(n + k))
            return false;
    }
    return state->currentColor == numberedColor(n + 1) && state->dmxChannel == n;
}

} // namespace

class TestLightFrameState : public QObject
{
    Q_OBJECT

private slots:
    void coldPartsStayWithTheirStates_data();
    void coldPartsStayWithTheirStates();
    void poolGivesBackItsMemory_data();
    void poolGivesBackItsMemory();
    void widestLightWritesEveryLevel_data();
    void widestLightWritesEveryLevel();
    void sharedMixesAreFreshMixes_data();
    void sharedMixesAreFreshMixes();
    void sharedLevelsFollowEachCurve_data();
    void sharedLevelsFollowEachCurve();
    void everyKindEndsWithItsOwnZero();
};

void TestLightFrameState::coldPartsStayWithTheirStates_data()
{
    QTest::addColumn<int>("lights");
    QTest::addColumn<int>("replacedEvery");
    QTest::newRow("one block") << 40 << 3;
    QTest::newRow("several blocks") << 2100 << 2;
    QTest::newRow("several blocks, few replaced") << 1600 << 7;
    QTest::newRow("several chunks") << 12000 << 5;
}

void TestLightFrameState::coldPartsStayWithTheirStates()
{
    QFETCH(int, lights);
    QFETCH(int, replacedEvery);
    std::vector<std::unique_ptr<Light>> made;
    for (int i = 0; i < lights; ++i)
        made.push_back(std::make_unique<Light>());

    auto writeAll = [&made] {
        for (int i = 0; i < int(made.size()); ++i) {
            LightFrameState *state = made[size_t(i)]->frameState();
            state->cold().lastRenderedColor = numberedColor(i);
            markHot(state, i);
        }
    };
    auto checkAll = [&made] {
        for (int i = 0; i < int(made.size()); ++i) {
            const Light *light = made[size_t(i)].get();
            const LightFrameState *state = light->frameState();
            QCOMPARE(state->owner(), light);
            QVERIFY2(state->cold().lastRenderedColor == numberedColor(i),
                     qPrintable(QString::number(i)));
            QVERIFY2(hotIntact(state, i), qPrintable(QString::number(i)));
        }
    };
    writeAll();
    checkAll();

    // Freed slots go to the next lights made: they find their own owner and a cold part
    // that holds nothing of the light before them.
    for (int i = 0; i < lights; i += replacedEvery) {
        made[size_t(i)] = std::make_unique<Light>();
        const LightFrameState *state = made[size_t(i)]->frameState();
        QCOMPARE(state->owner(), made[size_t(i)].get());
        QVERIFY(!state->cold().lastRenderedColor.isValid());
    }
    writeAll();
    checkAll();
}

// How the last lights go.
enum class Ending { Deleted, MapCleared, MapDeleted };
Q_DECLARE_METATYPE(Ending)

void TestLightFrameState::poolGivesBackItsMemory_data()
{
    QTest::addColumn<int>("lights");
    QTest::addColumn<Ending>("ending");
    QTest::newRow("one light") << 1 << Ending::Deleted;
    QTest::newRow("several chunks") << 25000 << Ending::Deleted;
    QTest::newRow("map cleared") << 12000 << Ending::MapCleared;
    QTest::newRow("map deleted") << 3000 << Ending::MapDeleted;
}

void TestLightFrameState::poolGivesBackItsMemory()
{
    QFETCH(int, lights);
    QFETCH(Ending, ending);
    QCOMPARE(LightFrameState::pooledBytes(), size_t(0));
    auto map = std::make_unique<MapModel>();
    std::vector<std::unique_ptr<Light>> made;
    for (int i = 0; i < lights; ++i) {
        auto light = std::make_unique<Light>();
        light->setUid(map->nextUid());
        if (ending == Ending::Deleted)
            made.push_back(std::move(light));
        else
            QVERIFY(map->addLight(light.release()));
    }
    QVERIFY(LightFrameState::pooledBytes() >= size_t(lights) * sizeof(LightFrameState));

    if (ending == Ending::Deleted) {
        made.resize(1);
        QVERIFY(LightFrameState::pooledBytes() > 0);
        made.clear();
    } else if (ending == Ending::MapCleared) {
        map->clearMap();
    } else {
        map.reset();
    }
    QCOMPARE(LightFrameState::pooledBytes(), size_t(0));

    // A light made afterwards is served from fresh memory.
    Light again;
    QCOMPARE(again.frameState()->owner(), &again);
    QVERIFY(LightFrameState::pooledBytes() > 0);
}

void TestLightFrameState::widestLightWritesEveryLevel_data()
{
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::newRow("orange") << 255 << 128 << 1;
    QTest::newRow("blue") << 0 << 40 << 200;
    QTest::newRow("grey") << 90 << 90 << 90;
}

// Five 16-bit channels in half mode would be twenty bytes; a light sends sixteen at most, the
// last six of them repeating the first channels, all converted for this colour and none left
// from the last one.
void TestLightFrameState::widestLightWritesEveryLevel()
{
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    Light light;
    light.setLedChemistry(3);
    light.setResolution(0);
    light.setHalfFullMode(true);
    LightFrameState *state = light.frameState();
    QCOMPARE(state->outputByteCount(), LightLevels::Size);
    auto write = [state](int r, int g, int b) {
        VeyColor color;
        color.setRgb8(uint(r), uint(g), uint(b));
        state->currentColor = color;
        state->currentIsMix = false;
        QByteArray buffer(64, '\0');
        state->writeDmx(reinterpret_cast<quint8 *>(buffer.data()), int(buffer.size()));
        return buffer.left(LightLevels::Size);
    };
    const QByteArray before = write(255, 255, 255);
    QCOMPARE(before.mid(10), before.left(6));
    const QByteArray levels = write(red, green, blue);
    QVERIFY(levels.left(6) != before.left(6));
    QCOMPARE(levels.mid(10), levels.left(6));
}

namespace {

// Colours an effect lays on lights: plain and N-channel ones, and two Yxy colours that are
// equal but for the sign of a zero, so equal colours with different bytes meet the memo.
QVector<VeyColor> effectColors(QRandomGenerator &random)
{
    QVector<VeyColor> colors;
    for (int i = 0; i < 4; ++i) {
        VeyColor color;
        color.setRgb8(random.bounded(256), random.bounded(256), random.bounded(256),
                      i == 3 ? 128 : 255);
        colors.append(color);
    }
    for (int channels : {4, 6}) {
        double levels[8] = {};
        for (int k = 0; k < channels; ++k)
            levels[k] = random.bounded(1.0);
        VeyColor color;
        color.setNChannelF(levels, channels, 0, 3, false);
        colors.append(color);
    }
    for (double zero : {0.0, -0.0}) {
        VeyColor color;
        color.setYxyF(zero, 0.3, 0.3);
        colors.append(color);
    }
    return colors;
}

void setKind(Light *light, int kind)
{
    static const int kinds[][3] = {{0, 0, 0}, {1, 3, 0}, {3, 1, 0}, {3, 1, 4}, {1, 45, 4}};
    light->setLedChemistry(quint32(kinds[kind][0]));
    light->setHueweaveProfileId(quint32(kinds[kind][1]));
    light->setHueweaveEnabled(kinds[kind][2]);
}

// What a light ends its frame with, by its own settings.
bool isOwnZero(const LightFrameState &state)
{
    const VeyColor &zero = state.currentColor;
    if (zero.profileId() != quint32(state.hueweaveProfileId))
        return false;
    if (state.channelsPerColor >= 4)
        return zero.spec() == VeyColor::NChannel &&
               zero.profileSetFlag() == state.hueweaveEnabled &&
               zero.channelCount() == state.channelsPerColor;
    return zero.spec() == VeyColor::Rgb && zero.alpha() == 0 && zero.isBlack();
}

} // namespace

void TestLightFrameState::sharedMixesAreFreshMixes_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 4u})
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

// Lights of several kinds take colours over many frames, going back and forth between a few
// as a selection or a chase does; every mix must be the one the light would make itself, and
// lights that name the same mix must show the same colour.
void TestLightFrameState::sharedMixesAreFreshMixes()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QVector<VeyColor> colors = effectColors(random);
    std::vector<std::unique_ptr<Light>> lights;
    for (int i = 0; i < 60; ++i) {
        lights.push_back(std::make_unique<Light>());
        setKind(lights.back().get(), random.bounded(5));
        lights.back()->frameState()->endFrame();
    }
    for (int frame = 0; frame < 40; ++frame) {
        QHash<quint64, VeyColor> bySerial;
        for (size_t i = 0; i < lights.size(); ++i) {
            const QString where = QStringLiteral("frame %1, light %2").arg(frame).arg(i);
            LightFrameState *state = lights[i]->frameState();
            // Two colours per light most of the time, another now and then.
            const int pick = random.bounded(10) < 8 ? int(i + frame) % 2 : random.bounded(8);
            const VeyColor base = state->currentColor;
            state->applyEffectColor(colors[pick], 1);
            QVERIFY2(state->currentColor == VeyColor::mix(colors[pick], base, 24, 1.0),
                     qPrintable(where));
            if (random.bounded(5) == 0) {
                const VeyColor under = state->currentColor;
                const VeyColor &over = colors[random.bounded(8)];
                state->applyEffectColor(over, 2);
                QVERIFY2(state->currentColor == VeyColor::mix(over, under, 24, 1.0),
                         qPrintable(where));
            }
            const auto named = bySerial.constFind(state->mixSerial);
            QVERIFY2(named == bySerial.constEnd() || *named == state->currentColor,
                     qPrintable(where));
            bySerial.insert(state->mixSerial, state->currentColor);
        }
        for (size_t i = 0; i < lights.size(); ++i) {
            LightFrameState *state = lights[i]->frameState();
            state->endFrame();
            QVERIFY2(isOwnZero(*state),
                     qPrintable(QStringLiteral("frame %1, light %2").arg(frame).arg(i)));
            if (random.bounded(20) == 0) {
                setKind(lights[i].get(), random.bounded(5));
                state->endFrame();
            }
        }
    }
}

void TestLightFrameState::sharedLevelsFollowEachCurve_data()
{
    QTest::addColumn<quint32>("resolution"); // 0 is 16 bit
    QTest::addColumn<QRgb>("rgb");
    QTest::addColumn<quint32>("firstCurve");
    QTest::addColumn<quint32>("secondCurve");
    QTest::newRow("16-bit grey, linear then normal") << 0u << qRgb(200, 200, 200) << 0u << 1u;
    QTest::newRow("16-bit orange, normal then linear") << 0u << qRgb(230, 120, 20) << 1u << 0u;
    QTest::newRow("16-bit grey, normal then tungsten") << 0u << qRgb(90, 90, 90) << 1u << 2u;
    QTest::newRow("8-bit violet, linear then tungsten") << 1u << qRgb(128, 64, 200) << 0u << 2u;
}

// Two lights alike but for their curves take one mix, whose levels the first to write shares
// with lights of its kind: the second must still write its own curve's levels, which the
// colour-consistency conversion takes into account.
void TestLightFrameState::sharedLevelsFollowEachCurve()
{
    QFETCH(quint32, resolution);
    QFETCH(QRgb, rgb);
    QFETCH(quint32, firstCurve);
    QFETCH(quint32, secondCurve);
    MapModel map;
    map.setColorCacheEnabled(true);
    Light *lights[2] = {new Light, new Light};
    const quint32 curves[2] = {firstCurve, secondCurve};
    for (int i = 0; i < 2; ++i) {
        lights[i]->setUid(quint64(i + 1));
        lights[i]->setResolution(resolution);
        lights[i]->setDimmingCurve(curves[i]);
        map.addLight(lights[i]);
    }
    // A first frame gives both lights their conversion settings; the second frame's mix is
    // new, so its levels are shared from the first light to write them.
    VeyColor shown[2];
    shown[0].setRgb8(0, 128, 128);
    shown[1].setRgb8(uint(qRed(rgb)), uint(qGreen(rgb)), uint(qBlue(rgb)));
    quint8 written[2][8] = {};
    for (const VeyColor &colour : shown) {
        for (Light *light : lights) {
            light->frameState()->applyEffectColor(colour, 1);
            light->frameState()->writeDmx(written[light->uid() - 1], int(sizeof written[0]));
        }
        if (&colour == &shown[1]) {
            for (int i = 0; i < 2; ++i) {
                quint8 own[16] = {};
                renderColorToChannels(lights[i]->currentColor(), own, int(sizeof own), 0, false,
                                      2 - int(resolution), curves[i],
                                      quint8(lights[i]->footprint()));
                const int bytes = lights[i]->outputByteCount();
                QCOMPARE(QByteArray(reinterpret_cast<const char *>(written[i]), bytes).toHex(),
                         QByteArray(reinterpret_cast<const char *>(own), bytes).toHex());
            }
            QVERIFY(std::memcmp(written[0], written[1], sizeof written[0]) != 0);
        }
        for (Light *light : lights)
            light->frameState()->endFrame();
    }
}

// More kinds of light than the memo of zero colours has places, back and forth.
void TestLightFrameState::everyKindEndsWithItsOwnZero()
{
    Light light;
    LightFrameState *state = light.frameState();
    for (int round = 0; round < 2; ++round) {
        for (int profile = 0; profile < 150; ++profile) {
            for (const quint32 chemistry : {0u, 1u, 3u}) {
                for (const int hueweave : {0, 4}) {
                    light.setLedChemistry(chemistry);
                    light.setHueweaveProfileId(quint32(profile));
                    light.setHueweaveEnabled(hueweave);
                    state->endFrame();
                    QVERIFY2(isOwnZero(*state),
                             qPrintable(QStringLiteral("profile %1, chemistry %2, hueweave %3")
                                            .arg(profile)
                                            .arg(chemistry)
                                            .arg(hueweave)));
                }
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestLightFrameState)
#include "tst_lightframestate.moc"
