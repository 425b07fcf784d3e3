#include "colour/veycolorlibrary.h"

#include "colour/veycolor.h"
#include "colour/veycolorlibraryitem.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString projectSwatches = QStringLiteral("Project Swatches");
const QString explicitColors = QStringLiteral("Explicit Colors");

QString &userColorBaseOverride()
{
    static QString base;
    return base;
}

VeyColorLibrary::SwatchRenderer &installedSwatchRenderer()
{
    static VeyColorLibrary::SwatchRenderer renderer;
    return renderer;
}

// XML 1.0 cannot carry most control characters, not even as character references, and the
// DOM writer passes them through raw; a name holding one would make the whole file
// unreadable. Each becomes U+FFFD. Tab, line feed and carriage return inside attribute values
// are already written as references by the DOM writer.
QString withOnlyXmlCharacters(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        const char16_t u = c.unicode();
        const bool allowed = (u >= 0x20 || u == 0x9 || u == 0xA || u == 0xD) && !c.isSurrogate() &&
                             u != 0xFFFE && u != 0xFFFF;
        out += allowed ? c : QChar(QChar::ReplacementCharacter);
    }
    return out;
}

} // namespace

VeyColorLibrary *VeyColorLibrary::instance()
{
    static VeyColorLibrary *library = new VeyColorLibrary;
    return library;
}

VeyColorLibrary::VeyColorLibrary() : m_root(new VeyColorLibraryItem(nullptr))
{
    auto *explicitList = new VeyColorLibraryItem(m_root);
    explicitList->setName(explicitColors);
    explicitList->setData(false, VeyColorLibraryItem::Role263Flag);
    m_root->appendChild(explicitList);
    auto *swatches = new VeyColorLibraryItem(m_root);
    swatches->setName(projectSwatches);
    m_root->appendChild(swatches);
    setData(indexOf(swatches), true, VeyColorLibraryItem::UserListRole);
}

VeyColorLibrary::~VeyColorLibrary()
{
    if (m_savePending)
        saveUserColors();
    m_destroying = true;
    removeRows(0, m_root->childCount(), rootIndex());
    beginResetModel();
    delete m_root;
    m_root = nullptr;
    endResetModel();
}

VeyColorLibraryItem *VeyColorLibrary::itemOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<VeyColorLibraryItem *>(index.internalPointer()) : nullptr;
}

QModelIndex VeyColorLibrary::indexOf(VeyColorLibraryItem *item, int column) const
{
    if (!item)
        return QModelIndex();
    VeyColorLibraryItem *parentItem = item->parentItem();
    return createIndex(parentItem ? parentItem->row(item) : 0, column, item);
}

QModelIndex VeyColorLibrary::rootIndex() const
{
    return indexOf(m_root);
}

QModelIndex VeyColorLibrary::index(int row, int column, const QModelIndex &parent) const
{
    VeyColorLibraryItem *parentItem = itemOf(parent);
    VeyColorLibraryItem *child = parentItem ? parentItem->child(row) : nullptr;
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex VeyColorLibrary::parent(const QModelIndex &index) const
{
    VeyColorLibraryItem *item = itemOf(index);
    if (!item || item == m_root || !item->parentItem())
        return QModelIndex();
    // Found by position, not by name: two lists may share a name.
    return indexOf(item->parentItem());
}

int VeyColorLibrary::rowCount(const QModelIndex &parent) const
{
    VeyColorLibraryItem *item = itemOf(parent);
    return item ? item->childCount() : 0;
}

int VeyColorLibrary::columnCount(const QModelIndex &parent) const
{
    VeyColorLibraryItem *item = itemOf(parent);
    return item ? item->columnCount() : 0;
}

bool VeyColorLibrary::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) != 0;
}

QVariant VeyColorLibrary::data(const QModelIndex &index, int role) const
{
    VeyColorLibraryItem *item = itemOf(index);
    return item ? item->data(role, index.column()) : QVariant();
}

bool VeyColorLibrary::isUserList(const QModelIndex &index) const
{
    return index.isValid() && parent(index) == rootIndex() && (flags(index) & Qt::ItemIsEditable);
}

bool VeyColorLibrary::setData(const QModelIndex &index, const QVariant &value, int role)
{
    VeyColorLibraryItem *item = itemOf(index);
    if (!item)
        return false;
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        const QString name = value.toString();
        VeyColorLibraryItem *parentItem = item->parentItem();
        if (parentItem ? parentItem->childNames().contains(name) : item->name() == name)
            return false;
    }
    const bool result = item->setData(value, role);
    emitChangedUnlessRoot(index);
    if (!m_destroying && m_savingEnabled && (isUserList(parent(index)) || isUserList(index)))
        requestSave();
    return result;
}

QVariant VeyColorLibrary::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QVariant();
    return section == 0 ? tr("Swatches") : tr("Color ID");
}

QStringList VeyColorLibrary::mimeTypes() const
{
    return m_root->mimeFormats();
}

QMimeData *VeyColorLibrary::mimeData(const QModelIndexList &indexes) const
{
    QMimeData *mime = nullptr;
    QString colors, names, presets, ids;
    for (const QModelIndex &index : indexes) {
        VeyColorLibraryItem *item = itemOf(index);
        if (!item)
            continue;
        if (!mime)
            mime = new QMimeData;
        colors += item->uid() + item->color().toString();
        names += item->name();
        presets += item->originatingPreset();
        ids += item->colorId();
        if (index != indexes.last()) {
            for (QString *text : {&colors, &names, &presets, &ids})
                *text += QLatin1Char(',');
        }
    }
    if (!mime)
        return nullptr;
    const std::pair<const char *, const QString *> formats[] = {
        {"data/x-veycolor", &colors},
        {"data/x-veycolor-name", &names},
        {"data/x-veycolor-originatingPreset", &presets},
        {"data/x-veycolor-vendorid", &ids},
    };
    for (const auto &[format, text] : formats)
        if (!text->isEmpty())
            mime->setData(QString::fromLatin1(format), text->toLatin1());
    return mime;
}

bool VeyColorLibrary::insertRows(int row, int count, const QModelIndex &parent)
{
    VeyColorLibraryItem *item = itemOf(parent);
    if (!item || row < 0 || count < 1 || row > item->childCount())
        return false;
    beginInsertRows(parent, row, row + count - 1);
    item->insertChildren(row, count);
    endInsertRows();
    emitChangedUnlessRoot(parent);
    return true;
}

bool VeyColorLibrary::removeRows(int row, int count, const QModelIndex &parent)
{
    VeyColorLibraryItem *item = itemOf(parent);
    if (!item || item->childCount() == 0 || row < 0 || count < 1 ||
        row + count > item->childCount())
        return false;
    const bool save = !m_destroying && (isUserList(parent) || isUserList(index(row, 0, parent)));
    beginRemoveRows(parent, row, row + count - 1);
    item->removeChildren(row, count);
    endRemoveRows();
    emitChangedUnlessRoot(parent);
    if (save)
        requestSave();
    return true;
}

Qt::ItemFlags VeyColorLibrary::flags(const QModelIndex &index) const
{
    VeyColorLibraryItem *item = itemOf(index);
    // The model contract (and Qt's model checker) wants no flags but drop for the invalid index.
    if (!item)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    if (item->childCount() == 0)
        f |= Qt::ItemIsDragEnabled;
    if (index.column() == 0 && item->isUserList() &&
        item->data(Qt::EditRole, 0).toString() != projectSwatches)
        f |= Qt::ItemIsEditable;
    return f;
}

VeyColorLibraryItem *VeyColorLibrary::topLevelList(const QString &name) const
{
    for (int i = 0; i < m_root->childCount(); ++i)
        if (m_root->child(i)->name() == name)
            return m_root->child(i);
    return nullptr;
}

VeyColorLibraryItem *VeyColorLibrary::colorWithUid(const QString &uid) const
{
    for (int i = 0; i < m_root->childCount(); ++i)
        if (VeyColorLibraryItem *c = m_root->child(i)->childWithUid(uid))
            return c;
    return nullptr;
}

void VeyColorLibrary::emitChangedUnlessRoot(const QModelIndex &index)
{
    // The root item has no row a view could reach from the invalid index, so a change
    // reported for it would break the model contract.
    if (itemOf(index) != m_root)
        emit dataChanged(index, index);
}

void VeyColorLibrary::onColorLibraryListChanged(QString listId)
{
    emit changed(listId);
}

void VeyColorLibrary::createColorList(QString colorListName, bool isUserList)
{
    const QString name = VeyColorLibraryItem::uniqueName(colorListName, m_root->childNames());
    const int row = m_root->childCount();
    beginInsertRows(rootIndex(), row, row);
    auto *list = new VeyColorLibraryItem(m_root);
    list->setName(name);
    m_root->appendChild(list);
    list->setUserList(isUserList);
    endInsertRows();
    if (isUserList && m_savingEnabled)
        requestSave();
}

void VeyColorLibrary::handleInsertColor(QString uid, QString name, QString valueString, QString,
                                        QString listId, QString vendorID)
{
    const VeyColor color(valueString);
    VeyColorLibraryItem *list = topLevelList(listId);
    if (!list) {
        insertRows(m_root->childCount(), 1, rootIndex());
        list = m_root->child(m_root->childCount() - 1);
        setData(indexOf(list), listId, Qt::EditRole);
    }
    const QModelIndex listIndex = indexOf(list);
    const int row = list->childCount();
    beginInsertRows(listIndex, row, row);
    const QString usedUid = list->addColor(color, uid, list->childNames(), QString(), vendorID);
    endInsertRows();
    if (isUserList(listIndex))
        requestSave();
    emit dataChanged(listIndex, listIndex);
    emit addedColorToList(listIndex);

    const QString unique = VeyColorLibraryItem::uniqueName(name, list->childNames());
    VeyColorLibraryItem *added = colorWithUid(usedUid);
    if (!added)
        return;
    const QString preset = added->originatingPreset();
    const QString colorId = added->colorId();
    const QModelIndex addedIndex = indexOf(added);
    setData(addedIndex, unique, Qt::EditRole);
    setData(addedIndex, preset, VeyColorLibraryItem::OriginatingPresetRole);
    setData(addedIndex, colorId, VeyColorLibraryItem::ColorIdRole);
    emit dataChanged(addedIndex, addedIndex);
}

QString VeyColorLibrary::userColorFolder()
{
    static const QString standardBase = [] {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        return data.isEmpty() ? QDir::homePath() : data;
    }();
    const QString &base =
        userColorBaseOverride().isEmpty() ? standardBase : userColorBaseOverride();
    return base + QStringLiteral("/Marrowby Quorvane");
}

void VeyColorLibrary::setUserColorBaseFolder(const QString &base)
{
    userColorBaseOverride() = base;
}

void VeyColorLibrary::requestSave()
{
    // Without an event loop nothing would ever write a deferred save.
    if (!QCoreApplication::instance()) {
        saveUserColors();
        return;
    }
    if (m_savePending)
        return;
    m_savePending = true;
    // The library outlives the event loop, so a save still waiting at quit is written then.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &VeyColorLibrary::savePendingColors, Qt::UniqueConnection);
    QMetaObject::invokeMethod(this, &VeyColorLibrary::savePendingColors, Qt::QueuedConnection);
}

void VeyColorLibrary::savePendingColors()
{
    if (m_savePending)
        saveUserColors();
}

namespace {

// The saved text also goes to the debug log, once per save: saves come one per operation.
bool writeLogged(QSaveFile &file, const QByteArray &bytes)
{
    qDebug().noquote() << QString::fromUtf8(bytes);
    return file.write(bytes) == bytes.size();
}

} // namespace

bool VeyColorLibrary::saveUserColors()
{
    m_savePending = false;
    if (!m_savingEnabled)
        return true;
    QDomDocument doc;
    QDomElement root = doc.createElement(QStringLiteral("ColorLibraryList"));
    doc.appendChild(root);
    const QModelIndex top = rootIndex();
    for (int i = 0; i < m_root->childCount(); ++i) {
        if (!isUserList(index(i, 0, top)))
            continue;
        bool ok = false;
        root.appendChild(m_root->child(i)->toDomElement(doc, &ok, QStringLiteral("Hx3"), true));
    }
    const QString folder = userColorFolder();
    QDir().mkpath(folder);
    const QByteArray bytes = withOnlyXmlCharacters(doc.toString(1)).toUtf8();
    // Unbuffered, and a short write counts as a failure: the toolkit reports a partial write
    // (a full disk, a file-size limit) as success and would commit a cut-off file.
    QSaveFile file(folder + QStringLiteral("/userColors.xml"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered) ||
        !writeLogged(file, bytes) || !file.commit()) {
        qWarning().noquote() << "Could not save the user colours to" << file.fileName() << ":"
                             << file.errorString();
        return false;
    }
    emit userColorsSaved();
    return true;
}

const VeyColorLibrary::SwatchRenderer &VeyColorLibrary::swatchRenderer()
{
    return installedSwatchRenderer();
}

void VeyColorLibrary::setSwatchRenderer(SwatchRenderer renderer)
{
    installedSwatchRenderer() = std::move(renderer);
}
