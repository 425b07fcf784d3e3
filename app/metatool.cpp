#include "metatool.h"

#include "appsettings.h"
#include "dialogs/buildinfo.h"
#include "dialogs/createlights.h"
#include "dialogs/createstringdialog.h"
#include "dialogs/userprompt.h"
#include "groupview.h"
#include "layoutview.h"
#include "lightview.h"
#include "mapprinter.h"
#include "undomanager.h"
#include "windowgeometry.h"

#include "dialogs/discoverinterfaceswizard.h"
#include "dialogs/discoverlightswizard.h"
#include "dialogs/editcontrollerdialog.h"
#include "dialogs/syncinterface.h"

#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/lightpose.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "protocol/commlibrary.h"
#include "protocol/framebatch.h"
#include "protocol/orvex.h"

#include "animationtemplate.h"
#include "backgroundpicture.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/editpreferencesdialog.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QProgressDialog>
#include <QSaveFile>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cmath>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
constexpr const char *ProductName = BuildInfo::productName;

// Stops the effect engine for the length of a scope and puts back the state it had.
class EngineRestorer
{
public:
    explicit EngineRestorer(EffectEngine *engine)
        : m_engine(engine), m_wasPaused(engine ? engine->isPaused() : true)
    {
        if (m_engine && !m_wasPaused)
            m_engine->setPaused(true);
    }
    ~EngineRestorer()
    {
        if (m_engine)
            m_engine->setPaused(m_wasPaused);
    }
    EngineRestorer(const EngineRestorer &) = delete;
    EngineRestorer &operator=(const EngineRestorer &) = delete;

private:
    EffectEngine *m_engine;
    bool m_wasPaused;
};

// The largest floor plans take seconds to decode on the GUI thread: the window shows that it is
// busy meanwhile, and no longer once a refusal is told.
QImage loadShowingBusy(const QString &file, QSize *fullSize)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QImage image = BackgroundPicture::load(file, fullSize);
    QApplication::restoreOverrideCursor();
    return image;
}
} // namespace

int MetaTool::prepareSettingsStore()
{
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setOrganizationDomain("quorvane.com");
    QCoreApplication::setApplicationName(ProductName);
    return AppSettings::readRecentMapCount();
}

MetaTool::MetaTool(QWidget *parent)
    : QMainWindow(parent), m_recentMaps(QStringLiteral("/recentmap"), prepareSettingsStore())
{
    ui.setupUi(this);
    qApp->setStyleSheet("QStatusBar::item { border: 0px}");
    setWindowTitle(tr("%1").arg(ProductName));

    readSettings();
    createRecentMapsMenu();
    m_changed = false;
    updateTitle();

    createLongLivedObjects();
    applyLivePlayState();
    ui.livePlayAction->setStatusTip(tr("Toggle Live Play"));
    createStatusBar();
    createViews();
    m_commLibrary = new CommLibrary(ProductName);
    Q_CHECK_PTR(m_commLibrary);
    m_undoManager = new UndoManager(m_map);
    connect(m_undoManager, &UndoManager::undoEnabled, ui.undoAction, &QAction::setEnabled);
    connect(m_undoManager, &UndoManager::redoEnabled, ui.redoAction, &QAction::setEnabled);
    connect(m_layoutView, &LayoutView::addUndoActionList, m_undoManager,
            &UndoManager::addUndoActionList);
    m_undoManager->setLayoutView(m_layoutView);

    connect(m_engine, &EffectEngine::propertiesCompiled, m_layoutView,
            &LayoutView::handlePropertiesCompiled);
    connect(m_lightView, &LightView::pauseUpdate, m_layoutView, &LayoutView::setUpdatePaused);
    connect(m_lightView, &LightView::updateNow, m_layoutView, &LayoutView::updateCanvas);
    connectActions();
}

MetaTool::~MetaTool()
{
    // The views go first: they hold borrowed pointers into the model and the effect.
    delete m_layoutView;
    delete m_lightView;
    delete m_groupView;
    m_layoutView = nullptr;
    m_lightView = nullptr;
    m_groupView = nullptr;
    delete m_undoManager;
    delete m_nodeCountLabel;
    delete m_commLibrary;
    // Freed rather than left to the end of the process, so a process that builds several
    // windows (the tests do) keeps no engine ticking over a map nobody shows.
    delete m_engine;
    delete m_selection;
    delete m_map;
    delete m_frameBatch;
    delete m_protocol;
}

void MetaTool::createLongLivedObjects()
{
    m_map = new MapModel;
    Q_CHECK_PTR(m_map);
    m_engine = new EffectEngine(m_map, QList<Effect *>(), 1000 / m_frameRate);
    Q_CHECK_PTR(m_engine);
    m_protocol = new Orvex;
    Q_CHECK_PTR(m_protocol);
    // A frame's datagrams leave together once the map has asked for all of them.
    m_frameBatch = new FrameBatch(m_protocol);
    connect(m_engine, &EffectEngine::frameOutputStarting, this, [this] { m_frameBatch->begin(); });
    connect(m_engine, &EffectEngine::frameOutputFinished, this, [this] { m_frameBatch->flush(); });
    m_selection = new SelectionEffect(m_map, 0xFFFFFFFF, nullptr);
    Q_CHECK_PTR(m_selection);
    m_selection->reset();

    m_selection->followMap();
    connect(m_map, &MapModel::newLight, this, &MetaTool::incrementNodeCount);
    connect(m_map, &MapModel::batchFinished, this, &MetaTool::handleBatchFinished);
    connect(m_map, &MapModel::deletedLight, this, &MetaTool::decrementNodeCount);
    connect(m_map, &MapModel::clearedMap, this, &MetaTool::resetNodeCount);
    connect(m_map, &MapModel::newImageFile, this, &MetaTool::handleNewImageFile);
    connect(m_map, &MapModel::signalSendDmxFrame, this, &MetaTool::handleSendDMXFrame);
    connect(m_map, &MapModel::signalSendPortOut, this, &MetaTool::handleSendPortOut);
    m_engine->addEffect(m_selection);
}

void MetaTool::createStatusBar()
{
    m_statusBar = statusBar();
    m_statusBar->addWidget(new QLabel(tr(" Node Count : ")));
    m_nodeCountLabel = new QLabel(QString::number(m_nodeCount));
    m_statusBar->addWidget(m_nodeCountLabel);
}

void MetaTool::placeView(QWidget *view, QWidget *frame)
{
    auto *box = new QVBoxLayout(frame);
    box->addWidget(view);
    view->show();
}

void MetaTool::createViews()
{
    m_lightView = new LightView(m_map, m_engine, ui.m_lightFrame, "Light View");
    m_lightView->setObjectName("Light View");
    m_lightView->setSelectionEffect(m_selection);
    m_lightView->setColumnWidth(0, 500);
    restoreColumnWidths();
    connect(m_lightView, &LightView::statusMsg, m_statusBar, &QStatusBar::showMessage);
    connect(m_lightView, &LightView::setDirty, this, &MetaTool::setDirty);
    placeView(m_lightView, ui.m_lightFrame);

    m_groupView = new GroupView(m_map, m_selection, ui.m_groupFrame);
    connect(m_groupView, &GroupView::statusMsg, m_statusBar, &QStatusBar::showMessage);
    connect(m_groupView, &GroupView::setDirty, this, &MetaTool::setDirty);
    placeView(m_groupView, ui.m_groupFrame);

    m_scene = new QGraphicsScene(ui.m_layoutFrame);
    m_scene->setObjectName("Layout Canvas");
    m_scene->setSceneRect(0, 0, m_canvasWidth, m_canvasHeight);

    m_layoutView = new LayoutView(m_map, m_selection, m_scene, ui.m_layoutFrame, "Layout View");
    m_layoutView->setObjectName("Layout View");
    m_layoutView->setGridSpacing(m_gridSpacing);
    ui.snapToGridAction->setChecked(m_snapToGrid);
    m_layoutView->setSnapToGrid(m_snapToGrid);
    m_layoutView->centerOn(0, 0);
    connect(m_layoutView, &LayoutView::statusMsg, m_statusBar, &QStatusBar::showMessage);
    connect(m_layoutView, &LayoutView::setDirty, this, &MetaTool::setDirty);
    placeView(m_layoutView, ui.m_layoutFrame);
}

void MetaTool::connectActions()
{
    const struct
    {
        QAction *action;
        void (MetaTool::*slot)();
    } plain[] = {
        {ui.newMapAction, &MetaTool::handleNewMapAction},
        {ui.openMapAction, &MetaTool::handleOpenMapAction},
        {ui.saveMapAction, &MetaTool::handleSaveMapAction},
        {ui.saveMapAsAction, &MetaTool::handleSaveMapAsAction},
        {ui.printAction, &MetaTool::handlePrintAction},
        {ui.exitAction, &MetaTool::handleExitAction},
        {ui.undoAction, &MetaTool::handleUndoAction},
        {ui.redoAction, &MetaTool::handleRedoAction},
        {ui.editPreferencesAction, &MetaTool::handleEditPreferencesAction},
        {ui.discoverInterfacesAction, &MetaTool::handleDiscoverInterfacesAction},
        {ui.discoverLightsAction, &MetaTool::handleDiscoverLightsAction},
        {ui.syncInterfacesAction, &MetaTool::handleSyncInterfacesAction},
        {ui.addInterfaceAction, &MetaTool::handleAddInterfaceAction},
        {ui.addStringAction, &MetaTool::handleAddStringAction},
        {ui.addLightsAction, &MetaTool::handleAddLightsAction},
        {ui.addGroupAction, &MetaTool::handleAddGroupAction},
        {ui.autoZoomAction, &MetaTool::handleAutoZoomAction},
        {ui.zoomInAction, &MetaTool::handleZoomInAction},
        {ui.zoomOutAction, &MetaTool::handleZoomOutAction},
        {ui.selectAllLightsAction, &MetaTool::handleSelectAllLightsAction},
        {ui.createAnimationTemplateAction, &MetaTool::handleCreateAnimationTemplateAction},
        {ui.addBackgroundImageAction, &MetaTool::handleAddBackgroundImageAction},
        {ui.aboutAction, &MetaTool::handleAboutAction},
    };
    for (const auto &entry : plain)
        connect(entry.action, &QAction::triggered, this, entry.slot);
    connect(ui.snapToGridAction, &QAction::triggered, this, &MetaTool::handleSnapToGridToggled);
    connect(ui.livePlayAction, &QAction::triggered, this, &MetaTool::handleLivePlayToggled);
}

// ---- settings -------------------------------------------------------------------------------

void MetaTool::readSettings()
{
    const AppSettings stored = AppSettings::read();
    m_mapFolder = stored.mapFolder;
    m_showGrid = stored.showGrid;
    m_snapToGrid = stored.snapToGrid;
    m_canvasWidth = stored.canvasWidth;
    m_canvasHeight = stored.canvasHeight;
    m_gridSpacing = stored.gridSpacing;
    m_zoom = stored.zoom;
    m_recentMapsEnabled = stored.recentMapsEnabled;
    m_recentMapCount = stored.recentMapCount;
    m_livePlay = stored.livePlay;
    m_frameRate = stored.frameRate;
    restoreGeometry();
}

void MetaTool::writeSettings()
{
    AppSettings current;
    current.mapFolder = m_mapFolder;
    current.showGrid = m_showGrid;
    current.snapToGrid = m_snapToGrid;
    current.canvasWidth = m_canvasWidth;
    current.canvasHeight = m_canvasHeight;
    current.gridSpacing = m_gridSpacing;
    current.zoom = m_zoom;
    current.recentMapsEnabled = m_recentMapsEnabled;
    current.recentMapCount = m_recentMapCount;
    current.livePlay = m_livePlay;
    current.frameRate = m_frameRate;
    current.write();
    writeGeometry();
}

void MetaTool::restoreGeometry()
{
    WindowGeometry::restore(this, ui.m_splitter);
}

void MetaTool::restoreColumnWidths()
{
    WindowGeometry::restoreColumnWidths(m_lightView);
}

void MetaTool::writeGeometry()
{
    WindowGeometry::write(this, ui.m_splitter, m_lightView);
}

void MetaTool::applyPreferences(int frameRate, int canvasWidth, int canvasHeight, int gridSize,
                                bool keepRecentMaps, int recentMapsCount)
{
    m_frameRate = AppSettings::boundedFrameRate(frameRate);
    m_engine->setFrameInterval(1000 / m_frameRate);
    // The current scene keeps its rectangle; the new size shapes the next New or Open.
    m_canvasWidth = canvasWidth;
    m_canvasHeight = canvasHeight;
    if (gridSize > 0) {
        m_gridSpacing = gridSize;
        m_layoutView->setGridSpacing(m_gridSpacing);
    }
    m_recentMapsEnabled = keepRecentMaps;
    m_recentMapCount = recentMapsCount;
    updateRecentMapsMenu();
    writeSettings();
}

void MetaTool::createRecentMapsMenu()
{
    m_recentMapsActionGroup = new QActionGroup(this);
    m_recentMapsActionGroup->setObjectName("m_recentMapsActionGroup");
    m_recentMapsMenu = new QMenu(tr("&Recent Maps"), this);
    m_recentMapsMenu->setObjectName("m_recentMapsMenu");
    ui.m_fileMenu->insertMenu(ui.exitAction, m_recentMapsMenu);
    ui.m_fileMenu->insertSeparator(ui.exitAction);
    updateRecentMapsMenu();
}

void MetaTool::updateRecentMapsMenu()
{
    for (QAction *a : m_recentMapsActionGroup->actions()) {
        m_recentMapsActionGroup->removeAction(a);
        // Not deleted at once: the action being removed may be the one whose trigger opened
        // the map that led here.
        a->deleteLater();
    }
    if (m_recentMapsEnabled) {
        m_recentMaps.setMaximum(m_recentMapCount);
        for (const QString &path : m_recentMaps.files()) {
            auto *a = new QAction(path, m_recentMapsActionGroup);
            a->setVisible(true);
            connect(a, &QAction::triggered, this, &MetaTool::handleRecentMapSelected);
        }
    }
    m_recentMapsActionGroup->setEnabled(m_recentMapsEnabled && !m_recentMaps.files().isEmpty());
    m_recentMapsMenu->clear();
    m_recentMapsMenu->addActions(m_recentMapsActionGroup->actions());
}

// ---- title, dirty flag, node count ----------------------------------------------------------

void MetaTool::updateTitle()
{
    setWindowTitle(QString(ProductName) + " " + m_currentFile + (m_changed ? " *" : ""));
}

void MetaTool::setDirty(bool d)
{
    m_changed = d;
    // During a batch every light would retitle the window a few times over.
    if (!m_map->inBatch())
        updateTitle();
}

void MetaTool::incrementNodeCount()
{
    ++m_nodeCount;
    if (!m_map->inBatch())
        m_nodeCountLabel->setText(QString::number(m_nodeCount));
}

void MetaTool::handleBatchFinished()
{
    m_nodeCountLabel->setText(QString::number(m_nodeCount));
    updateTitle();
}

void MetaTool::decrementNodeCount()
{
    if (m_nodeCount < 1)
        return;
    --m_nodeCount;
    m_nodeCountLabel->setText(QString::number(m_nodeCount));
}

void MetaTool::resetNodeCount()
{
    m_nodeCount = 0;
    m_nodeCountLabel->setText(QString::number(m_nodeCount));
}

// ---- live play and frame relay --------------------------------------------------------------

void MetaTool::applyLivePlayState()
{
    QIcon icon = ui.livePlayAction->icon();
    if (m_livePlay) {
        ui.livePlayAction->setText(tr("Live Play Enabled"));
        icon.addPixmap(QPixmap(":/images/icons/show_simulation_on.png"), QIcon::Normal, QIcon::Off);
        ui.livePlayAction->setChecked(true);
    } else {
        ui.livePlayAction->setText(tr("Live Play Disabled"));
        icon.addPixmap(QPixmap(":/images/icons/show_simulation_off.png"), QIcon::Normal,
                       QIcon::Off);
    }
    ui.livePlayAction->setIcon(icon);
    if (m_map)
        m_map->setLivePlayDisabled(!m_livePlay);
    if (m_selection)
        m_selection->enabled = m_livePlay;
}

void MetaTool::handleLivePlayToggled(bool b)
{
    m_livePlay = b;
    applyLivePlayState();
}

void MetaTool::handleSendDMXFrame(QString ip, quint16 startCode, quint16 timerVal,
                                  QByteArray dmxData)
{
    // The interface's own start code and timer are not passed on: frames always go out with
    // 0 and 0 and a full 512-byte universe.
    Q_UNUSED(startCode);
    Q_UNUSED(timerVal);
    if (!m_protocol)
        return;
    m_frameBatch->addDmxFrame(ip, dmxData);
}

void MetaTool::handleSendPortOut(QString ip, quint32 universe, quint8 port, quint16 flags,
                                 quint16 startCode, QByteArray dmxData)
{
    Q_UNUSED(universe);
    Q_UNUSED(flags);
    if (!m_protocol)
        return;
    m_frameBatch->addPortOut(ip, port, startCode, dmxData);
}

// ---- progress -------------------------------------------------------------------------------

void MetaTool::createProgressDialog()
{
    m_progress.open();
    connect(m_map, &MapModel::progressUpdated, this, &MetaTool::handleProgressUpdated,
            Qt::UniqueConnection);
    connect(m_map, &MapModel::progressStarted, this, &MetaTool::handleProgressStarted,
            Qt::UniqueConnection);
    connect(m_map, &MapModel::progressTextChanged, this, &MetaTool::handleProgressTextChanged,
            Qt::UniqueConnection);
}

void MetaTool::handleProgressStarted(int min, int max, QString windowText)
{
    m_progress.start(min, max, windowText);
}

void MetaTool::handleProgressTextChanged(QString text)
{
    m_progress.setTitle(text);
}

void MetaTool::handleProgressUpdated(int current)
{
    m_progress.update(current);
}

// ---- map file commands ----------------------------------------------------------------------

bool MetaTool::maybeSave()
{
    if (!m_changed)
        return true;
    const auto answer = UserPrompt::instance()->question(
        this, QMessageBox::Warning, ProductName,
        tr("Do you want to save changes to your current map?\n"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer == QMessageBox::Yes)
        return saveMap(); // a cancelled or failed save must not let the changes go
    return answer == QMessageBox::No;
}

void MetaTool::clearMapAndCanvas()
{
    if (!m_map->isEmpty())
        createProgressDialog();
    {
        // The tree's selection goes in one step and unannounced: the map's clearing resets
        // the effect anyway, and Qt re-splits a large selection for every selected row taken
        // out under it (30 s for a full map with every light selected).
        const QSignalBlocker quiet(m_lightView);
        m_lightView->clearSelection();
    }
    m_map->clearMap();
    m_scene->clear();
    m_scene->setSceneRect(0, 0, m_canvasWidth, m_canvasHeight);
}

QString MetaTool::withMapSuffix(const QString &path)
{
    return path.endsWith(".map") ? path : path + ".map";
}

QString MetaTool::folderOf(const QString &path)
{
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? QString() : path.left(slash);
}

void MetaTool::handleNewMapAction()
{
    const bool wasPaused = m_engine->isPaused();
    m_engine->setPaused(true);
    if (!maybeSave()) {
        m_engine->setPaused(false);
        return;
    }
    m_currentFile.clear();
    clearMapAndCanvas();
    m_selection->reset();
    setDirty(false);
    m_engine->setPaused(wasPaused);
}

void MetaTool::handleOpenMapAction()
{
    openMap(QString());
}

void MetaTool::handleRecentMapSelected()
{
    if (auto *action = qobject_cast<QAction *>(sender()))
        openMap(action->text());
}

void MetaTool::openMap(const QString &requested)
{
    EngineRestorer restorer(m_engine);
    if (!maybeSave())
        return;
    QString path = requested;
    if (path.isEmpty()) {
        path = UserPrompt::instance()->openFileName(this, tr("Select A Map File"), m_mapFolder,
                                                    tr("Map Files (*.map);;All Files (*.*)"));
        if (path.isEmpty())
            return;
    }
    m_mapFolder = folderOf(path);
    clearMapAndCanvas();
    const int sortColumn = m_lightView->sortColumn();
    m_lightView->setSortingEnabled(false);
    createProgressDialog();
    // The views note every object the load announces and build their rows in one pass when
    // the batch ends.
    m_map->beginBatch();
    const bool loaded = m_map->loadMap(path, MapLoadDefaults());
    m_map->endBatch();
    if (loaded) {
        m_currentFile = path;
        m_recentMaps.addFile(path);
        updateRecentMapsMenu();
        const QRect extent = m_map->mapExtent();
        if (extent.width() > m_canvasWidth || extent.height() > m_canvasHeight) {
            UserPrompt::instance()->message(
                this, QMessageBox::Information, ProductName,
                tr("Map size (%1, %2) is larger than the default canvas size (%3, %4).")
                    .arg(extent.width())
                    .arg(extent.height())
                    .arg(m_canvasWidth)
                    .arg(m_canvasHeight));
        }
    } else {
        UserPrompt::instance()->message(this, QMessageBox::Critical, tr("Load Error"),
                                        tr("Failed to open map: %1").arg(path));
        m_currentFile.clear();
        m_recentMaps.removeFile(path);
        updateRecentMapsMenu();
    }
    // A load that ended early leaves the dialog behind; it must not stay up.
    m_progress.close();
    m_map->setLivePlayDisabled(!m_livePlay);
    setDirty(false);
    m_lightView->restoreSorting(sortColumn);
    m_layoutView->autoZoom();
    releaseFreedHeap();
}

// Opening a large map frees hundreds of megabytes of file text, parsed records and sorting
// scratch, mostly in blocks the allocator keeps for reuse; they would stay resident for the
// map's whole life.
void MetaTool::releaseFreedHeap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool MetaTool::writeMapTo(const QString &path, bool withProgress)
{
    if (withProgress)
        createProgressDialog();
    const bool ok = m_map->saveMap(path);
    m_progress.close();
    if (!ok) {
        UserPrompt::instance()->message(this, QMessageBox::Critical, tr("Save Failed"),
                                        tr("Unable to save file ") + path + ".");
    }
    return ok;
}

bool MetaTool::saveMap()
{
    EngineRestorer restorer(m_engine);
    if (m_currentFile.isEmpty()) {
        m_currentFile = UserPrompt::instance()->saveFileName(this, tr("Select A Map File"),
                                                             m_mapFolder, tr("Map Files (*.map)"));
    }
    if (m_currentFile.isEmpty())
        return false;
    m_currentFile = withMapSuffix(m_currentFile);
    m_mapFolder = folderOf(m_currentFile);
    const bool ok = writeMapTo(m_currentFile, true);
    if (ok) {
        m_recentMaps.addFile(m_currentFile);
        updateRecentMapsMenu();
        m_changed = false;
    }
    updateTitle();
    return ok;
}

void MetaTool::handleSaveMapAction()
{
    saveMap();
}

void MetaTool::handleSaveMapAsAction()
{
    EngineRestorer restorer(m_engine);
    QString name = UserPrompt::instance()->saveFileName(this, tr("Select A Map File"), m_mapFolder,
                                                        tr("Map Files (*.map)"));
    if (name.isEmpty())
        return;
    name = withMapSuffix(name);
    m_mapFolder = folderOf(name);
    if (writeMapTo(name, false)) {
        m_recentMaps.addFile(name);
        updateRecentMapsMenu();
        m_currentFile = name;
        m_changed = false;
    }
    updateTitle();
}

void MetaTool::handlePrintAction()
{
    // The engine keeps running: printing only reads the scene.
    QPrinter printer(QPrinter::ScreenResolution);
    if (UserPrompt::instance()->printSetup(this, &printer) && m_scene)
        renderMapToPage(m_scene, &printer);
}

void MetaTool::closeEvent(QCloseEvent *event)
{
    writeSettings();
    if (maybeSave())
        event->accept();
    else
        event->ignore();
}

void MetaTool::handleExitAction()
{
    writeSettings();
    if (!maybeSave())
        return;
    QCoreApplication::exit(0);
}

// ---- commands that act on the views ---------------------------------------------------------

bool MetaTool::runCreationDialog(QDialog *dialog, bool pauseCanvas)
{
    m_engine->setPaused(true);
    if (pauseCanvas)
        m_layoutView->setUpdatePaused(true);
    const int sortColumn = m_lightView->sortColumn();
    m_lightView->setSortingEnabled(false);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    m_lightView->restoreSorting(sortColumn);
    if (pauseCanvas) {
        m_layoutView->setUpdatePaused(false);
        m_layoutView->updateCanvas();
    }
    m_engine->setPaused(false);
    // A cancelled dialog changed nothing, so an earlier unsaved change must stay marked.
    if (accepted)
        setDirty(true);
    return accepted;
}

void MetaTool::handleUndoAction()
{
    m_undoManager->undo();
}

void MetaTool::handleRedoAction()
{
    m_undoManager->redo();
}

void MetaTool::handleEditPreferencesAction()
{
    EditPreferencesDialog dialog(this);
    dialog.setFrameRate(m_frameRate);
    dialog.setCanvasWidth(m_canvasWidth);
    dialog.setCanvasHeight(m_canvasHeight);
    dialog.setGridSize(m_gridSpacing);
    dialog.setKeepRecentMaps(m_recentMapsEnabled);
    dialog.setRecentMapsCount(m_recentMapCount);
    if (dialog.exec() != QDialog::Accepted)
        return;
    applyPreferences(dialog.frameRate(), dialog.canvasWidth(), dialog.canvasHeight(),
                     dialog.gridSize(), dialog.keepRecentMaps(), dialog.recentMapsCount());
}

void MetaTool::handleDiscoverInterfacesAction()
{
    DiscoverInterfacesWizard wizard(m_map, m_engine, this);
    wizard.exec();
    // The wizard adds its picks on Cancel as well.
    setDirty(true);
}

void MetaTool::handleDiscoverLightsAction()
{
    DiscoverLightsWizard wizard(m_map, m_engine, m_selection, this);
    const bool sorting = m_lightView->suspendSorting();
    wizard.exec();
    m_lightView->sortByPort(sorting);
    setDirty(true);
}

void MetaTool::handleSyncInterfacesAction()
{
    // The sync touches every light: one repaint and one dirty mark at the end, not thousands.
    disconnect(m_map, &MapModel::updatedLight, m_selection, &SelectionEffect::handleUpdatedLight);
    disconnect(m_lightView, &LightView::setDirty, this, &MetaTool::setDirty);
    disconnect(m_groupView, &GroupView::setDirty, this, &MetaTool::setDirty);
    disconnect(m_layoutView, &LayoutView::setDirty, this, &MetaTool::setDirty);
    {
        SyncInterface sync(m_map, m_engine, m_lightView->interfaceUids(), m_lightView);
        sync.exec();
    }
    connect(m_map, &MapModel::updatedLight, m_selection, &SelectionEffect::handleUpdatedLight);
    connect(m_lightView, &LightView::setDirty, this, &MetaTool::setDirty);
    connect(m_groupView, &GroupView::setDirty, this, &MetaTool::setDirty);
    connect(m_layoutView, &LayoutView::setDirty, this, &MetaTool::setDirty);
    setDirty(true);
}

void MetaTool::handleAddInterfaceAction()
{
    QInputDialog chooser(this, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    chooser.setWindowTitle(tr("Interface Type"));
    chooser.setLabelText(tr("Please choose what type of Interface to add."));
    chooser.setComboBoxItems({tr("Orvex Interface")});
    chooser.setComboBoxEditable(false);
    if (chooser.exec() != QDialog::Accepted)
        return;
    m_engine->setPaused(true);
    DataSupply *ds = m_map->createDataSupply(2);
    ds->setUid(m_map->nextUid());
    ds->setName(tr("New ") + chooser.textValue());
    ds->setProtocolVersion(2);
    if (m_map->addDataSupply(ds)) {
        // The interface stays in the map whatever the editor's answer.
        EditControllerDialog editor(m_map, ds, this);
        editor.exec();
    } else {
        delete ds;
    }
    m_engine->setPaused(false);
    setDirty(true);
}

void MetaTool::handleAddStringAction()
{
    CreateStringDialog dialog(m_map, this);
    runCreationDialog(&dialog, true);
}

void MetaTool::handleAddLightsAction()
{
    CreateLights dialog(m_map, this);
    runCreationDialog(&dialog, false);
}

void MetaTool::handleAddGroupAction()
{
    m_layoutView->handleCreateGroupFromSelection();
}

void MetaTool::handleShowGridToggled(bool b)
{
    Q_UNUSED(b); // the grid is never drawn; the flag is only stored
}

void MetaTool::handleSnapToGridToggled(bool b)
{
    m_snapToGrid = b;
    ui.snapToGridAction->setChecked(b);
    m_layoutView->setSnapToGrid(b);
}

void MetaTool::handlePauseToggled(bool b)
{
    m_engine->setPaused(b);
}

void MetaTool::handleAutoZoomAction()
{
    m_layoutView->autoZoom();
}

void MetaTool::handleZoomInAction()
{
    m_layoutView->zoomIn();
}

void MetaTool::handleZoomOutAction()
{
    m_layoutView->zoomOut();
}

void MetaTool::handleSelectAllLightsAction()
{
    m_selection->selectAll();
    m_layoutView->setSelectAllLights(true);
}

void MetaTool::handleCreateAnimationTemplateAction()
{
    EngineRestorer restorer(m_engine);
    UserPrompt *prompt = UserPrompt::instance();
    QString file = prompt->saveFileName(this, tr("Save Animation Template As"), m_mapFolder,
                                        tr("PNG Files (*.png)"));
    if (file.isEmpty())
        return;
    if (!file.endsWith(QLatin1String(".png")))
        file += QLatin1String(".png");
    int grid = 0;
    if (!prompt->integer(this, tr("Template Grid Size"),
                         tr("Please enter the grid size to use in creating the Animation "
                            "Template"),
                         m_gridSpacing, 1, 1000, 1, &grid))
        return;

    QList<QPointF> positions;
    const QHash<quint64, Light *> lights = m_map->lights();
    positions.reserve(lights.size());
    for (const Light *light : lights)
        positions << QPointF(light->pose().x, light->pose().y);

    QProgressDialog progress(tr("Analyzing Map Geometry..."), tr("Cancel"), 0,
                             int(positions.size()));
    const AnimationTemplate::Extent extent = AnimationTemplate::measure(positions);
    switch (AnimationTemplate::fits(extent, grid)) {
    case AnimationTemplate::Fit::Empty:
        return;
    case AnimationTemplate::Fit::TooLarge:
        prompt->message(this, QMessageBox::Warning, tr("Error"),
                        tr("An animation template of this map with a grid of %1 would be %2 x "
                           "%3 pixels, more than the %4 million pixels it may have. Please "
                           "choose a larger grid size.")
                            .arg(grid)
                            .arg(std::trunc(extent.width(grid)), 0, 'f', 0)
                            .arg(std::trunc(extent.height(grid)), 0, 'f', 0)
                            .arg(AnimationTemplate::MaxPixels / 1000000));
        return;
    case AnimationTemplate::Fit::Fits:
        break;
    }
    progress.setLabelText(tr("Initializing Image Buffer..."));
    progress.setValue(0);
    progress.setLabelText(tr("Creating Template..."));
    const QImage image = AnimationTemplate::render(positions, extent, grid);
    progress.setValue(int(positions.size()));
    QSaveFile out(file);
    if (image.isNull() || !out.open(QIODevice::WriteOnly) || !image.save(&out, "PNG", 100) ||
        !out.commit())
        prompt->message(this, QMessageBox::Warning, tr("Save Failed"),
                        tr("The animation template could not be written to %1.").arg(file));
}

void MetaTool::handleAddBackgroundImageAction()
{
    EngineRestorer restorer(m_engine);
    const QString file = UserPrompt::instance()->openFileName(
        this, tr("Select a Background Image File"), m_imageFolder,
        tr("Image Files (*.png *.jpg *.bmp *.gif)"));
    if (file.isEmpty())
        return;
    m_imageFolder = file.left(file.lastIndexOf(QLatin1Char('/')));
    m_map->setImageFile(file);
    handleNewImageFile();
    setDirty(true); // the picture's name is part of the map: closing must ask to save it
}

void MetaTool::handleAboutAction()
{
    AboutDialog::showAbout(this);
}

void MetaTool::handleNewImageFile()
{
    const QString file = m_map->imageFile();
    if (file.isEmpty())
        return;
    QSize fullSize;
    const QImage image = loadShowingBusy(file, &fullSize);
    if (image.isNull()) {
        // The map stays usable and keeps the name, so the picture comes back once the file
        // is there again.
        UserPrompt::instance()->message(
            this, QMessageBox::Warning, tr("Background Image"),
            tr("The background image %1 could not be loaded; the map is shown without it.")
                .arg(file));
        return;
    }
    QGraphicsPixmapItem *item = m_scene->addPixmap(QPixmap::fromImage(image));
    item->setZValue(-1);
    item->setAcceptedMouseButtons(Qt::NoButton);
    item->setPos(0, 0);
    // A picture scaled down to fit memory is stretched back over the floor it shows.
    if (image.width() != fullSize.width()) {
        item->setTransformationMode(Qt::SmoothTransformation);
        item->setScale(double(fullSize.width()) / image.width());
    }
    m_scene->setSceneRect(0, 0, fullSize.width(), fullSize.height());
}
