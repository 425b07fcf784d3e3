#include "colour/curve.h"

#include <algorithm>

Curve::Curve() = default;

Curve::~Curve() = default;

void Curve::buildTables() {}

void Curve::map8(int input, quint8 *out) const
{
    Q_CHECK_PTR(out);
    const int index = std::clamp(input, 0, 255);
    *out = m_table8 ? m_table8[index] : quint8(index);
}

void Curve::map16(int input, quint16 *out) const
{
    Q_CHECK_PTR(out);
    const int index = std::clamp(input, 0, 65535);
    *out = m_table16 ? m_table16[index] : quint16(index);
}

void Curve::buildTablesFromPoints(const quint16 *points)
{
    if (m_table16)
        return;
    m_table16.reset(new quint16[65536]);
    m_table8.reset(new quint8[256]);
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < 256; ++j) {
            // The low byte interpolates between neighbouring points; the last 256 inputs
            // have no upper neighbour and all give the last point.
            const quint16 value =
                i < 255 ? quint16(double(points[i + 1] - points[i]) * (j * 0.00390625) + points[i])
                        : points[255];
            m_table16[i * 256 + j] = value;
        }
        int upper = points[i] >> 8;
        if ((points[i] & 0x80) && upper < 255)
            ++upper;
        m_table8[i] = quint8(upper);
    }
}
