#include "colour/colourmixing.h"
#include "colour/fixturetypedescriptor.h"
#include "colour/fixturetypetable.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"

#include "colourtablesdigest.h"

#include <QtTest>

class TestFixtureTypes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // This executable reaches the tables through the fixture-type table first; the
        // profile database is then built while the table links its profiles.
        QVERIFY(FixtureTypeTable::instance());
        QCOMPARE(colourTablesDigest(), QByteArray(expectedColourTablesDigest));
    }

    void rows_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("colourType");
        QTest::addColumn<int>("curveType");
        QTest::addColumn<QList<int>>("modes");
        QTest::addColumn<QList<int>>("flagged");
        QTest::addColumn<int>("primary");
        QTest::addColumn<int>("secondary");
        QTest::newRow("1") << 1 << 2 << 1 << QList<int>{0, 7, 3} << QList<int>{0, 7} << 7 << 7;
        QTest::newRow("2") << 2 << 5 << 1 << QList<int>{0, 8, 4} << QList<int>{0, 8, 4} << 8 << 8;
        QTest::newRow("3") << 3 << 3 << 0 << QList<int>{2} << QList<int>{} << 2 << 0;
        QTest::newRow("4") << 4 << 4 << 0 << QList<int>{9} << QList<int>{} << 9 << 9;
        QTest::newRow("13") << 13 << 3 << 1 << QList<int>{0, 10, 11} << QList<int>{0, 10, 11} << 11
                            << 10;
        QTest::newRow("20") << 20 << 3 << 1 << QList<int>{0, 10, 11} << QList<int>{0, 10, 11} << 10
                            << 10;
        QTest::newRow("21") << 21 << 6 << 1 << QList<int>{12, 14} << QList<int>{} << 14 << 12;
        QTest::newRow("24") << 24 << 2 << 0 << QList<int>{3} << QList<int>{} << 3 << 0;
        QTest::newRow("26") << 26 << 8 << 0 << QList<int>{17, 16} << QList<int>{} << 17 << 17;
        QTest::newRow("28") << 28 << 8 << 0 << QList<int>{18} << QList<int>{} << 18 << 18;
        QTest::newRow("30") << 30 << 10 << 0 << QList<int>{19} << QList<int>{} << 19 << 19;
        QTest::newRow("40") << 40 << 11 << 0 << QList<int>{22, 23} << QList<int>{} << 22 << 23;
        QTest::newRow("47") << 47 << 3 << 1 << QList<int>{2} << QList<int>{} << 2 << 0;
        QTest::newRow("48") << 48 << 1 << 0 << QList<int>{0} << QList<int>{} << 0 << 0;
        QTest::newRow("54") << 54 << 3 << 1 << QList<int>{0, 10, 11} << QList<int>{0, 10, 11} << 11
                            << 10;
    }

    void rows()
    {
        QFETCH(int, id);
        const FixtureTypeDescriptor *type = FixtureTypeTable::instance()->find(id);
        QTEST(type->colourType(), "colourType");
        QTEST(type->curveType(), "curveType");
        QTEST(type->modes(), "modes");
        QTEST(type->primaryMode(), "primary");
        QTEST(type->secondaryMode(), "secondary");
        QFETCH(QList<int>, flagged);
        for (int mode : type->modes())
            QCOMPARE(type->modeFlags().value(mode, true), flagged.contains(mode));
    }

    void channelCountsFollowTheColourType()
    {
        int curveTwo = 0;
        QList<int> perType(12, 0);
        for (int id = 0; id < FixtureTypeTable::typeCount; ++id) {
            const FixtureTypeDescriptor *type = FixtureTypeTable::instance()->find(id);
            QVERIFY(channelCountForColorType(type->colourType()) > 0);
            curveTwo += type->curveType() == 2;
            ++perType[type->colourType()];
        }
        QCOMPARE(curveTwo, 0);
        QCOMPARE(perType[9], 0);
        QCOMPARE(perType[8], 2);
        QCOMPARE(channelCountForColorType(FixtureTypeTable::instance()->find(28)->colourType()), 3);
        QCOMPARE(FixtureTypeTable::instance()->find(28)->profile()->channelCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFixtureTypes)
#include "tst_fixturetypes.moc"
