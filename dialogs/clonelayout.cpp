#include "clonelayout.h"

#include <QtGlobal>

#include <limits>

namespace {
constexpr int MinSpacing = 12;

int saturated(qint64 v)
{
    return int(qBound(qint64(std::numeric_limits<int>::min()), v,
                      qint64(std::numeric_limits<int>::max())));
}
} // namespace

CloneGrid cloneGrid(CloneLayout layout, int rows, int columns, bool hole)
{
    switch (layout) {
    case CloneLayout::Row:
        return {1, columns, false};
    case CloneLayout::Column:
        return {rows, 1, false};
    case CloneLayout::Grid:
        break;
    }
    return {rows, columns, hole};
}

int cloneSpacing(int stored)
{
    return qMax(MinSpacing, stored);
}

QVector<ClonePlace> clonePlaces(const CloneGrid &grid, const QRect &source, const QRect &lights,
                                int spacing)
{
    // Rectangle edges are inclusive, so these are one less than width and height.
    const qint64 w = qint64(source.right()) - source.left();
    const qint64 h = qint64(source.bottom()) - source.top();
    const qint64 top = qint64(lights.bottom()) + 2 * spacing;
    QVector<ClonePlace> places;
    for (int r = 0; r < grid.rows; ++r) {
        for (int k = 0; k < grid.columns; ++k) {
            if (r == 0 && k == 0 && grid.hole)
                continue;
            places.append({r * grid.columns + k, saturated((w + 2 * spacing) * k + spacing),
                           saturated((h + 2 * spacing) * r + top)});
        }
    }
    return places;
}

QString cloneName(const QString &sourceName, int number)
{
    return QStringLiteral("%1 - clone %2").arg(sourceName).arg(number);
}
