#include "colour/colourmixing.h"

#include "colour/curve.h"
#include "colour/curveregistry.h"
#include "colour/fixturetypedescriptor.h"
#include "colour/fixturetypetable.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"
#include "colour/veycolor.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstring>

const QList<QPointF> referenceTriangleXy = {QPointF(0.587366134, 0.346709835),
                                            QPointF(0.260791461, 0.572128096),
                                            QPointF(0.23236083, 0.226062406)};

namespace {

constexpr double primaryRadius = 0.025;
constexpr double nearlyOnPrimary = 1e-12;
constexpr double farFromPrimarySquared = 0.03 * 0.03;

// Drive levels come from 32-bit fractions and are always in 0..1; anything else (a NaN from a
// degenerate conversion, a blend pushed past its range) is held to that range before it can
// index a table or wrap an integer.
double boundedLevel(double level)
{
    if (!(level >= 0.0))
        return 0.0;
    return level > 1.0 ? 1.0 : level;
}

double curveOneOutput(double b)
{
    const float p = float(1.674e-18 * std::pow(b, 4) - 2.11838e-13 * std::pow(b, 3) +
                          1.4257e-05 * std::pow(b, 2) + 0.065828 * b - 4.8488e-05);
    return std::min(std::max(double(p), 0.0), 65516.0) / 65516.0;
}

double curveTwoOutput(double b)
{
    const float p = float(3.7684e-29 * std::pow(b, 7) - 9.555e-24 * std::pow(b, 6) +
                          1.045e-18 * std::pow(b, 5) - 6.1689e-14 * std::pow(b, 4) +
                          2.031e-09 * std::pow(b, 3) - 1.6217e-05 * std::pow(b, 2) -
                          9.38789e-10 * b - 4.64192e-16);
    return std::min(std::max(double(p), 0.0), 65535.0) / 65535.0;
}

// The polynomials depend on the 16-bit drive value only, so each is tabulated once instead of
// evaluating seven pow calls per channel per frame.
const double *lightOutputTable(int curveType)
{
    static double *tables[2] = {nullptr, nullptr};
    double *&table = tables[curveType - 1];
    if (!table) {
        table = new double[65536];
        for (int b = 0; b < 65536; ++b)
            table[b] = curveType == 1 ? curveOneOutput(b) : curveTwoOutput(b);
    }
    return table;
}

double distance(const QPointF &a, const QPointF &b)
{
    const double dx = a.x() - b.x();
    const double dy = a.y() - b.y();
    return std::sqrt(dx * dx + dy * dy);
}

void writeBigEndian(quint8 *out, int i, quint16 value)
{
    out[2 * i] = quint8(value >> 8);
    out[2 * i + 1] = quint8(value & 0xFF);
}

struct ChannelTerms
{
    double A[maxMixChannels];
    double B[maxMixChannels];
    double Y[maxMixChannels];
};

// Snaps a solved level that misses 0 or 1 by rounding only.
double snapLevel(double level)
{
    if (level > -5e-05 && level < 0.0)
        return 0.0;
    if (level > 1.0 && level < 1.00005)
        return 1.0;
    return level;
}

// The pair search of xyYToChannelLevels for a chromaticity already clamped and pulled. The
// other channels of a candidate are 0 or 1, so only the two solved levels can fail the range
// test; they are checked before anything else is summed, which is what keeps the 70
// candidates of a five-channel fixture cheap. The sums keep the order of the channels, so the
// result is the same as summing every candidate in full.
void searchChannelPairs(int n, const ChannelTerms &terms, double *bestLevels)
{
    const int patterns = n >= 3 ? (1 << (n - 2)) - 1 : 0;
    double best = 0.0;
    for (int j = 0; j < n; ++j)
        bestLevels[j] = 0.0;
    const double *A = terms.A;
    const double *B = terms.B;
    for (int p = 0; p < n - 1; ++p) {
        for (int q = p + 1; q < n; ++q) {
            int others[maxMixChannels];
            int otherCount = 0;
            for (int j = 0; j < n; ++j) {
                if (j != p && j != q)
                    others[otherCount++] = j;
            }
            const float f = float(B[p] / A[p]);
            const double e = B[p] - f * A[p];
            const double D = B[q] - A[q] * f;
            const float g = float(A[q] / D);
            const float invP = float(1.0 / (A[p] - g * e));
            const float invD = float(1.0 / D);
            for (int k = 1; k <= patterns; ++k) {
                double SA = 0.0;
                double SB = 0.0;
                for (int t = 0; t < otherCount; ++t) {
                    if ((k >> t) & 1) {
                        SA -= A[others[t]];
                        SB -= B[others[t]];
                    }
                }
                const double SBp = SB - SA * f;
                const double lq = snapLevel(invD * SBp);
                if (lq < 0.0 || lq > 1.0)
                    continue;
                const double lp = snapLevel(invP * (SA - SBp * g));
                if (lp < 0.0 || lp > 1.0)
                    continue;
                double candidate[maxMixChannels];
                for (int t = 0; t < otherCount; ++t)
                    candidate[others[t]] = (k >> t) & 1;
                candidate[p] = lp;
                candidate[q] = lq;
                double ySum = 0.0;
                for (int j = 0; j < n; ++j)
                    ySum += candidate[j] * terms.Y[j];
                if (ySum > best) {
                    best = ySum;
                    std::copy(candidate, candidate + n, bestLevels);
                }
            }
        }
    }
}

// Relative levels (before scaling by Y) for a chromaticity, cleared and recomputed only when
// the chromaticity or the fixture changes: a frame paints many lights with the same colours.
struct LevelMemoEntry
{
    bool valid = false;
    quint64 xBits = 0;
    quint64 yBits = 0;
    quint64 weightBits = 0;
    int weightIndex = 0;
    int colorType = 0;
    int profileId = 0;
    int profileSet = 0;
    bool clamp = false;
    quint32 revision = 0;
    double levels[maxMixChannels] = {};
};

constexpr int levelMemoSize = 256;

quint64 bitsOf(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void relativeChannelLevels(double x, double y, int n, int colorType, int profileId, int profileSet,
                           bool clamp, const WeightIndex &pair, double *bestLevels)
{
    Profile *profile = ProfileDatabase::instance()->profile(profileId, colorType, profileSet);
    if (clamp)
        profile->clampToGamut(x, y, &x, &y);
    double point[3] = {1.0, x, y};
    const WeightIndex own = nearestPrimaryWeight(point, colorType, profileId, profileSet);
    pullTowardPrimary(point, pair, own.weight, colorType, profileId, profileSet);
    x = point[1];
    y = point[2];
    const double a = y / x;
    const double b = y / (1.0 - x - y);
    ChannelTerms terms;
    for (int j = 0; j < n; ++j) {
        terms.A[j] = a * profile->xAt(j) - profile->yAt(j);
        terms.B[j] = b * profile->zAt(j) - profile->yAt(j);
        terms.Y[j] = profile->yAt(j);
    }
    searchChannelPairs(n, terms, bestLevels);
}

} // namespace

int channelCountForColorType(int colorType)
{
    switch (colorType) {
    case 1:
    case 8:
    case 9:
        return 3;
    case 2:
    case 5:
        return 5;
    case 3:
    case 6:
    case 11:
        return 4;
    case 4:
        return 1;
    case 7:
    case 10:
        return 2;
    default:
        return 0;
    }
}

int profileSetForFlag(quint8 flag)
{
    return flag ^ 1;
}

int colorTypeOfFixture(int fixtureTypeId)
{
    return FixtureTypeTable::instance()->find(fixtureTypeId)->colourType();
}

QPointF uvFromXyz(double X, double Y, double Z)
{
    const double d = X + 15.0 * Y + 3.0 * Z;
    return QPointF(4.0 * X / d, 9.0 * Y / d);
}

QPointF uvFromXy(double x, double y)
{
    const double d = -2.0 * x + 12.0 * y + 3.0;
    return QPointF(4.0 * x / d, 9.0 * y / d);
}

QPointF xyFromUv(double u, double v)
{
    const double d = 6.0 * u - 16.0 * v + 12.0;
    return QPointF(9.0 * u / d, 4.0 * v / d);
}

double lightOutputLevel(int curveType, double level)
{
    if (curveType != 1 && curveType != 2)
        return level;
    const int b = int(boundedLevel(level) * 65535.0) & 0xFFFF;
    return lightOutputTable(curveType)[b];
}

void colorToXyY(const VeyColor &color, double *Yxy)
{
    Yxy[0] = Yxy[1] = Yxy[2] = 0.0;
    double levels[VeyColor::MaxChannels] = {};
    int n = 0;
    switch (color.spec()) {
    case VeyColor::Yxy: {
        double Y, x, y;
        color.getYxy(&Y, &x, &y);
        if (qIsFinite(Y) && qIsFinite(x) && qIsFinite(y)) {
            Yxy[0] = Y;
            Yxy[1] = x;
            Yxy[2] = y;
        }
        return;
    }
    case VeyColor::Rgb:
        color.getRgbF(&levels[0], &levels[1], &levels[2]);
        n = 3;
        break;
    case VeyColor::Hsv:
        color.toRgb().getRgbF(&levels[0], &levels[1], &levels[2]);
        n = 3;
        break;
    case VeyColor::NChannel: {
        double values[9];
        color.getNChannelF(values);
        n = std::min(channelCountForColorType(int(color.colorType())), int(VeyColor::MaxChannels));
        std::copy(values + 1, values + 1 + n, levels);
        if (n == 2) {
            levels[2] = levels[1];
            levels[1] = 0.0;
            n = 3;
        }
        break;
    }
    default:
        break;
    }
    if (color.isBlack())
        return;
    const int profileId = int(color.profileId());
    const Profile *profile = ProfileDatabase::instance()->profile(
        profileId, int(color.colorType()), profileSetForFlag(color.profileSetFlag()));
    const int curveType = FixtureTypeTable::instance()->find(profileId)->curveType();
    double X = 0.0, Y = 0.0, Z = 0.0, m = 0.0;
    for (int i = 0; i < n; ++i) {
        const double l = lightOutputLevel(curveType, levels[i]);
        X += l * profile->xAt(i);
        Y += l * profile->yAt(i);
        Z += l * profile->zAt(i);
        m = std::max(m, l);
    }
    const double sum = X + Y + Z;
    // A colour that gives no light at all (every level maps to 0, or a profile of zeros) has
    // no chromaticity; it is black rather than NaN.
    if (sum == 0.0 || !qIsFinite(sum))
        return;
    Yxy[0] = m;
    Yxy[1] = X / sum;
    Yxy[2] = Y / sum;
}

WeightIndex nearestPrimaryWeight(const double *Yxy, int colorType, int profileId, int profileSet)
{
    const int n = channelCountForColorType(colorType);
    const Profile *profile = ProfileDatabase::instance()->profile(profileId, colorType, profileSet);
    const QPointF target = uvFromXy(Yxy[1], Yxy[2]);
    for (int i = 0; i < n; ++i) {
        const QPointF uv = profile->uvAt(i);
        const double du = uv.x() - target.x();
        const double dv = uv.y() - target.y();
        // Far primaries are passed over without the square root; the margin keeps every
        // primary whose rounded distance could still test below the radius.
        if (du * du + dv * dv > farFromPrimarySquared)
            continue;
        const double d = std::sqrt(du * du + dv * dv);
        if (d / primaryRadius < 1.0)
            return {1.0 - d / primaryRadius, i};
    }
    return {};
}

void pullTowardPrimary(double *Yxy, const WeightIndex &pair, double threshold, int colorType,
                       int profileId, int profileSet)
{
    if (pair.weight == 0.0 || pair.weight < primaryRadius || !(pair.weight > threshold))
        return;
    // The pair may come from a fixture with more channels than this one.
    if (pair.index < 0 || pair.index >= channelCountForColorType(colorType))
        return;
    const Profile *profile = ProfileDatabase::instance()->profile(profileId, colorType, profileSet);
    const QPointF primary = profile->uvAt(pair.index);
    const QPointF target = uvFromXy(Yxy[1], Yxy[2]);
    const double d = distance(target, primary);
    // A point on the primary has no direction to move in; within rounding of it, the formula
    // below would scale the rounding error up and throw the point anywhere.
    if (!(d > nearlyOnPrimary) || !qIsFinite(d))
        return;
    const double s = (1.0 - pair.weight) * primaryRadius / d;
    const QPointF moved = xyFromUv(target.x() * s + primary.x() * (1.0 - s),
                                   target.y() * s + primary.y() * (1.0 - s));
    if (!qIsFinite(moved.x()) || !qIsFinite(moved.y()))
        return;
    Yxy[1] = moved.x();
    Yxy[2] = moved.y();
}

void xyYToChannelLevels(const double *Yxy, double *levels, int colorType, int profileId,
                        int profileSet, bool clamp, const WeightIndex &pair)
{
    const int n = std::min(channelCountForColorType(colorType), int(maxMixChannels));
    for (int j = 0; j < n; ++j)
        levels[j] = 0.0;
    if (n < 3 || !qIsFinite(Yxy[0]))
        return;

    static LevelMemoEntry memo[levelMemoSize];
    const quint64 xBits = bitsOf(Yxy[1]);
    const quint64 yBits = bitsOf(Yxy[2]);
    const quint64 weightBits = bitsOf(pair.weight);
    const quint32 revision = Profile::revision();
    quint64 h = xBits * 0x9E3779B97F4A7C15ull ^ (yBits + 0x632BE59BD9B4E019ull) * 31u;
    h ^= weightBits + quint64(pair.index) * 131u + quint64(colorType) * 7919u +
         quint64(quint32(profileId)) * 104729u + quint64(profileSet) * 2u + (clamp ? 1u : 0u);
    h ^= h >> 29;
    LevelMemoEntry &entry = memo[(h * 0xBF58476D1CE4E5B9ull >> 56) % levelMemoSize];
    if (!(entry.valid && entry.xBits == xBits && entry.yBits == yBits &&
          entry.weightBits == weightBits && entry.weightIndex == pair.index &&
          entry.colorType == colorType && entry.profileId == profileId &&
          entry.profileSet == profileSet && entry.clamp == clamp && entry.revision == revision)) {
        double fresh[maxMixChannels] = {};
        relativeChannelLevels(Yxy[1], Yxy[2], n, colorType, profileId, profileSet, clamp, pair,
                              fresh);
        // Read the revision afterwards: building a profile on the way moves it on.
        entry = {true,      xBits,      yBits, weightBits,          pair.index, colorType,
                 profileId, profileSet, clamp, Profile::revision(), {}};
        std::copy(fresh, fresh + n, entry.levels);
    }
    for (int j = 0; j < n; ++j)
        levels[j] = Yxy[0] * entry.levels[j];
}

double nearestPointOnSegment(const QPointF &a, const QPointF &b, const QPointF &p, QPointF *out)
{
    const QPointF ab = b - a;
    const double lengthSquared = ab.x() * ab.x() + ab.y() * ab.y();
    if (lengthSquared == 0.0) {
        *out = a;
        return distance(p, a);
    }
    const QPointF ap = p - a;
    const double t = (ab.x() * ap.x() + ab.y() * ap.y()) / lengthSquared;
    if (t < 0.0)
        *out = a;
    else if (t > 1.0)
        *out = b;
    else
        *out = a + t * ab;
    return distance(p, *out);
}

quint16 levelsToU16(double level)
{
    return quint16(std::floor(boundedLevel(level) * 65535.0 + 0.5));
}

float solveGammaQuadratic(float ka, float kb, float kc, float level, float max)
{
    const float r = std::sqrt(kb * kb - (kc - level) * 4.0f * ka);
    const float first = (r - kb) / (2.0f * ka);
    const float second = (-kb - r) / (2.0f * ka);
    float v = 0.0f;
    if (first > 0.0f)
        v = first;
    else if (second > 0.0f)
        v = second;
    return std::floor(std::min(std::max(v, 0.0f), max) + 0.5f);
}

quint16 inverseCurveNormal16(quint16 t)
{
    if (t == 0)
        return 0;
    return quint16(solveGammaQuadratic(1.425e-05f, 0.065898f, -0.065865f, t, 65535.0f));
}

quint16 inverseCurveTungsten16(quint16 t)
{
    if (t <= 4)
        return t;
    if (t <= 321)
        return quint16(solveGammaQuadratic(3.359e-06f, -0.0039f, 4.339f, t, 65535.0f));
    return quint16(solveGammaQuadratic(1.9829e-05f, -0.325303f, 1573.0f, t, 65535.0f));
}

namespace {

quint8 computedByte(int curveType, quint16 t)
{
    switch (curveType) {
    case 0:
        return quint8(std::floor(t / 257.0 + 0.5));
    case 1:
        return t == 0 ? 0 : quint8(solveGammaQuadratic(0.941203f, 16.936f, -0.065865f, t, 255.0f));
    default:
        if (t <= 4)
            return quint8(t);
        if (t <= 321)
            return quint8(solveGammaQuadratic(0.221829f, -1.002f, 4.339f, t, 255.0f));
        return quint8(solveGammaQuadratic(1.31f, -83.603f, 1573.0f, t, 255.0f));
    }
}

quint16 computedWord(int curveType, quint16 t)
{
    switch (curveType) {
    case 0:
        return t;
    case 1:
        return inverseCurveNormal16(t);
    default:
        return inverseCurveTungsten16(t);
    }
}

} // namespace

void levelsToOutput(int n, int width, const double *levels, quint8 *out, int curveType, int mode)
{
    if (mode == 3) {
        if (curveType < 0 || curveType > 2 || width < 1)
            return;
        for (int i = 0; i < n; ++i) {
            const quint16 t = levelsToU16(levels[i]);
            if (width == 2)
                writeBigEndian(out, i, computedWord(curveType, t));
            else
                out[i] = computedByte(curveType, t);
        }
        return;
    }
    const Curve *curve = CurveRegistry::instance()->curve(curveType);
    if (width == 1) {
        for (int i = 0; i < n; ++i)
            curve->map8(int(std::round(boundedLevel(levels[i]) * 255.0)) & 0xFFFF, &out[i]);
    } else if (width == 2) {
        for (int i = 0; i < n; ++i) {
            quint16 w;
            curve->map16(int(boundedLevel(levels[i]) * 65535.0) & 0xFFFF, &w);
            writeBigEndian(out, i, w);
        }
    }
}

void colorToOutputBytes(const VeyColor &color, quint8 *out, int width, int dimmingCurve)
{
    Q_UNUSED(dimmingCurve)
    const int n = std::min(channelCountForColorType(int(color.colorType())), int(maxMixChannels));
    // Levels a colour does not supply (an RGB colour on a five-channel fixture) are 0.
    double levels[VeyColor::MaxChannels] = {};
    if (color.spec() == VeyColor::NChannel) {
        double values[9];
        color.getNChannelF(values);
        std::copy(values + 1, values + 9, levels);
    } else {
        color.getRgbF(&levels[0], &levels[1], &levels[2]);
    }
    levelsToOutput(n, width, levels, out, 0, int(color.spec()));
}
