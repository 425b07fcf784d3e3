// Conversions between specs with the fixture profiles, the special fixture conversions
// (grey, two- and three-channel, four whites) and blending.

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

} // namespace

class TestColourConversion : public QObject
{
    Q_OBJECT

private slots:
    void rgbToYxyToRgbRoundTrip();
    void whiteFixturesShowGrey();
    void rgbToNChannelKeepsChromaticity_data();
    void rgbToNChannelKeepsChromaticity();
    void fourWhites_data();
    void fourWhites();
    void mixNChannel();
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
    QVERIFY(close(half.alphaF(), 1.0, 1e-9)); // laid over an opaque colour, stays opaque

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

// Single-white fixtures (colour types 9 and 10) show a colour as its weighted grey.
void TestColourConversion::whiteFixturesShowGrey()
{
    for (quint32 type : {9u, 10u}) {
        const VeyColor grey = VeyColor(Qt::red).convertTo(VeyColor::NChannel, type, 4, 1);
        QCOMPARE(grey.channelCount(), 3u);
        for (int i = 0; i < 3; ++i)
            QVERIFY(close(level(grey, i), 87 / 255.0, 1e-9));
    }
}

QTEST_GUILESS_MAIN(TestColourConversion)
#include "tst_colourconversion.moc"
