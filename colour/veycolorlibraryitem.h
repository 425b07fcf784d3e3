#ifndef VEYCOLORLIBRARYITEM_H
#define VEYCOLORLIBRARYITEM_H

#include "colour/veycolor.h"

#include <QDomElement>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QStringList>
#include <QVariant>

class QDataStream;
class QDomDocument;

// One node of the colour library: the root, a colour list or a colour. Its QObject parent is
// its parent item, which owns it through the children list.
class VeyColorLibraryItem : public QObject
{
    Q_OBJECT

public:
    // The item data roles beyond the toolkit's display (0), decoration (1), edit (2) and
    // tool-tip (3) roles.
    enum Role {
        ColorRole = 257,
        UidRole = 258,
        Key2Role = 259,
        Key3Role = 260,
        UserListRole = 261,
        KindRole = 262,
        Role263Flag = 263,
        OriginatingPresetRole = 264,
        ColorIdRole = 265,
    };
    enum Kind { ListKind = 0, UidKind = 1, Key2Kind = 2, Key3Kind = 3 };

    explicit VeyColorLibraryItem(VeyColorLibraryItem *parentItem);
    ~VeyColorLibraryItem() override;

    void appendChild(VeyColorLibraryItem *item);
    VeyColorLibraryItem *child(int row) const;
    int childCount() const { return m_children.size(); }
    int row(const VeyColorLibraryItem *child) const { return m_children.indexOf(child); }
    VeyColorLibraryItem *parentItem() const { return m_parentItem; }
    VeyColorLibraryItem *childWithUid(const QString &uid) const { return m_uidIndex.value(uid); }
    int columnCount() const;

    QString name() const { return m_name; }
    QString uid() const { return m_uid; }
    VeyColor color() const { return m_color; }
    int kind() const { return m_kind; }
    bool isUserList() const { return m_userList; }
    void setUserList(bool userList) { m_userList = userList; }
    QString originatingPreset() const { return m_originatingPreset; }
    QString colorId() const { return m_colorId; }
    QStringList childNames() const;

    QString addColor(const VeyColor &color, const QString &uid, const QStringList &names,
                     const QString &originatingPreset, const QString &colorId);
    bool addColorWithUid(const QString &uid, const VeyColor &color);
    void setColor(const VeyColor &color);
    void setName(const QString &name);
    void insertChildren(int position, int count);
    void removeChildren(int position, int count);

    QDomElement toDomElement(QDomDocument &doc, bool *ok, const QString &format,
                             bool isUserLibrary) const;

    virtual QVariant data(int role, int column) const;
    virtual bool setData(const QVariant &value, int role);
    virtual QStringList mimeFormats() const;
    virtual bool writeMimeData(const QString &format, QDataStream &stream) const;

    // "Name" made unique against names: "Name 2", "Name 3", ... until it is not among them.
    static QString uniqueName(const QString &wanted, const QStringList &names);

public slots:
    void handleInsertColor(QString uid, QString name, QString valueString,
                           QString originatingPreset, QString listId, QString vendorID);

private:
    void renderSwatch();

    QList<VeyColorLibraryItem *> m_children;
    QHash<QString, VeyColorLibraryItem *> m_uidIndex;
    VeyColorLibraryItem *m_parentItem;
    QString m_name;
    QString m_key3;
    VeyColor m_color;
    QString m_uid;
    QString m_key2;
    QPixmap m_swatch;
    QString m_colorId;
    int m_kind = ListKind;
    bool m_role263Flag = true;
    bool m_userList = false;
    QString m_originatingPreset;
};

#endif // VEYCOLORLIBRARYITEM_H
