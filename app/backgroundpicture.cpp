#include "backgroundpicture.h"

#include <QFile>
#include <QImageReader>

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <memory>
#include <new>
#include <vector>

namespace {

bool withinSides(const QSize &size)
{
    return !size.isEmpty() && size.width() <= BackgroundPicture::MaxSide &&
           size.height() <= BackgroundPicture::MaxSide;
}

// The toolkit's allocation limit is process-wide; it is raised for this one decode only.
class AllocationLimit
{
public:
    explicit AllocationLimit(int mib) : m_previous(QImageReader::allocationLimit())
    {
        QImageReader::setAllocationLimit(mib);
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(m_previous); }
    AllocationLimit(const AllocationLimit &) = delete;
    AllocationLimit &operator=(const AllocationLimit &) = delete;

private:
    int m_previous;
};

// What the decoder needs to know of a PNG before it decodes it, from the signature and the
// header chunk at the start of the file.
struct PngHeader
{
    bool png = false;
    bool interlaced = false;
};

PngHeader readPngHeader(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(29);
    if (head.size() < 29 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return {};
    return {true, quint8(head.at(28)) != 0};
}

// Averages the pixels of source rows, given top to bottom, into the smaller (or equal) target:
// each target pixel takes the mean of the source pixels that map onto it, channel by channel.
class BoxScaler
{
public:
    BoxScaler(QImage *target, int sourceWidth, int sourceHeight)
        : m_target(target), m_sourceHeight(sourceHeight), m_columnOf(size_t(sourceWidth)),
          m_columnCount(size_t(target->width())), m_sums(size_t(target->width()) * 4)
    {
        for (int x = 0; x < sourceWidth; ++x) {
            m_columnOf[size_t(x)] = int(qint64(x) * target->width() / sourceWidth);
            ++m_columnCount[size_t(m_columnOf[size_t(x)])];
        }
    }

    // row: 4 bytes a pixel, in the target's byte order.
    void addRow(const uchar *row)
    {
        const int targetRow = int(qint64(m_sourceRow) * m_target->height() / m_sourceHeight);
        if (targetRow != m_targetRow && m_rowsSummed > 0)
            flush();
        m_targetRow = targetRow;
        for (size_t x = 0; x < m_columnOf.size(); ++x) {
            quint64 *sum = &m_sums[size_t(m_columnOf[x]) * 4];
            for (int k = 0; k < 4; ++k)
                sum[k] += row[4 * x + size_t(k)];
        }
        ++m_rowsSummed;
        if (++m_sourceRow == m_sourceHeight)
            flush();
    }

private:
    void flush()
    {
        uchar *out = m_target->scanLine(m_targetRow);
        for (size_t x = 0; x < m_columnCount.size(); ++x) {
            const quint64 n = quint64(m_columnCount[x]) * quint64(m_rowsSummed);
            for (size_t k = 0; k < 4; ++k) {
                quint64 &sum = m_sums[4 * x + k];
                out[4 * x + k] = uchar((sum + n / 2) / n);
                sum = 0;
            }
        }
        m_rowsSummed = 0;
    }

    QImage *m_target;
    int m_sourceHeight;
    int m_sourceRow = 0;
    int m_targetRow = 0;
    int m_rowsSummed = 0;
    std::vector<int> m_columnOf;
    std::vector<int> m_columnCount;
    std::vector<quint64> m_sums;
};

void pngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

void pngRead(png_structp png, png_bytep out, size_t length)
{
    auto *file = static_cast<QFile *>(png_get_io_ptr(png));
    if (file->read(reinterpret_cast<char *>(out), qint64(length)) != qint64(length))
        png_error(png, "truncated");
}

// Everything the decode writes to lives in here, set up before libpng may jump back out of it.
struct PngDecode
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    QFile file;
    QSize full;
    bool interlaced = false;
    std::vector<uchar> row;        // one row, when not interlaced
    std::unique_ptr<uchar[]> rows; // the whole picture, when interlaced: every pass fills it
    std::vector<png_bytep> rowPointers;
    BoxScaler *scaler = nullptr;
    bool alpha = false;

    ~PngDecode() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Reads any PNG (palette, grey, 1 to 16 bits) as 8 bits a channel in the byte order of
// QImage::Format_(A)RGB32, so that a row goes to the scaler as it is. No object is made here:
// libpng leaves by a long jump on any error.
bool decodePng(PngDecode &d)
{
    if (setjmp(png_jmpbuf(d.png)))
        return false;
    png_set_read_fn(d.png, &d.file, pngRead);
    png_read_info(d.png, d.info);
    if (png_get_image_width(d.png, d.info) != png_uint_32(d.full.width()) ||
        png_get_image_height(d.png, d.info) != png_uint_32(d.full.height()))
        return false;
    const int colourType = png_get_color_type(d.png, d.info);
    d.alpha = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(d.png, d.info, PNG_INFO_tRNS);
    png_set_scale_16(d.png);
    png_set_expand(d.png);
    if (!(colourType & PNG_COLOR_MASK_COLOR))
        png_set_gray_to_rgb(d.png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(d.png);
    if (!d.alpha)
        png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);
#else
    if (d.alpha)
        png_set_swap_alpha(d.png);
    else
        png_set_filler(d.png, 0xFF, PNG_FILLER_BEFORE);
#endif
    const int passes = png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    if (png_get_rowbytes(d.png, d.info) != size_t(d.full.width()) * 4 ||
        (passes > 1) != d.interlaced)
        return false;
    if (d.interlaced) {
        png_read_image(d.png, d.rowPointers.data());
        for (const png_bytep row : d.rowPointers)
            d.scaler->addRow(row);
    } else {
        for (int y = 0; y < d.full.height(); ++y) {
            png_read_row(d.png, d.row.data(), nullptr);
            d.scaler->addRow(d.row.data());
        }
    }
    png_read_end(d.png, nullptr);
    return true;
}

QImage loadPng(const QString &fileName, const QSize &full, const QSize &decoded, bool interlaced)
{
    PngDecode d;
    d.full = full;
    d.interlaced = interlaced;
    d.file.setFileName(fileName);
    if (!d.file.open(QIODevice::ReadOnly))
        return QImage();
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (!d.info)
        return QImage();
    try {
        const size_t rowBytes = size_t(full.width()) * 4;
        if (interlaced) {
            d.rows.reset(new uchar[rowBytes * size_t(full.height())]);
            d.rowPointers.resize(size_t(full.height()));
            for (size_t y = 0; y < d.rowPointers.size(); ++y)
                d.rowPointers[y] = d.rows.get() + y * rowBytes;
        } else {
            d.row.resize(rowBytes);
        }
    } catch (const std::bad_alloc &) {
        return QImage();
    }
    // The format is known once the header is read; both keep 4 bytes a pixel alike.
    QImage image(decoded, QImage::Format_ARGB32);
    if (image.isNull())
        return QImage();
    BoxScaler scaler(&image, full.width(), full.height());
    d.scaler = &scaler;
    if (!decodePng(d))
        return QImage();
    if (!d.alpha)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

// Scales a decoded picture down a band of rows at a time: QImage::scaled would first convert
// the whole of a picture that is not 32-bit premultiplied, a second full-size copy.
QImage scaleInBands(const QImage &image, const QSize &decoded)
{
    if (image.width() < decoded.width() || image.height() < decoded.height())
        return image.scaled(decoded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    QImage scaled(decoded, format);
    if (scaled.isNull())
        return QImage();
    BoxScaler scaler(&scaled, image.width(), image.height());
    constexpr int BandRows = 64;
    for (int top = 0; top < image.height(); top += BandRows) {
        const QImage band = image.copy(0, top, image.width(), qMin(BandRows, image.height() - top))
                                .convertToFormat(format);
        for (int y = 0; y < band.height(); ++y)
            scaler.addRow(band.constScanLine(y));
    }
    return scaled;
}

} // namespace

QSize BackgroundPicture::decodeSize(const QSize &full)
{
    if (!withinSides(full))
        return QSize();
    const qint64 pixels = qint64(full.width()) * full.height();
    if (pixels <= PixelBudget)
        return full;
    const double factor = std::sqrt(double(PixelBudget) / double(pixels));
    return QSize(qMax(1, int(full.width() * factor)), qMax(1, int(full.height() * factor)));
}

QImage BackgroundPicture::load(const QString &file, QSize *fullSize)
{
    QImageReader reader(file);
    // A format that tells no size up front is checked by the allocation limit instead.
    const QSize announced = reader.size();
    if (announced.isValid()) {
        const QSize decoded = decodeSize(announced);
        if (!decoded.isValid())
            return QImage();
        if (const PngHeader png = readPngHeader(file); png.png && reader.format() == "png") {
            const QImage image = loadPng(file, announced, decoded, png.interlaced);
            if (!image.isNull() && fullSize)
                *fullSize = announced;
            return image;
        }
        if (decoded != announced && reader.format() == "jpeg")
            reader.setScaledSize(decoded);
    }
    QImage image;
    {
        const AllocationLimit limit(DecodeLimitMiB);
        image = reader.read();
    }
    if (image.isNull())
        return QImage();
    QSize full = announced;
    if (!announced.isValid()) {
        full = image.size();
        const QSize decoded = decodeSize(full);
        if (!decoded.isValid())
            return QImage();
        if (decoded != full)
            image = scaleInBands(image, decoded);
    } else {
        // Formats that cannot decode scaled down come at full size; turned ones turned.
        QSize kept = decodeSize(announced);
        if ((image.width() < image.height()) != (kept.width() < kept.height()))
            kept.transpose();
        if (image.size() != kept)
            image = scaleInBands(image, kept);
    }
    // A picture turned by its orientation tag comes out with its sides swapped.
    if ((image.width() < image.height()) != (full.width() < full.height()))
        full.transpose();
    if (fullSize)
        *fullSize = full;
    return image;
}
