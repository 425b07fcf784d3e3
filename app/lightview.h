#ifndef LIGHTVIEW_H
#define LIGHTVIEW_H

#include "lightviewlight.h"
#include "mapprogressdialog.h"

#include <QHash>
#include <QTreeWidget>

class EffectEngine;
class Light;
class LightViewInterface;
class MapModel;
class QAction;
class QMenu;
class SelectionEffect;

// The tree of the map's interfaces and their lights. It pushes the user's light selection into
// the selection effect but does not follow selections made elsewhere.
class LightView : public QTreeWidget
{
    Q_OBJECT
public:
    LightView(MapModel *map, EffectEngine *engine, QWidget *parent, const QString &name);
    ~LightView() override;

    void setSelectionEffect(SelectionEffect *selection);
    void restoreSorting(int column);
    // Around the lights wizard: a sorted tree re-sorts itself after each light added, so the
    // wizard runs unsorted; afterwards the tree sorts once by "Port #", ascending, and sorting
    // is on again when it was on before.
    bool suspendSorting();
    void sortByPort(bool sortingOn);
    void addLightItem(quint64 lightUid, quint64 interfaceUid);
    void removeInterfaceItem(quint64 interfaceUid);

    LightViewInterface *interfaceItem(quint64 uid) const { return m_interfaceItems.value(uid); }
    LightViewLight *lightItem(quint64 uid) const { return m_lightItems.value(uid); }
    QList<quint64> interfaceUids() const { return m_interfaceItems.keys(); }
    QMenu *lightMenu() const { return m_lightMenu; }
    QMenu *interfaceMenu() const { return m_interfaceMenu; }
    QTreeWidgetItem *currentMenuItem() const { return m_currentItem; }
    // The name keys of the sort under way, if any; rows compare their names through them.
    LightNameKeys &nameKeys() const { return m_nameKeys; }
    // Makes item the item the menus act on and sets the interface menu's visibility rules,
    // as opening the menu on it would.
    void prepareMenu(QTreeWidgetItem *item);

signals:
    void statusMsg(const QString &s, int ms);
    void setDirty(bool d);
    void pauseUpdate(bool pause);
    void updateNow();

public slots:
    void handleNewController(quint64 uid);
    void handleUpdatedController(quint64 uid);
    void handleNewLight(quint64 uid);
    void handleUpdatedLight(quint64 uid);
    void handleDeletedLight(quint64 uid);
    void handleClearedMap();
    void handleDoubleClicked(QTreeWidgetItem *item, int column);
    void handleSelectionChanged();
    void handleContextMenuRequested(QPoint p);
    void handleEditLight();
    void handleDeleteLight();
    void handleHighlightInterface();
    void handleSelectAllLights();
    void handleEditAllLights();
    void handleDiscoverLights();
    void handleAssociateInterface();
    void handleUnassociateInterface();
    void handleEditInterface();
    void handleDeleteInterface();
    void handleCloneInterface();
    void handlePauseUpdate(bool pause);
    void handleUpdateNow();
    void handleProgressUpdated(int current);
    void handleProgressStarted(int min, int max, QString windowText);
    // Between these two the map announces a run of many objects (a map being opened): rows
    // are made as they are announced but enter the tree in one insertion per interface when
    // the run ends, not one per light.
    void handleBatchStarted();
    void handleBatchFinished();

private:
    // Puts the rows held back by a batch into the tree; every change other than an addition
    // runs it first, so it always works on the tree as the map has it.
    void placePendingRows();
    LightViewLight *newLightRow(LightViewInterface *parentItem, Light *light);
    void buildMenus();
    LightViewInterface *currentInterfaceItem() const;
    void refreshSorted(QTreeWidgetItem *item);
    // The interface editor on that interface, with the tree's sorting off while it runs.
    void editInterface(quint64 uid, QWidget *parent);
    // The light editor on those lights, with the tree's sorting off while it runs.
    void editLights(const QList<Light *> &lights);

    MapModel *m_map;
    EffectEngine *m_engine;
    SelectionEffect *m_selection = nullptr;
    QHash<quint64, LightViewLight *> m_lightItems;
    QHash<quint64, LightViewInterface *> m_interfaceItems;
    QTreeWidgetItem *m_currentItem = nullptr;
    bool m_batch = false;
    // A light row changed during the batch while the tree was sorted.
    bool m_sortAfterBatch = false;
    // Rows made during a batch, not yet in the tree: new interfaces (their new lights already
    // hang under them), and new lights of interfaces that are in the tree, per interface.
    QList<QTreeWidgetItem *> m_pendingInterfaces;
    QHash<LightViewInterface *, QList<QTreeWidgetItem *>> m_pendingLights;
    // Set while rows leave the tree because their lights or interfaces left the map: Qt then
    // reports a selection change, but the rows that stay keep their selection, and pushing
    // all of them into the effect again for every removed row makes bulk deletions crawl.
    bool m_removingRows = false;
    mutable LightNameKeys m_nameKeys;
    MapProgressDialog m_progress;
    QMenu *m_lightMenu = nullptr;
    QMenu *m_interfaceMenu = nullptr;
    QAction *m_editLightAction = nullptr;
    QAction *m_deleteLightAction = nullptr;
    QAction *m_highlightAction = nullptr;
    QAction *m_selectAllAction = nullptr;
    QAction *m_editAllAction = nullptr;
    QAction *m_discoverLightsAction = nullptr;
    QAction *m_associateAction = nullptr;
    QAction *m_unassociateAction = nullptr;
    QAction *m_editInterfaceAction = nullptr;
    QAction *m_deleteInterfaceAction = nullptr;
    QAction *m_cloneAction = nullptr;
};

#endif // LIGHTVIEW_H
