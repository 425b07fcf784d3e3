#include "memorymapentry.h"

#include "jsonreading.h"

#include <QDebug>

MemoryMapEntry::MemoryMapEntry(const QJsonObject &object)
{
    if (object.contains(QLatin1String("name")))
        m_name = object.value(QLatin1String("name")).toString();

    const bool hasShared = object.contains(QLatin1String("address"));
    const bool hasRead = object.contains(QLatin1String("readAddress"));
    const bool hasWrite = object.contains(QLatin1String("writeAddress"));
    if (hasShared && !hasRead && !hasWrite) {
        parseAddresses(QStringLiteral("address"), object, m_readAddresses);
        parseAddresses(QStringLiteral("address"), object, m_writeAddresses);
    } else if (hasRead && hasWrite) {
        parseAddresses(QStringLiteral("readAddress"), object, m_readAddresses);
        parseAddresses(QStringLiteral("writeAddress"), object, m_writeAddresses);
        m_sharedAddress = false;
    } else {
        qDebug() << "Json file missing read/write addresses or is invalid";
    }

    m_userConfigurable = object.value(QLatin1String("userConfigurable")).toBool();
    m_readOnly = object.value(QLatin1String("readOnly")).toBool();
    if (object.contains(QLatin1String("access")))
        m_access = jsonInt32(object.value(QLatin1String("access")));
    if (object.contains(QLatin1String("category")))
        m_category = jsonStringList(object.value(QLatin1String("category")));
    if (object.contains(QLatin1String("defaultValue"))) {
        m_defaultValue = jsonInt32(object.value(QLatin1String("defaultValue")));
        m_hasDefaultValue = true;
    }
    const QJsonValue values = object.value(QLatin1String("values"));
    if (values.isArray())
        readValueList(values.toArray(), m_values, m_valueType);
}

MemoryMapEntry::~MemoryMapEntry() = default;

void MemoryMapEntry::parseAddresses(const QString &key, const QJsonObject &object,
                                    QList<quint16> &target)
{
    const QJsonValue value = object.value(key);
    if (value.isArray()) {
        // In a list, 0 is a real address.
        for (const QJsonValue &item : value.toArray())
            target.append(quint16(jsonInt32(item)));
        return;
    }
    // A single address 0 means the model has no such location.
    const quint16 address = quint16(jsonInt32(value));
    if (address != 0)
        target.append(address);
}
