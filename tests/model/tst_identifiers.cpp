// uid text forms and the natural order of names.

#include "model/identifiers.h"

#include <QTest>

class TestIdentifiers : public QObject
{
    Q_OBJECT

private slots:
    void uidTextForms_data();
    void uidTextForms();
    void naturalOrder_data();
    void naturalOrder();
};

void TestIdentifiers::uidTextForms_data()
{
    QTest::addColumn<quint64>("uid");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("colon");
    auto row = [](const char *tag, quint64 uid, const char *plain, const char *colon) {
        QTest::newRow(tag) << uid << QString(plain) << QString(colon);
    };
    row("zero", 0, "00000000", "00000000");
    row("26", 26, "0000001A", "0000001A");
    row("largest 32-bit", 0xFFFFFFFFu, "FFFFFFFF", "FFFFFFFF");
    row("2^32", quint64(1) << 32, "000100000000", "0001:00000000");
    row("high 1 low AB", (quint64(1) << 32) | 0xAB, "0001000000AB", "0001:000000AB");
    row("2^48", quint64(1) << 48, "1000000000000", "10000:00000000");
    row("all bits", ~quint64(0), "FFFFFFFFFFFFFFFF", "FFFFFFFF:FFFFFFFF");
}

void TestIdentifiers::uidTextForms()
{
    QFETCH(quint64, uid);
    QFETCH(QString, plain);
    QFETCH(QString, colon);
    QCOMPARE(uidToString(uid), plain);
    QCOMPARE(uidToColonString(uid), colon);
    // Both display forms read back to the value they came from.
    QCOMPARE(uidFromString(plain), uid);
    QCOMPARE(uidFromString(colon), uid);
}

void TestIdentifiers::naturalOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    auto row = [](const char *tag, const QString &a, const QString &b, int order) {
        QTest::newRow(tag) << a << b << order;
    };
    row("2 before 10", "item2", "item10", -1);
    row("case ignored", "Item10", "item10", 0);
    row("leading zeros", "a007", "a7", 0);
    row("number before word", "1abc", "abc", -1);
    row("word after number", "abc", "1abc", 1);
    row("space separates words", "a b", "ab", -1);
    row("spaces only separate", "a  1", "a1", 0);
    row("dash is a word char", "a-1", "a-2", -1);
    row("empty first", "", "x", -1);
    row("empty second", "x", "", 1);
    row("both empty", "", "", 0);
    row("space only vs word", " ", "a", -1);
    row("both beyond int", "n99999999999", "n88888888888", 0);
    row("beyond int vs int max", "9999999999", "2147483647", 0);
    row("int max vs below", "2147483647", "2147483646", 1);
    row("prefix runs out", "abc 1", "abc", 1);
    row("underscore vs letter", "a_", "aa", -1);
    row("non-ascii words", QString::fromUtf8("\xc3\x84rger"), QString::fromUtf8("\xc3\xa4rger"), 0);
}

void TestIdentifiers::naturalOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(naturalCompare(a, b), order);
}

QTEST_APPLESS_MAIN(TestIdentifiers)
#include "tst_identifiers.moc"
