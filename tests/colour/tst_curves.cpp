#include "colour/curve.h"
#include "colour/curveregistry.h"
#include "colour/gammacurvetungsten.h"
#include "colour/gammacurveveynormal.h"

#include <QtTest>

class TestCurves : public QObject
{
    Q_OBJECT

private:
    static int at16(const Curve *curve, int input)
    {
        quint16 out = 0;
        curve->map16(input, &out);
        return out;
    }
    static int at8(const Curve *curve, int input)
    {
        quint8 out = 0;
        curve->map8(input, &out);
        return out;
    }

private slots:

    void normalCurveWorkedValues()
    {
        const Curve *normal = CurveRegistry::instance()->curve(1);
        QCOMPARE(at16(normal, 128), 8);
        QCOMPARE(at16(normal, 256), 16);
        QCOMPARE(at16(normal, 32768), 17588);
        QCOMPARE(at16(normal, 65279), 65518);
        for (int i = 65280; i <= 65535; ++i)
            QCOMPARE(at16(normal, i), 65520);
        QCOMPARE(at8(normal, 6), 1);
        QCOMPARE(at8(normal, 255), 255);
        int highest = 0;
        for (int i = 0; i < 65536; ++i)
            highest = std::max(highest, at16(normal, i));
        QCOMPARE(highest, 65520);
    }

    void tungstenCurveWorkedValues()
    {
        const Curve *tungsten = CurveRegistry::instance()->curve(2);
        QCOMPARE(at16(tungsten, 255), 0);
        QCOMPARE(at16(tungsten, 256), 1);
        QCOMPARE(at16(tungsten, 32768), 12331);
        for (int i = 65280; i <= 65535; ++i)
            QCOMPARE(at16(tungsten, i), 65535);
        for (int i = 0; i <= 25; ++i)
            QCOMPARE(at8(tungsten, i), 0);
        QCOMPARE(at8(tungsten, 26), 1);
        QCOMPARE(at8(tungsten, 255), 255);
    }

    void outOfRangeInputsStayInTheTable()
    {
        const Curve *normal = CurveRegistry::instance()->curve(1);
        QCOMPARE(at16(normal, 70000), 65520);
        QCOMPARE(at16(normal, -3), 0);
        QCOMPARE(at8(normal, 300), 255);
        QCOMPARE(at8(normal, -1), 0);
        const Curve *identity = CurveRegistry::instance()->curve(0);
        QCOMPARE(at8(identity, 382), 255);
        QCOMPARE(at16(identity, 65536), 65535);
    }
};

QTEST_GUILESS_MAIN(TestCurves)
#include "tst_curves.moc"
