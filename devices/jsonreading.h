#ifndef JSONREADING_H
#define JSONREADING_H

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>

// Helpers shared by the property map and the device definition files, which read
// their JSON the same way.

// A JSON number as a signed 32-bit integer; out of range or fractional reads as 0.
qint32 jsonInt32(const QJsonValue &value);

// Reads a "values" array: {"name", "value"} pairs make a List, one {"min"}/{"max"} element per
// bound makes a Range; mixed or no keys make "None".
void readValueList(const QJsonArray &array, QMap<QString, QString> &values, QString &valueType);

// Reads a whole file as one JSON object; empty when the file does not parse. Returns false
// only when the file cannot be opened.
bool readJsonObjectFile(const QString &path, QJsonObject &object);

// As readJsonObjectFile, but an empty or unparsable file is also refused, with a debug line
// naming it.
bool readNonEmptyJsonObjectFile(const QString &path, QJsonObject &object);

// A string, or a one-element list made of a single string.
QStringList jsonStringList(const QJsonValue &value);

#endif // JSONREADING_H
