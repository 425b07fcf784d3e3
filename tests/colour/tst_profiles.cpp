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

    void idZeroResolvesByColourType()
    {
        ProfileDatabase *db = ProfileDatabase::instance();
        for (int set : {0, 1}) {
            QCOMPARE(db->profile(0, 2, set), db->profile(1, 0, set));
            QCOMPARE(db->profile(0, 5, set), db->profile(2, 0, set));
            QCOMPARE(db->profile(0, 3, set), db->profile(3, 0, set));
            QCOMPARE(db->profile(0, 1, set)->id(), 0);
            QCOMPARE(db->profile(0, 1, set)->xValues(),
                     (QList<double>{0.4123152, 0.35765, 0.18025}));
        }
        QVERIFY(db->profile(5, 0, 0) != db->profile(5, 0, 1));
    }

    void unknownIdsGetTheFallback()
    {
        ProfileDatabase *db = ProfileDatabase::instance();
        for (int id : {60, -3}) {
            for (int set : {0, 1}) {
                Profile *p = db->profile(id, 4, set);
                QCOMPARE(p->id(), id);
                QCOMPARE(p->channelNames(),
                         (QStringList{QStringLiteral("Red"), QStringLiteral("Green"),
                                      QStringLiteral("Blue")}));
                QCOMPARE(p->yValues(), (QList<double>{0.2126, 0.7153, 0.0721}));
                QCOMPARE(db->profile(id, 1, set), p);
            }
        }
    }

    void builtInOnlyEntries()
    {
        // Ids the resource does not list keep the built-in numbers.
        QCOMPARE(profile(4, 0)->channelCount(), 1);
        QCOMPARE(profile(4, 0)->xValues(), (QList<double>{3582, 3743, 4277}));
        QCOMPARE(profile(27, 0)->channelNames(),
                 (QStringList{QStringLiteral("Warm"), QStringLiteral("Cool")}));
        QCOMPARE(profile(29, 0)->zValues(), (QList<double>{1034, 2338, 4922}));
        QCOMPARE(profile(23, 1)->yValues(), (QList<double>{399.742, 740.799, 218.093, 481.519}));
        QCOMPARE(profile(24, 1)->xValues(), (QList<double>{4677, 629, 2150, 2532, 2749}));
        QCOMPARE(profile(24, 0)->zValues(),
                 (QList<double>{54.6624, 358.209, 3191.3182, 31.6935, 1502.5862}));
    }

    void resourceEntries()
    {
        QCOMPARE(profile(26, 0)->yValues(), (QList<double>{3209, 3722, 4496}));
        QCOMPARE(profile(40, 0)->xValues(), (QList<double>{1217.73, 1081.17, 1009.82, 968.489}));
        QCOMPARE(profile(1, 1)->zValues(), (QList<double>{0, 200, 12781, 32, 1503}));
        QCOMPARE(profile(33, 0)->channelNames().at(2), QStringLiteral("Royal-Blue"));
        QCOMPARE(profile(38, 0)->channelCount(), 4);
        QCOMPARE(profile(39, 1)->channelNames().at(3), QStringLiteral("White"));
        // Id 3 has no n-values in the resource: set 1 keeps the built-in values, those of id 6.
        QCOMPARE(profile(3, 1)->xValues().size(), 4);
        QVERIFY(profile(3, 1)->xValues() != profile(3, 0)->xValues());
    }

    void gamutIsTheSetOneTriangle()
    {
        const Profile *p = profile(0, 0);
        const QList<QPointF> &points = p->gamutPoints();
        QCOMPARE(points.size(), 3);
        const Profile *source = profile(0, 1);
        for (int i = 0; i < 3; ++i) {
            const double sum = source->xAt(i) + source->yAt(i) + source->zAt(i);
            QCOMPARE(points.at(i).x(), source->xAt(i) / sum);
            QCOMPARE(points.at(i).y(), source->yAt(i) / sum);
        }
        QCOMPARE(p->gamutPolygon().size(), 3);
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

    void shortListsReadZero()
    {
        const Profile *p = profile(4, 0);
        QCOMPARE(p->xAt(3), 0.0);
        QCOMPARE(p->xAt(-1), 0.0);
        QCOMPARE(p->yAt(Profile::MaxChannels), 0.0);
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

    void readerDropsNonFiniteValues()
    {
        QVERIFY(readXml(R"(<Profiles><Profile index="50">
            <Channel index="0" X="nan" Y="inf" Z="1e999"/>
            <Channel index="1" X="1" Y="1" Z="1"/><Channel index="2" X="2" Y="2" Z="2"/>
            </Profile></Profiles>)"));
        QCOMPARE(profile(50, 0)->xValues(), (QList<double>{0, 1, 2}));
        QCOMPARE(profile(50, 0)->yValues(), (QList<double>{0, 1, 2}));
        QCOMPARE(profile(50, 0)->zValues(), (QList<double>{0, 1, 2}));
    }

    void readerIndexLimits()
    {
        QVERIFY(readXml(R"(<Profiles><Profile index="55">
            <Channel index="0" X="1" Y="1" Z="1"/><Channel index="1" X="1" Y="1" Z="1"/>
            <Channel index="2" X="1" Y="2" Z="1"/></Profile></Profiles>)"));
        QCOMPARE(ProfileDatabase::instance()->profile(55, 1, 0)->yValues(),
                 (QList<double>{1, 1, 2}));
        // Set 1 of id 55 was created from the fallback on the way.
        QCOMPARE(ProfileDatabase::instance()->profile(55, 1, 1)->yValues(),
                 (QList<double>{0.2126, 0.7153, 0.0721}));

        QTest::ignoreMessage(QtDebugMsg, "invalid profile definition");
        QVERIFY(!readXml(R"(<Profiles><Profile index="56">
            <Channel index="0" X="1" Y="1" Z="1"/></Profile>
            <Profile index="52"><Channel index="0" X="9" Y="9" Z="9"/></Profile></Profiles>)"));
        QVERIFY(profile(52, 0)->xValues().first() != 9.0);
    }

    void shortProfileReadsZeroBeyondItsChannels()
    {
        QVERIFY(readXml(R"(<Profiles><Profile index="53">
            <Channel index="0" X="1" Y="1" Z="1"/><Channel index="1" X="1" Y="2" Z="1"/>
            </Profile></Profiles>)"));
        const Profile *p = profile(53, 0);
        QCOMPARE(p->channelCount(), 2);
        QCOMPARE(p->xAt(2), 0.0);
        QCOMPARE(p->xAt(3), 0.0);
        QCOMPARE(p->gamutPoints().size(), 3);
        // Colour type 3 reads four channels of fixture 53: the two missing ones give nothing.
        double levels[5] = {};
        const double target[3] = {1.0, 0.3, 0.4};
        xyYToChannelLevels(target, levels, 3, 53, 0, true, {});
        for (double level : levels)
            QVERIFY(qIsFinite(level));
    }
};

QTEST_GUILESS_MAIN(TestProfiles)
#include "tst_profiles.moc"
