#include "propertyentry.h"

#include "jsonreading.h"

#include <QJsonArray>

namespace {
// Unsigned decimal, 0 when the text is not a number: devices report plain numbers.
quint64 toUnsigned(const QString &text, bool *ok = nullptr)
{
    return text.toULongLong(ok, 10);
}
} // namespace

PropertyEntry::PropertyEntry(const QJsonObject &object, int mapVariant) : m_mapVariant(mapVariant)
{
    m_tokenName = object.value(QLatin1String("tokenName")).toString();
    m_stringName = object.value(QLatin1String("stringName")).toString();
    m_description = object.value(QLatin1String("description")).toString();
    if (object.contains(QLatin1String("category")))
        m_category = jsonStringList(object.value(QLatin1String("category")));
    if (object.contains(QLatin1String("access")))
        m_access = jsonInt32(object.value(QLatin1String("access")));
    m_parameterID = quint16(jsonInt32(object.value(QLatin1String("parameterID"))));
    m_payloadSize = quint16(jsonInt32(object.value(QLatin1String("payloadSize"))));
    const QJsonValue values = object.value(QLatin1String("values"));
    if (values.isArray())
        readValueList(values.toArray(), m_values, m_valueType);
}

bool PropertyEntry::isDmxOffset() const
{
    return m_tokenName.compare(QLatin1String("DMX_OFFSET"), Qt::CaseInsensitive) == 0;
}

QString PropertyEntry::rawToDisplay(const QString &raw) const
{
    if (m_valueType == QLatin1String("List"))
        return listRawToDisplay(raw);
    if (m_valueType == QLatin1String("Range"))
        return rangeRawToDisplay(raw);
    return raw;
}

QString PropertyEntry::displayToRaw(const QString &display) const
{
    if (m_valueType == QLatin1String("List"))
        return listDisplayToRaw(display);
    if (m_valueType == QLatin1String("Range"))
        return rangeDisplayToRaw(display);
    return display;
}

QString PropertyEntry::listRawToDisplay(const QString &raw) const
{
    // Some readers hand over hexadecimal text; match it by its decimal value too.
    const bool isHex = raw.contains(QLatin1String("0x"));
    const QString decimal = isHex ? QString::number(raw.toULongLong(nullptr, 16)) : QString();
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        if (it.value() == raw || (isHex && it.value() == decimal))
            return it.key();
    }
    return raw;
}

QString PropertyEntry::rangeRawToDisplay(const QString &raw) const
{
    const quint64 n = toUnsigned(raw);
    const quint64 lo = toUnsigned(m_values.value(QStringLiteral("min")));
    const quint64 hi = toUnsigned(m_values.value(QStringLiteral("max")));
    if (n < lo || n > hi)
        return raw;
    return QString::number(isDmxOffset() ? n + 1 : n);
}

QString PropertyEntry::listDisplayToRaw(const QString &display) const
{
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        if (it.key().compare(display, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return display;
}

QString PropertyEntry::rangeDisplayToRaw(const QString &display) const
{
    bool ok = false;
    quint64 n = toUnsigned(display, &ok);
    if (!ok)
        return display;
    // The device keeps the 0-based start channel while the user sees the 1-based address;
    // display 0 wraps to a huge value so that it falls outside the range.
    if (isDmxOffset())
        n -= 1;
    const quint64 lo = toUnsigned(m_values.value(QStringLiteral("min")));
    const quint64 hi = toUnsigned(m_values.value(QStringLiteral("max")));
    if (n < lo || n > hi)
        return display;
    return QString::number(n);
}
