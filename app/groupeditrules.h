#ifndef GROUPEDITRULES_H
#define GROUPEDITRULES_H

#include <QList>

class MapModel;

// The group editor's rules, free of widgets: which groups may never become members, and how
// the selected member rows move.
class GroupEditRules
{
public:
    // Every group other than uid itself that holds uid as a member at any depth, nearest
    // first. Adding any of them to the group uid would close a cycle. Walks each group once,
    // so a map that already holds a cycle (a file can) still ends.
    static QList<quint64> containingGroups(const MapModel *map, quint64 uid);

    // Up and Down apply only to selected rows that form one unbroken run.
    static bool isUnbrokenRun(QList<int> rows);

    // The order after Up: each selected row, from the top, swaps with the row above it; the
    // walk stops at once when it reaches a selected first row. order[i] is the old index of
    // the row now at i.
    static QList<int> movedUp(int count, QList<int> selectedRows);
    // The same downwards, walking the selected rows from the bottom.
    static QList<int> movedDown(int count, QList<int> selectedRows);
};

#endif // GROUPEDITRULES_H
