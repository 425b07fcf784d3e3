// The layout and numbering rules of the string and light creation dialogs, against examples
// worked out by hand.
#include "dialogs/stringlayout.h"

#include <QtTest>

using namespace StringLayout;

namespace {
// The indices of a walked grid, rows separated by "/", as one reads them off a drawing.
QString indices(const WalkedGrid &g, const Numbering &n)
{
    QStringList rows;
    for (int i = 0; i < g.rows; ++i) {
        QStringList row;
        for (int j = 0; j < g.columns; ++j)
            row << QString::number(index(g, n, i, j));
        rows << row.join(' ');
    }
    return rows.join('/');
}
} // namespace

class TestStringLayout : public QObject
{
    Q_OBJECT
private slots:
    void numbering_data();
    void numbering();
    void positions();
    void channelsAndNames();
    void originsBesideTheMap();
    void countsAndEntries();
};

void TestStringLayout::numbering_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("reversed"); // right-to-left or bottom-to-top
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("raster");
    QTest::addColumn<QString>("expected");

    QTest::newRow("horizontal") << 0 << 9 << 5 << false << 0 << false << "0 1 2 3 4";
    QTest::newRow("backslash right-to-left") << 2 << 9 << 5 << true << 0 << false << "4 3 2 1 0";
    QTest::newRow("vertical") << 1 << 3 << 7 << false << 0 << false << "0/1/2";
    QTest::newRow("vertical bottom-to-top") << 1 << 3 << 7 << true << 0 << false << "2/1/0";
    QTest::newRow("tile 0 serpentine") << 4 << 2 << 3 << false << 0 << false << "0 1 2/5 4 3";
    QTest::newRow("tile 0 raster") << 4 << 2 << 3 << false << 0 << true << "0 1 2/3 4 5";
    QTest::newRow("tile 1 serpentine") << 4 << 2 << 3 << false << 1 << false << "0 3 4/1 2 5";
    QTest::newRow("tile 1 raster") << 4 << 2 << 3 << false << 1 << true << "0 2 4/1 3 5";
    QTest::newRow("tile 2 serpentine") << 4 << 2 << 3 << false << 2 << false << "4 3 0/5 2 1";
    QTest::newRow("tile 3 serpentine") << 4 << 2 << 3 << false << 3 << false << "2 1 0/3 4 5";
    QTest::newRow("tile 3 raster") << 4 << 2 << 3 << false << 3 << true << "2 1 0/5 4 3";
    QTest::newRow("tile 4 serpentine") << 4 << 3 << 2 << false << 4 << false << "5 4/2 3/1 0";
    QTest::newRow("tile 4 raster") << 4 << 3 << 2 << false << 4 << true << "5 4/3 2/1 0";
    QTest::newRow("tile 5 serpentine") << 4 << 2 << 3 << false << 5 << false << "5 2 1/4 3 0";
    QTest::newRow("tile 6 serpentine") << 4 << 2 << 3 << false << 6 << false << "1 2 5/0 3 4";
    QTest::newRow("tile 6 raster") << 4 << 2 << 3 << false << 6 << true << "1 3 5/0 2 4";
    QTest::newRow("tile 7 serpentine") << 4 << 2 << 3 << false << 7 << false << "5 4 3/0 1 2";
    QTest::newRow("tile 7 raster") << 4 << 2 << 3 << false << 7 << true << "3 4 5/0 1 2";
    QTest::newRow("tile order out of range") << 4 << 2 << 2 << false << 9 << false << "0 1/2 3";
    QTest::newRow("tile 1 x 1") << 4 << 1 << 1 << false << 5 << true << "0";
}

void TestStringLayout::numbering()
{
    QFETCH(int, layout);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(bool, reversed);
    QFETCH(int, order);
    QFETCH(bool, raster);
    QFETCH(QString, expected);
    const WalkedGrid g = walkedGrid(layout, rows, columns);
    QCOMPARE(indices(g, {layout, reversed, reversed, order, raster}), expected);
}

void TestStringLayout::positions()
{
    const QPoint origin(100, 200);
    const WalkedGrid slash = walkedGrid(ForwardSlash, 9, 4);
    QCOMPARE(position(slash, 0, 3, 12, origin), QPoint(136, 164));
    const WalkedGrid backslash = walkedGrid(BackSlash, 9, 4);
    QCOMPARE(position(backslash, 0, 3, 12, origin), QPoint(136, 236));
    const WalkedGrid tile = walkedGrid(Tile, 2, 3);
    QCOMPARE(position(tile, 1, 2, 20, origin), QPoint(140, 220));
    const WalkedGrid vertical = walkedGrid(Vertical, 3, 50);
    QCOMPARE(position(vertical, 2, 0, 12, origin), QPoint(100, 224));
}

void TestStringLayout::channelsAndNames()
{
    // Base address 10 (channel 9), footprint 3: the number follows the channel, rounded down.
    QCOMPARE(startChannel(0, 3, 9), 9);
    QCOMPARE(nameNumber(9, 3), 4);
    QCOMPARE(nameNumber(startChannel(1, 3, 9), 3), 5);
    // A fixture reporting no channels counts as one channel wide instead of dividing by zero.
    QCOMPARE(startChannel(2, 0, 0), 2);
    QCOMPARE(nameNumber(7, 0), 8);
    // Long strings run past the universe; the number keeps all its digits.
    QCOMPARE(startChannel(400, 3, 0), 1200);
    QCOMPARE(portAndNumber(2, 1234), QString("02-1234"));

    QCOMPARE(stringLightName("Lobby", "Generic 3-Ch", "Light", 2, 1),
             QString("Lobby Generic 3-Ch Light 02-001"));
    QCOMPARE(stringLightName("", "Generic 3-Ch", "", 1, 1), QString("Generic 3-Ch 01-001"));
    QCOMPARE(lightName("Light", "Generic 3-Ch", 1, 3), QString("Light Generic 3-Ch 01-003"));
    QCOMPARE(lightName("", "Generic 3-Ch", 12, 40), QString("Generic 3-Ch 12-040"));
}

void TestStringLayout::originsBesideTheMap()
{
    const QRect none(0, 0, 0, 0);
    QCOMPARE(stringOrigin(AddBelow, Horizontal, none, 12, 5), QPoint(12, 24));
    QCOMPARE(stringOrigin(AddRight, Tile, none, 12, 5), QPoint(24, 12));
    // A forward slash rises from its first light, so its top lands where other rows start.
    QCOMPARE(stringOrigin(AddRight, ForwardSlash, none, 12, 5), QPoint(24, 60));
    QCOMPARE(stringOrigin(AddBelow, ForwardSlash, none, 12, 5), QPoint(12, 72));

    const QRect lights(100, 50, 300, 200);
    QCOMPARE(stringOrigin(AddBelow, Vertical, lights, 12, 5), QPoint(100, 274));
    QCOMPARE(stringOrigin(AddRight, Horizontal, lights, 12, 5), QPoint(424, 50));
}

void TestStringLayout::countsAndEntries()
{
    QCOMPARE(cappedCount(1000, 100), 650);
    QCOMPARE(cappedCount(65, 1000), 65);
    QVERIFY(countsMatch(Tile, 3, 4, 12));
    QVERIFY(!countsMatch(Tile, 3, 5, 12));
    QVERIFY(countsMatch(Vertical, 12, 1000, 12));
    QVERIFY(!countsMatch(ForwardSlash, 1, 1000, 1200));

    quint64 uid = 0;
    QVERIFY(parseInterfaceEntry(interfaceEntry(0x1A2B3C4D5EULL, "Lobby 2"), &uid));
    QCOMPARE(uid, 0x1A2B3C4D5EULL);
    QCOMPARE(interfaceEntry(0xABC, "x"), QString("ABC x"));
    QVERIFY(!parseInterfaceEntry("Lobby 2", &uid));
    QVERIFY(!parseInterfaceEntry("", &uid));

    QCOMPARE(interfaceDefaults("PDS-TQ410").fixtureType, QString("Veylight Fernrow Cove RGB"));
    QVERIFY(interfaceDefaults("PDS-TQ52hx").resolutionFromLight);
    QVERIFY(interfaceDefaults("Scene Keypad 6").fixtureType.isEmpty());
}

QTEST_GUILESS_MAIN(TestStringLayout)
#include "tst_stringlayout.moc"
