#include "layoutviewlight.h"

#include "layoutviewtile.h"

#include "colour/veycolor.h"
#include "model/light.h"
#include "model/lightframestate.h"

#include <QGraphicsScene>
#include <QPainterPathStroker>

LayoutViewLight::LayoutViewLight(QGraphicsScene *scene, quint64 uid, Light *light)
    : m_fill(qRgb(0, 0, 0)), m_uid(uid), m_light(light)
{
    setFlag(ItemHasNoContents);
    m_unsnapped = pos();
    if (scene)
        scene->addItem(this);
}

QRectF LayoutViewLight::boundingRect() const
{
    const qreal half = m_outlined ? 0.5 : 0;
    return rect().adjusted(-half, -half, half, half);
}

// The square with its outline's stroke, as a rectangle drawn with that pen covers it.
QPainterPath LayoutViewLight::shape() const
{
    QPainterPath path;
    path.addRect(rect());
    if (!m_outlined)
        return path;
    const QPen outline = pen();
    QPainterPathStroker stroker;
    stroker.setCapStyle(outline.capStyle());
    stroker.setWidth(outline.widthF());
    stroker.setJoinStyle(outline.joinStyle());
    stroker.setMiterLimit(outline.miterLimit());
    QPainterPath stroked = stroker.createStroke(path);
    stroked.addPath(path);
    return stroked;
}

void LayoutViewLight::paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *)
{
    // The tile draws the square.
}

QPen LayoutViewLight::pen() const
{
    return m_outlined ? QPen(QColor::fromRgba(m_outline)) : QPen(Qt::NoPen);
}

void LayoutViewLight::setPen(const QPen &pen)
{
    setOutline(pen.style() != Qt::NoPen, pen.color().rgba());
}

QBrush LayoutViewLight::brush() const
{
    return QBrush(QColor::fromRgba(m_fill), Qt::SolidPattern);
}

void LayoutViewLight::setBrush(const QBrush &brush)
{
    const QRgb fill = brush.color().rgba();
    if (fill == m_fill)
        return;
    m_fill = fill;
    repaint();
}

void LayoutViewLight::setOutline(bool outlined, QRgb rgb)
{
    if (outlined == m_outlined && (!outlined || rgb == m_outline))
        return;
    if (outlined != m_outlined) {
        repaint(); // the old, smaller or larger, area
        prepareGeometryChange();
        m_outlined = outlined;
    }
    m_outline = rgb;
    repaint();
}

void LayoutViewLight::repaint()
{
    if (m_tile)
        m_tile->update(boundingRect().translated(pos()));
}

bool LayoutViewLight::collidesWithItem(const QGraphicsItem *other, Qt::ItemSelectionMode mode) const
{
    return other->type() != LayoutViewTile::Type && QGraphicsItem::collidesWithItem(other, mode);
}

void LayoutViewLight::refreshColor()
{
    if (!m_light)
        return;
    QRgb rgb = qRgb(0, 0, 0);
    if (m_light->hasCurrentColor()) {
        // A copy: reading the 8-bit components may convert the colour to RGB.
        const VeyColor current = m_light->currentColor();
        rgb = qRgb(int(current.red8()), int(current.green8()), int(current.blue8()));
    }
    showColor(rgb);
}

void LayoutViewLight::forgetShownColor()
{
    m_shown = 0;
    if (m_light)
        m_light->frameState()->canvasForgetColor();
}

void LayoutViewLight::showColor(QRgb rgb)
{
    if (rgb == m_shown)
        return;
    m_shown = rgb;
    setOutline(true, rgb);
    setBrush(QBrush(QColor::fromRgb(rgb), Qt::SolidPattern));
}
