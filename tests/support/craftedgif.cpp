#include "craftedgif.h"

#include <QtEndian>

namespace {

QByteArray littleEndian16(int value)
{
    QByteArray out(2, 0);
    qToLittleEndian(quint16(value), out.data());
    return out;
}

// Packs codes of three bits, least significant first, into data sub-blocks.
class CodeWriter
{
public:
    void add(int code)
    {
        m_bits |= quint32(code) << m_bitCount;
        m_bitCount += 3;
        while (m_bitCount >= 8) {
            m_bytes += char(m_bits & 0xFF);
            m_bits >>= 8;
            m_bitCount -= 8;
        }
    }
    QByteArray blocks()
    {
        if (m_bitCount > 0)
            m_bytes += char(m_bits & 0xFF);
        QByteArray out;
        for (qsizetype at = 0; at < m_bytes.size(); at += 255) {
            const QByteArray block = m_bytes.mid(at, 255);
            out += char(block.size()) + block;
        }
        return out + '\0';
    }

private:
    QByteArray m_bytes;
    quint32 m_bits = 0;
    int m_bitCount = 0;
};

} // namespace

QByteArray CraftedGif::picture(QSize screen, QRect frame, const QVector<QRgb> &palette,
                               const QByteArray &pixels)
{
    QByteArray gif = "GIF89a" + littleEndian16(screen.width()) + littleEndian16(screen.height());
    gif += QByteArray("\x81\x00\x00", 3); // a global table of four colours
    for (int i = 0; i < 4; ++i) {
        const QRgb colour = palette.value(i);
        gif += char(qRed(colour)) + QByteArray(1, char(qGreen(colour))) + char(qBlue(colour));
    }
    gif += ',' + littleEndian16(frame.x()) + littleEndian16(frame.y()) +
           littleEndian16(frame.width()) + littleEndian16(frame.height()) + '\0';
    // Codes of 2-bit pixels stay three bits wide while the table holds at most two more codes
    // than the clear code: a clear before every second pixel keeps it so, uncompressed.
    constexpr int Clear = 4, End = 5;
    CodeWriter codes;
    for (qsizetype i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            codes.add(Clear);
        codes.add(pixels.at(i) & 3);
    }
    codes.add(End);
    return gif + '\x02' + codes.blocks() + ';';
}

QByteArray CraftedGif::restoredFrame(QSize screen, QRect frame, const QVector<QRgb> &palette)
{
    QByteArray gif = picture(screen, frame, palette);
    constexpr int FrameAt = 13 + 12; // after the header and the table of four colours
    return gif.insert(FrameAt, QByteArray("\x21\xF9\x04\x0C\0\0\0\0", 8)); // disposal 3
}
