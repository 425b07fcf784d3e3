#ifndef DEVICEENTRY_H
#define DEVICEENTRY_H

#include "devicetype.h"
#include "fileverification.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QStringList>

#include <memory>

class MemoryMapEntry;

// Inclusive range of serial numbers.
using SerialRange = QPair<quint64, quint64>;

// Inclusive range of RDM UIDs that belongs to the model only for one product code.
struct ProductCodeRange
{
    quint64 start = 0;
    quint64 end = 0;
    QString productCode;
};

// Everything one device definition file says about one device model.
class DeviceEntry : public QObject
{
    Q_OBJECT
public:
    DeviceEntry();
    explicit DeviceEntry(const QString &path);
    ~DeviceEntry() override;

    bool load(const QString &path);

    QString filePath() const { return m_filePath; }
    QString deviceName() const { return m_deviceName; }
    DeviceType::Value deviceType() const { return m_deviceType; }

    bool hasMemoryMapEntry(const QString &token) const;
    const MemoryMapEntry *findMemoryMapEntry(const QString &token) const;
    QStringList memoryMapTokens() const;
    QList<quint16> tokenAddresses(const QString &token) const;
    quint16 tokenDefaultValue(const QString &token) const;
    bool tokenHasDefaultValue(const QString &token) const;

    QStringList staticValueNames() const;
    quint16 staticValue(const QString &name) const;
    bool hasStaticValue(const QString &name) const;

    QList<SerialRange> serialNumberRanges() const { return m_serialRanges; }
    QList<ProductCodeRange> productCodeRanges() const { return m_productCodeRanges; }

    QStringList hueweaveLedChemistries() const;
    int hueweaveProfileId(const QString &ledChemistry) const;
    int hueweaveIoMode(const QString &ledChemistry, int inputMode) const;

    const FileVerification &fileVerification() const { return m_fileVerification; }
    quint16 discoverPort() const { return m_discoverPort; }
    QMap<QString, QString> bootloaderInfo() const { return m_bootloaderInfo; }
    QMap<QString, QString> firmwareInfo() const { return m_firmwareInfo; }

private:
    void readSerialRanges(const QJsonObject &root);
    void readMemoryMap(const QJsonObject &root);
    void readFileVerification(const QJsonObject &root);
    void readStaticValues(const QJsonObject &root);
    void readDiscoverPort(const QJsonObject &root);
    void readHueweaveProfiles(const QJsonObject &root);

    QString m_filePath;
    QString m_deviceName;
    DeviceType::Value m_deviceType = DeviceType::UNKNOWN;
    QHash<QString, std::shared_ptr<MemoryMapEntry>> m_memoryMap;
    QHash<QString, quint16> m_staticValues;
    QList<SerialRange> m_serialRanges;
    QList<ProductCodeRange> m_productCodeRanges;
    FileVerification m_fileVerification;
    QHash<QString, int> m_hueweaveProfileIds;
    QHash<QString, QMap<int, int>> m_hueweaveInputModes;
    quint16 m_discoverPort = 6038;
    QMap<QString, QString> m_bootloaderInfo;
    QMap<QString, QString> m_firmwareInfo;
};

#endif // DEVICEENTRY_H
