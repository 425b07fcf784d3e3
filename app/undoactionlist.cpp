#include "undoactionlist.h"

#include "undoaction.h"

UndoActionList::~UndoActionList()
{
    qDeleteAll(*this);
}
