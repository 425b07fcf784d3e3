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
    setFill(brush.color().rgba());
}

void LayoutViewLight::setFill(QRgb fill)
{
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

QRgb CanvasColorMemo::plainRgbOf(const VeyColor &color)
{
    if (!color.isValid())
        return qRgb(0, 0, 0);
    // Converted once, not once for each component.
    const VeyColor rgb = color.toRgb();
    return qRgb(int(rgb.red8()), int(rgb.green8()), int(rgb.blue8()));
}

QRgb CanvasColorMemo::rgbOf(const VeyColor &color)
{
    // Neighbouring lights often share a colour: the last one found is tried first.
    if (m_last < m_count && m_colors[m_last] == color)
        return m_rgb[m_last];
    for (int i = 0; i < m_count; ++i) {
        if (m_colors[i] == color) {
            m_last = i;
            return m_rgb[i];
        }
    }
    const QRgb rgb = plainRgbOf(color);
    const int slot = m_count < Size ? m_count++ : m_next;
    m_next = (slot + 1) % Size;
    m_colors[slot] = color;
    m_rgb[slot] = rgb;
    m_last = slot;
    return rgb;
}

void LayoutViewLight::refreshColor(CanvasColorMemo &memo)
{
    if (!m_state)
        return;
    showColor(m_state->currentColor.isValid() ? memo.rgbOf(m_state->currentColor) : qRgb(0, 0, 0));
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
    // Outline and fill together: one repaint of the square, not two.
    if (m_outlined && m_outline == rgb && m_fill == rgb)
        return;
    m_outlined = true;
    m_outline = rgb;
    m_fill = rgb;
    repaint();
}
