#include "layoutviewtiles.h"

#include "layoutviewlight.h"
#include "layoutviewtile.h"

#include <QGraphicsScene>

#include <cmath>

namespace {
// Positions come from map files: a coordinate beyond any cell number, or not a number at all,
// lands in the outermost or the first cell instead of overflowing.
qint32 cellIndex(qreal v)
{
    const qreal cell = std::floor(v / LayoutViewTiles::CellSize);
    if (std::isnan(cell))
        return 0;
    return qint32(qBound(qreal(-1e9), cell, qreal(1e9)));
}
} // namespace

LayoutViewTiles::LayoutViewTiles(QGraphicsScene *scene) : m_scene(scene) {}

LayoutViewTile *LayoutViewTiles::tileAt(const QPointF &p)
{
    if (!m_scene)
        return nullptr;
    const qint32 column = cellIndex(p.x());
    const qint32 row = cellIndex(p.y());
    const quint64 key = (quint64(quint32(column)) << 32) | quint32(row);
    LayoutViewTile *&tile = m_tiles[key];
    if (tile)
        return tile;
    const QRectF cell(qreal(column) * CellSize, qreal(row) * CellSize, CellSize, CellSize);
    if (!m_layer) {
        m_layer = new LayoutViewTile(cell);
        m_layer->setFlag(QGraphicsItem::ItemHasNoContents);
        m_layer->setFlag(QGraphicsItem::ItemContainsChildrenInShape);
        m_scene->addItem(m_layer);
    } else if (!m_layer->cell().contains(cell)) {
        m_layer->setCell(m_layer->cell().united(cell));
    }
    tile = new LayoutViewTile(cell);
    tile->setParentItem(m_layer);
    return tile;
}

void LayoutViewTiles::add(LayoutViewLight *light, bool repaint)
{
    if (LayoutViewTile *tile = tileAt(light->pos()))
        tile->add(light, repaint);
}

void LayoutViewTiles::remove(LayoutViewLight *light, bool repaint)
{
    if (LayoutViewTile *tile = light->tile())
        tile->remove(light, repaint);
}

void LayoutViewTiles::placeAnywhere(LayoutViewLight *light, const QPointF &p, bool repaint)
{
    LayoutViewTile *from = light->tile();
    if (from && from->holds(p)) {
        if (repaint) {
            if (light->pos() == p)
                return;
            light->repaint();
        }
        light->setPos(p);
        if (repaint)
            light->repaint();
        return;
    }
    remove(light, repaint);
    light->setPos(p);
    add(light, repaint);
}

void LayoutViewTiles::clear()
{
    delete m_layer; // and its tiles
    m_layer = nullptr;
    m_tiles.clear();
}
