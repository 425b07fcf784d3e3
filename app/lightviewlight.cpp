#include "lightviewlight.h"

#include "numericcollator.h"

#include "model/light.h"

#include <QDebug>
#include <QPainter>
#include <QPixmap>
#include <QtMath>

namespace {
// A 16 x 16 yellow disc with short rays.
const QIcon &lightIcon()
{
    static const QIcon icon = [] {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xc0, 0x90, 0x00), 1));
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(QPointF(8 + 5 * qCos(a), 8 + 5 * qSin(a)),
                       QPointF(8 + 7.5 * qCos(a), 8 + 7.5 * qSin(a)));
        }
        p.setBrush(QColor(0xff, 0xe0, 0x20));
        p.drawEllipse(QPointF(8, 8), 4, 4);
        return QIcon(pm);
    }();
    return icon;
}
} // namespace

LightViewLight::LightViewLight(QTreeWidgetItem *parent, Light *light)
    : QTreeWidgetItem(parent, Type), m_light(light)
{
    m_collator = makeNumericCollator();
    setFlags(flags() & ~Qt::ItemIsDragEnabled);
    setIcon(0, lightIcon());
    setExpanded(false);
    refresh();
}

quint64 LightViewLight::uid() const
{
    return m_light ? m_light->uid() : 0;
}

void LightViewLight::refresh()
{
    if (!m_light)
        return;
    setText(0, m_light->name());
    setText(1, QString::number(int(m_light->port()) + 1));
    setText(2, QString::number(m_light->dmxChannel() + 1));
}

int LightViewLight::checkedPortNumber() const
{
    const int port = m_light ? int(m_light->port()) + 1 : 0;
    if (text(1).toInt() != port)
        qDebug() << "Light - LightViewLight portNumber MisMatch!";
    return port;
}

int LightViewLight::checkedDmxChannel() const
{
    const int channel = m_light ? m_light->dmxChannel() + 1 : 0;
    if (text(2).toInt() != channel)
        qDebug() << "Light - LightViewLight dmxAddress MisMatch!";
    return channel;
}

bool LightViewLight::operator<(const QTreeWidgetItem &other) const
{
    if (other.type() != Type)
        return false;
    const auto &o = static_cast<const LightViewLight &>(other);
    const QTreeWidget *tree = treeWidget();
    switch (tree ? tree->sortColumn() : 0) {
    case 0:
        return m_collator.compare(text(0), o.text(0)) < 0;
    case 1: {
        const int a = checkedPortNumber();
        const int b = o.checkedPortNumber();
        return a != b ? a < b : checkedDmxChannel() < o.checkedDmxChannel();
    }
    case 2:
        return checkedDmxChannel() < o.checkedDmxChannel();
    default:
        return false;
    }
}
