#ifndef UNDOACTIONLIST_H
#define UNDOACTIONLIST_H

#include <QList>

struct UndoAction;

// The steps of one change on the canvas (one per light moved), in the order of the selection.
// Owns its steps.
class UndoActionList : public QList<UndoAction *>
{
public:
    UndoActionList() = default;
    ~UndoActionList();
    UndoActionList(const UndoActionList &) = delete;
    UndoActionList &operator=(const UndoActionList &) = delete;
};

#endif // UNDOACTIONLIST_H
