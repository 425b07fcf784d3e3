#include "groupviewgroup.h"

#include "model/group.h"
#include "model/identifiers.h"

#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

namespace {
// One 4 x 4 dot: a 2 x 2 centre in a one-pixel ring, the square's four corners left as
// background.
void drawDot(QImage &img, int x, int y, QRgb ring, QRgb centre)
{
    for (int dy = 0; dy < 4; ++dy) {
        for (int dx = 0; dx < 4; ++dx) {
            const bool corner = (dx == 0 || dx == 3) && (dy == 0 || dy == 3);
            if (corner)
                continue;
            const bool inner = dx >= 1 && dx <= 2 && dy >= 1 && dy <= 2;
            img.setPixel(x + dx, y + dy, inner ? centre : ring);
        }
    }
}

QImage blankIcon()
{
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    return img;
}

QIcon gridIcon(QRgb ring, const QRgb centres[3])
{
    QImage img = blankIcon();
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            drawDot(img, 1 + 5 * col, 1 + 5 * row, ring, centres[col]);
    return QIcon(QPixmap::fromImage(img));
}

struct GroupIcons
{
    QIcon chasing, synchronized, ownLight, empty;
};

const GroupIcons &icons()
{
    static const GroupIcons set = [] {
        GroupIcons s;
        const QRgb black = qRgb(0, 0, 0);
        const QRgb chase[3] = {qRgb(255, 0, 0), qRgb(0xe0, 0x80, 0x40), qRgb(255, 255, 0)};
        s.chasing = gridIcon(black, chase);
        const QRgb sync[3] = {qRgb(0x00, 0xe0, 0x80), qRgb(0x00, 0xe0, 0x80),
                              qRgb(0x00, 0xe0, 0x80)};
        s.synchronized = gridIcon(black, sync);
        QImage own = blankIcon();
        drawDot(own, 6, 6, black, qRgb(255, 0, 0));
        s.ownLight = QIcon(QPixmap::fromImage(own));
        const QRgb pale[3] = {qRgb(0xe8, 0xe8, 0xe8), qRgb(0xe8, 0xe8, 0xe8),
                              qRgb(0xe8, 0xe8, 0xe8)};
        s.empty = gridIcon(qRgb(0x89, 0x89, 0x89), pale);
        return s;
    }();
    return set;
}
} // namespace

GroupViewGroup::GroupViewGroup(Group *group) : QTreeWidgetItem(Type)
{
    if (group)
        setText(2, QString::number(group->uid()));
    update(group);
}

unsigned int GroupViewGroup::groupType() const
{
    bool ok = false;
    const unsigned int t = text(1).toUInt(&ok);
    return ok ? t : 0;
}

quint64 GroupViewGroup::uid() const
{
    bool ok = false;
    const quint64 u = text(2).toULongLong(&ok);
    return ok ? u : 0;
}

void GroupViewGroup::update(Group *group)
{
    if (!group)
        return;
    setText(0, group->name());
    setText(1, QString::number(group->type()));
    // An empty group shows grey whatever its type.
    setIconForType(group->children().isEmpty() ? 0 : group->type());
}

void GroupViewGroup::setIconForType(int type)
{
    const GroupIcons &set = icons();
    switch (type) {
    case 1:
        setIcon(0, set.chasing);
        break;
    case 2:
        setIcon(0, set.synchronized);
        break;
    case 3:
        setIcon(0, set.ownLight);
        break;
    default:
        setIcon(0, set.empty);
        break;
    }
}

bool GroupViewGroup::operator<(const QTreeWidgetItem &other) const
{
    const QTreeWidget *tree = treeWidget();
    const int column = tree ? tree->sortColumn() : 0;
    return naturalCompare(text(column), other.text(column)) == -1;
}
