#include "veycolor.h"

#include "colourmixing.h"
#include "colourtemperature.h"

#include <QColor>
#include <QDataStream>
#include <QDebug>

#include <algorithm>
#include <cmath>

namespace {

constexpr double fullWord = 4294967295.0;
constexpr quint32 specCount = 5;

quint32 fractionFrom8(uint v)
{
    return quint32(v) * 257u * 65537u;
}

quint32 fractionFrom16(uint v)
{
    return quint32(v) * 65537u;
}

// Callers range-check first; the clamp only keeps a stray value from becoming an undefined
// conversion (a NaN or a level outside 0..1 would otherwise wrap or trap).
quint32 fractionFromDouble(double v)
{
    if (!(v > 0.0))
        return 0;
    if (v >= 1.0)
        return 4294967295u;
    return quint32(quint64(v * fullWord + 0.5));
}

double doubleFromFraction(quint32 w)
{
    return w / fullWord;
}

bool inUnitRange(double v)
{
    return v >= 0.0 && v <= 1.0;
}

// Truncation that stays defined for any double; only the low byte of the result is used.
qint64 truncateAny(double v)
{
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18)
        return 0;
    return qint64(v);
}

bool fuzzyEqual(double a, double b)
{
    return std::fabs(a - b) * 1000000000000.0 <= std::min(std::fabs(a), std::fabs(b));
}

// The levels of fixture profile 0, the sRGB primaries, that every conversion to Rgb solves for.
void rgbLevelsFromYxy(const double *yxyPoint, bool clamp, double *levels)
{
    xyYToChannelLevels(yxyPoint, levels, 1, 0, 0, clamp, WeightIndex());
}

uint hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    // All bits set: ORed into a value it puts it out of range, so the setter rejects it.
    return 0xFFFFFFFFu;
}

const int fourWhiteCcts[4] = {2200, 3000, 4000, 6500};

struct GlobalColorEntry
{
    uint red, green, blue, alpha;
};

const GlobalColorEntry globalColors[] = {
    {255, 255, 255, 255}, {0, 0, 0, 255},       {0, 0, 0, 255},       {255, 255, 255, 255},
    {128, 128, 128, 255}, {160, 160, 164, 255}, {192, 192, 192, 255}, {255, 0, 0, 255},
    {0, 255, 0, 255},     {0, 0, 255, 255},     {0, 255, 255, 255},   {255, 0, 255, 255},
    {255, 255, 0, 255},   {128, 0, 0, 255},     {0, 128, 0, 255},     {0, 0, 128, 255},
    {0, 128, 128, 255},   {128, 0, 128, 255},   {128, 128, 0, 255},   {0, 0, 0, 0},
};

// A fixed-size level list: the conversions and the blend never need more than alpha plus
// eight levels, so they live on the stack.
struct LevelList
{
    double v[1 + VeyColor::MaxChannels] = {};
    int size = 0;
};

LevelList nChannelList(const VeyColor &color)
{
    LevelList list;
    color.getNChannelF(list.v);
    list.size = 1 + int(std::min<quint32>(color.channelCount(), VeyColor::MaxChannels));
    return list;
}

} // namespace

VeyColor::VeyColor() = default;

VeyColor::VeyColor(const QString &name)
{
    setNamedColor(name);
}

VeyColor::VeyColor(Qt::GlobalColor color)
{
    const int index = int(color);
    if (index >= 0 && index < int(std::size(globalColors))) {
        const GlobalColorEntry &e = globalColors[index];
        setRgb8(e.red, e.green, e.blue, e.alpha, 0);
    }
    m_colorType = 1;
    m_profileId = 0;
    m_profileSetFlag = false;
}

void VeyColor::resetToInvalid()
{
    *this = VeyColor();
}

void VeyColor::setAlphaF(double alpha)
{
    m_alpha = fractionFromDouble(alpha);
}

quint32 VeyColor::channelWord(int index) const
{
    return index >= 0 && index < MaxChannels ? m_c.w[2 + index] : 0;
}

// ---- setters

void VeyColor::setRgb8(uint red, uint green, uint blue, uint alpha, quint32 profileId)
{
    if (red > 255 || green > 255 || blue > 255 || alpha > 255) {
        resetToInvalid();
        qWarning("VeyColor::setRgb8: RGB parameters out of range");
        return;
    }
    m_colorType = 1;
    m_profileId = profileId;
    m_spec = Rgb;
    m_alpha = fractionFrom8(alpha);
    m_c = Components{};
    m_c.w[0] = fractionFrom8(red);
    m_c.w[1] = fractionFrom8(green);
    m_c.w[2] = fractionFrom8(blue);
}

void VeyColor::setRgb16(uint red, uint green, uint blue, uint alpha, quint32 profileId)
{
    if (red > 65535 || green > 65535 || blue > 65535 || alpha > 65535) {
        resetToInvalid();
        qWarning("VeyColor::setRgb16: RGB parameters out of range");
        return;
    }
    m_colorType = 1;
    m_profileId = profileId;
    m_spec = Rgb;
    m_alpha = fractionFrom16(alpha);
    m_c = Components{};
    m_c.w[0] = fractionFrom16(red);
    m_c.w[1] = fractionFrom16(green);
    m_c.w[2] = fractionFrom16(blue);
}

void VeyColor::setRgbF(double red, double green, double blue, double alpha, quint32 profileId)
{
    if (!inUnitRange(red) || !inUnitRange(green) || !inUnitRange(blue) || !inUnitRange(alpha)) {
        resetToInvalid();
        qWarning("VeyColor::setRgbF: RGB parameters out of range");
        return;
    }
    m_colorType = 1;
    m_profileId = profileId;
    m_spec = Rgb;
    m_alpha = fractionFromDouble(alpha);
    m_c = Components{};
    m_c.w[0] = fractionFromDouble(red);
    m_c.w[1] = fractionFromDouble(green);
    m_c.w[2] = fractionFromDouble(blue);
}

VeyColor VeyColor::fromRgbF(double red, double green, double blue, double alpha, quint32 profileId)
{
    VeyColor color;
    if (!inUnitRange(red) || !inUnitRange(green) || !inUnitRange(blue) || !inUnitRange(alpha)) {
        qWarning("VeyColor::fromRgbF: RGB parameters out of range");
        return color;
    }
    color.m_profileId = profileId;
    color.m_spec = Rgb;
    color.m_alpha = fractionFromDouble(alpha);
    color.m_c.w[0] = fractionFromDouble(red);
    color.m_c.w[1] = fractionFromDouble(green);
    color.m_c.w[2] = fractionFromDouble(blue);
    return color;
}

void VeyColor::setYxy(double Y, double x, double y, uint alpha16, quint32 profileId)
{
    if (alpha16 > 65535) {
        resetToInvalid();
        qWarning("VeyColor::setAlpha16: value out of range");
        return;
    }
    // A NaN or infinity would poison every later conversion and comparison of this colour;
    // such a component is stored as 0 (black) instead.
    if (!std::isfinite(Y) || !std::isfinite(x) || !std::isfinite(y))
        Y = x = y = 0.0;
    m_spec = Yxy;
    m_alpha = fractionFrom16(alpha16);
    m_c = Components{};
    m_c.d[0] = Y;
    m_c.d[1] = x;
    m_c.d[2] = y;
    m_profileId = profileId;
}

void VeyColor::setYxyF(double Y, double x, double y, double alpha, quint32 profileId)
{
    if (!inUnitRange(alpha)) {
        const double scaled = alpha * 65535.0;
        // The warning is the 16-bit setter's, so it comes only when the truncated value
        // itself leaves 0..65535.
        if (scaled <= -1.0 || scaled >= 65536.0)
            qWarning("VeyColor::setAlpha16: value out of range");
        resetToInvalid();
        return;
    }
    setYxy(Y, x, y, uint(alpha * 65535.0), profileId);
    m_alpha = fractionFromDouble(alpha);
}

void VeyColor::setNChannel(const QList<uint> &values, quint32 colorType, quint32 profileId,
                           bool flag)
{
    if (values.isEmpty()) {
        resetToInvalid();
        return;
    }
    if (values.first() > 65535) {
        resetToInvalid();
        qWarning("VeyColor::setAlpha16: value out of range");
        return;
    }
    const quint32 mark = m_spec == NChannel ? m_c.w[1] : 0;
    const int count = std::min<int>(int(values.size()) - 1, MaxChannels);
    m_c = Components{};
    m_c.w[0] = quint32(count);
    m_c.w[1] = mark;
    for (int i = 0; i < count; ++i)
        m_c.w[2 + i] = fractionFrom16(std::min<uint>(values.at(1 + i), 65535));
    m_spec = NChannel;
    m_alpha = fractionFrom16(values.first());
    m_colorType = colorType;
    m_profileId = profileId;
    m_profileSetFlag = flag;
}

void VeyColor::setNChannelF(const QList<double> &values, quint32 colorType, quint32 profileId,
                            bool flag)
{
    setNChannelF(values.constData(), int(values.size()), colorType, profileId, flag);
}

void VeyColor::setNChannelF(const double *values, int count, quint32 colorType, quint32 profileId,
                            bool flag)
{
    if (count < 1 || !inUnitRange(values[0])) {
        resetToInvalid();
        return;
    }
    // The mark belongs to an N-channel colour only; any other spec keeps a component there.
    const quint32 mark = m_spec == NChannel ? m_c.w[1] : 0;
    const int levels = std::min(count - 1, MaxChannels);
    m_c = Components{};
    m_c.w[0] = quint32(levels);
    m_c.w[1] = mark;
    for (int i = 0; i < levels; ++i)
        m_c.w[2 + i] = fractionFromDouble(values[1 + i]);
    m_spec = NChannel;
    m_alpha = fractionFromDouble(values[0]);
    m_colorType = colorType;
    m_profileId = profileId;
    m_profileSetFlag = flag;
}

// ---- getters

uint VeyColor::red8() const
{
    return (m_spec == Rgb || m_spec == Invalid ? m_c.w[0] : toRgb().m_c.w[0]) >> 24;
}

uint VeyColor::green8() const
{
    return (m_spec == Rgb || m_spec == Invalid ? m_c.w[1] : toRgb().m_c.w[1]) >> 24;
}

uint VeyColor::blue8() const
{
    return (m_spec == Rgb || m_spec == Invalid ? m_c.w[2] : toRgb().m_c.w[2]) >> 24;
}

uint VeyColor::red16() const
{
    return (m_spec == Rgb || m_spec == Invalid ? m_c.w[0] : toRgb().m_c.w[0]) >> 16;
}

uint VeyColor::green16() const
{
    return (m_spec == Rgb || m_spec == Invalid ? m_c.w[1] : toRgb().m_c.w[1]) >> 16;
}

uint VeyColor::blue16() const
{
    return (m_spec == Rgb || m_spec == Invalid ? m_c.w[2] : toRgb().m_c.w[2]) >> 16;
}

double VeyColor::redF() const
{
    return doubleFromFraction(m_spec == Rgb || m_spec == Invalid ? m_c.w[0] : toRgb().m_c.w[0]);
}

double VeyColor::greenF() const
{
    return doubleFromFraction(m_spec == Rgb || m_spec == Invalid ? m_c.w[1] : toRgb().m_c.w[1]);
}

double VeyColor::blueF() const
{
    return doubleFromFraction(m_spec == Rgb || m_spec == Invalid ? m_c.w[2] : toRgb().m_c.w[2]);
}

void VeyColor::getRgbF(double *red, double *green, double *blue, double *alpha) const
{
    if (!red || !green || !blue)
        return;
    const VeyColor rgb = m_spec == Rgb || m_spec == Invalid ? *this : toRgb();
    *red = doubleFromFraction(rgb.m_c.w[0]);
    *green = doubleFromFraction(rgb.m_c.w[1]);
    *blue = doubleFromFraction(rgb.m_c.w[2]);
    if (alpha)
        *alpha = alphaF();
}

double VeyColor::Y() const
{
    return m_spec == Yxy || m_spec == Invalid ? m_c.d[0] : toYxy().m_c.d[0];
}

double VeyColor::x() const
{
    return m_spec == Yxy || m_spec == Invalid ? m_c.d[1] : toYxy().m_c.d[1];
}

double VeyColor::y() const
{
    return m_spec == Yxy || m_spec == Invalid ? m_c.d[2] : toYxy().m_c.d[2];
}

void VeyColor::getYxy(double *Y, double *x, double *y, uint *alpha16) const
{
    if (!Y || !x || !y)
        return;
    const VeyColor yxy = m_spec == Yxy || m_spec == Invalid ? *this : toYxy();
    *Y = yxy.m_c.d[0];
    *x = yxy.m_c.d[1];
    *y = yxy.m_c.d[2];
    if (alpha16)
        *alpha16 = m_alpha >> 16;
}

void VeyColor::getYxyF(double *Y, double *x, double *y, double *alpha) const
{
    getYxy(Y, x, y);
    if (Y && x && y && alpha)
        *alpha = alphaF();
}

int VeyColor::hue() const
{
    return int(m_spec == Hsv || m_spec == Invalid ? m_c.w[0] : toHsv().m_c.w[0]);
}

double VeyColor::saturationF() const
{
    return doubleFromFraction(m_spec == Hsv || m_spec == Invalid ? m_c.w[1] : toHsv().m_c.w[1]);
}

double VeyColor::valueF() const
{
    return doubleFromFraction(m_spec == Hsv || m_spec == Invalid ? m_c.w[2] : toHsv().m_c.w[2]);
}

QList<uint> VeyColor::nChannelValues() const
{
    const int count = int(std::min<quint32>(m_c.w[0], MaxChannels));
    QList<uint> values;
    values.reserve(count + 1);
    values.append(m_alpha >> 24);
    for (int i = 0; i < count; ++i)
        values.append(m_c.w[2 + i] >> 24);
    return values;
}

QList<double> VeyColor::nChannelValuesF() const
{
    const int count = int(std::min<quint32>(m_c.w[0], MaxChannels));
    QList<double> values;
    values.reserve(count + 1);
    values.append(alphaF());
    for (int i = 0; i < count; ++i)
        values.append(doubleFromFraction(m_c.w[2 + i]));
    return values;
}

void VeyColor::getNChannelF(double values[9]) const
{
    // Other specs keep components in these words, so the count is bounded before use.
    const int count = int(std::min<quint32>(m_c.w[0], MaxChannels));
    values[0] = alphaF();
    for (int i = 0; i < MaxChannels; ++i)
        values[1 + i] = i < count ? doubleFromFraction(m_c.w[2 + i]) : 0.0;
}

bool VeyColor::isBlack() const
{
    switch (m_spec) {
    case Rgb:
        return m_c.w[0] == 0 && m_c.w[1] == 0 && m_c.w[2] == 0;
    case Hsv:
        return m_c.w[2] == 0;
    case Yxy:
        return m_c.d[0] == 0.0;
    case NChannel: {
        const int count = int(std::min<quint32>(m_c.w[0], MaxChannels));
        for (int i = 0; i < count; ++i) {
            if (m_c.w[2 + i] != 0)
                return false;
        }
        return true;
    }
    default:
        return false;
    }
}

// ---- text forms

QString VeyColor::toString() const
{
    switch (m_spec) {
    case Rgb:
    case Hsv: {
        const VeyColor rgb = m_spec == Rgb ? *this : toRgb();
        return QString::asprintf("aRgb;%d;%d;#%04x%04x%04x%04x", int(m_colorType), int(m_profileId),
                                 m_alpha >> 16, rgb.m_c.w[0] >> 16, rgb.m_c.w[1] >> 16,
                                 rgb.m_c.w[2] >> 16);
    }
    case Yxy:
        return QString::asprintf("aYxy;%d;%d;%u;%f;%f;%f", int(m_colorType), int(m_profileId),
                                 m_alpha >> 16, m_c.d[0], m_c.d[1], m_c.d[2]);
    case NChannel: {
        QString text = QString::asprintf("aNchannel;%d;%d;%u", int(m_colorType), int(m_profileId),
                                         m_alpha >> 16);
        const int count = int(std::min<quint32>(m_c.w[0], MaxChannels));
        for (int i = 0; i < count; ++i)
            text += QString::asprintf(";%u", m_c.w[2 + i] >> 16);
        text += QString::asprintf(";%u;%u", m_c.w[1], m_profileSetFlag ? 1u : 0u);
        return text;
    }
    default:
        return QString();
    }
}

uint VeyColor::parseHex2(const QChar *chars)
{
    const uint d1 = hexDigit(chars[0]);
    const uint d2 = hexDigit(chars[1]);
    return (d1 << 12) | (d2 << 8) | (d1 << 4) | d2;
}

uint VeyColor::parseHex4(const QChar *chars)
{
    return (hexDigit(chars[0]) << 12) | (hexDigit(chars[1]) << 8) | (hexDigit(chars[2]) << 4) |
           hexDigit(chars[3]);
}

bool VeyColor::parseHexColor(const QChar *chars, int count, uint out[4])
{
    if (count > 17 || count < 1 || chars[0] != QLatin1Char('#'))
        return false;
    const QChar *d = chars + 1;
    switch (count - 1) {
    case 6:
        out[0] = 65535;
        out[1] = parseHex2(d);
        out[2] = parseHex2(d + 2);
        out[3] = parseHex2(d + 4);
        break;
    case 8:
        out[0] = parseHex2(d);
        out[1] = parseHex2(d + 2);
        out[2] = parseHex2(d + 4);
        out[3] = parseHex2(d + 6);
        break;
    case 12:
        out[0] = 65535;
        out[1] = parseHex4(d);
        out[2] = parseHex4(d + 4);
        out[3] = parseHex4(d + 8);
        break;
    case 16:
        out[0] = parseHex4(d);
        out[1] = parseHex4(d + 4);
        out[2] = parseHex4(d + 8);
        out[3] = parseHex4(d + 12);
        break;
    default:
        out[0] = out[1] = out[2] = out[3] = 0xFFFFFFFFu;
        break;
    }
    return true;
}

void VeyColor::setNamedColor(const QString &name)
{
    if (name.isEmpty()) {
        resetToInvalid();
        return;
    }
    bool tryHex = name.startsWith(QLatin1Char('#'));
    if (name.contains(QLatin1Char(';'))) {
        const QStringList parts = name.split(QLatin1Char(';'));
        if (parts.size() < 4) {
            resetToInvalid();
            return;
        }
        m_colorType = quint32(parts.at(1).toLongLong());
        m_profileId = quint32(parts.at(2).toLongLong());
        const QString &kind = parts.at(0);
        if (kind == QLatin1String("aRgb")) {
            uint argb[4];
            const QString &hex = parts.at(3);
            if (parts.size() == 4 && hex.startsWith(QLatin1Char('#')) &&
                parseHexColor(hex.constData(), int(hex.size()), argb))
                setRgb16(argb[1], argb[2], argb[3], argb[0], 0);
            else
                resetToInvalid();
            return;
        }
        if (kind == QLatin1String("aYxy")) {
            if (parts.size() == 7)
                setYxy(parts.at(4).toDouble(), parts.at(5).toDouble(), parts.at(6).toDouble(),
                       parts.at(3).toUInt(), 0);
            else
                resetToInvalid();
            return;
        }
        if (kind == QLatin1String("aNchannel")) {
            const quint32 colorType = m_colorType;
            const quint32 profileId = m_profileId;
            const int n = channelCountForColorType(int(colorType));
            // A text that lists fewer levels than its colour type needs is malformed.
            if (parts.size() < n + 4) {
                resetToInvalid();
                return;
            }
            QList<uint> values;
            values.reserve(n + 1);
            for (int i = 0; i <= n; ++i)
                values.append(parts.at(3 + i).toUInt());
            setNChannel(values, colorType, profileId, true);
            if (m_spec != NChannel)
                return;
            if (parts.size() >= n + 5)
                m_c.w[1] = parts.at(n + 4).toUInt();
            if (parts.size() >= n + 6)
                m_profileSetFlag = parts.at(n + 5).toUInt() != 0;
            return;
        }
        tryHex = true;
    }
    if (tryHex) {
        uint argb[4];
        if (parseHexColor(name.constData(), int(name.size()), argb))
            setRgb16(argb[1], argb[2], argb[3], argb[0], 0);
        else
            resetToInvalid();
        return;
    }
    const QColor named(name);
    if (!named.isValid()) {
        qWarning("VeyColor::setNamedColor: Unknown color name '%s'", name.toLatin1().constData());
        resetToInvalid();
        return;
    }
    setRgb8(uint(named.red()), uint(named.green()), uint(named.blue()), uint(named.alpha()), 0);
}

// ---- equality, hash, streams

quint32 veyColorHash(const VeyColor &color)
{
    const quint32 *w = color.m_c.w;
    const quint32 alphaByte = color.m_alpha & 0xFF;
    switch (color.m_spec) {
    case VeyColor::Rgb:
    case VeyColor::Hsv:
        return (w[0] & 0xFF) << 24 | (w[1] & 0xFF) << 16 | (w[2] & 0xFF) << 8 | alphaByte;
    case VeyColor::Yxy:
        return quint32(truncateAny(color.m_c.d[0]) & 0xFF) << 24 |
               quint32(truncateAny(color.m_c.d[1]) & 0xFF) << 16 |
               quint32(truncateAny(color.m_c.d[2]) & 0xFF) << 8 | alphaByte;
    case VeyColor::NChannel: {
        const quint32 count = w[0];
        quint32 h = (color.m_alpha & 15) << 4 | (count & 15);
        const int first = count >= 1 && count <= 4 ? int(count) : 5;
        for (int i = first; i >= 1; --i)
            h = h << 4 | (w[2 + i - 1] & 15);
        return h;
    }
    default:
        qDebug("Hit Invalid case in VeyColor:qHash");
        return 0;
    }
}

QDataStream &operator<<(QDataStream &stream, const VeyColor &color)
{
    stream << qint8(color.m_spec) << qint32(color.m_alpha) << qint32(color.m_c.w[0])
           << qint32(color.m_c.w[1]) << qint32(color.m_c.w[2]);
    return stream;
}

QDataStream &operator>>(QDataStream &stream, VeyColor &color)
{
    qint8 spec = 0;
    qint32 alpha = 0;
    qint32 words[3] = {};
    stream >> spec >> alpha >> words[0] >> words[1] >> words[2];
    color.m_spec = quint32(qint32(spec));
    color.m_alpha = quint32(alpha);
    for (int i = 0; i < 3; ++i)
        color.m_c.w[i] = quint32(words[i]);
    // A damaged stream must not leave a spec that no operation knows.
    if (color.m_spec >= specCount || stream.status() != QDataStream::Ok)
        color.m_spec = VeyColor::Invalid;
    // The first word of an N-channel colour is its count, which must never exceed eight.
    if (color.m_spec == VeyColor::NChannel)
        color.m_c.w[0] = std::min<quint32>(color.m_c.w[0], VeyColor::MaxChannels);
    return stream;
}

QDebug operator<<(QDebug debug, const VeyColor &color)
{
    QDebugStateSaver saver(debug);
    debug.nospace();
    switch (color.m_spec) {
    case VeyColor::Rgb:
    case VeyColor::Hsv:
        debug << "VeyColor(ARGB " << (color.m_alpha >> 16) << ", " << color.red16() << ", "
              << color.green16() << ", " << color.blue16() << ")";
        break;
    case VeyColor::Yxy:
        debug << "VeyColor(AYxy " << (color.m_alpha >> 16) << ", " << color.m_c.d[0] << ", "
              << color.m_c.d[1] << ", " << color.m_c.d[2] << ")";
        break;
    case VeyColor::NChannel:
        break;
    default:
        debug << "VeyColor(Invalid)";
        break;
    }
    return debug;
}

void VeyColor::registerMetaType()
{
    qRegisterMetaType<VeyColor>("VeyColor");
}

namespace {
// Registered at start-up so that the type is known by name (QMetaType::fromName) before
// anything has asked for it.
void registerVeyColorAtStartUp()
{
    VeyColor::registerMetaType();
}
} // namespace
Q_CONSTRUCTOR_FUNCTION(registerVeyColorAtStartUp)

// ---- RGB and HSV

VeyColor VeyColor::toHsv() const
{
    if (m_spec == Invalid || m_spec == Hsv || m_spec >= specCount)
        return *this;
    const VeyColor rgb = m_spec == Rgb ? *this : toRgb();
    if (rgb.m_spec != Rgb)
        return rgb;
    const double r = doubleFromFraction(rgb.m_c.w[0]);
    const double g = doubleFromFraction(rgb.m_c.w[1]);
    const double b = doubleFromFraction(rgb.m_c.w[2]);
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    const double delta = max - min;

    VeyColor hsv = *this;
    hsv.m_profileSetFlag = false;
    hsv.m_spec = Hsv;
    hsv.m_c = Components{};
    hsv.m_c.w[2] = fractionFromDouble(max);
    if (std::fabs(delta) * 1000000000000.0 <= std::min(std::fabs(delta + 1.0), 1.0)) {
        hsv.m_c.w[0] = quint32(-1);
        return hsv;
    }
    hsv.m_c.w[1] = fractionFromDouble(delta / max);
    double h = 0.0;
    if (fuzzyEqual(r, max))
        h = (g - b) / delta;
    else if (fuzzyEqual(g, max))
        h = 2.0 + (b - r) / delta;
    else if (fuzzyEqual(b, max))
        h = 4.0 + (r - g) / delta;
    h *= 60.0;
    if (h < 0.0)
        h += 360.0;
    hsv.m_c.w[0] = quint32(qint32(h * 100.0 + 0.5));
    return hsv;
}

VeyColor VeyColor::hsvToRgb() const
{
    VeyColor rgb = *this;
    rgb.m_colorType = 1;
    rgb.m_profileSetFlag = false;
    rgb.m_spec = Rgb;
    rgb.m_c = Components{};
    if (m_c.w[1] == 0) {
        rgb.m_c.w[0] = rgb.m_c.w[1] = rgb.m_c.w[2] = m_c.w[2];
        return rgb;
    }
    const qint32 hue = qint32(m_c.w[0]);
    const double h = hue == -1 || hue == 36000 ? 0.0 : hue / 6000.0;
    const double s = doubleFromFraction(m_c.w[1]);
    const double v = doubleFromFraction(m_c.w[2]);
    const int i = int(h);
    const double f = h - i;
    const double p = (1.0 - s) * v;
    const double t = (1.0 - (1.0 - f) * s) * v;
    const double q = (1.0 - f * s) * v;
    double levels[3] = {0.0, 0.0, 0.0};
    switch (i) {
    case 0:
        levels[0] = v, levels[1] = t, levels[2] = p;
        break;
    case 1:
        levels[0] = q, levels[1] = v, levels[2] = p;
        break;
    case 2:
        levels[0] = p, levels[1] = v, levels[2] = t;
        break;
    case 3:
        levels[0] = p, levels[1] = q, levels[2] = v;
        break;
    case 4:
        levels[0] = t, levels[1] = p, levels[2] = v;
        break;
    case 5:
        levels[0] = v, levels[1] = p, levels[2] = q;
        break;
    default:
        break;
    }
    for (int k = 0; k < 3; ++k)
        rgb.m_c.w[k] = fractionFromDouble(levels[k]);
    return rgb;
}

// ---- conversions between specs

VeyColor VeyColor::toRgb() const
{
    switch (m_spec) {
    case Hsv:
        return hsvToRgb();
    case Yxy:
    case NChannel:
        return yxyOrNChannelToRgb();
    default:
        return *this;
    }
}

VeyColor VeyColor::yxyOrNChannelToRgb() const
{
    double yxyPoint[3];
    bool clamp = false;
    if (m_spec == Yxy) {
        yxyPoint[0] = m_c.d[0];
        yxyPoint[1] = m_c.d[1];
        yxyPoint[2] = m_c.d[2];
    } else {
        colorToXyY(*this, yxyPoint);
        clamp = true;
    }
    double levels[maxMixChannels] = {};
    rgbLevelsFromYxy(yxyPoint, clamp, levels);

    VeyColor temp;
    temp.setRgbF(levels[0], levels[1], levels[2], alphaF(), 0);
    VeyColor rgb = temp;
    rgb.m_profileSetFlag = false;
    rgb.m_profileId = m_profileId;
    rgb.m_alpha = m_alpha;
    return rgb;
}

VeyColor VeyColor::toYxy(quint32 colorType, quint32 profileId) const
{
    if (m_spec == Invalid || m_spec == Yxy || m_spec >= specCount)
        return *this;
    double yxyPoint[3];
    colorToXyY(*this, yxyPoint);
    VeyColor result;
    result.m_colorType = colorType == 0 ? m_colorType : colorType;
    const quint32 id = profileId == OwnProfileId ? m_profileId : profileId;
    result.setYxy(yxyPoint[0], yxyPoint[1], yxyPoint[2], uint(alphaF() * 65535.0), id);
    result.m_alpha = m_alpha;
    result.m_profileSetFlag = false;
    return result;
}

void VeyColor::fillNChannelFromLevels(const double *levels, int count, quint32 colorType,
                                      quint32 profileId, bool flag)
{
    double list[1 + MaxChannels] = {};
    list[0] = alphaF();
    const int n = std::min(count, MaxChannels);
    for (int i = 0; i < n; ++i)
        list[1 + i] = levels[i];
    const quint32 alphaWord = m_alpha;
    setNChannelF(list, n + 1, colorType, profileId, flag);
    m_alpha = alphaWord;
}

VeyColor VeyColor::toNChannel(quint32 colorType, quint32 profileId, int profileSet) const
{
    if (m_spec == NChannel && m_colorType == colorType && m_profileId == profileId &&
        profileSetForFlag(m_profileSetFlag) == profileSet)
        return *this;

    const int n = std::max(0, std::min(channelCountForColorType(int(colorType)), MaxChannels));
    double levels[MaxChannels] = {};
    VeyColor result;
    result.m_alpha = m_alpha;

    switch (m_spec) {
    case Rgb:
    case Hsv:
    case NChannel: {
        double yxyPoint[3];
        colorToXyY(*this, yxyPoint);
        WeightIndex pair;
        if (m_spec != Hsv)
            pair = nearestPrimaryWeight(yxyPoint, int(m_colorType), int(m_profileId),
                                        profileSetForFlag(m_profileSetFlag));
        xyYToChannelLevels(yxyPoint, levels, int(colorType), int(profileId), profileSet, true,
                           pair);
        result.fillNChannelFromLevels(levels, n, colorType, profileId, profileSet == 0);
        break;
    }
    case Yxy: {
        const double yxyPoint[3] = {m_c.d[0], m_c.d[1], m_c.d[2]};
        xyYToChannelLevels(yxyPoint, levels, int(colorType), int(profileId), profileSet, false,
                           WeightIndex());
        result.fillNChannelFromLevels(levels, n, colorType, profileId, m_profileSetFlag);
        result.m_c.w[1] = 1;
        break;
    }
    default:
        result.fillNChannelFromLevels(levels, 0, colorType,
                                      profileId == OwnProfileId ? m_profileId : profileId, false);
        break;
    }
    return result;
}

VeyColor VeyColor::convertToGrey(quint32 colorType, quint32 profileId) const
{
    const VeyColor rgb = m_spec == Rgb || m_spec == Invalid ? *this : toRgb();
    const uint sum = 11 * rgb.red8() + 16 * rgb.green8() + 5 * rgb.blue8();
    const double w = (sum / 32) / 255.0;
    const double list[4] = {alphaF(), w, w, w};
    VeyColor result;
    result.setNChannelF(list, 4, colorType, profileId, true);
    return result;
}

VeyColor VeyColor::convertToTwoOrThreeChannel(quint32 colorType, quint32 profileId) const
{
    const VeyColor rgb = m_spec == Rgb || m_spec == Invalid ? *this : toRgb();
    const uint r = rgb.red8();
    const uint g = rgb.green8();
    const uint b = rgb.blue8();
    double list[4] = {alphaF(), 0.0, 0.0, 0.0};
    if (colorType == 7) {
        list[1] = std::max(r, g / 2) / 255.0;
        list[2] = std::max(b, g / 2) / 255.0;
    } else {
        list[1] = r / 255.0;
        list[2] = g / 255.0;
        list[3] = b / 255.0;
    }
    VeyColor result;
    result.setNChannelF(list, 4, colorType, profileId, true);
    return result;
}

VeyColor VeyColor::convertToFourWhites(quint32 profileId) const
{
    const VeyColor yxy = toYxy(11, profileId);
    const double Y = yxy.m_c.d[0];
    int cct = 0;
    int tint = 0;
    xyToCctTint(yxy.m_c.d[1], yxy.m_c.d[2], &cct, &tint);

    int lo = 0;
    int hi = 0;
    for (int i = 0; i < 4; ++i) {
        hi = i;
        if (cct < fourWhiteCcts[i])
            break;
        lo = i;
    }
    double levels[4] = {0.0, 0.0, 0.0, 0.0};
    levels[lo] = 1.0;
    levels[hi] = 1.0;
    if (lo != hi) {
        const int half = (fourWhiteCcts[hi] - fourWhiteCcts[lo]) / 2;
        if (cct < fourWhiteCcts[lo] + half)
            levels[hi] = float(cct - fourWhiteCcts[lo]) / float(half);
        else
            levels[lo] = float(fourWhiteCcts[hi] - cct) / float(half);
    }
    if (tint < minTint() && cct > maxSupportedCct()) {
        lo = 0;
        hi = 3;
        levels[0] = levels[3];
        levels[3] = 0.0;
    }
    levels[lo] *= Y;
    if (hi != lo)
        levels[hi] *= Y;

    const double list[5] = {alphaF(), levels[0], levels[1], levels[2], levels[3]};
    VeyColor result;
    result.setNChannelF(list, 5, 11, profileId, true);
    return result;
}

VeyColor VeyColor::convertTo(Spec spec, quint32 colorType, quint32 profileId, int profileSet) const
{
    if (spec == m_spec && spec != NChannel)
        return *this;
    switch (colorType) {
    case 9:
    case 10:
        return convertToGrey(colorType, profileId);
    case 7:
    case 8:
        return convertToTwoOrThreeChannel(colorType, profileId);
    case 11:
        return convertToFourWhites(profileId);
    default:
        break;
    }
    switch (spec) {
    case Rgb:
        return toRgb();
    case Hsv:
        return toHsv();
    case Yxy:
        return toYxy(colorType, profileId);
    case NChannel:
        return toNChannel(colorType, profileId, profileSet);
    default:
        return VeyColor();
    }
}

// ---- blending

VeyColor VeyColor::mix(const VeyColor &first, const VeyColor &second, int mode, double factor)
{
    VeyColor result;
    const double w = first.alphaF() * factor;
    const auto blend = [w](const double *l1, const double *l2, double *l3, int size) {
        l3[0] = (1.0 - w) * l2[0] + w;
        for (int i = 1; i < size; ++i)
            l3[i] = w * l1[i] + (1.0 - w) * l2[i];
    };

    switch (second.m_spec) {
    case NChannel: {
        // Both lists are zero beyond their size, so a shorter one counts as 0 where it
        // ends instead of being read past.
        const bool sameSpace = first.m_spec == NChannel &&
                               first.m_profileId == second.m_profileId &&
                               first.m_profileSetFlag == second.m_profileSetFlag;
        LevelList l1 = nChannelList(
            sameSpace ? first
                      : first.convertTo(NChannel, second.m_colorType, second.m_profileId,
                                        profileSetForFlag(second.m_profileSetFlag)));
        const LevelList l2 = nChannelList(second);
        if (!sameSpace)
            l1.size = std::max(l1.size, l2.size);
        double l3[1 + MaxChannels] = {};
        blend(l1.v, l2.v, l3, l1.size);
        result.setNChannelF(l3, l1.size, second.m_colorType, second.m_profileId,
                            second.m_profileSetFlag);
        return result;
    }
    case Rgb:
    case Hsv: {
        double l1[4] = {first.alphaF(), 0.0, 0.0, 0.0};
        if (first.m_spec == Rgb && first.m_profileId == second.m_profileId) {
            first.getRgbF(&l1[1], &l1[2], &l1[3]);
        } else {
            first
                .convertTo(second.spec(), second.m_colorType, second.m_profileId,
                           profileSetForFlag(second.m_profileSetFlag))
                .getRgbF(&l1[1], &l1[2], &l1[3]);
        }
        double l2[4] = {second.alphaF(), 0.0, 0.0, 0.0};
        second.getRgbF(&l2[1], &l2[2], &l2[3]);
        double l3[4];
        blend(l1, l2, l3, 4);
        if (mode == 20)
            return fromRgbF(l3[2], l3[1], l3[3], l3[0], 0);
        result.setRgbF(l3[1], l3[2], l3[3], l3[0], second.m_profileId);
        if (result.m_spec != Invalid)
            result.m_profileSetFlag = second.m_profileSetFlag;
        return result;
    }
    case Yxy: {
        double l1[4] = {first.alphaF(), 0.0, 0.0, 0.0};
        first.getYxy(&l1[1], &l1[2], &l1[3]);
        double l2[4] = {second.alphaF(), 0.0, 0.0, 0.0};
        second.getYxy(&l2[1], &l2[2], &l2[3]);
        double l3[4];
        blend(l1, l2, l3, 4);
        result.setYxyF(l3[1], l3[2], l3[3], l3[0], second.m_profileId);
        if (result.m_spec != Invalid)
            result.m_profileSetFlag = second.m_profileSetFlag;
        return result;
    }
    default:
        return result;
    }
}

VeyColor VeyColor::blended(const VeyColor &other, double factor) const
{
    return mix(other, *this, 24, factor);
}
