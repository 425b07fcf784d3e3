#include "devices/propertyentry.h"
#include "devices/propertymapper.h"
#include "jsonfixture.h"

#include <QTest>

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

    void conversions_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("display");
        auto row = [](const char *tag, const char *token, const char *raw, const char *display) {
            QTest::newRow(tag) << QString(token) << QString(raw) << QString(display);
        };
        row("offset 0", "DMX_OFFSET", "0", "1");
        row("offset 511", "DMX_OFFSET", "511", "512");
        row("offset above range", "DMX_OFFSET", "512", "512");
        row("offset letters", "DMX_OFFSET", "abc", "1");
        row("curve", "DIMMING_CURVE", "2", "Tungsten");
        row("curve hex", "DIMMING_CURVE", "0x2", "Tungsten");
        row("curve unknown", "DIMMING_CURVE", "7", "7");
        row("address below range", "DMX_ADDRESS", "0", "0");
        row("serial max reads as 0", "SERIAL_NUMBER", "5", "5");
        row("none", "DEVICE_NAME", "Lobby", "Lobby");
        row("unknown token", "NO_SUCH", "9", "9");
        row("repeated token, later wins", "RUNTIME", "3", "3");
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

    void payloadSizes()
    {
        QCOMPARE(m_mapper.payloadSize("Current Node Count"), quint16(4));
        QCOMPARE(m_mapper.payloadSize("DMX Address"), quint16(2));
        QCOMPARE(m_mapper.payloadSize("One Bit"), quint16(0));
        QCOMPARE(m_mapper.payloadSize("Dimming Curve"), quint16(1));
        QCOMPARE(m_mapper.payloadSize("Nothing"), quint16(1));
    }
};

QTEST_GUILESS_MAIN(TstPropertyMapper)
#include "tst_propertymapper.moc"
