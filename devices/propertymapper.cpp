#include "propertymapper.h"

#include "jsonreading.h"
#include "propertyentry.h"

PropertyMapper::PropertyMapper() = default;

PropertyMapper::~PropertyMapper() = default;

PropertyMapper *PropertyMapper::instance()
{
    static PropertyMapper *mapper = [] {
        auto *created = new PropertyMapper;
        created->loadFile(QStringLiteral(":/PropertyMap/PropertyMap.json"), MainMap);
        created->loadFile(QStringLiteral(":/PropertyMap/ORDMPropertyMap.json"), OrdmMap);
        return created;
    }();
    return mapper;
}

bool PropertyMapper::loadFile(const QString &path, int mapVariant)
{
    QJsonObject root;
    if (!readNonEmptyJsonObjectFile(path, root))
        return false;
    const QJsonValue map = root.value(QLatin1String("PropertyMap"));
    if (!map.isArray())
        return false;
    bool kept = false;
    for (const QJsonValue &element : map.toArray()) {
        auto entry = std::make_unique<PropertyEntry>(element.toObject(), mapVariant);
        if (entry->tokenName().isEmpty())
            continue;
        // A repeated token replaces the earlier one in the token table only; the earlier
        // one stays reachable by its display name.
        m_byToken.insert(entry->tokenName(), entry.get());
        m_byName.insert(entry->stringName(), entry.get());
        m_owned.push_back(std::move(entry));
        kept = true;
    }
    return kept;
}

QList<PropertyEntry *> PropertyMapper::entriesOfName(const QString &name) const
{
    return m_byName.values(name);
}

QString PropertyMapper::stringName(const QString &token) const
{
    const PropertyEntry *found = m_byToken.value(token);
    if (!found)
        return QStringLiteral("Unsupported Token: ") + token;
    return found->stringName();
}

QString PropertyMapper::tokenName(const QString &name, const QStringList &candidates) const
{
    for (const QString &token : candidates) {
        const PropertyEntry *found = m_byToken.value(token);
        if (found && found->stringName().compare(name, Qt::CaseInsensitive) == 0)
            return token;
    }
    return QStringLiteral("Unsupported Property: ") + name;
}

QStringList PropertyMapper::entriesByName(const QString &name) const
{
    QStringList tokens;
    for (const PropertyEntry *found : entriesOfName(name))
        tokens.append(found->tokenName());
    return tokens;
}

quint16 PropertyMapper::payloadSize(const QString &name) const
{
    for (const PropertyEntry *found : entriesOfName(name)) {
        if (found->payloadSize() != 0)
            return found->payloadSize() / 8;
    }
    return 1;
}

QMap<QString, QString> PropertyMapper::valueMap(const QString &name) const
{
    QMap<QString, QString> merged;
    for (const PropertyEntry *found : entriesOfName(name))
        merged.insert(found->values());
    return merged;
}

QString PropertyMapper::toRawValueByName(const QString &name, const QString &display) const
{
    // The first-loaded entry of a display name is visited last and so decides.
    QString result = display;
    for (const PropertyEntry *found : entriesOfName(name))
        result = found->displayToRaw(display);
    return result;
}

QString PropertyMapper::toDisplayValueByName(const QString &name, const QString &raw) const
{
    QString result = raw;
    for (const PropertyEntry *found : entriesOfName(name))
        result = found->rawToDisplay(raw);
    return result;
}

quint32 PropertyMapper::toRawValue(const QString &token, const QString &display) const
{
    const PropertyEntry *found = m_byToken.value(token);
    const QString raw = found ? found->displayToRaw(display) : display;
    return raw.toUInt(nullptr, 10);
}

QString PropertyMapper::toDisplayValue(const QString &token, const QString &raw) const
{
    const PropertyEntry *found = m_byToken.value(token);
    return found ? found->rawToDisplay(raw) : raw;
}

bool PropertyMapper::containsToken(const QString &token) const
{
    return m_byToken.contains(token);
}

bool PropertyMapper::containsName(const QString &name) const
{
    return m_byName.contains(name);
}

const PropertyEntry *PropertyMapper::entry(const QString &token) const
{
    return m_byToken.value(token);
}
