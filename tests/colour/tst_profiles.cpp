#include "colour/colourmixing.h"
#include "colour/fixturetypetable.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"

#include "colourtablesdigest.h"

#include <QBuffer>
#include <QtTest>

namespace {

bool readXml(const QByteArray &xml)
{
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    return ProfileDatabase::instance()->readProfiles(&buffer);
}

Profile *profile(int id, int set)
{
    return ProfileDatabase::instance()->profile(id, colorTypeOfFixture(id), set);
}

} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // This executable reaches the tables through the profile database first.
        QVERIFY(ProfileDatabase::instance());
        QCOMPARE(colourTablesDigest(), QByteArray(expectedColourTablesDigest));
    }

    void clampToGamut()
    {
        const Profile *p = profile(0, 0);
        double x = 0, y = 0;
        QVERIFY(p->clampToGamut(0.3127, 0.329, &x, &y));
        QCOMPARE(x, 0.3127);
        QCOMPARE(y, 0.329);
        const QPointF red = p->gamutPoints().at(0);
        QVERIFY(!p->clampToGamut(0.8, 0.3, &x, &y));
        QCOMPARE(QPointF(x, y), red);
        // Beyond the green-blue edge: lands on that edge.
        QVERIFY(!p->clampToGamut(0.05, 0.3, &x, &y));
        const QPointF g = p->gamutPoints().at(1), b = p->gamutPoints().at(2);
        const double cross = (g.x() - b.x()) * (y - b.y()) - (g.y() - b.y()) * (x - b.x());
        QVERIFY(qAbs(cross) < 1e-12);
    }

    void readerReplacesListedProfiles()
    {
        Profile *before1 = profile(48, 1);
        const QList<double> set1 = before1->xValues();
        QVERIFY(readXml(R"(<Profiles><Profile index="48" name="m">
            <Channel index="0" name="A" X="1" Y="2" Z="3"/>
            <Channel Z="6" Y="5" X="4" name="B" index="1"/>
            <Channel index="2" name="C" X="7" Y="8" Z="bad"/>
            </Profile></Profiles>)"));
        QCOMPARE(profile(48, 0)->xValues(), (QList<double>{1, 4, 7}));
        QCOMPARE(profile(48, 0)->zValues(), (QList<double>{3, 6, 0}));
        QCOMPARE(profile(48, 0)->channelNames(),
                 (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        // Without n-values set 1 is left alone, names included.
        QCOMPARE(profile(48, 1), before1);
        QCOMPARE(profile(48, 1)->xValues(), set1);
        QCOMPARE(profile(48, 1)->channelNames().first(), QStringLiteral("Red"));

        QVERIFY(readXml(R"(<Profiles><Profile index="48">
            <Channel index="0" X="1" Y="1" Z="1" Xn="2" Yn="3" Zn="4"/>
            <Channel index="1" X="1" Y="2" Z="1" Xn="5" Yn="6" Zn="7"/>
            <Channel index="2" X="1" Y="3" Z="1" Xn="8" Yn="9"/>
            </Profile></Profiles>)"));
        // A channel lacking one of the three n-values keeps its set-0 values in set 1.
        QCOMPARE(profile(48, 1)->xValues(), (QList<double>{2, 5, 1}));
        QCOMPARE(profile(48, 1)->yValues(), (QList<double>{3, 6, 3}));
    }

    void readerRejectsBadChannelIndexes()
    {
        const QList<double> before = profile(49, 0)->xValues();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("skipping profile 49"));
        QVERIFY(readXml(R"(<Profiles><Profile index="49">
            <Channel index="0" X="1" Y="1" Z="1"/><Channel index="1" X="1" Y="1" Z="1"/>
            <Channel index="9" X="1" Y="1" Z="1"/></Profile></Profiles>)"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("skipping profile 49"));
        QVERIFY(readXml(R"(<Profiles><Profile index="49">
            <Channel index="0" X="1" Y="1" Z="1"/><Channel index="2" X="1" Y="1" Z="1"/>
            </Profile></Profiles>)"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("skipping profile 49"));
        QVERIFY(readXml(R"(<Profiles><Profile index="49">
            <Channel index="-1" X="1" Y="1" Z="1"/></Profile></Profiles>)"));
        QCOMPARE(profile(49, 0)->xValues(), before);
    }
};

QTEST_GUILESS_MAIN(TestProfiles)
#include "tst_profiles.moc"
