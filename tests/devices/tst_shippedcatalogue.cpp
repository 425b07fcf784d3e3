#include "devices/devicedictionary.h"
#include "devices/deviceentry.h"
#include "devices/memorymapentry.h"
#include "devices/propertyentry.h"
#include "devices/propertymapper.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <map>
#include <memory>
#include <vector>

int qInitResources_PropertyMap();
int qInitResources_DeviceConfigFiles();

// DM_TEST_SANITIZE
// Checks the property maps and device definition files compiled into the program: they
// parse, agree with each other, and hold what the rest of the program looks up by name.
class TstShippedCatalogue : public QObject
{
    Q_OBJECT
private:
    // Shipped counts, also quoted in the README.
    const std::map<DeviceType::Value, int> m_filesPerType{
        {DeviceType::FIXTURE, 16},    {DeviceType::PDS, 8},
        {DeviceType::RDM_FIXTURE, 5}, {DeviceType::ETHERNET_FIXTURE, 3},
        {DeviceType::XMX_DEVICE, 3},  {DeviceType::RDM_PDS, 2},
        {DeviceType::KEYPAD, 2},      {DeviceType::ETHERNET, 1},
        {DeviceType::OTHER, 1}};

    std::vector<std::unique_ptr<DeviceEntry>> m_entries;

    static QJsonArray mapArray(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object().value("PropertyMap").toArray();
    }

    static QStringList tokensOf(const QJsonArray &array)
    {
        QStringList tokens;
        for (const QJsonValue &value : array)
            tokens.append(value.toObject().value("tokenName").toString());
        return tokens;
    }

private slots:
    void initTestCase()
    {
        qInitResources_PropertyMap();
        qInitResources_DeviceConfigFiles();
        QDir dir(":/DeviceConfigFiles", "*.json");
        for (const QString &name : dir.entryList(QDir::Files))
            m_entries.push_back(std::make_unique<DeviceEntry>(dir.filePath(name)));
        QVERIFY(!m_entries.empty());
    }

    void propertyMapsHaveTheirTokensInOrder()
    {
        const QJsonArray main = mapArray(":/PropertyMap/PropertyMap.json");
        const QJsonArray ordm = mapArray(":/PropertyMap/ORDMPropertyMap.json");
        const QStringList mainTokens = tokensOf(main);
        const QStringList ordmTokens = tokensOf(ordm);
        QCOMPARE(mainTokens.size(), 276);
        QCOMPARE(ordmTokens.size(), 140);
        QCOMPARE(mainTokens.first(), QString("DEVICE_NAME"));
        QCOMPARE(mainTokens.mid(47, 3), QStringList({"DMX_ADDRESS", "DMX_OFFSET", "LIGHT_NUMBER"}));
        QCOMPARE(mainTokens.last(), QString("PHYSICAL_PIXEL_COUNT"));
        QCOMPARE(ordmTokens.first(), QString("RDM_DMX_FOOTPRINT"));
        QCOMPARE(ordmTokens.last(), QString("KESTO_AUTO-SHUTDOWN"));

        const QSet<QString> mainSet(mainTokens.cbegin(), mainTokens.cend());
        const QSet<QString> ordmSet(ordmTokens.cbegin(), ordmTokens.cend());
        QCOMPARE(mainSet.size(), 276);
        QCOMPARE(ordmSet.size(), 140);
        QVERIFY(!mainSet.intersects(ordmSet));
        for (const QString &token : ordmTokens) {
            QVERIFY2(QRegularExpression("^(RDM|XMX|QZR|ZOLBA|KESTO|BRENLOW|POWER|LOSS)_")
                         .match(token)
                         .hasMatch(),
                     qPrintable(token));
        }
    }

    void propertyMapsHaveTheShippedShape()
    {
        PropertyMapper *mapper = PropertyMapper::instance();
        QMap<QString, int> types[2];
        QSet<QString> names;
        QSet<int> access;
        for (const char *path :
             {":/PropertyMap/PropertyMap.json", ":/PropertyMap/ORDMPropertyMap.json"}) {
            for (const QString &token : tokensOf(mapArray(path))) {
                const PropertyEntry *entry = mapper->entry(token);
                QVERIFY2(entry, qPrintable(token));
                types[entry->mapVariant()][entry->valueType()]++;
                names.insert(entry->stringName());
                access.insert(entry->access());
                QVERIFY2(!entry->stringName().isEmpty(), qPrintable(token));
                if (entry->mapVariant() == PropertyMapper::OrdmMap)
                    QVERIFY2(entry->parameterID() != 0 && entry->payloadSize() != 0,
                             qPrintable(token));
            }
        }
        QCOMPARE(types[0], (QMap<QString, int>{{"Range", 128}, {"List", 51}, {"None", 97}}));
        QCOMPARE(types[1], (QMap<QString, int>{{"Range", 15}, {"List", 36}, {"None", 89}}));
        QCOMPARE(names.size(), 381);
        QCOMPARE(access, (QSet<int>{400, 440, 444, 640, 644, 660, 664, 666}));
    }

    void tellingRows()
    {
        PropertyMapper *mapper = PropertyMapper::instance();
        const PropertyEntry *rdmAddress = mapper->entry("RDM_DMX_ADDRESS");
        QCOMPARE(rdmAddress->parameterID(), quint16(240));
        QCOMPARE(rdmAddress->payloadSize(), quint16(16));
        QCOMPARE(mapper->entry("RDM_DEVICE_INFO")->parameterID(), quint16(96));
        QCOMPARE(mapper->entry("RDM_DEVICE_INFO")->payloadSize(), quint16(128));
        QCOMPARE(mapper->entry("RDM_IDENTIFY_DEVICE")->parameterID(), quint16(4096));
        QCOMPARE(mapper->entry("XMX_NODE_LED_CHEMISTRY")->parameterID(), quint16(40706));
        QCOMPARE(mapper->entry("XMX_NODE_LED_CHEMISTRY")->payloadSize(), quint16(8));
        QCOMPARE(mapper->stringName("RDM_IDENTIFY_DEVICE"), QString("Identify Device"));

        QCOMPARE(mapper->toDisplayValue("DMX_OFFSET", "0"), QString("1"));
        QCOMPARE(mapper->toDisplayValue("DMX_OFFSET", "512"), QString("512"));
        QCOMPARE(mapper->toRawValue("DMX_OFFSET", "512"), 511u);
        QCOMPARE(mapper->toDisplayValue("DIMMING_CURVE", "0x2"), QString("Tungsten"));
        QCOMPARE(mapper->toRawValue("DIMMING_CURVE", "tungsten"), 2u);
        QCOMPARE(mapper->toDisplayValue("SERIAL_NUMBER", "7"), QString("7"));
        QCOMPARE(mapper->payloadSize("Current Node Count"), quint16(4));
        QCOMPARE(mapper->payloadSize("Startup Colors"), quint16(4));
        QCOMPARE(mapper->toDisplayValueByName("DMX Address", "5"), QString("5"));
        QCOMPARE(mapper->toDisplayValue("XMX_NODE_LED_CHEMISTRY", "3"), QString("RGBAW"));
        QCOMPARE(mapper->toDisplayValueByName("Hueweave", "4"), QString("Enabled"));
        QCOMPARE(mapper->toRawValueByName("Resolution", "16 bit"), QString("0"));
    }

    void sharedDisplayNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("tokens"); // in load order
        auto row = [](const char *name, QStringList tokens) {
            QTest::newRow(name) << QString(name) << tokens;
        };
        row("Color Control Mode",
            {"HUEWEAVE_INPUT_MODE", "HUEWEAVE_INPUT_MODE_5_CH", "XMX_NODE_HUEWEAVE_MODE"});
        row("Current Node Count",
            {"CURRENT_NODE_COUNT", "RDM_PROXIED_DEVICES", "RDM_PROXIED_DEVICE_COUNT"});
        row("Current Temperature",
            {"CURRENT_TEMPERATURE", "CURRENT_TEMPERATURE_CELSIUS", "XMX_NODE_CURRENT_TEMPERATURE"});
        row("Data Packet Counter", {"DATA_PACKET_COUNTER", "DATA_PACKET_COUNTER_RESET"});
        row("Dimming Curve", {"DIMMING_CURVE", "RDM_DIMMING_CURVE", "XMX_NODE_DIMMING_CURVE",
                              "ZOLBA_DIMMING_CURVE"});
        row("DMX Address", {"DMX_ADDRESS", "DMX_OFFSET", "RDM_DMX_ADDRESS"});
        row("Was Ever Over Temperature", {"EVER_HOT", "EVER_OVER_TEMPERATURE"});
        row("Factory Node Count", {"FACTORY_NODE_COUNT", "NODE_COUNT_TREVAN_KELTRANE"});
        row("Firmware Version",
            {"FIRMWARE_VERSION", "RDM_SOFTWARE_VERSION_LABEL", "XMX_SFT_VERSION"});
        row("Bootloader Version", {"BOOTLOADER_VERSION", "RDM_BOOTLOADER_VERSION"});
        row("Fixture Runtime", {"FIXTURE_RUNTIME_HOURS", "FIXTURE_RUNTIME"});
        row("Resolution", {"INPUT_RESOLUTION", "XMX_NODE_INPUT_RESOLUTION"});
        row("LED Chemistry", {"LED_CHEMISTRY", "XMX_NODE_LED_CHEMISTRY"});
        row("LED Speed", {"LED_SPEED", "XMX_NODE_FADE_SPEED"});
        row("Pixel Resolution", {"PIXEL_RESOLUTION", "ZOLBA_PIXEL_NUMBER"});
        row("Serial Number", {"SERIAL_NUMBER", "XMX_SERIAL_NUMBER"});
        row("Startup Channel 1", {"STARTUP_CHANNEL_1", "XMX_NODE_STARTUP_CHANNEL_1"});
        row("Startup Channel 5", {"STARTUP_CHANNEL_5", "XMX_NODE_STARTUP_CHANNEL_5"});
        row("Temperature High", {"TEMPERATURE_HIGH", "TEMPERATURE_HIGH_CELSIUS"});
        row("Temperature Low", {"TEMPERATURE_LOW", "TEMPERATURE_LOW_CELSIUS"});
        row("Pixel Cell Count", {"PIXEL_CELL_COUNT", "XMX_PIXEL_CELL_COUNT"});
        row("Physical Pixel Count", {"PHYSICAL_PIXEL_COUNT", "XMX_PHYSICAL_PIXEL_COUNT"});
        row("DMX Personality",
            {"RDM_DMX_PERSONALITY", "QZR_DMX_PERSONALITY", "QZR_DMX_PERSONALITY_E2"});
        row("Curve", {"QZR_CURVE", "BRENLOW_CURVE"});
        // Names other parts of the program look up.
        row("Hueweave", {"HUEWEAVE_ENABLED"});
        row("Corlend Mode", {"CORLEND_INPUT_MODE"});
        row("Half / Full Mode", {"VORLETH_MULTI_CH_ENABLE"});
        row("Quy Input Mode", {"QUY_ENABLE"});
        row("Quy/Zyr Input Mode", {"QUY_INPUT_MODE"});
        row("Device Info", {"RDM_DEVICE_INFO"});
        row("Device Model Description", {"RDM_DEVICE_MODEL_DESCRIPTION"});
        row("Maximum Number of Serial Numbers", {"MAX_BLINKSCAN_SERIALS"});
        row("Startup Colors", {"ZOLBA_STARTUP_COLOR"});
        row("Model ID", {"MODEL_ID"});
        row("Product Category", {"PRODUCT_CATEGORY"});
        row("SFT Version", {"SFT_NUMBER"});
        row("Protocol Version", {"SEND_ORVEX_VER"});
    }

    void sharedDisplayNames()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, tokens);
        QStringList newestFirst(tokens.crbegin(), tokens.crend());
        QCOMPARE(PropertyMapper::instance()->entriesByName(name), newestFirst);
    }

    void ledChemistryListNamesEveryCode()
    {
        const QMap<QString, QString> chemistry =
            PropertyMapper::instance()->entry("LED_CHEMISTRY")->values();
        QSet<int> codes;
        for (const QString &code : chemistry)
            codes.insert(code.toInt());
        QSet<int> expected{251, 252, 253, 254};
        for (int code = 0; code <= 16; ++code)
            expected.insert(code);
        QCOMPARE(codes, expected);
        QCOMPARE(chemistry.size(), expected.size());
    }

    void everyDeviceFileLoads()
    {
        std::map<DeviceType::Value, int> perType;
        QSet<QString> names;
        for (const auto &entry : m_entries) {
            QVERIFY2(!entry->deviceName().isEmpty(), qPrintable(entry->filePath()));
            QVERIFY2(!names.contains(entry->deviceName()), qPrintable(entry->deviceName()));
            names.insert(entry->deviceName());
            QVERIFY2(!entry->serialNumberRanges().isEmpty() ||
                         !entry->productCodeRanges().isEmpty(),
                     qPrintable(entry->filePath()));
            perType[entry->deviceType()]++;
        }
        QCOMPARE(perType, m_filesPerType);
        QCOMPARE(DeviceDictionary::instance()->entries().size(), int(m_entries.size()));
    }

    void memoryMapsUseKnownTokens()
    {
        PropertyMapper *mapper = PropertyMapper::instance();
        const QMap<QString, QString> chemistries = mapper->valueMap("LED Chemistry");
        for (const auto &entry : m_entries) {
            for (const QString &token : entry->memoryMapTokens()) {
                QVERIFY2(mapper->containsToken(token),
                         qPrintable(entry->deviceName() + ": " + token));
                QVERIFY2(!entry->findMemoryMapEntry(token)->readAddresses().isEmpty() ||
                             token == "FIRMWARE_VERSION",
                         qPrintable(entry->deviceName() + ": " + token));
            }
            for (const QString &chemistry : entry->hueweaveLedChemistries())
                QVERIFY2(chemistries.contains(chemistry), qPrintable(chemistry));
        }
    }

    void noRangeOverlapsAnotherModel()
    {
        struct Range
        {
            quint64 start, end;
            QString model, code;
        };
        QList<Range> ranges;
        for (const auto &entry : m_entries) {
            for (const SerialRange &range : entry->serialNumberRanges())
                ranges.append({range.first, range.second, entry->deviceName(), QString()});
            for (const ProductCodeRange &range : entry->productCodeRanges())
                ranges.append({range.start, range.end, entry->deviceName(), range.productCode});
        }
        for (const Range &a : ranges) {
            QVERIFY2(a.start <= a.end, qPrintable(a.model));
            for (const Range &b : ranges) {
                if (a.model == b.model || a.start > b.end || b.start > a.end)
                    continue;
                // UID ranges may be shared by models that tell themselves apart by model id.
                const bool told = !a.code.isEmpty() && !b.code.isEmpty() &&
                                  a.code.left(6).compare(b.code.left(6), Qt::CaseInsensitive) != 0;
                QVERIFY2(told, qPrintable(a.model + " overlaps " + b.model));
            }
        }
    }

    void modelsTheProgramNames()
    {
        DeviceDictionary *dictionary = DeviceDictionary::instance();
        const quint64 generic = dictionary->firstSerialForName("Generic 3-Ch");
        QCOMPARE(dictionary->deviceType(generic), DeviceType::FIXTURE);

        const quint64 skendra = dictionary->firstSerialForName("Skendra Keltrane");
        QVERIFY(dictionary->hasToken(skendra, QString(), "VORLETH_MULTI_CH_ENABLE"));
        QVERIFY(!dictionary->hasToken(skendra, QString(), "LED_CHEMISTRY"));
        QVERIFY(!dictionary->hasStaticValue("LED_CHEMISTRY", skendra));

        QVERIFY(dictionary->isKnownSerial(0xFDAC0000));
        QStringList supplies;
        for (quint64 serial : dictionary->deviceNamesOfType(DeviceType::PDS))
            supplies.append(dictionary->deviceName(serial));
        for (const char *model : {"TQ52hx", "TQ410", "RM-90hx", "LV-220", "Trevan Compact"})
            QVERIFY2(supplies.filter(model, Qt::CaseSensitive).size() == 1, model);

        const QStringList rdm =
            dictionary->deviceNamesOfTypeByProductCode(DeviceType::RDM_FIXTURE, false);
        const QStringList kept =
            dictionary->deviceNamesOfTypeByProductCode(DeviceType::RDM_FIXTURE, true);
        QVERIFY(kept.size() < rdm.size() && !kept.isEmpty());
        QVERIFY(dictionary->productCodeForName("Skyvale RDM Cove").startsWith("D.0038-P.0509"));

        bool profile40 = false;
        int otherPorts = 0;
        for (const auto &entry : m_entries) {
            for (const QString &chemistry : entry->hueweaveLedChemistries())
                profile40 = profile40 || entry->hueweaveProfileId(chemistry) == 40;
            otherPorts += entry->discoverPort() != 6038 ? 1 : 0;
        }
        QVERIFY(profile40);
        QCOMPARE(otherPorts, 1);
    }

    void lightPropertiesAreReadable()
    {
        // Every property that light discovery reads has a token in some shipped memory map.
        PropertyMapper *mapper = PropertyMapper::instance();
        QSet<QString> tokens;
        for (const auto &entry : m_entries) {
            const QStringList own = entry->memoryMapTokens();
            tokens.unite(QSet<QString>(own.cbegin(), own.cend()));
        }
        const QStringList allTokens(tokens.cbegin(), tokens.cend());
        for (const char *name :
             {"Hueweave", "Color Control Mode", "Corlend Mode", "Resolution", "Dimming Curve",
              "LED Chemistry", "Half / Full Mode", "Quy Input Mode", "Quy/Zyr Input Mode",
              "DMX Address", "Device Info", "Device Model Description", "DMX Personality",
              "Pixel Cell Count", "Physical Pixel Count", "Maximum Number of Serial Numbers"}) {
            QVERIFY2(!mapper->tokenName(name, allTokens).startsWith("Unsupported Property"), name);
        }
    }
};

QTEST_GUILESS_MAIN(TstShippedCatalogue)
#include "tst_shippedcatalogue.moc"
