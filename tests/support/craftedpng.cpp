#include "craftedpng.h"

#include <QtEndian>

#include <zlib.h>

#include <vector>

namespace {

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray out(4, 0);
    qToBigEndian(value, out.data());
    return out;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32(type + data));
}

} // namespace

QByteArray CraftedPng::black(QSize size, bool rgb, bool withPixels)
{
    QByteArray header = bigEndian(quint32(size.width())) + bigEndian(quint32(size.height()));
    header += rgb ? QByteArray("\x08\x02\x00\x00\x00", 5) : QByteArray("\x01\x00\x00\x00\x00", 5);
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header);
    if (withPixels) {
        const qsizetype row = 1 + (rgb ? qsizetype(size.width()) * 3 : (size.width() + 7) / 8);
        const QByteArray raw(row * size.height(), 0);      // filter 0, black
        png += pngChunk("IDAT", qCompress(raw, 9).mid(4)); // the zlib stream, without Qt's length
    }
    return png + pngChunk("IEND", QByteArray());
}

QByteArray CraftedPng::oversizedChunk(const QByteArray &type)
{
    const QByteArray header = black(QSize(1, 1), true, false).chopped(12); // without IEND
    return header + bigEndian(0x7FFFFFFF) + type + "keyword";
}

QByteArray CraftedPng::inIcon(const QByteArray &png, int side, bool cursor)
{
    QByteArray icon(22, 0);
    uchar *d = reinterpret_cast<uchar *>(icon.data());
    qToLittleEndian(quint16(cursor ? 2 : 1), d + 2);
    qToLittleEndian(quint16(1), d + 4);  // of one picture
    d[6] = d[7] = uchar(side % 256);     // 0 stands for 256
    qToLittleEndian(quint16(1), d + 10); // planes
    qToLittleEndian(quint16(32), d + 12);
    qToLittleEndian(quint32(png.size()), d + 14);
    qToLittleEndian(quint32(icon.size()), d + 18);
    return icon + png;
}

namespace {

// Deflates the filtered rows as they are made, so that no picture-sized buffer exists.
class RowDeflater
{
public:
    RowDeflater() { deflateInit2(&m_zs, 1, Z_DEFLATED, 15, 9, Z_RLE); }
    ~RowDeflater() { deflateEnd(&m_zs); }
    void add(const std::vector<uchar> &row) { run(row.data(), row.size(), Z_NO_FLUSH); }
    void finish() { run(nullptr, 0, Z_FINISH); }
    QByteArray out;

private:
    void run(const uchar *data, size_t size, int flush)
    {
        m_zs.next_in = const_cast<uchar *>(data);
        m_zs.avail_in = uInt(size);
        uchar chunk[65536];
        do {
            m_zs.next_out = chunk;
            m_zs.avail_out = sizeof chunk;
            deflate(&m_zs, flush);
            out.append(reinterpret_cast<const char *>(chunk), int(sizeof chunk - m_zs.avail_out));
        } while (m_zs.avail_out == 0);
    }
    z_stream m_zs{};
};

// The Adam7 passes: first column, first row, column step, row step.
constexpr int Adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

} // namespace

QByteArray CraftedPng::halves(QSize size, int bits, const quint16 (&top)[4],
                              const quint16 (&bottom)[4], bool interlaced)
{
    const size_t channelBytes = bits == 16 ? 2 : 1;
    const size_t pixelBytes = 4 * channelBytes;
    QByteArray header = bigEndian(quint32(size.width())) + bigEndian(quint32(size.height()));
    header += char(bits) + QByteArray("\x06\x00\x00", 3) + char(interlaced ? 1 : 0);
    RowDeflater deflater;
    const int passes = interlaced ? 7 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int *p = interlaced ? Adam7[pass] : nullptr;
        const int x0 = p ? p[0] : 0, y0 = p ? p[1] : 0, dx = p ? p[2] : 1, dy = p ? p[3] : 1;
        const int columns = size.width() > x0 ? (size.width() - x0 + dx - 1) / dx : 0;
        if (columns == 0)
            continue;
        std::vector<uchar> row(1 + size_t(columns) * pixelBytes);
        const quint16 *previous = nullptr;
        for (int y = y0; y < size.height(); y += dy) {
            const quint16 *colour = y < size.height() / 2 ? top : bottom;
            // Filter 2 ("up"): a row equal to the one above is all zeros.
            const bool repeat = colour == previous;
            row[0] = repeat ? 2 : 0;
            for (size_t x = 0; x < size_t(columns); ++x) {
                for (size_t k = 0; k < 4; ++k) {
                    uchar *channel = &row[1 + pixelBytes * x + channelBytes * k];
                    channel[0] = repeat ? 0 : uchar(colour[k] >> 8);
                    if (channelBytes == 2)
                        channel[1] = repeat ? 0 : uchar(colour[k]);
                }
            }
            previous = colour;
            deflater.add(row);
        }
    }
    deflater.finish();
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header);
    return png + pngChunk("IDAT", deflater.out) + pngChunk("IEND", QByteArray());
}
