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
    void defaultsFromAnEmptyStore();
    void badStoredValuesFallBack_data();
    void badStoredValuesFallBack();
    void preferencesRoundTrip();
    void recentListOrdersAndCaps();
    void recentListSaveRemovesTrailingKeys();
    void recentListReadsTheConfiguredCount();
    void recentListSkipsEmptyEntriesAndNamesItsPrefix();
    void geometryRoundTrip();
    void geometryDefaultsLeaveWindowAlone();
};

void TestSettings::initTestCase()
{
    isolateTestEnvironment();
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("Dallowmere");
}

void TestSettings::defaultsFromAnEmptyStore()
{
    const AppSettings s = AppSettings::read();
    QCOMPARE(s.mapFolder, QString("./"));
    QVERIFY(s.showGrid);
    QVERIFY(s.snapToGrid);
    QCOMPARE(s.canvasWidth, 10000);
    QCOMPARE(s.canvasHeight, 10000);
    QCOMPARE(s.gridSpacing, 12);
    QCOMPARE(s.zoom, 10);
    QVERIFY(s.recentMapsEnabled);
    QCOMPARE(s.recentMapCount, 5);
    QVERIFY(s.livePlay);
    QCOMPARE(s.frameRate, 10);
    QCOMPARE(s.frameInterval(), 100);
    QCOMPARE(AppSettings::readRecentMapCount(), 5);
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

void TestSettings::preferencesRoundTrip()
{
    AppSettings s;
    s.mapFolder = "/maps/site";
    s.showGrid = false;
    s.snapToGrid = false;
    s.canvasWidth = 20000;
    s.canvasHeight = 30000;
    s.gridSpacing = 40;
    s.zoom = 3;
    s.recentMapsEnabled = false;
    s.recentMapCount = 8;
    s.livePlay = false;
    s.frameRate = 25;
    s.write();
    const AppSettings r = AppSettings::read();
    QCOMPARE(r.mapFolder, s.mapFolder);
    QCOMPARE(r.showGrid, false);
    QCOMPARE(r.snapToGrid, false);
    QCOMPARE(r.canvasWidth, 20000);
    QCOMPARE(r.canvasHeight, 30000);
    QCOMPARE(r.gridSpacing, 40);
    QCOMPARE(r.zoom, 3);
    QCOMPARE(r.recentMapsEnabled, false);
    QCOMPARE(r.recentMapCount, 8);
    QCOMPARE(r.livePlay, false);
    QCOMPARE(r.frameRate, 25);
    QCOMPARE(r.frameInterval(), 40);
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

void TestSettings::recentListSaveRemovesTrailingKeys()
{
    MRUList list("/recentmap", 5);
    for (const char *f : {"e", "d", "c", "b", "a"})
        list.addFile(f);
    QCOMPARE(list.files(), QStringList({"a", "b", "c", "d", "e"}));

    // A failed open drops its path; the entries behind it move up one key.
    list.removeFile("b");
    QCOMPARE(storedRecentMaps(), QStringList({"0=a", "1=c", "2=d", "3=e"}));

    list.setMaximum(2);
    QCOMPARE(list.files(), QStringList({"a", "c"}));
    QCOMPARE(storedRecentMaps(), QStringList({"0=a", "1=c"}));

    list.removeFile("not there");
    QCOMPARE(list.files(), QStringList({"a", "c"}));
}

void TestSettings::recentListReadsTheConfiguredCount()
{
    // Nine entries written by an earlier run with the count set to 9 all come back when the
    // count is read before the list.
    QSettings settings;
    settings.setValue("/num_recent_maps", 9);
    for (int i = 0; i < 9; ++i)
        settings.setValue("/recentmap" + QString::number(i), QString("map%1.map").arg(i));
    settings.sync();
    MRUList list("/recentmap", AppSettings::readRecentMapCount());
    QCOMPARE(list.files().size(), 9);
    QCOMPARE(list.files().last(), QString("map8.map"));
    list.save();
    QCOMPARE(storedRecentMaps().size(), 9);
}

void TestSettings::recentListSkipsEmptyEntriesAndNamesItsPrefix()
{
    QSettings settings;
    settings.setValue("/recentmap0", "x.map");
    settings.setValue("/recentmap1", "");
    settings.setValue("/recentmap2", "y.map");
    MRUList list("/recentmap", 5);
    QCOMPARE(list.files(), QStringList({"x.map", "y.map"}));

    MRUList unnamed("", 5);
    QCOMPARE(unnamed.prefix(), QString("MRUList"));
    unnamed.addFile("z.map");
    QCOMPARE(settings.value("MRUList0").toString(), QString("z.map"));

    MRUList none("/recentmap", 0);
    QVERIFY(none.files().isEmpty());
}

void TestSettings::geometryRoundTrip()
{
    QTreeWidget *tree = nullptr;
    {
        QMainWindow window;
        auto *splitter = new QSplitter(&window);
        for (int i = 0; i < 3; ++i)
            splitter->addWidget(new QWidget);
        window.setCentralWidget(splitter);
        window.move(40, 50);
        window.resize(900, 700);
        window.show();
        splitter->setSizes({100, 200, 600});
        tree = new QTreeWidget(&window);
        tree->setColumnCount(3);
        tree->setColumnWidth(0, 500);
        tree->setColumnWidth(1, 70);
        tree->setColumnWidth(2, 90);
        const QList<int> sizes = splitter->sizes();
        WindowGeometry::write(&window, splitter, tree);

        QSettings settings;
        QCOMPARE(settings.value("/appmaximized").toBool(), false);
        QCOMPARE(settings.value("/appwidth").toInt(), 900);
        QCOMPARE(settings.value("/appheight").toInt(), 700);
        QCOMPARE(settings.value("/splitterwidth0").toInt(), sizes.at(0));
        QCOMPARE(settings.value("/splitterwidth2").toInt(), sizes.at(2));
        QCOMPARE(settings.value("/lightviewcolwidth1").toInt(), 70);
    }

    QMainWindow window;
    auto *splitter = new QSplitter(&window);
    for (int i = 0; i < 3; ++i)
        splitter->addWidget(new QWidget);
    window.setCentralWidget(splitter);
    WindowGeometry::restore(&window, splitter);
    QCOMPARE(window.size(), QSize(900, 700));
    QCOMPARE(window.pos(), QPoint(40, 50));
    const QSettings settings;
    QCOMPARE(splitter->sizes().size(), 3);
    tree = new QTreeWidget(&window);
    tree->setColumnCount(3);
    WindowGeometry::restoreColumnWidths(tree);
    QCOMPARE(tree->columnWidth(1), 70);
    QCOMPARE(tree->columnWidth(2), 90);

    // A window closed maximised comes back maximised.
    window.showMaximized();
    WindowGeometry::write(&window, splitter, tree);
    QVERIFY(QSettings().value("/appmaximized").toBool());
    QMainWindow next;
    WindowGeometry::restore(&next, nullptr);
    QVERIFY(next.isMaximized());
}

void TestSettings::geometryDefaultsLeaveWindowAlone()
{
    QMainWindow window;
    window.resize(600, 400);
    auto *splitter = new QSplitter(&window);
    for (int i = 0; i < 3; ++i)
        splitter->addWidget(new QWidget);
    window.setCentralWidget(splitter);
    WindowGeometry::restore(&window, splitter);
    QCOMPARE(window.size(), QSize(600, 400));
    QVERIFY(!window.isMaximized());
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.setColumnWidth(1, 33);
    WindowGeometry::restoreColumnWidths(&tree);
    QCOMPARE(tree.columnWidth(1), 33);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
