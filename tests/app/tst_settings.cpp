#include "support/apptestsupport.h"

#include "app/appsettings.h"
#include "app/mrulist.h"
#include "app/windowgeometry.h"

#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QTreeWidget>
#include <QtTest>

namespace {
QStringList storedRecentMaps(const QString &prefix = "/recentmap")
{
    QSettings settings;
    QStringList files;
    for (int i = 0; i < 20; ++i) {
        const QString key = prefix + QString::number(i);
        if (settings.contains(key))
            files << QString::number(i) + "=" + settings.value(key).toString();
    }
    return files;
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QSettings().clear(); }
    void badStoredValuesFallBack_data();
    void badStoredValuesFallBack();
    void recentListOrdersAndCaps();
};

void TestSettings::initTestCase()
{
    isolateTestEnvironment();
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("Dallowmere");
}

void TestSettings::badStoredValuesFallBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("rate 0") << "/frame_rate" << QVariant(0) << 10;
    QTest::newRow("rate negative") << "/frame_rate" << QVariant(-3) << 10;
    QTest::newRow("rate above range") << "/frame_rate" << QVariant(101) << 10;
    QTest::newRow("rate text") << "/frame_rate" << QVariant("fast") << 10;
    QTest::newRow("rate lowest") << "/frame_rate" << QVariant(1) << 1;
    QTest::newRow("rate highest") << "/frame_rate" << QVariant(100) << 100;
    QTest::newRow("grid 5") << "/grid" << QVariant(5) << 12;
    QTest::newRow("grid 150") << "/grid" << QVariant(150) << 150;
    QTest::newRow("recent 0") << "/num_recent_maps" << QVariant(0) << 5;
    QTest::newRow("recent 10") << "/num_recent_maps" << QVariant(10) << 5;
    QTest::newRow("recent 9") << "/num_recent_maps" << QVariant(9) << 9;
    QTest::newRow("width text") << "/canvas_width" << QVariant("wide") << 10000;
}

void TestSettings::badStoredValuesFallBack()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(int, expected);
    QSettings().setValue(key, stored);
    const AppSettings s = AppSettings::read();
    const int actual = key == "/frame_rate"        ? s.frameRate
                       : key == "/grid"            ? s.gridSpacing
                       : key == "/num_recent_maps" ? s.recentMapCount
                                                   : s.canvasWidth;
    QCOMPARE(actual, expected);
    QVERIFY(s.frameInterval() > 0);
}

void TestSettings::recentListOrdersAndCaps()
{
    MRUList list("/recentmap", 3);
    QVERIFY(list.files().isEmpty());
    list.addFile("/m/a.map");
    list.addFile("/m/b.map");
    list.addFile("/m/a.map");
    QCOMPARE(list.files(), QStringList({"/m/a.map", "/m/b.map"}));
    // Exact, case-sensitive comparison: another spelling is another file.
    list.addFile("/m/A.map");
    QCOMPARE(list.files(), QStringList({"/m/A.map", "/m/a.map", "/m/b.map"}));
    list.addFile("/m/c.map");
    QCOMPARE(list.files(), QStringList({"/m/c.map", "/m/A.map", "/m/a.map"}));
    QCOMPARE(storedRecentMaps(), QStringList({"0=/m/c.map", "1=/m/A.map", "2=/m/a.map"}));

    MRUList reread("/recentmap", 3);
    QCOMPARE(reread.files(), list.files());
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
