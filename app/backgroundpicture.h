#ifndef BACKGROUNDPICTURE_H
#define BACKGROUNDPICTURE_H

#include <QImage>
#include <QSize>
#include <QString>

// Reads the picture shown under the lights on the layout canvas: a scanned floor plan is
// commonly 6,000 to 16,000 pixels on a side. A picture of more than MaxSide on a side is
// refused, before a byte of it is decoded where the file tells its size truly, so a small file
// that would inflate to gigabytes costs nothing; one above the pixel budget is scaled down while
// or right after it is decoded, and the canvas shows it stretched back to its full size.
//
// A PNG or a JPEG is decoded here (libpng, libjpeg), row by row at 8 bits a channel straight
// into the size kept: the toolkit would decode a 16-bit PNG whole at 8 bytes a pixel (2 GiB at
// the largest side), a palette or grey one whole before converting it to 32 bits, and then copy
// either again to scale it; it would also show a damaged JPEG grey where data is missing. A
// damaged PNG is refused, as is any file that starts as a JPEG where libjpeg reports damage that
// may cost pixels; a JPEG whose every pixel decodes is shown, with stray bytes between its header
// segments or its end marker missing. An icon's PNG picture is decoded here too (the toolkit's
// icon reader would read it through a PNG reader that keeps every text chunk). Any other format
// decodes whole through the toolkit, at 4 bytes a pixel at most, and is scaled down a band at a
// time; what it decodes is checked against the same limits before it is kept, since a GIF may
// decode larger than its header tells, and may keep a copy of its frame. A BMP whose file ends
// before the pixels its header tells is refused; where the toolkit decodes less than a GIF's
// frame, the rest is transparent. No decode needs more than MaxSide squared at 4 bytes, so that
// loading takes about 1.5 GB at most. What a file may ask for (its sides, its pixels, its scans)
// bounds the time it takes too: whether it loads depends on its bytes alone, never on how fast
// the machine is.
class BackgroundPicture
{
public:
    static constexpr int MaxSide = 16384;
    // Pixels kept for the canvas: 256 MiB at the 4 bytes a pixel the canvas stores.
    static constexpr qint64 PixelBudget = qint64(64) * 1024 * 1024;
    // What one decode may allocate, in MiB: MaxSide squared at 4 bytes a pixel (8-bit colour).
    // Formats that cannot decode scaled down decode at full size first; a progressive JPEG
    // keeps its coefficients, 3 bytes a pixel when its colour is subsampled, 6 when not.
    static constexpr int DecodeLimitMiB = 1024;
    // Scans a progressive JPEG may have: its writers use about ten, yet each scan may make the
    // decoder pass over every coefficient of the picture again.
    static constexpr int MaxScans = 64;

    // The size to decode a picture of this full size at: itself when within the budget,
    // otherwise scaled down to it keeping the aspect ratio. Invalid for an empty size or a
    // side beyond MaxSide.
    static QSize decodeSize(const QSize &full);

    // The picture in file, or a null image when it cannot be read, is damaged or is too large.
    // fullSize receives the size it stands for on the canvas, which is larger than the image's
    // own when the image was scaled down. The largest pictures take seconds.
    static QImage load(const QString &file, QSize *fullSize);
};

#endif // BACKGROUNDPICTURE_H
