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

const QByteArray PngSignature("\x89PNG\r\n\x1a\n");

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

// Everything the decode writes to lives in here, set up before libpng may jump back out of it.
struct PngDecode
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    QIODevice *device = nullptr;
    // Bytes of the picture not yet read: an icon's picture may end before its file does.
    qint64 remaining = 0;
    QSize full;
    bool interlaced = false;
    std::vector<uchar> row;        // one row, when not interlaced
    std::unique_ptr<uchar[]> rows; // the whole picture, when interlaced: every pass fills it
    std::vector<png_bytep> rowPointers;
    BoxScaler *scaler = nullptr;
    bool alpha = false;

    ~PngDecode() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void pngRead(png_structp png, png_bytep out, size_t length)
{
    auto *d = static_cast<PngDecode *>(png_get_io_ptr(png));
    if (qint64(length) > d->remaining ||
        d->device->read(reinterpret_cast<char *>(out), qint64(length)) != qint64(length))
        png_error(png, "truncated");
    d->remaining -= qint64(length);
}

// Reads the chunks before the pixels. Of the optional ones only the transparency matters to
// the canvas: libpng skips the others unread when told to ignore every chunk it may (it keeps
// the transparency), so a text chunk that claims gigabytes costs nothing.
bool readPngInfo(PngDecode &d)
{
    if (setjmp(png_jmpbuf(d.png)))
        return false;
    png_set_read_fn(d.png, &d, pngRead);
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

// The picture of `length` bytes at device's position. libpng answers the size too: the toolkit's
// reader would read the optional chunks first.
QImage loadPng(QIODevice *device, qint64 length, QSize *fullSize)
{
    PngDecode d;
    d.device = device;
    d.remaining = length;
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

// libjpeg reports errors and warnings through here, and its progress once a row of blocks.
// A warning of damage that costs pixels ends the decode as an error does: a picture grey or
// garbled where its data is lost is refused rather than shown, and a damaged one is not decoded
// on to its end.
struct JpegErrors : jpeg_error_mgr
{
    std::jmp_buf jump;
};

[[noreturn]] void jpegError(j_common_ptr cinfo)
{
    std::longjmp(static_cast<JpegErrors *>(cinfo->err)->jump, 1);
}

// Whether the scans read so far carry the whole picture: every component in a scan and, when
// progressive, every coefficient sent to its last bit. Whether a scan's own data was all there
// libjpeg tells as it decodes: Huffman codes that run into the file's end are damage reported on
// their own. Arithmetic coding reports nothing there, so its pictures are never taken as whole
// once the file has ended.
bool scansComplete(const jpeg_decompress_struct &cinfo)
{
    // Before the first scan the components' records are not all set up.
    if (cinfo.arith_code || cinfo.input_scan_number == 0 || !cinfo.comp_info)
        return false;
    for (int c = 0; c < cinfo.num_components; ++c) {
        if (!cinfo.comp_info[c].quant_table) // taken when the component's first scan starts
            return false;
        for (int k = 0; cinfo.progressive_mode && k < DCTSIZE2; ++k) {
            if (cinfo.coef_bits[c][k] != 0)
                return false;
        }
    }
    return true;
}

void jpegMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // tracing
    const auto *decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    switch (cinfo->err->msg_code) {
    case JWRN_ADOBE_XFORM: // contents of markers the canvas does not use
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC:
        return;
    case JWRN_EXTRANEOUS_DATA:
        // Stray bytes between the segments before the first scan are skipped before a pixel is
        // read; after it, they are scan data the picture has no room for.
        if (decompress->input_scan_number == 0)
            return;
        break;
    case JWRN_JPEG_EOF:
        // The file ends where its end marker or a segment after the pixels should be: whole
        // when every pixel's data came before.
        if (scansComplete(*decompress))
            return;
        break;
    default:
        break;
    }
    jpegError(cinfo);
}

// Each scan of a progressive picture may go over all its coefficients again, so the work a
// small file asks for grows with its scans.
void jpegProgress(j_common_ptr cinfo)
{
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > BackgroundPicture::MaxScans)
        jpegError(cinfo);
}

// As for PNG: everything libjpeg may jump out of is set up here first.
struct JpegDecode
{
    jpeg_decompress_struct cinfo{};
    JpegErrors errors;
    jpeg_progress_mgr progress{};
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
        progress.progress_monitor = jpegProgress;
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
    d.cinfo.progress = &d.progress;
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
    // any other stops at its first damaged row: a small file may claim a large picture.
    jpeg_start_decompress(&d.cinfo);
    if (d.cinfo.output_components != 4)
        return false;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW rows[1] = {d.row.data()};
        if (jpeg_read_scanlines(&d.cinfo, rows, 1) != 1)
            return false;
        if (d.cmyk)
            cmykToRgb32(d.row.data(), d.cinfo.output_width);
        d.scaler->addRow(d.row.data());
    }
    // Reads on to the end marker: bytes left after the scan data tell that it was damaged.
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

// A JPEG decodes scaled down by libjpeg to the nearest eighth above the size kept, and from
// there row by row into it.
QImage loadJpeg(const QString &fileName, QSize *fullSize)
{
    JpegDecode d;
    d.file = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!d.file || !readJpegHeader(d))
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

// Skips the data sub-blocks that follow an extension's label; false where the file ends first.
bool skipGifSubBlocks(QIODevice *file)
{
    char length = 0;
    while (file->getChar(&length) && length != 0) {
        if (file->skip(quint8(length)) != quint8(length))
            return false;
    }
    return length == 0;
}

// The pixels of the copy the toolkit's GIF reader keeps of what the first frame covers, when the
// frame is to be restored to it after it is shown: a second picture as large as the frame.
qint64 gifRestoreCopy(const QString &fileName)
{
    QFile file(fileName);
    const QByteArray header = file.open(QIODevice::ReadOnly) ? file.read(13) : QByteArray();
    const bool colourTable = header.size() == 13 && (header.at(10) & 0x80);
    if (header.size() < 13 || (colourTable && !file.skip(3 << ((header.at(10) & 7) + 1))))
        return 0;
    bool restore = false;
    char introducer = 0, label = 0;
    while (file.getChar(&introducer) && introducer == '!' && file.getChar(&label)) {
        const QByteArray control = label == '\xF9' ? file.peek(2) : QByteArray();
        if (control.size() == 2 && control.at(0) == 4)
            restore = (control.at(1) >> 2 & 7) == 3;
        if (!skipGifSubBlocks(&file))
            return 0;
    }
    const QByteArray frame = introducer == ',' ? file.read(8) : QByteArray();
    if (!restore || frame.size() < 8)
        return 0;
    return qint64(qFromLittleEndian<quint16>(frame.constData() + 4)) *
           qFromLittleEndian<quint16>(frame.constData() + 6);
}

// The toolkit's GIF reader clears the picture to zero bytes and leaves so what it does not decode
// of a frame (the file or the frame's data ended first), yet writes every colour it decodes
// opaque: where a picture without transparency has a pixel of alpha 0, it is shown transparent.
QImage undecodedTransparent(QImage image)
{
    if (image.format() != QImage::Format_RGB32)
        return image;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0) {
                image.reinterpretAsFormat(QImage::Format_ARGB32);
                return image;
            }
        }
    }
    return image;
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
// tells a size beyond the limits.
QImage readWithToolkit(const QString &fileName, const QByteArray &head)
{
    const AllocationLimit limit(BackgroundPicture::DecodeLimitMiB);
    QImageReader reader(fileName);
    QSize told = reader.size();
    qint64 copied = 0;
    if (head.startsWith("GIF8")) {
        told = gifCanvas(head, told);
        copied = qMin(gifRestoreCopy(fileName), qint64(told.width()) * told.height());
    }
    const qint64 decodeBytes = qint64(BackgroundPicture::DecodeLimitMiB) * 1024 * 1024;
    if (told.isValid() && (!BackgroundPicture::decodeSize(told).isValid() ||
                           (qint64(told.width()) * told.height() + copied) * 4 > decodeBytes))
        return QImage();
    return reader.read();
}

// What the toolkit decoded is checked against the limits too. The reader is gone by then: a GIF
// reader shares the picture it returns, so that changing it would copy it whole.
QImage loadWithToolkit(const QString &fileName, const QByteArray &head, QSize *fullSize)
{
    QImage image = readWithToolkit(fileName, head);
    const QSize kept = BackgroundPicture::decodeSize(image.size());
    if (image.isNull() || !kept.isValid())
        return QImage();
    if (head.startsWith("GIF8"))
        image = undecodedTransparent(std::move(image));
    *fullSize = image.size();
    return kept == image.size() ? image : scaleInBands(image, kept);
}

// Where the first picture of an icon or cursor file, the one the toolkit reads, lies in it.
bool iconEntry(const QByteArray &head, qint64 *offset, qint64 *length)
{
    if (head.size() < 22 ||
        !(head.startsWith(QByteArray("\0\0\1\0", 4)) || head.startsWith(QByteArray("\0\0\2\0", 4))))
        return false;
    const char *d = head.constData();
    *length = qFromLittleEndian<quint32>(d + 14);
    *offset = qFromLittleEndian<quint32>(d + 18);
    return qFromLittleEndian<quint16>(d + 4) > 0;
}

// An icon's PNG picture is decoded as any other PNG; its other pictures by the toolkit.
// Either reader refuses a picture cut short by the file's end.
QImage loadIcon(QFile *file, qint64 offset, qint64 length, const QByteArray &head, QSize *fullSize)
{
    if (!file->seek(offset))
        return QImage();
    if (file->peek(8) == PngSignature)
        return loadPng(file, length, fullSize);
    return loadWithToolkit(file->fileName(), head, fullSize);
}

// The length a BMP file needs for its pixels, where its header tells it: they start at the
// offset the file header gives and take either rows padded to 4 bytes or, compressed, the size
// the info header gives. 0 where the header tells nothing.
qint64 bmpLength(const QByteArray &head)
{
    if (!head.startsWith("BM") || head.size() < 38)
        return 0;
    const char *d = head.constData();
    const qint64 offset = qFromLittleEndian<quint32>(d + 10);
    const bool core = qFromLittleEndian<quint32>(d + 14) == 12; // the oldest, 16-bit sides
    const qint64 width =
        core ? qFromLittleEndian<quint16>(d + 18) : qFromLittleEndian<qint32>(d + 18);
    qint64 height = core ? qFromLittleEndian<quint16>(d + 20) : qFromLittleEndian<qint32>(d + 22);
    height = qAbs(height); // negative: rows top down
    const int bits = qFromLittleEndian<quint16>(d + (core ? 24 : 28));
    const quint32 compression = core ? 0 : qFromLittleEndian<quint32>(d + 30);
    if (width < 0 || width > BackgroundPicture::MaxSide || height > BackgroundPicture::MaxSide)
        return 0; // refused for its size
    switch (compression) {
    case 0: // rows of pixels, plain or in bit fields
    case 3:
    case 6:
        return offset + (width * bits + 31) / 32 * 4 * height;
    case 1: // run lengths
    case 2:
        return offset + qFromLittleEndian<quint32>(d + 34);
    default:
        return 0;
    }
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
    const QByteArray head = picture.peek(64);
    QSize full;
    QImage image;
    qint64 iconOffset = 0, iconLength = 0;
    if (head.startsWith(PngSignature))
        image = loadPng(&picture, picture.size(), &full);
    else if (head.startsWith("\xFF\xD8"))
        image = loadJpeg(file, &full);
    else if (iconEntry(head, &iconOffset, &iconLength))
        image = loadIcon(&picture, iconOffset, iconLength, head, &full);
    else if (bmpLength(head) <= picture.size())
        image = loadWithToolkit(file, head, &full);
    if (!image.isNull() && fullSize)
        *fullSize = full;
    return image;
}
