#include "devicedictionary.h"

#include "deviceentry.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QSet>

namespace {
// Only "D." and the model id take part: category and footprint vary between firmware.
bool sameModel(const QString &productCode, const QString &other)
{
    return productCode.left(6).compare(other.left(6), Qt::CaseInsensitive) == 0;
}

QString nameOf(const DeviceEntry *entry)
{
    return entry ? entry->deviceName() : QString();
}
} // namespace

DeviceDictionary::DeviceDictionary() = default;

// m_entries owns each entry once, however many ranges refer to it.
DeviceDictionary::~DeviceDictionary() = default;

DeviceDictionary *DeviceDictionary::instance()
{
    static DeviceDictionary *dictionary = [] {
        auto *created = new DeviceDictionary;
        created->loadDeviceFiles(QStringLiteral(":/DeviceConfigFiles"));
        return created;
    }();
    return dictionary;
}

void DeviceDictionary::loadDeviceFiles(const QString &folder)
{
    QDirIterator it(folder, {QStringLiteral("*.json")}, QDir::Files);
    while (it.hasNext())
        addEntry(std::make_unique<DeviceEntry>(it.next()));
}

void DeviceDictionary::addEntry(std::unique_ptr<DeviceEntry> entry)
{
    DeviceEntry *added = entry.get();
    m_entries.push_back(std::move(entry));
    for (const SerialRange &range : added->serialNumberRanges()) {
        const auto existing = m_ranges.constFind(range);
        if (existing != m_ranges.constEnd()) {
            const QByteArray pair =
                QStringLiteral("std::pair(%1,%2)").arg(range.first).arg(range.second).toLatin1();
            qDebug() << "DeviceDictionary - Duplicated sn range" << pair.constData()
                     << nameOf(existing.value()) << "is duplicated by" << added->deviceName();
        }
        m_ranges.insert(range, added);
    }
    for (const ProductCodeRange &range : added->productCodeRanges())
        m_productCodeRanges.insert(ProductCodeKey(range.start, range.end, range.productCode),
                                   added);
}

const DeviceEntry *DeviceDictionary::entryForSerial(quint64 serial) const
{
    // The first containing range decides, even when its entry is gone.
    for (auto it = m_ranges.cbegin(); it != m_ranges.cend(); ++it) {
        if (it.key().first <= serial && serial <= it.key().second)
            return it.value();
    }
    return nullptr;
}

const DeviceEntry *DeviceDictionary::entryForSerialAndName(quint64 serial,
                                                           const QString &productCode) const
{
    for (auto it = m_productCodeRanges.cbegin(); it != m_productCodeRanges.cend(); ++it) {
        const auto &[start, end, code] = it.key();
        if (start <= serial && serial <= end && sameModel(code, productCode))
            return it.value();
    }
    return nullptr;
}

QList<const DeviceEntry *> DeviceDictionary::entriesByName(quint64 serial) const
{
    QList<const DeviceEntry *> found;
    for (auto it = m_productCodeRanges.cbegin(); it != m_productCodeRanges.cend(); ++it) {
        if (std::get<0>(it.key()) <= serial && serial <= std::get<1>(it.key()))
            found.append(it.value());
    }
    return found;
}

QList<const DeviceEntry *> DeviceDictionary::entries() const
{
    QList<const DeviceEntry *> all;
    for (const auto &entry : m_entries)
        all.append(entry.get());
    return all;
}

const DeviceEntry *DeviceDictionary::resolve(quint64 serial, const QString &productCode) const
{
    return productCode.isEmpty() ? entryForSerial(serial)
                                 : entryForSerialAndName(serial, productCode);
}

bool DeviceDictionary::isKnownSerial(quint64 serial) const
{
    return entryForSerial(serial) != nullptr;
}

bool DeviceDictionary::isKnownDevice(quint64 serial, const QString &productCode) const
{
    return resolve(serial, productCode) != nullptr;
}

QString DeviceDictionary::deviceName(quint64 serial) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    return entry ? entry->deviceName() : QStringLiteral("Unknown Device");
}

QString DeviceDictionary::deviceName(quint64 serial, const QString &productCode) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry ? entry->deviceName() : QStringLiteral("Unknown Device");
}

QString DeviceDictionary::deviceNames(quint64 serial) const
{
    if (const DeviceEntry *entry = entryForSerial(serial))
        return entry->deviceName();
    for (const DeviceEntry *entry : entriesByName(serial)) {
        if (entry)
            return entry->deviceName();
    }
    return QStringLiteral("Unknown Device");
}

DeviceType::Value DeviceDictionary::deviceType(quint64 serial) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    return entry ? entry->deviceType() : DeviceType::UNKNOWN;
}

bool DeviceDictionary::isRdmFixtureType(int type)
{
    return type == DeviceType::RDM_FIXTURE;
}

bool DeviceDictionary::isXmxDeviceType(int type)
{
    return type == DeviceType::XMX_DEVICE;
}

bool DeviceDictionary::serialMatchesName(quint64 serial, const QString &name) const
{
    for (const DeviceEntry *entry : entriesByName(serial)) {
        if (entry && entry->deviceName() == name)
            return true;
    }
    const DeviceEntry *entry = entryForSerial(serial);
    return entry && entry->deviceName() == name;
}

QString DeviceDictionary::deviceNameForLedChemistry(quint64 serial,
                                                    const QString &ledChemistry) const
{
    for (const DeviceEntry *entry : entriesByName(serial)) {
        if (entry && entry->hueweaveLedChemistries().contains(ledChemistry))
            return entry->deviceName();
    }
    return QStringLiteral("Unknown Device");
}

QString DeviceDictionary::productCodeForName(const QString &name) const
{
    for (auto it = m_productCodeRanges.cbegin(); it != m_productCodeRanges.cend(); ++it) {
        if (it.value() && it.value()->deviceName().compare(name, Qt::CaseInsensitive) == 0)
            return std::get<2>(it.key());
    }
    return QString();
}

quint64 DeviceDictionary::firstSerialForName(const QString &name) const
{
    for (auto it = m_ranges.cbegin(); it != m_ranges.cend(); ++it) {
        if (it.value() && it.value()->deviceName().compare(name, Qt::CaseInsensitive) == 0) {
            if (it.key().first != 0)
                return it.key().first;
            break;
        }
    }
    for (auto it = m_productCodeRanges.cbegin(); it != m_productCodeRanges.cend(); ++it) {
        if (it.value() && it.value()->deviceName().compare(name, Qt::CaseInsensitive) == 0)
            return std::get<0>(it.key());
    }
    return 0;
}

quint64 DeviceDictionary::rangeStartForSerial(quint64 serial) const
{
    for (auto it = m_ranges.cbegin(); it != m_ranges.cend(); ++it) {
        if (it.key().first <= serial && serial <= it.key().second) {
            if (it.key().first != 0)
                return it.key().first;
            break;
        }
    }
    for (auto it = m_productCodeRanges.cbegin(); it != m_productCodeRanges.cend(); ++it) {
        if (std::get<0>(it.key()) <= serial && serial <= std::get<1>(it.key()))
            return std::get<0>(it.key());
    }
    return 0;
}

QList<quint64> DeviceDictionary::deviceNamesOfType(int type) const
{
    QList<quint64> serials;
    QSet<QString> seen;
    for (auto it = m_ranges.cbegin(); it != m_ranges.cend(); ++it) {
        const DeviceEntry *entry = it.value();
        if (!entry || entry->deviceType() != type || seen.contains(entry->deviceName()))
            continue;
        seen.insert(entry->deviceName());
        serials.append(it.key().first);
    }
    return serials;
}

QStringList DeviceDictionary::deviceNamesOfTypeByProductCode(int type, bool excludeP0801) const
{
    QSet<QString> names;
    for (auto it = m_productCodeRanges.cbegin(); it != m_productCodeRanges.cend(); ++it) {
        const DeviceEntry *entry = it.value();
        if (!entry || entry->deviceType() != type || names.contains(entry->deviceName()))
            continue;
        if (excludeP0801 &&
            productCodeForName(entry->deviceName()).contains(QLatin1String("P.0801")))
            continue;
        names.insert(entry->deviceName());
    }
    return QStringList(names.cbegin(), names.cend());
}

QStringList DeviceDictionary::memoryMapTokens(quint64 serial) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    return entry ? entry->memoryMapTokens() : QStringList();
}

QStringList DeviceDictionary::memoryMapTokens(quint64 serial, const QString &productCode) const
{
    const DeviceEntry *entry = entryForSerialAndName(serial, productCode);
    return entry ? entry->memoryMapTokens() : QStringList();
}

QStringList DeviceDictionary::memoryMapTokensByName(quint64 serial) const
{
    QStringList tokens;
    for (const DeviceEntry *entry : entriesByName(serial)) {
        if (!entry)
            continue;
        for (const QString &token : entry->memoryMapTokens()) {
            if (!tokens.contains(token))
                tokens.append(token);
        }
    }
    return tokens;
}

bool DeviceDictionary::hasToken(quint64 serial, const QString &productCode,
                                const QString &token) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry && entry->hasMemoryMapEntry(token);
}

QList<quint16> DeviceDictionary::tokenAddresses(quint64 serial, const QString &token) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    QList<quint16> addresses = entry ? entry->tokenAddresses(token) : QList<quint16>();
    if (!addresses.isEmpty())
        return addresses;
    for (const DeviceEntry *candidate : entriesByName(serial)) {
        if (candidate && !(addresses = candidate->tokenAddresses(token)).isEmpty())
            return addresses;
    }
    return {};
}

QString DeviceDictionary::tokenForName(quint64 serial, quint16 address) const
{
    const QStringList tokens = memoryMapTokens(serial) + memoryMapTokensByName(serial);
    for (const QString &token : tokens) {
        if (tokenAddresses(serial, token).contains(address))
            return token;
    }
    return QStringLiteral("Unknown Token");
}

quint16 DeviceDictionary::tokenDefaultValue(quint64 serial, const QString &productCode,
                                            const QString &token) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry ? entry->tokenDefaultValue(token) : 0;
}

bool DeviceDictionary::tokenHasDefaultValue(quint64 serial, const QString &productCode,
                                            const QString &token) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry && entry->tokenHasDefaultValue(token);
}

QStringList DeviceDictionary::staticValueNames(quint64 serial) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    return entry ? entry->staticValueNames() : QStringList();
}

QStringList DeviceDictionary::staticValueNames(quint64 serial, const QString &productCode) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry ? entry->staticValueNames() : QStringList();
}

quint16 DeviceDictionary::staticValue(const QString &name, quint64 serial) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    return entry ? entry->staticValue(name) : 0;
}

quint16 DeviceDictionary::staticValue(const QString &name, quint64 serial,
                                      const QString &productCode) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry ? entry->staticValue(name) : 0;
}

bool DeviceDictionary::hasStaticValue(const QString &name, quint64 serial) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    return entry && entry->hasStaticValue(name);
}

bool DeviceDictionary::hasStaticValue(const QString &name, quint64 serial,
                                      const QString &productCode) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry && entry->hasStaticValue(name);
}

QStringList DeviceDictionary::hueweaveLedChemistries(quint64 serial,
                                                     const QString &productCode) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry ? entry->hueweaveLedChemistries() : QStringList();
}

int DeviceDictionary::hueweaveProfileId(quint64 serial, const QString &productCode,
                                        const QString &ledChemistry) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry ? entry->hueweaveProfileId(ledChemistry) : 0;
}

int DeviceDictionary::hueweaveIoMode(quint64 serial, const QString &ledChemistry,
                                     int inputMode) const
{
    const DeviceEntry *entry = entryForSerial(serial);
    return entry ? entry->hueweaveIoMode(ledChemistry, inputMode) : 0;
}

int DeviceDictionary::hueweaveIoMode(quint64 serial, const QString &productCode,
                                     const QString &ledChemistry, int inputMode) const
{
    const DeviceEntry *entry = resolve(serial, productCode);
    return entry ? entry->hueweaveIoMode(ledChemistry, inputMode) : 0;
}
