#include "layoutviewtile.h"

#include "layoutviewlight.h"
#include "layoutviewtiles.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

namespace {
// Larger pictures than this (a cell zoomed in far) cost more memory than drawing the few
// squares a view then shows; smaller ones hold less than a pixel per square.
constexpr qreal MaxPictureSide = 1024;
constexpr qreal MinPictureSide = 8;
// Separate areas a tile asks the scene for before it asks for the whole cell. A chase step
// changes a row of some twenty squares in a tile, which stays below this and so shows
// without the view drawing the whole cell and its neighbours' edges again.
constexpr int MaxDirtyParts = 64;

bool lowerFirst(const LayoutViewLight *a, const LayoutViewLight *b)
{
    return a->order() < b->order();
}

// The pixels whose centres lie in (a, b], as the painter's aliased raster fills a rectangle;
// with none and force set, the pixel nearest the middle, so that no square vanishes.
bool pixelSpan(qreal a, qreal b, bool force, int *first, int *last)
{
    *first = int(std::floor(a - 0.5)) + 1;
    *last = int(std::floor(b - 0.5));
    if (*last >= *first)
        return true;
    if (!force)
        return false;
    *first = *last = int(std::floor((a + b) / 2));
    return true;
}
} // namespace

// How the canvas maps onto the picture: scale, then the view's sub-pixel offset, then the
// picture's first pixel.
struct LayoutViewTile::Raster
{
    qreal sx;
    qreal sy;
    qreal fx;
    qreal fy;
    QPoint first;
};

LayoutViewTile::LayoutViewTile(LayoutViewTiles *grid, const QRectF &cell, qint32 column, qint32 row)
    : m_grid(grid), m_cell(cell), m_column(column), m_row(row)
{
    touchGeometry();
    setFlag(ItemUsesExtendedStyleOption);
    setAcceptedMouseButtons(Qt::NoButton);
}

LayoutViewTile::~LayoutViewTile()
{
    dropCache();
}

void LayoutViewTile::setCell(const QRectF &cell)
{
    prepareGeometryChange();
    m_cell = cell;
}

QPainterPath LayoutViewTile::shape() const
{
    return QPainterPath();
}

bool LayoutViewTile::contains(const QPointF &) const
{
    return false;
}

bool LayoutViewTile::collidesWithItem(const QGraphicsItem *, Qt::ItemSelectionMode) const
{
    return false;
}

bool LayoutViewTile::collidesWithPath(const QPainterPath &, Qt::ItemSelectionMode) const
{
    return false;
}

void LayoutViewTile::insert(LayoutViewLight *light)
{
    touchGeometry();
    const auto at = std::upper_bound(m_lights.begin(), m_lights.end(), light, lowerFirst);
    m_lights.insert(at, light);
    light->setTile(this);
}

void LayoutViewTile::erase(LayoutViewLight *light)
{
    touchGeometry();
    const auto at = std::lower_bound(m_lights.begin(), m_lights.end(), light, lowerFirst);
    if (at != m_lights.end() && *at == light)
        m_lights.erase(at);
    light->setTile(nullptr);
}

void LayoutViewTile::invalidatePart(const QRectF &area)
{
    const QRectF inside = area & m_cell;
    if (inside.isEmpty() || m_dirty.contains(inside))
        return;
    if (++m_dirtyParts > MaxDirtyParts) {
        m_allDirty = true;
        m_dirty |= inside;
        update(m_cell);
        return;
    }
    m_dirty |= inside;
    update(inside);
}

void LayoutViewTile::dropCache()
{
    if (m_image.isNull())
        return;
    if (m_grid)
        m_grid->cacheChanged(-m_image.sizeInBytes());
    m_image = QImage();
}

namespace {
// QRectF::intersects of a square's reach, 7 units from half a unit before its corner, with the
// area, written out for the many squares.
struct Meets
{
    explicit Meets(const QRectF &area)
        : left(area.left() - 6.5), right(area.right() + 0.5), top(area.top() - 6.5),
          bottom(area.bottom() + 0.5)
    {}
    bool operator()(const LayoutViewLight *light) const
    {
        const qreal x = light->x(), y = light->y();
        return x > left && x < right && y > top && y < bottom;
    }
    qreal left, right, top, bottom;
};

// The squares of a cell that meet the area, in their order, with room for `more` besides.
std::vector<const LayoutViewLight *> lightsMeeting(const std::vector<LayoutViewLight *> &lights,
                                                   const QRectF &cell, const QRectF &area,
                                                   const Meets &meets, size_t more)
{
    std::vector<const LayoutViewLight *> over;
    if (area.contains(cell)) {
        over.reserve(lights.size() + more);
        over.assign(lights.begin(), lights.end());
    } else {
        for (const LayoutViewLight *light : lights) {
            if (meets(light))
                over.push_back(light);
        }
    }
    return over;
}
} // namespace

// Every square over the area from this cell and its neighbours, lowest first.
std::vector<const LayoutViewLight *> LayoutViewTile::lightsOver(const QRectF &area) const
{
    if (m_grid->plainDrawing() || !(area.width() >= 0 && area.height() >= 0))
        return scanLightsOver(area);
    if (!reachingInValid(area))
        collectReachingIn(area);
    const Meets meets(area);
    std::vector<const LayoutViewLight *> over =
        lightsMeeting(m_lights, m_cell, area, meets, m_reachingIn.size());
    const size_t own = over.size();
    for (const LayoutViewLight *light : m_reachingIn) {
        if (meets(light))
            over.push_back(light);
    }
    if (over.size() > own)
        std::inplace_merge(over.begin(), over.begin() + qsizetype(own), over.end(), lowerFirst);
    return over;
}

void LayoutViewTile::touchGeometry()
{
    m_geometryChanged = m_grid->nextGeometryStamp();
}

// The list holds every neighbour's square that can meet the area while no neighbour was made,
// and no square of a neighbour came, went or moved, since it was drawn up.
bool LayoutViewTile::reachingInValid(const QRectF &area) const
{
    if (m_reachStamp == 0 || m_reachTileCount != m_grid->tileCount() || !m_reachArea.contains(area))
        return false;
    for (const LayoutViewTile *tile : m_neighbours) {
        if (tile && tile->m_geometryChanged > m_reachStamp)
            return false;
    }
    return true;
}

void LayoutViewTile::collectReachingIn(const QRectF &area) const
{
    // Grown, never shrunk: the areas asked for lie about the cell, and the whole picture's
    // comes first.
    m_reachArea = (m_reachStamp ? m_reachArea : QRectF()) | m_cell | area;
    const Meets meets(m_reachArea);
    m_reachingIn.clear();
    int next = 0;
    for (qint32 dr = -1; dr <= 1; ++dr) {
        for (qint32 dc = -1; dc <= 1; ++dc) {
            if (dr == 0 && dc == 0)
                continue;
            const LayoutViewTile *tile = m_grid->find(m_column + dc, m_row + dr);
            m_neighbours[next++] = tile;
            if (!tile)
                continue;
            for (const LayoutViewLight *light : tile->m_lights) {
                if (meets(light))
                    m_reachingIn.push_back(light);
            }
        }
    }
    std::sort(m_reachingIn.begin(), m_reachingIn.end(), lowerFirst);
    m_reachStamp = m_grid->nextGeometryStamp();
    m_reachTileCount = m_grid->tileCount();
}

// The plain way: every square of the cell and of its neighbours looked at.
std::vector<const LayoutViewLight *> LayoutViewTile::scanLightsOver(const QRectF &area) const
{
    const Meets meets(area);
    std::vector<const LayoutViewLight *> over = lightsMeeting(m_lights, m_cell, area, meets, 16);
    const size_t own = over.size();
    for (qint32 dr = -1; dr <= 1; ++dr) {
        for (qint32 dc = -1; dc <= 1; ++dc) {
            if (dr == 0 && dc == 0)
                continue;
            const LayoutViewTile *tile = m_grid->find(m_column + dc, m_row + dr);
            if (!tile)
                continue;
            for (const LayoutViewLight *light : tile->m_lights) {
                if (meets(light))
                    over.push_back(light);
            }
        }
    }
    if (over.size() > own) {
        std::sort(over.begin() + qsizetype(own), over.end(), lowerFirst);
        std::inplace_merge(over.begin(), over.begin() + qsizetype(own), over.end(), lowerFirst);
    }
    return over;
}

void LayoutViewTile::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                           QWidget *widget)
{
    m_lastPainted = m_grid->nextPaintStamp();
    if (!paintCached(painter, widget)) {
        dropCache();
        drawDirect(painter, option->exposedRect);
    }
    m_dirty = QRectF();
    m_dirtyParts = 0;
    m_allDirty = false;
}

// Each square as a rectangle item would draw itself: its outline pen, or none, and a solid
// fill; what reaches beyond the cell is the neighbour's to draw.
void LayoutViewTile::drawDirect(QPainter *painter, const QRectF &exposed) const
{
    const QRectF area = exposed & m_cell;
    if (area.isEmpty())
        return;
    painter->save();
    painter->setClipRect(m_cell, Qt::IntersectClip);
    bool outlined = false;
    QRgb outline = 0;
    QRgb fill = 0;
    bool started = false;
    for (const LayoutViewLight *light : lightsOver(area)) {
        if (!started || light->isOutlined() != outlined ||
            (outlined && light->outlineColor() != outline)) {
            outlined = light->isOutlined();
            outline = light->outlineColor();
            painter->setPen(outlined ? QPen(QColor::fromRgba(outline)) : QPen(Qt::NoPen));
        }
        if (!started || light->fillColor() != fill) {
            fill = light->fillColor();
            painter->setBrush(QBrush(QColor::fromRgba(fill), Qt::SolidPattern));
        }
        started = true;
        painter->drawRect(light->rect().translated(light->pos()));
    }
    painter->restore();
}

// Draws from the picture kept at the view's scale, bringing it up to date first. False when
// the painter's mapping does not suit a picture (rotated, mirrored, no view, or too far
// zoomed either way).
bool LayoutViewTile::paintCached(QPainter *painter, QWidget *widget)
{
    const QTransform t = painter->worldTransform();
    if (!widget || t.type() > QTransform::TxScale || t.m11() <= 0 || t.m22() <= 0)
        return false;
    const qreal sx = t.m11();
    const qreal sy = t.m22();
    const qreal side = qMax(m_cell.width() * sx, m_cell.height() * sy);
    if (side > MaxPictureSide || qMin(m_cell.width() * sx, m_cell.height() * sy) < MinPictureSide)
        return false;
    const qreal wholeX = std::floor(t.dx());
    const qreal wholeY = std::floor(t.dy());
    Raster raster{sx, sy, t.dx() - wholeX, t.dy() - wholeY, QPoint()};
    // The pixels whose centres lie in the cell; the neighbours take the rest.
    const int x0 = int(std::ceil(m_cell.left() * sx + raster.fx - 0.5));
    const int x1 = int(std::ceil(m_cell.right() * sx + raster.fx - 0.5));
    const int y0 = int(std::ceil(m_cell.top() * sy + raster.fy - 0.5));
    const int y1 = int(std::ceil(m_cell.bottom() * sy + raster.fy - 0.5));
    raster.first = QPoint(x0, y0);
    const QSize size(x1 - x0, y1 - y0);
    if (size.isEmpty())
        return true;
    const bool same = !m_image.isNull() && m_image.size() == size && m_scaleX == sx &&
                      m_scaleY == sy && m_fractionX == raster.fx && m_fractionY == raster.fy &&
                      m_firstPixel == raster.first;
    if (!same) {
        dropCache();
        m_image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        m_grid->cacheChanged(m_image.sizeInBytes());
        m_scaleX = sx;
        m_scaleY = sy;
        m_fractionX = raster.fx;
        m_fractionY = raster.fy;
        m_firstPixel = raster.first;
        render(raster, QRect(QPoint(0, 0), size));
    } else if (!m_dirty.isEmpty()) {
        const QRect pixels(QPoint(int(std::floor(m_dirty.left() * sx + raster.fx)) - 1 - x0,
                                  int(std::floor(m_dirty.top() * sy + raster.fy)) - 1 - y0),
                           QPoint(int(std::ceil(m_dirty.right() * sx + raster.fx)) + 1 - x0,
                                  int(std::ceil(m_dirty.bottom() * sy + raster.fy)) + 1 - y0));
        render(raster, pixels & m_image.rect());
    }
    painter->save();
    painter->resetTransform();
    painter->drawImage(QPointF(wholeX + x0, wholeY + y0), m_image);
    painter->restore();
    return true;
}

// Clears the given pixels of the picture and fills in every square over them, lowest first,
// pixel by pixel as the painter's aliased raster would draw the rectangle: the outline's
// pixels, then the fill's inside them.
void LayoutViewTile::render(const Raster &raster, const QRect &pixels)
{
    if (pixels.isEmpty())
        return;
    uchar *bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    auto fillPixels = [&](int left, int right, int top, int bottom, QRgb color) {
        left = qMax(left, pixels.left());
        right = qMin(right, pixels.right());
        top = qMax(top, pixels.top());
        bottom = qMin(bottom, pixels.bottom());
        if (left > right)
            return;
        for (int y = top; y <= bottom; ++y) {
            auto *line = reinterpret_cast<QRgb *>(bits + y * stride);
            std::fill(line + left, line + right + 1, color);
        }
    };
    fillPixels(pixels.left(), pixels.right(), pixels.top(), pixels.bottom(), 0);
    // The canvas area the pixels show, with a pixel to spare for squares rounded into them.
    const qreal fromX = (pixels.left() + raster.first.x() - 1 - raster.fx) / raster.sx;
    const qreal toX = (pixels.right() + 1 + raster.first.x() + 1 - raster.fx) / raster.sx;
    const qreal fromY = (pixels.top() + raster.first.y() - 1 - raster.fy) / raster.sy;
    const qreal toY = (pixels.bottom() + 1 + raster.first.y() + 1 - raster.fy) / raster.sy;
    const QRectF area(QPointF(fromX, fromY), QPointF(toX, toY));
    auto span = [&](qreal from, qreal to, bool force, int *left, int *right, int *top, int *bottom,
                    const QPointF &p) {
        return pixelSpan((p.x() + from) * raster.sx + raster.fx,
                         (p.x() + to) * raster.sx + raster.fx, force, left, right) &&
               pixelSpan((p.y() + from) * raster.sy + raster.fy,
                         (p.y() + to) * raster.sy + raster.fy, force, top, bottom);
    };
    const QPoint first = raster.first;
    // The outline less its cut corners, which only rows within the bevel of its top or bottom
    // edge hold: there a pixel whose top-left point the square's shape leaves out stays
    // unpainted, so that what shows is what a click there finds.
    const qreal toSceneX = 1 / raster.sx;
    const qreal toSceneY = 1 / raster.sy;
    auto fillOutline = [&](const LayoutViewLight *light, int left, int right, int top, int bottom) {
        const QRectF shape = light->sceneShape();
        const QRgb colour = light->outlineColor();
        auto rowTop = [&](int y) { return (y - raster.fy) * toSceneY; };
        auto cut = [&](int x, qreal y) {
            const QPointF p((x - raster.fx) * toSceneX, y);
            return p.x() >= shape.left() && p.x() < shape.right() && y >= shape.top() &&
                   y < shape.bottom() && LayoutViewLight::inCutCorner(p, shape);
        };
        auto fillRow = [&](int y) {
            const qreal at = rowTop(y);
            int l = left, r = right;
            while (l <= r && cut(l, at))
                ++l;
            while (r >= l && cut(r, at))
                --r;
            fillPixels(l - first.x(), r - first.x(), y - first.y(), y - first.y(), colour);
        };
        int y = top;
        for (; y <= bottom && rowTop(y) - shape.top() < LayoutViewLight::Bevel; ++y)
            fillRow(y);
        int end = bottom;
        for (; end >= y && shape.bottom() - rowTop(end) <= LayoutViewLight::Bevel; --end)
            fillRow(end);
        fillPixels(left - first.x(), right - first.x(), y - first.y(), end - first.y(), colour);
    };
    // Below a pixel a unit the cut corners are less than a pixel: cutting the pixels whose
    // corner falls in them would take whole pixels off squares a few pixels wide, or the one
    // pixel of a smaller square. The picture keeps them there, as the painter's thin lines do.
    const bool bevelled = raster.sx >= 1 && raster.sy >= 1;
    for (const LayoutViewLight *light : lightsOver(area)) {
        const QPointF p = light->pos();
        int left, right, top, bottom;
        const bool outlined = light->isOutlined();
        const qreal from = outlined ? -0.5 : 0;
        const qreal to = LayoutViewLight::Side - from;
        if (!span(from, to, true, &left, &right, &top, &bottom, p))
            continue;
        const QRgb fill = light->fillColor();
        if (!outlined) {
            fillPixels(left - first.x(), right - first.x(), top - first.y(), bottom - first.y(),
                       fill);
            continue;
        }
        if (bevelled)
            fillOutline(light, left, right, top, bottom);
        else
            fillPixels(left - first.x(), right - first.x(), top - first.y(), bottom - first.y(),
                       light->outlineColor());
        if (span(0.5, LayoutViewLight::Side - 0.5, false, &left, &right, &top, &bottom, p))
            fillPixels(left - first.x(), right - first.x(), top - first.y(), bottom - first.y(),
                       fill);
    }
}
