#include "layoutviewtiles.h"

#include "layoutviewlight.h"
#include "layoutviewtile.h"

#include <QGraphicsScene>
#include <QtMath>

LayoutViewTiles::LayoutViewTiles(QGraphicsScene *scene) : m_scene(scene) {}

LayoutViewTile *LayoutViewTiles::tileAt(const QPointF &p)
{
    if (!m_scene)
        return nullptr;
    const qint32 column = qFloor(p.x() / CellSize);
    const qint32 row = qFloor(p.y() / CellSize);
    const quint64 key = (quint64(quint32(column)) << 32) | quint32(row);
    LayoutViewTile *&tile = m_tiles[key];
    if (!tile) {
        tile = new LayoutViewTile(
            QRectF(qreal(column) * CellSize, qreal(row) * CellSize, CellSize, CellSize));
        m_scene->addItem(tile);
    }
    return tile;
}

void LayoutViewTiles::add(LayoutViewLight *light)
{
    if (LayoutViewTile *tile = tileAt(light->pos()))
        tile->add(light);
}

void LayoutViewTiles::remove(LayoutViewLight *light)
{
    if (LayoutViewTile *tile = light->tile())
        tile->remove(light);
}

void LayoutViewTiles::place(LayoutViewLight *light, const QPointF &p, bool repaint)
{
    if (light->pos() == p)
        return;
    LayoutViewTile *from = light->tile();
    if (from && from->cell().contains(p)) {
        if (repaint)
            light->repaint();
        light->setPos(p);
        if (repaint)
            light->repaint();
        return;
    }
    remove(light);
    light->setPos(p);
    add(light);
}

void LayoutViewTiles::clear()
{
    qDeleteAll(m_tiles);
    m_tiles.clear();
}
