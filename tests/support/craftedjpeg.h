#ifndef CRAFTEDJPEG_H
#define CRAFTEDJPEG_H

#include <QByteArray>
#include <QRgb>
#include <QSize>

// JPEG files written by libjpeg row by row, in colour spaces the toolkit's writer has not, and
// of sizes it would need a picture of gigabytes for.
namespace CraftedJpeg {

enum class Colour { Rgb, Grey, Cmyk, Ycck };

// The upper half `top`, the lower half `bottom`. Grey keeps the green channel; CMYK and YCCK
// store the red, green, blue and alpha bytes as their four inverted channels (as an Adobe marker
// tells), so that they read back as red * alpha / 255 and so on.
QByteArray halves(QSize size, QRgb top, QRgb bottom, Colour colour = Colour::Rgb,
                  bool progressive = false);

// A sequential picture of one scan a component, as some writers make them, or coded with
// arithmetic coding instead of Huffman codes.
enum class Coding { ScanPerComponent, Arithmetic };
QByteArray halves(QSize size, QRgb top, QRgb bottom, Coding coding);

// A progressive picture of `scans` scans (2 to 2,080), each a valid step: the DC coefficients,
// then one AC coefficient of one component a scan, its bits sent from the highest down.
QByteArray manyScans(QSize size, int scans);

// A progressive picture whose last scan is sent `count` times in all, as a damaged or hostile
// writer may: every scan after the first of them repeats coefficients already sent.
QByteArray repeatedLastScan(const QByteArray &progressive, int count);

enum class Damage {
    CutShort,         // the file ends halfway through its scan data
    PaddedStart,      // cut short, and a byte that is no marker follows the start marker
    StrayBytes,       // bytes left after the scan data, which no longer fits the picture
    EndUnreadable,    // every row whole, then a segment cut short where the end marker was
    EndMissing,       // every row whole, the file ends where its end marker was
    LastByteMissing,  // the end marker and the last byte of the scan data missing
    StrayHeaderBytes, // two bytes that are no marker before the first quantisation table, which
                      // comes before the frame header
    StrayScanBytes    // two such bytes before the last scan, after the scans before it
};

// The picture `jpeg` with damage of `kind`.
QByteArray damaged(const QByteArray &jpeg, Damage kind);

} // namespace CraftedJpeg

#endif // CRAFTEDJPEG_H
