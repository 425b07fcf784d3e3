// Conversions between specs with the fixture profiles, the special fixture conversions
// (grey, two- and three-channel, four whites) and blending.
// DM_TEST_SANITIZE

#include "colour/colourmixing.h"
#include "colour/colourtemperature.h"
#include "colour/veycolor.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

namespace {

QPointF xyOfUv(const QPointF &uv)
{
    const double d = 6.0 * uv.x() - 16.0 * uv.y() + 12.0;
    return QPointF(9.0 * uv.x() / d, 4.0 * uv.y() / d);
}

// A Yxy colour on the locus at fraction f of an isotherm row, Y as given.
VeyColor onLocus(int row, double f, double Y)
{
    const IsothermRow &r = isothermTable[row];
    const QPointF xy = xyOfUv(r.a + (r.b - r.a) * f);
    VeyColor c;
    c.setYxy(Y, xy.x(), xy.y(), 65535, 40);
    return c;
}

double level(const VeyColor &c, int i)
{
    return c.channelWord(i) / 4294967295.0;
}

bool close(double a, double b, double tolerance = 1e-6)
{
    return std::fabs(a - b) <= tolerance;
}

// Every double a colour holds is finite, whatever its spec.
bool allFinite(const VeyColor &c)
{
    double Y = 0, x = 0, y = 0;
    if (c.spec() == VeyColor::Yxy)
        c.getYxy(&Y, &x, &y);
    return std::isfinite(Y) && std::isfinite(x) && std::isfinite(y);
}

} // namespace

class TestColourConversion : public QObject
{
    Q_OBJECT

private slots:
    void rgbToYxyToRgbRoundTrip();
    void whiteIsD65();
    void toYxyLabels();
    void toRgbFromNChannelKeepsProfileAndAlpha();
    void toNChannelForms();
    void rgbToNChannelKeepsChromaticity_data();
    void rgbToNChannelKeepsChromaticity();
    void convertToSpecialTypes();
    void fourWhites_data();
    void fourWhites();
    void fourWhitesStrongNegativeTint();
    void mixOpaqueAndTransparent();
    void mixModes();
    void mixNChannel();
    void mixYxy();
    void mixFaultyFactors();
    void degenerateInputsGiveNoNaN();
};

void TestColourConversion::rgbToYxyToRgbRoundTrip()
{
    int worst = 0;
    for (uint r = 0; r < 256; r += 15) {
        for (uint g = 0; g < 256; g += 15) {
            for (uint b = 0; b < 256; b += 15) {
                VeyColor c;
                c.setRgb8(r, g, b, 255, 0);
                const VeyColor yxy = c.toYxy();
                QCOMPARE(yxy.spec(), VeyColor::Yxy);
                const VeyColor back = yxy.toRgb();
                QCOMPARE(back.spec(), VeyColor::Rgb);
                // The level search rounds two factors to single precision: a few 16-bit steps.
                worst = std::max({worst, std::abs(int(back.red16()) - int(c.red16())),
                                  std::abs(int(back.green16()) - int(c.green16())),
                                  std::abs(int(back.blue16()) - int(c.blue16()))});
                QCOMPARE(back.red8(), c.red8());
                QCOMPARE(back.green8(), c.green8());
                QCOMPARE(back.blue8(), c.blue8());
            }
        }
    }
    QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
}

void TestColourConversion::whiteIsD65()
{
    const VeyColor white(Qt::white);
    QVERIFY(close(white.Y(), 1.0));
    QVERIFY(close(white.x(), 0.3127, 2e-4));
    QVERIFY(close(white.y(), 0.3290, 2e-4));
    // Y is the largest light level, not the luminance.
    QVERIFY(close(VeyColor(Qt::red).Y(), 1.0));
    VeyColor half;
    half.setRgbF(0.5, 0.25, 0.0);
    QVERIFY(close(half.Y(), 0.5, 1e-9));
    QCOMPARE(VeyColor(Qt::black).toYxy().Y(), 0.0);
}

void TestColourConversion::toYxyLabels()
{
    VeyColor c;
    c.setRgb8(10, 20, 30, 77, 0);
    c.setProfileSetFlag(true);
    c.setColorType(1);
    const VeyColor own = c.toYxy();
    QCOMPARE(own.colorType(), 1u);
    QCOMPARE(own.profileId(), 0u);
    QCOMPARE(own.alpha(), c.alpha());
    QVERIFY(!own.profileSetFlag());

    const VeyColor labelled = c.toYxy(5, 23);
    QCOMPARE(labelled.colorType(), 5u);
    QCOMPARE(labelled.profileId(), 23u);
    // The labels do not change the chromaticity: it comes from the colour's own profile.
    QCOMPARE(labelled.x(), own.x());

    QCOMPARE(VeyColor().toYxy().spec(), VeyColor::Invalid);
}

void TestColourConversion::toRgbFromNChannelKeepsProfileAndAlpha()
{
    VeyColor n;
    n.setNChannelF({0.5, 0.2, 0.4, 0.6, 0.1}, 6, 23, false);
    const VeyColor rgb = n.toRgb();
    QCOMPARE(rgb.spec(), VeyColor::Rgb);
    QCOMPARE(rgb.colorType(), 1u);
    QCOMPARE(rgb.profileId(), 23u);
    QCOMPARE(rgb.alpha(), n.alpha());
    QVERIFY(!rgb.profileSetFlag());
    QCOMPARE(n.red8(), rgb.red8());
}

void TestColourConversion::toNChannelForms()
{
    VeyColor yxy;
    yxy.setYxy(0.5, 0.4, 0.4, 65535, 0);
    yxy.setProfileSetFlag(true);
    const VeyColor fromYxy = yxy.toNChannel(6, 23, 1);
    QCOMPARE(fromYxy.spec(), VeyColor::NChannel);
    QCOMPARE(fromYxy.yxySourceMark(), 1u);
    QCOMPARE(fromYxy.channelCount(), 4u);
    QVERIFY(fromYxy.profileSetFlag()); // the source's flag

    VeyColor rgb;
    rgb.setRgb8(200, 100, 50, 100, 0);
    const VeyColor fromRgb = rgb.toNChannel(6, 23, 0);
    QCOMPARE(fromRgb.yxySourceMark(), 0u);
    QVERIFY(fromRgb.profileSetFlag()); // set 0 is picked by a set flag
    QCOMPARE(fromRgb.alpha(), rgb.alpha());
    QCOMPARE(fromRgb.colorType(), 6u);
    QCOMPARE(fromRgb.profileId(), 23u);
    QVERIFY(!rgb.toNChannel(6, 23, 1).profileSetFlag());

    // Already in that form: a copy.
    VeyColor same = fromRgb;
    same.setYxySourceMark(1);
    QCOMPARE(same.toNChannel(6, 23, 0), same);

    VeyColor invalid;
    invalid.setProfileId(7);
    const VeyColor fromInvalid = invalid.toNChannel(6, VeyColor::OwnProfileId, 1);
    QCOMPARE(fromInvalid.spec(), VeyColor::NChannel);
    QCOMPARE(fromInvalid.channelCount(), 0u);
    QCOMPARE(fromInvalid.colorType(), 6u);
    QCOMPARE(fromInvalid.profileId(), 7u);

    // A colour type without channels gives a count of 0.
    QCOMPARE(rgb.toNChannel(12, 0, 1).channelCount(), 0u);
}

void TestColourConversion::rgbToNChannelKeepsChromaticity_data()
{
    QTest::addColumn<int>("colorType");
    QTest::addColumn<int>("profileId");
    QTest::newRow("three channels, profile 0") << 1 << 0;
    QTest::newRow("four channels RGBA") << 6 << 23;
    QTest::newRow("four channels RGBW") << 3 << 3;
    QTest::newRow("five channels") << 2 << 24;
}

void TestColourConversion::rgbToNChannelKeepsChromaticity()
{
    QFETCH(int, colorType);
    QFETCH(int, profileId);
    const uint samples[][3] = {{200, 150, 100}, {120, 120, 120}, {90, 160, 200}, {255, 200, 40}};
    for (const auto &s : samples) {
        VeyColor c;
        c.setRgb8(s[0], s[1], s[2], 255, 0);
        const VeyColor n = c.toNChannel(quint32(colorType), quint32(profileId), 1);
        QCOMPARE(n.channelCount(), quint32(channelCountForColorType(colorType)));
        double want[3], got[3];
        colorToXyY(c, want);
        colorToXyY(n, got);
        QVERIFY2(close(got[1], want[1], 2e-3) && close(got[2], want[2], 2e-3),
                 qPrintable(c.toString() + QLatin1Char(' ') + n.toString()));
        for (quint32 i = 0; i < n.channelCount(); ++i)
            QVERIFY(level(n, int(i)) <= 1.0);
    }
    if (colorType == 1) {
        // On the sRGB profile the levels are the RGB levels themselves.
        VeyColor c;
        c.setRgb8(200, 150, 100, 255, 0);
        const VeyColor n = c.toNChannel(1, 0, 1);
        QVERIFY(close(level(n, 0), 200 / 255.0, 1e-4));
        QVERIFY(close(level(n, 1), 150 / 255.0, 1e-4));
        QVERIFY(close(level(n, 2), 100 / 255.0, 1e-4));
    }
}

void TestColourConversion::convertToSpecialTypes()
{
    const VeyColor red(Qt::red);
    // Same spec, not N-channel: a copy whatever the colour type.
    QCOMPARE(red.convertTo(VeyColor::Rgb, 8, 0, 1), red);

    const VeyColor hsv = VeyColor(Qt::red).toHsv();
    const VeyColor three = hsv.convertTo(VeyColor::Rgb, 8, 26, 1);
    QCOMPARE(three.spec(), VeyColor::NChannel);
    QCOMPARE(three.nChannelValues(), QList<uint>({255, 255, 0, 0}));
    QVERIFY(three.profileSetFlag());
    QCOMPARE(three.profileId(), 26u);

    for (quint32 type : {9u, 10u}) {
        const VeyColor grey = red.convertTo(VeyColor::NChannel, type, 4, 1);
        QCOMPARE(grey.channelCount(), 3u);
        for (int i = 0; i < 3; ++i)
            QVERIFY(close(level(grey, i), 87 / 255.0, 1e-9));
        QCOMPARE(grey.colorType(), type);
    }

    const VeyColor two = VeyColor(Qt::green).convertTo(VeyColor::Yxy, 7, 27, 0);
    QCOMPARE(two.spec(), VeyColor::NChannel);
    QCOMPARE(two.channelCount(), 3u);
    QVERIFY(close(level(two, 0), 127 / 255.0, 1e-9));
    QVERIFY(close(level(two, 1), 127 / 255.0, 1e-9));
    QCOMPARE(level(two, 2), 0.0);

    QCOMPARE(red.convertTo(VeyColor::Spec(7), 1, 0, 1).spec(), VeyColor::Invalid);
    QCOMPARE(red.convertTo(VeyColor::Hsv, 1, 0, 1).hue(), 0);
    QCOMPARE(red.convertTo(VeyColor::Yxy, 1, 0, 1).spec(), VeyColor::Yxy);
}

void TestColourConversion::fourWhites_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("fraction");
    QTest::addColumn<int>("expectedCct");
    QTest::addColumn<QList<double>>("levels"); // as multiples of Y

    QTest::newRow("2500 K") << 6 << 0.0 << 2500 << QList<double>{1.0, 0.75, 0, 0};
    QTest::newRow("2600 K") << 6 << 0.5 << 2600 << QList<double>{1.0, 1.0, 0, 0};
    QTest::newRow("2800 K") << 7 << 2.0 / 3.0 << 2800 << QList<double>{0.5, 1.0, 0, 0};
    QTest::newRow("2200 K") << 3 << 0.0 << 2200 << QList<double>{1.0, 0, 0, 0};
    QTest::newRow("2000 K") << 1 << 0.0 << 2000 << QList<double>{1.0, 0, 0, 0};
    QTest::newRow("7000 K") << 19 << 1.0 / 3.0 << 7000 << QList<double>{0, 0, 0, 1.0};
    QTest::newRow("5000 K") << 15 << 0.0 << 5000 << QList<double>{0, 0, 1.0, 0.8};
}

void TestColourConversion::fourWhites()
{
    QFETCH(int, row);
    QFETCH(double, fraction);
    QFETCH(int, expectedCct);
    QFETCH(QList<double>, levels);

    const double Y = 0.8;
    const VeyColor c = onLocus(row, fraction, Y);
    int cct = 0, tint = 0;
    QVERIFY(xyToCctTint(c.x(), c.y(), &cct, &tint));
    QCOMPARE(cct, expectedCct);

    const VeyColor w = c.convertTo(VeyColor::NChannel, 11, 40, 1);
    QCOMPARE(w.spec(), VeyColor::NChannel);
    QCOMPARE(w.colorType(), 11u);
    QCOMPARE(w.profileId(), 40u);
    QCOMPARE(w.channelCount(), 4u);
    QVERIFY(w.profileSetFlag());
    for (int i = 0; i < 4; ++i)
        QVERIFY2(close(level(w, i), levels.at(i) * Y, 1e-6),
                 qPrintable(QStringLiteral("channel %1: %2").arg(i).arg(level(w, i))));
}

void TestColourConversion::fourWhitesStrongNegativeTint()
{
    // 11500 K, moved from the locus toward the pivot by more than a full tint.
    const IsothermRow &r = isothermTable[21];
    const QPointF onLine = r.a + (r.b - r.a) * 0.6;
    const QPointF towardPivot = onLine + (r.p - onLine) * 0.3;
    const QPointF xy = xyOfUv(towardPivot);
    int cct = 0, tint = 0;
    QVERIFY(xyToCctTint(xy.x(), xy.y(), &cct, &tint));
    QCOMPARE(cct, 11500);
    QVERIFY(tint < minTint());

    VeyColor c;
    c.setYxy(0.5, xy.x(), xy.y(), 65535, 40);
    const VeyColor w = c.convertTo(VeyColor::NChannel, 11, 40, 1);
    QVERIFY(close(level(w, 0), 0.5));
    QCOMPARE(level(w, 3), 0.0);

    // Without the tint the coolest white takes it all.
    const VeyColor plain = onLocus(21, 0.6, 0.5).convertTo(VeyColor::NChannel, 11, 40, 1);
    QCOMPARE(level(plain, 0), 0.0);
    QVERIFY(close(level(plain, 3), 0.5));

    // A chromaticity outside the supported range keeps temperature 0: the warmest white.
    VeyColor outside;
    outside.setYxy(0.5, 0.85, 0.1, 65535, 40);
    const VeyColor warm = outside.convertTo(VeyColor::NChannel, 11, 40, 1);
    QVERIFY(close(level(warm, 0), 0.5));
}

void TestColourConversion::mixOpaqueAndTransparent()
{
    VeyColor under;
    under.setRgb8(0, 0, 255, 128, 0);
    const VeyColor top(Qt::red);
    const VeyColor m = VeyColor::mix(top, under, 24, 1.0);
    QCOMPARE(m.spec(), VeyColor::Rgb);
    QCOMPARE(m.red8(), 255u);
    QCOMPARE(m.blue8(), 0u);
    QCOMPARE(m.alphaF(), 1.0);

    VeyColor clear;
    clear.setRgb8(255, 0, 0, 0, 0);
    const VeyColor kept = VeyColor::mix(clear, under, 24, 1.0);
    QCOMPARE(kept.blue8(), 255u);
    QCOMPARE(kept.red8(), 0u);
    QCOMPARE(kept.alpha(), under.alpha());

    // The light's running mean of equal priorities.
    VeyColor black(Qt::black);
    const VeyColor halfway = black.blended(VeyColor(Qt::white), 0.5);
    QCOMPARE(halfway, VeyColor::mix(VeyColor(Qt::white), black, 24, 0.5));
    QVERIFY(close(halfway.redF(), 0.5, 1e-9));

    QCOMPARE(VeyColor::mix(top, VeyColor(), 24, 1.0).spec(), VeyColor::Invalid);

    // Hsv underneath gives an Rgb result.
    const VeyColor overHsv = VeyColor::mix(top, VeyColor(Qt::blue).toHsv(), 24, 0.5);
    QCOMPARE(overHsv.spec(), VeyColor::Rgb);
    QVERIFY(close(overHsv.redF(), 0.5, 1e-9));
    QVERIFY(close(overHsv.blueF(), 0.5, 1e-9));
}

void TestColourConversion::mixModes()
{
    VeyColor under(Qt::black);
    under.setProfileId(3);
    under.setProfileSetFlag(true);
    VeyColor top;
    top.setRgb8(255, 0, 0, 255, 3);
    const VeyColor normal = VeyColor::mix(top, under, 24, 1.0);
    QCOMPARE(normal.profileId(), 3u);
    QVERIFY(normal.profileSetFlag());

    const VeyColor swapped = VeyColor::mix(top, under, 20, 1.0);
    QCOMPARE(swapped.red8(), 0u);
    QCOMPARE(swapped.green8(), 255u);
    QCOMPARE(swapped.profileId(), 0u);
    QVERIFY(!swapped.profileSetFlag());
}

void TestColourConversion::mixNChannel()
{
    VeyColor under;
    under.setNChannelF({1.0, 0.2, 0.4, 0.6, 0.8}, 6, 23, true);
    VeyColor top;
    top.setNChannelF({1.0, 1.0, 0.0, 0.0, 0.0}, 6, 23, true);
    const VeyColor half = VeyColor::mix(top, under, 24, 0.5);
    QCOMPARE(half.spec(), VeyColor::NChannel);
    QCOMPARE(half.channelCount(), 4u);
    QVERIFY(close(level(half, 0), 0.6, 1e-9));
    QVERIFY(close(level(half, 3), 0.4, 1e-9));
    QVERIFY(half.profileSetFlag());

    // Same profile, fewer levels on top: the result has the top's length and the missing
    // levels count as 0.
    VeyColor shortTop;
    shortTop.setNChannelF({1.0, 1.0}, 6, 23, true);
    const VeyColor shorter = VeyColor::mix(shortTop, under, 24, 0.5);
    QCOMPARE(shorter.channelCount(), 1u);
    QVERIFY(close(level(shorter, 0), 0.6, 1e-9));

    // More levels on top than underneath: the extra levels blend against 0.
    VeyColor longTop;
    longTop.setNChannelF({1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0}, 6, 23, true);
    const VeyColor longer = VeyColor::mix(longTop, under, 24, 0.5);
    QCOMPARE(longer.channelCount(), 6u);
    QVERIFY(close(level(longer, 5), 0.5, 1e-9));

    // Another space: converted into the underlying colour's fixture first.
    const VeyColor rgbTop(Qt::white);
    const VeyColor converted = VeyColor::mix(rgbTop, under, 24, 1.0);
    QCOMPARE(converted.channelCount(), 4u);
    QCOMPARE(converted.colorType(), 6u);
    QCOMPARE(converted.profileId(), 23u);
}

void TestColourConversion::mixYxy()
{
    VeyColor under;
    under.setYxy(0.2, 0.3, 0.3, 65535, 5);
    VeyColor top;
    top.setYxy(0.6, 0.5, 0.4, 65535, 0);
    const VeyColor m = VeyColor::mix(top, under, 24, 0.25);
    QCOMPARE(m.spec(), VeyColor::Yxy);
    QCOMPARE(m.profileId(), 5u);
    QVERIFY(close(m.Y(), 0.3, 1e-12));
    QVERIFY(close(m.x(), 0.35, 1e-12));
    QVERIFY(close(m.y(), 0.325, 1e-12));
}

void TestColourConversion::mixFaultyFactors()
{
    const VeyColor under(Qt::blue);
    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgbF: RGB parameters out of range");
    QCOMPARE(VeyColor::mix(VeyColor(Qt::red), under, 24, 1.5).spec(), VeyColor::Invalid);
    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgbF: RGB parameters out of range");
    QCOMPARE(VeyColor::mix(VeyColor(Qt::red), under, 24, qQNaN()).spec(), VeyColor::Invalid);

    VeyColor n;
    n.setNChannelF({1.0, 0.5, 0.5, 0.5}, 1, 0, false);
    QCOMPARE(VeyColor::mix(n, n, 24, qQNaN()).spec(), VeyColor::Invalid);
    VeyColor yxy;
    yxy.setYxy(0.5, 0.3, 0.3, 65535, 0);
    QCOMPARE(VeyColor::mix(yxy, yxy, 24, qInf()).spec(), VeyColor::Invalid);
}

void TestColourConversion::degenerateInputsGiveNoNaN()
{
    // x = 0 and x + y = 1 make the level search divide by zero.
    for (const QPointF &xy : {QPointF(0.0, 0.3), QPointF(0.6, 0.4), QPointF(0.0, 0.0),
                              QPointF(1.0, 0.0), QPointF(-3.0, 7.0)}) {
        VeyColor c;
        c.setYxy(0.5, xy.x(), xy.y(), 65535, 0);
        const VeyColor rgb = c.toRgb();
        QVERIFY(rgb.spec() == VeyColor::Rgb || rgb.spec() == VeyColor::Invalid);
        for (quint32 type : {1u, 2u, 3u, 6u, 11u}) {
            const VeyColor n = c.convertTo(VeyColor::NChannel, type, type == 11 ? 40 : 0, 1);
            QCOMPARE(n.spec(), VeyColor::NChannel);
            QVERIFY(!n.toString().contains(QLatin1String("nan")));
        }
    }

    // Random colours through every conversion and blend: no stored NaN or infinity.
    QRandomGenerator rng(4);
    for (int i = 0; i < 400; ++i) {
        VeyColor c;
        switch (rng.bounded(4)) {
        case 0:
            c.setRgb8(rng.bounded(256), rng.bounded(256), rng.bounded(256), rng.bounded(256),
                      rng.bounded(60));
            break;
        case 1:
            c.setYxy(rng.generateDouble(), rng.generateDouble() * 1.2 - 0.1,
                     rng.generateDouble() * 1.2 - 0.1, 65535, rng.bounded(60));
            break;
        case 2: {
            QList<double> values{1.0};
            for (int k = int(rng.bounded(9)); k > 0; --k)
                values.append(rng.generateDouble() < 0.3 ? 0.0 : rng.generateDouble());
            c.setNChannelF(values, rng.bounded(13), rng.bounded(60), rng.bounded(2));
            break;
        }
        default:
            c.setRgbF(0.0, 0.0, rng.generateDouble() * 1e-12);
            break;
        }
        const quint32 type = rng.bounded(13);
        const quint32 id = rng.bounded(60);
        for (int spec = 0; spec <= 5; ++spec) {
            const VeyColor out = c.convertTo(VeyColor::Spec(spec), type, id, rng.bounded(2));
            QVERIFY(allFinite(out));
            QVERIFY(!out.toString().contains(QLatin1String("nan")));
            QVERIFY(!out.toString().contains(QLatin1String("inf")));
            const VeyColor m = VeyColor::mix(out, c, 24, rng.generateDouble());
            QVERIFY(allFinite(m));
            QVERIFY(allFinite(m.toYxy()));
        }
    }
}

QTEST_GUILESS_MAIN(TestColourConversion)
#include "tst_colourconversion.moc"
