#include "lightview.h"

#include "dialogs/userprompt.h"
#include "lightviewinterface.h"
#include "lightviewlight.h"

#include "dialogs/associateinterfacedialog.h"
#include "dialogs/cloneinterface.h"
#include "dialogs/discoverlightswizard.h"
#include "dialogs/editcontrollerdialog.h"
#include "dialogs/editlightsdialog.h"

#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QHeaderView>
#include <QMenu>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QThread>
#include <QTreeWidgetItemIterator>

#include <utility>

namespace {
constexpr int ReservedItems = 15000;
constexpr unsigned long HighlightWaitMs = 500;

// A menu entry whose dialog is not part of the program yet stays in sight but cannot run.
void setShown(QAction *action, bool shown)
{
    action->setVisible(shown);
    action->setEnabled(shown && action->property("available").toBool());
}

QAction *addEntry(QMenu *menu, const QString &text, bool available)
{
    QAction *a = menu->addAction(text);
    a->setProperty("available", available);
    a->setEnabled(available);
    return a;
}
} // namespace

LightView::LightView(MapModel *map, EffectEngine *engine, QWidget *parent, const QString &name)
    : QTreeWidget(parent), m_map(map), m_engine(engine)
{
    Q_UNUSED(name); // the main window names the tree; it keeps no name of its own
    setColumnCount(3);
    setHeaderLabels({tr("Name"), tr("Port #"), tr("DMX Channel")});
    // Ascending by name: the header's own default would list every name backwards.
    sortByColumn(0, Qt::AscendingOrder);
    setSortingEnabled(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    m_lightItems.reserve(ReservedItems);
    m_interfaceItems.reserve(ReservedItems);
    buildMenus();
    if (m_map) {
        connect(m_map, &MapModel::newDataSupply, this, &LightView::handleNewController);
        connect(m_map, &MapModel::updatedDataSupply, this, &LightView::handleUpdatedController);
        connect(m_map, &MapModel::newLight, this, &LightView::handleNewLight);
        connect(m_map, &MapModel::updatedLight, this, &LightView::handleUpdatedLight);
        connect(m_map, &MapModel::deletedLight, this, &LightView::handleDeletedLight);
        connect(m_map, &MapModel::clearedMap, this, &LightView::handleClearedMap);
        connect(m_map, &MapModel::batchStarted, this, &LightView::handleBatchStarted);
        connect(m_map, &MapModel::batchFinished, this, &LightView::handleBatchFinished);
    }
    // The tree's model reorders rows only inside a layout change; the name keys live that long.
    connect(model(), &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { m_nameKeys.start(); });
    connect(model(), &QAbstractItemModel::layoutChanged, this, [this] { m_nameKeys.finish(); });
    connect(this, &QTreeWidget::itemDoubleClicked, this, &LightView::handleDoubleClicked);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &LightView::handleSelectionChanged);
    connect(this, &QWidget::customContextMenuRequested, this,
            &LightView::handleContextMenuRequested);
}

LightView::~LightView() = default;

void LightView::buildMenus()
{
    m_lightMenu = new QMenu(tr("Popup Light Menu"), this);
    m_editLightAction = addEntry(m_lightMenu, tr("Edit Light(s)..."), true);
    m_deleteLightAction = addEntry(m_lightMenu, tr("Delete Light(s)..."), true);
    connect(m_editLightAction, &QAction::triggered, this, &LightView::handleEditLight);
    connect(m_deleteLightAction, &QAction::triggered, this, &LightView::handleDeleteLight);

    m_interfaceMenu = new QMenu(tr("Popup Interface Menu"), this);
    m_highlightAction = addEntry(m_interfaceMenu, tr("Highlight Interface"), true);
    m_interfaceMenu->addSeparator();
    m_selectAllAction = addEntry(m_interfaceMenu, tr("Select All Lights"), true);
    m_editAllAction = addEntry(m_interfaceMenu, tr("Edit All Lights..."), true);
    m_discoverLightsAction = addEntry(m_interfaceMenu, tr("Discover Lights..."), true);
    m_interfaceMenu->addSeparator();
    m_associateAction =
        addEntry(m_interfaceMenu, tr("Associate with Discovered Interface..."), true);
    m_unassociateAction = addEntry(m_interfaceMenu, tr("Unassociate Interface"), true);
    m_interfaceMenu->addSeparator();
    m_editInterfaceAction = addEntry(m_interfaceMenu, tr("Edit Interface..."), true);
    m_deleteInterfaceAction = addEntry(m_interfaceMenu, tr("Delete Interface"), true);
    m_cloneAction = addEntry(m_interfaceMenu, tr("Clone Interface..."), true);

    connect(m_highlightAction, &QAction::triggered, this, &LightView::handleHighlightInterface);
    connect(m_selectAllAction, &QAction::triggered, this, &LightView::handleSelectAllLights);
    connect(m_editAllAction, &QAction::triggered, this, &LightView::handleEditAllLights);
    connect(m_discoverLightsAction, &QAction::triggered, this, &LightView::handleDiscoverLights);
    connect(m_associateAction, &QAction::triggered, this, &LightView::handleAssociateInterface);
    connect(m_unassociateAction, &QAction::triggered, this, &LightView::handleUnassociateInterface);
    connect(m_editInterfaceAction, &QAction::triggered, this, &LightView::handleEditInterface);
    connect(m_deleteInterfaceAction, &QAction::triggered, this, &LightView::handleDeleteInterface);
    connect(m_cloneAction, &QAction::triggered, this, &LightView::handleCloneInterface);
}

void LightView::setSelectionEffect(SelectionEffect *selection)
{
    m_selection = selection;
}

void LightView::restoreSorting(int column)
{
    const Qt::SortOrder order = header()->sortIndicatorOrder();
    if (isSortingEnabled()) {
        sortByColumn(column, order);
        return;
    }
    // Switching sorting on sorts by the header's indicator: set it first and sort once, not
    // once for the column and again for switching on.
    header()->setSortIndicator(column, order);
    setSortingEnabled(true);
}

bool LightView::suspendSorting()
{
    const bool sorting = isSortingEnabled();
    setSortingEnabled(false);
    return sorting;
}

void LightView::sortByPort(bool sortingOn)
{
    if (!sortingOn) {
        sortByColumn(1, Qt::AscendingOrder);
        return;
    }
    header()->setSortIndicator(1, Qt::AscendingOrder);
    restoreSorting(1);
}

void LightView::refreshSorted(QTreeWidgetItem *item)
{
    if (item->type() == LightViewInterface::Type) {
        static_cast<LightViewInterface *>(item)->refresh();
        return;
    }
    if (item->type() != LightViewLight::Type)
        return;
    // Re-sorting the whole tree for every changed light made naming a discovered string of n
    // lights cost n full sorts. In a batch the tree sorts once at its end; otherwise the
    // row's change, announced for all its columns, lets a sorted tree move just that row.
    if (m_batch) {
        m_sortAfterBatch = true;
        return;
    }
    const QModelIndex first = indexFromItem(item, 0);
    if (first.isValid())
        emit model()->dataChanged(first, indexFromItem(item, columnCount() - 1));
}

void LightView::addLightItem(quint64 lightUid, quint64 interfaceUid)
{
    LightViewInterface *parentItem = m_interfaceItems.value(interfaceUid);
    Light *light = m_map ? m_map->light(lightUid) : nullptr;
    if (m_lightItems.contains(lightUid) && parentItem && light)
        m_lightItems.insert(lightUid, newLightRow(parentItem, light));
    emit setDirty(true);
}

void LightView::removeInterfaceItem(quint64 interfaceUid)
{
    placePendingRows();
    LightViewInterface *item = m_interfaceItems.take(interfaceUid);
    if (item) {
        if (m_currentItem == item || (m_currentItem && m_currentItem->parent() == item))
            m_currentItem = nullptr;
        const QScopedValueRollback<bool> removing(m_removingRows, true);
        delete item;
    }
    emit setDirty(true);
}

void LightView::handleNewController(quint64 uid)
{
    DataSupply *ds = m_map ? m_map->dataSupply(uid) : nullptr;
    if (ds) {
        auto *item = new LightViewInterface(ds);
        if (m_batch)
            m_pendingInterfaces.append(item);
        else
            addTopLevelItem(item);
        m_interfaceItems.insert(uid, item);
    }
    emit setDirty(true);
}

void LightView::handleUpdatedController(quint64 uid)
{
    LightViewInterface *item = m_interfaceItems.value(uid);
    if (item && m_map && m_map->dataSupply(uid))
        refreshSorted(item);
    emit setDirty(true);
}

void LightView::handleNewLight(quint64 uid)
{
    Light *light = m_map ? m_map->light(uid) : nullptr;
    if (light) {
        LightViewInterface *parentItem = m_interfaceItems.value(light->dataSupplyUid());
        if (parentItem)
            m_lightItems.insert(uid, newLightRow(parentItem, light));
    }
    emit setDirty(true);
}

LightViewLight *LightView::newLightRow(LightViewInterface *parentItem, Light *light)
{
    // Under an interface row that waits outside the tree the light's row hangs at once: no
    // view learns of it yet, so it costs nothing.
    if (!m_batch || !parentItem->treeWidget())
        return new LightViewLight(light, parentItem);
    auto *item = new LightViewLight(light);
    m_pendingLights[parentItem].append(item);
    return item;
}

void LightView::handleBatchStarted()
{
    m_batch = true;
}

void LightView::handleBatchFinished()
{
    m_batch = false;
    placePendingRows();
    if (std::exchange(m_sortAfterBatch, false) && isSortingEnabled())
        sortItems(sortColumn(), header()->sortIndicatorOrder());
    viewport()->update();
}

void LightView::placePendingRows()
{
    for (auto it = m_pendingLights.cbegin(); it != m_pendingLights.cend(); ++it)
        it.key()->addChildren(it.value());
    m_pendingLights.clear();
    if (!m_pendingInterfaces.isEmpty())
        addTopLevelItems(m_pendingInterfaces);
    m_pendingInterfaces.clear();
}

void LightView::handleUpdatedLight(quint64 uid)
{
    LightViewLight *item = m_lightItems.value(uid);
    if (!item) {
        handleNewLight(uid);
        return;
    }
    if (m_map && m_map->light(uid))
        refreshSorted(item);
    emit setDirty(true);
}

void LightView::handleDeletedLight(quint64 uid)
{
    placePendingRows();
    LightViewLight *item = m_lightItems.take(uid);
    if (item) {
        if (m_currentItem == item)
            m_currentItem = nullptr;
        const QScopedValueRollback<bool> removing(m_removingRows, true);
        delete item;
    }
    emit setDirty(true);
}

void LightView::handleClearedMap()
{
    placePendingRows();
    m_currentItem = nullptr;
    const QScopedValueRollback<bool> removing(m_removingRows, true);
    clear();
    m_lightItems.clear();
    m_interfaceItems.clear();
}

void LightView::handleDoubleClicked(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    if (item && item->type() == LightViewInterface::Type) {
        editInterface(static_cast<LightViewInterface *>(item)->uid(), this);
        return;
    }
    if (!item || item->type() != LightViewLight::Type)
        return;
    const quint64 uid = static_cast<LightViewLight *>(item)->uid();
    if (Light *light = m_map ? m_map->light(uid) : nullptr) {
        editLights({light});
        emit setDirty(true);
    }
    if (m_selection)
        m_selection->setLightSelected(uid, true);
}

void LightView::handleSelectionChanged()
{
    if (!m_selection || m_removingRows)
        return;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if ((*it)->type() != LightViewLight::Type)
            continue;
        auto *item = static_cast<LightViewLight *>(*it);
        m_selection->setLightSelected(item->uid(), item->isSelected());
    }
}

void LightView::prepareMenu(QTreeWidgetItem *item)
{
    m_currentItem = item;
    if (!item || item->type() != LightViewInterface::Type)
        return;
    const quint64 uid = static_cast<LightViewInterface *>(item)->uid();
    DataSupply *ds = m_map ? m_map->dataSupply(uid) : nullptr;
    for (QAction *a : {m_highlightAction, m_selectAllAction, m_editAllAction, m_editInterfaceAction,
                       m_deleteInterfaceAction})
        setShown(a, true);
    setShown(m_discoverLightsAction, ds && ds->type() != 4);
    setShown(m_associateAction, ds && !ds->hasIpAddress());
    setShown(m_unassociateAction, ds && ds->hasIpAddress());
    setShown(m_cloneAction, ds != nullptr);
}

void LightView::handleContextMenuRequested(QPoint p)
{
    if (!indexAt(p).isValid())
        return;
    QTreeWidgetItem *item = itemAt(p);
    if (!item)
        return;
    prepareMenu(item);
    if (item->type() == LightViewLight::Type)
        m_lightMenu->exec(viewport()->mapToGlobal(p));
    else if (item->type() == LightViewInterface::Type)
        m_interfaceMenu->exec(viewport()->mapToGlobal(p));
}

LightViewInterface *LightView::currentInterfaceItem() const
{
    if (!m_currentItem || m_currentItem->type() != LightViewInterface::Type)
        return nullptr;
    return static_cast<LightViewInterface *>(m_currentItem);
}

void LightView::handleEditLight()
{
    if (!m_currentItem || m_currentItem->type() != LightViewLight::Type || !m_map)
        return;
    QList<Light *> lights;
    for (QTreeWidgetItemIterator it(this, QTreeWidgetItemIterator::Selected); *it; ++it) {
        if ((*it)->type() != LightViewLight::Type)
            continue;
        if (Light *light = m_map->light(static_cast<LightViewLight *>(*it)->uid()))
            lights << light;
    }
    editLights(lights);
}

void LightView::editLights(const QList<Light *> &lights)
{
    if (lights.isEmpty())
        return;
    const int sortColumn = this->sortColumn();
    setSortingEnabled(false);
    EditLightsDialog dialog(m_map, lights, this);
    dialog.exec();
    restoreSorting(sortColumn);
}

void LightView::handleDeleteLight()
{
    if (!m_currentItem || m_currentItem->type() != LightViewLight::Type || !m_map)
        return;
    const auto answer = UserPrompt::instance()->question(
        this, QMessageBox::Warning, tr("Confirm Light Deletion"),
        tr("Are you sure that you wish to permanently delete the selected lights?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    // Uids first: each deletion takes its row out of the tree under the walk.
    QList<quint64> uids;
    for (QTreeWidgetItemIterator it(this, QTreeWidgetItemIterator::Selected); *it; ++it) {
        if ((*it)->type() == LightViewLight::Type)
            uids << static_cast<LightViewLight *>(*it)->uid();
    }
    {
        // Every selected row goes: drop the selection in one step, so Qt does not rework it
        // for each removed row; the effect forgets each light as the map deletes it.
        const QSignalBlocker quiet(this);
        clearSelection();
    }
    // Sorting off while the rows go: Qt re-sorts a sorted tree for every selected row removed.
    const int sortColumn = this->sortColumn();
    setSortingEnabled(false);
    for (quint64 uid : std::as_const(uids))
        m_map->deleteLight(uid);
    m_map->flushChangedGroups();
    restoreSorting(sortColumn);
}

void LightView::handleHighlightInterface()
{
    LightViewInterface *item = currentInterfaceItem();
    DataSupply *ds = item && m_map ? m_map->dataSupply(item->uid()) : nullptr;
    if (!ds)
        return;
    // Blocking waits: the blink has to be visible on the lights, and nothing else may send
    // to the interface in between.
    ds->lightsOff();
    QThread::msleep(HighlightWaitMs);
    ds->lightsOn();
    QThread::msleep(HighlightWaitMs);
    ds->lightsOff();
    QThread::msleep(HighlightWaitMs);
    ds->lightsOn();
}

void LightView::handleSelectAllLights()
{
    LightViewInterface *item = currentInterfaceItem();
    if (item && m_selection)
        m_selection->setDataSupplySelected(item->uid(), true);
}

void LightView::handleEditAllLights()
{
    LightViewInterface *item = currentInterfaceItem();
    if (!item || !m_map)
        return;
    if (m_selection)
        m_selection->setDataSupplySelected(item->uid(), true);
    QList<Light *> lights;
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *child = item->child(i);
        if (child->type() != LightViewLight::Type)
            continue;
        if (Light *light = m_map->light(static_cast<LightViewLight *>(child)->uid()))
            lights << light;
    }
    editLights(lights);
}

void LightView::handleDiscoverLights()
{
    LightViewInterface *item = currentInterfaceItem();
    if (!item || !m_map)
        return;
    DiscoverLightsWizard wizard(m_map, m_engine, m_selection, this);
    wizard.setController(item->uid());
    const bool sorting = suspendSorting();
    wizard.exec();
    sortByPort(sorting);
    // Finish keeps the lights found: the map has changed, whatever the window says.
    emit setDirty(true);
}

void LightView::handleAssociateInterface()
{
    LightViewInterface *item = currentInterfaceItem();
    DataSupply *ds = item && m_map ? m_map->dataSupply(item->uid()) : nullptr;
    if (!ds)
        return;
    if (m_selection)
        m_selection->setDataSupplySelected(ds->uid(), true);
    AssociateInterfaceDialog dialog(m_map, m_engine, ds, this);
    connect(&dialog, &AssociateInterfaceDialog::lightMoved, this, &LightView::addLightItem);
    connect(&dialog, &AssociateInterfaceDialog::interfaceRemoved, this,
            &LightView::removeInterfaceItem);
    const int sortColumn = this->sortColumn();
    setSortingEnabled(false);
    dialog.exec();
    restoreSorting(sortColumn);
}

void LightView::handleUnassociateInterface()
{
    LightViewInterface *item = currentInterfaceItem();
    DataSupply *old = item && m_map ? m_map->dataSupply(item->uid()) : nullptr;
    if (!old)
        return;
    const quint64 oldUid = old->uid();
    if (m_selection)
        m_selection->setDataSupplySelected(oldUid, true);
    const auto answer = UserPrompt::instance()->question(
        this, QMessageBox::Warning, tr("Confirm Controller Unassociation"),
        tr("Are you sure that you wish to unassociate the selected controller?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (m_selection)
        m_selection->setDataSupplySelected(oldUid, false);
    if (answer != QMessageBox::Yes)
        return;

    // Without a replacement the lights would have nowhere to go: change nothing.
    DataSupply *fresh = m_map->createDataSupply(old->type());
    if (!fresh) {
        qWarning() << "Cannot unassociate an interface of type" << old->type();
        return;
    }
    old->lightsOff();
    if (m_engine)
        m_engine->setPaused(true);
    fresh->setUid(m_map->nextUid());
    fresh->setName(old->name());
    fresh->setPortCount(old->portCount());
    const quint64 freshUid = fresh->uid();
    // Every moved light reports an update; with sorting on each would re-sort the whole tree.
    const int sortColumn = this->sortColumn();
    setSortingEnabled(false);
    if (!m_map->addDataSupply(fresh)) {
        delete fresh;
        restoreSorting(sortColumn);
        if (m_engine)
            m_engine->setPaused(false);
        return;
    }
    if (m_engine)
        m_engine->setPaused(false);

    const QList<quint64> lights = old->lights();
    QProgressDialog progress(tr("Unassociating Interface"), tr("Cancel"), 0, lights.size());
    int count = 0;
    for (quint64 lightUid : lights) {
        Light *light = m_map->light(lightUid);
        if (!light)
            continue;
        old->removeLight(lightUid);
        fresh->addLight(lightUid);
        addLightItem(lightUid, freshUid);
        light->setDataSupplyUid(freshUid);
        fresh->setDMXBufSize(int(light->lastChannel()) + 1);
        progress.setValue(++count);
    }
    m_map->deleteDataSupply(oldUid, false);
    removeInterfaceItem(oldUid);
    restoreSorting(sortColumn);
}

void LightView::handleEditInterface()
{
    LightViewInterface *item = currentInterfaceItem();
    if (item)
        editInterface(item->uid(), nullptr);
}

void LightView::editInterface(quint64 uid, QWidget *parent)
{
    DataSupply *ds = m_map ? m_map->dataSupply(uid) : nullptr;
    if (!ds)
        return;
    const int sortColumn = this->sortColumn();
    setSortingEnabled(false);
    EditControllerDialog dialog(m_map, ds, parent);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    restoreSorting(sortColumn);
    if (accepted)
        emit setDirty(true);
}

void LightView::handleDeleteInterface()
{
    LightViewInterface *item = currentInterfaceItem();
    if (!item || !m_map)
        return;
    const quint64 uid = item->uid();
    const auto answer = UserPrompt::instance()->question(
        this, QMessageBox::Warning, tr("Confirm Interface Deletion"),
        tr("Are you sure that you wish to permanently delete the interface \"%1\"?")
            .arg(item->checkedName()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    m_progress.open();
    const auto started =
        connect(m_map, &MapModel::progressStarted, this, &LightView::handleProgressStarted);
    const auto updated =
        connect(m_map, &MapModel::progressUpdated, this, &LightView::handleProgressUpdated);
    const int sortColumn = this->sortColumn();
    setSortingEnabled(false);
    m_map->deleteDataSupply(uid, true);
    restoreSorting(sortColumn);
    // Disconnected again, so a later deletion does not see every signal twice.
    disconnect(started);
    disconnect(updated);
    m_progress.close();
    removeInterfaceItem(uid);
}

void LightView::handleCloneInterface()
{
    LightViewInterface *item = currentInterfaceItem();
    if (!item || !m_map || !m_map->dataSupply(item->uid()))
        return;
    auto *dialog = new CloneInterface(item->uid(), m_map, this);
    connect(dialog, &CloneInterface::pauseUpdate, this, &LightView::handlePauseUpdate);
    connect(dialog, &CloneInterface::updateNow, this, &LightView::handleUpdateNow);
    dialog->exec();
    disconnect(dialog, nullptr, this, nullptr);
    dialog->deleteLater();
}

void LightView::handlePauseUpdate(bool pause)
{
    emit pauseUpdate(pause);
}

void LightView::handleUpdateNow()
{
    emit updateNow();
}

void LightView::handleProgressUpdated(int current)
{
    m_progress.update(current);
}

void LightView::handleProgressStarted(int min, int max, QString windowText)
{
    m_progress.start(min, max, windowText);
}
