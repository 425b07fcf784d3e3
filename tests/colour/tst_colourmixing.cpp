// DM_TEST_SANITIZE
#include "colour/colourmixing.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"
#include "colour/veycolor.h"

#include "colourtablesdigest.h"

#include <QtTest>

#include <cstring>
#include <limits>

namespace {

const Profile *profile(int id, int colourType, int set)
{
    return ProfileDatabase::instance()->profile(id, colourType, set);
}

// Chromaticity of a mix of a profile's channels at the given levels.
QPointF mixedChromaticity(const Profile *p, const double *levels, int n)
{
    double X = 0, Y = 0, Z = 0;
    for (int i = 0; i < n; ++i) {
        X += levels[i] * p->xAt(i);
        Y += levels[i] * p->yAt(i);
        Z += levels[i] * p->zAt(i);
    }
    return QPointF(X / (X + Y + Z), Y / (X + Y + Z));
}

QByteArray outputBytes(const VeyColor &color, int width)
{
    QByteArray out(16, char(0xAA));
    colorToOutputBytes(color, reinterpret_cast<quint8 *>(out.data()), width);
    return out;
}

QByteArray levelBytes(double level, int width, int curveType, int mode, int n = 1)
{
    QByteArray out(16, char(0xAA));
    const double levels[5] = {level, level, level, level, level};
    levelsToOutput(n, width, levels, reinterpret_cast<quint8 *>(out.data()), curveType, mode);
    return out;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out(16, char(0xAA));
    int i = 0;
    for (int v : values)
        out[i++] = char(v);
    return out;
}

// The level search written out as plainly as it is described, without the memo, the early
// rejection or the primary prefilter, to hold the fast version to the same bits.
WeightIndex referenceNearest(double x, double y, const Profile *p, int n)
{
    const QPointF t = uvFromXy(x, y);
    for (int i = 0; i < n; ++i) {
        const QPointF c = uvFromXyz(p->xAt(i), p->yAt(i), p->zAt(i));
        const double d =
            std::sqrt((c.x() - t.x()) * (c.x() - t.x()) + (c.y() - t.y()) * (c.y() - t.y()));
        if (d / 0.025 < 1.0)
            return {1.0 - d / 0.025, i};
    }
    return {};
}

void referenceLevels(const double *Yxy, double *levels, int colourType, int id, int set, bool clamp,
                     WeightIndex pair)
{
    const int n = qBound(0, channelCountForColorType(colourType), 8);
    const Profile *p = ProfileDatabase::instance()->profile(id, colourType, set);
    double x = Yxy[1], y = Yxy[2];
    if (clamp)
        p->clampToGamut(x, y, &x, &y);
    const WeightIndex own = referenceNearest(x, y, p, n);
    if (pair.weight != 0 && pair.weight >= 0.025 && pair.weight > own.weight && pair.index < n) {
        const QPointF t = uvFromXy(x, y);
        const QPointF c = uvFromXyz(p->xAt(pair.index), p->yAt(pair.index), p->zAt(pair.index));
        const double d =
            std::sqrt((c.x() - t.x()) * (c.x() - t.x()) + (c.y() - t.y()) * (c.y() - t.y()));
        if (d > 1e-12) {
            const double s = (1 - pair.weight) * 0.025 / d;
            const QPointF m = xyFromUv(t.x() * s + c.x() * (1 - s), t.y() * s + c.y() * (1 - s));
            x = m.x();
            y = m.y();
        }
    }
    const double a = y / x, b = y / (1 - x - y);
    double A[8], B[8], best = 0.0, bestLevels[8] = {};
    for (int j = 0; j < n; ++j) {
        A[j] = a * p->xAt(j) - p->yAt(j);
        B[j] = b * p->zAt(j) - p->yAt(j);
    }
    const int patterns = n >= 3 ? int(std::pow(2, n - 2) - 1) : 0;
    for (int pi = 0; pi <= n - 2; ++pi) {
        for (int q = pi + 1; q <= n - 1; ++q) {
            QList<int> others;
            for (int j = 0; j < n; ++j)
                if (j != pi && j != q)
                    others.append(j);
            const float f = float(B[pi] / A[pi]);
            const double e = B[pi] - f * A[pi];
            for (int k = 1; k <= patterns; ++k) {
                double cand[8] = {}, SA = 0, SB = 0;
                for (int t = 0; t < others.size(); ++t) {
                    const int bit = (k >> t) & 1;
                    cand[others[t]] = bit;
                    if (bit) {
                        SA -= A[others[t]];
                        SB -= B[others[t]];
                    }
                }
                const double D = B[q] - A[q] * f;
                const double SBp = SB - SA * f;
                const float g = float(A[q] / D);
                double lp = float(1 / (A[pi] - g * e)) * (SA - SBp * g);
                double lq = float(1 / D) * SBp;
                for (double *l : {&lp, &lq}) {
                    if (*l > -5e-05 && *l < 0)
                        *l = 0;
                    if (*l > 1 && *l < 1.00005)
                        *l = 1;
                }
                cand[pi] = lp;
                cand[q] = lq;
                bool reject = false;
                for (int j = 0; j < n; ++j)
                    reject = reject || cand[j] < 0 || cand[j] > 1;
                if (reject)
                    continue;
                double ySum = 0;
                for (int j = 0; j < n; ++j)
                    ySum += cand[j] * p->yAt(j);
                if (ySum > best) {
                    best = ySum;
                    std::copy(cand, cand + n, bestLevels);
                }
            }
        }
    }
    for (int j = 0; j < n; ++j)
        levels[j] = Yxy[0] * bestLevels[j];
}

} // namespace

class TestColourMixing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // This executable reaches the tables through a conversion first.
        double Yxy[3];
        colorToXyY(VeyColor::fromRgbF(1, 1, 1, 1, 12), Yxy);
        QCOMPARE(colourTablesDigest(), QByteArray(expectedColourTablesDigest));
    }

    void smallLookups()
    {
        const int counts[] = {0, 3, 5, 4, 1, 5, 4, 2, 3, 3, 2, 4, 0};
        for (int type = 0; type <= 12; ++type)
            QCOMPARE(channelCountForColorType(type), counts[type]);
        QCOMPARE(channelCountForColorType(-1), 0);
        QCOMPARE(profileSetForFlag(0), 1);
        QCOMPARE(profileSetForFlag(1), 0);
        QCOMPARE(colorTypeOfFixture(1), 2);
        QCOMPARE(referenceTriangleXy.size(), 3);
        QCOMPARE(referenceTriangleXy.at(1), QPointF(0.260791461, 0.572128096));
    }

    void uvFormulasInvert()
    {
        const QPointF uv = uvFromXy(0.3127, 0.329);
        const QPointF xy = xyFromUv(uv.x(), uv.y());
        QVERIFY(qAbs(xy.x() - 0.3127) < 1e-12 && qAbs(xy.y() - 0.329) < 1e-12);
        const QPointF fromXyz = uvFromXyz(0.3127 / 0.329, 1.0, (1 - 0.3127 - 0.329) / 0.329);
        QVERIFY(qAbs(fromXyz.x() - uv.x()) < 1e-12 && qAbs(fromXyz.y() - uv.y()) < 1e-12);
    }

    void colorToXyYOfRgb()
    {
        double Yxy[3] = {9, 9, 9};
        colorToXyY(VeyColor::fromRgbF(0, 0, 0), Yxy);
        QCOMPARE(Yxy[0], 0.0);
        QCOMPARE(Yxy[1], 0.0);
        QCOMPARE(Yxy[2], 0.0);
        colorToXyY(VeyColor::fromRgbF(1, 1, 1), Yxy);
        QCOMPARE(Yxy[0], 1.0);
        // The profile flag is false: set 1 of id 0, the sRGB primaries summing to D65.
        const Profile *p = profile(0, 1, 1);
        const double X = p->xAt(0) + p->xAt(1) + p->xAt(2);
        const double Y = p->yAt(0) + p->yAt(1) + p->yAt(2);
        const double Z = p->zAt(0) + p->zAt(1) + p->zAt(2);
        QCOMPARE(Yxy[1], X / (X + Y + Z));
        QCOMPARE(Yxy[2], Y / (X + Y + Z));
        QVERIFY(qAbs(Yxy[1] - 0.3127) < 1e-3 && qAbs(Yxy[2] - 0.329) < 1e-3);
    }

    void colorToXyYUsesTheFixtureCurve()
    {
        // Fixture 7 has the normal curve: half drive gives well under half the light.
        double Yxy[3];
        colorToXyY(VeyColor::fromRgbF(0.5, 0, 0, 1, 7), Yxy);
        QVERIFY(Yxy[0] > 0.2 && Yxy[0] < 0.3);
        QCOMPARE(lightOutputLevel(1, 1.0), 1.0);
        QCOMPARE(lightOutputLevel(1, 0.0), 0.0);
        QCOMPARE(lightOutputLevel(0, 0.37), 0.37);
        QCOMPARE(lightOutputLevel(2, 1.0) > 0.99, true);
    }

    void twoChannelColoursUseChannelsZeroAndTwo()
    {
        VeyColor warmCool;
        warmCool.setNChannelF(QList<double>{1.0, 1.0, 1.0}, 7, 27, true);
        double Yxy[3];
        colorToXyY(warmCool, Yxy);
        const Profile *p = profile(27, 7, 0);
        const double X = p->xAt(0) + p->xAt(2), Y = p->yAt(0) + p->yAt(2);
        const double Z = p->zAt(0) + p->zAt(2);
        QCOMPARE(Yxy[0], 1.0);
        QCOMPARE(Yxy[1], X / (X + Y + Z));
        QCOMPARE(Yxy[2], Y / (X + Y + Z));
    }

    void colorToXyYGivesBlackInsteadOfNaN()
    {
        double Yxy[3] = {9, 9, 9};
        // A level so small that the normal curve maps it to no light, on fixture 7.
        colorToXyY(VeyColor::fromRgbF(1e-6, 0, 0, 1, 7), Yxy);
        QCOMPARE(Yxy[0], 0.0);
        QCOMPARE(Yxy[1], 0.0);
        QCOMPARE(Yxy[2], 0.0);
        VeyColor yxy;
        yxy.setYxy(std::numeric_limits<double>::quiet_NaN(), 0.3, 0.3);
        Yxy[0] = 9;
        colorToXyY(yxy, Yxy);
        QCOMPARE(Yxy[0], 0.0);
        colorToXyY(VeyColor(), Yxy);
        QCOMPARE(Yxy[1], 0.0);
    }

    void nearestPrimary()
    {
        const Profile *p = profile(5, 6, 0);
        const double sum = p->xAt(3) + p->yAt(3) + p->zAt(3);
        const double onAmber[3] = {1, p->xAt(3) / sum, p->yAt(3) / sum};
        WeightIndex w = nearestPrimaryWeight(onAmber, 6, 5, 0);
        QCOMPARE(w.index, 3);
        QVERIFY(qAbs(w.weight - 1.0) < 1e-9);
        const double white[3] = {1, 0.3127, 0.329};
        w = nearestPrimaryWeight(white, 6, 5, 0);
        QCOMPARE(w.weight, 0.0);
        QCOMPARE(w.index, 0);
    }

    void pullMovesToTheWeightedDistance()
    {
        const Profile *p = profile(5, 6, 0);
        const QPointF green = p->uvAt(1);
        const QPointF start = xyFromUv(green.x() + 0.004, green.y() - 0.003); // 0.005 away
        double Yxy[3] = {0.5, start.x(), start.y()};
        pullTowardPrimary(Yxy, {0.6, 1}, 0.0, 6, 5, 0);
        const QPointF uv = uvFromXy(Yxy[1], Yxy[2]);
        const double d = std::hypot(uv.x() - green.x(), uv.y() - green.y());
        QVERIFY(qAbs(d - 0.4 * 0.025) < 1e-9);
        QCOMPARE(Yxy[0], 0.5);

        double still[3] = {0.5, start.x(), start.y()};
        pullTowardPrimary(still, {0.02, 1}, 0.0, 6, 5, 0); // below the smallest weight
        pullTowardPrimary(still, {0.6, 1}, 0.7, 6, 5, 0);  // target already nearer its own
        pullTowardPrimary(still, {0.6, 4}, 0.0, 6, 5, 0);  // no channel 4 on a 4-channel type
        QCOMPARE(still[1], start.x());
        QCOMPARE(still[2], start.y());
        // On the primary, within rounding: stays put rather than being thrown off by the
        // rounding error that the scale factor would blow up.
        const QPointF onGreen = xyFromUv(green.x(), green.y());
        double on[3] = {1, onGreen.x(), onGreen.y()};
        pullTowardPrimary(on, {0.9, 1}, 0.0, 6, 5, 0);
        QCOMPARE(on[1], onGreen.x());
        QCOMPARE(on[2], onGreen.y());
    }

    void threeChannelLevels()
    {
        double levels[5] = {};
        const double target[3] = {0.8, 0.3127, 0.329};
        xyYToChannelLevels(target, levels, 1, 0, 0, true, {});
        const double top = std::max({levels[0], levels[1], levels[2]});
        QVERIFY(qAbs(top - 0.8) < 1e-12);
        for (int i = 0; i < 3; ++i)
            QVERIFY(levels[i] >= 0 && levels[i] <= 0.8);
        const QPointF xy = mixedChromaticity(profile(0, 1, 0), levels, 3);
        QVERIFY(qAbs(xy.x() - 0.3127) < 1e-4 && qAbs(xy.y() - 0.329) < 1e-4);
    }

    void wideFixturesReachTheTarget_data()
    {
        QTest::addColumn<int>("colourType");
        QTest::addColumn<int>("profileId");
        QTest::newRow("RGBA") << 6 << 5;
        QTest::newRow("RGBW") << 3 << 6;
        QTest::newRow("RGBAW") << 2 << 1;
        QTest::newRow("RGB mint W") << 5 << 2;
    }

    void wideFixturesReachTheTarget()
    {
        QFETCH(int, colourType);
        QFETCH(int, profileId);
        const int n = channelCountForColorType(colourType);
        for (const QPointF &target :
             {QPointF(0.3127, 0.329), QPointF(0.45, 0.41), QPointF(0.25, 0.3)}) {
            double levels[5] = {};
            const double Yxy[3] = {1.0, target.x(), target.y()};
            xyYToChannelLevels(Yxy, levels, colourType, profileId, 0, true, {});
            double top = 0;
            for (int i = 0; i < n; ++i) {
                QVERIFY(levels[i] >= 0 && levels[i] <= 1.0);
                top = std::max(top, levels[i]);
            }
            QVERIFY(top > 0.99);
            const QPointF xy = mixedChromaticity(profile(profileId, colourType, 0), levels, n);
            QVERIFY2(qAbs(xy.x() - target.x()) < 1e-3 && qAbs(xy.y() - target.y()) < 1e-3,
                     qPrintable(QStringLiteral("%1 %2").arg(xy.x()).arg(xy.y())));
        }
    }

    void narrowAndDegenerateTargetsGiveZero()
    {
        double levels[5] = {7, 7, 7, 7, 7};
        const double target[3] = {1.0, 0.4, 0.4};
        xyYToChannelLevels(target, levels, 7, 27, 0, true, {});
        QCOMPARE(levels[0], 0.0);
        QCOMPARE(levels[1], 0.0);
        xyYToChannelLevels(target, levels, 4, 4, 0, true, {});
        QCOMPARE(levels[0], 0.0);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        for (const auto &bad :
             {std::array<double, 3>{nan, 0.3, 0.3}, std::array<double, 3>{inf, 0.3, 0.3},
              std::array<double, 3>{1.0, nan, 0.3}, std::array<double, 3>{1.0, 0.0, 0.3},
              std::array<double, 3>{1.0, 0.5, 0.5}}) {
            std::fill(levels, levels + 5, 7.0);
            xyYToChannelLevels(bad.data(), levels, 2, 1, 0, false, {});
            for (double level : levels)
                QCOMPARE(level, 0.0);
            xyYToChannelLevels(bad.data(), levels, 2, 1, 0, true, {0.9, 2});
            for (double level : levels)
                QVERIFY(qIsFinite(level));
        }
    }

    void memoisedLevelsAreExact()
    {
        // The same chromaticity, asked again after many others have passed through the memo,
        // gives bit-identical levels, and scales linearly with Y.
        double first[5], again[5], half[5];
        const double target[3] = {1.0, 0.41, 0.39};
        xyYToChannelLevels(target, first, 2, 1, 1, true, {0.3, 3});
        for (int i = 0; i < 2000; ++i) {
            double scratch[5];
            const double other[3] = {1.0, 0.2 + i * 1e-4, 0.3 + i * 5e-5};
            xyYToChannelLevels(other, scratch, 2, 1, 1, true, {0.3, 3});
        }
        xyYToChannelLevels(target, again, 2, 1, 1, true, {0.3, 3});
        QCOMPARE(std::memcmp(first, again, sizeof first), 0);
        const double dim[3] = {0.5, 0.41, 0.39};
        xyYToChannelLevels(dim, half, 2, 1, 1, true, {0.3, 3});
        for (int i = 0; i < 5; ++i)
            QCOMPARE(half[i], 0.5 * first[i]);
    }

    void fastSearchMatchesThePlainOne()
    {
        QRandomGenerator rng(4242);
        const int fixtures[][2] = {{1, 0},  {6, 5},  {3, 6},  {2, 1},  {5, 2},  {6, 8},
                                   {3, 13}, {2, 24}, {3, 33}, {8, 26}, {11, 40}};
        int lit = 0;
        for (int i = 0; i < 20000; ++i) {
            const auto &fixture = fixtures[i % std::size(fixtures)];
            const double Yxy[3] = {rng.generateDouble(), 0.05 + 0.7 * rng.generateDouble(),
                                   0.02 + 0.8 * rng.generateDouble()};
            const WeightIndex pair{rng.bounded(3) ? 0.0 : rng.generateDouble(),
                                   int(rng.bounded(5))};
            const int set = int(rng.bounded(2));
            const bool clamp = rng.bounded(4) != 0;
            double fast[5] = {}, plain[5] = {};
            xyYToChannelLevels(Yxy, fast, fixture[0], fixture[1], set, clamp, pair);
            referenceLevels(Yxy, plain, fixture[0], fixture[1], set, clamp, pair);
            QVERIFY2(std::memcmp(fast, plain, sizeof fast) == 0, qPrintable(QString::number(i)));
            double again[5] = {};
            xyYToChannelLevels(Yxy, again, fixture[0], fixture[1], set, clamp, pair);
            QVERIFY(std::memcmp(fast, again, sizeof fast) == 0);
            lit += fast[0] > 0 || fast[1] > 0 || fast[2] > 0;
            const WeightIndex w = nearestPrimaryWeight(Yxy, fixture[0], fixture[1], set);
            const WeightIndex r = referenceNearest(
                Yxy[1], Yxy[2], ProfileDatabase::instance()->profile(fixture[1], fixture[0], set),
                channelCountForColorType(fixture[0]));
            QCOMPARE(w.index, r.index);
            QCOMPARE(std::memcmp(&w.weight, &r.weight, sizeof(double)), 0);
        }
        QVERIFY(lit > 10000);
    }

    void segments()
    {
        QPointF out;
        QCOMPARE(nearestPointOnSegment({0, 0}, {0, 0}, {3, 4}, &out), 5.0);
        QCOMPARE(out, QPointF(0, 0));
        QCOMPARE(nearestPointOnSegment({0, 0}, {2, 0}, {1, 1}, &out), 1.0);
        QCOMPARE(out, QPointF(1, 0));
        QCOMPARE(nearestPointOnSegment({0, 0}, {2, 0}, {-3, 4}, &out), 5.0);
        QCOMPARE(out, QPointF(0, 0));
        QCOMPARE(nearestPointOnSegment({0, 0}, {2, 0}, {5, 4}, &out), 5.0);
        QCOMPARE(out, QPointF(2, 0));
    }

    void quadratic()
    {
        QCOMPARE(solveGammaQuadratic(0.941203f, 16.936f, -0.065865f, 65535, 255), 255.0f);
        QCOMPARE(solveGammaQuadratic(0.941203f, 16.936f, -0.065865f, 0, 255), 0.0f);
        QCOMPARE(solveGammaQuadratic(1.0f, 0.0f, 10.0f, 1.0f, 255), 0.0f); // no real root
        QCOMPARE(inverseCurveNormal16(0), quint16(0));
        QCOMPARE(inverseCurveNormal16(65535), quint16(65535));
        QCOMPARE(inverseCurveTungsten16(4), quint16(4));
        QCOMPARE(levelsToU16(0.5), quint16(32768));
        QCOMPARE(levelsToU16(2.0), quint16(65535));
        QCOMPARE(levelsToU16(-1.0), quint16(0));
    }

    void lookupOutput()
    {
        QCOMPARE(levelBytes(1.0, 1, 0, 1), bytes({255}));
        QCOMPARE(levelBytes(1.0, 2, 0, 1), bytes({0xFF, 0xFF}));
        QCOMPARE(levelBytes(0.5, 1, 0, 4), bytes({128}));
        QCOMPARE(levelBytes(0.5, 2, 0, 4), bytes({0x7F, 0xFF}));
        QCOMPARE(levelBytes(1.0, 2, 1, 1), bytes({0xFF, 0xF0}));
        QCOMPARE(levelBytes(32768 / 65535.0, 2, 1, 1), bytes({17588 >> 8, 17588 & 0xFF}));
        QCOMPARE(levelBytes(32768 / 65535.0, 2, 2, 1), bytes({12331 >> 8, 12331 & 0xFF}));
        QCOMPARE(levelBytes(6 / 255.0, 1, 1, 1), bytes({1}));
        QCOMPARE(levelBytes(0.5, 3, 0, 1), bytes({}));
        QCOMPARE(levelBytes(1.0, 1, 0, 1, 3), bytes({255, 255, 255}));
    }

    void computedOutput()
    {
        QCOMPARE(levelBytes(0.5, 1, 0, 3), bytes({128}));
        QCOMPARE(levelBytes(0.5, 2, 0, 3), bytes({0x80, 0x00}));
        QCOMPARE(levelBytes(1.0, 1, 1, 3), bytes({255}));
        QCOMPARE(levelBytes(0.0, 1, 1, 3), bytes({0}));
        QCOMPARE(levelBytes(1.0, 2, 1, 3), bytes({0xFF, 0xFF}));
        QCOMPARE(levelBytes(4 / 65535.0, 1, 2, 3), bytes({4}));
        QCOMPARE(levelBytes(4 / 65535.0, 2, 2, 3), bytes({0, 4}));
        const quint16 low = inverseCurveTungsten16(300);
        QCOMPARE(levelBytes(300 / 65535.0, 2, 2, 3), bytes({low >> 8, low & 0xFF}));
        QCOMPARE(levelBytes(1.0, 1, 2, 3),
                 bytes({int(solveGammaQuadratic(1.31f, -83.603f, 1573, 65535, 255))}));
        QCOMPARE(levelBytes(0.5, 1, 5, 3), bytes({}));
    }

    void outOfRangeLevelsAreHeld()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (int mode : {1, 3}) {
            for (int curve : {0, 1, 2}) {
                QCOMPARE(levelBytes(nan, 1, curve, mode), levelBytes(0.0, 1, curve, mode));
                QCOMPARE(levelBytes(-0.5, 2, curve, mode), levelBytes(0.0, 2, curve, mode));
                QCOMPARE(levelBytes(1.5, 1, curve, mode), levelBytes(1.0, 1, curve, mode));
                QCOMPARE(levelBytes(7.0, 2, curve, mode), levelBytes(1.0, 2, curve, mode));
            }
        }
    }

    void colourOutputBytes()
    {
        VeyColor rgb;
        rgb.setRgb8(255, 128, 0);
        QCOMPARE(outputBytes(rgb, 1), bytes({255, 128, 0}));
        QCOMPARE(outputBytes(rgb, 2), bytes({0xFF, 0xFF, 0x80, 0x80, 0, 0}));
        // An RGB colour on a five-channel fixture supplies no fourth or fifth level.
        rgb.setColorType(2);
        QCOMPARE(outputBytes(rgb, 1), bytes({255, 128, 0, 0, 0}));

        VeyColor n;
        n.setNChannelF(QList<double>{1.0, 0.25, 0.5, 1.0}, 3, 6, true);
        QCOMPARE(outputBytes(n, 1), bytes({64, 128, 255, 0}));
        QCOMPARE(outputBytes(n, 2), bytes({0x3F, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0}));

        VeyColor none;
        none.setRgb8(1, 2, 3);
        none.setColorType(12);
        QCOMPARE(outputBytes(none, 1), bytes({}));
    }

    void yxyColoursTakeTheComputedPath()
    {
        VeyColor yxy;
        yxy.setYxy(1.0, 0.64, 0.33); // the sRGB red primary
        yxy.setColorType(2);
        const QByteArray out = outputBytes(yxy, 1);
        QVERIFY(quint8(out[0]) >= 254);
        QCOMPARE(out.mid(1), bytes({0, 0, 0, 0}).mid(0, 15));
        VeyColor bad;
        bad.setYxy(std::numeric_limits<double>::quiet_NaN(), 0.3, 0.3);
        QCOMPARE(outputBytes(bad, 2), bytes({0, 0, 0, 0, 0, 0}));
        bad.setYxy(std::numeric_limits<double>::infinity(), 0.3, 0.3);
        QCOMPARE(outputBytes(bad, 1), bytes({0, 0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestColourMixing)
#include "tst_colourmixing.moc"
