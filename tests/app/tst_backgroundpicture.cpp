#include "support/craftedgif.h"
#include "support/craftedjpeg.h"
#include "support/craftedpng.h"
#include "support/fastclock.h"

#include "app/backgroundpicture.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

QByteArray written(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, format) ? bytes : QByteArray();
}

// Two rows of two pixels: the colours go left to right, top to bottom.
QImage fourPixels(QImage::Format format, const QVector<QRgb> &colours)
{
    QImage image(2, 2, format);
    if (format == QImage::Format_Indexed8) {
        image.setColorTable(colours);
        for (int i = 0; i < 4; ++i)
            image.setPixel(i % 2, i / 2, uint(i));
    } else {
        for (int i = 0; i < 4; ++i)
            image.setPixel(i % 2, i / 2, colours.at(i));
    }
    return image;
}

const QVector<QRgb> fourColours{qRgb(200, 100, 50), qRgb(0, 255, 0), qRgb(10, 20, 30),
                                qRgb(255, 255, 255)};
const QList<QPoint> corners{{0, 0}, {1, 0}, {0, 1}, {1, 1}};

// The BMP file `bmp`, written bottom up, with its height negated: read top down.
QByteArray topDown(QByteArray bmp)
{
    qToLittleEndian(-qFromLittleEndian<qint32>(bmp.constData() + 22), bmp.data() + 22);
    return bmp;
}

const QRgb jpegTop = qRgb(200, 100, 50), jpegBottom = qRgb(20, 40, 220);

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

} // namespace

// Reading background pictures of every format the canvas accepts: what comes out, and what is
// refused as damaged or too large.
class TestBackgroundPicture : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString write(const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(QStringLiteral("picture")));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QString();
        return file.fileName();
    }

private slots:
    void picturesKeepTheirColours_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QSize>("full");
        QTest::addColumn<QList<QPoint>>("points");
        QTest::addColumn<QList<QRgb>>("colours");
        QTest::addColumn<int>("tolerance"); // JPEG is lossy
        const QList<QRgb> four(fourColours.begin(), fourColours.end());
        QTest::newRow("PNG, RGB") << written(fourPixels(QImage::Format_RGB32, fourColours), "PNG")
                                  << QSize(2, 2) << corners << four << 0;
        const QVector<QRgb> palette{qRgba(0, 0, 0, 0), qRgb(10, 200, 30), qRgba(90, 80, 70, 128),
                                    qRgb(1, 2, 3)};
        QTest::newRow("PNG, palette with transparency")
            << written(fourPixels(QImage::Format_Indexed8, palette), "PNG") << QSize(2, 2)
            << corners << QList<QRgb>(palette.begin(), palette.end()) << 0;
        QImage grey(2, 2, QImage::Format_Grayscale16);
        grey.fill(QColor::fromRgba64(0x8080, 0x8080, 0x8080));
        QTest::newRow("PNG, 16-bit grey")
            << written(grey, "PNG") << QSize(2, 2) << QList<QPoint>{{1, 1}}
            << QList<QRgb>{qRgb(128, 128, 128)} << 0;
        QTest::newRow("BMP") << written(fourPixels(QImage::Format_RGB32, fourColours), "BMP")
                             << QSize(2, 2) << corners << four << 0;
        // The same rows read top down: the picture upside down.
        QTest::newRow("BMP, top-down")
            << topDown(written(fourPixels(QImage::Format_RGB32, fourColours), "BMP")) << QSize(2, 2)
            << corners
            << QList<QRgb>{fourColours[2], fourColours[3], fourColours[0], fourColours[1]} << 0;
        QTest::newRow("GIF") << CraftedGif::picture(QSize(2, 2), QRect(0, 0, 2, 2), fourColours,
                                                    QByteArray("\0\1\2\3", 4))
                             << QSize(2, 2) << corners << four << 0;
        // A screen much wider than the frame is told as the frame's width, yet decoded at its
        // own; a side of 0 stands for the frame's extent.
        QTest::newRow("GIF, frame narrower than its screen")
            << CraftedGif::picture(QSize(3000, 0), QRect(0, 0, 2, 2), fourColours,
                                   QByteArray("\0\1\2\3", 4))
            << QSize(3000, 2) << corners << four << 0;
        const QRgb top = qRgb(200, 100, 50), bottom = qRgb(20, 40, 220);
        const QList<QPoint> halves{{0, 0}, {15, 15}};
        QTest::newRow("JPEG") << CraftedJpeg::halves(QSize(16, 16), top, bottom) << QSize(16, 16)
                              << halves << QList<QRgb>{top, bottom} << 4;
        QTest::newRow("JPEG, progressive")
            << CraftedJpeg::halves(QSize(16, 16), top, bottom, CraftedJpeg::Colour::Rgb, true)
            << QSize(16, 16) << halves << QList<QRgb>{top, bottom} << 4;
        QTest::newRow("JPEG, grey")
            << CraftedJpeg::halves(QSize(16, 16), top, bottom, CraftedJpeg::Colour::Grey)
            << QSize(16, 16) << halves << QList<QRgb>{qRgb(100, 100, 100), qRgb(40, 40, 40)} << 2;
        QTest::newRow("JPEG, CMYK")
            << CraftedJpeg::halves(QSize(16, 16), qRgba(200, 100, 50, 128), qRgba(20, 40, 220, 255),
                                   CraftedJpeg::Colour::Cmyk)
            << QSize(16, 16) << halves << QList<QRgb>{qRgb(100, 50, 25), bottom} << 4;
        QTest::newRow("JPEG, YCCK")
            << CraftedJpeg::halves(QSize(16, 16), qRgba(200, 100, 50, 128), qRgba(20, 40, 220, 255),
                                   CraftedJpeg::Colour::Ycck)
            << QSize(16, 16) << halves << QList<QRgb>{qRgb(100, 50, 25), bottom} << 4;
        // Colour is subsampled and its AC coefficients never sent: libjpeg smooths their blocks
        // from their neighbours' DC, so the pixels looked at are far from the halves' edge.
        QTest::newRow("JPEG, progressive, as many scans as allowed")
            << CraftedJpeg::manyScans(QSize(128, 128), BackgroundPicture::MaxScans)
            << QSize(128, 128) << QList<QPoint>{{0, 0}, {127, 127}}
            << QList<QRgb>{qRgb(200, 100, 50), qRgb(20, 40, 220)} << 4;
        // The first pixel's code is in the file, the last one's not.
        QTest::newRow("GIF, cut short: the rest is transparent")
            << CraftedGif::picture(QSize(2, 2), QRect(0, 0, 2, 2), fourColours,
                                   QByteArray("\0\1\2\3", 4))
                   .left(38)
            << QSize(2, 2) << QList<QPoint>{{0, 0}, {1, 1}}
            << QList<QRgb>{fourColours.first(), qRgba(0, 0, 0, 0)} << 0;
        // The size is the picture's, whatever the icon's directory tells.
        QTest::newRow("icon of a PNG, entry telling 16 x 16")
            << CraftedPng::inIcon(written(fourPixels(QImage::Format_RGB32, fourColours), "PNG"), 16)
            << QSize(2, 2) << corners << four << 0;
        QByteArray bmpIcon = written(fourPixels(QImage::Format_ARGB32, fourColours), "ICO");
        bmpIcon[6] = bmpIcon[7] = 0; // 256 x 256
        QTest::newRow("icon of a BMP, entry telling 256 x 256")
            << bmpIcon << QSize(2, 2) << corners << four << 0;
    }
    void picturesKeepTheirColours()
    {
        QFETCH(QByteArray, file);
        QFETCH(QSize, full);
        QFETCH(QList<QPoint>, points);
        QFETCH(QList<QRgb>, colours);
        QFETCH(int, tolerance);
        QSize size;
        const QImage image = BackgroundPicture::load(write(file), &size);
        QCOMPARE(size, full);
        QCOMPARE(image.size(), full);
        for (int i = 0; i < points.size(); ++i) {
            const QRgb pixel = image.pixel(points.at(i));
            QVERIFY2(near(pixel, colours.at(i), tolerance),
                     qPrintable(QStringLiteral("%1 at (%2, %3)")
                                    .arg(pixel, 8, 16, QLatin1Char('0'))
                                    .arg(points.at(i).x())
                                    .arg(points.at(i).y())));
        }
    }

    // Above the pixel budget: a JPEG decodes scaled down, straight to the size kept; a GIF
    // decodes whole, beyond the toolkit's default allocation limit, and is scaled down after.
    void largePicturesLoadScaledDown_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRgb>("top");
        QTest::addColumn<QRgb>("bottom");
        const QRgb top = qRgb(250, 128, 0), bottom = qRgb(0, 64, 250);
        QTest::newRow("JPEG, 9000 x 8000") << CraftedJpeg::halves(QSize(9000, 8000), top, bottom)
                                           << QSize(9000, 8000) << top << bottom;
        QTest::newRow("JPEG, 8200 square, progressive")
            << CraftedJpeg::halves(QSize(8200, 8200), top, bottom, CraftedJpeg::Colour::Rgb, true)
            << QSize(8200, 8200) << top << bottom;
        // Decoded as any PNG, not whole at 8 bytes a pixel (1.1 GB, beyond the toolkit's limit).
        const quint16 top16[4] = {0xFAFA, 0x8080, 0, 0xFFFF},
                      bottom16[4] = {0, 0x4040, 0xFAFA, 0xFFFF};
        QTest::newRow("icon of a 16-bit PNG, 12000 square")
            << CraftedPng::inIcon(CraftedPng::halves(QSize(12000, 12000), 16, top16, bottom16), 0)
            << QSize(12000, 12000) << top << bottom;
        // A frame of one pixel in a screen filled with the first colour.
        QTest::newRow("GIF, 9000 x 8000")
            << CraftedGif::picture(QSize(9000, 8000), QRect(0, 0, 1, 1), fourColours)
            << QSize(9000, 8000) << fourColours.first() << fourColours.first();
    }
    void largePicturesLoadScaledDown()
    {
        QFETCH(QByteArray, file);
        QFETCH(QSize, size);
        QFETCH(QRgb, top);
        QFETCH(QRgb, bottom);
        QSize full;
        const QImage image = BackgroundPicture::load(write(file), &full);
        QCOMPARE(full, size);
        QCOMPARE(image.size(), BackgroundPicture::decodeSize(size));
        const int w = image.width(), h = image.height();
        // Away from the edge between the halves, which subsampled colour blurs.
        for (const QPoint at : {QPoint(0, 0), QPoint(w - 1, h / 2 - 20)})
            QVERIFY(near(image.pixel(at), top, 4));
        for (const QPoint at : {QPoint(w / 2, h / 2 + 20), QPoint(w - 1, h - 1)})
            QVERIFY(near(image.pixel(at), bottom, 4));
    }

    void damagedOrOversizedPicturesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("JPEG, progressive, a scan too many")
            << CraftedJpeg::manyScans(QSize(16, 16), BackgroundPicture::MaxScans + 1);
        QTest::newRow("JPEG, one column too wide")
            << CraftedJpeg::halves(QSize(16385, 8), qRgb(1, 2, 3), qRgb(4, 5, 6));
        const QByteArray png = written(fourPixels(QImage::Format_RGB32, fourColours), "PNG");
        QTest::newRow("PNG, truncated") << png.chopped(20);
        QByteArray badCrc = png;
        badCrc[29] = char(badCrc[29] ^ 1);
        QTest::newRow("PNG, header's checksum") << badCrc;
        for (const char *type : {"tEXt", "zTXt", "iTXt"})
            QTest::newRow(qPrintable(QStringLiteral("PNG, %1 of 2 GiB").arg(type)))
                << CraftedPng::oversizedChunk(type);
        // The header tells the frame's extent; the decoder takes the screen's width.
        QTest::newRow("GIF, 28272 x 9063 canvas")
            << CraftedGif::picture(QSize(28272, 0), QRect(0, 0, 1, 9063), fourColours);
        QTest::newRow("GIF, 20000 high canvas")
            << CraftedGif::picture(QSize(1, 20000), QRect(0, 0, 1, 1), fourColours);
        QTest::newRow("GIF keeping a copy of its 16384 x 14220 frame") << CraftedGif::restoredFrame(
            QSize(16384, 14220), QRect(0, 0, 16384, 14220), fourColours);
        QTest::newRow("GIF, frame beyond the largest side")
            << CraftedGif::picture(QSize(0, 0), QRect(16384, 0, 1, 1), fourColours);
        // The toolkit's reader tells the directory's size and decodes the picture's.
        QTest::newRow("icon whose entry tells 16 x 16")
            << CraftedPng::inIcon(CraftedPng::black(QSize(20000, 1), false), 16);
        QTest::newRow("icon of a PNG with a tEXt of 2 GiB")
            << CraftedPng::inIcon(CraftedPng::oversizedChunk("tEXt"), 1);
        QTest::newRow("cursor of a PNG with a tEXt of 2 GiB")
            << CraftedPng::inIcon(CraftedPng::oversizedChunk("tEXt"), 1, true);
        QTest::newRow("icon, cut short") << CraftedPng::inIcon(png, 2).chopped(1);
        QTest::newRow("BMP, header alone")
            << written(fourPixels(QImage::Format_RGB32, fourColours), "BMP").left(54);
        QTest::newRow("BMP, cut short")
            << written(QImage(64, 64, QImage::Format_RGB32), "BMP").chopped(1);
        QTest::newRow("BMP, top-down, cut short")
            << topDown(written(QImage(64, 64, QImage::Format_RGB32), "BMP")).chopped(1);
    }
    void damagedOrOversizedPicturesAreRefused()
    {
        QFETCH(QByteArray, file);
        QSize full(-2, -2);
        QVERIFY(BackgroundPicture::load(write(file), &full).isNull());
        QCOMPARE(full, QSize(-2, -2));
    }

    // A JPEG is shown when every pixel of it decodes, whatever else is amiss in the file; one that
    // loses pixels is refused. Each kind of damage is shown beside the one like it that costs
    // pixels.
    void jpegsWholeAreShownDamagedRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("shown");
        const QSize size(64, 64);
        const QByteArray jpeg = CraftedJpeg::halves(size, jpegTop, jpegBottom);
        const QByteArray progressive =
            CraftedJpeg::halves(size, jpegTop, jpegBottom, CraftedJpeg::Colour::Rgb, true);
        const QByteArray perComponent =
            CraftedJpeg::halves(size, jpegTop, jpegBottom, CraftedJpeg::Coding::ScanPerComponent);
        const QByteArray arithmetic =
            CraftedJpeg::halves(size, jpegTop, jpegBottom, CraftedJpeg::Coding::Arithmetic);
        using CraftedJpeg::Damage;
        using CraftedJpeg::damaged;
        // Stray bytes between header segments are skipped before a pixel is read; after the
        // first scan they are what is left of scan data that no longer fits the picture.
        QTest::newRow("stray bytes before the frame header")
            << damaged(jpeg, Damage::StrayHeaderBytes) << true;
        QTest::newRow("stray bytes after its scan") << damaged(jpeg, Damage::StrayBytes) << false;
        QTest::newRow("progressive, stray bytes before the frame header")
            << damaged(progressive, Damage::StrayHeaderBytes) << true;
        QTest::newRow("progressive, stray bytes before its last scan")
            << damaged(progressive, Damage::StrayScanBytes) << false;
        QTest::newRow("truncated, a byte after its start")
            << damaged(jpeg, Damage::PaddedStart) << false;
        // The end marker missing: whole when the scans in the file carry every pixel.
        QTest::newRow("without its end") << damaged(jpeg, Damage::EndMissing) << true;
        QTest::newRow("without its end and its last byte")
            << damaged(jpeg, Damage::LastByteMissing) << false;
        QTest::newRow("truncated") << damaged(jpeg, Damage::CutShort) << false;
        QTest::newRow("header alone") << jpeg.left(100) << false;
        QTest::newRow("rows whole, end unreadable") << damaged(jpeg, Damage::EndUnreadable) << true;
        QTest::newRow("progressive, without its end")
            << damaged(progressive, Damage::EndMissing) << true;
        QTest::newRow("progressive, without its end and its last byte")
            << damaged(progressive, Damage::LastByteMissing) << false;
        QTest::newRow("progressive, last scan missing")
            << progressive.left(progressive.lastIndexOf("\xFF\xDA")) << false;
        QTest::newRow("progressive, last scan sent twice")
            << CraftedJpeg::repeatedLastScan(progressive, 2) << false;
        QTest::newRow("progressive, rows whole, end unreadable")
            << damaged(progressive, Damage::EndUnreadable) << true;
        // Scans that leave coefficients unsent: a scan after them may be missing, or none. Its
        // colour smoothed from block to block, the picture is larger so that its corners keep it.
        const QByteArray unsent = CraftedJpeg::manyScans(QSize(128, 128), 12);
        QTest::newRow("progressive, some coefficients never sent") << unsent << true;
        QTest::newRow("progressive, some coefficients never sent, without its end")
            << damaged(unsent, Damage::EndMissing) << false;
        QTest::newRow("one scan a component") << perComponent << true;
        QTest::newRow("one scan a component, without its end")
            << damaged(perComponent, Damage::EndMissing) << true;
        QTest::newRow("one scan a component, last scan missing")
            << perComponent.left(perComponent.lastIndexOf("\xFF\xDA")) << false;
        // Arithmetic coding says nothing where its data runs out before the last row.
        QTest::newRow("arithmetic coding") << arithmetic << true;
        QTest::newRow("arithmetic coding, without its end")
            << damaged(arithmetic, Damage::EndMissing) << false;
    }
    void jpegsWholeAreShownDamagedRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, shown);
        QSize full(-2, -2);
        const QImage image = BackgroundPicture::load(write(file), &full);
        QCOMPARE(!image.isNull(), shown);
        if (!shown) {
            QCOMPARE(full, QSize(-2, -2));
            return;
        }
        QCOMPARE(image.size(), full);
        QVERIFY(near(image.pixel(0, 0), jpegTop, 4));
        QVERIFY(near(image.pixel(full.width() - 1, full.height() - 1), jpegBottom, 4));
    }

    // Whether a picture loads depends on its bytes alone: with every clock this thread reads
    // running an hour ahead at each read, as on a machine slow or busy beyond any deadline, the
    // slowest kinds of picture load whole. The loader reads no clock, so a small picture of
    // each kind shows it as well as the largest, which take seconds.
    void slowestPicturesLoadWhateverTheClock_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QRgb>("top");
        QTest::addColumn<QRgb>("bottom");
        const QSize side(512, 512);
        const quint16 top16[4] = {0xFAFA, 0x8080, 0, 0xFFFF},
                      bottom16[4] = {0, 0x4040, 0xFAFA, 0xFFFF};
        QTest::newRow("PNG, 16-bit RGBA") << CraftedPng::halves(side, 16, top16, bottom16)
                                          << qRgb(250, 128, 0) << qRgb(0, 64, 250);
        QTest::newRow("JPEG, progressive, as many scans as allowed")
            << CraftedJpeg::manyScans(side, BackgroundPicture::MaxScans) << qRgb(200, 100, 50)
            << qRgb(20, 40, 220);
    }
    void slowestPicturesLoadWhateverTheClock()
    {
        QFETCH(QByteArray, file);
        QFETCH(QRgb, top);
        QFETCH(QRgb, bottom);
        const QString name = write(file);
        const FastClock clock;
        QVERIFY(QDeadlineTimer(60 * 1000).hasExpired()); // the clock does run ahead
        QSize full;
        const QImage image = BackgroundPicture::load(name, &full);
        QCOMPARE(full, QSize(512, 512));
        QCOMPARE(image.size(), BackgroundPicture::decodeSize(full));
        QVERIFY(near(image.pixel(0, 0), top, 4));
        QVERIFY(near(image.pixel(image.width() - 1, image.height() - 1), bottom, 4));
    }
};

QTEST_MAIN(TestBackgroundPicture)
#include "tst_backgroundpicture.moc"
