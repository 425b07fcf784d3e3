#ifndef GROUPVIEW_H
#define GROUPVIEW_H

#include <QHash>
#include <QList>
#include <QTreeWidget>

class GroupViewGroup;
class MapModel;
class QAction;
class QMenu;
class SelectionEffect;

// The list of the map's chasing and synchronized groups; selecting rows selects their lights.
class GroupView : public QTreeWidget
{
    Q_OBJECT
public:
    GroupView(MapModel *map, SelectionEffect *selection, QWidget *parent);

    GroupViewGroup *groupItem(quint64 uid) const { return m_items.value(uid); }
    QMenu *popupMenu() const { return m_menu; }
    // Makes item the popup item and sets the menu's entries as opening the menu would.
    void prepareMenu(GroupViewGroup *item);

signals:
    void statusMsg(const QString &s, int ms);
    void setDirty(bool d);

public slots:
    void handleEditGroup();
    void handleDuplicateGroup();
    void handleHighlightGroup();
    void handleDeleteGroup();
    void handleClearedMap();
    void handleNewGroup(quint64 uid);
    void handleUpdatedGroup(quint64 uid);
    void handleDeletedGroup(quint64 uid);
    void handleDoubleClicked(QTreeWidgetItem *item, int column);
    void handleSelectionChanged();
    void handleContextMenuRequested(const QPoint &p);
    void deleteGIDs();
    // Between these two the map announces a run of many objects (a map being opened): rows
    // are made as groups are announced and enter the list in one insertion at the end.
    void handleBatchStarted();
    void handleBatchFinished();

private:
    // Puts the rows held back by a batch into the list; a deletion or a repeated
    // announcement runs it first.
    void placePendingRows();

    MapModel *m_map;
    SelectionEffect *m_selection;
    QHash<quint64, GroupViewGroup *> m_items;
    QMenu *m_menu = nullptr;
    QAction *m_editAction = nullptr;
    QAction *m_duplicateAction = nullptr;
    QAction *m_highlightAction = nullptr;
    QAction *m_deleteAction = nullptr;
    quint64 m_popupUid = 0; // a uid, not the row: the row may be gone by the time an entry runs
    bool m_severalSelected = false;
    QList<quint64> m_pendingDeletions;
    bool m_batch = false;
    QList<QTreeWidgetItem *> m_pendingRows;
};

#endif // GROUPVIEW_H
