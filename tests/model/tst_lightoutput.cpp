// Light output: compositing effect colours by priority and the bytes a light writes.
// DM_TEST_SANITIZE

#include "colour/colourmixing.h"
#include "model/light.h"

#include <QTest>

#include <memory>

namespace {

constexpr int kUniverse = 512;

// A port buffer with guard bytes on both sides, so a write outside the universe shows.
struct GuardedBuffer
{
    static constexpr int Guard = 32;
    static constexpr quint8 GuardByte = 0xA5;
    quint8 bytes[Guard + kUniverse + Guard];

    GuardedBuffer() { std::fill(std::begin(bytes), std::end(bytes), GuardByte); }
    quint8 *universe() { return bytes + Guard; }
    QByteArray universeBytes() const
    {
        return QByteArray(reinterpret_cast<const char *>(bytes + Guard), kUniverse);
    }
    bool guardsIntact() const
    {
        for (int i = 0; i < Guard; ++i) {
            if (bytes[i] != GuardByte || bytes[Guard + kUniverse + i] != GuardByte)
                return false;
        }
        return true;
    }
    // Bytes of the universe that are not the fill byte.
    QList<int> touched() const
    {
        QList<int> result;
        for (int i = 0; i < kUniverse; ++i) {
            if (bytes[Guard + i] != GuardByte)
                result << i;
        }
        return result;
    }
};

QList<int> range(int first, int count)
{
    QList<int> result;
    for (int i = 0; i < count; ++i)
        result << first + i;
    return result;
}

VeyColor rgb8(uint r, uint g, uint b)
{
    VeyColor color;
    color.setRgb8(r, g, b, 255, 0);
    return color;
}

// One frame: the colour composited on a laid-out light, written, frame ended.
void showFrame(Light &light, const VeyColor &color, quint8 *buffer, int size = kUniverse)
{
    light.applyEffectColor(color, 1);
    light.writeDmx(buffer, size);
    light.endFrame();
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray written(const GuardedBuffer &buffer, int at, int count)
{
    return buffer.universeBytes().mid(at, count);
}

} // namespace

class TestLightOutput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void equalPrioritiesAverage();
    void lowerPriorityIsIgnored();
    void higherPriorityRestartsTheCount();
    void endFrameLeavesValidZeroColour();
    void eightBitBytesAtStartMiddleEnd_data();
    void eightBitBytesAtStartMiddleEnd();
    void sixteenBitBytesAreBigEndian();
    void halfModeRepeatsTheLevels();
    void halfModeSixteenBitAtEnd();
    void chemistry251DarkensLastChannel();
    void chemistry254CopiesChannelThree();
    void nothingWrittenPastTheBuffer_data();
    void nothingWrittenPastTheBuffer();
    void negativeChannelWritesNothing();
    void deviceInfoFootprintDoesNotHideSixteenBitBytes();
    void lightWithoutLayoutWritesNothing();
    void sameColourConvertsOnce();
    void layoutUpdateConvertsAgain();
    void equalLightsShareOneConversion();
    void settingChangedWithoutLayoutKeepsCacheTrue();
    void frameHistoryDoesNotChangeTheBytes_data();
    void frameHistoryDoesNotChangeTheBytes();
};

void TestLightOutput::init()
{
    Light::colorCache()->clear();
}

void TestLightOutput::equalPrioritiesAverage()
{
    Light light;
    light.updateChannelLayout();
    light.applyEffectColor(rgb8(255, 0, 0), 5);
    QCOMPARE(light.currentColor().red8(), 255u);
    light.applyEffectColor(rgb8(0, 0, 255), 5);
    QVERIFY(qAbs(int(light.currentColor().red8()) - 128) <= 1);
    QVERIFY(qAbs(int(light.currentColor().blue8()) - 128) <= 1);
    // The third colour of one priority weighs one third.
    light.applyEffectColor(rgb8(0, 255, 0), 5);
    QVERIFY(qAbs(int(light.currentColor().red8()) - 85) <= 1);
    QVERIFY(qAbs(int(light.currentColor().green8()) - 85) <= 1);
    QVERIFY(qAbs(int(light.currentColor().blue8()) - 85) <= 1);
}

void TestLightOutput::lowerPriorityIsIgnored()
{
    Light light;
    light.updateChannelLayout();
    light.applyEffectColor(rgb8(255, 0, 0), 5);
    light.applyEffectColor(rgb8(0, 255, 0), 4);
    QCOMPARE(light.currentColor(), rgb8(255, 0, 0));
    // The ignored colour did not lower the last priority: 4 still counts as lower.
    light.applyEffectColor(rgb8(0, 255, 0), 4);
    QCOMPARE(light.currentColor().green8(), 0u);
}

void TestLightOutput::higherPriorityRestartsTheCount()
{
    Light light;
    light.updateChannelLayout();
    light.applyEffectColor(rgb8(255, 0, 0), -3);
    light.applyEffectColor(rgb8(0, 0, 255), -3);
    light.applyEffectColor(rgb8(0, 255, 0), 2);
    QCOMPARE(light.currentColor().green8(), 255u);
    QCOMPARE(light.currentColor().red8(), 0u);
    // A second colour at the new priority is mixed at one half, not one third.
    light.applyEffectColor(rgb8(255, 255, 255), 2);
    QVERIFY(qAbs(int(light.currentColor().red8()) - 128) <= 1);
    QCOMPARE(light.currentColor().green8(), 255u);
}

void TestLightOutput::endFrameLeavesValidZeroColour()
{
    Light light;
    light.setLedChemistry(2); // four channels: an N-channel zero colour
    light.applyEffectColor(rgb8(10, 20, 30), 9);
    light.endFrame();
    QVERIFY(light.hasCurrentColor());
    QCOMPARE(light.currentColor().spec(), VeyColor::NChannel);
    QCOMPARE(light.currentColor().channelCount(), 4u);
    QCOMPARE(light.currentColor().alpha(), 0u);
    QVERIFY(light.currentColor().isBlack());
    // A new frame starts over: a lower priority than last frame's is taken.
    light.applyEffectColor(rgb8(255, 255, 255), 1);
    QVERIFY(!light.currentColor().isBlack());

    Light rgb;
    rgb.applyEffectColor(rgb8(10, 20, 30), 9);
    rgb.endFrame();
    QCOMPARE(rgb.currentColor().spec(), VeyColor::Rgb);
    QVERIFY(rgb.currentColor().isBlack());
    QCOMPARE(rgb.currentColor().alpha(), 0u);
}

void TestLightOutput::eightBitBytesAtStartMiddleEnd_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("start") << 0;
    QTest::newRow("middle") << 255;
    QTest::newRow("end") << 509;
}

void TestLightOutput::eightBitBytesAtStartMiddleEnd()
{
    QFETCH(int, channel);
    Light light;
    light.setDmxChannel(channel);
    GuardedBuffer buffer;
    showFrame(light, rgb8(255, 128, 0), buffer.universe());
    QCOMPARE(buffer.touched(), range(channel, 3));
    QCOMPARE(written(buffer, channel, 3), hex("ff8000"));
    QVERIFY(buffer.guardsIntact());
}

void TestLightOutput::sixteenBitBytesAreBigEndian()
{
    Light light;
    light.setResolution(0);
    light.setDmxChannel(100);
    GuardedBuffer buffer;
    showFrame(light, rgb8(255, 0, 128), buffer.universe());
    QCOMPARE(buffer.touched(), range(100, 6));
    QCOMPARE(written(buffer, 100, 6), hex("ffff00008080"));
}

void TestLightOutput::halfModeRepeatsTheLevels()
{
    Light light;
    light.setHalfFullMode(true); // chemistry 0 becomes 253
    light.setDmxChannel(0);
    QCOMPARE(light.footprint(), 6u);
    GuardedBuffer buffer;
    showFrame(light, rgb8(1, 2, 3), buffer.universe());
    QCOMPARE(buffer.touched(), range(0, 6));
    QCOMPARE(written(buffer, 0, 6), hex("010203010203"));
}

void TestLightOutput::halfModeSixteenBitAtEnd()
{
    Light light;
    light.setHalfFullMode(true);
    light.setResolution(0);
    light.setDmxChannel(kUniverse - 12);
    QCOMPARE(light.footprint(), 12u);
    GuardedBuffer buffer;
    showFrame(light, rgb8(255, 0, 1), buffer.universe());
    QCOMPARE(written(buffer, kUniverse - 12, 12), hex("ffff00000101ffff00000101"));
    QVERIFY(buffer.guardsIntact());

    light.setDmxChannel(kUniverse - 11);
    GuardedBuffer late;
    showFrame(light, rgb8(255, 0, 1), late.universe());
    QVERIFY(late.touched().isEmpty());
    QVERIFY(late.guardsIntact());
}

void TestLightOutput::chemistry251DarkensLastChannel()
{
    Light light;
    light.setLedChemistry(251);
    QCOMPARE(light.channelsPerColor(), 3u);
    GuardedBuffer buffer;
    showFrame(light, rgb8(255, 255, 255), buffer.universe());
    QCOMPARE(written(buffer, 0, 3), hex("ffff00"));

    Light wide;
    wide.setLedChemistry(252);
    wide.setResolution(0);
    GuardedBuffer wideBuffer;
    showFrame(wide, rgb8(255, 255, 255), wideBuffer.universe());
    QCOMPARE(written(wideBuffer, 0, 6), hex("ffffffff0000"));
}

void TestLightOutput::chemistry254CopiesChannelThree()
{
    Light light;
    light.setLedChemistry(254);
    light.setHalfFullMode(true); // 254 stays
    QCOMPARE(light.ledChemistry(), 254u);
    GuardedBuffer buffer;
    showFrame(light, rgb8(10, 20, 30), buffer.universe());
    // Channel index 3 is dark from the three-channel conversion, and 4 and 5 repeat it.
    QCOMPARE(written(buffer, 0, 6), hex("0a141e000000"));
}

void TestLightOutput::nothingWrittenPastTheBuffer_data()
{
    QTest::addColumn<uint>("chemistry");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("count");
    QTest::newRow("3 at 509") << 0u << 509 << 3;
    QTest::newRow("4 at 509") << 2u << 509 << 0;
    QTest::newRow("4 at 508") << 2u << 508 << 4;
    QTest::newRow("far beyond") << 0u << 100000 << 0;
}

void TestLightOutput::nothingWrittenPastTheBuffer()
{
    QFETCH(uint, chemistry);
    QFETCH(int, channel);
    QFETCH(int, count);
    Light light;
    light.setLedChemistry(chemistry);
    light.setDmxChannel(channel);
    GuardedBuffer buffer;
    showFrame(light, rgb8(255, 255, 255), buffer.universe());
    QCOMPARE(buffer.touched(), range(channel, count));
    QVERIFY(buffer.guardsIntact());
}

void TestLightOutput::negativeChannelWritesNothing()
{
    Light light;
    light.setProperty(QStringLiteral("DMX Address"), QStringLiteral("0"));
    QCOMPARE(light.dmxChannel(), -1);
    light.updateChannelLayout();
    GuardedBuffer buffer;
    showFrame(light, rgb8(255, 255, 255), buffer.universe());
    QVERIFY(buffer.touched().isEmpty());
    QVERIFY(buffer.guardsIntact());
}

void TestLightOutput::deviceInfoFootprintDoesNotHideSixteenBitBytes()
{
    // "Device Info" claims one channel, but the light writes two bytes per channel: the bound
    // must be checked against the two bytes, not the footprint of one.
    Light light;
    light.setResolution(0);
    light.setProperty(QStringLiteral("Device Info"), QStringLiteral("D.0001-P.0001-F.0001"));
    QCOMPARE(light.footprint(), 1u);
    QCOMPARE(light.outputByteCount(), 2);
    light.setProperty(QStringLiteral("DMX Address"), QStringLiteral("512"));
    GuardedBuffer buffer;
    showFrame(light, rgb8(255, 255, 255), buffer.universe());
    QVERIFY(buffer.touched().isEmpty());
    QVERIFY(buffer.guardsIntact());

    light.setProperty(QStringLiteral("DMX Address"), QStringLiteral("511"));
    GuardedBuffer fits;
    showFrame(light, rgb8(255, 255, 255), fits.universe());
    QCOMPARE(fits.touched(), range(510, 2));
}

void TestLightOutput::lightWithoutLayoutWritesNothing()
{
    Light light;
    GuardedBuffer buffer;
    light.writeDmx(buffer.universe(), kUniverse);
    QVERIFY(buffer.touched().isEmpty());
    // Its first frame end makes the colour valid.
    light.endFrame();
    showFrame(light, rgb8(255, 0, 0), buffer.universe());
    QCOMPARE(written(buffer, 0, 3), hex("ff0000"));
}

void TestLightOutput::sameColourConvertsOnce()
{
    Light light;
    light.updateChannelLayout();
    GuardedBuffer buffer;
    showFrame(light, rgb8(0, 255, 0), buffer.universe());
    QCOMPARE(Light::colorCache()->size(), 1);
    // With the cache emptied, a second conversion would enter the colour again.
    Light::colorCache()->clear();
    GuardedBuffer second;
    showFrame(light, rgb8(0, 255, 0), second.universe());
    QCOMPARE(Light::colorCache()->size(), 0);
    QCOMPARE(written(second, 0, 3), hex("00ff00"));
}

void TestLightOutput::layoutUpdateConvertsAgain()
{
    Light light;
    light.updateChannelLayout();
    GuardedBuffer buffer;
    showFrame(light, rgb8(0, 0, 255), buffer.universe());
    Light::colorCache()->clear();
    light.updateChannelLayout();
    showFrame(light, rgb8(0, 0, 255), buffer.universe());
    QCOMPARE(Light::colorCache()->size(), 1);
}

void TestLightOutput::equalLightsShareOneConversion()
{
    Light first;
    Light second;
    first.updateChannelLayout();
    second.updateChannelLayout();
    second.setDmxChannel(3);
    GuardedBuffer buffer;
    first.applyEffectColor(rgb8(9, 9, 9), 1);
    first.writeDmx(buffer.universe(), kUniverse);
    QCOMPARE(Light::colorCache()->size(), 1);
    // Mark the cached levels: a light that looks them up writes the mark, one that converts
    // would write 09.
    const QList<LightColorKey> keys = Light::colorCache()->keys();
    Light::colorCache()->object(keys.first())->bytes[0] = 0x42;
    second.applyEffectColor(rgb8(9, 9, 9), 1);
    second.writeDmx(buffer.universe(), kUniverse);
    QCOMPARE(written(buffer, 0, 6), hex("090909420909"));
    QCOMPARE(Light::colorCache()->size(), 1);

    // A light with other settings does not share the entry.
    Light wide;
    wide.setResolution(0);
    wide.applyEffectColor(rgb8(9, 9, 9), 1);
    wide.writeDmx(buffer.universe(), kUniverse);
    QCOMPARE(Light::colorCache()->size(), 2);
}

// The half flag can change without a layout update (as a property); a light must still
// find its levels under the settings it writes with, not under a full light's entry.
void TestLightOutput::settingChangedWithoutLayoutKeepsCacheTrue()
{
    const VeyColor dim = rgb8(0, 0, 64);
    Light plain;
    plain.updateChannelLayout();
    GuardedBuffer first;
    showFrame(plain, dim, first.universe());
    QCOMPARE(written(first, 0, 3), hex("000040"));

    Light halved;
    halved.updateChannelLayout();
    halved.setProperty(QStringLiteral("Half / Full Mode"), QStringLiteral("1"));
    QCOMPARE(halved.halfFullMode(), 1);
    GuardedBuffer seen;
    showFrame(halved, dim, seen.universe());
    QCOMPARE(written(seen, 0, 6), hex("000040000040"));
}

void TestLightOutput::frameHistoryDoesNotChangeTheBytes_data()
{
    QTest::addColumn<uint>("chemistry");
    QTest::addColumn<uint>("resolution");
    QTest::newRow("RGB 8 bit") << 0u << 1u;
    QTest::newRow("RGBW 8 bit") << 2u << 1u;
    QTest::newRow("RGBAW 16 bit") << 3u << 0u;
}

void TestLightOutput::frameHistoryDoesNotChangeTheBytes()
{
    QFETCH(uint, chemistry);
    QFETCH(uint, resolution);
    const auto makeLight = [&]() {
        auto light = std::make_unique<Light>();
        light->setLedChemistry(chemistry);
        light->setResolution(resolution);
        return light;
    };
    const VeyColor colors[] = {rgb8(255, 0, 0), rgb8(0, 0, 64), rgb8(255, 0, 0), rgb8(0, 0, 64)};
    const auto veteran = makeLight();
    for (const VeyColor &color : colors) {
        GuardedBuffer seen;
        showFrame(*veteran, color, seen.universe());
        // A light that shows the colour for the first time, with nothing remembered.
        Light::colorCache()->clear();
        const auto fresh = makeLight();
        GuardedBuffer expected;
        showFrame(*fresh, color, expected.universe());
        QCOMPARE(seen.universeBytes(), expected.universeBytes());
        QVERIFY(!seen.touched().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestLightOutput)
#include "tst_lightoutput.moc"
