// The File menu end to end: the save question with every answer, Save, Save As, Open, New,
// the recent-map list and its menu, the settings a restarted window reads back, and printing.
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
#include <QPrinter>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Prints to a PDF file chosen by the test instead of showing the platform's print dialog.
class PrintingPrompt : public ScriptedPrompt
{
public:
    QString pdfFile; // empty: the print dialog is cancelled
    bool printSetup(QWidget *, QPrinter *printer) override
    {
        if (pdfFile.isEmpty())
            return false;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdfFile);
        return true;
    }
};

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
    void saveAddsSuffixAndReusesTheFile();
    void failedSaveKeepsOldFileAndMark();
    void newWithEveryAnswer();
    void openWithEveryAnswer();
    void engineStateAroundCommands();
    void recentMenuOrdersAndPrunes();
    void recentMapsDisabledLeavesStoreAlone();
    void settingsSurviveRestart();
    void badStoredValuesFallBack();
    void acceptedPreferencesApply();
    void largeMapShowsSizeBox();
    void printsToPdf();

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

void TestMapFileCommands::saveAddsSuffixAndReusesTheFile()
{
    ScriptedPrompt prompt;
    MetaTool w;
    editMap(w);
    prompt.fileNames << path("plan");
    action(w, "saveMapAction")->trigger();
    QCOMPARE(w.currentFile(), path("plan.map"));
    QVERIFY(QFile::exists(path("plan.map")));
    QVERIFY(!w.getDirty());
    QCOMPARE(w.windowTitle(), "Dallowmere " + path("plan.map"));
    QCOMPARE(w.recentMaps().files().first(), path("plan.map"));
    QCOMPARE(menuTexts(w).first(), path("plan.map"));
    QCOMPARE(w.mapFolder(), m_dir.path());

    // A second Save writes the same file without asking.
    w.mapModel()->lights().begin().value()->setName("Second");
    QVERIFY(w.getDirty());
    action(w, "saveMapAction")->trigger();
    QVERIFY(!w.getDirty());
    QVERIFY(contentsOf(path("plan.map")).contains("Second"));

    // Save As: the upper-case extension is not the map suffix.
    prompt.fileNames << path("plan.MAP");
    action(w, "saveMapAsAction")->trigger();
    QCOMPARE(w.currentFile(), path("plan.MAP.map"));
    QVERIFY(QFile::exists(path("plan.MAP.map")));
    QCOMPARE(menuTexts(w), QStringList({path("plan.MAP.map"), path("plan.map")}));

    // A cancelled Save As dialog changes nothing.
    w.setDirty(true);
    action(w, "saveMapAsAction")->trigger();
    QCOMPARE(w.currentFile(), path("plan.MAP.map"));
    QVERIFY(w.getDirty());
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
    QCOMPARE(prompt.titles.last(), QString("Save Failed"));
    QCOMPARE(prompt.texts.last(), "Unable to save file " + path("blocker/plan.map") + ".");
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

void TestMapFileCommands::newWithEveryAnswer()
{
    ScriptedPrompt prompt;
    MetaTool w;
    editMap(w, "Precious");

    prompt.answers << QMessageBox::Cancel;
    action(w, "newMapAction")->trigger();
    QCOMPARE(prompt.texts.last(), QString("Do you want to save changes to your current map?\n"));
    QCOMPARE(prompt.titles.last(), QString("Dallowmere"));
    QVERIFY(hasLightNamed(w, "Precious"));
    QVERIFY(w.getDirty());

    // Yes, then the save dialog is cancelled: the changes must not be dropped.
    prompt.answers << QMessageBox::Yes;
    action(w, "newMapAction")->trigger();
    QVERIFY(hasLightNamed(w, "Precious"));
    QVERIFY(w.getDirty());

    // Yes, and the save fails: the same.
    prompt.answers << QMessageBox::Yes;
    prompt.fileNames << path("blocker/new");
    action(w, "newMapAction")->trigger();
    QVERIFY(hasLightNamed(w, "Precious"));
    QVERIFY(w.getDirty());

    // The failed name stays the map's file: the next Yes tries it again, without a dialog.
    QCOMPARE(w.currentFile(), path("blocker/new.map"));
    prompt.answers << QMessageBox::Yes;
    action(w, "newMapAction")->trigger();
    QVERIFY(hasLightNamed(w, "Precious"));

    // Yes with a good save (the map got a writable name by Save As): the file holds the map,
    // and the window starts afresh.
    prompt.fileNames << path("saved-by-new");
    action(w, "saveMapAsAction")->trigger();
    w.setDirty(true);
    prompt.answers << QMessageBox::Yes;
    action(w, "newMapAction")->trigger();
    QVERIFY(contentsOf(path("saved-by-new.map")).contains("Precious"));
    QVERIFY(w.mapModel()->lights().isEmpty());
    QCOMPARE(w.currentFile(), QString());
    QVERIFY(!w.getDirty());
    QCOMPARE(w.windowTitle(), QString("Dallowmere "));

    editMap(w, "Dropped");
    prompt.answers << QMessageBox::No;
    action(w, "newMapAction")->trigger();
    QVERIFY(w.mapModel()->lights().isEmpty());
    QVERIFY(!w.getDirty());
    QCOMPARE(w.nodeCount(), 0);
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

void TestMapFileCommands::engineStateAroundCommands()
{
    ScriptedPrompt prompt;
    MetaTool w;
    EffectEngine *engine = w.effectEngine();
    QVERIFY(!engine->isPaused());
    w.openMap(path("a.map"));
    QVERIFY(!engine->isPaused());
    prompt.fileNames << path("engine");
    action(w, "saveMapAsAction")->trigger();
    QVERIFY(!engine->isPaused());

    // A paused engine stays paused through Open, Save and New.
    engine->setPaused(true);
    w.openMap(path("b.map"));
    QVERIFY(engine->isPaused());
    action(w, "saveMapAction")->trigger();
    QVERIFY(engine->isPaused());
    action(w, "newMapAction")->trigger();
    QVERIFY(engine->isPaused());
    // New's Cancel resumes the engine whatever it was.
    w.setDirty(true);
    prompt.answers << QMessageBox::Cancel;
    action(w, "newMapAction")->trigger();
    QVERIFY(!engine->isPaused());
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
    QCOMPARE(prompt.titles.last(), QString("Load Error"));
    QCOMPARE(prompt.texts.last(), "Failed to open map: " + path("doomed.map"));
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

void TestMapFileCommands::recentMapsDisabledLeavesStoreAlone()
{
    QSettings settings;
    settings.setValue("/recent_maps_enabled", false);
    settings.setValue("/num_recent_maps", 2);
    for (int i = 0; i < 4; ++i)
        settings.setValue("/recentmap" + QString::number(i), path(QString("r%1.map").arg(i)));
    settings.sync();
    MetaTool w;
    QVERIFY(w.recentMapsMenu()->actions().isEmpty());
    QVERIFY(!w.findChild<QActionGroup *>("m_recentMapsActionGroup")->isEnabled());
    QVERIFY(QSettings().contains("/recentmap3"));
}

void TestMapFileCommands::settingsSurviveRestart()
{
    ScriptedPrompt prompt;
    QSettings().setValue("/num_recent_maps", 9);
    {
        MetaTool w;
        w.show();
        w.resize(1000, 700);
        action(w, "snapToGridAction")->trigger();
        QVERIFY(!w.livePlay());
        action(w, "livePlayAction")->trigger();
        action(w, "livePlayAction")->trigger(); // off again
        for (int i = 0; i < 9; ++i) {
            const QString name = path(QString("keep%1.map").arg(i));
            QFile::remove(name);
            QVERIFY(QFile::copy(path("a.map"), name));
            w.openMap(name);
        }
        QCOMPARE(menuTexts(w).size(), 9);
        w.form().m_splitter->setSizes({150, 150, 700});
        w.lightView()->setColumnWidth(1, 77);
        QVERIFY(w.close());
    }
    // A process that has not named itself yet: the window names the store before it reads
    // the recent list.
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QString());
    MetaTool again;
    QVERIFY(!again.form().snapToGridAction->isChecked());
    QVERIFY(!again.livePlay());
    QVERIFY(again.mapModel()->isLivePlayDisabled());
    QCOMPARE(again.form().livePlayAction->text(), QString("Live Play Disabled"));
    QCOMPARE(again.mapFolder(), m_dir.path());
    QCOMPARE(again.size(), QSize(1000, 700));
    QCOMPARE(again.lightView()->columnWidth(1), 77);
    QCOMPARE(again.lightView()->columnWidth(0), QSettings().value("/lightviewcolwidth0").toInt());
    // All nine recent maps come back, most recent first: none is lost past the fifth.
    const QStringList recent = menuTexts(again);
    QCOMPARE(recent.size(), 9);
    QCOMPARE(recent.first(), path("keep8.map"));
    QCOMPARE(recent.last(), path("keep0.map"));
}

void TestMapFileCommands::badStoredValuesFallBack()
{
    QSettings settings;
    settings.setValue("/frame_rate", 0);
    settings.setValue("/grid", 5);
    settings.setValue("/num_recent_maps", -2);
    settings.sync();
    {
        MetaTool w;
        QCOMPARE(w.effectEngine()->frameInterval(), 100);
        QCOMPARE(w.layoutView()->gridSpacing(), 12);
    }
    settings.setValue("/frame_rate", 1000);
    MetaTool w;
    QCOMPARE(w.effectEngine()->frameInterval(), 100);
}

void TestMapFileCommands::acceptedPreferencesApply()
{
    ScriptedPrompt prompt;
    MetaTool w;
    for (const char *name : {"p4.map", "p3.map", "p2.map", "p1.map", "p0.map"}) {
        QFile::remove(path(name));
        QVERIFY(QFile::copy(path("a.map"), path(name)));
        w.openMap(path(name));
    }
    QCOMPARE(menuTexts(w).size(), 5);

    w.applyPreferences(25, 20000, 15000, 0, true, 2);
    QCOMPARE(w.effectEngine()->frameInterval(), 40);
    QCOMPARE(w.layoutView()->gridSpacing(), 12); // a grid of 0 is not taken
    // The scene keeps its rectangle until the next New.
    QCOMPARE(w.canvasScene()->sceneRect(), QRectF(0, 0, 10000, 10000));
    QCOMPARE(menuTexts(w), QStringList({path("p0.map"), path("p1.map")}));
    QSettings settings;
    QVERIFY(!settings.contains("/recentmap2"));
    QVERIFY(!settings.contains("/recentmap4"));
    QCOMPARE(settings.value("/frame_rate").toInt(), 25);
    QCOMPARE(settings.value("/canvas_width").toInt(), 20000);
    QCOMPARE(settings.value("/num_recent_maps").toInt(), 2);

    action(w, "newMapAction")->trigger();
    QCOMPARE(w.canvasScene()->sceneRect(), QRectF(0, 0, 20000, 15000));

    w.applyPreferences(25, 20000, 15000, 30, false, 2);
    QCOMPARE(w.layoutView()->gridSpacing(), 30);
    QVERIFY(w.recentMapsMenu()->actions().isEmpty());
    QVERIFY(!w.findChild<QActionGroup *>("m_recentMapsActionGroup")->isEnabled());
    QVERIFY(settings.contains("/recentmap1"));
}

void TestMapFileCommands::largeMapShowsSizeBox()
{
    ScriptedPrompt prompt;
    {
        MapModel map;
        DataSupply *ds = addInterface(&map, "Wide", QHostAddress("127.0.0.9"), 1);
        addLight(&map, ds, "Far", 0, 0, QPointF(12000, 300));
        QVERIFY(map.saveMap(path("wide.map")));
    }
    MetaTool w;
    w.openMap(path("wide.map"));
    QCOMPARE(w.currentFile(), path("wide.map"));
    QCOMPARE(w.nodeCount(), 1);
    QCOMPARE(prompt.titles.last(), QString("Dallowmere"));
    QCOMPARE(prompt.texts.last(),
             QString("Map size (12000, %1) is larger than the default canvas size (10000, 10000).")
                 .arg(w.mapModel()->mapExtent().height()));
}

void TestMapFileCommands::printsToPdf()
{
    PrintingPrompt prompt;
    MetaTool w;
    w.openMap(path("a.map"));
    QVERIFY(w.form().printAction->isEnabled());
    action(w, "printAction")->trigger(); // cancelled: nothing printed
    QVERIFY(!QFile::exists(path("map.pdf")));

    prompt.pdfFile = path("map.pdf");
    action(w, "printAction")->trigger();
    const QByteArray pdf = contentsOf(path("map.pdf"));
    QVERIFY(pdf.startsWith("%PDF"));
    QVERIFY(pdf.size() > 500);
    QVERIFY(!w.getDirty());
}

QTEST_MAIN(TestMapFileCommands)
#include "tst_mapfilecommands.moc"
