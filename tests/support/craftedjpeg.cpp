#include "craftedjpeg.h"

#include <cstdio> // before jpeglib.h, which uses FILE
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace {

void fillRow(std::vector<JSAMPLE> *row, QRgb colour, int components)
{
    const JSAMPLE channels[4] = {JSAMPLE(qRed(colour)), JSAMPLE(qGreen(colour)),
                                 JSAMPLE(qBlue(colour)), JSAMPLE(qAlpha(colour))};
    for (size_t i = 0; i < row->size(); ++i)
        (*row)[i] = components == 1 ? channels[1] : channels[i % size_t(components)];
}

void setColour(jpeg_compress_struct *cinfo, CraftedJpeg::Colour colour)
{
    using CraftedJpeg::Colour;
    const bool fourColours = colour == Colour::Cmyk || colour == Colour::Ycck;
    cinfo->input_components = colour == Colour::Grey ? 1 : fourColours ? 4 : 3;
    cinfo->in_color_space = colour == Colour::Grey ? JCS_GRAYSCALE
                            : fourColours          ? JCS_CMYK
                                                   : JCS_RGB;
    jpeg_set_defaults(cinfo);
    if (colour == Colour::Ycck)
        jpeg_set_colorspace(cinfo, JCS_YCCK);
}

// script: a progressive script to use instead of the default (none: baseline or the default
// progression).
QByteArray encode(QSize size, QRgb top, QRgb bottom, CraftedJpeg::Colour colour, bool progressive,
                  const std::vector<jpeg_scan_info> &script = {}, bool arithmetic = false)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors); // a test's own pictures: an error ends the test run
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &buffer, &length);
    cinfo.image_width = JDIMENSION(size.width());
    cinfo.image_height = JDIMENSION(size.height());
    setColour(&cinfo, colour);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    if (!script.empty()) {
        cinfo.scan_info = script.data();
        cinfo.num_scans = int(script.size());
    }
    cinfo.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(size.width()) * size_t(cinfo.input_components));
    while (cinfo.next_scanline < cinfo.image_height) {
        fillRow(&row, int(cinfo.next_scanline) < size.height() / 2 ? top : bottom,
                cinfo.input_components);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray jpeg(reinterpret_cast<const char *>(buffer), qsizetype(length));
    free(buffer);
    return jpeg;
}

} // namespace

QByteArray CraftedJpeg::halves(QSize size, QRgb top, QRgb bottom, Colour colour, bool progressive)
{
    return encode(size, top, bottom, colour, progressive);
}

QByteArray CraftedJpeg::halves(QSize size, QRgb top, QRgb bottom, Coding coding)
{
    if (coding == Coding::Arithmetic)
        return encode(size, top, bottom, Colour::Rgb, false, {}, true);
    const std::vector<jpeg_scan_info> script{{1, {0, 0, 0, 0}, 0, 63, 0, 0},
                                             {1, {1, 0, 0, 0}, 0, 63, 0, 0},
                                             {1, {2, 0, 0, 0}, 0, 63, 0, 0}};
    return encode(size, top, bottom, Colour::Rgb, false, script);
}

QByteArray CraftedJpeg::manyScans(QSize size, int scans)
{
    // Successive approximation sends a coefficient's bits from the highest the encoder allows.
    constexpr int HighestBit = 10;
    std::vector<jpeg_scan_info> script{{3, {0, 1, 2, 0}, 0, 0, 0, 0}};
    for (int component = 0; component < 3; ++component) {
        for (int k = 1; k < 64; ++k) {
            for (int bit = HighestBit; bit >= 0; --bit) {
                if (int(script.size()) == scans)
                    return encode(size, qRgb(200, 100, 50), qRgb(20, 40, 220), Colour::Rgb, true,
                                  script);
                const int high = bit == HighestBit ? 0 : bit + 1;
                script.push_back({1, {component, 0, 0, 0}, k, k, high, bit});
            }
        }
    }
    return encode(size, qRgb(200, 100, 50), qRgb(20, 40, 220), Colour::Rgb, true, script);
}

QByteArray CraftedJpeg::repeatedLastScan(const QByteArray &progressive, int count)
{
    const qsizetype end = progressive.size() - 2; // the end marker
    const qsizetype last = progressive.lastIndexOf("\xFF\xDA");
    const QByteArray scan = progressive.mid(last, end - last);
    return progressive.left(end) + scan.repeated(count - 1) + progressive.mid(end);
}

QByteArray CraftedJpeg::damaged(const QByteArray &jpeg, Damage kind)
{
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    const qsizetype middle = scan + (jpeg.size() - scan) / 2;
    switch (kind) {
    case Damage::CutShort:
        return jpeg.left(middle);
    case Damage::PaddedStart:
        return jpeg.left(2) + '\0' + jpeg.mid(2, middle - 2);
    case Damage::StrayBytes:
        // More than the few bytes the decoder reads ahead of the data it needs.
        return jpeg.chopped(2) + QByteArray(16, '\x5A') + jpeg.right(2);
    case Damage::EndUnreadable:
        return jpeg.chopped(2) + QByteArray("\xFF\xFE\x00\x10", 4);
    case Damage::EndMissing:
        return jpeg.chopped(2);
    case Damage::LastByteMissing:
        return jpeg.chopped(3);
    case Damage::StrayHeaderBytes: {
        const qsizetype tables = jpeg.indexOf("\xFF\xDB");
        return jpeg.left(tables) + QByteArray("\x12\x34") + jpeg.mid(tables);
    }
    case Damage::StrayScanBytes: {
        const qsizetype last = jpeg.lastIndexOf("\xFF\xDA");
        return jpeg.left(last) + QByteArray("\x12\x34") + jpeg.mid(last);
    }
    }
    return jpeg;
}
