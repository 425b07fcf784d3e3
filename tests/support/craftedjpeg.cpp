#include "craftedjpeg.h"

#include <cstdio> // before jpeglib.h, which uses FILE
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace {

void fillRow(std::vector<JSAMPLE> *row, QRgb colour, CraftedJpeg::Colour space)
{
    const JSAMPLE channels[4] = {JSAMPLE(qRed(colour)), JSAMPLE(qGreen(colour)),
                                 JSAMPLE(qBlue(colour)), JSAMPLE(qAlpha(colour))};
    const size_t components = space == CraftedJpeg::Colour::Grey   ? 1
                              : space == CraftedJpeg::Colour::Cmyk ? 4
                                                                   : 3;
    for (size_t i = 0; i < row->size(); ++i)
        (*row)[i] = components == 1 ? channels[1] : channels[i % components];
}

} // namespace

QByteArray CraftedJpeg::halves(QSize size, QRgb top, QRgb bottom, Colour colour, bool progressive)
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
    cinfo.input_components = colour == Colour::Grey ? 1 : colour == Colour::Cmyk ? 4 : 3;
    cinfo.in_color_space = colour == Colour::Grey   ? JCS_GRAYSCALE
                           : colour == Colour::Cmyk ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(size.width()) * size_t(cinfo.input_components));
    while (cinfo.next_scanline < cinfo.image_height) {
        fillRow(&row, int(cinfo.next_scanline) < size.height() / 2 ? top : bottom, colour);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray jpeg(reinterpret_cast<const char *>(buffer), qsizetype(length));
    free(buffer);
    return jpeg;
}
