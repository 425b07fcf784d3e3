#ifndef DEVICEDICTIONARY_H
#define DEVICEDICTIONARY_H

#include "devicetype.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <tuple>
#include <vector>

class DeviceEntry;

// Device knowledge by serial number (and, for RDM devices, product code), built once from
// the device definition files. Every answer is a copy with a fixed value on a miss.
class DeviceDictionary : public QObject
{
    Q_OBJECT
public:
    DeviceDictionary();
    ~DeviceDictionary() override;

    // Created and loaded from ":/DeviceConfigFiles" on first call, never freed.
    static DeviceDictionary *instance();

    void loadDeviceFiles(const QString &folder);

    // Borrowed; null on a miss.
    const DeviceEntry *entryForSerial(quint64 serial) const;
    const DeviceEntry *entryForSerialAndName(quint64 serial, const QString &productCode) const;
    QList<const DeviceEntry *> entriesByName(quint64 serial) const;
    // Every entry loaded, in load order.
    QList<const DeviceEntry *> entries() const;

    bool isKnownSerial(quint64 serial) const;
    bool isKnownDevice(quint64 serial, const QString &productCode) const;
    QString deviceName(quint64 serial) const;
    QString deviceName(quint64 serial, const QString &productCode) const;
    QString deviceNames(quint64 serial) const;
    DeviceType::Value deviceType(quint64 serial) const;
    static bool isRdmFixtureType(int type);
    static bool isXmxDeviceType(int type);
    bool serialMatchesName(quint64 serial, const QString &name) const;
    QString deviceNameForLedChemistry(quint64 serial, const QString &ledChemistry) const;
    QString productCodeForName(const QString &name) const;
    quint64 firstSerialForName(const QString &name) const;
    quint64 rangeStartForSerial(quint64 serial) const;
    QList<quint64> deviceNamesOfType(int type) const;
    QStringList deviceNamesOfTypeByProductCode(int type, bool excludeP0801) const;

    QStringList memoryMapTokens(quint64 serial) const;
    QStringList memoryMapTokens(quint64 serial, const QString &productCode) const;
    QStringList memoryMapTokensByName(quint64 serial) const;
    bool hasToken(quint64 serial, const QString &productCode, const QString &token) const;
    QList<quint16> tokenAddresses(quint64 serial, const QString &token) const;
    QString tokenForName(quint64 serial, quint16 address) const;
    quint16 tokenDefaultValue(quint64 serial, const QString &productCode,
                              const QString &token) const;
    bool tokenHasDefaultValue(quint64 serial, const QString &productCode,
                              const QString &token) const;

    QStringList staticValueNames(quint64 serial) const;
    QStringList staticValueNames(quint64 serial, const QString &productCode) const;
    quint16 staticValue(const QString &name, quint64 serial) const;
    quint16 staticValue(const QString &name, quint64 serial, const QString &productCode) const;
    bool hasStaticValue(const QString &name, quint64 serial) const;
    bool hasStaticValue(const QString &name, quint64 serial, const QString &productCode) const;

    QStringList hueweaveLedChemistries(quint64 serial, const QString &productCode) const;
    int hueweaveProfileId(quint64 serial, const QString &productCode,
                          const QString &ledChemistry) const;
    int hueweaveIoMode(quint64 serial, const QString &ledChemistry, int inputMode) const;
    int hueweaveIoMode(quint64 serial, const QString &productCode, const QString &ledChemistry,
                       int inputMode) const;

private:
    using RangeKey = QPair<quint64, quint64>;
    using ProductCodeKey = std::tuple<quint64, quint64, QString>;

    // An empty product code resolves by serial, any other by serial and product code.
    const DeviceEntry *resolve(quint64 serial, const QString &productCode) const;
    void addEntry(std::unique_ptr<DeviceEntry> entry);

    // The dictionary owns each entry exactly once here; the tables only refer to them,
    // and one entry may appear under many ranges.
    std::vector<std::unique_ptr<DeviceEntry>> m_entries;
    QMap<RangeKey, QPointer<DeviceEntry>> m_ranges;
    QMap<ProductCodeKey, QPointer<DeviceEntry>> m_productCodeRanges;
};

#endif // DEVICEDICTIONARY_H
