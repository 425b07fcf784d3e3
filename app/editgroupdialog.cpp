#include "editgroupdialog.h"
#include "ui_editgroupdialog.h"

#include "groupeditrules.h"
#include "groupviewgroup.h"

#include "model/group.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QItemSelection>
#include <QSet>
#include <QSignalBlocker>

namespace {
GroupViewGroup *rowOf(QTreeWidgetItem *item)
{
    return item && item->type() == GroupViewGroup::Type ? static_cast<GroupViewGroup *>(item)
                                                        : nullptr;
}

bool isLightRow(const GroupViewGroup *row)
{
    return row->groupType() == Group::OwnLight;
}

// Takes every row out of tree in one go; one rebuild instead of a removal per row keeps a
// list of thousands of lights fast.
QList<QTreeWidgetItem *> takeAll(QTreeWidget *tree)
{
    return tree->invisibleRootItem()->takeChildren();
}

void putBack(QTreeWidget *tree, const QList<QTreeWidgetItem *> &rows)
{
    // A sorted tree inserts row by row; unsorted it takes the rows in one insertion, and
    // turning sorting back on sorts them once, at once.
    const bool sorted = tree->isSortingEnabled();
    tree->setSortingEnabled(false);
    tree->addTopLevelItems(rows);
    tree->setSortingEnabled(sorted);
}

void selectRows(QTreeWidget *tree, QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    for (int i = 0; i < rows.size();) {
        int j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        selection.select(tree->model()->index(rows.at(i), 0), tree->model()->index(rows.at(j), 0));
        i = j + 1;
    }
    tree->selectionModel()->select(selection,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
} // namespace

EditGroupDialog::EditGroupDialog(MapModel *map, SelectionEffect *selection, Group *group,
                                 QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::EditGroupDialog>()), m_map(map),
      m_selection(selection), m_group(group)
{
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint) & ~Qt::WindowContextHelpButtonHint);
    ui->m_groupListView->sortByColumn(0, Qt::AscendingOrder);
    ui->m_lightListView->sortByColumn(0, Qt::AscendingOrder);
    connect(ui->buttonOk, &QPushButton::clicked, this, &EditGroupDialog::handleOkButtonClicked);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->m_upButton, &QPushButton::clicked, this, &EditGroupDialog::upButtonClicked);
    connect(ui->m_downButton, &QPushButton::clicked, this, &EditGroupDialog::downButtonClicked);
    connect(ui->m_removeButton, &QPushButton::clicked, this, &EditGroupDialog::removeButtonClicked);
    connect(ui->m_addGroupButton, &QPushButton::clicked, this,
            &EditGroupDialog::addGroupButtonClicked);
    connect(ui->m_addLightButton, &QPushButton::clicked, this,
            &EditGroupDialog::addLightButtonClicked);
    connect(ui->m_memberListView, &QTreeWidget::itemSelectionChanged, this,
            &EditGroupDialog::handleMemberSelectionChanged);
    connect(ui->m_groupListView, &QTreeWidget::itemDoubleClicked, this,
            &EditGroupDialog::handleGroupDoubleClicked);
    connect(ui->m_groupListView, &QTreeWidget::itemSelectionChanged, this,
            &EditGroupDialog::handleGroupSelectionChanged);
    connect(ui->m_lightListView, &QTreeWidget::itemDoubleClicked, this,
            &EditGroupDialog::handleLightDoubleClicked);
    connect(ui->m_lightListView, &QTreeWidget::itemSelectionChanged, this,
            &EditGroupDialog::handleLightSelectionChanged);
    fill();
    updateButtonState();
}

void EditGroupDialog::fill()
{
    if (!m_map || !m_group)
        return;
    ui->m_nameLineEdit->setText(m_group->name());
    (m_group->type() == Group::Chasing ? ui->m_chasingRadioButton : ui->m_synchronizedRadioButton)
        ->setChecked(true);

    QSet<quint64> excluded{m_group->uid()};
    QList<QTreeWidgetItem *> members;
    for (quint64 uid : m_group->children()) {
        if (Group *member = m_map->group(uid)) {
            members.append(new GroupViewGroup(member));
            excluded.insert(uid);
        }
    }
    ui->m_memberListView->addTopLevelItems(members);
    // The group itself counts: a file can list a group among its own members.
    m_containing.insert(m_group->uid());
    for (quint64 uid : GroupEditRules::containingGroups(m_map, m_group->uid()))
        m_containing.insert(uid);
    excluded.unite(m_containing);

    QList<QTreeWidgetItem *> groups;
    QList<QTreeWidgetItem *> lights;
    const QHash<quint64, Group *> all = m_map->groups();
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (excluded.contains(it.key()))
            continue;
        (it.value()->type() == Group::OwnLight ? lights : groups)
            .append(new GroupViewGroup(it.value()));
    }
    putBack(ui->m_groupListView, groups);
    putBack(ui->m_lightListView, lights);
}

bool EditGroupDialog::stillInMap(const GroupViewGroup *row) const
{
    if (!m_map || !row)
        return false;
    return isLightRow(row) ? m_map->light(row->uid()) != nullptr
                           : m_map->group(row->uid()) != nullptr;
}

QList<int> EditGroupDialog::selectedMemberRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ui->m_memberListView->selectionModel()->selectedRows())
        rows.append(index.row());
    return rows;
}

void EditGroupDialog::moveToMembers(QTreeWidget *from, const QList<QTreeWidgetItem *> &pick)
{
    QSet<QTreeWidgetItem *> wanted;
    for (QTreeWidgetItem *item : pick) {
        if (stillInMap(rowOf(item)))
            wanted.insert(item);
    }
    if (wanted.isEmpty())
        return;
    {
        const QSignalBlocker blockFrom(from);
        const QSignalBlocker blockMembers(ui->m_memberListView);
        QList<QTreeWidgetItem *> moving;
        QList<QTreeWidgetItem *> staying;
        for (QTreeWidgetItem *item : takeAll(from))
            (wanted.contains(item) ? moving : staying).append(item);
        putBack(from, staying);
        ui->m_memberListView->addTopLevelItems(moving);
    }
    // One report of the selection as the moves left it.
    if (from == ui->m_groupListView)
        handleGroupSelectionChanged();
    else
        handleLightSelectionChanged();
    updateButtonState();
}

void EditGroupDialog::addGroupButtonClicked()
{
    moveToMembers(ui->m_groupListView, ui->m_groupListView->selectedItems());
}

void EditGroupDialog::addLightButtonClicked()
{
    moveToMembers(ui->m_lightListView, ui->m_lightListView->selectedItems());
}

void EditGroupDialog::handleGroupDoubleClicked(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    moveToMembers(ui->m_groupListView, {item});
}

void EditGroupDialog::handleLightDoubleClicked(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    moveToMembers(ui->m_lightListView, {item});
}

void EditGroupDialog::removeButtonClicked()
{
    const QList<QTreeWidgetItem *> picked = ui->m_memberListView->selectedItems();
    if (picked.isEmpty())
        return;
    const QSet<QTreeWidgetItem *> wanted(picked.cbegin(), picked.cend());
    {
        const QSignalBlocker blockMembers(ui->m_memberListView);
        const QSignalBlocker blockGroups(ui->m_groupListView);
        const QSignalBlocker blockLights(ui->m_lightListView);
        QList<QTreeWidgetItem *> staying;
        QList<QTreeWidgetItem *> groups;
        QList<QTreeWidgetItem *> lights;
        for (QTreeWidgetItem *item : takeAll(ui->m_memberListView)) {
            GroupViewGroup *row = rowOf(item);
            if (!wanted.contains(item) || !row)
                staying.append(item);
            else if (m_containing.contains(row->uid()))
                delete item; // only a file can make it a member; it is never offered
            else
                (isLightRow(row) ? lights : groups).append(item);
        }
        ui->m_memberListView->addTopLevelItems(staying);
        if (!groups.isEmpty())
            putBack(ui->m_groupListView, takeAll(ui->m_groupListView) + groups);
        if (!lights.isEmpty())
            putBack(ui->m_lightListView, takeAll(ui->m_lightListView) + lights);
    }
    handleMemberSelectionChanged();
}

void EditGroupDialog::reorderMembers(const QList<int> &order)
{
    QTreeWidget *tree = ui->m_memberListView;
    const QList<int> selected = selectedMemberRows();
    {
        const QSignalBlocker block(tree);
        const QList<QTreeWidgetItem *> rows = takeAll(tree);
        QList<QTreeWidgetItem *> reordered;
        reordered.reserve(rows.size());
        QList<int> newPositions;
        const QSet<int> wasSelected(selected.cbegin(), selected.cend());
        for (int i = 0; i < order.size(); ++i) {
            reordered.append(rows.at(order.at(i)));
            if (wasSelected.contains(order.at(i)))
                newPositions.append(i);
        }
        tree->addTopLevelItems(reordered);
        selectRows(tree, newPositions);
    }
    handleMemberSelectionChanged();
}

void EditGroupDialog::upButtonClicked()
{
    const int count = ui->m_memberListView->topLevelItemCount();
    const QList<int> order = GroupEditRules::movedUp(count, selectedMemberRows());
    reorderMembers(order);
}

void EditGroupDialog::downButtonClicked()
{
    const int count = ui->m_memberListView->topLevelItemCount();
    const QList<int> order = GroupEditRules::movedDown(count, selectedMemberRows());
    reorderMembers(order);
}

void EditGroupDialog::updateButtonState()
{
    const QList<int> rows = selectedMemberRows();
    ui->m_removeButton->setEnabled(!rows.isEmpty());
    const bool run = GroupEditRules::isUnbrokenRun(rows);
    ui->m_upButton->setEnabled(run);
    ui->m_downButton->setEnabled(run);
}

void EditGroupDialog::handleMemberSelectionChanged()
{
    if (m_selection) {
        m_selection->clearSelection();
        const QTreeWidget *tree = ui->m_memberListView;
        const QList<QTreeWidgetItem *> picked = tree->selectedItems();
        const QSet<QTreeWidgetItem *> selected(picked.cbegin(), picked.cend());
        // Unselected rows count too: a later unselected row clears the lights it shares with
        // an earlier selected one.
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const GroupViewGroup *row = rowOf(tree->topLevelItem(i));
            if (!row)
                continue;
            const bool s = selected.contains(tree->topLevelItem(i));
            if (isLightRow(row))
                m_selection->setLightSelected(row->uid(), s);
            else
                m_selection->setGroupSelected(row->uid(), s);
        }
    }
    updateButtonState();
}

void EditGroupDialog::handleGroupSelectionChanged()
{
    if (m_selection) {
        m_selection->clearSelection();
        for (QTreeWidgetItem *item : ui->m_groupListView->selectedItems()) {
            const GroupViewGroup *row = rowOf(item);
            if (row && !isLightRow(row))
                m_selection->setGroupSelected(row->uid(), true);
        }
    }
    updateButtonState();
}

void EditGroupDialog::handleLightSelectionChanged()
{
    if (!m_selection)
        return;
    m_selection->clearSelection();
    for (QTreeWidgetItem *item : ui->m_lightListView->selectedItems()) {
        const GroupViewGroup *row = rowOf(item);
        if (row && isLightRow(row))
            m_selection->setLightSelected(row->uid(), true);
    }
}

void EditGroupDialog::handleOkButtonClicked()
{
    if (m_map && m_group) {
        {
            // Emptied silently: the additions below announce the group.
            const QSignalBlocker block(m_group);
            while (!m_group->children().isEmpty())
                m_group->removeChild(m_group->children().first());
        }
        QList<quint64> members;
        for (int i = 0; i < ui->m_memberListView->topLevelItemCount(); ++i) {
            if (const GroupViewGroup *row = rowOf(ui->m_memberListView->topLevelItem(i)))
                members.append(row->uid());
        }
        if (!members.isEmpty())
            m_group->addChildren(members);
        m_group->setName(ui->m_nameLineEdit->text());
        m_group->setType(ui->m_chasingRadioButton->isChecked() ? Group::Chasing
                                                               : Group::Synchronized);
        // Every group above the edited one, at any depth, holds a matrix built from the old
        // members; all are dropped first, so whichever compiles first rebuilds what it
        // stands on.
        QList<Group *> holders;
        for (quint64 uid : GroupEditRules::containingGroups(m_map, m_group->uid())) {
            if (Group *holder = m_map->group(uid)) {
                // A holder keeps the steps it worked out from its members until its own
                // members or type change: re-applying the type makes it work them out anew.
                holder->setType(holder->type());
                holder->freeLightMatrix();
                holders.append(holder);
            }
        }
        m_group->compile();
        for (Group *holder : std::as_const(holders))
            holder->compile();
    }
    accept();
}

EditGroupDialog::~EditGroupDialog() = default;
