#include "devices/deviceentry.h"
#include "devices/memorymapentry.h"
#include "jsonfixture.h"

#include <QTest>

// DM_TEST_SANITIZE
// Parsing rules of one device definition file and its memory-map records.
class TstDeviceEntry : public QObject
{
    Q_OBJECT
private:
    JsonFixture m_files;

    QString full()
    {
        return m_files.write("full.json", R"({
            "DeviceType": "fixture",
            "DeviceName": "Test Cove",
            "SerialNumberRanges": [
                {"start": "70120000", "end": "7013FFFF"},
                {"start": "5651A0000000", "end": "5651A0FFFFFF", "productCode": "D.0038-P.0509-F.0001"},
                {"start": "00000010"},
                {"start": "zz", "end": "00000020"}
            ],
            "MemoryMap": [
                {"name": "DMX_OFFSET", "address": 28, "defaultValue": 70000},
                {"name": "FIRMWARE_VERSION", "readAddress": 22, "writeAddress": 16, "userConfigurable": true},
                {"name": "SERIAL_NUMBER", "address": 0},
                {"name": "CHANNEL_MAP_1", "address": [0, 5]},
                {"name": "LED_CHEMISTRY", "address": 9, "category": "settings", "access": 666,
                 "values": [{"name": "RGB", "value": 0}]},
                {"name": "LED_CHEMISTRY", "address": 10}
            ],
            "FileVerification": [
                {"Verified": false, "Verified By": "First"},
                {"Verified": true, "Verified By": "Second", "Verified Date": "2024-01-02"}
            ],
            "StaticValues": [
                {"name": "sftLocation", "value": "0x7F84"},
                {"name": "LED_CHEMISTRY", "value": 6},
                {"Name": "sftWordSize", "VALUE": "12"},
                {"name": "wide", "value": "0x12345"},
                {"name": "wider", "value": "0x123456789"}
            ],
            "DiscoverPort": "6100",
            "HueweaveProfiles": [
                {"ledChemistry": "RGBA", "profileId": 40, "inputModeMap": {"0": 1, "5": 12}},
                {"ledChemistry": "RGB", "profileId": 3},
                {"ledChemistry": "RGBW", "profileId": 7, "inputModeMap": {"0": 2}},
                {"ledChemistry": "RGBW", "profileId": 8, "inputModeMap": {"1": 4}}
            ],
            "BootloaderInfo": {"BLRev": "3", "PageSize": 1024, "Other": "x"},
            "Firmware": {"Number": "SFT-1", "WordCount": 16384},
            "SFTNumbers": [1, 2]
        })");
    }

private slots:
    void readsTypeNameAndRanges()
    {
        const DeviceEntry entry(full());
        QCOMPARE(entry.deviceType(), DeviceType::FIXTURE);
        QCOMPARE(entry.deviceName(), QString("Test Cove"));
        QCOMPARE(entry.serialNumberRanges(),
                 (QList<SerialRange>{{0x70120000, 0x7013FFFF}, {0, 0x20}}));
        QCOMPARE(entry.productCodeRanges().size(), 1);
        QCOMPARE(entry.productCodeRanges().first().start, 0x5651A0000000ull);
        QCOMPARE(entry.productCodeRanges().first().end, 0x5651A0FFFFFFull);
        QCOMPARE(entry.productCodeRanges().first().productCode, QString("D.0038-P.0509-F.0001"));
    }

    void deviceTypes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("type");
        QTest::newRow("pds") << "PDS" << 1;
        QTest::newRow("mixed case") << "Rdm_Pds" << 7;
        QTest::newRow("xmx") << "xmx_device" << 6;
        QTest::newRow("other") << "OTHER" << 9;
        QTest::newRow("unknown text") << "LAMP" << 0;
    }

    void deviceTypes()
    {
        QFETCH(QString, text);
        QFETCH(int, type);
        const DeviceEntry entry(
            m_files.write("type.json", QJsonObject{{"DeviceType", text}, {"DeviceName", "T"}}));
        QCOMPARE(int(entry.deviceType()), type);
    }

    void readsMemoryMap()
    {
        const DeviceEntry entry(full());
        const MemoryMapEntry *offset = entry.findMemoryMapEntry("DMX_OFFSET");
        QVERIFY(offset);
        QCOMPARE(offset->readAddresses(), QList<quint16>{28});
        QCOMPARE(offset->writeAddresses(), QList<quint16>{28});
        QVERIFY(offset->sharedAddress());
        QVERIFY(offset->hasDefaultValue());
        QCOMPARE(entry.tokenDefaultValue("DMX_OFFSET"), quint16(70000 & 0xFFFF));

        const MemoryMapEntry *firmware = entry.findMemoryMapEntry("FIRMWARE_VERSION");
        QCOMPARE(firmware->readAddresses(), QList<quint16>{22});
        QCOMPARE(firmware->writeAddresses(), QList<quint16>{16});
        QVERIFY(!firmware->sharedAddress());
        QVERIFY(firmware->userConfigurable() && !firmware->readOnly());
        QVERIFY(!entry.tokenHasDefaultValue("FIRMWARE_VERSION"));

        QVERIFY(entry.tokenAddresses("SERIAL_NUMBER").isEmpty());
        QCOMPARE(entry.tokenAddresses("CHANNEL_MAP_1"), (QList<quint16>{0, 5}));
        // A later record of the same token replaces the earlier one.
        QCOMPARE(entry.tokenAddresses("LED_CHEMISTRY"), QList<quint16>{10});
        QVERIFY(entry.findMemoryMapEntry("LED_CHEMISTRY")->values().isEmpty());

        QVERIFY(entry.tokenAddresses("NO_SUCH").isEmpty());
        QCOMPARE(entry.tokenDefaultValue("NO_SUCH"), quint16(0));
        QVERIFY(!entry.hasMemoryMapEntry("dmx_offset"));
        QStringList tokens = entry.memoryMapTokens();
        tokens.sort();
        QCOMPARE(tokens, QStringList({"CHANNEL_MAP_1", "DMX_OFFSET", "FIRMWARE_VERSION",
                                      "LED_CHEMISTRY", "SERIAL_NUMBER"}));
    }

    void memoryMapRecordFields()
    {
        const MemoryMapEntry record(jsonObject(R"({"name": "LED_CHEMISTRY", "address": 9,
            "category": "settings", "access": 666, "readOnly": true,
            "values": [{"name": "RGB", "value": 0}, {"name": "RGBW", "value": 2}]})"));
        QCOMPARE(record.category(), QStringList{"settings"});
        QCOMPARE(record.access(), 666);
        QVERIFY(record.readOnly());
        QCOMPARE(record.valueType(), QString("List"));
        QCOMPARE(record.values().value("RGBW"), QString("2"));

        QTest::ignoreMessage(QtDebugMsg, "Json file missing read/write addresses or is invalid");
        const MemoryMapEntry readOnly(jsonObject(R"({"name": "X", "readAddress": 4})"));
        QVERIFY(readOnly.readAddresses().isEmpty() && readOnly.writeAddresses().isEmpty());

        QTest::ignoreMessage(QtDebugMsg, "Json file missing read/write addresses or is invalid");
        const MemoryMapEntry nameless(QJsonObject{});
        QCOMPARE(nameless.name(), QString("UNKNOWN_TOKEN_NAME"));
        QCOMPARE(nameless.access(), -1);
        QCOMPARE(nameless.valueType(), QString());
    }

    void readsStaticValues()
    {
        const DeviceEntry entry(full());
        QCOMPARE(entry.staticValue("sftLocation"), quint16(0x7F84));
        QCOMPARE(entry.staticValue("LED_CHEMISTRY"), quint16(6));
        QVERIFY(entry.hasStaticValue("sftWordSize"));
        QCOMPARE(entry.staticValue("sftWordSize"), quint16(0));
        QCOMPARE(entry.staticValue("wide"), quint16(0x2345));
        // Wider than 32 bits still keeps its low 16 bits.
        QCOMPARE(entry.staticValue("wider"), quint16(0x6789));
        QVERIFY(!entry.hasStaticValue("sftlocation"));
        QCOMPARE(entry.staticValue("absent"), quint16(0));
        QCOMPARE(entry.staticValueNames().size(), 5);
    }

    void readsHueweaveProfiles()
    {
        const DeviceEntry entry(full());
        QCOMPARE(entry.hueweaveProfileId("RGBA"), 40);
        QCOMPARE(entry.hueweaveIoMode("RGBA", 0), 1);
        QCOMPARE(entry.hueweaveIoMode("RGBA", 5), 12);
        QCOMPARE(entry.hueweaveIoMode("RGBA", 3), 0);
        QCOMPARE(entry.hueweaveProfileId("RGB"), 0); // incomplete profile skipped
        QCOMPARE(entry.hueweaveProfileId("RGBW"), 8);
        QCOMPARE(entry.hueweaveIoMode("RGBW", 0), 0);
        QCOMPARE(entry.hueweaveIoMode("RGBW", 1), 4);
        QStringList chemistries = entry.hueweaveLedChemistries();
        chemistries.sort();
        QCOMPARE(chemistries, QStringList({"RGBA", "RGBW"}));
    }

    void readsTheRest()
    {
        const DeviceEntry entry(full());
        QCOMPARE(entry.discoverPort(), quint16(6100));
        QVERIFY(entry.fileVerification().verified());
        QCOMPARE(entry.fileVerification().verifiedBy(), QString("Second"));
        QCOMPARE(entry.fileVerification().verifiedDate(), QString("2024-01-02"));
        QCOMPARE(entry.bootloaderInfo(),
                 (QMap<QString, QString>{{"BLRev", "3"}, {"PageSize", "1024"}}));
        QCOMPARE(entry.firmwareInfo(),
                 (QMap<QString, QString>{{"Number", "SFT-1"}, {"WordCount", "16384"}}));

        const DeviceEntry numeric(m_files.write("port.json", R"({"DiscoverPort": 6100})"));
        QCOMPARE(numeric.discoverPort(), quint16(6038));
        const DeviceEntry bad(m_files.write("port2.json", R"({"DiscoverPort": "70000"})"));
        QCOMPARE(bad.discoverPort(), quint16(6038));
    }

    void defaultsAndBadFiles()
    {
        const DeviceEntry empty;
        QCOMPARE(empty.deviceType(), DeviceType::UNKNOWN);
        QCOMPARE(empty.discoverPort(), quint16(6038));
        QVERIFY(!empty.fileVerification().verified());
        QCOMPARE(empty.fileVerification().verifiedBy(), QString("Not Verified"));
        QCOMPARE(empty.fileVerification().verifiedDate(), QString("Not Verified"));

        DeviceEntry missing;
        QVERIFY(!missing.load(m_files.path() + "/missing.json"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^File \".*broken.json\" is empty or "
                                                            "improperly formatted$"));
        DeviceEntry broken;
        QVERIFY(!broken.load(m_files.write("broken.json", "[1, 2")));
        QVERIFY(broken.serialNumberRanges().isEmpty() && broken.deviceName().isEmpty());

        // Without "Firmware" the load still succeeds.
        DeviceEntry minimal;
        QVERIFY(minimal.load(m_files.write("minimal.json", R"({"DeviceName": 5})")));
        QCOMPARE(minimal.deviceName(), QString());
    }
};

QTEST_GUILESS_MAIN(TstDeviceEntry)
#include "tst_deviceentry.moc"
