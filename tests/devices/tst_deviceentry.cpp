#include "devices/deviceentry.h"
#include "devices/memorymapentry.h"
#include "jsonfixture.h"

#include <QTest>

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
};

QTEST_GUILESS_MAIN(TstDeviceEntry)
#include "tst_deviceentry.moc"
