#include "craftedpng.h"

#include <QtEndian>

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
