// The File menu end to end: a failed save keeps the old file, the save question before Open
// with every answer, and the recent-map list and its menu.
#include "support/apptestsupport.h"

#include "app/layoutview.h"
#include "app/lightview.h"
#include "app/metatool.h"
#include "app/mrulist.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QAction *action(MetaTool &w, const char *name)
{
    return w.findChild<QAction *>(name);
}

QStringList menuTexts(MetaTool &w)
{
    QStringList texts;
    for (QAction *a : w.recentMapsMenu()->actions())
        texts << a->text();
    return texts;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Gives the window's map one interface and one light and marks it changed, as an edit would.
void editMap(MetaTool &w, const QString &lightName = "Edited")
{
    DataSupply *ds = addInterface(w.mapModel(), "Edit Interface", QHostAddress("127.0.0.9"), 1);
    addLight(w.mapModel(), ds, lightName, 0, 0, QPointF(50, 50));
    w.setDirty(true);
}

bool hasLightNamed(MetaTool &w, const QString &name)
{
    for (Light *light : w.mapModel()->lights())
        if (light->name() == name)
            return true;
    return false;
}
} // namespace

class TestMapFileCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void failedSaveKeepsOldFileAndMark();
    void openWithEveryAnswer();
    void savedMapIsCleanForNew();
    void oversizedMapGetsNotice_data();
    void oversizedMapGetsNotice();
    void recentMenuOrdersAndPrunes();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestMapFileCommands::initTestCase()
{
    isolateTestEnvironment();
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("Dallowmere");
    QVERIFY(m_dir.isValid());
    QVERIFY(writeSampleMap(path("a.map")));
    QVERIFY(writeSampleMap(path("b.map")));
    QFile blocker(path("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("a file, so nothing can be saved below it");
}

void TestMapFileCommands::init()
{
    QSettings().clear();
    // Live output has a test of its own; here the frames stay inside the window.
    QSettings().setValue("/live_play", false);
}

void TestMapFileCommands::failedSaveKeepsOldFileAndMark()
{
    ScriptedPrompt prompt;
    MetaTool w;
    QVERIFY(QFile::copy(path("a.map"), path("kept.map")));
    w.openMap(path("kept.map"));
    const QByteArray before = contentsOf(path("kept.map"));
    w.mapModel()->lights().begin().value()->setName("Unsaved");
    QVERIFY(w.getDirty());

    // Save As below a file cannot be written: the old file and the mark stay.
    prompt.fileNames << path("blocker/plan");
    action(w, "saveMapAsAction")->trigger();
    QCOMPARE(prompt.lastTitle(), QString("Save Failed"));
    QCOMPARE(prompt.lastText(), "Unable to save file " + path("blocker/plan.map") + ".");
    QCOMPARE(w.currentFile(), path("kept.map"));
    QVERIFY(w.getDirty());
    QCOMPARE(contentsOf(path("kept.map")), before);
    QCOMPARE(w.recentMaps().files(), QStringList({path("kept.map")}));

    // Save of a map without a file: the chosen name stays current, still marked.
    MetaTool fresh;
    editMap(fresh);
    prompt.fileNames << path("blocker/other");
    action(fresh, "saveMapAction")->trigger();
    QCOMPARE(fresh.currentFile(), path("blocker/other.map"));
    QVERIFY(fresh.getDirty());
    QCOMPARE(fresh.windowTitle(), "Dallowmere " + path("blocker/other.map") + " *");
    QVERIFY(!fresh.recentMaps().files().contains(path("blocker/other.map")));
}

void TestMapFileCommands::openWithEveryAnswer()
{
    ScriptedPrompt prompt;
    MetaTool w;
    editMap(w, "Precious");

    prompt.answers << QMessageBox::Cancel;
    w.openMap(path("a.map"));
    QVERIFY(hasLightNamed(w, "Precious"));
    QCOMPARE(w.currentFile(), QString());

    prompt.answers << QMessageBox::Yes; // save dialog cancelled
    w.openMap(path("a.map"));
    QVERIFY(hasLightNamed(w, "Precious"));
    QVERIFY(w.getDirty());

    prompt.answers << QMessageBox::Yes;
    prompt.fileNames << path("blocker/open");
    w.openMap(path("a.map"));
    QVERIFY(hasLightNamed(w, "Precious"));
    QVERIFY(w.getDirty());

    prompt.fileNames << path("saved-by-open");
    action(w, "saveMapAsAction")->trigger();
    w.setDirty(true);
    prompt.answers << QMessageBox::Yes;
    w.openMap(path("a.map"));
    QVERIFY(contentsOf(path("saved-by-open.map")).contains("Precious"));
    QCOMPARE(w.currentFile(), path("a.map"));
    QCOMPARE(w.nodeCount(), 5);
    QVERIFY(!w.getDirty());

    // No: the changes go, the other map comes; a cancelled file dialog changes nothing.
    editMap(w, "Dropped");
    prompt.answers << QMessageBox::No;
    w.openMap(path("b.map"));
    QCOMPARE(w.currentFile(), path("b.map"));
    QVERIFY(!hasLightNamed(w, "Dropped"));
    action(w, "openMapAction")->trigger();
    QCOMPARE(w.currentFile(), path("b.map"));
    prompt.fileNames << path("a.map");
    action(w, "openMapAction")->trigger();
    QCOMPARE(w.currentFile(), path("a.map"));
    QVERIFY(w.mapModel()->isLivePlayDisabled());
}

void TestMapFileCommands::savedMapIsCleanForNew()
{
    ScriptedPrompt prompt;
    MetaTool w;
    editMap(w, "Kept");
    prompt.fileNames << path("clean");
    action(w, "saveMapAction")->trigger();
    QCOMPARE(w.currentFile(), path("clean.map"));
    QVERIFY(!w.getDirty());
    QCOMPARE(w.windowTitle(), "Dallowmere " + path("clean.map"));
    QVERIFY(contentsOf(path("clean.map")).contains("Kept"));
    const qsizetype asked = prompt.titles.size();
    action(w, "newMapAction")->trigger();
    QCOMPARE(prompt.titles.size(), asked); // nothing to save: no question
    QCOMPARE(w.nodeCount(), 0);
    QCOMPARE(w.currentFile(), QString());
}

void TestMapFileCommands::oversizedMapGetsNotice_data()
{
    QTest::addColumn<QPointF>("far");
    QTest::addColumn<QString>("notice");
    const QString larger =
        "Map size (%1, %2) is larger than the default canvas size (10000, 10000).";
    QTest::newRow("wider only") << QPointF(12000, 50) << larger.arg(12000).arg(50);
    QTest::newRow("taller only") << QPointF(50, 12000) << larger.arg(50).arg(12000);
    QTest::newRow("inside") << QPointF(9999, 9999) << ScriptedPrompt::NoBoxShown;
}

void TestMapFileCommands::oversizedMapGetsNotice()
{
    QFETCH(QPointF, far);
    QFETCH(QString, notice);
    const QString file = path(QString("far-%1.map").arg(QTest::currentDataTag()));
    {
        MapModel map;
        DataSupply *ds = addInterface(&map, "Far", QHostAddress("127.0.0.9"), 1);
        addLight(&map, ds, "Far", 0, 0, far);
        QVERIFY(map.saveMap(file));
    }
    ScriptedPrompt prompt;
    MetaTool w;
    w.openMap(file);
    QCOMPARE(w.currentFile(), file);
    QCOMPARE(prompt.lastText(), notice);
}

void TestMapFileCommands::recentMenuOrdersAndPrunes()
{
    ScriptedPrompt prompt;
    QVERIFY(QFile::copy(path("a.map"), path("doomed.map")));
    MetaTool w;
    QVERIFY(!w.findChild<QActionGroup *>("m_recentMapsActionGroup")->isEnabled());
    w.openMap(path("a.map"));
    w.openMap(path("b.map"));
    w.openMap(path("a.map"));
    QCOMPARE(menuTexts(w), QStringList({path("a.map"), path("b.map")}));
    QVERIFY(w.findChild<QActionGroup *>("m_recentMapsActionGroup")->isEnabled());

    // A recent map opens from its menu entry.
    w.recentMapsMenu()->actions().at(1)->trigger();
    QCOMPARE(w.currentFile(), path("b.map"));
    QCOMPARE(menuTexts(w), QStringList({path("b.map"), path("a.map")}));

    // A recent map deleted since: the box, an empty map, and the entry leaves menu and store.
    w.openMap(path("doomed.map"));
    QVERIFY(QFile::remove(path("doomed.map")));
    QCOMPARE(menuTexts(w).first(), path("doomed.map"));
    w.recentMapsMenu()->actions().first()->trigger();
    QCOMPARE(prompt.lastTitle(), QString("Load Error"));
    QCOMPARE(prompt.lastText(), "Failed to open map: " + path("doomed.map"));
    QCOMPARE(w.currentFile(), QString());
    QCOMPARE(w.nodeCount(), 0);
    QVERIFY(!w.getDirty());
    QCOMPARE(menuTexts(w), QStringList({path("b.map"), path("a.map")}));
    QSettings settings;
    QCOMPARE(settings.value("/recentmap0").toString(), path("b.map"));
    QCOMPARE(settings.value("/recentmap1").toString(), path("a.map"));
    QVERIFY(!settings.contains("/recentmap2"));

    // Capped at the configured count, five by default.
    for (int i = 0; i < 7; ++i) {
        const QString name = path(QString("cap%1.map").arg(i));
        QVERIFY(QFile::copy(path("a.map"), name));
        w.openMap(name);
    }
    QCOMPARE(menuTexts(w).size(), 5);
    QCOMPARE(menuTexts(w).first(), path("cap6.map"));
    QVERIFY(!QSettings().contains("/recentmap5"));
}

QTEST_MAIN(TestMapFileCommands)
#include "tst_mapfilecommands.moc"
