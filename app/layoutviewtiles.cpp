#include "layoutviewtiles.h"

#include "layoutviewlight.h"
#include "layoutviewtile.h"

#include <QGraphicsScene>
#include <QPainterPath>

#include <algorithm>
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

LayoutViewTiles::~LayoutViewTiles()
{
    // Tiles left in a scene would paint with a grid that is gone.
    if (m_scene)
        delete m_layer;
}

LayoutViewTile *LayoutViewTiles::tileAt(qint32 column, qint32 row)
{
    if (!m_scene)
        return nullptr;
    LayoutViewTile *&tile = m_tiles[key(column, row)];
    if (tile)
        return tile;
    const QRectF cell(qreal(column) * CellSize, qreal(row) * CellSize, CellSize, CellSize);
    if (!m_layer) {
        m_layer = new LayoutViewTile(this, cell, 0, 0);
        m_layer->setFlag(QGraphicsItem::ItemHasNoContents);
        m_layer->setFlag(QGraphicsItem::ItemContainsChildrenInShape);
        m_scene->addItem(m_layer);
    } else if (!m_layer->cell().contains(cell)) {
        m_layer->setCell(m_layer->cell().united(cell));
    }
    tile = new LayoutViewTile(this, cell, column, row);
    tile->setParentItem(m_layer);
    return tile;
}

template <class Visit> void LayoutViewTiles::forTilesOver(const QRectF &area, Visit visit) const
{
    if (m_tiles.isEmpty() || !(area.width() >= 0 && area.height() >= 0))
        return;
    const qint64 c0 = cellIndex(area.left());
    const qint64 c1 = cellIndex(area.right());
    const qint64 r0 = cellIndex(area.top());
    const qint64 r1 = cellIndex(area.bottom());
    if ((c1 - c0 + 1) * (r1 - r0 + 1) <= qint64(m_tiles.size()) * 2) {
        for (qint64 r = r0; r <= r1; ++r) {
            for (qint64 c = c0; c <= c1; ++c) {
                if (LayoutViewTile *tile = find(qint32(c), qint32(r)))
                    visit(tile);
            }
        }
        return;
    }
    // An area far larger than the map: walk the tiles instead of the cells.
    std::vector<LayoutViewTile *> tiles;
    for (LayoutViewTile *tile : m_tiles) {
        if (tile->column() >= c0 && tile->column() <= c1 && tile->row() >= r0 && tile->row() <= r1)
            tiles.push_back(tile);
    }
    std::sort(tiles.begin(), tiles.end(), [](const LayoutViewTile *a, const LayoutViewTile *b) {
        return a->row() != b->row() ? a->row() < b->row() : a->column() < b->column();
    });
    for (LayoutViewTile *tile : tiles)
        visit(tile);
}

void LayoutViewTiles::repaint(const QRectF &area)
{
    forTilesOver(area, [&area](LayoutViewTile *tile) { tile->invalidate(area); });
}

void LayoutViewTiles::repaintEverything()
{
    for (LayoutViewTile *tile : std::as_const(m_tiles))
        tile->invalidate(tile->cell());
}

void LayoutViewTiles::add(LayoutViewLight *light, bool enter)
{
    const QPointF p = light->pos();
    if (enter) {
        LayoutViewTile *tile = tileAt(cellIndex(p.x()), cellIndex(p.y()));
        if (!tile)
            return;
        light->setGrid(this);
        tile->insert(light);
    }
    // A square reaching into a cell without squares of its own still needs its tile there.
    const QRectF reach = LayoutViewLight::reach(p);
    const qint32 c0 = cellIndex(reach.left()), c1 = cellIndex(reach.right());
    const qint32 r0 = cellIndex(reach.top()), r1 = cellIndex(reach.bottom());
    if (c0 != c1 || r0 != r1) {
        for (qint32 r = r0; r <= r1; ++r)
            for (qint32 c = c0; c <= c1; ++c)
                tileAt(c, r);
    }
    repaint(reach);
}

void LayoutViewTiles::remove(LayoutViewLight *light)
{
    if (LayoutViewTile *tile = light->tile()) {
        tile->erase(light);
        repaint(LayoutViewLight::reach(light->pos()));
    }
    light->setGrid(nullptr);
}

void LayoutViewTiles::place(LayoutViewLight *light, const QPointF &p)
{
    LayoutViewTile *from = light->tile();
    if (!from || !from->holdsCorner(p)) {
        remove(light);
        light->setPosFromGrid(p);
        add(light);
        return;
    }
    if (light->pos() == p)
        return;
    light->repaint();
    light->setPosFromGrid(p);
    from->touchGeometry();
    const QRectF reach = LayoutViewLight::reach(p);
    if (from->holds(reach))
        from->invalidate(reach); // the common case of a drag, without looking tiles up
    else
        add(light, false);
}

template <class Shows>
const LayoutViewLight *LayoutViewTiles::topLightOver(const QRectF &area, Shows shows) const
{
    const LayoutViewLight *top = nullptr;
    // A square's tile holds its corner, up to a reach's width left of and above the area.
    forTilesOver(area.adjusted(-7, -7, 1, 1), [&](const LayoutViewTile *tile) {
        const std::vector<LayoutViewLight *> &lights = tile->lights();
        for (auto it = lights.rbegin(); it != lights.rend(); ++it) {
            if (top && (*it)->order() < top->order())
                break;
            if (LayoutViewLight::reach((*it)->pos()).intersects(area) && shows(*it)) {
                top = *it;
                break;
            }
        }
    });
    return top;
}

// The pixel is taken whole, as the user sees it: the square painted there, not the one under
// the pixel's corner, which at zooms between whole numbers can lie across another's edge.
const LayoutViewLight *LayoutViewTiles::lightShownAt(const QTransform &viewportTransform,
                                                     const QPointF &viewportPoint) const
{
    LayoutViewTile::Raster raster;
    QPoint whole;
    if (!LayoutViewTile::rasterOf(viewportTransform, &raster, &whole)) {
        // A turned or mirrored canvas, which the program never shows: the pixel's centre.
        const QPointF c = viewportTransform.inverted().map(
            QPointF(std::floor(viewportPoint.x()) + 0.5, std::floor(viewportPoint.y()) + 0.5));
        return topLightOver(
            QRectF(c - QPointF(1, 1), QSizeF(2, 2)),
            [&c](const LayoutViewLight *light) { return light->sceneShape().contains(c); });
    }
    // Far out a square shrunk to one pixel can show beyond its cell and its neighbours, in a
    // cell without a tile, where nothing draws it: only the tile drawing the pixel knows.
    const int x = int(std::floor(viewportPoint.x())) - whole.x();
    const int y = int(std::floor(viewportPoint.y())) - whole.y();
    const LayoutViewTile *tile =
        find(cellDrawing(x, raster.sx, raster.fx), cellDrawing(y, raster.sy, raster.fy));
    return tile ? tile->lightShownAt(raster, x, y) : nullptr;
}

qint32 LayoutViewTiles::cellDrawing(int pixel, qreal scale, qreal fraction)
{
    auto first = [scale, fraction](qint32 cell) {
        return LayoutViewTile::firstPixelFrom(qreal(cell) * CellSize, scale, fraction);
    };
    // The cell of the pixel's centre, put right where rounding at its edge says otherwise.
    qint32 cell = cellIndex((pixel + 0.5 - fraction) / scale);
    while (cell > qint32(-1e9) && pixel < first(cell))
        --cell;
    while (cell < qint32(1e9) && pixel >= first(cell + 1))
        ++cell;
    return cell;
}

std::vector<const LayoutViewLight *> LayoutViewTiles::lightsMeeting(const QRectF &rect) const
{
    std::vector<const LayoutViewLight *> hits;
    forTilesOver(rect.adjusted(-7, -7, 1, 1), [&](LayoutViewTile *tile) {
        const std::vector<LayoutViewLight *> &lights = tile->lights();
        for (auto it = lights.rbegin(); it != lights.rend(); ++it) {
            if ((*it)->sceneShape().intersects(rect))
                hits.push_back(*it);
        }
    });
    return hits;
}

std::vector<const LayoutViewLight *> LayoutViewTiles::lightsMeeting(const QPainterPath &path) const
{
    std::vector<const LayoutViewLight *> hits;
    // As the scene compares shapes: bounds first, with a line's empty side widened a little.
    QRectF bounds = path.boundingRect();
    if (bounds.width() == 0)
        bounds.adjust(-0.00001, 0, 0.00001, 0);
    if (bounds.height() == 0)
        bounds.adjust(0, -0.00001, 0, 0.00001);
    forTilesOver(bounds.adjusted(-7, -7, 1, 1), [&](LayoutViewTile *tile) {
        const std::vector<LayoutViewLight *> &lights = tile->lights();
        for (auto it = lights.rbegin(); it != lights.rend(); ++it) {
            const QRectF shape = (*it)->sceneShape();
            if (!shape.intersects(bounds))
                continue;
            QPainterPath square;
            square.addRect(shape);
            if (path.intersects(square))
                hits.push_back(*it);
        }
    });
    return hits;
}

bool LayoutViewTiles::overlapsAnother(const LayoutViewLight *light) const
{
    const QRectF shape = light->sceneShape();
    bool found = false;
    forTilesOver(shape.adjusted(-7, -7, 1, 1), [&](LayoutViewTile *tile) {
        if (found)
            return;
        // QRectF::intersects of the two shapes, written out for the many squares of a drop.
        for (const LayoutViewLight *other : tile->lights()) {
            if (other == light)
                continue;
            const QRectF o = other->sceneShape();
            if (o.left() < shape.right() && shape.left() < o.right() && o.top() < shape.bottom() &&
                shape.top() < o.bottom()) {
                found = true;
                return;
            }
        }
    });
    return found;
}

void LayoutViewTiles::cacheChanged(qint64 bytes)
{
    m_cacheBytes += bytes;
    if (m_cacheBytes > CacheBudget && !m_trimming)
        trimCache();
}

// Lets the pictures least recently shown go until half the budget is left.
void LayoutViewTiles::trimCache()
{
    m_trimming = true;
    std::vector<LayoutViewTile *> cached;
    for (LayoutViewTile *tile : std::as_const(m_tiles)) {
        if (tile->cacheBytes() > 0)
            cached.push_back(tile);
    }
    std::sort(cached.begin(), cached.end(), [](const LayoutViewTile *a, const LayoutViewTile *b) {
        return a->lastPainted() < b->lastPainted();
    });
    for (LayoutViewTile *tile : cached) {
        if (m_cacheBytes <= CacheBudget / 2)
            break;
        tile->dropCache();
    }
    m_trimming = false;
}

void LayoutViewTiles::dropPictures()
{
    for (LayoutViewTile *tile : std::as_const(m_tiles))
        tile->dropCache();
}

void LayoutViewTiles::clear()
{
    delete m_layer; // and its tiles
    m_layer = nullptr;
    m_tiles.clear();
    m_cacheBytes = 0;
}
