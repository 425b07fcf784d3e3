#ifndef MEMORYMAPENTRY_H
#define MEMORYMAPENTRY_H

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QStringList>

// One record of a device's memory map: where a property token is read and written.
class MemoryMapEntry
{
public:
    explicit MemoryMapEntry(const QJsonObject &object);
    virtual ~MemoryMapEntry();

    QString name() const { return m_name; }
    bool userConfigurable() const { return m_userConfigurable; }
    bool readOnly() const { return m_readOnly; }
    bool hasDefaultValue() const { return m_hasDefaultValue; }
    quint16 defaultValue() const { return quint16(m_defaultValue); }
    QMap<QString, QString> values() const { return m_values; }
    QStringList category() const { return m_category; }
    QString valueType() const { return m_valueType; }
    qint32 access() const { return m_access; }
    bool sharedAddress() const { return m_sharedAddress; }
    QList<quint16> readAddresses() const { return m_readAddresses; }
    QList<quint16> writeAddresses() const { return m_writeAddresses; }

    static void parseAddresses(const QString &key, const QJsonObject &object,
                               QList<quint16> &target);

private:
    QString m_name = QStringLiteral("UNKNOWN_TOKEN_NAME");
    bool m_userConfigurable = false;
    bool m_readOnly = false;
    bool m_hasDefaultValue = false;
    qint32 m_defaultValue = 0;
    QMap<QString, QString> m_values;
    QStringList m_category;
    QString m_valueType;
    qint32 m_access = -1;
    bool m_sharedAddress = true;
    QList<quint16> m_writeAddresses;
    QList<quint16> m_readAddresses;
};

#endif // MEMORYMAPENTRY_H
