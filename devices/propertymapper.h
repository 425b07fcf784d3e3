#ifndef PROPERTYMAPPER_H
#define PROPERTYMAPPER_H

#include <QHash>
#include <QMap>
#include <QMultiHash>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class PropertyEntry;

// The catalogue of device properties, loaded from the main and the ORDM property maps.
// Lookups never fail: unknown tokens and names give fixed texts or the input unchanged.
class PropertyMapper : public QObject
{
    Q_OBJECT
public:
    enum MapVariant { MainMap = 0, OrdmMap = 1 };

    PropertyMapper();
    ~PropertyMapper() override;

    // Created and loaded on first call, never freed.
    static PropertyMapper *instance();

    bool loadFile(const QString &path, int mapVariant);

    QString stringName(const QString &token) const;
    QString tokenName(const QString &name, const QStringList &candidates) const;
    QStringList entriesByName(const QString &name) const;
    // In bytes.
    quint16 payloadSize(const QString &name) const;
    QMap<QString, QString> valueMap(const QString &name) const;

    QString toRawValueByName(const QString &name, const QString &display) const;
    QString toDisplayValueByName(const QString &name, const QString &raw) const;
    quint32 toRawValue(const QString &token, const QString &display) const;
    QString toDisplayValue(const QString &token, const QString &raw) const;

    bool containsToken(const QString &token) const;
    bool containsName(const QString &name) const;

    // The entry of a token (borrowed), or null; for editors that need category or access.
    const PropertyEntry *entry(const QString &token) const;

private:
    // Most recently loaded first.
    QList<PropertyEntry *> entriesOfName(const QString &name) const;

    std::vector<std::unique_ptr<PropertyEntry>> m_owned;
    QHash<QString, PropertyEntry *> m_byToken;
    QMultiHash<QString, PropertyEntry *> m_byName;
};

#endif // PROPERTYMAPPER_H
