// Writes seed pictures for the background picture fuzzer: pictureseeds DIR
// Small pictures of every format the canvas accepts, as writers make them, and the damaged and
// oversized forms that the loader must refuse: cut short, a wrong checksum, a header that claims
// more than the largest side, a text chunk of 2 GiB (alone or in an icon or cursor), a GIF whose
// canvas is wider than it tells or that is cut short, JPEGs damaged after their
// start, in their scan data or past their last row, and progressive ones of too many scans; and
// whole JPEGs with stray bytes between header segments or without their end marker, of one scan
// a component, or arithmetic-coded.
#include "support/craftedgif.h"
#include "support/craftedjpeg.h"
#include "support/craftedpng.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

namespace {

QByteArray written(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage gradient(QImage::Format format)
{
    QImage image(13, 7, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 19, y * 36, 255 - x * 19, 255 - (x + y) * 8));
    return image.convertToFormat(format);
}

QList<QByteArray> writtenByTheToolkit()
{
    QList<QByteArray> seeds;
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Indexed8,
          QImage::Format_Grayscale8, QImage::Format_Grayscale16, QImage::Format_Mono})
        seeds << written(gradient(format), "PNG") << written(gradient(format), "BMP");
    for (const char *format : {"ICO", "PPM", "PGM", "PBM", "XBM", "XPM"})
        seeds << written(gradient(QImage::Format_ARGB32), format);
    QByteArray icon = written(gradient(QImage::Format_ARGB32), "ICO");
    icon[6] = icon[7] = 0; // the directory tells 256 x 256
    seeds << icon << written(gradient(QImage::Format_RGB32), "BMP").chopped(1);
    return seeds;
}

QList<QByteArray> crafted()
{
    const quint16 top[4] = {0xFFFF, 0x8080, 0x0000, 0xFFFF};
    const quint16 bottom[4] = {0x0000, 0x4040, 0xFFFF, 0x8080};
    const QVector<QRgb> palette{qRgb(200, 100, 50), qRgb(0, 255, 0), qRgb(10, 20, 30),
                                qRgb(255, 255, 255)};
    const QByteArray pixels("\0\1\2\3\3\2\1\0\1\1", 10);
    const QByteArray progressive = CraftedJpeg::halves(
        QSize(33, 17), qRgb(200, 100, 50), qRgb(20, 40, 220), CraftedJpeg::Colour::Rgb, true);
    QList<QByteArray> seeds{
        CraftedPng::halves(QSize(9, 7), 16, top, bottom),
        CraftedPng::halves(QSize(9, 7), 16, top, bottom, true),
        CraftedPng::halves(QSize(5, 3), 8, top, bottom),
        CraftedPng::black(QSize(20, 20), false),
        CraftedPng::black(QSize(100000, 100000), true, false),
        CraftedPng::black(QSize(16385, 1), false),
        CraftedJpeg::halves(QSize(16, 16), qRgb(200, 100, 50), qRgb(20, 40, 220)),
        progressive,
        CraftedJpeg::halves(QSize(9, 9), qRgb(200, 100, 50), qRgb(20, 40, 220),
                            CraftedJpeg::Colour::Grey),
        CraftedJpeg::halves(QSize(9, 9), qRgba(200, 100, 50, 128), qRgb(20, 40, 220),
                            CraftedJpeg::Colour::Cmyk),
        CraftedJpeg::halves(QSize(16385, 8), qRgb(1, 2, 3), qRgb(4, 5, 6)),
        CraftedGif::picture(QSize(5, 2), QRect(0, 0, 5, 2), palette, pixels),
        CraftedGif::picture(QSize(3000, 0), QRect(0, 0, 5, 2), palette, pixels),
        CraftedGif::picture(QSize(28272, 0), QRect(0, 0, 1, 9063), palette),
        CraftedGif::picture(QSize(1, 20000), QRect(0, 0, 1, 1), palette),
        CraftedPng::inIcon(CraftedPng::black(QSize(20000, 1), false), 16),
        CraftedPng::inIcon(CraftedPng::halves(QSize(5, 3), 8, top, bottom), 5),
    };
    for (const char *type : {"tEXt", "zTXt", "iTXt"})
        seeds << CraftedPng::oversizedChunk(type);
    seeds << CraftedPng::inIcon(CraftedPng::oversizedChunk("tEXt"), 1)
          << CraftedPng::inIcon(CraftedPng::oversizedChunk("zTXt"), 1, true);
    const QByteArray jpeg = CraftedJpeg::halves(QSize(16, 16), qRgb(1, 2, 3), qRgb(4, 5, 6));
    using CraftedJpeg::Damage;
    for (const Damage kind : {Damage::PaddedStart, Damage::StrayBytes, Damage::EndUnreadable,
                              Damage::EndMissing, Damage::StrayHeaderBytes})
        seeds << CraftedJpeg::damaged(jpeg, kind);
    for (const Damage kind : {Damage::EndMissing, Damage::StrayScanBytes})
        seeds << CraftedJpeg::damaged(progressive, kind);
    using CraftedJpeg::Coding;
    for (const Coding coding : {Coding::ScanPerComponent, Coding::Arithmetic})
        seeds << CraftedJpeg::halves(QSize(17, 9), qRgb(200, 100, 50), qRgb(20, 40, 220), coding);
    seeds << CraftedJpeg::manyScans(QSize(8, 8), 65) // one past the loader's limit
          << CraftedJpeg::repeatedLastScan(progressive, 3)
          << CraftedJpeg::halves(QSize(9, 9), qRgba(200, 100, 50, 128), qRgb(20, 40, 220),
                                 CraftedJpeg::Colour::Ycck)
          << CraftedGif::picture(QSize(5, 2), QRect(0, 0, 5, 2), palette, pixels).left(40);
    return seeds;
}

// Each whole seed cut short, and with a byte flipped in its header.
QList<QByteArray> damaged(const QList<QByteArray> &whole)
{
    QList<QByteArray> seeds;
    for (const QByteArray &seed : whole) {
        seeds << seed.left(seed.size() * 2 / 3);
        QByteArray flipped = seed;
        flipped[qMin<qsizetype>(20, seed.size() - 1)] ^= 0x40;
        seeds << flipped;
    }
    return seeds;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    QCoreApplication application(argc, argv); // the ICO writer is a plugin
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const QList<QByteArray> whole = writtenByTheToolkit() + crafted();
    const QList<QByteArray> all = whole + damaged(whole);
    for (int i = 0; i < all.size(); ++i) {
        QFile file(QStringLiteral("%1/seed-%2").arg(dir).arg(i, 4, 10, QLatin1Char('0')));
        if (all[i].isEmpty() || !file.open(QIODevice::WriteOnly) ||
            file.write(all[i]) != all[i].size())
            return 1;
    }
    return 0;
}
