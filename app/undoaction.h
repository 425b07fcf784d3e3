#ifndef UNDOACTION_H
#define UNDOACTION_H

#include "model/lightpose.h"

#include <QtGlobal>

// One undoable step: a light's pose to swap back in. Applying it swaps the light's pose with
// the one held here, so the same step serves undo and redo.
struct UndoAction
{
    enum Kind { LightPosition = 0 };

    int kind = LightPosition;
    quint64 uid = 0;
    LightPose pose;
};

#endif // UNDOACTION_H
