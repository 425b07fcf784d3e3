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

    // A two-channel colour is summed as channels 0 and 2 of its profile, not 0 and 1.
    void colorToXyYOfTwoChannels_data()
    {
        QTest::addColumn<int>("fixture");
        QTest::newRow("type 7") << 27;
        QTest::newRow("type 10") << 30;
    }
    void colorToXyYOfTwoChannels()
    {
        QFETCH(int, fixture);
        const int colourType = colorTypeOfFixture(fixture);
        VeyColor color;
        color.setNChannelF(QList<double>{1.0, 1.0, 1.0}, quint32(colourType), quint32(fixture),
                           false);
        double Yxy[3] = {};
        colorToXyY(color, Yxy);
        const Profile *p = profile(fixture, colourType, profileSetForFlag(0));
        const double X = p->xAt(0) + p->xAt(2);
        const double Y = p->yAt(0) + p->yAt(2);
        const double Z = p->zAt(0) + p->zAt(2);
        QCOMPARE(Yxy[0], 1.0);
        QCOMPARE(Yxy[1], X / (X + Y + Z));
        QCOMPARE(Yxy[2], Y / (X + Y + Z));
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
};

QTEST_GUILESS_MAIN(TestColourMixing)
#include "tst_colourmixing.moc"
