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

bool LayoutViewTile::Raster::span(const QPointF &corner, qreal from, qreal to, bool force,
                                  QRect *pixels) const
{
    int left, right, top, bottom;
    if (!pixelSpan((corner.x() + from) * sx + fx, (corner.x() + to) * sx + fx, force, &left,
                   &right) ||
        !pixelSpan((corner.y() + from) * sy + fy, (corner.y() + to) * sy + fy, force, &top,
                   &bottom))
        return false;
    *pixels = QRect(QPoint(left, top), QPoint(right, bottom));
    return true;
}

// The cut's diagonal edge is the span's left end at the left corners and its right end at the
// right ones, and a span's left end is out where its right end is in.
bool LayoutViewTile::Raster::cutOff(const LayoutViewLight *light, int x, int y) const
{
    const QRectF shape = light->sceneShape();
    const qreal cx = (x + 0.5 - fx) / sx;
    const qreal cy = (y + 0.5 - fy) / sy;
    const qreal left = cx - shape.left(), right = shape.right() - cx;
    const qreal top = cy - shape.top(), bottom = shape.bottom() - cy;
    const qreal bevel = LayoutViewLight::Bevel;
    return left + top <= bevel || left + bottom <= bevel || right + top < bevel ||
           right + bottom < bevel;
}

bool LayoutViewTile::Raster::shows(const LayoutViewLight *light, int x, int y) const
{
    const qreal from = light->isOutlined() ? -0.5 : 0;
    QRect pixels;
    return span(light->pos(), from, LayoutViewLight::Side - from, true, &pixels) &&
           pixels.contains(x, y) && !(light->isOutlined() && bevelled() && cutOff(light, x, y));
}

bool LayoutViewTile::rasterOf(const QTransform &t, Raster *raster, QPoint *wholePixels)
{
    if (t.type() > QTransform::TxScale || t.m11() <= 0 || t.m22() <= 0)
        return false;
    const qreal wholeX = std::floor(t.dx());
    const qreal wholeY = std::floor(t.dy());
    *raster = Raster{t.m11(), t.m22(), t.dx() - wholeX, t.dy() - wholeY, QPoint()};
    *wholePixels = QPoint(int(wholeX), int(wholeY));
    return true;
}

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
        if (!widget || !drawPixels(painter, option->exposedRect))
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

// The pixels whose centres lie in the cell; the neighbours take the rest.
QRect LayoutViewTile::cellPixels(const Raster &raster) const
{
    const int x0 = firstPixelFrom(m_cell.left(), raster.sx, raster.fx);
    const int x1 = firstPixelFrom(m_cell.right(), raster.sx, raster.fx);
    const int y0 = firstPixelFrom(m_cell.top(), raster.sy, raster.fy);
    const int y1 = firstPixelFrom(m_cell.bottom(), raster.sy, raster.fy);
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

const LayoutViewLight *LayoutViewTile::lightShownAt(const Raster &raster, int x, int y) const
{
    if (!cellPixels(raster).contains(x, y))
        return nullptr;
    const std::vector<const LayoutViewLight *> over = lightsOver(areaOf(raster, QRect(x, y, 1, 1)));
    for (auto it = over.rbegin(); it != over.rend(); ++it) {
        if (raster.shows(*it, x, y))
            return *it;
    }
    return nullptr;
}

// The canvas area the pixels show, with a pixel to spare for squares rounded into them.
QRectF LayoutViewTile::areaOf(const Raster &raster, const QRect &pixels)
{
    return QRectF(QPointF((pixels.left() - 1 - raster.fx) / raster.sx,
                          (pixels.top() - 1 - raster.fy) / raster.sy),
                  QPointF((pixels.right() + 2 - raster.fx) / raster.sx,
                          (pixels.bottom() + 2 - raster.fy) / raster.sy));
}

// Where a view shows the squares without a picture (zoomed in or out too far for one), the
// tile fills their pixels itself, by the raster that pictures and clicks follow: the painter's
// own rectangles would round some pixels of the outlines' corners otherwise.
bool LayoutViewTile::drawPixels(QPainter *painter, const QRectF &exposed) const
{
    Raster raster;
    QPoint whole;
    if (!rasterOf(painter->worldTransform(), &raster, &whole))
        return false;
    const QRectF area = exposed & m_cell;
    if (area.isEmpty())
        return true;
    const QRect shown(QPoint(int(std::floor(area.left() * raster.sx + raster.fx)) - 1,
                             int(std::floor(area.top() * raster.sy + raster.fy)) - 1),
                      QPoint(int(std::ceil(area.right() * raster.sx + raster.fx)) + 1,
                             int(std::ceil(area.bottom() * raster.sy + raster.fy)) + 1));
    const QRect limit = shown & cellPixels(raster);
    if (limit.isEmpty())
        return true;
    painter->save();
    painter->resetTransform();
    rasterise(raster, lightsOver(areaOf(raster, limit)), [&](const QRect &run, QRgb colour) {
        const QRect part = run & limit;
        if (!part.isEmpty())
            painter->fillRect(part.translated(whole), QColor::fromRgba(colour));
    });
    painter->restore();
    return true;
}

// Draws from the picture kept at the view's scale, bringing it up to date first. False when
// the painter's mapping does not suit a picture (rotated, mirrored, no view, or too far
// zoomed either way).
bool LayoutViewTile::paintCached(QPainter *painter, QWidget *widget)
{
    Raster raster;
    QPoint whole;
    if (!widget || !rasterOf(painter->worldTransform(), &raster, &whole))
        return false;
    const qreal sx = raster.sx;
    const qreal sy = raster.sy;
    const qreal side = qMax(m_cell.width() * sx, m_cell.height() * sy);
    if (side > MaxPictureSide || qMin(m_cell.width() * sx, m_cell.height() * sy) < MinPictureSide)
        return false;
    const QRect cell = cellPixels(raster);
    raster.first = cell.topLeft();
    const QSize size = cell.size();
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
        const int x0 = cell.left(), y0 = cell.top();
        const QRect pixels(QPoint(int(std::floor(m_dirty.left() * sx + raster.fx)) - 1 - x0,
                                  int(std::floor(m_dirty.top() * sy + raster.fy)) - 1 - y0),
                           QPoint(int(std::ceil(m_dirty.right() * sx + raster.fx)) + 1 - x0,
                                  int(std::ceil(m_dirty.bottom() * sy + raster.fy)) + 1 - y0));
        render(raster, pixels & m_image.rect());
    }
    painter->save();
    painter->resetTransform();
    painter->drawImage(QPointF(whole + raster.first), m_image);
    painter->restore();
    return true;
}

// Clears the given pixels of the picture and fills in every square over them.
void LayoutViewTile::render(const Raster &raster, const QRect &pixels)
{
    if (pixels.isEmpty())
        return;
    uchar *bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    auto fillPixels = [&](const QRect &run, QRgb color) {
        const QRect part = run & pixels;
        for (int y = part.top(); y <= part.bottom(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(bits + y * stride);
            std::fill(line + part.left(), line + part.right() + 1, color);
        }
    };
    fillPixels(pixels, 0);
    const QPoint first = raster.first;
    rasterise(raster, lightsOver(areaOf(raster, pixels.translated(first))),
              [&](const QRect &run, QRgb colour) { fillPixels(run.translated(-first), colour); });
}

// Hands each run of pixels the squares cover to fill, lowest square first, as the painter's
// aliased raster would draw the rectangles: the outline's pixels, then the fill's inside them.
template <class Fill>
void LayoutViewTile::rasterise(const Raster &raster,
                               const std::vector<const LayoutViewLight *> &lights, Fill fill)
{
    // Up to a pixel a unit the cut corners are at most a pixel: cutting the pixels whose
    // centre falls in them would take whole pixels off squares a few pixels wide, or the one
    // pixel of a smaller square. The picture keeps them there, as the painter's thin lines do.
    const bool bevelled = raster.bevelled();
    for (const LayoutViewLight *light : lights) {
        const QPointF p = light->pos();
        const bool outlined = light->isOutlined();
        const qreal from = outlined ? -0.5 : 0;
        QRect span;
        if (!raster.span(p, from, LayoutViewLight::Side - from, true, &span))
            continue;
        if (!outlined) {
            fill(span, light->fillColor());
            continue;
        }
        if (bevelled)
            rasteriseOutline(raster, light, span, fill);
        else
            fill(span, light->outlineColor());
        if (raster.span(p, 0.5, LayoutViewLight::Side - 0.5, false, &span))
            fill(span, light->fillColor());
    }
}

// The outline less its cut corners, which only rows within the bevel of its top or bottom
// edge hold.
template <class Fill>
void LayoutViewTile::rasteriseOutline(const Raster &raster, const LayoutViewLight *light,
                                      const QRect &span, Fill fill)
{
    const QRectF shape = light->sceneShape();
    const QRgb colour = light->outlineColor();
    auto rowCentre = [&raster](int y) { return (y + 0.5 - raster.fy) / raster.sy; };
    auto fillRow = [&](int y) {
        int l = span.left(), r = span.right();
        while (l <= r && raster.cutOff(light, l, y))
            ++l;
        while (r >= l && raster.cutOff(light, r, y))
            --r;
        if (l <= r)
            fill(QRect(QPoint(l, y), QPoint(r, y)), colour);
    };
    int y = span.top();
    for (; y <= span.bottom() && rowCentre(y) - shape.top() < LayoutViewLight::Bevel; ++y)
        fillRow(y);
    int end = span.bottom();
    for (; end >= y && shape.bottom() - rowCentre(end) < LayoutViewLight::Bevel; --end)
        fillRow(end);
    if (y <= end)
        fill(QRect(QPoint(span.left(), y), QPoint(span.right(), end)), colour);
}
