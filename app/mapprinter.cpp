#include "mapprinter.h"

#include <QGraphicsScene>
#include <QPagedPaintDevice>
#include <QPainter>

bool renderMapToPage(QGraphicsScene *scene, QPagedPaintDevice *device)
{
    if (!scene || !device)
        return false;
    QPainter painter;
    if (!painter.begin(device))
        return false;
    scene->render(&painter, QRectF(), scene->sceneRect(), Qt::KeepAspectRatio);
    return painter.end();
}
