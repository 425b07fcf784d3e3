// DM_TEST_SANITIZE
#include "colour/colourmixing.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

QByteArray randomNumber(QRandomGenerator &rng)
{
    static const char *const odd[] = {"",     "nan", "-inf", "1e999", "-0",        "abc",
                                      "0x10", "1,5", "  3 ", "-1",    "2147483648"};
    if (rng.bounded(4) == 0)
        return odd[rng.bounded(int(std::size(odd)))];
    return QByteArray::number(rng.bounded(-20, 60)) +
           (rng.bounded(2) ? "." + QByteArray::number(rng.bounded(1000)) : QByteArray());
}

QByteArray randomChannel(QRandomGenerator &rng)
{
    QByteArray c = "<Channel";
    static const char *const names[] = {"index", "name", "X", "Y", "Z", "Xn", "Yn", "Zn", "W"};
    const int count = rng.bounded(10);
    for (int i = 0; i < count; ++i) {
        const char *name = names[rng.bounded(int(std::size(names)))];
        const QByteArray value = qstrcmp(name, "index") == 0 && rng.bounded(3)
                                     ? QByteArray::number(rng.bounded(-3, 12))
                                     : randomNumber(rng);
        c += ' ' + QByteArray(name) + "=\"" + value + '"';
    }
    return c + "/>";
}

QByteArray randomDocument(QRandomGenerator &rng)
{
    QByteArray doc = "<?xml version=\"1.0\"?><Profiles>";
    const int profiles = rng.bounded(1, 5);
    for (int p = 0; p < profiles; ++p) {
        const int index = rng.bounded(5) == 0 ? rng.bounded(-5, 70) : rng.bounded(-1, 56);
        doc += "<Profile index=\"" + QByteArray::number(index) + "\" name=\"f\">";
        const int channels = rng.bounded(0, 11);
        for (int c = 0; c < channels; ++c)
            doc += rng.bounded(8) ? randomChannel(rng) : QByteArray("<Other>text</Other>");
        doc += rng.bounded(10) ? "</Profile>" : "";
    }
    return doc + "</Profiles>";
}

void feed(const QByteArray &xml)
{
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    ProfileDatabase::instance()->readProfiles(&buffer);
}

QByteArray mutate(QByteArray doc, QRandomGenerator &rng)
{
    const int edits = rng.bounded(1, 6);
    for (int i = 0; i < edits && !doc.isEmpty(); ++i) {
        const int at = rng.bounded(int(doc.size()));
        switch (rng.bounded(3)) {
        case 0:
            doc[at] = char(rng.bounded(256));
            break;
        case 1:
            doc.remove(at, rng.bounded(1, 20));
            break;
        default:
            doc.insert(at, doc.mid(rng.bounded(int(doc.size())), rng.bounded(1, 40)));
            break;
        }
    }
    return doc;
}

} // namespace

class TestProfileFuzz : public QObject
{
    Q_OBJECT

private slots:
    void randomAndTruncatedDocuments()
    {
        ProfileDatabase::instance();
        QFile resource(QStringLiteral(":/FixtureProfiles.xml"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QByteArray shipped = resource.readAll();

        QRandomGenerator rng(20261206);
        const QtMessageHandler previous = qInstallMessageHandler(quiet);
        for (int i = 0; i < 3000; ++i) {
            const QByteArray doc = randomDocument(rng);
            feed(doc);
            feed(doc.left(rng.bounded(int(doc.size()) + 1)));
            feed(mutate(doc, rng));
        }
        for (int i = 0; i < 500; ++i) {
            feed(shipped.left(rng.bounded(int(shipped.size()) + 1)));
            feed(mutate(shipped, rng));
        }
        qInstallMessageHandler(previous);

        // Whatever was read, every profile stays usable by the mixing.
        for (int id = -1; id <= 55; ++id) {
            for (int set : {0, 1}) {
                const Profile *p = ProfileDatabase::instance()->profile(id, 1, set);
                QVERIFY(p->channelCount() <= Profile::MaxChannels);
                QCOMPARE(p->gamutPoints().size(), 3);
                for (double v : p->xValues() + p->yValues() + p->zValues())
                    QVERIFY(qIsFinite(v));
                for (int colourType = 1; colourType <= 11; ++colourType) {
                    double levels[maxMixChannels];
                    const double target[3] = {1.0, 0.33, 0.33};
                    xyYToChannelLevels(target, levels, colourType, id, set, true, {0.5, 1});
                    for (int c = 0; c < channelCountForColorType(colourType); ++c)
                        QVERIFY(qIsFinite(levels[c]));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestProfileFuzz)
#include "tst_profilefuzz.moc"
