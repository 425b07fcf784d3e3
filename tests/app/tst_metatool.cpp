#include "support/apptestsupport.h"

#include "app/groupview.h"
#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "app/lightview.h"
#include "app/lightviewinterface.h"
#include "app/lightviewlight.h"
#include "app/metatool.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QAction *action(MetaTool &w, const char *name)
{
    auto *a = w.findChild<QAction *>(name);
    if (!a)
        qWarning() << "no action" << name;
    return a;
}

// The squares the canvas shows: one per light it was told of, none of them a scene item.
int canvasLightCount(MetaTool &w)
{
    for (QGraphicsItem *item : w.canvasScene()->items()) {
        if (item->type() == LayoutViewLight::Type)
            return -1;
    }
    return w.layoutView()->lightCount();
}

} // namespace

class TestMetaTool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void menusToolbarsAndMissingCommands();
    void openedMapShowsInAllViews();
    void failedOrCancelledSaveKeepsWindowOnClose();

private:
    QTemporaryDir m_dir;
    QString m_sample;
};

void TestMetaTool::initTestCase()
{
    isolateTestEnvironment();
    QVERIFY(m_dir.isValid());
    m_sample = m_dir.filePath("sample.map");
    QVERIFY(writeSampleMap(m_sample));
}

void TestMetaTool::menusToolbarsAndMissingCommands()
{
    MetaTool w;
    // The recent maps submenu and a separator stand just before Exit.
    const QList<QAction *> file = w.form().m_fileMenu->actions();
    QCOMPARE(file.last()->objectName(), QString("exitAction"));
    QCOMPARE(file.at(file.size() - 3)->menu()->title(), QString("&Recent Maps"));
    QVERIFY(!action(w, "undoAction")->isEnabled());
    QVERIFY(!action(w, "redoAction")->isEnabled());
    for (const char *name : {"newMapAction", "openMapAction", "saveMapAction", "saveMapAsAction",
                             "exitAction", "snapToGridAction", "autoZoomAction", "zoomInAction",
                             "zoomOutAction", "selectAllLightsAction", "livePlayAction"})
        QVERIFY2(action(w, name)->isEnabled(), name);
}

void TestMetaTool::openedMapShowsInAllViews()
{
    MetaTool w;
    action(w, "livePlayAction")->trigger(); // keep the frames of this test off the network
    w.openMap(m_sample);
    QCOMPARE(w.lightView()->topLevelItemCount(), 2);
    int lights = 0;
    for (int i = 0; i < w.lightView()->topLevelItemCount(); ++i)
        lights += w.lightView()->topLevelItem(i)->childCount();
    QCOMPARE(lights, 5);
    QCOMPARE(w.groupView()->topLevelItemCount(), 2);
    QCOMPARE(canvasLightCount(w), 5);
    QCOMPARE(w.nodeCount(), 5);
    QVERIFY(!w.getDirty());
    // Loading edits every light; the tree still ends sorted by name, numerically.
    QCOMPARE(w.lightView()->topLevelItem(0)->text(0), QString("Facade 2"));
    QCOMPARE(w.lightView()->topLevelItem(0)->child(0)->text(0), QString("Light 1"));
    QCOMPARE(w.lightView()->topLevelItem(0)->child(2)->text(0), QString("Light 10"));
    static_cast<LightViewLight *>(w.lightView()->topLevelItem(0)->child(0))
        ->light()
        ->setName("Light 20");
    QCOMPARE(w.lightView()->topLevelItem(0)->child(2)->text(0), QString("Light 20"));

    // New, with the changes dropped, clears every view and the count.
    ScriptedPrompt prompt;
    prompt.answers << QMessageBox::No;
    action(w, "newMapAction")->trigger();
    QCOMPARE(prompt.titles, QStringList({"Dallowmere"}));
    QCOMPARE(w.lightView()->topLevelItemCount(), 0);
    QCOMPARE(w.groupView()->topLevelItemCount(), 0);
    QCOMPARE(canvasLightCount(w), 0);
    QCOMPARE(w.nodeCount(), 0);
    QCOMPARE(w.windowTitle(), QString("Dallowmere "));
}

void TestMetaTool::failedOrCancelledSaveKeepsWindowOnClose()
{
    ScriptedPrompt prompt;
    MetaTool w;
    w.show();
    w.setDirty(true);

    // Yes, then the save dialog is cancelled: nothing was saved, so the window must stay.
    prompt.answers << QMessageBox::Yes;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QVERIFY(w.getDirty());

    // Yes, and the file cannot be written: the window and the mark stay.
    prompt.answers << QMessageBox::Yes;
    prompt.fileNames << "/nonexistent-folder/plan";
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QVERIFY(w.getDirty());
    QVERIFY(prompt.titles.contains("Save Failed"));
    QVERIFY(prompt.texts.contains("Unable to save file /nonexistent-folder/plan.map."));
    QCOMPARE(w.windowTitle(), QString("Dallowmere /nonexistent-folder/plan.map *"));

    QSettings().clear();
    prompt.answers << QMessageBox::Cancel;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    // The settings were written before the question, whatever the answer.
    QVERIFY(QSettings().contains("/live_play"));

    prompt.answers << QMessageBox::No;
    QVERIFY(w.close());
}

QTEST_MAIN(TestMetaTool)
#include "tst_metatool.moc"
