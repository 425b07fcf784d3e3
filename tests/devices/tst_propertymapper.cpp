#include "devices/propertyentry.h"
#include "devices/propertymapper.h"
#include "jsonfixture.h"

#include <QTest>

// DM_TEST_SANITIZE
// Parsing rules and conversions of the property catalogue, on small hand-made maps.
class TstPropertyMapper : public QObject
{
    Q_OBJECT
private:
    JsonFixture m_files;
    PropertyMapper m_mapper;

private slots:
    void initTestCase()
    {
        const QString mainMap = m_files.write("main.json", R"({"PropertyMap": [
            {"tokenName": "DMX_ADDRESS", "stringName": "DMX Address", "category": ["address"],
             "access": 666, "values": [{"min": 1}, {"max": 512}]},
            {"tokenName": "DMX_OFFSET", "stringName": "DMX Address",
             "values": [{"min": 0}, {"max": 511}]},
            {"tokenName": "DIMMING_CURVE", "stringName": "Dimming Curve",
             "values": [{"name": "Linear", "value": 0}, {"name": "Normal", "value": 1},
                        {"name": "Tungsten", "value": 2}]},
            {"tokenName": "SERIAL_NUMBER", "stringName": "Serial Number",
             "values": [{"min": 0}, {"max": 4294967294}]},
            {"tokenName": "CURRENT_NODE_COUNT", "stringName": "Current Node Count"},
            {"stringName": "No Token"},
            {"tokenName": "", "stringName": "Empty Token"},
            {"tokenName": "DEVICE_NAME", "stringName": "Device Name", "category": "information"},
            {"tokenName": "RUNTIME", "stringName": "Runtime", "values": [{"min": 5}, {"max": 9}]},
            {"tokenName": "RUNTIME", "stringName": "Runtime Replaced"}
        ]})");
        const QString ordmMap = m_files.write("ordm.json", R"({"PropertyMap": [
            {"tokenName": "RDM_DMX_ADDRESS", "stringName": "DMX Address", "parameterID": 240,
             "payloadSize": 16, "values": [{"min": 1}, {"max": 512}]},
            {"tokenName": "RDM_PROXIED_DEVICES", "stringName": "Current Node Count",
             "parameterID": 16, "payloadSize": 48},
            {"tokenName": "RDM_PROXIED_DEVICE_COUNT", "stringName": "Current Node Count",
             "parameterID": 17, "payloadSize": 32},
            {"tokenName": "RDM_DIMMING_CURVE", "stringName": "Dimming Curve",
             "values": [{"name": "Linear", "value": 5}, {"name": "Square", "value": 6}]},
            {"tokenName": "ONE_BIT", "stringName": "One Bit", "payloadSize": 1}
        ]})");
        QVERIFY(m_mapper.loadFile(mainMap, PropertyMapper::MainMap));
        QVERIFY(m_mapper.loadFile(ordmMap, PropertyMapper::OrdmMap));
    }

    void readsEntryFields()
    {
        const PropertyEntry entry(jsonObject(R"({"tokenName": "T", "stringName": "S",
            "description": "D", "access": 644, "parameterID": 40706, "payloadSize": 8,
            "comments": "ignored", "category": ["settings", "output"]})"),
                                  1);
        QCOMPARE(entry.tokenName(), QString("T"));
        QCOMPARE(entry.description(), QString("D"));
        QCOMPARE(entry.access(), 644);
        QCOMPARE(entry.parameterID(), quint16(40706));
        QCOMPARE(entry.payloadSize(), quint16(8));
        QCOMPARE(entry.category(), QStringList({"settings", "output"}));
        QCOMPARE(entry.mapVariant(), 1);
        QCOMPARE(entry.valueType(), QString("None"));

        const PropertyEntry bare(QJsonObject{{"tokenName", "B"}}, 0);
        QCOMPARE(bare.category(), QStringList{QString()});
        QCOMPARE(bare.access(), -1);
        QCOMPARE(bare.stringName(), QString());
        // Fractional and out-of-range numbers read as 0.
        const PropertyEntry odd(jsonObject(R"({"tokenName": "O", "access": 6.5,
            "values": [{"min": 0}, {"max": 4294967294}]})"),
                                0);
        QCOMPARE(odd.access(), 0);
        QCOMPARE(odd.values().value("max"), QString("0"));
    }

    void valueTypes_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("pairs");
        QTest::newRow("list") << QByteArray(
                                     R"([{"name": "A", "value": 1}, {"value": "x", "name": "B"}])")
                              << "List"
                              << "A=1;B=x";
        QTest::newRow("range") << QByteArray(R"([{"min": -3}, {"MAX": 7}])") << "Range"
                               << "max=7;min=-3";
        QTest::newRow("empty") << QByteArray("[]") << "None"
                               << "";
        QTest::newRow("mixed") << QByteArray(R"([{"name": "A", "value": 1}, {"max": 2}])") << "None"
                               << "A=1;max=2";
        // Keys go in ascending order, so "min" is processed after "max" and wins.
        QTest::newRow("both bounds in one element")
            << QByteArray(R"([{"min": 1, "max": 9}])") << "Range"
            << "min=1";
        QTest::newRow("empty string value")
            << QByteArray(R"([{"name": "A", "value": ""}])") << "List"
            << "A=0";
        QTest::newRow("wide list value")
            << QByteArray(R"([{"name": "Big", "value": 6000000000}])") << "List"
            << "Big=6000000000";
        QTest::newRow("unknown key") << QByteArray(R"([{"name": "A", "other": 1}])") << "None"
                                     << "A=";
    }

    void valueTypes()
    {
        QFETCH(QByteArray, values);
        QFETCH(QString, type);
        QFETCH(QString, pairs);
        const PropertyEntry entry(jsonObject("{\"tokenName\": \"T\", \"values\": " + values + "}"),
                                  0);
        QCOMPARE(entry.valueType(), type);
        QStringList got;
        const auto map = entry.values();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            got.append(it.key() + "=" + it.value());
        QCOMPARE(got.join(';'), pairs);
    }

    void conversions_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("display");
        QTest::newRow("offset 0") << "DMX_OFFSET"
                                  << "0"
                                  << "1";
        QTest::newRow("offset 511") << "DMX_OFFSET"
                                    << "511"
                                    << "512";
        QTest::newRow("offset above range") << "DMX_OFFSET"
                                            << "512"
                                            << "512";
        QTest::newRow("offset letters") << "DMX_OFFSET"
                                        << "abc"
                                        << "1";
        QTest::newRow("curve") << "DIMMING_CURVE"
                               << "2"
                               << "Tungsten";
        QTest::newRow("curve hex") << "DIMMING_CURVE"
                                   << "0x2"
                                   << "Tungsten";
        QTest::newRow("curve unknown") << "DIMMING_CURVE"
                                       << "7"
                                       << "7";
        QTest::newRow("address below range") << "DMX_ADDRESS"
                                             << "0"
                                             << "0";
        QTest::newRow("serial max reads as 0") << "SERIAL_NUMBER"
                                               << "5"
                                               << "5";
        QTest::newRow("none") << "DEVICE_NAME"
                              << "Lobby"
                              << "Lobby";
        QTest::newRow("unknown token") << "NO_SUCH"
                                       << "9"
                                       << "9";
        QTest::newRow("repeated token, later wins") << "RUNTIME"
                                                    << "3"
                                                    << "3";
    }

    void conversions()
    {
        QFETCH(QString, token);
        QFETCH(QString, raw);
        QFETCH(QString, display);
        // SERIAL_NUMBER's max of 4294967294 reads as 0, so 5 is outside and comes back as is.
        QCOMPARE(m_mapper.toDisplayValue(token, raw), display);
    }

    void displayToRaw()
    {
        QCOMPARE(m_mapper.toRawValue("DMX_OFFSET", "1"), 0u);
        QCOMPARE(m_mapper.toRawValue("DMX_OFFSET", "512"), 511u);
        QCOMPARE(m_mapper.toRawValue("DMX_OFFSET", "0"), 0u);     // back unchanged, reads as 0
        QCOMPARE(m_mapper.toRawValue("DMX_OFFSET", "513"), 513u); // outside: unchanged
        QCOMPARE(m_mapper.toRawValue("DIMMING_CURVE", "tungsten"), 2u);
        QCOMPARE(m_mapper.toRawValue("DIMMING_CURVE", "Bright"), 0u);
        QCOMPARE(m_mapper.toRawValue("NO_SUCH", "42"), 42u);
        QCOMPARE(m_mapper.toRawValue("DMX_ADDRESS", "x"), 0u);
    }

    void lookupsByName()
    {
        QCOMPARE(m_mapper.stringName("DIMMING_CURVE"), QString("Dimming Curve"));
        QCOMPARE(m_mapper.stringName("NO_SUCH"), QString("Unsupported Token: NO_SUCH"));
        QCOMPARE(m_mapper.stringName("RUNTIME"), QString("Runtime Replaced"));
        QVERIFY(!m_mapper.containsToken("") && !m_mapper.containsName("No Token"));
        QVERIFY(!m_mapper.containsName("Empty Token"));
        // The replaced entry stays reachable by its display name.
        QCOMPARE(m_mapper.entriesByName("Runtime"), QStringList{"RUNTIME"});
        QCOMPARE(m_mapper.entriesByName("DMX Address"),
                 QStringList({"RDM_DMX_ADDRESS", "DMX_OFFSET", "DMX_ADDRESS"}));
        QCOMPARE(m_mapper.entriesByName("Nothing"), QStringList());

        QCOMPARE(m_mapper.tokenName("dmx address",
                                    {"NO_SUCH", "DIMMING_CURVE", "DMX_OFFSET", "DMX_ADDRESS"}),
                 QString("DMX_OFFSET"));
        QCOMPARE(m_mapper.tokenName("DMX Address", {"DIMMING_CURVE"}),
                 QString("Unsupported Property: DMX Address"));
    }

    void payloadSizes()
    {
        QCOMPARE(m_mapper.payloadSize("Current Node Count"), quint16(4));
        QCOMPARE(m_mapper.payloadSize("DMX Address"), quint16(2));
        QCOMPARE(m_mapper.payloadSize("One Bit"), quint16(0));
        QCOMPARE(m_mapper.payloadSize("Dimming Curve"), quint16(1));
        QCOMPARE(m_mapper.payloadSize("Nothing"), quint16(1));
    }

    void byNameConversions()
    {
        // The first-loaded entry (DMX_ADDRESS, 1..512) decides.
        QCOMPARE(m_mapper.toDisplayValueByName("DMX Address", "5"), QString("5"));
        QCOMPARE(m_mapper.toRawValueByName("DMX Address", "5"), QString("5"));
        QCOMPARE(m_mapper.toDisplayValueByName("Dimming Curve", "1"), QString("Normal"));
        QCOMPARE(m_mapper.toRawValueByName("Dimming Curve", "Square"), QString("Square"));
        QCOMPARE(m_mapper.toRawValueByName("Nothing", "x"), QString("x"));

        // Merged with the first-loaded entry winning where both name a value.
        const QMap<QString, QString> merged = m_mapper.valueMap("Dimming Curve");
        QCOMPARE(merged.value("Linear"), QString("0"));
        QCOMPARE(merged.value("Square"), QString("6"));
        QCOMPARE(merged.size(), 4);
        QVERIFY(m_mapper.valueMap("Nothing").isEmpty());
    }

    void badFiles()
    {
        PropertyMapper mapper;
        QVERIFY(!mapper.loadFile(m_files.path() + "/missing.json", 0));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^File \".*empty.json\" is empty or "
                                                            "improperly formatted$"));
        QVERIFY(!mapper.loadFile(m_files.write("empty.json", "{}"), 0));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("is empty or improperly formatted"));
        QVERIFY(!mapper.loadFile(m_files.write("garbage.json", "{\"PropertyMap\": ["), 0));
        QVERIFY(!mapper.loadFile(m_files.write("notarray.json", R"({"PropertyMap": {}})"), 0));
        QVERIFY(!mapper.loadFile(m_files.write("notokens.json", R"({"PropertyMap": [1, {}]})"), 0));
        QVERIFY(!mapper.containsName(QString()));
    }
};

QTEST_GUILESS_MAIN(TstPropertyMapper)
#include "tst_propertymapper.moc"
