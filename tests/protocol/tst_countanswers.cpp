#include "protocol/countanswers.h"

#include <QtTest>

// A round is a string of datagrams separated by '|'; a capital letter is a fixture on port 1
// counting its letter's code in lights, a small letter one on port 2. A round "-" brought
// nothing, "~" never went quiet, and one starting with '*' may hold several answers.
// The answer gives port 1's letters, '/' and port 2's; a port left unsettled stands as
// "?D" (disagreed), "?T" (too many lights), "?U" (unanswered) or "?E" (endless); a port taken
// unchecked from one answer ends in '!'.
namespace {

using End = CountAnswers::RoundEnd;

QList<CountAnswers::List> datagram(const QString &letters)
{
    QList<CountAnswers::List> lists;
    for (const QChar letter : letters) {
        const int port = letter.isUpper() ? 1 : 2;
        lists.append(CountAnswers::List{port, {quint64(letter.toUpper().unicode())}});
    }
    return lists;
}

CountAnswers gather(const QStringList &rounds, int valueLimit = 4096)
{
    CountAnswers answers(512, valueLimit);
    for (QString round : rounds) {
        answers.beginRound();
        End end = End::Answered;
        if (round == QLatin1String("-"))
            end = End::Unanswered;
        else if (round == QLatin1String("~"))
            end = End::Endless;
        else if (round.startsWith('*'))
            end = End::Overlapped;
        round.remove(QRegularExpression(QStringLiteral("[-~*]")));
        for (const QString &letters : round.split('|', Qt::SkipEmptyParts))
            answers.add(datagram(letters));
        answers.endRound(end);
    }
    return answers;
}

QString portText(const CountAnswers::Result &result, int port)
{
    if (result.unsettled.contains(port))
        return QStringLiteral("?") + QStringLiteral("DTUE").at(int(result.unsettled[port]));
    QString text;
    for (const CountAnswers::List &list : result.lists) {
        for (const quint64 count : list.counts) {
            if (list.port == port)
                text += port == 1 ? QChar(char16_t(count)) : QChar(char16_t(count)).toLower();
        }
    }
    return result.unchecked.contains(port) ? text + '!' : text;
}

QString answerOf(const CountAnswers &answers)
{
    const CountAnswers::Result result = answers.result(true);
    const QString second = portText(result, 2);
    return second.isEmpty() ? portText(result, 1) : portText(result, 1) + '/' + second;
}

} // namespace

class TestCountAnswers : public QObject
{
    Q_OBJECT
private slots:
    void answerIsWhatTheRoundsSettle_data()
    {
        QTest::addColumn<QStringList>("rounds");
        QTest::addColumn<bool>("settledEarly"); // before the last round, no more asked
        QTest::addColumn<QString>("answer");
        // clang-format off
        QTest::newRow("four alike answers") << QStringList(4, "AB") << true << "AB";
        QTest::newRow("three alike answers") << QStringList(3, "AB") << false << "?D";
        // Equal lists within one datagram go and come together: no more rounds for them.
        QTest::newRow("alike lists in one datagram") << QStringList(4, "CC") << true << "CC";
        // How a device packs its lists is its own, and may change from answer to answer.
        QTest::newRow("packing changes") << QStringList{"AB|ab", "A|B|a|b", "ABa|b", "A|Bab"} << true << "AB/ab";
        QTest::newRow("two ports in one datagram, then two") << QStringList{"AAAbb", "AAA|bb", "AAAbb", "AAA|bb"} << true << "AAA/bb";
        // One answer settles nothing ...
        QTest::newRow("one answer") << QStringList{"AB"} << false << "?D";
        // ... unless the device falls silent after it: taken as it came, said to be unchecked.
        QTest::newRow("one answer, then silence") << QStringList{"AB", "-", "-"} << false << "AB!";
        QTest::newRow("answers agree, then silence") << QStringList{"AB", "-", "AB", "-", "-"} << false << "AB!";
        QTest::newRow("settled, then silence") << QStringList{"AB", "AB", "-", "AB", "AB", "-", "-"} << true << "AB";
        QTest::newRow("answers disagree, then silence") << QStringList{"AB", "A", "-", "-"} << false << "?U";
        QTest::newRow("nothing but the scan's overlapping answers") << QStringList{"*AB|AB", "-", "-"} << false << "?U";
        // Overlapping answers only name ports.
        QTest::newRow("overlapping answers, then three") << QStringList{"*AB|AB", "AB", "AB", "AB", "AB"} << true << "AB";
        // Noise: a round's error is its own, so six rounds and three times as many outvote it ...
        QTest::newRow("copied in one round") << QStringList{"AB", "AB|AB", "AB", "AB", "AB", "AB", "AB"} << true << "AB";
        QTest::newRow("lost in one round") << QStringList{"A|B", "A", "A|B", "A|B", "A|B", "A|B", "A|B"} << true << "AB";
        QTest::newRow("two answers in one round") << QStringList{"AB", "ABAB", "AB", "AB", "AB", "AB", "AB"} << true << "AB";
        QTest::newRow("a stray datagram") << QStringList{"AB", "AB|X", "AB", "AB", "AB", "AB", "AB"} << true << "AB";
        QTest::newRow("order swapped in one round") << QStringList{"A|B", "B|A", "A|B", "A|B", "A|B", "A|B", "A|B"} << true << "AB";
        QTest::newRow("two errors in eight") << QStringList{"A|B", "A", "A|B", "B|A", "A|B", "A|B", "A|B", "A|B"} << true << "AB";
        // ... but not fewer: an error common enough to come often may lead early.
        QTest::newRow("one error, five right") << QStringList{"A|B", "A", "A|B", "A|B", "A|B", "A|B"} << false << "?D";
        QTest::newRow("the same loss four times") << QStringList{"A|B", "A", "A", "A", "A"} << false << "?D";
        QTest::newRow("three errors in nine") << QStringList{"A|B", "A", "A|B", "A", "A|B", "B|A", "A|B", "A|B", "A|B"} << false << "?D";
        QTest::newRow("order in doubt") << QStringList{"A|B", "B|A", "A|B", "B|A", "A|B"} << false << "?D";
        // Alike datagrams: losing or copying any one of them gives the same wrong list, so
        // only five answers that all agree, on a link that shows no errors, are taken.
        QTest::newRow("alike datagrams, five answers") << QStringList(5, "C|C") << true << "CC";
        QTest::newRow("alike datagrams, three answers") << QStringList(3, "C|C") << false << "?D";
        QTest::newRow("alike datagrams, copied in one round") << QStringList{"C|C", "C|C|C", "C|C", "C|C", "C|C", "C|C", "C|C"} << false << "?D";
        QTest::newRow("alike datagrams, lost in one round") << QStringList{"C|C", "C", "C|C", "C|C", "C|C", "C|C", "C|C"} << false << "?D";
        QTest::newRow("alike datagrams, another port shows errors") << QStringList{"C|C|a", "C|C|a", "C|C", "C|C|a", "C|C|a", "C|C|a", "C|C|a"} << false << "?D/a";
        QTest::newRow("alike around another") << QStringList(5, "C|A|C") << true << "CAC";
        // A port that an answer showed is never left without lights in silence.
        QTest::newRow("a port lost in most rounds") << QStringList{"A|a", "A", "A", "A", "A", "A", "A"} << true << "A/?D";
        QTest::newRow("a port in the scan's answers only") << QStringList{"*A|a", "A", "A", "A", "A"} << true << "A/?D";
        // More lights than a port holds is its own reason; the other port is counted.
        QTest::newRow("too many lights") << QStringList(4, "ZZZZZZa") << true << "?T/a";
        QTest::newRow("too many lights, disagreeing") << QStringList{"ZZZZZZ", "ZZZZZZZ", "ZZZZZZ"} << false << "?T";
        // A stream tells nothing, nor does a flooded round.
        QTest::newRow("endless") << QStringList{"AB", "~"} << false << "?E";
        QTest::newRow("flooded round") << QStringList{"AB", "AAAAAAAAAAB", "AB", "AB", "AB"} << true << "AB";
        // clang-format on
    }

    void answerIsWhatTheRoundsSettle()
    {
        QFETCH(QStringList, rounds);
        QFETCH(bool, settledEarly);
        QFETCH(QString, answer);
        const CountAnswers answers = gather(rounds, 8);
        QVERIFY(answers.hasCounts());
        QCOMPARE(answerOf(answers), answer);
        // Settled only where the rounds themselves settle it, not by the end alone.
        QCOMPARE(answers.isSettled(), settledEarly);
    }
};

QTEST_GUILESS_MAIN(TestCountAnswers)
#include "tst_countanswers.moc"
