#ifndef LIGHTPROPERTYTABLE_H
#define LIGHTPROPERTYTABLE_H

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

class DeviceDictionary;
class EditLightsState;
class Light;
class MapModel;
class PropertyMapper;

// The device-property side of the light editor, without widgets: which properties a light
// shows, how a light's raw values are read and written, what each row of the property table
// offers for a selection of lights, and how a light's values follow a change of device.
class LightPropertyTable
{
public:
    // One choice of a row's drop-down list; the neutral entries carry no data.
    struct Entry
    {
        QString text;
        QVariant data;
    };
    struct Row
    {
        QString token;
        QString displayName;
        QString currentText;
        QList<Entry> entries;
        int currentIndex = 0;
        bool enabled = false;
    };

    explicit LightPropertyTable(MapModel *map);

    // The ten display names the editor edits, and the table's header texts.
    static const QStringList &editableNames();
    static const QStringList &headerLabels();
    static const QString &noChangeText();
    static const QString &variousText();

    const QSet<QString> &allowedTokens() const { return m_allowed; }
    // The tokens shown for light, through the cache by device.
    QSet<QString> tokensForLight(const Light *light);
    // The light's raw value of token; 0 for a token the editor cannot write.
    static int currentValue(const Light *light, const QString &token);
    // As currentValue, and an LED-chemistry reading narrows the chemistry choices to light's.
    int readValue(const Light *light, const QString &token);
    static void writeValue(Light *light, const QString &token, int value);
    // Whether writing token's value changes more than the value reads back (a chemistry brings
    // its colour profile, a Corlend mode its own property).
    static bool hasSideEffects(const QString &token);
    // Whether writeValue does anything for token.
    static bool isEditableToken(const QString &token);

    // Recomputes the shown and common tokens for selection; returns the shown ones.
    QStringList refresh(const QList<Light *> &selection);
    const QSet<QString> &commonTokens() const { return m_common; }
    // The row of token for selection; pending states without a value for the token take the
    // light's current one.
    Row row(const QString &token, const QList<Light *> &selection,
            const QHash<quint64, EditLightsState *> &pending);

    // Gives state light's current value of every token of its set.
    void fillCurrentValues(const Light *light, EditLightsState &state);
    // Before Apply moves light to the device of after's serial number: before receives the
    // values undo has to restore, after the new device's values.
    void prepareDeviceChange(const Light *light, EditLightsState &before, EditLightsState &after);

    const QStringList &chemistryChoices() const { return m_chemistryChoices; }
    void resetChemistryChoices();

private:
    struct CacheKey
    {
        quint64 device;
        quint64 range;
        QString deviceInfo;
        bool operator==(const CacheKey &o) const
        {
            return device == o.device && range == o.range && deviceInfo == o.deviceInfo;
        }
    };
    friend size_t qHash(const CacheKey &k, size_t seed)
    {
        return qHashMulti(seed, k.device, k.range, k.deviceInfo);
    }

    static int valueByName(const Light *light, const QString &displayName);
    quint64 deviceKey(const Light *light) const;
    QSet<QString> selectionTokens(const Light *light);
    QSet<QString> computeTokens(const Light *light, quint64 key) const;
    void narrowChemistry(const Light *light);
    QSet<QString> allowedOf(const QStringList &tokens) const;

    MapModel *m_map;
    DeviceDictionary *m_dictionary;
    PropertyMapper *m_mapper;
    QSet<QString> m_allowed;
    QStringList m_chemistryChoices;
    QSet<QString> m_shown;
    QSet<QString> m_common;
    QHash<CacheKey, QSet<QString>> m_cache;
    // Each selected light's set, from the last refresh: the rows ask for it light by light.
    QHash<const Light *, QSet<QString>> m_selectionTokens;
};

#endif // LIGHTPROPERTYTABLE_H
