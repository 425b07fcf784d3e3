#include "lightviewinterface.h"

#include "numericcollator.h"

#include "model/datasupply.h"

#include <QDebug>
#include <QPainter>
#include <QPixmap>

namespace {
// A 16 x 16 box with a cable; the unassociated form is the same drawing in pale greys.
QIcon drawInterfaceIcon(const QColor &outline, const QColor &body, const QColor &detail)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(outline);
    p.setBrush(body);
    p.drawRect(1, 4, 10, 8);
    p.setPen(detail);
    p.drawLine(3, 7, 8, 7);
    p.drawLine(3, 9, 8, 9);
    p.setPen(QPen(outline, 1));
    p.drawLine(11, 8, 13, 8);
    p.drawLine(13, 8, 13, 13);
    p.drawLine(13, 13, 15, 13);
    return QIcon(pm);
}

const QIcon &associatedIcon()
{
    static const QIcon icon =
        drawInterfaceIcon(Qt::black, QColor(0x80, 0x80, 0x80), QColor(0xd0, 0xd0, 0xd0));
    return icon;
}

const QIcon &unassociatedIcon()
{
    static const QIcon icon = drawInterfaceIcon(QColor(0xa8, 0xa8, 0xa8), QColor(0xe0, 0xe0, 0xe0),
                                                QColor(0xf4, 0xf4, 0xf4));
    return icon;
}
} // namespace

LightViewInterface::LightViewInterface(DataSupply *dataSupply)
    : QTreeWidgetItem(Type), m_dataSupply(dataSupply)
{
    setFlags(flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled));
    setExpanded(false);
    refresh();
}

quint64 LightViewInterface::uid() const
{
    return m_dataSupply ? m_dataSupply->uid() : 0;
}

void LightViewInterface::refresh()
{
    if (!m_dataSupply)
        return;
    setText(0, m_dataSupply->name());
    setIcon(0, m_dataSupply->hasIpAddress() ? associatedIcon() : unassociatedIcon());
}

QString LightViewInterface::checkedName() const
{
    const QString name = m_dataSupply ? m_dataSupply->name() : QString();
    if (text(0) != name)
        qDebug() << "Controller - LightViewInterface Name MisMatch!";
    return name;
}

bool LightViewInterface::operator<(const QTreeWidgetItem &other) const
{
    const QTreeWidget *tree = treeWidget();
    const int column = tree ? tree->sortColumn() : 0;
    return sharedNumericCollator().compare(text(column), other.text(column)) < 0;
}
