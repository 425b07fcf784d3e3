#ifndef GROUPVIEWGROUP_H
#define GROUPVIEWGROUP_H

#include <QTreeWidgetItem>

class Group;

// The row of one group: the name shows in column 0; type and uid ride along, unseen, in
// columns 1 and 2 (the uid in decimal) so every operation finds the group by its uid.
class GroupViewGroup : public QTreeWidgetItem
{
public:
    enum { Type = 2004 };

    explicit GroupViewGroup(Group *group);

    unsigned int groupType() const;
    quint64 uid() const;
    // Name, type and icon from the group as it is now.
    void update(Group *group);
    void setIconForType(int type);

    bool operator<(const QTreeWidgetItem &other) const override;
};

#endif // GROUPVIEWGROUP_H
