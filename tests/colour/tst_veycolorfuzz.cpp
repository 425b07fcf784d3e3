// Random, truncated and mangled colour texts and streams into the parsers. Run under the
// address and undefined-behaviour sanitizers, so a read past a part list or a level array,
// or an undefined conversion, fails the test.

#include "colour/veycolor.h"

#include <QDataStream>
#include <QDebug>
#include <QRandomGenerator>
#include <QTest>

namespace {

int g_messages = 0;

// The parsers warn about every bad text by design; thousands of them would drown the log.
void countMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++g_messages;
}

const QString alphabet = QStringLiteral("aRgbYxyNchanel;;;;#0123456789abcdefABCDEF.-+e \u00e9x");

QStringList seedTexts()
{
    QStringList seeds;
    VeyColor n;
    n.setNChannel({65535, 100, 200, 300, 400, 500}, 2, 24, true);
    n.setYxySourceMark(1);
    VeyColor yxy;
    yxy.setYxy(0.5, 0.3127, 0.329, 4000, 3);
    seeds << VeyColor(Qt::red).toString() << n.toString() << yxy.toString()
          << QStringLiteral("aNchannel;3;6;65535;100;200;300;400;1;0")
          << QStringLiteral("aNchannel;2;0;65535;1;2;3;4;5")
          << QStringLiteral("aRgb;5;7;#ffff000000000000") << QStringLiteral("#80ff00")
          << QStringLiteral("#7fff0000") << QStringLiteral("#123456789abc")
          << QStringLiteral("#0001000200030004") << QStringLiteral("aYxy;2;9;65535;0.5;0.3;0.3")
          << QStringLiteral("aNchannel;-1;-1;99999999999;4294967296;-5;nan;inf")
          << QStringLiteral("aYxy;1;0;65535;nan;inf;-inf") << QStringLiteral("darkred");
    return seeds;
}

QString randomText(QRandomGenerator &rng)
{
    QString text;
    for (int i = int(rng.bounded(40)); i > 0; --i)
        text += alphabet.at(int(rng.bounded(int(alphabet.size()))));
    return text;
}

QString mangle(const QString &seed, QRandomGenerator &rng)
{
    QString text = seed;
    switch (rng.bounded(5)) {
    case 0:
        return text.left(int(rng.bounded(int(text.size()) + 1)));
    case 1:
        if (!text.isEmpty())
            text[int(rng.bounded(int(text.size())))] =
                alphabet.at(int(rng.bounded(int(alphabet.size()))));
        return text;
    case 2:
        text.insert(int(rng.bounded(int(text.size()) + 1)), QLatin1Char(';'));
        return text;
    case 3:
        text.remove(int(rng.bounded(int(text.size()) + 1)), int(rng.bounded(4)));
        return text;
    default:
        return text + QLatin1Char(';') + QString::number(rng.generate64());
    }
}

// Everything a parsed colour offers must be readable without faults.
void exercise(const VeyColor &c, bool textRoundTrip = true)
{
    QVERIFY(c.channelCount() <= VeyColor::MaxChannels || c.spec() != VeyColor::NChannel);
    const QString text = c.toString();
    QVERIFY(c.nChannelValues().size() <= 1 + VeyColor::MaxChannels);
    double all[9];
    c.getNChannelF(all);
    (void)qHash(c);
    QString debugText;
    QDebug(&debugText) << c;
    (void)c.isBlack();
    (void)c.red8();
    (void)c.toHsv();
    (void)c.Y();
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << c;
    }
    // Text keeps 16 bits per word, so only colours that came from text come back equal.
    if (textRoundTrip && (c.spec() == VeyColor::Rgb || c.spec() == VeyColor::NChannel))
        QCOMPARE(VeyColor(text), c);
}

} // namespace

class TestVeyColorFuzz : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(countMessage); }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }
    void randomAndMangledTexts();
};

void TestVeyColorFuzz::randomAndMangledTexts()
{
    QRandomGenerator rng(0xC010u);
    const QStringList seeds = seedTexts();
    const QStringList prefixes = {QStringLiteral("aRgb;"), QStringLiteral("aYxy;"),
                                  QStringLiteral("aNchannel;"), QStringLiteral("#")};
    for (int i = 0; i < 6000; ++i) {
        QString text;
        switch (i % 3) {
        case 0:
            text = randomText(rng);
            break;
        case 1:
            text = prefixes.at(int(rng.bounded(int(prefixes.size())))) + randomText(rng);
            break;
        default:
            text = seeds.at(int(rng.bounded(int(seeds.size()))));
            for (int k = int(rng.bounded(4)); k >= 0; --k)
                text = mangle(text, rng);
            break;
        }
        VeyColor c(Qt::green);
        c.setNamedColor(text);
        exercise(c);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(text));
    }
    QVERIFY(g_messages > 0);
}

QTEST_GUILESS_MAIN(TestVeyColorFuzz)
#include "tst_veycolorfuzz.moc"
