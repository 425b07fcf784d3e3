#ifndef BACKGROUNDPICTURE_H
#define BACKGROUNDPICTURE_H

#include <QImage>
#include <QSize>
#include <QString>

// Reads the picture shown under the lights on the layout canvas: a scanned floor plan is
// commonly 6,000 to 16,000 pixels on a side. A picture whose header claims more than
// MaxSide on a side is refused before a byte of it is decoded, so a small file that would
// inflate to gigabytes costs nothing; one above the pixel budget is scaled down while or
// right after it is decoded, and the canvas shows it stretched back to its full size.
//
// A PNG is decoded here, row by row at 8 bits a channel straight into the size kept: the
// toolkit would decode a 16-bit one whole at 8 bytes a pixel (2 GiB at the largest side), and a
// palette or grey one whole before converting it to 32 bits, and then copy it again to scale
// it. A JPEG decodes scaled down; any other format decodes whole, at 4 bytes a pixel at most,
// and is scaled down a band at a time. No decode needs more than MaxSide squared at 4 bytes.
class BackgroundPicture
{
public:
    static constexpr int MaxSide = 16384;
    // Pixels kept for the canvas: 256 MiB at the 4 bytes a pixel the canvas stores.
    static constexpr qint64 PixelBudget = qint64(64) * 1024 * 1024;
    // What one decode may allocate, in MiB: MaxSide squared at 4 bytes a pixel (8-bit colour).
    // Formats that cannot decode scaled down decode at full size first.
    static constexpr int DecodeLimitMiB = 1024;

    // The size to decode a picture of this full size at: itself when within the budget,
    // otherwise scaled down to it keeping the aspect ratio. Invalid for an empty size or a
    // side beyond MaxSide.
    static QSize decodeSize(const QSize &full);

    // The picture in file, or a null image when it cannot be read or is too large. fullSize
    // receives the size it stands for on the canvas, which is larger than the image's own
    // when the image was scaled down.
    static QImage load(const QString &file, QSize *fullSize);
};

#endif // BACKGROUNDPICTURE_H
