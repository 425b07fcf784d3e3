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
#include "protocol/networksettings.h"
#include "support/simulatedorvexinterface.h"

#include <QAction>
#include <QDialog>
#include <QEventLoop>
#include <QGraphicsScene>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QUdpSocket>
#include <QtTest>

namespace {
QAction *action(MetaTool &w, const char *name)
{
    auto *a = w.findChild<QAction *>(name);
    if (!a)
        qWarning() << "no action" << name;
    return a;
}

int canvasLightCount(MetaTool &w)
{
    int n = 0;
    for (QGraphicsItem *item : w.canvasScene()->items())
        n += item->type() == LayoutViewLight::Type;
    return n;
}

// Runs Exit inside the application's event loop and tells whether it ended that loop. The
// application's own exec is used because it clears the quit state that Exit leaves behind,
// which a plain QEventLoop would keep seeing.
bool exitEndsEventLoop(MetaTool &w)
{
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    fallback.start(500);
    QTimer::singleShot(0, action(w, "exitAction"), &QAction::trigger);
    return QCoreApplication::exec() == 0;
}
} // namespace

class TestMetaTool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startsWithDefaultSettings();
    void titleFollowsFileAndChanges();
    void menusToolbarsAndMissingCommands();
    void openedMapShowsInAllViews();
    void failedOrCancelledSaveKeepsWindowOnClose();
    void closeWithYesSavesTheMap();
    void exitGoesOnOnlyAfterSuccessfulSave();
    void cancelledCreationDialogKeepsChangedMark();
    void viewActionsReachCanvasAndEffect();
    void highlightInterfaceBlinksOnLoopback();
    void rendersLoadedMapToPng();
    void pauseLinkAnnouncesOnLoopback();
    void newMapDropsTreeSelectionAtOnce();

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

void TestMetaTool::startsWithDefaultSettings()
{
    MetaTool w;
    QVERIFY(action(w, "snapToGridAction")->isChecked());
    QVERIFY(w.layoutView()->snapToGrid());
    QVERIFY(action(w, "livePlayAction")->isChecked());
    QVERIFY(w.livePlay());
    QVERIFY(!w.mapModel()->isLivePlayDisabled());
    QVERIFY(w.selectionEffect()->enabled);
    QCOMPARE(w.effectEngine()->frameInterval(), 100);
    QCOMPARE(w.canvasScene()->sceneRect(), QRectF(0, 0, 10000, 10000));
    QCOMPARE(w.canvasScene()->objectName(), QString("Layout Canvas"));
    QCOMPARE(w.layoutView()->gridSpacing(), 12);
    QCOMPARE(w.nodeCount(), 0);
    QVERIFY(w.effectEngine()->effects().contains(w.selectionEffect()));
}

void TestMetaTool::titleFollowsFileAndChanges()
{
    ScriptedPrompt prompt;
    MetaTool w;
    QCOMPARE(w.windowTitle(), QString("Dallowmere "));
    w.setDirty(true);
    QCOMPARE(w.windowTitle(), QString("Dallowmere  *"));
    prompt.answers << QMessageBox::No;
    w.openMap(m_sample);
    QCOMPARE(w.windowTitle(), "Dallowmere " + m_sample);
    QVERIFY(!w.getDirty());
    w.mapModel()->light(w.mapModel()->lights().keys().first())->setName("Renamed");
    QVERIFY(w.getDirty());
    QCOMPARE(w.windowTitle(), "Dallowmere " + m_sample + " *");
}

void TestMetaTool::menusToolbarsAndMissingCommands()
{
    MetaTool w;
    QStringList menus;
    for (QAction *a : w.menuBar()->actions())
        menus << a->menu()->objectName();
    QCOMPARE(menus, QStringList({"m_fileMenu", "m_editMenu", "m_lightMenu", "m_groupMenu",
                                 "Layout_ViewMenu", "m_helpMenu"}));
    // The recent maps submenu and a separator stand just before Exit.
    const QList<QAction *> file = w.form().m_fileMenu->actions();
    QCOMPARE(file.last()->objectName(), QString("exitAction"));
    QVERIFY(file.at(file.size() - 2)->isSeparator());
    QCOMPARE(file.at(file.size() - 3)->menu()->title(), QString("&Recent Maps"));

    QStringList labels;
    for (QToolBar *t : w.findChildren<QToolBar *>())
        labels << t->property("label").toString();
    QCOMPARE(labels, QStringList({"File Toolbar", "Wizards Toolbar", "Layout View Toolbar",
                                  "Map Creation Toolbar", "Group View Toolbar"}));

    QCOMPARE(action(w, "zoomInAction")->shortcut(), QKeySequence("Ctrl+="));
    QCOMPARE(action(w, "addLightsAction")->iconText(), QString("Add RGB Lights..."));
    QVERIFY(!action(w, "undoAction")->isEnabled());
    QVERIFY(!action(w, "redoAction")->isEnabled());
    for (const char *name : {"newMapAction", "openMapAction", "saveMapAction", "saveMapAsAction",
                             "exitAction", "snapToGridAction", "autoZoomAction", "zoomInAction",
                             "zoomOutAction", "selectAllLightsAction", "livePlayAction"})
        QVERIFY2(action(w, name)->isEnabled(), name);
    // Dialogs that are not built yet: in sight, but disabled.
    for (const char *name : {"discoverLightsAction"}) {
        QVERIFY2(!action(w, name)->isEnabled(), name);
        QVERIFY2(action(w, name)->isVisible(), name);
    }
    // Created, but in no menu or toolbar.
    QVERIFY(action(w, "showGridAction")->associatedObjects().isEmpty());
    QVERIFY(action(w, "addTileAction")->associatedObjects().isEmpty());
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
    w.decrementNodeCount();
    QCOMPARE(w.nodeCount(), 0);
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

void TestMetaTool::closeWithYesSavesTheMap()
{
    ScriptedPrompt prompt;
    MetaTool w;
    w.openMap(m_sample);
    w.show();
    w.setDirty(true);

    // Save As that fails keeps the old file name and the mark.
    prompt.fileNames << "/nonexistent-folder/plan";
    action(w, "saveMapAsAction")->trigger();
    QCOMPARE(w.currentFile(), m_sample);
    QVERIFY(w.getDirty());

    const QString copy = m_dir.filePath("copy.map");
    QVERIFY(QFile::copy(m_sample, copy));
    prompt.fileNames << copy;
    QVERIFY(prompt.fileNames.size() == 1);
    action(w, "saveMapAsAction")->trigger();
    QCOMPARE(w.currentFile(), copy);
    QVERIFY(!w.getDirty());

    w.setDirty(true);
    prompt.titles.clear();
    prompt.texts.clear();
    prompt.answers << QMessageBox::Yes;
    const QDateTime before = QFileInfo(copy).lastModified();
    QTest::qWait(20);
    QVERIFY(w.close());
    QCOMPARE(prompt.titles.first(), QString("Dallowmere"));
    QCOMPARE(prompt.texts.first(), QString("Do you want to save changes to your current map?\n"));
    QVERIFY(QFileInfo(copy).lastModified() > before);
}

void TestMetaTool::exitGoesOnOnlyAfterSuccessfulSave()
{
    ScriptedPrompt prompt;
    MetaTool w;
    w.setDirty(true);
    prompt.answers << QMessageBox::Yes; // and the save dialog is cancelled
    QVERIFY(!exitEndsEventLoop(w));
    QVERIFY(w.getDirty());

    prompt.answers << QMessageBox::Yes;
    prompt.fileNames << "/nonexistent-folder/plan";
    QVERIFY(!exitEndsEventLoop(w));
    QVERIFY(w.getDirty());

    prompt.answers << QMessageBox::Cancel;
    QVERIFY(!exitEndsEventLoop(w));

    // A window without a file name: Yes, a name, a good save, and Exit goes on.
    MetaTool fresh;
    fresh.show();
    fresh.setDirty(true);
    prompt.answers << QMessageBox::Yes;
    prompt.fileNames << m_dir.filePath("exit.map");
    QVERIFY(exitEndsEventLoop(fresh));
    QVERIFY(QFile::exists(m_dir.filePath("exit.map")));
    QVERIFY(!fresh.getDirty());
    QVERIFY(fresh.isVisible()); // Exit ends the loop; it does not close the window

    fresh.setDirty(true);
    prompt.answers << QMessageBox::No;
    QVERIFY(exitEndsEventLoop(fresh));
}

void TestMetaTool::cancelledCreationDialogKeepsChangedMark()
{
    MetaTool w;
    w.setDirty(true);
    QDialog cancelled;
    QTimer::singleShot(0, &cancelled, &QDialog::reject);
    QVERIFY(!w.runCreationDialog(&cancelled, true));
    QVERIFY(w.getDirty());
    QVERIFY(!w.effectEngine()->isPaused());
    QVERIFY(!w.layoutView()->getUpdatePaused());

    w.setDirty(false);
    QDialog accepted;
    QTimer::singleShot(0, &accepted, &QDialog::accept);
    QVERIFY(w.runCreationDialog(&accepted, false));
    QVERIFY(w.getDirty());
}

void TestMetaTool::viewActionsReachCanvasAndEffect()
{
    MetaTool w;
    w.openMap(m_sample);
    action(w, "selectAllLightsAction")->trigger();
    for (quint64 uid : w.mapModel()->lights().keys())
        QVERIFY(w.selectionEffect()->isLightSelected(uid));
    QVERIFY(w.layoutView()->selectAllLights());
    QCOMPARE(w.layoutView()->selectionList().size(), 5);

    action(w, "snapToGridAction")->trigger();
    QVERIFY(!w.layoutView()->snapToGrid());

    const qreal before = w.layoutView()->transform().m11();
    action(w, "zoomInAction")->trigger();
    QCOMPARE(w.layoutView()->transform().m11(), before * 1.25);
    action(w, "zoomOutAction")->trigger();
    QVERIFY(qFuzzyCompare(w.layoutView()->transform().m11(), before));

    action(w, "livePlayAction")->trigger();
    QVERIFY(!w.livePlay());
    QVERIFY(w.mapModel()->isLivePlayDisabled());
    QVERIFY(!w.selectionEffect()->enabled);
    QCOMPARE(action(w, "livePlayAction")->text(), QString("Live Play Disabled"));
    action(w, "livePlayAction")->trigger();
    QVERIFY(!w.mapModel()->isLivePlayDisabled());
    QCOMPARE(action(w, "livePlayAction")->text(), QString("Live Play Enabled"));
}

void TestMetaTool::highlightInterfaceBlinksOnLoopback()
{
    SimulatedOrvexInterface device(QHostAddress("127.0.0.2"));
    QVERIFY(device.isListening());
    MetaTool w;
    action(w, "livePlayAction")->trigger(); // only the blink frames go out
    w.openMap(m_sample);
    QTest::qWait(50);
    device.clearReceived();

    LightView *tree = w.lightView();
    LightViewInterface *item = nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        auto *candidate = static_cast<LightViewInterface *>(tree->topLevelItem(i));
        if (candidate->text(0) == "Facade 2")
            item = candidate;
    }
    QVERIFY(item);
    tree->prepareMenu(item);
    QAction *highlight = nullptr;
    for (QAction *a : tree->interfaceMenu()->actions())
        if (a->text() == "Highlight Interface")
            highlight = a;
    QVERIFY(highlight && highlight->isEnabled());
    highlight->trigger();

    QTRY_COMPARE(device.receivedWithCode(0x0101).size(), 4);
    const QList<QByteArray> frames = device.receivedWithCode(0x0101);
    const char levels[4] = {0, char(255), 0, char(255)};
    for (int i = 0; i < 4; ++i) {
        QVERIFY(frames[i].size() >= 512);
        QCOMPARE(frames[i].right(512), QByteArray(512, levels[i]));
    }
}

void TestMetaTool::rendersLoadedMapToPng()
{
    MetaTool w;
    action(w, "livePlayAction")->trigger();
    w.resize(1100, 700);
    w.show();
    w.openMap(m_sample);
    w.lightView()->expandAll();
    w.lightView()->setColumnWidth(0, 160);
    // One light selected from the tree shows red on the canvas.
    const quint64 uid = w.mapModel()->lights().keys().first();
    w.lightView()->lightItem(uid)->setSelected(true);
    QVERIFY(w.selectionEffect()->isLightSelected(uid));
    QCOMPARE(w.layoutView()->getLayoutViewLight(uid)->brush().color(), QColor(Qt::red));
    QTest::qWait(50);
    const QString path = QCoreApplication::applicationDirPath() + "/mainwindow.png";
    const QImage image = w.grab().toImage();
    QVERIFY(!image.isNull());
    QVERIFY(image.save(path));
    qInfo() << "main window rendered to" << path;
}

void TestMetaTool::pauseLinkAnnouncesOnLoopback()
{
    const NetworkSettings &net = NetworkSettings::instance();
    QUdpSocket listener;
    QVERIFY(listener.bind(net.pauseAnnouncementOverride, net.pauseAnnouncementPort,
                          QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    MetaTool w;
    QTRY_VERIFY(listener.hasPendingDatagrams());
    QByteArray datagram(int(listener.pendingDatagramSize()), 0);
    listener.readDatagram(datagram.data(), datagram.size());
    QVERIFY2(datagram.startsWith("3166485691:1:"), datagram.constData());
    QVERIFY(datagram.endsWith(":" + QByteArray::number(net.pauseReplyPort) + "\n"));
}

// Clearing a map whose lights are selected in the tree must not make Qt rework the selection
// once per removed row: that took half a minute for a full map.
void TestMetaTool::newMapDropsTreeSelectionAtOnce()
{
    MetaTool w;
    action(w, "livePlayAction")->trigger();
    w.openMap(m_sample);
    w.lightView()->expandAll();
    w.lightView()->selectAll();
    QVERIFY(w.lightView()->selectedItems().size() >= 5);
    QVERIFY(!w.layoutView()->selectionList().isEmpty());
    QSignalSpy changes(w.lightView()->selectionModel(), &QItemSelectionModel::selectionChanged);
    action(w, "newMapAction")->trigger();
    QVERIFY2(changes.count() <= 1, qPrintable(QString::number(changes.count())));
    QCOMPARE(w.lightView()->topLevelItemCount(), 0);
    QVERIFY(w.layoutView()->selectionList().isEmpty());
    QCOMPARE(w.nodeCount(), 0);
}

QTEST_MAIN(TestMetaTool)
#include "tst_metatool.moc"
