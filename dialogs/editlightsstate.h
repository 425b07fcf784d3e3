#ifndef EDITLIGHTSSTATE_H
#define EDITLIGHTSSTATE_H

#include <QHash>
#include <QString>
#include <QStringList>

class Light;

// One light as the light editor means to leave it: the light's own fields and the raw values
// of the device properties the editor touched. A plain value; the editor keeps one per light.
class EditLightsState
{
public:
    EditLightsState() = default;
    explicit EditLightsState(const Light *light);

    QString name;
    quint64 serialNumber = 0;
    quint32 port = 0;
    qint32 dmxChannel = 0;
    QString deviceInfo;
    quint64 uid = 0;
    QString modelName;

    // Takes every field of other but the uid; other's property values overwrite these, the
    // rest stay.
    void mergeFrom(const EditLightsState &other);
    void clearPropertyValues() { m_values.clear(); }
    bool hasValue(const QString &token) const { return m_values.contains(token); }
    qint32 value(const QString &token) const { return m_values.value(token, 0); }
    void setValue(const QString &token, qint32 value) { m_values.insert(token, value); }
    QStringList tokens() const { return m_values.keys(); }
    const QHash<QString, qint32> &values() const { return m_values; }

    // Whether applying the state would change light; a missing light never differs.
    bool differsFrom(const Light *light) const;

private:
    QHash<QString, qint32> m_values;
};

#endif // EDITLIGHTSSTATE_H
