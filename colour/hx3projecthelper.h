#ifndef HX3PROJECTHELPER_H
#define HX3PROJECTHELPER_H

#include <QDomElement>
#include <QObject>
#include <QStringList>

class QDomDocument;

// Writes one colour list as the element of the user colour file. The signals belong to the
// file's reader, which this program does not have; nothing emits them.
class Hx3ProjectHelper : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A "ColorLibrary" element with one "Color" per uid; the other lists are read at the same
    // positions and must hold at least as many entries as uids.
    QDomElement writeColorList(QDomDocument &doc, bool *ok, const QStringList &uids,
                               const QStringList &names, const QStringList &values,
                               const QStringList &originatingPresets, const QStringList &colorIds);

signals:
    void insertColor(QString uid, QString name, QString valueString, QString originatingPreset,
                     QString listId, QString vendorID);
    void insertList(QString name, bool isUserList);
    void foundOldPreset(QString name);
};

#endif // HX3PROJECTHELPER_H
