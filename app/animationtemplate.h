#ifndef ANIMATIONTEMPLATE_H
#define ANIMATIONTEMPLATE_H

#include <QImage>
#include <QList>
#include <QPointF>
#include <QtGlobal>

// The animation template: one pixel per grid cell of the map's extent, opaque black where no
// light is and transparent white where at least one is, so content can be authored on a pixel
// grid that matches the lights' layout.
namespace AnimationTemplate {

// The largest template written, in pixels (400 MB of image); a larger one asks for a larger
// grid instead of exhausting memory.
constexpr qint64 MaxPixels = 100'000'000;
// The toolkit's images are at most this wide and high.
constexpr qint64 MaxSide = 32767;

constexpr QRgb EmptyCell = 0xFF000000u;
constexpr QRgb LightCell = 0x00FFFFFFu;

struct Extent
{
    // The accumulators start at 0 and 1000000, so the template always reaches the origin
    // when every light lies on one side of it.
    double minX = 1000000.0;
    double minY = 1000000.0;
    double maxX = 0.0;
    double maxY = 0.0;

    // Cells across and down for grid g, truncated toward zero; negative for no lights.
    double width(int grid) const { return (maxX - minX) / grid + 1.0; }
    double height(int grid) const { return (maxY - minY) / grid + 1.0; }
};

Extent measure(const QList<QPointF> &positions);

enum class Fit { Empty, TooLarge, Fits };
// Whether the template of extent over grid has pixels, and stays within the limits.
Fit fits(const Extent &extent, int grid);

// The template; call only when fits() says Fits.
QImage render(const QList<QPointF> &positions, const Extent &extent, int grid);

} // namespace AnimationTemplate

#endif // ANIMATIONTEMPLATE_H
