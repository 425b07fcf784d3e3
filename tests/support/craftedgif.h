#ifndef CRAFTEDGIF_H
#define CRAFTEDGIF_H

#include <QByteArray>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QVector>

// GIF files written byte by byte: the toolkit writes none.
namespace CraftedGif {

// One frame in a logical screen. The frame's pixels are indices into a palette of at most four
// colours, given row by row; without pixels the frame holds no data at all, which is all that a
// check of its size may read. A side of the screen may be 0, as a decoder is asked to take the
// frame's extent for it then.
QByteArray picture(QSize screen, QRect frame, const QVector<QRgb> &palette,
                   const QByteArray &pixels = QByteArray());

// A picture() without pixels whose frame is to be restored to what lay under it once shown: a
// reader keeps a copy of what the frame covers.
QByteArray restoredFrame(QSize screen, QRect frame, const QVector<QRgb> &palette);

} // namespace CraftedGif

#endif // CRAFTEDGIF_H
