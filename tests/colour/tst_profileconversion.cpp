#include "colour/colourmixing.h"
#include "colour/gamutmapping.h"
#include "colour/profile.h"
#include "colour/profileconversion.h"
#include "colour/veycolor.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

namespace {

VeyColor rgb(uint r, uint g, uint b)
{
    VeyColor c;
    c.setRgb8(r, g, b);
    return c;
}

QPointF mixtureChromaticity(const Profile &p, const QVector<double> &levels)
{
    double X = 0, Y = 0, Z = 0;
    for (int i = 0; i < levels.size(); ++i) {
        X += levels[i] * p.xAt(i);
        Y += levels[i] * p.yAt(i);
        Z += levels[i] * p.zAt(i);
    }
    return QPointF(X / (X + Y + Z), Y / (X + Y + Z));
}

} // namespace

class TestProfileConversion : public QObject
{
    Q_OBJECT

private slots:
    void curveLevels_data()
    {
        QTest::addColumn<int>("curve");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("level");
        QTest::newRow("identity 8-bit full") << 0 << false << 255 << 65535;
        QTest::newRow("identity 8-bit out of range") << 0 << false << 256 << 0;
        QTest::newRow("identity 16-bit") << 0 << true << 1234 << 1234;
        QTest::newRow("normal 8-bit full") << 1 << false << 255 << 65535;
        QTest::newRow("normal 16-bit full") << 1 << true << 65535 << 65535;
        // The tungsten segments meet at 15/16 and 40/41 (8-bit), 3855/3856 (16-bit).
        QTest::newRow("tungsten 8-bit 15") << 2 << false << 15 << 37;
        QTest::newRow("tungsten 8-bit 16") << 2 << false << 16 << 43;
        QTest::newRow("tungsten 8-bit 40") << 2 << false << 40 << 322;
        QTest::newRow("tungsten 8-bit 41") << 2 << false << 41 << 344;
        QTest::newRow("tungsten 16-bit 3855") << 2 << true << 3855 << 37;
        QTest::newRow("unknown curve") << 7 << false << 100 << 0;
    }
    void curveLevels()
    {
        QFETCH(int, curve);
        QFETCH(bool, wide);
        QFETCH(int, value);
        QFETCH(int, level);
        QCOMPARE(int(forwardCurveLevel(quint16(value), wide, curve, false)), level);
    }

    void curvesRoundTrip()
    {
        for (int curve = 0; curve <= 2; ++curve)
            for (int v = 0; v <= 255; ++v)
                QCOMPARE(int(inverseCurveLevel(forwardCurveLevel(quint16(v), 0, curve, false),
                                               false, curve)),
                         v);
        QCOMPARE(int(inverseCurveLevel(65535, false, 1)), 255);
        QCOMPARE(int(forwardCurveLevel(10, 0, 0, true)), int(forwardCurveLevel(10, 0, 1, false)));
    }

    void levelsRoundAndClamp_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("expected");
        QTest::newRow("half rounds up") << 2.5 << 65535 << 3;
        QTest::newRow("slightly negative is dark") << -0.6 << 65535 << 0;
        QTest::newRow("NaN") << std::nan("") << 65535 << 0;
        QTest::newRow("infinity") << HUGE_VAL << 65535 << 0;
        QTest::newRow("above 16 bits") << 70000.0 << 65535 << 65535;
        QTest::newRow("8-bit output") << 300.0 << 255 << 255;
    }
    void levelsRoundAndClamp()
    {
        QFETCH(double, value);
        QFETCH(int, max);
        QFETCH(int, expected);
        QCOMPARE(int(roundLevel(value, quint16(max))), expected);
    }

    void passThrough()
    {
        ConversionSettings s;
        s.profileId = 10;
        s.channelCount = 3;
        const QVector<quint16> levels{10, 200, 255};
        QCOMPARE(convertChannels(levels, s, s, true, true), levels);
        ConversionSettings wide = s;
        wide.sixteenBit = 1;
        wide.profileId = 40; // a colour type that always passes through
        QVERIFY(colorTypeOfFixture(40) == 4 || colorTypeOfFixture(40) >= 7);
        QCOMPARE(convertChannels(levels, s, wide, true, true),
                 (QVector<quint16>{10 * 257, 200 * 257, 65535}));
    }

    void renderWritesTargetChannelsBigEndian()
    {
        quint8 wide[16] = {};
        renderColorToChannels(rgb(255, 0, 0), wide, 16, 10, false, 2, 0, 3);
        quint8 narrow[16] = {};
        renderColorToChannels(rgb(255, 0, 0), narrow, 16, 10, false, 1, 0, 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(qAbs(int(wide[2 * i]) - int(narrow[i])) <= 1);
        // A profile id of 0 reads as 48, on both sides.
        quint8 viaZero[16] = {}, via48[16] = {};
        renderColorToChannels(rgb(20, 200, 90), viaZero, 16, 0, false, 1, 0, 3);
        VeyColor c = rgb(20, 200, 90);
        c.setProfileId(48);
        renderColorToChannels(c, via48, 16, 48, false, 1, 0, 3);
        QCOMPARE(QByteArray((char *)viaZero, 16), QByteArray((char *)via48, 16));
        // The destination size bounds the write.
        quint8 tight[3] = {0xAA, 0xAA, 0xAA};
        renderColorToChannels(rgb(255, 255, 255), tight, 2, 10, false, 2, 0, 3);
        QCOMPARE(tight[2], quint8(0xAA));
    }

    void hullAndAnchors()
    {
        using namespace gamut;
        // A square walked from its right-most corner; the inner point stays off the hull.
        const QVector<QPointF> square{{0, 0}, {1, 0.1}, {1.1, 1}, {0.1, 1.1}, {0.5, 0.5}};
        const QVector<int> order = wrapHull(square, hullStartOrder(square));
        QCOMPARE(order, (QVector<int>{2, 3, 0, 1, -1}));
        const Anchors a = findGamutAnchors(square);
        QCOMPARE((QVector<int>{a.index[0], a.index[1], a.index[2]}), (QVector<int>{2, 3, 0}));
        // Two points sharing the largest x: the walk starts at the first, anchor 0 is the last.
        const QVector<QPointF> tie{{1, 0}, {0, 1}, {1, 1}, {0, 0}};
        QCOMPARE(hullStartOrder(tie).indexOf(0), 0);
        QCOMPARE(findGamutAnchors(tie).index[0], 2);
        QVERIFY(
            buildGamutMesh(tie, QVector<int>{0, -1, -1, -1}, findGamutAnchors(tie), tie).isEmpty());
    }

    void meshKeepsInnerPointsAndMapsPrimariesToTheHull()
    {
        using namespace gamut;
        const QVector<QPointF> source{{0.70, 0.29}, {0.17, 0.80}, {0.14, 0.04}};
        const QVector<QPointF> target{{0.68, 0.31}, {0.20, 0.72}, {0.15, 0.06}, {0.45, 0.50}};
        const QVector<int> order = wrapHull(target, hullStartOrder(target));
        const Anchors anchors = findGamutAnchors(target);
        const QVector<MeshRecord> mesh = buildGamutMesh(target, order, anchors, source);
        QVERIFY(!mesh.isEmpty());
        const QPointF inner(0.33, 0.33);
        QCOMPARE(mapThroughMesh(mesh, 0, inner), inner);
        const QPointF red = mapThroughMesh(mesh, 0, source[0]);
        QVERIFY(qAbs(red.x() - target[0].x()) < 1e-9 && qAbs(red.y() - target[0].y()) < 1e-9);
    }

    // Any chromaticity inside the target's gamut is mixed exactly, with levels in 0..1.
    void solverMixesRequestedChromaticity()
    {
        const int ids[] = {48, 1, 12};
        QRandomGenerator random(2026);
        for (int id : ids) {
            const Profile &p = *conversionProfile(quint64(id), false);
            const QVector<QPointF> primaries = channelChromaticities(p);
            for (int trial = 0; trial < 200; ++trial) {
                double w[3] = {random.generateDouble(), random.generateDouble(),
                               random.generateDouble()};
                const double sum = w[0] + w[1] + w[2];
                const QPointF xy =
                    (w[0] * primaries[0] + w[1] * primaries[1] + w[2] * primaries[2]) / sum;
                const QVector<double> levels = solveMixingLp(quint64(id), false, xy, true);
                QCOMPARE(levels.size(), p.channelCount());
                for (double l : levels)
                    QVERIFY2(l >= -1e-9 && l <= 1 + 1e-9, qPrintable(QString::number(l)));
                const QPointF mixed = mixtureChromaticity(p, levels);
                QVERIFY2(qAbs(mixed.x() - xy.x()) < 1e-4 && qAbs(mixed.y() - xy.y()) < 1e-4,
                         qPrintable(QStringLiteral("profile %1 trial %2").arg(id).arg(trial)));
            }
        }
    }

    void hostileInputsStayInBounds()
    {
        const QPointF nan(std::nan(""), std::nan(""));
        for (quint64 id : {quint64(0), quint64(48), quint64(999), quint64(1) << 40}) {
            QVERIFY(solveMixingLp(id, false, nan, true).size() <= Profile::MaxChannels);
            buildChannelMapping(id, true, 48, false, nan);
            (void)convertChannels({}, {id, false, 0, 1, 200}, {48, false, 1, 9, 3}, true, true);
        }
        quint8 out[16];
        VeyColor invalid;
        renderColorToChannels(invalid, out, 16, -5, true, 2, 99, 255);
    }
};

QTEST_MAIN(TestProfileConversion)
#include "tst_profileconversion.moc"
