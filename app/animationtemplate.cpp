#include "animationtemplate.h"

#include <cmath>

namespace AnimationTemplate {

Extent measure(const QList<QPointF> &positions)
{
    Extent e;
    for (const QPointF &p : positions) {
        e.maxX = std::max(e.maxX, p.x());
        e.maxY = std::max(e.maxY, p.y());
        e.minX = std::min(e.minX, p.x());
        e.minY = std::min(e.minY, p.y());
    }
    return e;
}

Fit fits(const Extent &extent, int grid)
{
    if (grid < 1)
        return Fit::Empty;
    const double w = std::trunc(extent.width(grid));
    const double h = std::trunc(extent.height(grid));
    if (!(w >= 1.0 && h >= 1.0))
        return Fit::Empty;
    if (w > MaxSide || h > MaxSide || w * h > double(MaxPixels))
        return Fit::TooLarge;
    return Fit::Fits;
}

QImage render(const QList<QPointF> &positions, const Extent &extent, int grid)
{
    const int w = int(extent.width(grid));
    const int h = int(extent.height(grid));
    QImage image(w, h, QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    image.fill(EmptyCell);
    for (const QPointF &p : positions) {
        const int column = int((p.x() - extent.minX) / grid);
        const int row = int((p.y() - extent.minY) / grid);
        if (column >= 0 && column < w && row >= 0 && row < h)
            image.setPixel(column, row, LightCell);
    }
    return image;
}

} // namespace AnimationTemplate
