#include "layoutviewtile.h"

#include "layoutviewlight.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>

LayoutViewTile::LayoutViewTile(const QRectF &cell) : m_cell(cell)
{
    setFlag(ItemUsesExtendedStyleOption);
    setAcceptedMouseButtons(Qt::NoButton);
}

// A square whose corner the tile holds reaches a side and half an outline beyond it.
QRectF LayoutViewTile::boundingRect() const
{
    const qreal after = Reach + LayoutViewLight::Side + 1;
    return m_cell.adjusted(-Reach - 1, -Reach - 1, after, after);
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

// Each square as a rectangle item would draw itself: its outline pen, or none, and a solid
// fill. The pen and brush change only between squares of different colours, which on a lit
// map are few.
void LayoutViewTile::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const QRectF exposed = option->exposedRect;
    bool outlined = false;
    QRgb outline = 0;
    QRgb fill = 0;
    bool started = false;
    for (const LayoutViewLight *light : m_lights) {
        if (!light->isVisible())
            continue;
        const QPointF at = light->pos();
        if (!light->boundingRect().translated(at).intersects(exposed))
            continue;
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
        painter->drawRect(light->rect().translated(at));
    }
}

void LayoutViewTile::add(LayoutViewLight *light, bool repaint)
{
    m_lights.push_back(light);
    light->setTile(this);
    if (repaint)
        light->repaint();
}

void LayoutViewTile::remove(LayoutViewLight *light, bool repaint)
{
    const auto it = std::find(m_lights.begin(), m_lights.end(), light);
    if (it == m_lights.end())
        return;
    if (repaint)
        light->repaint();
    m_lights.erase(it);
    light->setTile(nullptr);
}
