// The light: modes and channel layout, its map-file element "l", compositing effect colours by
// priority and the bytes it writes.

#include "colour/colourmixing.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QDomDocument>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <memory>

namespace {

// Parses one "l" element and builds a light from it.
std::unique_ptr<Light> lightFromXml(const QString &xml)
{
    QDomDocument document;
    if (!document.setContent(xml))
        return nullptr;
    const QDomElement element = document.documentElement();
    return std::make_unique<Light>(&element);
}

// Writes the light into a document, serialises it and reads the text back.
std::unique_ptr<Light> roundTrip(const Light &light, QString *text = nullptr)
{
    QDomDocument document;
    document.appendChild(light.toXml(document));
    const QString xml = document.toString(1);
    if (text)
        *text = xml;
    return lightFromXml(xml);
}

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

class TestLight : public QObject
{
    Q_OBJECT

private slots:
    void channelLayout_data();
    void channelLayout();
    void dmxAddressProperty_data();
    void dmxAddressProperty();
    void elementRoundTripKeepsEveryField();
    void poseMovesReachTheMap_data();
    void poseMovesReachTheMap();
    void init();
    void equalPrioritiesAverage();
    void eightBitBytesAtStartMiddleEnd_data();
    void eightBitBytesAtStartMiddleEnd();
    void halfModeRepeatsTheLevels();
    void halfModeSixteenBitAtEnd();
    void chemistry251DarkensLastChannel();
    void nothingWrittenPastTheBuffer_data();
    void nothingWrittenPastTheBuffer();
    void endOfFrameZeroFollowsTheProfile();
};

void TestLight::channelLayout_data()
{
    QTest::addColumn<uint>("chemistry");
    QTest::addColumn<uint>("controlMode");
    QTest::addColumn<int>("whiteInput");
    QTest::addColumn<uint>("resolution");
    QTest::addColumn<bool>("half");
    QTest::addColumn<uint>("channels");
    QTest::addColumn<uint>("bytes");
    QTest::addColumn<uint>("footprint");
    QTest::addColumn<int>("hueweave");

    const QList<QPair<uint, uint>> chemistries{
        {0, 3}, {1, 4},  {2, 4},  {3, 5},  {4, 5},  {5, 2},  {6, 3},  {7, 1},  {8, 1},
        {9, 1}, {10, 1}, {11, 1}, {12, 3}, {13, 4}, {14, 3}, {15, 4}, {16, 3}, {200, 3}};
    for (const auto &[chemistry, channels] : chemistries) {
        const int white = chemistry == 5 ? 0 : 1;
        QTest::addRow("chemistry %u", chemistry)
            << chemistry << 0u << white << 1u << false << channels << 1u << channels << 0;
    }
    // The control mode overrides the chemistry: 1, 2, 4, 5 three channels, 6 one; 2 and above
    // turn colour consistency on.
    const QList<QPair<uint, uint>> modes{{0, 5}, {1, 3}, {2, 3}, {3, 5},
                                         {4, 3}, {5, 3}, {6, 1}, {7, 5}};
    for (const auto &[mode, channels] : modes) {
        QTest::addRow("RGBAW mode %u", mode)
            << 3u << mode << 1 << 1u << false << channels << 1u << channels << (mode >= 2 ? 4 : 0);
    }
    QTest::newRow("white input 0 wins") << 1u << 0u << 0 << 1u << false << 2u << 1u << 2u << 0;
    QTest::newRow("white input 0 over mode 6")
        << 0u << 6u << 0 << 1u << false << 2u << 1u << 2u << 4;
    QTest::newRow("16 bit") << 0u << 0u << 1 << 0u << false << 3u << 2u << 6u << 0;
    QTest::newRow("resolution 7 is 8 bit") << 0u << 0u << 1 << 7u << false << 3u << 1u << 3u << 0;
    QTest::newRow("half 8 bit") << 2u << 0u << 1 << 1u << true << 4u << 1u << 8u << 0;
    QTest::newRow("RGBAW 16 bit half") << 3u << 0u << 1 << 0u << true << 5u << 2u << 20u << 0;
}

void TestLight::channelLayout()
{
    QFETCH(uint, chemistry);
    QFETCH(uint, controlMode);
    QFETCH(int, whiteInput);
    QFETCH(uint, resolution);
    QFETCH(bool, half);

    Light light;
    light.setLedChemistry(chemistry);
    light.setWhiteInputMode(whiteInput);
    light.setColorControlMode(controlMode);
    light.setResolution(resolution);
    light.setHalfFullMode(half);
    if (half && chemistry == 0)
        QCOMPARE(light.ledChemistry(), 253u);

    QTEST(light.channelsPerColor(), "channels");
    QTEST(light.bytesPerChannel(), "bytes");
    QTEST(light.footprint(), "footprint");
    QTEST(light.hueweaveEnabled(), "hueweave");
    // The zero colour has the light's form: N-channel from four channels on.
    QCOMPARE(light.currentColor().spec(),
             light.channelsPerColor() >= 4 ? VeyColor::NChannel : VeyColor::Rgb);
    QCOMPARE(light.currentColor().profileSetFlag(), light.hueweaveEnabled() == 4);
}

void TestLight::dmxAddressProperty_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("channel");
    QTest::newRow("1") << "1" << 0;
    QTest::newRow("512") << "512" << 511;
    QTest::newRow("0") << "0" << -1;
    QTest::newRow("no number") << "abc" << -1;
    QTest::newRow("negative") << "-5" << -1;
    QTest::newRow("beyond int") << "4294967295" << INT_MAX;
}

void TestLight::dmxAddressProperty()
{
    QFETCH(QString, address);
    Light light;
    light.setProperty(QStringLiteral("DMX Address"), address);
    QTEST(light.dmxChannel(), "channel");
}

void TestLight::elementRoundTripKeepsEveryField()
{
    Light light;
    light.setUid(0x123456789ABull);
    light.setName(QStringLiteral("Façade <north> & \"east\""));
    light.setPort(3);
    light.setLightNumber(17);
    light.setFixture(0xFEDCBA9876ull);
    light.setDataSupplyUid(0xABCDEF01ull);
    light.setFixtureCode(-0x1A);
    LightPose pose{12.5, -7.25, 3.0, 0.1, 0.2, 0.3, 0.9};
    light.setPose(pose);
    light.setSerialNumber(0x1234567890ull);
    light.setHueweaveProfileId(40);
    light.setHueweaveIoMode(23);
    light.setLedChemistry(3);
    light.setDmxChannel(100);
    light.assignNodeId();

    QString xml;
    const std::unique_ptr<Light> back = roundTrip(light, &xml);
    QVERIFY(back);
    QCOMPARE(back->uid(), light.uid());
    QCOMPARE(back->name(), light.name());
    QCOMPARE(back->port(), quint8(3));
    QCOMPARE(back->lightNumber(), 17u);
    QCOMPARE(back->fixture(), light.fixture());
    QCOMPARE(back->dataSupplyUid(), light.dataSupplyUid());
    QCOMPARE(back->fixtureCode(), -0x1A);
    QCOMPARE(back->pose(), pose);
    QCOMPARE(back->serialNumber(), light.serialNumber());
    QCOMPARE(back->dmxChannel(), 100);
    QCOMPARE(back->property(QStringLiteral("DMX Address")), QStringLiteral("101"));
    QCOMPARE(back->hueweaveIoMode(), 23);
    QCOMPARE(back->ledChemistry(), 3u);
    QCOMPARE(back->property(QStringLiteral("LED Chemistry")), QStringLiteral("RGBAW"));
    QCOMPARE(back->footprint(), 5u);
    QCOMPARE(back->additionalData().value(QStringLiteral("node_id")),
             light.additionalData().value(QStringLiteral("node_id")));
    QVERIFY(light.additionalData().value(QStringLiteral("node_id")).startsWith(QLatin1Char('{')));

    // Written again, the element is the same text.
    QString again;
    roundTrip(*back, &again);
    QCOMPARE(again, xml);
}

// Serials of the shipped device files: a graze with colour-consistency profiles 40 (RGBW) and
// 41 (RGBAW), and an RDM range shared by several product codes.
constexpr quint64 kGrazeSerial = 0x00140001u;
constexpr quint64 kRdmSerial = 0x5651A0000001ull;

Q_DECLARE_METATYPE(LightPose)

// The canvas moves a light's square on the map's position signal, and the lights wizard
// places lights already in the map through setPose.
void TestLight::poseMovesReachTheMap_data()
{
    QTest::addColumn<LightPose>("pose");
    QTest::addColumn<int>("signals");
    QTest::newRow("x") << LightPose{11, 20} << 1;
    QTest::newRow("y") << LightPose{10, 21} << 1;
    QTest::newRow("rotation and height only") << LightPose{10, 20, 5, 0.5, 0, 0, 0.5} << 0;
    QTest::newRow("unchanged") << LightPose{10, 20} << 0;
}

void TestLight::poseMovesReachTheMap()
{
    QFETCH(LightPose, pose);
    MapModel map;
    auto *light = new Light;
    light->setUid(0x51);
    light->setPose(LightPose{10, 20});
    map.addLight(light);
    QSignalSpy moved(&map, &MapModel::updatedLightPosition);
    light->setPose(pose);
    QTEST(int(moved.count()), "signals");
    if (!moved.isEmpty())
        QCOMPARE(moved.first().at(0).toULongLong(), quint64(0x51));
}

void TestLight::init()
{
    Light::colorCache()->clear();
}

void TestLight::equalPrioritiesAverage()
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

void TestLight::eightBitBytesAtStartMiddleEnd_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("start") << 0;
    QTest::newRow("middle") << 255;
    QTest::newRow("end") << 509;
}

void TestLight::eightBitBytesAtStartMiddleEnd()
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

void TestLight::halfModeRepeatsTheLevels()
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

void TestLight::halfModeSixteenBitAtEnd()
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

void TestLight::chemistry251DarkensLastChannel()
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

void TestLight::nothingWrittenPastTheBuffer_data()
{
    QTest::addColumn<uint>("chemistry");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("count");
    QTest::newRow("3 at 509") << 0u << 509 << 3;
    QTest::newRow("4 at 509") << 2u << 509 << 0;
    QTest::newRow("4 at 508") << 2u << 508 << 4;
    QTest::newRow("far beyond") << 0u << 100000 << 0;
}

void TestLight::nothingWrittenPastTheBuffer()
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

// Lights end their frames with zero colours kept for all lights; profiles 1 and 98 share a
// place in that table and must still each get their own.
void TestLight::endOfFrameZeroFollowsTheProfile()
{
    for (const quint32 profile : {1u, 98u, 1u, 45u, 3u}) {
        Light light;
        light.updateChannelLayout();
        light.setHueweaveProfileId(profile);
        light.endFrame();
        QCOMPARE(light.currentColor().profileId(), profile);
        QCOMPARE(light.currentColor().alpha(), 0u);
    }
    Light five;
    five.setLedChemistry(4);
    for (const quint32 profile : {28u, 125u}) {
        five.setHueweaveProfileId(profile);
        five.endFrame();
        QCOMPARE(five.currentColor().profileId(), profile);
        QCOMPARE(five.currentColor().spec(), quint32(VeyColor::NChannel));
    }
}

QTEST_GUILESS_MAIN(TestLight)
#include "tst_light.moc"
