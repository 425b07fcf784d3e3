#include "protocol/countanswers.h"

#include <QtTest>

// Each letter is a datagram of one list of counts on port 1, its letter's code; each string
// is what one round brought, in arrival order. "?" stands for an answer left unsettled.
namespace {

CountAnswers gather(const QStringList &rounds, int roundLimit = 4096)
{
    CountAnswers answers(roundLimit);
    for (const QString &round : rounds) {
        answers.beginRound();
        for (const QChar letter : round)
            answers.add(QByteArray(1, char(letter.unicode())), {{1, {quint64(letter.unicode())}}});
        answers.endRound();
    }
    return answers;
}

QString letters(const CountAnswers::Result &result)
{
    if (!result.settled())
        return QStringLiteral("?");
    QString text;
    for (const CountAnswers::List &list : result.lists)
        text += QChar(char16_t(list.counts.value(0)));
    return text;
}

} // namespace

class TestCountAnswers : public QObject
{
    Q_OBJECT
private slots:
    void answerIsWhatTheRoundsSettle_data()
    {
        QTest::addColumn<QStringList>("rounds");
        QTest::addColumn<QString>("answer");
        // clang-format off
        QTest::newRow("distinct datagrams") << QStringList(8, "AB") << "AB";
        // Alike fixtures: the device's own equal datagrams are all taken ...
        QTest::newRow("alike datagrams") << QStringList(8, "CC") << "CC";
        QTest::newRow("one datagram") << QStringList(8, "C") << "C";
        // ... however often the network copies or loses one of them now and then.
        QTest::newRow("alike, copied in one round") << QStringList{"CC", "CCC", "CC", "CC", "CC", "CC", "CC", "CC", "CC", "CC", "CC", "CC"} << "CC";
        QTest::newRow("alike, lost in one round") << QStringList{"CC", "C", "CC", "CC", "CC", "CC", "CC", "CC", "CC"} << "CC";
        QTest::newRow("copies in some rounds") << QStringList{"AB", "AAB", "AB", "ABB", "AB", "AB", "AB", "AB", "AB", "AB"} << "AB";
        // A round that holds two answers (a request's and a late one) tells nothing.
        QTest::newRow("two answers in one round") << QStringList{"AB", "ABAB", "AB", "AB", "AB", "AB", "AB", "AB"} << "AB";
        QTest::newRow("two answers in three rounds") << QStringList{"ABCDEF", "ABCDEFABCDEF", "ABCDEF", "ABCDEFABCDEF", "ABCDEF", "ABCDEF", "ABCDEFABCDEF", "ABCDEF"} << "ABCDEF";
        // A forged or stray datagram in one round is no part of the answer.
        QTest::newRow("a stray datagram") << QStringList{"AB", "ABX", "AB", "AB", "AB", "AB", "AB", "AB"} << "AB";
        // Rounds that disagree leave the port unsettled: never a guess.
        QTest::newRow("too few rounds") << QStringList(2, "AB") << "?";
        QTest::newRow("alike, rounds disagree") << QStringList{"CC", "C", "CCC", "C", "CC", "CCC"} << "?";
        QTest::newRow("one or two, half and half") << QStringList{"C", "CC", "C", "CC", "C", "CC"} << "?";
        // The order most rounds agree on, pair by pair; in doubt, none.
        QTest::newRow("order swapped in one round") << QStringList{"AB", "BA", "AB", "AB", "AB", "AB", "AB", "AB"} << "AB";
        QTest::newRow("order in doubt") << QStringList{"AB", "BA", "AB", "BA", "AB"} << "?";
        QTest::newRow("alike around another") << QStringList(8, "CAC") << "CAC";
        // clang-format on
    }

    void answerIsWhatTheRoundsSettle()
    {
        QFETCH(QStringList, rounds);
        QFETCH(QString, answer);
        const CountAnswers answers = gather(rounds);
        QVERIFY(answers.hasCounts());
        QCOMPARE(letters(answers.result(3)), answer);
    }

    void floodedRoundsTellNothing()
    {
        // A round that brings more than the limit was flooded: the others settle the answer.
        QStringList rounds(8, "AB");
        rounds.insert(1, QString(20, 'A') + "B");
        const CountAnswers answers = gather(rounds, 8);
        QCOMPARE(answers.rounds(), 8);
        QCOMPARE(letters(answers.result(3)), QStringLiteral("AB"));
        // An unsettled answer names the ports that any datagram counted on.
        CountAnswers unsettled;
        unsettled.notePorts({{4, {1}}});
        QCOMPARE(unsettled.result(1).unsettledPorts, QList<int>{4});
    }
};

QTEST_GUILESS_MAIN(TestCountAnswers)
#include "tst_countanswers.moc"
