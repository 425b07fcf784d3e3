#include "colour/profileconversion.h"

#include "colour/colourmixing.h"
#include "colour/gamutmapping.h"
#include "colour/profile.h"
#include "colour/veycolor.h"

#include <cmath>

namespace {

struct Quadratic
{
    double a, b, c;
    double at(double v) const { return a * v * v + b * v + c; }
};

constexpr Quadratic normal8{0.941410046234329, 16.94043821, 0.0};
constexpr Quadratic normal16{1.42532e-05, 0.065916102, 0.0};
constexpr Quadratic tungsten8[3] = {{0.130846713, 0.503965975, 0.0},
                                    {0.219230769, -0.657692308, -2.461538462},
                                    {1.314585714, -84.48650649, 1598.123118}};
constexpr Quadratic tungsten16[3] = {{1.98106e-06, 0.001960957, 0.0},
                                     {3.31921e-06, -0.002559114, -2.461538462},
                                     {1.99032e-05, -0.32874127, 1598.1231188}};

int tungstenSegmentOfValue(quint16 v, bool sixteenBit)
{
    const int first = sixteenBit ? 3855 : 15;
    const int second = sixteenBit ? 10280 : 40;
    return v <= first ? 0 : (v <= second ? 1 : 2);
}

int tungstenSegmentOfLevel(quint16 level)
{
    return level <= 37 ? 0 : (level <= 322 ? 1 : 2);
}

quint64 profileOrDefault(quint64 id)
{
    return id == 0 ? 48 : id;
}

bool passesThroughTarget(quint64 targetProfileId)
{
    const int type = colorTypeOfFixture(int(targetProfileId));
    return type == 4 || (type >= 7 && type <= 11);
}

QVector<quint16> sourceLevels(const VeyColor &color, int n)
{
    QVector<quint16> levels(n, 0);
    if (color.spec() == VeyColor::Rgb) {
        levels[0] = quint16(color.red8());
        levels[1] = quint16(color.green8());
        levels[2] = quint16(color.blue8());
        return levels;
    }
    const VeyColor nChannel =
        color.spec() == VeyColor::NChannel
            ? color
            : color.toNChannel(color.colorType(), color.profileId(), profileSetForFlag(0));
    const QList<uint> values = nChannel.nChannelValues(); // alpha first
    for (int i = 0; i < n && i + 1 < values.size(); ++i)
        levels[i] = quint16(values[i + 1]);
    return levels;
}

} // namespace

quint16 roundLevel(double value, quint16 max)
{
    if (!std::isfinite(value) || value <= 0.0)
        return 0;
    const double rounded = std::floor(value + 0.5);
    return rounded >= max ? max : quint16(rounded);
}

quint16 forwardCurveLevel(quint16 value, quint32 sixteenBit, qint32 curveType, bool forceCurve1)
{
    const bool wide = sixteenBit != 0;
    if (!wide && value > 255)
        return 0;
    if (curveType == 1 || forceCurve1)
        return roundLevel((wide ? normal16 : normal8).at(value));
    if (curveType == 0)
        return wide ? value : quint16(value * 257);
    if (curveType == 2) {
        const Quadratic *table = wide ? tungsten16 : tungsten8;
        return roundLevel(table[tungstenSegmentOfValue(value, wide)].at(value));
    }
    return 0;
}

quint16 inverseCurveLevel(quint16 level, bool sixteenBit, qint32 curveType)
{
    const quint16 max = sixteenBit ? 65535 : 255;
    const double L = level;
    if (curveType == 0)
        return sixteenBit ? level : roundLevel(L * 255 / 65535.0, max);
    if (curveType == 1) {
        const Quadratic &q = sixteenBit ? normal16 : normal8;
        return roundLevel((std::sqrt(q.b * q.b + 4 * q.a * L) - q.b) / (2 * q.a), max);
    }
    if (curveType == 2) {
        const Quadratic &q = (sixteenBit ? tungsten16 : tungsten8)[tungstenSegmentOfLevel(level)];
        // The mean of the roots for the levels L + 0.5 and L - 0.5.
        const double d = q.c - L;
        const double r1 = std::sqrt(q.b * q.b - 4 * q.a * (d - 0.5));
        const double r2 = std::sqrt(q.b * q.b - 4 * q.a * (d + 0.5));
        return roundLevel(((r1 + r2) / 2 - q.b) / (2 * q.a), max);
    }
    return 0;
}

quint16 peakLightLevel(const QVector<quint16> &levels, quint32 sixteenBit, qint32 curveType)
{
    quint16 peak = 0;
    for (quint16 level : levels)
        peak = qMax(peak, level);
    return forwardCurveLevel(peak, sixteenBit, curveType, false);
}

QPointF levelsToChromaticity(const QVector<quint16> &levels, quint64 profileId, bool profileFlag,
                             quint32 sixteenBit, qint32 curveType, quint8 channelCount)
{
    const Profile &profile = *conversionProfile(profileId, profileFlag);
    const int n = qMin(int(channelCount), int(levels.size()));
    double X = 0.0, Y = 0.0, Z = 0.0;
    for (int i = 0; i < n; ++i) {
        const double L = forwardCurveLevel(levels[i], sixteenBit, curveType, profileFlag) / 65535.0;
        X += L * profile.xAt(i);
        Y += L * profile.yAt(i);
        Z += L * profile.zAt(i);
    }
    double x = X / (X + Y + Z);
    double y = Y / (X + Y + Z);

    // A point beyond the line through the first two channels is moved onto it.
    const QVector<QPointF> primaries = channelChromaticities(profile);
    if (primaries.size() < 2)
        return QPointF(x, y);
    const QPointF p0 = primaries[0], p1 = primaries[1];
    const double m = p1.x() == p0.x() ? 0.0 : (p1.y() - p0.y()) / (p1.x() - p0.x());
    const double k = p0.y() - p0.x() * m;
    const double d = y - (m * x + k);
    if (d > 0.0) {
        x += d * m / (m * m + 1.0);
        y = m * x + k;
    }
    return QPointF(x, y);
}

QVector<quint16> solveTargetLevels(quint64 targetProfileId, bool targetFlag, quint32 sixteenBit,
                                   qint32 curveType, const QPointF &xy, double intensity,
                                   bool normalizeByObjective)
{
    const QVector<double> mix =
        solveMixingLp(targetProfileId, targetFlag, xy, normalizeByObjective);
    QVector<quint16> out;
    out.reserve(mix.size());
    const qint32 outputCurve = targetFlag ? 1 : curveType;
    for (double d : mix)
        out.append(
            inverseCurveLevel(roundLevel(intensity * d * 65535.0), sixteenBit != 0, outputCurve));
    return out;
}

QVector<quint16> convertChannels(QVector<quint16> levels, const ConversionSettings &source,
                                 const ConversionSettings &target, bool normalizeByObjective,
                                 bool allowPassThrough)
{
    if (allowPassThrough && (source == target || passesThroughTarget(target.profileId))) {
        // An 8-bit level handed to a 16-bit output keeps its brightness, not its number.
        if (source.sixteenBit == 0 && target.sixteenBit != 0)
            for (quint16 &level : levels)
                level = quint16(qMin<uint>(level, 255) * 257);
        return levels;
    }
    const QPointF xy =
        levelsToChromaticity(levels, source.profileId, source.profileFlag, source.sixteenBit,
                             source.curveType, source.channelCount);
    const quint16 peak = peakLightLevel(levels, source.sixteenBit, source.curveType);
    const quint16 output = inverseCurveLevel(peak, target.sixteenBit != 0, target.curveType);
    const quint16 quantised = forwardCurveLevel(output, target.sixteenBit,
                                                target.profileFlag ? 1 : target.curveType, false);
    const double intensity = quantised / 65535.0;
    const QPointF mapped = buildChannelMapping(source.profileId, source.profileFlag,
                                               target.profileId, target.profileFlag, xy);
    return solveTargetLevels(target.profileId, target.profileFlag, target.sixteenBit,
                             target.curveType, mapped, intensity, normalizeByObjective);
}

void renderColorToChannels(VeyColor color, quint8 *out, int outSize, qint32 targetProfileId,
                           bool targetFlag, qint32 bytesPerChannel, quint32 targetCurveType,
                           quint8 targetChannelCount)
{
    const int n = qBound(3, channelCountForColorType(int(color.colorType())), 8);
    ConversionSettings source;
    source.profileId = profileOrDefault(color.profileId());
    source.profileFlag = color.spec() == VeyColor::NChannel && color.profileSetFlag();
    source.channelCount = quint8(n);
    ConversionSettings target;
    target.profileId = profileOrDefault(quint64(qint64(targetProfileId)));
    target.profileFlag = targetFlag;
    target.sixteenBit = bytesPerChannel != 1 ? 1 : 0;
    target.curveType = qint32(targetCurveType);
    target.channelCount = targetChannelCount;

    const QVector<quint16> levels =
        convertChannels(sourceLevels(color, n), source, target, true, true);
    const int width = bytesPerChannel == 1 ? 1 : 2;
    for (int i = 0; i < levels.size() && (i + 1) * width <= outSize; ++i) {
        if (width == 1) {
            out[i] = quint8(levels[i]);
        } else {
            out[2 * i] = quint8(levels[i] >> 8);
            out[2 * i + 1] = quint8(levels[i]);
        }
    }
}
