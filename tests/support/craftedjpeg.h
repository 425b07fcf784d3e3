#ifndef CRAFTEDJPEG_H
#define CRAFTEDJPEG_H

#include <QByteArray>
#include <QRgb>
#include <QSize>

// JPEG files written by libjpeg row by row, in colour spaces the toolkit's writer has not, and
// of sizes it would need a picture of gigabytes for.
namespace CraftedJpeg {

enum class Colour { Rgb, Grey, Cmyk };

// The upper half `top`, the lower half `bottom`. Grey keeps the green channel; CMYK stores the
// red, green, blue and alpha bytes as its four inverted channels (as an Adobe marker tells), so
// that they read back as red * alpha / 255 and so on.
QByteArray halves(QSize size, QRgb top, QRgb bottom, Colour colour = Colour::Rgb,
                  bool progressive = false);

} // namespace CraftedJpeg

#endif // CRAFTEDJPEG_H
