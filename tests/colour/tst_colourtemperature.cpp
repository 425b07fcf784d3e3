// Correlated colour temperature and tint against the isotherm table.
// DM_TEST_SANITIZE

#include "colour/colourtemperature.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

namespace {

QPointF uvOfXy(double x, double y)
{
    const double d = -2.0 * x + 12.0 * y + 3.0;
    return QPointF(4.0 * x / d, 9.0 * y / d);
}

QPointF midpoint(const QPointF &a, const QPointF &b)
{
    return (a + b) / 2.0;
}

} // namespace

class TestColourTemperature : public QObject
{
    Q_OBJECT

private slots:
    void tableIsContinuous();
    void rangeLimits();
    void locusPoints();
    void halfwayPoints();
    void standardIlluminants();
    void tintAtOffsetLine();
    void applyTintOffsetDirection();
    void beyondTheTable();
    void randomPointsStayInRange();
};

void TestColourTemperature::tableIsContinuous()
{
    QCOMPARE(isothermTable[0].startK, 1900);
    QCOMPARE(isothermTable[isothermRowCount - 1].endK, 12500);
    for (int r = 0; r + 1 < isothermRowCount; ++r) {
        QCOMPARE(isothermTable[r].endK, isothermTable[r + 1].startK);
        QCOMPARE(isothermTable[r].b, isothermTable[r + 1].a);
        QCOMPARE(isothermTable[r].r, isothermTable[r + 1].q);
        QCOMPARE(isothermTable[r].stepK, 10);
    }
    QCOMPARE(maxSupportedCct(), 11000);
    QCOMPARE(minTint(), -32767);
}

void TestColourTemperature::rangeLimits()
{
    int cct = 123, tint = 456;
    QVERIFY(!xyToCctTint(0.81, 0.3, &cct, &tint));
    QVERIFY(!xyToCctTint(0.3, 0.95, &cct, &tint));
    QVERIFY(!xyToCctTint(-0.01, 0.3, &cct, &tint));
    QVERIFY(!xyToCctTint(qQNaN(), 0.3, &cct, &tint));
    QVERIFY(!xyToCctTint(0.3, qQNaN(), &cct, &tint));
    // x, y inside their limits but u' beyond 0.6.
    QVERIFY(!xyToCctTint(0.8, 0.0, &cct, &tint));
    QCOMPARE(cct, 123);
    QCOMPARE(tint, 456);

    // (0, 0) gives u' = v' = 0, inside the limits, and runs the search.
    QVERIFY(xyToCctTint(0.0, 0.0, &cct, &tint));
    QVERIFY(cct >= 1900 && cct <= 12500);
}

void TestColourTemperature::locusPoints()
{
    int cct = 0, tint = 99;
    // A of row 9 is matched by row 8 at its end B: the same temperature.
    cctTintFromUv(isothermTable[9].a.x(), isothermTable[9].a.y(), &cct, &tint);
    QCOMPARE(cct, 3000);
    QCOMPARE(tint, 0);

    for (int r = 0; r < isothermRowCount; ++r) {
        cctTintFromUv(isothermTable[r].a.x(), isothermTable[r].a.y(), &cct, &tint);
        QCOMPARE(cct, isothermTable[r].startK);
        QVERIFY2(std::abs(tint) <= 1, qPrintable(QString::number(tint)));
    }
}

void TestColourTemperature::halfwayPoints()
{
    int cct = 0, tint = 0;
    QPointF m = midpoint(isothermTable[0].a, isothermTable[0].b);
    cctTintFromUv(m.x(), m.y(), &cct, &tint);
    QCOMPARE(cct, 1950);
    QCOMPARE(tint, 0);

    m = midpoint(isothermTable[21].a, isothermTable[21].b);
    cctTintFromUv(m.x(), m.y(), &cct, &tint);
    QCOMPARE(cct, 11250);
    QCOMPARE(tint, 0);

    QCOMPARE(isothermFraction(isothermTable[5].a, 5), 0.0);
    QCOMPARE(isothermFraction(isothermTable[5].b, 5), 1.0);
}

void TestColourTemperature::standardIlluminants()
{
    int cct = 0, tint = 0;
    // Daylight D65 and incandescent A, close to the locus.
    QVERIFY(xyToCctTint(0.3127, 0.3290, &cct, &tint));
    QVERIFY2(cct >= 6450 && cct <= 6560, qPrintable(QString::number(cct)));
    QVERIFY(xyToCctTint(0.44757, 0.40745, &cct, &tint));
    QVERIFY2(cct >= 2820 && cct <= 2890, qPrintable(QString::number(cct)));
}

void TestColourTemperature::tintAtOffsetLine()
{
    for (int r : {2, 9, 14, 19}) {
        const IsothermRow &row = isothermTable[r];
        const QPointF onLocus = midpoint(row.a, row.b);
        const QPointF onOffset = midpoint(row.q, row.r);
        int cct = 0, tint = 0;
        cctTintFromUv(onOffset.x(), onOffset.y(), &cct, &tint);
        QVERIFY2(std::abs(tint - 32767) < 700, qPrintable(QString::number(tint)));
        QVERIFY(cct >= row.startK && cct <= row.endK);

        const QPointF mirror = onLocus * 2.0 - onOffset;
        cctTintFromUv(mirror.x(), mirror.y(), &cct, &tint);
        QVERIFY2(std::abs(tint + 32767) < 700, qPrintable(QString::number(tint)));
    }
}

void TestColourTemperature::applyTintOffsetDirection()
{
    const IsothermRow &row = isothermTable[9];
    QPointF p = row.a;
    applyTintOffset(9, 0, &p);
    QCOMPARE(p, row.a);

    // A full positive tint moves a locus point away from the pivot by |Q - A|.
    applyTintOffset(9, 32767, &p);
    const double moved = std::hypot(p.x() - row.a.x(), p.y() - row.a.y());
    const double full = std::hypot(row.q.x() - row.a.x(), row.q.y() - row.a.y());
    QVERIFY(qAbs(moved - full) < 1e-9);
    const double before = std::hypot(row.a.x() - row.p.x(), row.a.y() - row.p.y());
    const double after = std::hypot(p.x() - row.p.x(), p.y() - row.p.y());
    QVERIFY(after > before);
}

void TestColourTemperature::beyondTheTable()
{
    int cct = 0, tint = 0;
    // Redder than 1900 K and bluer than 12500 K.
    for (const QPointF &uv : {QPointF(0.36, 0.54), QPointF(0.17, 0.40), QPointF(0.0, 0.0),
                              QPointF(0.6, 0.6), QPointF(0.6, 0.0), QPointF(0.0, 0.6)}) {
        cctTintFromUv(uv.x(), uv.y(), &cct, &tint);
        QVERIFY2(cct >= 1900 && cct <= 12500, qPrintable(QString::number(cct)));
    }
    // A point on the pivot of a row: no direction at all, still a defined answer.
    const QPointF pivot = isothermTable[0].p;
    cctTintFromUv(pivot.x(), pivot.y(), &cct, &tint);
    QVERIFY(cct >= 1900 && cct <= 12500);
    const QPointF d65 = uvOfXy(0.3127, 0.3290);
    QVERIFY(d65.x() > 0.19 && d65.x() < 0.2);
}

void TestColourTemperature::randomPointsStayInRange()
{
    QRandomGenerator rng(20261206);
    for (int i = 0; i < 20000; ++i) {
        const double x = rng.generateDouble() * 0.8;
        const double y = rng.generateDouble() * 0.9;
        int cct = 0, tint = 0;
        if (xyToCctTint(x, y, &cct, &tint))
            QVERIFY(cct >= 1900 && cct <= 12500);
    }
}

QTEST_GUILESS_MAIN(TestColourTemperature)
#include "tst_colourtemperature.moc"
