#include "protocol/countanswers.h"

#include <QtTest>

// Each letter is a datagram of one list of counts on port 1, its letter's code; "T" ends the
// answer. A copy of the request is what arrived for it, in arrival order.
namespace {

CountAnswers gather(const QStringList &copies)
{
    CountAnswers answers;
    for (int request = 0; request < copies.size(); ++request) {
        for (const QChar letter : copies.at(request)) {
            if (answers.addDatagram(QByteArray(1, char(letter.unicode())), letter == 'T',
                                    request + 1))
                answers.addList(1, {quint64(letter.unicode())});
        }
    }
    return answers;
}

QString letters(const QList<CountAnswers::List> &lists)
{
    QString text;
    for (const CountAnswers::List &list : lists)
        text += QChar(char16_t(list.counts.value(0)));
    return text;
}

} // namespace

class TestCountAnswers : public QObject
{
    Q_OBJECT
private slots:
    void answerIsWhatTheCopiesAgreeOn_data()
    {
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("answer");
        // clang-format off
        QTest::newRow("distinct datagrams") << QStringList(5, "ABT") << 5 << "ABT";
        // Alike fixtures: the device's own equal datagrams are all taken.
        QTest::newRow("alike datagrams") << QStringList(5, "CCT") << 5 << "CCT";
        QTest::newRow("answered once") << QStringList{"CCT"} << 1 << "CCT";
        QTest::newRow("a copy doubled by the network") << QStringList{"ABT", "AABT", "ABT", "ABBT", "ABT"} << 5 << "ABT";
        // Nothing went missing: the network only added copies, even to most answers.
        QTest::newRow("doubled in four answers of five") << QStringList{"ABBT", "ABBT", "ABT", "ABBT", "ABBT"} << 5 << "ABT";
        QTest::newRow("every datagram three times") << QStringList(5, "AAABBBTTT") << 5 << "ABT";
        QTest::newRow("alike, every datagram three times") << QStringList(5, "CCCCCCTTT") << 5 << "CCT";
        // A datagram a copy lost comes from the others, in its place.
        QTest::newRow("first datagram lost once") << QStringList{"BT", "ABT", "ABT"} << 3 << "ABT";
        QTest::newRow("last datagram lost once") << QStringList{"AB", "ABT", "ABT"} << 3 << "ABT";
        // Datagrams went missing: a copy with fewer alike datagrams lost some.
        QTest::newRow("alike, lost in three answers") << QStringList{"CT", "CCT", "C", "CT", "CCT"} << 5 << "CCT";
        QTest::newRow("alike, a request unanswered") << QStringList{"CCT", "CT", "CT", "CCT"} << 5 << "CCT";
        // Both: what most copies agree on.
        QTest::newRow("alike, lost and copied") << QStringList{"CCT", "CCTT", "C", "CCT", "CCCT"} << 5 << "CCT";
        // clang-format on
    }

    void answerIsWhatTheCopiesAgreeOn()
    {
        QFETCH(QStringList, copies);
        QFETCH(int, sent);
        QFETCH(QString, answer);
        const CountAnswers answers = gather(copies);
        QVERIFY(answers.hasCounts());
        QCOMPARE(letters(answers.answer(sent)), answer);
    }

    void datagramsAreBounded()
    {
        CountAnswers answers;
        for (int i = 0; i < CountAnswers::MaxDatagrams; ++i)
            QVERIFY(answers.addDatagram(QByteArray::number(i), false, 1));
        QVERIFY(!answers.addDatagram("one more", true, 1));
        answers.addList(1, {1});
        QVERIFY(!answers.hasCounts());
    }
};

QTEST_GUILESS_MAIN(TestCountAnswers)
#include "tst_countanswers.moc"
