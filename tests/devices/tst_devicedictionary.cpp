#include "devices/devicedictionary.h"
#include "devices/deviceentry.h"
#include "jsonfixture.h"

#include <QSignalSpy>
#include <QTest>

// DM_TEST_SANITIZE
// Lookups of the device dictionary over a small hand-made catalogue.
class TstDeviceDictionary : public QObject
{
    Q_OBJECT
private:
    JsonFixture m_files;
    DeviceDictionary *m_dictionary = nullptr;

    static constexpr quint64 Uid = 0x5651A0000010ull;

private slots:
    void initTestCase()
    {
        m_files.write("wide.json", R"({"DeviceType": "FIXTURE", "DeviceName": "Wide",
            "SerialNumberRanges": [{"start": "00100000", "end": "001FFFFF"},
                                   {"start": "00400000", "end": "0040FFFF"}],
            "MemoryMap": [{"name": "DMX_OFFSET", "address": [64, 65]},
                          {"name": "DIMMING_CURVE", "address": 66, "defaultValue": 1}],
            "StaticValues": [{"name": "sftNumber", "value": 12}]})");
        m_files.write("narrow.json", R"({"DeviceType": "FIXTURE", "DeviceName": "Narrow",
            "SerialNumberRanges": [{"start": "00100000", "end": "0010FFFF"},
                                   {"start": "00080000", "end": "0008FFFF"}]})");
        m_files.write("supply.json", R"({"DeviceType": "PDS", "DeviceName": "Supply",
            "SerialNumberRanges": [{"start": "00000000", "end": "0000FFFF"}]})");
        m_files.write("cove.JSON", R"({"DeviceType": "RDM_FIXTURE", "DeviceName": "RDM Cove",
            "SerialNumberRanges": [
                {"start": "5651A0000000", "end": "5651A0FFFFFF", "productCode": "D.0038-P.0509-F.0001"}],
            "MemoryMap": [{"name": "RDM_DEVICE_INFO", "address": 96},
                          {"name": "RDM_DMX_ADDRESS", "address": 240, "defaultValue": 1}],
            "StaticValues": [{"name": "LED_CHEMISTRY", "value": 2}],
            "HueweaveProfiles": [{"ledChemistry": "RGBW", "profileId": 40,
                                  "inputModeMap": {"0": 22, "5": 23}}]})");
        m_files.write("dimmer.json", R"({"DeviceType": "RDM_FIXTURE", "DeviceName": "RDM Dimmer",
            "SerialNumberRanges": [
                {"start": "5651A0000000", "end": "5651A0FFFFFF", "productCode": "D.0041-P.0801-F.0001"}],
            "MemoryMap": [{"name": "RDM_DEVICE_INFO", "address": 96},
                          {"name": "QZR_CURVE", "address": 33024}],
            "HueweaveProfiles": [{"ledChemistry": "Single White", "profileId": 3,
                                  "inputModeMap": {"0": 0}}]})");
        m_files.write("graze.json", R"({"DeviceType": "RDM_FIXTURE", "DeviceName": "RDM Graze",
            "SerialNumberRanges": [
                {"start": "5651A0000000", "end": "5651A00000FF", "productCode": "D.00AB-P.0509-F.0004"}]})");
        m_files.write("notes.txt", "not a device");
        m_dictionary = new DeviceDictionary;
        m_dictionary->loadDeviceFiles(m_files.path());
    }

    void cleanupTestCase() { delete m_dictionary; }

    void loadsEveryJsonFile() { QCOMPARE(m_dictionary->entries().size(), 6); }

    void firstContainingRangeDecides()
    {
        // (00100000, 0010FFFF) orders before (00100000, 001FFFFF).
        QCOMPARE(m_dictionary->deviceName(0x00100005), QString("Narrow"));
        QCOMPARE(m_dictionary->deviceName(0x00110000), QString("Wide"));
        QCOMPARE(m_dictionary->deviceName(0x00400000), QString("Wide"));
        QCOMPARE(m_dictionary->deviceName(0x00300000), QString("Unknown Device"));
        QCOMPARE(m_dictionary->deviceType(0x00000000), DeviceType::PDS);
        QCOMPARE(m_dictionary->deviceType(0x00300000), DeviceType::UNKNOWN);
        QVERIFY(m_dictionary->isKnownSerial(0x0010FFFF));
        QVERIFY(!m_dictionary->isKnownSerial(0x00200000));
    }

    void productCodeLookups()
    {
        QCOMPARE(m_dictionary->deviceName(Uid), QString("Unknown Device"));
        QVERIFY(!m_dictionary->isKnownSerial(Uid));
        // The narrower range (same start, lower end) orders first.
        QCOMPARE(m_dictionary->deviceNames(Uid), QString("RDM Graze"));
        QCOMPARE(m_dictionary->deviceName(Uid, "d.0038-p.9999-f.0003"), QString("RDM Cove"));
        QCOMPARE(m_dictionary->deviceName(Uid, "D.0041"), QString("RDM Dimmer"));
        QCOMPARE(m_dictionary->deviceName(Uid, "D.00ab-P.0101-F.0000"), QString("RDM Graze"));
        QCOMPARE(m_dictionary->deviceName(0x5651A0001000ull, "D.00AB-P.0509-F.0004"),
                 QString("Unknown Device"));
        QCOMPARE(m_dictionary->deviceName(Uid, "D.0039-P.0509-F.0001"), QString("Unknown Device"));
        QVERIFY(m_dictionary->isKnownDevice(Uid, "D.0038"));
        QVERIFY(!m_dictionary->isKnownDevice(Uid, QString()));
        QVERIFY(m_dictionary->isKnownDevice(0x00100000, QString()));
        // An empty product code resolves by serial only.
        QCOMPARE(m_dictionary->deviceName(0x00100000, QString()), QString("Narrow"));
        QCOMPARE(m_dictionary->deviceName(0x00100000, "D.0038"), QString("Unknown Device"));

        QCOMPARE(m_dictionary->entriesByName(Uid).size(), 3);
        QCOMPARE(m_dictionary->entriesByName(0x5651A0001000ull).size(), 2);
        QVERIFY(m_dictionary->entryForSerialAndName(0x00100000, "D.0038") == nullptr);
        QCOMPARE(m_dictionary->deviceNames(0x00300000), QString("Unknown Device"));
    }

    void namesAndSerials()
    {
        QVERIFY(m_dictionary->serialMatchesName(Uid, "RDM Dimmer"));
        QVERIFY(!m_dictionary->serialMatchesName(Uid, "rdm dimmer"));
        QVERIFY(m_dictionary->serialMatchesName(0x00100000, "Narrow"));
        QVERIFY(!m_dictionary->serialMatchesName(0x00300000, "Narrow"));
        QCOMPARE(m_dictionary->deviceNameForLedChemistry(Uid, "Single White"),
                 QString("RDM Dimmer"));
        QCOMPARE(m_dictionary->deviceNameForLedChemistry(Uid, "RGB"), QString("Unknown Device"));
        QCOMPARE(m_dictionary->productCodeForName("rdm dimmer"), QString("D.0041-P.0801-F.0001"));
        QCOMPARE(m_dictionary->productCodeForName("Wide"), QString());
        QCOMPARE(m_dictionary->firstSerialForName("WIDE"), 0x00100000ull);
        QCOMPARE(m_dictionary->firstSerialForName("RDM Cove"), 0x5651A0000000ull);
        // A range starting at 0 falls through to the product-code table, which has none.
        QCOMPARE(m_dictionary->firstSerialForName("Supply"), 0ull);
        QCOMPARE(m_dictionary->firstSerialForName("Nobody"), 0ull);
        QCOMPARE(m_dictionary->rangeStartForSerial(0x00105000), 0x00100000ull);
        QCOMPARE(m_dictionary->rangeStartForSerial(Uid), 0x5651A0000000ull);
        QCOMPARE(m_dictionary->rangeStartForSerial(0x00300000), 0ull);
        QVERIFY(DeviceDictionary::isRdmFixtureType(5) && !DeviceDictionary::isRdmFixtureType(6));
        QVERIFY(DeviceDictionary::isXmxDeviceType(6) && !DeviceDictionary::isXmxDeviceType(5));
    }

    void modelLists()
    {
        // One start per distinct name, in range order: Narrow's lowest range comes first.
        QCOMPARE(m_dictionary->deviceNamesOfType(DeviceType::FIXTURE),
                 (QList<quint64>{0x00080000, 0x00100000}));
        QCOMPARE(m_dictionary->deviceNamesOfType(DeviceType::KEYPAD), QList<quint64>());
        QStringList all =
            m_dictionary->deviceNamesOfTypeByProductCode(DeviceType::RDM_FIXTURE, false);
        all.sort();
        QCOMPARE(all, QStringList({"RDM Cove", "RDM Dimmer", "RDM Graze"}));
        QStringList kept =
            m_dictionary->deviceNamesOfTypeByProductCode(DeviceType::RDM_FIXTURE, true);
        kept.sort();
        QCOMPARE(kept, QStringList({"RDM Cove", "RDM Graze"}));
    }

    void tokensAndAddresses()
    {
        QStringList tokens = m_dictionary->memoryMapTokens(0x00110000);
        tokens.sort();
        QCOMPARE(tokens, QStringList({"DIMMING_CURVE", "DMX_OFFSET"}));
        QVERIFY(m_dictionary->memoryMapTokens(Uid, QString()).isEmpty());
        QCOMPARE(m_dictionary->memoryMapTokens(Uid, "D.0041-P.0801-F.0001").size(), 2);
        QStringList union_ = m_dictionary->memoryMapTokensByName(Uid);
        union_.sort();
        QCOMPARE(union_, QStringList({"QZR_CURVE", "RDM_DEVICE_INFO", "RDM_DMX_ADDRESS"}));

        QVERIFY(m_dictionary->hasToken(Uid, "D.0038", "RDM_DMX_ADDRESS"));
        QVERIFY(!m_dictionary->hasToken(Uid, "D.0041", "RDM_DMX_ADDRESS"));
        QVERIFY(m_dictionary->hasToken(0x00110000, QString(), "DMX_OFFSET"));

        QCOMPARE(m_dictionary->tokenAddresses(0x00110000, "DMX_OFFSET"), (QList<quint16>{64, 65}));
        // The serial's own entry lacks it; a product-code entry has it.
        QCOMPARE(m_dictionary->tokenAddresses(Uid, "QZR_CURVE"), QList<quint16>{33024});
        QVERIFY(m_dictionary->tokenAddresses(0x00300000, "DMX_OFFSET").isEmpty());

        QCOMPARE(m_dictionary->tokenForName(0x00110000, 65), QString("DMX_OFFSET"));
        QCOMPARE(m_dictionary->tokenForName(Uid, 240), QString("RDM_DMX_ADDRESS"));
        QCOMPARE(m_dictionary->tokenForName(0x00110000, 99), QString("Unknown Token"));
        QCOMPARE(m_dictionary->tokenForName(0x00100000, 65), QString("Unknown Token"));

        QCOMPARE(m_dictionary->tokenDefaultValue(0x00110000, QString(), "DIMMING_CURVE"),
                 quint16(1));
        QVERIFY(m_dictionary->tokenHasDefaultValue(Uid, "D.0038", "RDM_DMX_ADDRESS"));
        QVERIFY(!m_dictionary->tokenHasDefaultValue(Uid, "D.0038", "RDM_DEVICE_INFO"));
        QCOMPARE(m_dictionary->tokenDefaultValue(Uid, "D.9999", "RDM_DMX_ADDRESS"), quint16(0));
    }

    void staticValuesAndProfiles()
    {
        QCOMPARE(m_dictionary->staticValue("sftNumber", 0x00110000), quint16(12));
        QCOMPARE(m_dictionary->staticValue("sftNumber", 0x00110000, QString()), quint16(12));
        QCOMPARE(m_dictionary->staticValue("sftNumber", 0x00100000), quint16(0));
        QVERIFY(m_dictionary->hasStaticValue("sftNumber", 0x00110000));
        QVERIFY(!m_dictionary->hasStaticValue("LED_CHEMISTRY", Uid));
        QVERIFY(m_dictionary->hasStaticValue("LED_CHEMISTRY", Uid, "D.0038"));
        QCOMPARE(m_dictionary->staticValue("LED_CHEMISTRY", Uid, "D.0038"), quint16(2));
        QCOMPARE(m_dictionary->staticValueNames(0x00110000), QStringList{"sftNumber"});
        QCOMPARE(m_dictionary->staticValueNames(Uid, "D.0038"), QStringList{"LED_CHEMISTRY"});
        QVERIFY(m_dictionary->staticValueNames(Uid).isEmpty());

        QCOMPARE(m_dictionary->hueweaveLedChemistries(Uid, "D.0038"), QStringList{"RGBW"});
        QCOMPARE(m_dictionary->hueweaveProfileId(Uid, "D.0038", "RGBW"), 40);
        QCOMPARE(m_dictionary->hueweaveProfileId(Uid, "D.0038", "RGB"), 0);
        QCOMPARE(m_dictionary->hueweaveIoMode(Uid, "D.0038", "RGBW", 5), 23);
        QCOMPARE(m_dictionary->hueweaveIoMode(Uid, "RGBW", 5), 0); // not known by serial alone
        QCOMPARE(m_dictionary->hueweaveIoMode(0x00110000, "RGBW", 0), 0);
    }

    void duplicateRangeLaterFileWins()
    {
        JsonFixture files;
        files.write("a.json", R"({"DeviceName": "First",
            "SerialNumberRanges": [{"start": "00000010", "end": "00000020"}]})");
        DeviceDictionary dictionary;
        dictionary.loadDeviceFiles(files.path());
        JsonFixture second;
        second.write("b.json", R"({"DeviceName": "Second",
            "SerialNumberRanges": [{"start": "00000010", "end": "00000020"}]})");
        QTest::ignoreMessage(QtDebugMsg, "DeviceDictionary - Duplicated sn range std::pair(16,32) "
                                         "\"First\" is duplicated by \"Second\"");
        dictionary.loadDeviceFiles(second.path());
        QCOMPARE(dictionary.deviceName(0x18), QString("Second"));
    }

    void destroyingFreesEachEntryOnce()
    {
        // A model with several ranges of both kinds is referenced many times by the tables;
        // it must still be destroyed exactly once.
        JsonFixture files;
        files.write("many.json", R"({"DeviceName": "Many",
            "SerialNumberRanges": [{"start": "00000010", "end": "00000020"},
                                   {"start": "00000030", "end": "00000040"},
                                   {"start": "5651A0000000", "end": "5651A0FFFFFF", "productCode": "D.0001"},
                                   {"start": "5651B0000000", "end": "5651B0FFFFFF", "productCode": "D.0001"}]})");
        files.write("dup.json", R"({"DeviceName": "Dup",
            "SerialNumberRanges": [{"start": "00000010", "end": "00000020"}]})");
        auto *dictionary = new DeviceDictionary;
        dictionary->loadDeviceFiles(files.path());
        const QList<const DeviceEntry *> entries = dictionary->entries();
        QCOMPARE(entries.size(), 2);
        int destroyed = 0;
        for (const DeviceEntry *entry : entries)
            connect(entry, &QObject::destroyed, this, [&destroyed] { ++destroyed; });
        delete dictionary;
        QCOMPARE(destroyed, 2);
    }
};

QTEST_GUILESS_MAIN(TstDeviceDictionary)
#include "tst_devicedictionary.moc"
