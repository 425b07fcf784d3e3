#ifndef LAYOUTVIEWTILES_H
#define LAYOUTVIEWTILES_H

#include "layoutviewlight.h"
#include "layoutviewtile.h"

#include <QHash>
#include <QPointF>
#include <QPointer>

#include <vector>

class QGraphicsScene;
class QPainterPath;

// The canvas cut into square cells, each drawn by one tile made when a square first reaches
// it. A square belongs to the tile of the cell that holds its corner; the grid answers for
// the squares what the scene answered for items: which one a point hits (the one on top),
// which ones a band or another square meets.
// The tiles are children of one tile without lights that spans them all and tells the scene
// so: only that one enters the scene's index. The tiles belong to the scene like its other
// items: when the grid goes first it leaves them there.
class LayoutViewTiles
{
public:
    // Twenty grid steps of the usual 12: a few hundred lights per tile on a dense map.
    static constexpr int CellSize = 240;
    // What the tiles' pictures may take together before the least recently shown go.
    static constexpr qint64 CacheBudget = 32 * 1024 * 1024;

    explicit LayoutViewTiles(QGraphicsScene *scene);
    ~LayoutViewTiles();
    LayoutViewTiles(const LayoutViewTiles &) = delete;
    LayoutViewTiles &operator=(const LayoutViewTiles &) = delete;

    // Hands the square to the tile of its position and draws it there; without enter, the
    // square is in its tile already and only the tiles it reaches are made and drawn.
    void add(LayoutViewLight *light, bool enter = true);
    // Takes the square from its tile and clears its area.
    void remove(LayoutViewLight *light);
    // Moves the square to p; its old and new areas are drawn again.
    void place(LayoutViewLight *light, const QPointF &p);
    // The area (canvas units) is drawn again by every tile it touches.
    void repaint(const QRectF &area);
    // Every tile is drawn again whole.
    void repaintEverything();
    // Deletes every tile; the squares must be gone or be added again.
    void clear();
    int tileCount() const { return int(m_tiles.size()); }
    LayoutViewTile *find(qint32 column, qint32 row) const
    {
        return m_tiles.value(key(column, row));
    }

    // Every square in a tile, tile by tile.
    template <class Visit> void forEachLight(Visit visit) const
    {
        for (const LayoutViewTile *tile : m_tiles)
            for (LayoutViewLight *light : tile->lights())
                visit(light);
    }

    // The square on top of those a view with the transform shows at the viewport pixel that
    // holds the point, or none: what its picture shows there, or the painter where it draws
    // the squares itself.
    const LayoutViewLight *lightShownAt(const QTransform &viewportTransform,
                                        const QPointF &viewportPoint) const;
    // The squares meeting the rectangle, or the closed polygon, including their outlines:
    // cell by cell, in rows from the top left, and within a cell the top one first.
    std::vector<const LayoutViewLight *> lightsMeeting(const QRectF &rect) const;
    std::vector<const LayoutViewLight *> lightsMeeting(const QPainterPath &path) const;
    // Whether the square overlaps any other square.
    bool overlapsAnother(const LayoutViewLight *light) const;

    quint64 nextPaintStamp() { return ++m_paintClock; }
    // Orders changes of the squares' places against the tiles' lists of what reaches in.
    quint64 nextGeometryStamp() { return ++m_geometryClock; }
    // With this on, tiles look through every square of their neighbours each time they draw:
    // the slow way their kept lists are checked against.
    void setPlainDrawing(bool on) { m_plainDrawing = on; }
    bool plainDrawing() const { return m_plainDrawing; }
    // Tiles report what their pictures take; beyond the budget the oldest pictures go.
    void cacheChanged(qint64 bytes);
    void dropPictures();

private:
    static quint64 key(qint32 column, qint32 row)
    {
        return (quint64(quint32(column)) << 32) | quint32(row);
    }
    LayoutViewTile *tileAt(qint32 column, qint32 row);
    // The cell whose tile draws the pixel, along one axis of a raster.
    static qint32 cellDrawing(int pixel, qreal scale, qreal fraction);
    // The square on top of those whose reach meets the area and that pass the test.
    template <class Shows>
    const LayoutViewLight *topLightOver(const QRectF &area, Shows shows) const;
    // The tiles over the area (existing ones only), in rows from the top left.
    template <class Visit> void forTilesOver(const QRectF &area, Visit visit) const;
    void trimCache();

    QPointer<QGraphicsScene> m_scene;
    QHash<quint64, LayoutViewTile *> m_tiles;
    LayoutViewTile *m_layer = nullptr;
    quint64 m_paintClock = 0;
    quint64 m_geometryClock = 0;
    bool m_plainDrawing = false;
    qint64 m_cacheBytes = 0;
    bool m_trimming = false;
};

#endif // LAYOUTVIEWTILES_H
