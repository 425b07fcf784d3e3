#ifndef CRAFTEDPNG_H
#define CRAFTEDPNG_H

#include <QByteArray>
#include <QSize>

// PNG files written byte by byte, of sizes the toolkit's own writer would need gigabytes for.
namespace CraftedPng {

// A black picture: 8-bit RGB (decoded at 4 bytes a pixel) or 1-bit grey (decoded at 1 bit a
// pixel, so a huge one is small both on disk and decoded). Without pixels it is a header
// alone, which is all a size check may read.
QByteArray black(QSize size, bool rgb, bool withPixels = true);

// An RGBA picture of 8 or 16 bits a channel: the upper half `top`, the lower half `bottom`,
// each colour as four 16-bit values (red, green, blue, alpha; at 8 bits their high bytes).
// Rows repeat the row above them, so even the largest is a few megabytes, and it is written
// without a buffer of its decoded size.
QByteArray halves(QSize size, int bits, const quint16 (&top)[4], const quint16 (&bottom)[4],
                  bool interlaced = false);

// A 1 x 1 picture whose header is followed by a chunk of `type` that declares the largest length
// a chunk may have (2^31 - 1 bytes) and then ends: what a reader that trusts the length
// allocates before it finds out.
QByteArray oversizedChunk(const QByteArray &type);

// An icon file (a cursor file when `cursor`) holding png as its one picture, whose directory
// entry tells the icon's side as `side` (1 to 256) whatever the picture's own size.
QByteArray inIcon(const QByteArray &png, int side, bool cursor = false);

} // namespace CraftedPng

#endif // CRAFTEDPNG_H
