#ifndef EDITGROUPDIALOG_H
#define EDITGROUPDIALOG_H

#include <QDialog>
#include <QList>

#include <QSet>
#include <memory>

class Group;
class GroupViewGroup;
class MapModel;
namespace Ui {
class EditGroupDialog;
}
class QTreeWidget;
class QTreeWidgetItem;
class SelectionEffect;

// Edits one group's name, type and ordered members, picked from the map's other groups and
// lights (each light through its own group). Picked rows show their lights selected. Only OK
// writes into the group; groups that already hold the edited one, at any depth, are never
// offered, so no edit can close a cycle.
class EditGroupDialog : public QDialog
{
    Q_OBJECT
public:
    EditGroupDialog(MapModel *map, SelectionEffect *selection, Group *group, QWidget *parent);
    ~EditGroupDialog() override;

public slots:
    void handleOkButtonClicked();
    void upButtonClicked();
    void downButtonClicked();
    void removeButtonClicked();
    void handleMemberSelectionChanged();
    void handleGroupDoubleClicked(QTreeWidgetItem *item, int column);
    void addGroupButtonClicked();
    void handleGroupSelectionChanged();
    void handleLightDoubleClicked(QTreeWidgetItem *item, int column);
    void addLightButtonClicked();
    void handleLightSelectionChanged();
    void updateButtonState();

private:
    void fill();
    bool stillInMap(const GroupViewGroup *row) const;
    QList<int> selectedMemberRows() const;
    // Moves the rows of from that pick selects, top to bottom, to the end of the members.
    void moveToMembers(QTreeWidget *from, const QList<QTreeWidgetItem *> &pick);
    void reorderMembers(const QList<int> &order);

    std::unique_ptr<Ui::EditGroupDialog> ui;
    MapModel *m_map;
    SelectionEffect *m_selection;
    Group *m_group;
    QSet<quint64> m_containing; // the edited group and every group holding it, at any depth
};

#endif // EDITGROUPDIALOG_H
