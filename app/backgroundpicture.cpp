#include "backgroundpicture.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <png.h>

// jpeglib.h uses FILE and size_t without including their headers, and jerror.h needs it.
#include <cstdio>
#include <jpeglib.h>

#include <jerror.h>

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

// The toolkit's allocation limit is process-wide; it is raised for this one picture only, from
// before the reader is made: a reader may allocate as soon as it is asked anything, even its size.
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

// Reads the chunks before the pixels. Of the optional ones only the transparency matters to
// the canvas: libpng skips the others unread when told to ignore every chunk it may (it keeps
// the transparency), so a text chunk that claims gigabytes costs nothing.
bool readPngInfo(PngDecode &d)
{
    if (setjmp(png_jmpbuf(d.png)))
        return false;
    png_set_read_fn(d.png, &d.file, pngRead);
    png_set_keep_unknown_chunks(d.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(d.png, d.info);
    d.full = QSize(int(qMin(png_get_image_width(d.png, d.info), png_uint_32(INT_MAX))),
                   int(qMin(png_get_image_height(d.png, d.info), png_uint_32(INT_MAX))));
    d.interlaced = png_get_interlace_type(d.png, d.info) != PNG_INTERLACE_NONE;
    return true;
}

// Reads any PNG (palette, grey, 1 to 16 bits) as 8 bits a channel in the byte order of
// QImage::Format_(A)RGB32, so that a row goes to the scaler as it is. No object is made here:
// libpng leaves by a long jump on any error.
bool decodePng(PngDecode &d)
{
    if (setjmp(png_jmpbuf(d.png)))
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

bool allocatePngRows(PngDecode &d)
{
    try {
        const size_t rowBytes = size_t(d.full.width()) * 4;
        if (d.interlaced) {
            d.rows.reset(new uchar[rowBytes * size_t(d.full.height())]);
            d.rowPointers.resize(size_t(d.full.height()));
            for (size_t y = 0; y < d.rowPointers.size(); ++y)
                d.rowPointers[y] = d.rows.get() + y * rowBytes;
        } else {
            d.row.resize(rowBytes);
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

// libpng answers the size too: the toolkit's reader would read the optional chunks first.
QImage loadPng(const QString &fileName, QSize *fullSize)
{
    PngDecode d;
    d.file.setFileName(fileName);
    if (!d.file.open(QIODevice::ReadOnly))
        return QImage();
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (!d.info || !readPngInfo(d))
        return QImage();
    const QSize decoded = BackgroundPicture::decodeSize(d.full);
    if (!decoded.isValid() || !allocatePngRows(d))
        return QImage();
    // The format is known once the header is read; both keep 4 bytes a pixel alike.
    QImage image(decoded, QImage::Format_ARGB32);
    if (image.isNull())
        return QImage();
    BoxScaler scaler(&image, d.full.width(), d.full.height());
    d.scaler = &scaler;
    if (!decodePng(d))
        return QImage();
    if (!d.alpha)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    *fullSize = d.full;
    return image;
}

// libjpeg reports errors through here; warnings of lost or corrupt data are counted, so that a
// picture grey where data is missing is refused rather than shown.
struct JpegErrors : jpeg_error_mgr
{
    std::jmp_buf jump;
    int damage = 0;
};

[[noreturn]] void jpegError(j_common_ptr cinfo)
{
    std::longjmp(static_cast<JpegErrors *>(cinfo->err)->jump, 1);
}

void jpegMessage(j_common_ptr cinfo, int level)
{
    auto *errors = static_cast<JpegErrors *>(cinfo->err);
    if (level >= 0)
        return; // tracing
    switch (errors->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
        ++errors->damage;
        break;
    default: // marker contents the canvas does not use, bytes between markers
        break;
    }
}

// As for PNG: everything libjpeg may jump out of is set up here first.
struct JpegDecode
{
    jpeg_decompress_struct cinfo{};
    JpegErrors errors;
    std::FILE *file = nullptr;
    QSize full;
    QSize kept;
    bool cmyk = false;
    std::vector<uchar> row;
    BoxScaler *scaler = nullptr;

    JpegDecode()
    {
        cinfo.err = jpeg_std_error(&errors);
        errors.error_exit = jpegError;
        errors.emit_message = jpegMessage;
    }
    ~JpegDecode()
    {
        if (cinfo.mem)
            jpeg_destroy_decompress(&cinfo);
        if (file)
            std::fclose(file);
    }
};

// The smallest of libjpeg's scales (eighths) that decodes at least the size kept.
void chooseJpegScale(jpeg_decompress_struct &cinfo, const QSize &kept)
{
    cinfo.scale_denom = 8;
    for (cinfo.scale_num = 1; cinfo.scale_num < 8; ++cinfo.scale_num) {
        jpeg_calc_output_dimensions(&cinfo);
        if (int(cinfo.output_width) >= kept.width() && int(cinfo.output_height) >= kept.height())
            return;
    }
    jpeg_calc_output_dimensions(&cinfo);
}

// Reads the header and chooses the scale and the colours to decode at; false for a file that is
// no JPEG, or a picture too large, which is then refused before a row of it is decoded.
bool readJpegHeader(JpegDecode &d)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(&d.cinfo);
    // A progressive picture keeps its coefficients whole; past this it is refused.
    d.cinfo.mem->max_memory_to_use = long(BackgroundPicture::DecodeLimitMiB) * 1024 * 1024;
    jpeg_stdio_src(&d.cinfo, d.file);
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    d.full = QSize(int(d.cinfo.image_width), int(d.cinfo.image_height));
    d.kept = BackgroundPicture::decodeSize(d.full);
    if (!d.kept.isValid())
        return false;
    d.cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    d.cinfo.out_color_space = d.cmyk ? JCS_CMYK : JCS_EXT_BGRA;
#else
    d.cinfo.out_color_space = d.cmyk ? JCS_CMYK : JCS_EXT_ARGB;
#endif
    chooseJpegScale(d.cinfo, d.kept);
    return true;
}

// Four channels a pixel in QImage::Format_RGB32's byte order. Four-colour pictures come as the
// Adobe writers store them, inverted: each of red, green and blue is the ink's byte times the
// black byte.
void cmykToRgb32(uchar *row, size_t pixels)
{
    for (size_t x = 0; x < pixels; ++x) {
        uchar *p = row + 4 * x;
        const uint k = p[3];
        const QRgb rgb = qRgb(int(p[0] * k / 255), int(p[1] * k / 255), int(p[2] * k / 255));
        qToUnaligned(qToLittleEndian(quint32(rgb)), p);
    }
}

bool decodeJpeg(JpegDecode &d)
{
    if (setjmp(d.errors.jump))
        return false;
    // A progressive picture is read whole here, so its damage is known before a row is made;
    // any other stops at the first damaged row: a small file may claim a large picture.
    jpeg_start_decompress(&d.cinfo);
    if (d.cinfo.output_components != 4)
        return false;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW rows[1] = {d.row.data()};
        if (d.errors.damage || jpeg_read_scanlines(&d.cinfo, rows, 1) != 1)
            return false;
        if (d.cmyk)
            cmykToRgb32(d.row.data(), d.cinfo.output_width);
        d.scaler->addRow(d.row.data());
    }
    // Reads on to the end marker: a picture cut short after its last row is damaged too.
    jpeg_finish_decompress(&d.cinfo);
    return d.errors.damage == 0;
}

// A JPEG decodes scaled down by libjpeg to the nearest eighth above the size kept, and from
// there row by row into it.
QImage loadJpeg(const QString &fileName, QSize *fullSize)
{
    JpegDecode d;
    d.file = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!d.file || !readJpegHeader(d) || d.errors.damage)
        return QImage();
    QImage image(d.kept, QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    try {
        d.row.resize(size_t(d.cinfo.output_width) * 4);
    } catch (const std::bad_alloc &) {
        return QImage();
    }
    BoxScaler scaler(&image, int(d.cinfo.output_width), int(d.cinfo.output_height));
    d.scaler = &scaler;
    if (!decodeJpeg(d))
        return QImage();
    *fullSize = d.full;
    return image;
}

// The size the toolkit decodes a GIF at. Its reader tells a side of the logical screen as the
// first frame's extent when the screen is much larger than the frame (or 0), yet decodes at the
// screen's side wherever that is not 0, which may be far beyond the largest side.
QSize gifCanvas(const QByteArray &head, const QSize &told)
{
    if (head.size() < 10 || !told.isValid())
        return told;
    const int width = qFromLittleEndian<quint16>(head.constData() + 6);
    const int height = qFromLittleEndian<quint16>(head.constData() + 8);
    return QSize(width ? width : told.width(), height ? height : told.height());
}

// Scales a decoded picture down a band of rows at a time: QImage::scaled would first convert
// the whole of a picture that is not 32-bit premultiplied, a second full-size copy.
QImage scaleInBands(const QImage &image, const QSize &decoded)
{
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

// Any other format decodes whole through the toolkit: refused before decoding where the reader
// tells a size beyond the limits, and in any case checked on what it decoded.
QImage loadWithToolkit(const QString &fileName, const QByteArray &head, QSize *fullSize)
{
    const AllocationLimit limit(BackgroundPicture::DecodeLimitMiB);
    QImageReader reader(fileName);
    QSize told = reader.size();
    if (head.startsWith("GIF8"))
        told = gifCanvas(head, told);
    if (told.isValid() && !BackgroundPicture::decodeSize(told).isValid())
        return QImage();
    QImage image = reader.read();
    const QSize kept = BackgroundPicture::decodeSize(image.size());
    if (image.isNull() || !kept.isValid())
        return QImage();
    *fullSize = image.size();
    return kept == image.size() ? image : scaleInBands(image, kept);
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
    // The format is told by the file's first bytes, whatever its name says.
    QFile picture(file);
    if (!picture.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray head = picture.read(16);
    picture.close();
    QSize full;
    QImage image;
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        image = loadPng(file, &full);
    else if (head.startsWith("\xFF\xD8\xFF"))
        image = loadJpeg(file, &full);
    else
        image = loadWithToolkit(file, head, &full);
    if (!image.isNull() && fullSize)
        *fullSize = full;
    return image;
}
