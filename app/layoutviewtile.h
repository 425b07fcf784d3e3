#ifndef LAYOUTVIEWTILE_H
#define LAYOUTVIEWTILE_H

#include <QGraphicsItem>
#include <QImage>

#include <cmath>

#include <vector>

class LayoutViewLight;
class LayoutViewTiles;

// Draws one cell of the canvas: every square, or part of a square, that falls in it, in the
// squares' stacking order, whichever cell holds the square's corner. Tiles do not overlap, so
// the order within a cell is the whole story, also for squares that reach across a border.
// In a view the tile keeps its picture at the view's scale and draws again only the area of
// the squares that changed since; elsewhere (printing, images of the scene) it draws straight
// onto the painter.
class LayoutViewTile : public QGraphicsItem
{
public:
    enum { Type = 4002 };

    // How the canvas maps onto a view's pixels: scale, then the view's offset less its whole
    // pixels, from which pixels count. A pixel shows what holds its centre, a square's right
    // and bottom edges included and its left and top ones not, as the painter's aliased raster
    // fills; above 1:1 an outline also loses the corners its pen's bevelled joins cut off.
    // The pictures and the clicks both ask here, so that a click finds what the picture shows.
    struct Raster
    {
        qreal sx;
        qreal sy;
        qreal fx;
        qreal fy;
        // The picture's first pixel; where a picture is drawn.
        QPoint first;

        // The pixels over the square's sides from `from` to `to` units past its corner; with
        // none and force set, the pixel holding their middle, so that no square vanishes.
        bool span(const QPointF &corner, qreal from, qreal to, bool force, QRect *pixels) const;
        // Up to 1:1 the painter draws a one-unit pen as a thin line, which has no joins.
        bool bevelled() const { return sx > 1 && sy > 1; }
        // Whether the pixel, one of an outlined square's span, lies in a corner that the
        // outline's bevelled joins cut off.
        bool cutOff(const LayoutViewLight *light, int x, int y) const;
        // Whether the pixel shows the square, outline or fill.
        bool shows(const LayoutViewLight *light, int x, int y) const;
    };
    // The raster of a view's transform; false for one that turns or mirrors the canvas.
    static bool rasterOf(const QTransform &t, Raster *raster, QPoint *wholePixels);
    // The first pixel whose centre lies at or past the canvas coordinate, along an axis of
    // the given scale and sub-pixel offset: a cell's pixels run from its left (top) edge's
    // to its right (bottom) edge's, so that each pixel is drawn by one tile only.
    static int firstPixelFrom(qreal edge, qreal scale, qreal fraction)
    {
        return int(std::ceil(edge * scale + fraction - 0.5));
    }

    LayoutViewTile(LayoutViewTiles *grid, const QRectF &cell, qint32 column, qint32 row);
    ~LayoutViewTile() override;

    int type() const override { return Type; }
    QRectF boundingRect() const override { return m_cell; }
    // Empty: the tile is never hit, found under a point or collided with; the grid answers
    // for the squares.
    QPainterPath shape() const override;
    bool contains(const QPointF &point) const override;
    bool collidesWithItem(const QGraphicsItem *other,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;
    bool collidesWithPath(const QPainterPath &path,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    QRectF cell() const { return m_cell; }
    void setCell(const QRectF &cell);
    qint32 column() const { return m_column; }
    qint32 row() const { return m_row; }
    // The squares whose corner lies in the cell, lowest first.
    const std::vector<LayoutViewLight *> &lights() const { return m_lights; }
    // The square this tile draws on top at the pixel, one of its own, or none: the tile
    // draws it among the same squares as its picture, its own and its neighbours'.
    const LayoutViewLight *lightShownAt(const Raster &raster, int x, int y) const;
    void insert(LayoutViewLight *light);
    void erase(LayoutViewLight *light);
    // Whether the area, or a square's corner, lies in the cell (canvas units).
    bool holds(const QRectF &area) const
    {
        return area.left() >= m_cell.left() && area.right() <= m_cell.right() &&
               area.top() >= m_cell.top() && area.bottom() <= m_cell.bottom();
    }
    bool holdsCorner(const QPointF &p) const
    {
        return p.x() >= m_cell.left() && p.x() < m_cell.right() && p.y() >= m_cell.top() &&
               p.y() < m_cell.bottom();
    }
    // The area (canvas units) must be drawn again; asks the scene for it. Once many parts
    // of a tile changed before it was painted (a drag, a chase step), the scene is asked for
    // the whole tile and further changes only widen the area the picture draws again.
    void invalidate(const QRectF &area)
    {
        if (!m_allDirty)
            invalidatePart(area);
        else
            m_dirty |= area & m_cell;
    }
    // A light of the tile was added, taken away or moved: the neighbours' lists of squares
    // reaching into their cells may be stale.
    void touchGeometry();
    quint64 geometryChanged() const { return m_geometryChanged; }
    qint64 cacheBytes() const { return m_image.sizeInBytes(); }
    void dropCache();
    quint64 lastPainted() const { return m_lastPainted; }

private:
    void invalidatePart(const QRectF &area);
    bool paintCached(QPainter *painter, QWidget *widget);
    void drawDirect(QPainter *painter, const QRectF &exposed) const;
    bool drawPixels(QPainter *painter, const QRectF &exposed) const;
    QRect cellPixels(const Raster &raster) const;
    static QRectF areaOf(const Raster &raster, const QRect &pixels);
    void render(const Raster &raster, const QRect &pixels);
    template <class Fill>
    static void rasterise(const Raster &raster, const std::vector<const LayoutViewLight *> &lights,
                          Fill fill);
    template <class Fill>
    static void rasteriseOutline(const Raster &raster, const LayoutViewLight *light,
                                 const QRect &span, Fill fill);
    std::vector<const LayoutViewLight *> lightsOver(const QRectF &area) const;
    std::vector<const LayoutViewLight *> scanLightsOver(const QRectF &area) const;
    bool reachingInValid(const QRectF &area) const;
    void collectReachingIn(const QRectF &area) const;

    LayoutViewTiles *m_grid;
    QRectF m_cell;
    qint32 m_column;
    qint32 m_row;
    std::vector<LayoutViewLight *> m_lights;
    // The picture, the scale and sub-pixel offset it was drawn at, and its first pixel in
    // the view's pixel grid (less the whole pixels of the view's offset).
    QImage m_image;
    qreal m_scaleX = 0;
    qreal m_scaleY = 0;
    qreal m_fractionX = 0;
    qreal m_fractionY = 0;
    QPoint m_firstPixel;
    // Asked to be drawn again since the last paint (canvas units).
    QRectF m_dirty;
    int m_dirtyParts = 0;
    bool m_allDirty = false;
    quint64 m_lastPainted = 0;
    // When a light of this tile last changed place or tile (the grid's clock).
    quint64 m_geometryChanged = 0;
    // The neighbours' squares that reach into m_reachArea, lowest first, as they stood at
    // m_reachStamp: a tile drawn again and again (colours changing, a chase) then looks at a
    // few dozen squares of its neighbours instead of every one of theirs.
    mutable std::vector<const LayoutViewLight *> m_reachingIn;
    mutable QRectF m_reachArea;
    mutable quint64 m_reachStamp = 0;
    mutable int m_reachTileCount = 0;
    mutable const LayoutViewTile *m_neighbours[8] = {};
};

#endif // LAYOUTVIEWTILE_H
