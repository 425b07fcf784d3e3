#include "layoutviewlight.h"

#include "layoutviewtiles.h"

#include "colour/veycolor.h"
#include "model/light.h"
#include "model/lightframestate.h"

LayoutViewLight::LayoutViewLight(quint64 uid, Light *light, quint32 order)
    : m_uid(uid), m_light(light), m_state(light ? light->frameState() : nullptr), m_order(order),
      m_fill(qRgb(0, 0, 0))
{}

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
    m_outlined = outlined;
    m_outline = rgb;
    repaint();
}

void LayoutViewLight::repaintAcrossTiles(const QRectF &area)
{
    if (m_grid)
        m_grid->repaint(area);
}

void LayoutViewLight::refreshColor()
{
    if (!m_state)
        return;
    QRgb rgb = qRgb(0, 0, 0);
    if (m_state->currentColor.isValid()) {
        // A copy: reading the 8-bit components may convert the colour to RGB.
        const VeyColor current = m_state->currentColor;
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
