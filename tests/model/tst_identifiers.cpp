// uid text forms and the natural order of names.
// DM_TEST_SANITIZE

#include "model/identifiers.h"

#include <QTest>

class TestIdentifiers : public QObject
{
    Q_OBJECT

private slots:
    void uidTextForms_data();
    void uidTextForms();
    void uidParsing_data();
    void uidParsing();
    void naturalOrder_data();
    void naturalOrder();
    void naturalOrderIsAntisymmetric();
    void tokenizerSplitsRuns();
};

void TestIdentifiers::uidTextForms_data()
{
    QTest::addColumn<quint64>("uid");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("colon");
    QTest::newRow("zero") << quint64(0) << "00000000"
                          << "00000000";
    QTest::newRow("26") << quint64(26) << "0000001A"
                        << "0000001A";
    QTest::newRow("largest 32-bit") << quint64(0xFFFFFFFFu) << "FFFFFFFF"
                                    << "FFFFFFFF";
    QTest::newRow("2^32") << (quint64(1) << 32) << "000100000000"
                          << "0001:00000000";
    QTest::newRow("high 1 low AB") << ((quint64(1) << 32) | 0xAB) << "0001000000AB"
                                   << "0001:000000AB";
    QTest::newRow("2^48") << (quint64(1) << 48) << "1000000000000"
                          << "10000:00000000";
    QTest::newRow("all bits") << ~quint64(0) << "FFFFFFFFFFFFFFFF"
                              << "FFFFFFFF:FFFFFFFF";
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

void TestIdentifiers::uidParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint64>("uid");
    QTest::addColumn<quint64>("hexId");
    const quint64 highOneLowAB = (quint64(1) << 32) | 0xAB;
    QTest::newRow("colon form") << "0001:000000AB" << highOneLowAB << highOneLowAB;
    QTest::newRow("no leading zeros") << "1000000AB" << highOneLowAB << highOneLowAB;
    QTest::newRow("lower case") << "ff" << quint64(255) << quint64(255);
    QTest::newRow("many colons") << "1:2:3" << quint64(0x123) << quint64(0x123);
    QTest::newRow("empty") << "" << quint64(0) << quint64(0);
    QTest::newRow("no hex") << "zz" << quint64(0) << quint64(0);
    QTest::newRow("beyond 64 bits") << "10000000000000000" << quint64(0) << quint64(0);
    QTest::newRow("spaces around") << "  00FF  " << quint64(0) << quint64(255);
}

void TestIdentifiers::uidParsing()
{
    QFETCH(QString, text);
    QFETCH(quint64, uid);
    QFETCH(quint64, hexId);
    if (!text.startsWith(QLatin1Char(' ')))
        QCOMPARE(uidFromString(text), uid);
    QCOMPARE(hexIdFromString(text), hexId);
}

void TestIdentifiers::naturalOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    QTest::newRow("2 before 10") << "item2"
                                 << "item10" << -1;
    QTest::newRow("case ignored") << "Item10"
                                  << "item10" << 0;
    QTest::newRow("leading zeros") << "a007"
                                   << "a7" << 0;
    QTest::newRow("number before word") << "1abc"
                                        << "abc" << -1;
    QTest::newRow("word after number") << "abc"
                                       << "1abc" << 1;
    QTest::newRow("space separates words") << "a b"
                                           << "ab" << -1;
    QTest::newRow("spaces only separate") << "a  1"
                                          << "a1" << 0;
    QTest::newRow("dash is a word char") << "a-1"
                                         << "a-2" << -1;
    QTest::newRow("empty first") << ""
                                 << "x" << -1;
    QTest::newRow("empty second") << "x"
                                  << "" << 1;
    QTest::newRow("both empty") << ""
                                << "" << 0;
    QTest::newRow("space only vs word") << " "
                                        << "a" << -1;
    QTest::newRow("both beyond int") << "n99999999999"
                                     << "n88888888888" << 0;
    QTest::newRow("beyond int vs int max") << "9999999999"
                                           << "2147483647" << 0;
    QTest::newRow("int max vs below") << "2147483647"
                                      << "2147483646" << 1;
    QTest::newRow("prefix runs out") << "abc 1"
                                     << "abc" << 1;
    QTest::newRow("underscore vs letter") << "a_"
                                          << "aa" << -1;
    QTest::newRow("non-ascii words")
        << QString::fromUtf8("\xc3\x84rger") << QString::fromUtf8("\xc3\xa4rger") << 0;
}

void TestIdentifiers::naturalOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(naturalCompare(a, b), order);
}

void TestIdentifiers::naturalOrderIsAntisymmetric()
{
    const QStringList names{"Light 10", "light 9", "Light 010", "Group", "3",     "",
                            " ",        "a b c",   "a1b2",      "a1b10", "Zone-7"};
    for (const QString &a : names) {
        for (const QString &b : names) {
            if (a.isEmpty() && b.isEmpty())
                continue;
            QCOMPARE(naturalCompare(a, b), -naturalCompare(b, a));
        }
    }
}

void TestIdentifiers::tokenizerSplitsRuns()
{
    NaturalTokenizer tokenizer(QStringLiteral("  ab12 \t-3x"));
    QCOMPARE(nextNaturalToken(tokenizer), int(NaturalWord));
    QCOMPARE(tokenizer.token(), QByteArrayView("ab"));
    QCOMPARE(nextNaturalToken(tokenizer), int(NaturalNumber));
    QCOMPARE(tokenizer.token(), QByteArrayView("12"));
    QCOMPARE(nextNaturalToken(tokenizer), int(NaturalWord));
    QCOMPARE(tokenizer.token(), QByteArrayView("-"));
    QCOMPARE(nextNaturalToken(tokenizer), int(NaturalNumber));
    QCOMPARE(nextNaturalToken(tokenizer), int(NaturalWord));
    QCOMPARE(tokenizer.token(), QByteArrayView("x"));
    QCOMPARE(nextNaturalToken(tokenizer), int(NaturalEnd));
    QCOMPARE(nextNaturalToken(tokenizer), int(NaturalEnd));
}

QTEST_APPLESS_MAIN(TestIdentifiers)
#include "tst_identifiers.moc"
