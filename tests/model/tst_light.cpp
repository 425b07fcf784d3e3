// The light: modes and channel layout, properties, copies and its map-file element "l".
// DM_TEST_SANITIZE

#include "devices/devicedictionary.h"
#include "devices/propertymapper.h"
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

QString childText(const QString &xml, const QString &tag)
{
    QDomDocument document;
    document.setContent(xml);
    return document.documentElement().firstChildElement(tag).text();
}

} // namespace

class TestLight : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void channelLayout_data();
    void channelLayout();
    void setterSignals();
    void halfFullModeSwapsChemistry();
    void poseSignalsOnlyForXAndY();
    void dmxAddressProperty_data();
    void dmxAddressProperty();
    void deviceInfoSetsChannelsWithinRange_data();
    void deviceInfoSetsChannelsWithinRange();
    void startupChannelsMergeIntoStartupColors();
    void startupChannelBeyondPayloadStaysInRange();
    void layoutRemovesUnusedStartupChannels();
    void modelPropertiesBuildDeviceInfoAndKeepName();
    void resetModeProperties();
    void elementRoundTripKeepsEveryField();
    void elementUsesShortTagsInOrder();
    void longTagsRead();
    void unparsableFieldsFallBack();
    void hugeAndNonFiniteNumbersAreClamped();
    void channelElementRebuildsDmxAddress();
    void propertiesKeepFirstOfOneName();
    void controlCharactersAreNotWrittenRaw();
    void catalogueGivesProfileAndIoMode();
    void catalogueNamesRdmLights();
    void deviceTokensAreWrittenAndReadBack();
    void applyDiscoveredTakesOverSettings();
    void assignPropertiesCopiesWithFreshUid();
    void connectToMapRelaysSignals();
    void lessThanOrdersByAddressPortChannelSerial();
};

void TestLight::defaults()
{
    Light light;
    QCOMPARE(light.name(), QStringLiteral("Default Light"));
    QCOMPARE(light.footprint(), 3u);
    QCOMPARE(light.resolution(), 1u);
    QCOMPARE(light.whiteInputMode(), 1u);
    QCOMPARE(light.serialNumber(), quint64(0xFFFFFFFFu));
    QVERIFY(!light.hasCurrentColor());
    QCOMPARE(light.pose(), LightPose());
    QCOMPARE(light.pose().q3, 1.0);
    QVERIFY(light.hasDmxFootprint());
    light.updateChannelLayout();
    QVERIFY(light.hasCurrentColor());
    QCOMPARE(light.currentColor().alpha(), 0u);
}

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

void TestLight::setterSignals()
{
    Light light;
    light.setUid(0x42);
    QSignalSpy updated(&light, &Light::updatedLight);
    QSignalSpy property(&light, &Light::updatedLightProperty);

    light.setName(QStringLiteral("Cove 1"));
    light.setPort(2);
    light.setSerialNumber(1234);
    light.setLightNumber(5);
    light.setModelName(QStringLiteral("Model"));
    light.setFixture(77);
    light.setDataSupplyUid(99);
    QCOMPARE(updated.count(), 7);
    QCOMPARE(updated.first().at(0).toULongLong(), quint64(0x42));

    light.setDimmingCurve(2);
    QCOMPARE(light.property(QStringLiteral("Dimming Curve")), QStringLiteral("Tungsten"));
    QCOMPARE(light.footprint(), 3u);

    updated.clear();
    light.setProperty(QStringLiteral("Resolution"), QStringLiteral("16 bit"));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(property.count(), 1);
    QCOMPARE(property.first().at(1).toString(), QStringLiteral("Resolution"));
    QCOMPARE(light.resolution(), 0u);
    QCOMPARE(light.footprint(), 6u);

    light.setUid(0x43);
    QCOMPARE(updated.last().at(0).toULongLong(), quint64(0x43));

    QVERIFY(light.removeProperty(QStringLiteral("Resolution")));
    QVERIFY(!light.removeProperty(QStringLiteral("Resolution")));
}

void TestLight::halfFullModeSwapsChemistry()
{
    Light light;
    light.setHalfFullMode(true);
    QCOMPARE(light.ledChemistry(), 253u);
    QCOMPARE(light.halfFullMode(), 1);
    QCOMPARE(light.property(QStringLiteral("Half / Full Mode")), QStringLiteral("Half"));
    light.setHalfFullMode(false);
    QCOMPARE(light.ledChemistry(), 0u);
    QCOMPARE(light.property(QStringLiteral("LED Chemistry")), QStringLiteral("RGB"));

    light.setLedChemistry(254);
    light.setHalfFullMode(false);
    QCOMPARE(light.ledChemistry(), 0u);

    light.setLedChemistry(5);
    QCOMPARE(light.whiteInputMode(), 0u);
    light.setHalfFullMode(true);
    QCOMPARE(light.ledChemistry(), 5u);
    light.setHalfFullMode(false);
    QCOMPARE(light.ledChemistry(), 5u);
}

void TestLight::poseSignalsOnlyForXAndY()
{
    Light light;
    QSignalSpy moved(&light, &Light::updatedLightPosition);
    QSignalSpy updated(&light, &Light::updatedLight);
    LightPose pose;
    pose.z = 4;
    pose.q0 = 0.5;
    light.setPose(pose);
    QCOMPARE(moved.count(), 0);
    QCOMPARE(light.pose(), pose);
    pose.y = 12;
    light.setPose(pose);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(updated.count(), 0);
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

void TestLight::deviceInfoSetsChannelsWithinRange_data()
{
    QTest::addColumn<QString>("info");
    QTest::addColumn<uint>("channels");
    QTest::addColumn<bool>("hasFootprint");
    QTest::newRow("four") << "D.0038-P.0509-F.0004" << 4u << true;
    QTest::newRow("eight") << "D.0038-P.0509-F.0008" << 8u << true;
    QTest::newRow("none") << "D.0038-P.0509-F.0000" << 0u << false;
    QTest::newRow("lower-case none") << "d.0038-p.0509-f.0000" << 0u << false;
    QTest::newRow("no number") << "D.0038-P.0509-F.x" << 0u << true;
    // More channels than a light can have would write past the light's level block.
    QTest::newRow("nine kept") << "D.0038-P.0509-F.0009" << 3u << true;
    QTest::newRow("huge kept") << "D.0038-P.0509-F.99999" << 3u << true;
    QTest::newRow("negative kept") << "F.-4" << 3u << true;
}

void TestLight::deviceInfoSetsChannelsWithinRange()
{
    QFETCH(QString, info);
    Light light;
    light.setProperty(QStringLiteral("Device Info"), info);
    QTEST(light.channelsPerColor(), "channels");
    QTEST(light.footprint(), "channels");
    QTEST(light.hasDmxFootprint(), "hasFootprint");
}

void TestLight::startupChannelsMergeIntoStartupColors()
{
    Light light;
    light.setLedChemistry(3);
    light.setResolution(0); // footprint 10: no startup channel is dropped
    // Without "Startup Colors" nothing merges.
    light.setProperty(QStringLiteral("Startup Channel 1"), QStringLiteral("255"));
    QVERIFY(!light.hasProperty(QStringLiteral("Startup Colors")));

    light.setProperty(QStringLiteral("Startup Colors"), QStringLiteral("0"));
    light.setProperty(QStringLiteral("Startup Channel 1"), QStringLiteral("255"));
    QCOMPARE(light.property(QStringLiteral("Startup Colors")), QStringLiteral("4278190080"));
    light.setProperty(QStringLiteral("Startup Channel 4"), QStringLiteral("18"));
    QCOMPARE(light.property(QStringLiteral("Startup Colors")), QStringLiteral("4278190098"));
    // Only the low byte of the channel value counts, and the old byte is replaced.
    light.setProperty(QStringLiteral("Startup Channel 4"), QStringLiteral("257"));
    QCOMPARE(light.property(QStringLiteral("Startup Colors")), QStringLiteral("4278190081"));
}

void TestLight::startupChannelBeyondPayloadStaysInRange()
{
    Light light;
    light.setLedChemistry(3);
    light.setResolution(0);
    light.setProperty(QStringLiteral("Startup Colors"), QStringLiteral("0"));
    // Channel 7 of a four-byte payload: (4 - 7) x 8 wraps to a shift of 8, never a negative
    // shift count.
    light.setProperty(QStringLiteral("Startup Channel 7"), QStringLiteral("1"));
    QCOMPARE(light.property(QStringLiteral("Startup Colors")), QStringLiteral("256"));
}

void TestLight::layoutRemovesUnusedStartupChannels()
{
    Light light;
    for (int k = 1; k <= 7; ++k)
        light.setProperty(QStringLiteral("Startup Channel %1").arg(k), QStringLiteral("1"));
    light.updateChannelLayout();
    for (int k = 1; k <= 7; ++k)
        QCOMPARE(light.hasProperty(QStringLiteral("Startup Channel %1").arg(k)), k <= 3);

    Light wide;
    wide.setLedChemistry(2);
    wide.setResolution(0);
    for (int k = 1; k <= 7; ++k)
        wide.setProperty(QStringLiteral("Startup Channel %1").arg(k), QStringLiteral("1"));
    wide.updateChannelLayout();
    QCOMPARE(wide.footprint(), 8u);
    for (int k = 1; k <= 7; ++k)
        QVERIFY(wide.hasProperty(QStringLiteral("Startup Channel %1").arg(k)));
}

void TestLight::modelPropertiesBuildDeviceInfoAndKeepName()
{
    Light light;
    light.setName(QStringLiteral("Lobby 3"));
    light.setProperty(QStringLiteral("Device Info"), QStringLiteral("kept"));
    light.setProperty(QStringLiteral("Model ID"), QStringLiteral("0"));
    light.setProperty(QStringLiteral("Product Category"), QStringLiteral("5"));
    light.updateChannelLayout();
    QCOMPARE(light.property(QStringLiteral("Device Info")), QStringLiteral("kept"));
    // The catalogue knows no such model: the user's name stays.
    QCOMPARE(light.name(), QStringLiteral("Lobby 3"));

    light.setProperty(QStringLiteral("Model ID"), QStringLiteral("56"));
    light.setProperty(QStringLiteral("Product Category"), QStringLiteral("1289"));
    light.updateChannelLayout();
    QCOMPARE(light.property(QStringLiteral("Device Info")), QStringLiteral("D.0038-P.0509-F.0004"));
    QCOMPARE(light.name(), QStringLiteral("Lobby 3"));

    // Values are cut to 16 bits.
    light.setProperty(QStringLiteral("Model ID"), QStringLiteral("65537"));
    light.updateChannelLayout();
    QCOMPARE(light.property(QStringLiteral("Device Info")), QStringLiteral("D.0001-P.0509-F.0004"));
}

void TestLight::resetModeProperties()
{
    Light light;
    light.setLedChemistry(3);
    light.setResolution(0);
    light.setHalfFullMode(true);
    light.setColorControlMode(3);
    light.setDimmingCurve(1);
    light.resetModeProperties();
    QCOMPARE(light.resolution(), 1u);
    QCOMPARE(light.ledChemistry(), 0u);
    QCOMPARE(light.halfFullMode(), 0);
    QCOMPARE(light.dimmingCurve(), 0u);
    QCOMPARE(light.footprint(), 3u);
    QCOMPARE(light.channelsPerColor(), 3u);
    QCOMPARE(light.bytesPerChannel(), 2u);  // left as it was
    QCOMPARE(light.colorControlMode(), 3u); // the field is left, its property is not
    QCOMPARE(light.property(QStringLiteral("Color Control Mode")), QStringLiteral("Direct"));
    QCOMPARE(light.property(QStringLiteral("Resolution")), QStringLiteral("8 bit"));
    QCOMPARE(light.property(QStringLiteral("Half / Full Mode")), QStringLiteral("Full"));
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

void TestLight::elementUsesShortTagsInOrder()
{
    Light light;
    light.setUid(0xAB);
    light.setFixtureCode(255);
    light.setSerialNumber(77);
    light.setDmxChannel(9);
    light.setProperty(QStringLiteral("Resolution"), QStringLiteral("8 bit"));
    QDomDocument document;
    const QDomElement element = light.toXml(document);
    QCOMPARE(element.tagName(), QStringLiteral("l"));
    QStringList tags;
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement())
        tags << child.tagName();
    const QStringList expected{"s",
                               "n",
                               "pn",
                               "ln",
                               "f",
                               "c",
                               "fc",
                               "x",
                               "y",
                               "z",
                               "q0",
                               "q1",
                               "q2",
                               "q3",
                               "ch",
                               "sn",
                               "hueweaveprofileid",
                               "hueweaveiomode",
                               "properties",
                               "additional_data"};
    QCOMPARE(tags, expected);
    QCOMPARE(element.firstChildElement("s").text(), QStringLiteral("AB"));
    QCOMPARE(element.firstChildElement("fc").text(), QStringLiteral("FF"));
    QCOMPARE(element.firstChildElement("ch").text(), QStringLiteral("9"));
    QCOMPARE(element.firstChildElement("x").text(), QStringLiteral("0.000000"));
    QCOMPARE(element.firstChildElement("q3").text(), QStringLiteral("1.000000"));
    // Only tokens of the light's device (here none but LED_CHEMISTRY) are written, and never
    // the DMX address: "ch" carries it.
    const QDomElement properties = element.firstChildElement("properties");
    QCOMPARE(properties.childNodes().count(), 0);
    light.setLedChemistry(2);
    const QDomElement withChemistry = light.toXml(document).firstChildElement("properties");
    QCOMPARE(withChemistry.childNodes().count(), 1);
    QCOMPARE(withChemistry.firstChildElement().tagName(), QStringLiteral("LED_CHEMISTRY"));
    QCOMPARE(withChemistry.firstChildElement().text(), QStringLiteral("2"));
}

void TestLight::longTagsRead()
{
    const auto light = lightFromXml(QStringLiteral(
        "<light><self>1F</self><name>Long</name><DataSupply>2E</DataSupply>"
        "<fixturecode>-10</fixturecode><fixture>3D</fixture><pn>4</pn>"
        "<lightnumber>8</lightnumber><x>1.5</x><y>2.5</y><channel>20</channel><sn>99</sn>"
        "<hueweaveprofileid>7</hueweaveprofileid><hueweaveiomode>3</hueweaveiomode>"
        "<unknown>ignored</unknown>"
        "<properties><LED_CHEMISTRY>1</LED_CHEMISTRY><INPUT_RESOLUTION>0</INPUT_RESOLUTION>"
        "</properties><additional_data><node_id>{x}</node_id><zone>A</zone></additional_data>"
        "</light>"));
    QCOMPARE(light->uid(), quint64(0x1F));
    QCOMPARE(light->name(), QStringLiteral("Long"));
    QCOMPARE(light->dataSupplyUid(), quint64(0x2E));
    QCOMPARE(light->fixtureCode(), -16);
    QCOMPARE(light->fixture(), quint64(0x3D));
    QCOMPARE(light->port(), quint8(4));
    QCOMPARE(light->lightNumber(), 8u);
    QCOMPARE(light->pose().x, 1.5);
    QCOMPARE(light->pose().y, 2.5);
    QCOMPARE(light->dmxChannel(), 20);
    QCOMPARE(light->serialNumber(), quint64(99));
    QCOMPARE(light->hueweaveIoMode(), 3);
    QCOMPARE(light->ledChemistry(), 1u);
    QCOMPARE(light->resolution(), 0u);
    QCOMPARE(light->footprint(), 8u);
    QCOMPARE(light->property(QStringLiteral("Resolution")), QStringLiteral("16 bit"));
    QCOMPARE(light->additionalData().value(QStringLiteral("zone")), QStringLiteral("A"));
    QCOMPARE(light->additionalData().value(QStringLiteral("node_id")), QStringLiteral("{x}"));
    QVERIFY(light->hasCurrentColor());
}

void TestLight::unparsableFieldsFallBack()
{
    const auto light = lightFromXml(
        QStringLiteral("<l><s>zz</s><c>q</c><f></f><fc>zz</fc><pn>abc</pn><ln>-1</ln><x>east</x>"
                       "<ch>abc</ch><sn>none</sn><hueweaveprofileid>x</hueweaveprofileid>"
                       "<hueweaveiomode>y</hueweaveiomode></l>"));
    QCOMPARE(light->uid(), quint64(0xFFFFFFFFu));
    QCOMPARE(light->dataSupplyUid(), quint64(0xFFFFFFFFu));
    QCOMPARE(light->fixture(), quint64(0xFFFFFFFFu));
    QCOMPARE(light->fixtureCode(), -1);
    QCOMPARE(light->port(), quint8(0));
    QCOMPARE(light->lightNumber(), 0u);
    QCOMPARE(light->pose().x, 0.0);
    QCOMPARE(light->dmxChannel(), 0);
    QCOMPARE(light->property(QStringLiteral("DMX Address")), QStringLiteral("1"));
    QCOMPARE(light->serialNumber(), quint64(0xFFFFFFFFu));
    QCOMPARE(light->hueweaveIoMode(), 0);

    // The port keeps the low eight bits of a signed number.
    QCOMPARE(lightFromXml(QStringLiteral("<l><pn>300</pn></l>"))->port(), quint8(44));
    QCOMPARE(lightFromXml(QStringLiteral("<l><pn>-1</pn></l>"))->port(), quint8(255));
}

void TestLight::hugeAndNonFiniteNumbersAreClamped()
{
    const auto light = lightFromXml(
        QStringLiteral("<l><x>nan</x><y>1e300</y><z>-inf</z><q0>INF</q0><q1>-1e400</q1><q2>NAN</q2>"
                       "<ch>99999999999</ch><fc>FFFFFFFFFF</fc></l>"));
    QCOMPARE(light->pose().x, 0.0);
    QCOMPARE(light->pose().y, 1.0e9);
    QCOMPARE(light->pose().z, -1.0e9);
    QCOMPARE(light->pose().q0, 1.0e9);
    QCOMPARE(light->pose().q2, 0.0);
    QVERIFY(qAbs(light->pose().q1) <= 1.0e9);
    QCOMPARE(light->dmxChannel(), 0);
    QCOMPARE(light->fixtureCode(), -1);

    // The largest channel a file can hold gives an address one above, without overflow.
    const auto edge = lightFromXml(QStringLiteral("<l><ch>2147483647</ch></l>"));
    QCOMPARE(edge->property(QStringLiteral("DMX Address")), QStringLiteral("2147483648"));
}

void TestLight::channelElementRebuildsDmxAddress()
{
    const auto light = lightFromXml(QStringLiteral(
        "<l><ch>9</ch><properties><DMX_ADDRESS>300</DMX_ADDRESS><DMX_OFFSET>5</DMX_OFFSET>"
        "</properties></l>"));
    QCOMPARE(light->dmxChannel(), 9);
    QCOMPARE(light->property(QStringLiteral("DMX Address")), QStringLiteral("10"));
    QString xml;
    roundTrip(*light, &xml);
    QCOMPARE(childText(xml, QStringLiteral("ch")), QStringLiteral("9"));

    // Without "ch" the device's address token sets the channel; DMX_OFFSET is never read.
    const auto fromToken = lightFromXml(
        QStringLiteral("<l><properties><DMX_OFFSET>5</DMX_OFFSET><DMX_ADDRESS>300</DMX_ADDRESS>"
                       "</properties></l>"));
    QCOMPARE(fromToken->dmxChannel(), 299);
}

void TestLight::propertiesKeepFirstOfOneName()
{
    const auto light = lightFromXml(
        QStringLiteral("<l><properties><HUEWEAVE_INPUT_MODE>2</HUEWEAVE_INPUT_MODE>"
                       "<HUEWEAVE_INPUT_MODE_5_CH>6</HUEWEAVE_INPUT_MODE_5_CH>"
                       "<FIRMWARE_VERSION>1.2.3</FIRMWARE_VERSION><NO_SUCH_TOKEN>4</NO_SUCH_TOKEN>"
                       "</properties></l>"));
    QCOMPARE(light->colorControlMode(), 2u);
    QCOMPARE(light->property(QStringLiteral("Color Control Mode")), QStringLiteral("Hueweave RGB"));
    QCOMPARE(light->hueweaveEnabled(), 4);
    QCOMPARE(light->property(QStringLiteral("Firmware Version")), QStringLiteral("1.2.3"));
    QCOMPARE(light->property(QStringLiteral("Unsupported Token: NO_SUCH_TOKEN")),
             QStringLiteral("4"));
}

void TestLight::controlCharactersAreNotWrittenRaw()
{
    Light light;
    light.setName(QStringLiteral("bad\x01name\x1F"));
    QString xml;
    const auto back = roundTrip(light, &xml);
    QVERIFY(back);
    QCOMPARE(back->name(), QStringLiteral("bad\uFFFDname\uFFFD"));
}

// Serials of the shipped device files: a graze with colour-consistency profiles 40 (RGBW) and
// 41 (RGBAW), and an RDM range shared by several product codes.
constexpr quint64 kGrazeSerial = 0x00140001u;
constexpr quint64 kRdmSerial = 0x5651A0000001ull;

void TestLight::catalogueGivesProfileAndIoMode()
{
    Light light;
    light.setSerialNumber(kGrazeSerial);
    light.setLedChemistry(2);
    QCOMPARE(light.hueweaveProfileId(), 40);
    QCOMPARE(light.hueweaveIoMode(), 22);
    light.setColorControlMode(5);
    QCOMPARE(light.hueweaveIoMode(), 23);
    light.setColorControlMode(3); // other modes leave the io mode
    QCOMPARE(light.hueweaveIoMode(), 23);
    light.setLedChemistry(3);
    QCOMPARE(light.hueweaveProfileId(), 41);
}

void TestLight::catalogueNamesRdmLights()
{
    DeviceDictionary *dictionary = DeviceDictionary::instance();
    const QString expected = dictionary->deviceName(kRdmSerial, QStringLiteral("D.0038-P.0509"));
    QVERIFY(expected != QLatin1String("Unknown Device"));

    Light light;
    light.setSerialNumber(kRdmSerial);
    light.setName(QStringLiteral("Mine"));
    light.setProperty(QStringLiteral("Model ID"), QStringLiteral("56"));
    light.setProperty(QStringLiteral("Product Category"), QStringLiteral("1289"));
    QSignalSpy updated(&light, &Light::updatedLight);
    light.updateChannelLayout();
    QCOMPARE(light.name(), expected);
    QCOMPARE(updated.count(), 1);

    // Reading an element names the model from the LED chemistry.
    const QString chemistryModel =
        dictionary->deviceNameForLedChemistry(kRdmSerial, QStringLiteral("RGB"));
    QVERIFY(chemistryModel != QLatin1String("Unknown Device"));
    const auto read = lightFromXml(QStringLiteral("<l><n>Kept</n><sn>%1</sn></l>").arg(kRdmSerial));
    QCOMPARE(read->modelName(), chemistryModel);
    QCOMPARE(read->name(), QStringLiteral("Kept"));

    // A serial that the catalogue lacks keeps an empty model name.
    QCOMPARE(lightFromXml(QStringLiteral("<l><sn>5</sn></l>"))->modelName(), QString());
}

void TestLight::deviceTokensAreWrittenAndReadBack()
{
    Light light;
    light.setSerialNumber(kGrazeSerial);
    light.setLedChemistry(3);
    light.setDimmingCurve(2);
    light.setResolution(0);
    light.setDmxChannel(40);
    light.setProperty(QStringLiteral("Startup Channel 5"), QStringLiteral("17"));
    light.setProperty(QStringLiteral("Not A Device Property"), QStringLiteral("x"));

    QString xml;
    const auto back = roundTrip(light, &xml);
    QDomDocument document;
    document.setContent(xml);
    const QDomElement properties = document.documentElement().firstChildElement("properties");
    QCOMPARE(properties.firstChildElement("DIMMING_CURVE").text(), QStringLiteral("2"));
    QCOMPARE(properties.firstChildElement("INPUT_RESOLUTION").text(), QStringLiteral("0"));
    QCOMPARE(properties.firstChildElement("LED_CHEMISTRY").text(), QStringLiteral("3"));
    QCOMPARE(properties.firstChildElement("STARTUP_CHANNEL_5").text(), QStringLiteral("17"));
    QVERIFY(properties.firstChildElement("DMX_OFFSET").isNull());
    QVERIFY(!xml.contains(QLatin1String("Not A Device Property")));

    QCOMPARE(back->dimmingCurve(), 2u);
    QCOMPARE(back->property(QStringLiteral("Dimming Curve")), QStringLiteral("Tungsten"));
    QCOMPARE(back->resolution(), 0u);
    QCOMPARE(back->ledChemistry(), 3u);
    QCOMPARE(back->footprint(), 10u);
    QCOMPARE(back->dmxChannel(), 40);
    QCOMPARE(back->property(QStringLiteral("Startup Channel 5")), QStringLiteral("17"));
    QCOMPARE(back->hueweaveProfileId(), 41);
}

void TestLight::applyDiscoveredTakesOverSettings()
{
    Light source;
    source.setUid(1);
    source.setName(QStringLiteral("Found"));
    source.setSerialNumber(555);
    source.setPort(2);
    source.setModelName(QStringLiteral("Model X"));
    source.setLedChemistry(2);
    source.setResolution(0);
    source.setProperty(QStringLiteral("DMX Address"), QStringLiteral("40"));
    source.setFixture(9);

    Light target;
    target.setUid(7);
    target.setDataSupplyUid(8);
    target.setLightNumber(3);
    target.setFixture(10);
    target.setProperty(QStringLiteral("Stale"), QStringLiteral("x"));
    QSignalSpy properties(&target, &Light::updatedLightProperty);
    QSignalSpy updated(&target, &Light::updatedLight);
    target.applyDiscovered(&source);

    QCOMPARE(target.uid(), quint64(7));
    QCOMPARE(target.dataSupplyUid(), quint64(8));
    QCOMPARE(target.lightNumber(), 3u);
    QCOMPARE(target.fixture(), quint64(10));
    QCOMPARE(target.name(), QStringLiteral("Found"));
    QCOMPARE(target.serialNumber(), quint64(555));
    QCOMPARE(target.port(), quint8(2));
    QCOMPARE(target.modelName(), QStringLiteral("Model X"));
    QCOMPARE(target.dmxChannel(), 39);
    QCOMPARE(target.footprint(), 8u);
    QVERIFY(!target.hasProperty(QStringLiteral("Stale")));
    QCOMPARE(properties.count(), source.properties().size());
    QCOMPARE(updated.count(), 1);
}

void TestLight::assignPropertiesCopiesWithFreshUid()
{
    Light unmapped;
    QVERIFY(!unmapped.assignProperties());

    MapModel map;
    auto *light = new Light();
    light->setUid(map.nextUid());
    light->setName(QStringLiteral("Original"));
    light->setDmxChannel(30);
    light->setLedChemistry(5);
    light->setResolution(0);
    light->setFixtureCode(12);
    light->setPose(LightPose{5, 6, 0, 0, 0, 0, 1});
    light->setProperty(QStringLiteral("Custom"), QStringLiteral("v"));
    QVERIFY(map.addLight(light));

    std::unique_ptr<Light> copy(light->assignProperties());
    QVERIFY(copy);
    QVERIFY(copy->uid() != light->uid());
    QVERIFY(!map.light(copy->uid()));
    QCOMPARE(copy->fixture(), copy->uid());
    QCOMPARE(copy->dataSupplyUid(), quint64(0));
    QCOMPARE(copy->name(), QStringLiteral("Original"));
    QCOMPARE(copy->dmxChannel(), 30);
    QCOMPARE(copy->whiteInputMode(), 0u);
    QCOMPARE(copy->footprint(), 4u);
    QCOMPARE(copy->fixtureCode(), 12);
    QCOMPARE(copy->pose().y, 6.0);
    QCOMPARE(copy->property(QStringLiteral("Custom")), QStringLiteral("v"));
    QVERIFY(!copy->map());
}

void TestLight::connectToMapRelaysSignals()
{
    MapModel first;
    MapModel second;
    Light light;
    light.setUid(5);
    light.connectToMap(&first);
    QSignalSpy firstUpdated(&first, &MapModel::updatedLight);
    QSignalSpy secondUpdated(&second, &MapModel::updatedLight);
    QSignalSpy position(&first, &MapModel::updatedLightPosition);
    QSignalSpy property(&first, &MapModel::updatedLightProperty);
    light.setName(QStringLiteral("a"));
    light.setPose(LightPose{1, 0, 0, 0, 0, 0, 1});
    light.setProperty(QStringLiteral("Zone"), QStringLiteral("3"));
    QCOMPARE(firstUpdated.count(), 1);
    QCOMPARE(position.count(), 1);
    QCOMPARE(property.count(), 1);

    light.connectToMap(&second);
    light.setName(QStringLiteral("b"));
    QCOMPARE(firstUpdated.count(), 1);
    QCOMPARE(secondUpdated.count(), 1);
}

void TestLight::lessThanOrdersByAddressPortChannelSerial()
{
    MapModel map;
    auto *low = new DataSupply(2);
    low->setUid(map.nextUid());
    low->setIpAddressText(QStringLiteral("10.0.0.2"));
    auto *high = new DataSupply(2);
    high->setUid(map.nextUid());
    high->setIpAddressText(QStringLiteral("10.0.0.10"));
    QVERIFY(map.addDataSupply(low));
    QVERIFY(map.addDataSupply(high));

    const auto make = [&](DataSupply *supply, quint8 port, const QString &address, quint64 serial) {
        auto *light = new Light();
        light->setUid(map.nextUid());
        light->setDataSupplyUid(supply->uid());
        light->setPort(port);
        light->setProperty(QStringLiteral("DMX Address"), address);
        light->setSerialNumber(serial);
        map.addLight(light);
        return light;
    };
    Light *a = make(low, 3, QStringLiteral("100"), 9);
    Light *b = make(high, 0, QStringLiteral("1"), 1);
    Light *c = make(low, 4, QStringLiteral("1"), 1);
    Light *d = make(low, 3, QStringLiteral("99"), 9);
    Light *e = make(low, 3, QStringLiteral("99"), 10);
    QVERIFY(a->lessThan(b)); // 10.0.0.2 before 10.0.0.10, as numbers
    QVERIFY(!b->lessThan(a));
    QVERIFY(a->lessThan(c));
    QVERIFY(d->lessThan(a));
    QVERIFY(d->lessThan(e));
    QVERIFY(!d->lessThan(d));

    Light *orphan = make(low, 0, QStringLiteral("1"), 1);
    orphan->setDataSupplyUid(12345);
    QVERIFY(!orphan->lessThan(a));
    QVERIFY(!a->lessThan(orphan));
}

QTEST_GUILESS_MAIN(TestLight)
#include "tst_light.moc"
