#include "colour/veycolorlibraryitem.h"

#include "colour/hx3projecthelper.h"
#include "colour/veycolorlibrary.h"

#include <QDataStream>
#include <QDomDocument>
#include <QSet>
#include <QUuid>

VeyColorLibraryItem::VeyColorLibraryItem(VeyColorLibraryItem *parentItem)
    : QObject(parentItem), m_parentItem(parentItem),
      m_userList(parentItem ? parentItem->m_userList : false)
{}

VeyColorLibraryItem::~VeyColorLibraryItem()
{
    qDeleteAll(m_children);
}

void VeyColorLibraryItem::appendChild(VeyColorLibraryItem *item)
{
    item->m_userList = m_userList;
    m_children.append(item);
}

VeyColorLibraryItem *VeyColorLibraryItem::child(int row) const
{
    return row >= 0 && row < m_children.size() ? m_children.at(row) : nullptr;
}

int VeyColorLibraryItem::columnCount() const
{
    return m_kind == ListKind || m_kind == UidKind ? 2 : 0;
}

QStringList VeyColorLibraryItem::childNames() const
{
    QStringList names;
    names.reserve(m_children.size());
    for (const VeyColorLibraryItem *c : m_children)
        names << c->m_name;
    return names;
}

QString VeyColorLibraryItem::uniqueName(const QString &wanted, const QStringList &names)
{
    if (!names.contains(wanted))
        return wanted;
    // A set, since a long list of one name would otherwise cost a scan per number tried.
    const QSet<QString> taken(names.cbegin(), names.cend());
    QString name;
    // One arg() call: a chained one would read a "%1" inside the wanted name as its own marker.
    for (int n = 2; name.isEmpty() || taken.contains(name); ++n)
        name = QStringLiteral("%1 %2").arg(wanted, QString::number(n));
    return name;
}

QString VeyColorLibraryItem::addColor(const VeyColor &color, const QString &uid,
                                      const QStringList &names, const QString &originatingPreset,
                                      const QString &colorId)
{
    auto *item = new VeyColorLibraryItem(this);
    appendChild(item);
    item->m_uid = uid.isEmpty() ? QUuid::createUuid().toString() : uid;
    item->m_kind = UidKind;
    item->setColor(color);
    item->m_name = uniqueName(QStringLiteral("Color"), names);
    item->m_originatingPreset = originatingPreset;
    item->m_colorId = colorId;
    m_uidIndex.insert(item->m_uid, item);
    return item->m_uid;
}

bool VeyColorLibraryItem::addColorWithUid(const QString &uid, const VeyColor &color)
{
    if (!color.isValid())
        return false;
    auto *item = new VeyColorLibraryItem(this);
    appendChild(item);
    item->m_uid = uid;
    item->m_kind = UidKind;
    item->setColor(color);
    m_uidIndex.insert(uid, item);
    return true;
}

void VeyColorLibraryItem::setColor(const VeyColor &color)
{
    m_color = color;
    if (m_kind == UidKind)
        renderSwatch();
}

void VeyColorLibraryItem::renderSwatch()
{
    if (const auto &render = VeyColorLibrary::swatchRenderer())
        m_swatch = render(m_color);
}

void VeyColorLibraryItem::setName(const QString &name)
{
    if (name.isEmpty())
        return;
    m_name = name;
    m_originatingPreset.clear();
    m_colorId.clear();
}

void VeyColorLibraryItem::insertChildren(int position, int count)
{
    for (int i = 0; i < count; ++i)
        m_children.insert(position, new VeyColorLibraryItem(this));
}

void VeyColorLibraryItem::removeChildren(int position, int count)
{
    for (int i = 0; i < count; ++i) {
        VeyColorLibraryItem *item = m_children.takeAt(position);
        if (m_uidIndex.value(item->m_uid) == item)
            m_uidIndex.remove(item->m_uid);
        item->deleteLater();
    }
}

QDomElement VeyColorLibraryItem::toDomElement(QDomDocument &doc, bool *ok, const QString &format,
                                              bool isUserLibrary) const
{
    if (format != QLatin1String("Hx3")) {
        if (ok)
            *ok = false;
        return QDomElement();
    }
    QStringList uids, names, values, presets, ids;
    for (const VeyColorLibraryItem *c : m_children) {
        if (c->m_uid.isEmpty())
            continue;
        uids << c->m_uid;
        names << c->m_name;
        values << c->m_color.toString();
        presets << c->m_originatingPreset;
        ids << c->m_colorId;
    }
    auto *helper = new Hx3ProjectHelper;
    QDomElement element = helper->writeColorList(doc, ok, uids, names, values, presets, ids);
    element.setAttribute(QStringLiteral("name"), m_name);
    element.setAttribute(QStringLiteral("isUserLibrary"), isUserLibrary ? 1 : 0);
    helper->deleteLater();
    if (ok)
        *ok = true;
    return element;
}

QVariant VeyColorLibraryItem::data(int role, int column) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (column == 0)
            return m_name;
        return column == 1 ? QVariant(m_colorId) : QVariant();
    case Qt::EditRole:
        return m_name;
    case Qt::DecorationRole:
        return column == 0 ? QVariant(m_swatch) : QVariant();
    case ColorRole:
        return QVariant::fromValue(m_color);
    case UidRole:
        return m_uid;
    case Key2Role:
        return m_key2;
    case Key3Role:
        return m_key3;
    case UserListRole:
        return m_userList;
    case KindRole:
        return m_kind;
    case Role263Flag:
        return m_role263Flag;
    case OriginatingPresetRole:
        return m_originatingPreset;
    case ColorIdRole:
        return m_colorId;
    default:
        return QVariant();
    }
}

bool VeyColorLibraryItem::setData(const QVariant &value, int role)
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        setName(value.toString());
        return true;
    case ColorRole:
        setColor(value.userType() == qMetaTypeId<VeyColor>() ? value.value<VeyColor>()
                                                             : VeyColor(value.toString()));
        return true;
    case UidRole:
        m_uid = value.toString();
        m_kind = UidKind;
        return true;
    case Key2Role:
        m_key2 = value.toString();
        m_kind = Key2Kind;
        return true;
    case Key3Role:
        m_key3 = value.toString();
        m_kind = Key3Kind;
        return true;
    case UserListRole:
        m_userList = value.toBool();
        return true;
    case Role263Flag:
        m_role263Flag = value.toBool();
        return true;
    case OriginatingPresetRole:
        m_originatingPreset = value.toString();
        return true;
    case ColorIdRole:
        m_colorId = value.toString();
        return true;
    default:
        return false;
    }
}

QStringList VeyColorLibraryItem::mimeFormats() const
{
    if (!m_uid.isEmpty() || !m_key2.isEmpty() || !m_key3.isEmpty())
        return {QStringLiteral("data/x-veycolor")};
    return {};
}

bool VeyColorLibraryItem::writeMimeData(const QString &format, QDataStream &stream) const
{
    if (format != QLatin1String("data/x-veycolor"))
        return false;
    stream << m_uid.toLatin1() << m_color.toString().toLatin1();
    return true;
}

void VeyColorLibraryItem::handleInsertColor(QString uid, QString name, QString valueString,
                                            QString originatingPreset, QString, QString vendorID)
{
    if (!addColorWithUid(uid, VeyColor(valueString)))
        return;
    for (VeyColorLibraryItem *c : std::as_const(m_children)) {
        if (c->m_uid != uid)
            continue;
        c->setName(name);
        c->m_originatingPreset = originatingPreset;
        c->m_colorId = vendorID;
        break;
    }
}
