#include "jsonreading.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>

qint32 jsonInt32(const QJsonValue &value)
{
    return value.toInt(0);
}

void readValueList(const QJsonArray &array, QMap<QString, QString> &values, QString &valueType)
{
    bool onlyBounds = true;
    bool onlyPairs = true;
    for (const QJsonValue &element : array) {
        const QJsonObject object = element.toObject();
        QString name;
        QString text;
        // QJsonObject iterates its keys in ascending order, which decides which key wins
        // when an element carries more than one.
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString key = it.key();
            const bool isName = key.compare(QLatin1String("name"), Qt::CaseInsensitive) == 0;
            const bool isValue = key.compare(QLatin1String("value"), Qt::CaseInsensitive) == 0;
            const bool isMin = key.compare(QLatin1String("min"), Qt::CaseInsensitive) == 0;
            const bool isMax = key.compare(QLatin1String("max"), Qt::CaseInsensitive) == 0;
            onlyBounds = onlyBounds && (isMin || isMax);
            onlyPairs = onlyPairs && (isName || isValue);
            if (isName) {
                name = it.value().toString();
            } else if (isValue) {
                const QString string = it.value().toString();
                text = string.isEmpty() ? QString::number(it.value().toInteger()) : string;
            } else if (isMin || isMax) {
                name = isMin ? QStringLiteral("min") : QStringLiteral("max");
                text = QString::number(jsonInt32(it.value()));
            }
        }
        values.insert(name, text);
    }
    if (onlyBounds && !onlyPairs)
        valueType = QStringLiteral("Range");
    else if (onlyPairs && !onlyBounds)
        valueType = QStringLiteral("List");
    else
        valueType = QStringLiteral("None");
}

bool readJsonObjectFile(const QString &path, QJsonObject &object)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    object = QJsonDocument::fromJson(file.readAll()).object();
    return true;
}

bool readNonEmptyJsonObjectFile(const QString &path, QJsonObject &object)
{
    if (!readJsonObjectFile(path, object))
        return false;
    if (object.isEmpty()) {
        qDebug() << "File" << path << "is empty or improperly formatted";
        return false;
    }
    return true;
}

QStringList jsonStringList(const QJsonValue &value)
{
    if (value.isString())
        return {value.toString()};
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list.append(item.toString());
    return list;
}
