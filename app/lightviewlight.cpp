#include "lightviewlight.h"

#include "lightview.h"
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

LightViewLight::LightViewLight(Light *light, QTreeWidgetItem *parent)
    : QTreeWidgetItem(parent, Type), m_light(light)
{
    setFlags(flags() & ~Qt::ItemIsDragEnabled);
    setExpanded(false);
}

quint64 LightViewLight::uid() const
{
    return m_light ? m_light->uid() : 0;
}

QVariant LightViewLight::data(int column, int role) const
{
    if (m_light && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        switch (column) {
        case 0:
            return m_light->name();
        case 1:
            return QString::number(int(m_light->port()) + 1);
        case 2:
            return QString::number(m_light->dmxChannel() + 1);
        default:
            break;
        }
    }
    if (role == Qt::DecorationRole && column == 0)
        return lightIcon();
    return QTreeWidgetItem::data(column, role);
}

int LightViewLight::checkedPortNumber() const
{
    const int port = portNumber();
    if (text(1).toInt() != port)
        qDebug() << "Light - LightViewLight portNumber MisMatch!";
    return port;
}

int LightViewLight::checkedDmxChannel() const
{
    const int channel = dmxChannelNumber();
    if (text(2).toInt() != channel)
        qDebug() << "Light - LightViewLight dmxAddress MisMatch!";
    return channel;
}

int LightViewLight::portNumber() const
{
    return m_light ? int(m_light->port()) + 1 : 0;
}

int LightViewLight::dmxChannelNumber() const
{
    return m_light ? m_light->dmxChannel() + 1 : 0;
}

namespace {
// The collator puts an empty name before any other, even one of only ignorable characters,
// whose key equals the empty name's: the empty names are settled before collating.
template <typename Collate> bool emptyNameFirst(bool aEmpty, bool bEmpty, Collate collate)
{
    if (aEmpty || bEmpty)
        return aEmpty && !bEmpty;
    return collate() < 0;
}
} // namespace

bool LightViewLight::nameLessThan(const LightViewLight &other) const
{
    const QString a = text(0);
    const QString b = other.text(0);
    return emptyNameFirst(a.isEmpty(), b.isEmpty(),
                          [&] { return sharedNumericCollator().compare(a, b); });
}

void LightNameKeys::finish()
{
    m_active = false;
    m_parent = nullptr;
    m_keys.clear();
}

const LightNameKeys::Key &LightNameKeys::keyOf(const LightViewLight &row)
{
    const auto found = m_keys.find(&row);
    if (found != m_keys.end())
        return found->second;
    const QString name = row.text(0);
    return m_keys.emplace(&row, Key{sharedNumericCollator().sortKey(name), name.isEmpty()})
        .first->second;
}

bool LightNameKeys::less(const LightViewLight &a, const LightViewLight &b)
{
    if (!m_active)
        return a.nameLessThan(b);
    if (a.parent() != m_parent) {
        m_keys.clear();
        m_parent = a.parent();
    }
    const Key &ka = keyOf(a);
    const Key &kb = keyOf(b);
    return emptyNameFirst(ka.empty, kb.empty, [&] { return ka.key.compare(kb.key); });
}

bool LightViewLight::operator<(const QTreeWidgetItem &other) const
{
    if (other.type() != Type)
        return false;
    const auto &o = static_cast<const LightViewLight &>(other);
    const QTreeWidget *tree = treeWidget();
    switch (tree ? tree->sortColumn() : 0) {
    case 0:
        if (const auto *view = qobject_cast<const LightView *>(tree))
            return view->nameKeys().less(*this, o);
        return nameLessThan(o);
    // The row's texts are the light's own numbers, so the numbers compare without a detour
    // through text.
    case 1: {
        const int a = portNumber();
        const int b = o.portNumber();
        return a != b ? a < b : dmxChannelNumber() < o.dmxChannelNumber();
    }
    case 2:
        return dmxChannelNumber() < o.dmxChannelNumber();
    default:
        return false;
    }
}
