#include "devices/devicedictionary.h"
#include "devices/deviceentry.h"
#include "jsonfixture.h"

#include <QSignalSpy>
#include <QTest>

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

    void rangeEndsBelongToTheirModel_data()
    {
        QTest::addColumn<quint64>("serial");
        QTest::addColumn<QString>("productCode");
        QTest::addColumn<QString>("model");
        QTest::newRow("first of a range") << quint64(0x00080000) << QString() << "Narrow";
        QTest::newRow("last of a range") << quint64(0x0008FFFF) << QString() << "Narrow";
        QTest::newRow("last of a second range") << quint64(0x0040FFFF) << QString() << "Wide";
        QTest::newRow("one past it") << quint64(0x00410000) << QString() << "Unknown Device";
        QTest::newRow("last of a product code range")
            << quint64(0x5651A0FFFFFF) << QString("D.0041") << "RDM Dimmer";
        QTest::newRow("one past that")
            << quint64(0x5651A1000000) << QString("D.0041") << "Unknown Device";
    }

    void rangeEndsBelongToTheirModel()
    {
        QFETCH(quint64, serial);
        QFETCH(QString, productCode);
        QTEST(productCode.isEmpty() ? m_dictionary->deviceName(serial)
                                    : m_dictionary->deviceName(serial, productCode),
              "model");
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
        // A light names its model from its serial and LED chemistry.
        QCOMPARE(m_dictionary->deviceNameForLedChemistry(Uid, "Single White"),
                 QString("RDM Dimmer"));
    }
};

QTEST_GUILESS_MAIN(TstDeviceDictionary)
#include "tst_devicedictionary.moc"
