#include "groupview.h"

#include "editgroupdialog.h"
#include "groupviewgroup.h"

#include "model/group.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int ReservedGroups = 15000;
}

GroupView::GroupView(MapModel *map, SelectionEffect *selection, QWidget *parent)
    : QTreeWidget(parent), m_map(map), m_selection(selection)
{
    setHeaderLabels({tr("Name")});
    setRootIsDecorated(true);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    m_items.reserve(ReservedGroups);

    m_menu = new QMenu(tr("Popup Group Menu"), this);
    m_editAction = m_menu->addAction(tr("Edit Group..."));
    m_duplicateAction = m_menu->addAction(tr("Duplicate Group"));
    m_menu->addSeparator();
    m_highlightAction = m_menu->addAction(tr("Highlight Group"));
    m_menu->addSeparator();
    m_deleteAction = m_menu->addAction(tr("Delete Group"));

    if (m_map) {
        connect(m_map, &MapModel::newGroup, this, &GroupView::handleNewGroup);
        connect(m_map, &MapModel::updatedGroup, this, &GroupView::handleUpdatedGroup);
        connect(m_map, &MapModel::deletedGroup, this, &GroupView::handleDeletedGroup);
        connect(m_map, &MapModel::clearedMap, this, &GroupView::handleClearedMap);
        connect(m_map, &MapModel::batchStarted, this, &GroupView::handleBatchStarted);
        connect(m_map, &MapModel::batchFinished, this, &GroupView::handleBatchFinished);
    }
    connect(m_editAction, &QAction::triggered, this, &GroupView::handleEditGroup);
    connect(m_duplicateAction, &QAction::triggered, this, &GroupView::handleDuplicateGroup);
    connect(m_highlightAction, &QAction::triggered, this, &GroupView::handleHighlightGroup);
    connect(m_deleteAction, &QAction::triggered, this, &GroupView::handleDeleteGroup);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &GroupView::handleDoubleClicked);
    connect(this, &QWidget::customContextMenuRequested, this,
            &GroupView::handleContextMenuRequested);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &GroupView::handleSelectionChanged);
    connect(this, &QTreeWidget::itemClicked, this, &GroupView::handleSelectionChanged);
}

void GroupView::handleNewGroup(quint64 uid)
{
    Group *g = m_map ? m_map->group(uid) : nullptr;
    if (g && g->type() != Group::OwnLight) {
        // A group announced twice keeps one row.
        if (m_items.contains(uid)) {
            placePendingRows();
            delete m_items.take(uid);
        }
        auto *item = new GroupViewGroup(g);
        m_items.insert(uid, item);
        if (m_batch)
            m_pendingRows.append(item);
        else
            insertTopLevelItem(0, item);
    }
    emit setDirty(true);
}

void GroupView::handleBatchStarted()
{
    m_batch = true;
}

void GroupView::handleBatchFinished()
{
    m_batch = false;
    placePendingRows();
}

void GroupView::placePendingRows()
{
    if (m_pendingRows.isEmpty())
        return;
    // Each row would have gone in first, so the last announced leads, as one by one.
    std::reverse(m_pendingRows.begin(), m_pendingRows.end());
    insertTopLevelItems(0, m_pendingRows);
    m_pendingRows.clear();
}

void GroupView::handleUpdatedGroup(quint64 uid)
{
    GroupViewGroup *item = m_items.value(uid);
    Group *g = m_map ? m_map->group(uid) : nullptr;
    if (item && g)
        item->update(g);
    emit setDirty(true);
}

void GroupView::handleDeletedGroup(quint64 uid)
{
    placePendingRows();
    delete m_items.take(uid);
    emit setDirty(true);
}

void GroupView::handleClearedMap()
{
    placePendingRows();
    clear();
    m_items.clear();
}

void GroupView::handleSelectionChanged()
{
    if (!m_selection)
        return;
    m_selection->clearSelection();
    const QList<QTreeWidgetItem *> selected = selectedItems();
    int groups = 0;
    for (QTreeWidgetItem *item : selected) {
        if (item->type() != GroupViewGroup::Type)
            continue;
        ++groups;
        m_selection->setGroupSelected(static_cast<GroupViewGroup *>(item)->uid(), true);
    }
    m_severalSelected = groups > 1;
}

void GroupView::prepareMenu(GroupViewGroup *item)
{
    m_popupUid = item ? item->uid() : 0;
    const bool single = !m_severalSelected;
    m_editAction->setEnabled(single);
    m_duplicateAction->setEnabled(single);
    m_highlightAction->setEnabled(single);
    m_deleteAction->setText(m_severalSelected ? tr("Delete Groups") : tr("Delete Group"));
}

void GroupView::handleContextMenuRequested(const QPoint &p)
{
    if (!indexAt(p).isValid())
        return;
    QTreeWidgetItem *item = itemAt(p);
    if (!item || item->type() != GroupViewGroup::Type)
        return;
    prepareMenu(static_cast<GroupViewGroup *>(item));
    m_menu->exec(viewport()->mapToGlobal(p));
}

void GroupView::handleEditGroup()
{
    if (Group *g = m_map ? m_map->group(m_popupUid) : nullptr) {
        EditGroupDialog editor(m_map, m_selection, g, this);
        editor.exec();
    }
}

void GroupView::handleDoubleClicked(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    if (!item || item->type() != GroupViewGroup::Type || !m_map || !m_selection)
        return;
    const quint64 uid = static_cast<GroupViewGroup *>(item)->uid();
    Group *g = m_map->group(uid);
    if (!g)
        return;
    {
        EditGroupDialog editor(m_map, m_selection, g, this);
        editor.exec();
    }
    // Looked up again: the row may be gone by the time the editor closes.
    if (GroupViewGroup *row = m_items.value(uid))
        m_selection->setGroupSelected(uid, row->isSelected());
}

void GroupView::handleHighlightGroup()
{
    if (m_map && m_selection && m_map->group(m_popupUid))
        m_selection->highlightGroup(m_popupUid);
}

void GroupView::handleDuplicateGroup()
{
    Group *source = m_map ? m_map->group(m_popupUid) : nullptr;
    if (!source)
        return;
    auto *copy = new Group(source->type(), m_map->nextUid(), tr("Copy of ") + source->name());
    copy->addChildren(source->orderedLightUids());
    if (!m_map->addGroup(copy))
        delete copy;
}

void GroupView::handleDeleteGroup()
{
    if (m_selection)
        m_selection->clearSelection();
    m_pendingDeletions.clear();
    for (QTreeWidgetItem *item : selectedItems()) {
        if (item->type() == GroupViewGroup::Type)
            m_pendingDeletions << static_cast<GroupViewGroup *>(item)->uid();
    }
    // Deferred: the menu that called us may still be on the stack with a pointer to a row.
    QTimer::singleShot(0, this, &GroupView::deleteGIDs);
}

void GroupView::deleteGIDs()
{
    if (m_map) {
        for (quint64 uid : std::as_const(m_pendingDeletions))
            m_map->deleteGroup(uid);
        m_map->flushChangedGroups();
    }
    m_pendingDeletions.clear();
}
