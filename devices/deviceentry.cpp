#include "deviceentry.h"

#include "jsonreading.h"
#include "memorymapentry.h"

#include <QJsonArray>

namespace {
const char *const bootloaderKeys[] = {
    "BLRev",      "ProcName",   "Heirarchy", "FileType",  "PageSize", "WordSize",
    "WordCount",  "VerLoc",     "MagicLoc",  "MagicFlag", "BLID",     "FirmwareMajorVersion",
    "BL3_SFTLoc", "BL3_SFTVal", "BL3_RevLoc"};
const char *const firmwareKeys[] = {"Number",
                                    "Location",
                                    "VersionLocation",
                                    "WordSize",
                                    "WordCount",
                                    "PageSize",
                                    "FirmwareMajorVersion",
                                    "MagicLocation",
                                    "MagicFlag",
                                    "UpdateType",
                                    "FileType"};

template <size_t N>
void readDescription(const QJsonObject &object, const char *const (&keys)[N],
                     QMap<QString, QString> &target)
{
    for (const char *key : keys) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        target.insert(QLatin1String(key),
                      value.isString() ? value.toString() : QString::number(jsonInt32(value)));
    }
}
} // namespace

DeviceEntry::DeviceEntry() = default;

DeviceEntry::DeviceEntry(const QString &path) : m_filePath(path)
{
    load(path);
}

DeviceEntry::~DeviceEntry() = default;

bool DeviceEntry::load(const QString &path)
{
    QJsonObject root;
    if (!readNonEmptyJsonObjectFile(path, root))
        return false;
    if (root.contains(QLatin1String("DeviceType")))
        m_deviceType = DeviceType::fromText(root.value(QLatin1String("DeviceType")).toString());
    m_deviceName = root.value(QLatin1String("DeviceName")).toString();
    readSerialRanges(root);
    readMemoryMap(root);
    readFileVerification(root);
    readStaticValues(root);
    readDiscoverPort(root);
    readHueweaveProfiles(root);
    if (root.contains(QLatin1String("BootloaderInfo")))
        readDescription(root.value(QLatin1String("BootloaderInfo")).toObject(), bootloaderKeys,
                        m_bootloaderInfo);
    if (root.contains(QLatin1String("Firmware")))
        readDescription(root.value(QLatin1String("Firmware")).toObject(), firmwareKeys,
                        m_firmwareInfo);
    return true;
}

void DeviceEntry::readSerialRanges(const QJsonObject &root)
{
    for (const QJsonValue &element : root.value(QLatin1String("SerialNumberRanges")).toArray()) {
        const QJsonObject range = element.toObject();
        if (!range.contains(QLatin1String("start")) || !range.contains(QLatin1String("end")))
            continue;
        const quint64 start =
            range.value(QLatin1String("start")).toString().toULongLong(nullptr, 16);
        const quint64 end = range.value(QLatin1String("end")).toString().toULongLong(nullptr, 16);
        if (range.contains(QLatin1String("productCode")))
            m_productCodeRanges.append(
                {start, end, range.value(QLatin1String("productCode")).toString()});
        else
            m_serialRanges.append({start, end});
    }
}

void DeviceEntry::readMemoryMap(const QJsonObject &root)
{
    for (const QJsonValue &element : root.value(QLatin1String("MemoryMap")).toArray()) {
        auto record = std::make_shared<MemoryMapEntry>(element.toObject());
        m_memoryMap.insert(record->name(), record);
    }
}

void DeviceEntry::readFileVerification(const QJsonObject &root)
{
    for (const QJsonValue &element : root.value(QLatin1String("FileVerification")).toArray())
        m_fileVerification = FileVerification(element.toObject());
}

void DeviceEntry::readStaticValues(const QJsonObject &root)
{
    for (const QJsonValue &element : root.value(QLatin1String("StaticValues")).toArray()) {
        const QJsonObject object = element.toObject();
        QString name;
        quint32 value = 0;
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key().compare(QLatin1String("name"), Qt::CaseInsensitive) == 0) {
                name = it.value().toString();
            } else if (it.key().compare(QLatin1String("value"), Qt::CaseInsensitive) == 0) {
                const QString text = it.value().toString();
                // Addresses are written as "0x" texts; other values as plain numbers.
                value = text.contains(QLatin1String("0x")) ? quint32(text.toULongLong(nullptr, 16))
                                                           : quint32(jsonInt32(it.value()));
            }
        }
        m_staticValues.insert(name, quint16(value));
    }
}

void DeviceEntry::readDiscoverPort(const QJsonObject &root)
{
    if (!root.contains(QLatin1String("DiscoverPort")))
        return;
    bool ok = false;
    const uint port = root.value(QLatin1String("DiscoverPort")).toString().toUInt(&ok, 10);
    m_discoverPort = ok && port <= 0xFFFF ? quint16(port) : quint16(6038);
}

void DeviceEntry::readHueweaveProfiles(const QJsonObject &root)
{
    for (const QJsonValue &element : root.value(QLatin1String("HueweaveProfiles")).toArray()) {
        const QJsonObject profile = element.toObject();
        if (!profile.contains(QLatin1String("ledChemistry")) ||
            !profile.contains(QLatin1String("profileId")) ||
            !profile.contains(QLatin1String("inputModeMap")))
            continue;
        const QString chemistry = profile.value(QLatin1String("ledChemistry")).toString();
        m_hueweaveProfileIds.insert(chemistry,
                                    jsonInt32(profile.value(QLatin1String("profileId"))));
        QMap<int, int> modes;
        const QJsonObject map = profile.value(QLatin1String("inputModeMap")).toObject();
        for (auto it = map.begin(); it != map.end(); ++it)
            modes.insert(it.key().toInt(), jsonInt32(it.value()));
        m_hueweaveInputModes.insert(chemistry, modes);
    }
}

bool DeviceEntry::hasMemoryMapEntry(const QString &token) const
{
    return m_memoryMap.contains(token);
}

const MemoryMapEntry *DeviceEntry::findMemoryMapEntry(const QString &token) const
{
    return m_memoryMap.value(token).get();
}

QStringList DeviceEntry::memoryMapTokens() const
{
    return m_memoryMap.keys();
}

QList<quint16> DeviceEntry::tokenAddresses(const QString &token) const
{
    const MemoryMapEntry *record = findMemoryMapEntry(token);
    return record ? record->readAddresses() : QList<quint16>();
}

quint16 DeviceEntry::tokenDefaultValue(const QString &token) const
{
    const MemoryMapEntry *record = findMemoryMapEntry(token);
    return record ? record->defaultValue() : 0;
}

bool DeviceEntry::tokenHasDefaultValue(const QString &token) const
{
    const MemoryMapEntry *record = findMemoryMapEntry(token);
    return record && record->hasDefaultValue();
}

QStringList DeviceEntry::staticValueNames() const
{
    return m_staticValues.keys();
}

quint16 DeviceEntry::staticValue(const QString &name) const
{
    return m_staticValues.value(name, 0);
}

bool DeviceEntry::hasStaticValue(const QString &name) const
{
    return m_staticValues.contains(name);
}

QStringList DeviceEntry::hueweaveLedChemistries() const
{
    return m_hueweaveInputModes.keys();
}

int DeviceEntry::hueweaveProfileId(const QString &ledChemistry) const
{
    return m_hueweaveProfileIds.value(ledChemistry, 0);
}

int DeviceEntry::hueweaveIoMode(const QString &ledChemistry, int inputMode) const
{
    return m_hueweaveInputModes.value(ledChemistry).value(inputMode, 0);
}
