#ifndef PROPERTYENTRY_H
#define PROPERTYENTRY_H

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QStringList>

// One property of the catalogue: a token with its display name, value type and the
// conversion between the raw value a device holds and the text the user sees.
class PropertyEntry : public QObject
{
    Q_OBJECT
public:
    PropertyEntry(const QJsonObject &object, int mapVariant);

    QString tokenName() const { return m_tokenName; }
    QString stringName() const { return m_stringName; }
    QString valueType() const { return m_valueType; }
    QMap<QString, QString> values() const { return m_values; }
    QString description() const { return m_description; }
    QStringList category() const { return m_category; }
    qint32 access() const { return m_access; }
    quint16 parameterID() const { return m_parameterID; }
    // In bits, as the ORDM file gives it.
    quint16 payloadSize() const { return m_payloadSize; }
    int mapVariant() const { return m_mapVariant; }

    QString displayToRaw(const QString &display) const;
    QString rawToDisplay(const QString &raw) const;

private:
    bool isDmxOffset() const;
    QString listRawToDisplay(const QString &raw) const;
    QString rangeRawToDisplay(const QString &raw) const;
    QString listDisplayToRaw(const QString &display) const;
    QString rangeDisplayToRaw(const QString &display) const;

    QString m_tokenName;
    QString m_stringName;
    QString m_valueType = QStringLiteral("None");
    QMap<QString, QString> m_values;
    QString m_description;
    QStringList m_category = QStringList{QString()};
    qint32 m_access = -1;
    quint16 m_parameterID = 0;
    quint16 m_payloadSize = 0;
    int m_mapVariant = 0;
};

#endif // PROPERTYENTRY_H
