#include "layoutviewlight.h"

#include "colour/veycolor.h"
#include "model/light.h"

#include <QBrush>
#include <QGraphicsScene>
#include <QPen>

LayoutViewLight::LayoutViewLight(QGraphicsScene *scene, quint64 uid, Light *light)
    : QGraphicsRectItem(0, 0, 6, 6), m_uid(uid), m_light(light)
{
    setPen(Qt::NoPen);
    setBrush(QBrush(Qt::black, Qt::SolidPattern));
    if (m_light)
        setToolTip(m_light->name());
    m_unsnapped = pos();
    if (scene)
        scene->addItem(this);
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
    const QColor color = QColor::fromRgb(rgb);
    setPen(QPen(color));
    setBrush(QBrush(color, Qt::SolidPattern));
}
