#ifndef CANVASMOVES_H
#define CANVASMOVES_H

#include "app/layoutview.h"
#include "model/light.h"
#include "model/lightpose.h"

#include <QPointF>

// Gives the light the place `at` as the undo manager gives a light back an earlier one: the
// pose first, height and rotation kept, then the square, fractions included. Only for tests
// of the app, which link the canvas.
inline void putLightAsUndoDoes(LayoutView *view, Light *light, const QPointF &at)
{
    LightPose pose = light->pose();
    pose.x = at.x();
    pose.y = at.y();
    light->setPose(pose);
    view->refreshLightItem(light->uid());
}

#endif // CANVASMOVES_H
