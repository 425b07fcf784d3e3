// Correlated colour temperature and tint against the isotherm table.

#include "colour/colourtemperature.h"

#include <QTest>

class TestColourTemperature : public QObject
{
    Q_OBJECT

private slots:
    void rangeLimits();
    void knownPoints_data();
    void knownPoints();
};

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

void TestColourTemperature::knownPoints_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("cct");
    QTest::addColumn<int>("tint");
    // D65 (6504 K) and illuminant A (2856 K) in steps of 10 K; the tint's sign tells the side
    // of the locus.
    QTest::newRow("D65") << 0.3127 << 0.3290 << 6510 << 5258;
    QTest::newRow("A") << 0.44757 << 0.40745 << 2860 << 14;
    QTest::newRow("above the locus") << 0.3127 << 0.3490 << 6380 << 21498;
    QTest::newRow("below the locus") << 0.3127 << 0.3090 << 6720 << -12103;
    QTest::newRow("x near its limit") << 0.75 << 0.3 << 11290 << 773991;
}

void TestColourTemperature::knownPoints()
{
    QFETCH(double, x);
    QFETCH(double, y);
    int cct = 0, tint = 0;
    QVERIFY(xyToCctTint(x, y, &cct, &tint));
    QTEST(cct, "cct");
    QTEST(tint, "tint");
}

QTEST_GUILESS_MAIN(TestColourTemperature)
#include "tst_colourtemperature.moc"
