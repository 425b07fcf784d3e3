#ifndef METATOOL_H
#define METATOOL_H

#include "appsettings.h"
#include "mapprogressdialog.h"
#include "metatoolform.h"
#include "mrulist.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

class CommLibrary;
class EffectEngine;
class FrameBatch;
class GroupView;
class LayoutView;
class LightView;
class MapModel;
class Orvex;
class QDialog;
class QGraphicsScene;
class QLabel;
class QMenu;
class QStatusBar;
class SelectionEffect;
class UndoManager;

// The application's main window: it owns the long-lived objects (map model, effect engine,
// protocol object, selection effect), shows the map in the light tree, the group panel and the
// layout canvas, and carries every menu command.
class MetaTool : public QMainWindow
{
    Q_OBJECT
public:
    explicit MetaTool(QWidget *parent = nullptr);
    ~MetaTool() override;

    MapModel *mapModel() const { return m_map; }
    EffectEngine *effectEngine() const { return m_engine; }
    SelectionEffect *selectionEffect() const { return m_selection; }
    Orvex *protocol() const { return m_protocol; }
    LightView *lightView() const { return m_lightView; }
    GroupView *groupView() const { return m_groupView; }
    LayoutView *layoutView() const { return m_layoutView; }
    QGraphicsScene *canvasScene() const { return m_scene; }
    const MetaToolForm &form() const { return ui; }
    QString currentFile() const { return m_currentFile; }
    int nodeCount() const { return m_nodeCount; }
    bool livePlay() const { return m_livePlay; }
    QString mapFolder() const { return m_mapFolder; }
    const MRUList &recentMaps() const { return m_recentMaps; }
    QMenu *recentMapsMenu() const { return m_recentMapsMenu; }

    // Rebuilds the Recent Maps submenu from the recent list (trimmed to the configured count).
    void updateRecentMapsMenu();
    // Takes the values of an accepted preferences dialog: frame rate (and so the frame
    // interval), canvas size for the next New or Open, grid spacing, the recent-map settings;
    // then rebuilds the recent menu and writes the settings.
    void applyPreferences(int frameRate, int canvasWidth, int canvasHeight, int gridSize,
                          bool keepRecentMaps, int recentMapsCount);

    // Opens the map at path; an empty path asks the user for one.
    void openMap(const QString &path);
    // Saves under the current file (asking for a name when there is none); true only when the
    // map was written, so callers that are about to drop the map can tell a cancelled or
    // failed save from a good one.
    bool saveMap();
    // Runs a creation dialog (Add String, Add Lights) with the engine paused and the tree's
    // sorting off; marks the map changed when it was accepted and leaves the mark alone when
    // it was not. Returns whether it was accepted.
    bool runCreationDialog(QDialog *dialog, bool pauseCanvas);

public slots:
    void handleNewMapAction();
    void handleOpenMapAction();
    void handleRecentMapSelected();
    void handleSaveMapAction();
    void handleSaveMapAsAction();
    void handlePrintAction();
    void handleExitAction();
    void handleUndoAction();
    void handleRedoAction();
    void handleEditPreferencesAction();
    void handleDiscoverInterfacesAction();
    void handleDiscoverLightsAction();
    void handleSyncInterfacesAction();
    void handleAddInterfaceAction();
    void handleAddStringAction();
    void handleAddLightsAction();
    void handleAddGroupAction();
    void handleShowGridToggled(bool b);
    void handleSnapToGridToggled(bool b);
    void handlePauseToggled(bool b);
    void handleAutoZoomAction();
    void handleZoomInAction();
    void handleZoomOutAction();
    void handleSelectAllLightsAction();
    void handleLivePlayToggled(bool b);
    void handleCreateAnimationTemplateAction();
    void handleAddBackgroundImageAction();
    void handleAboutAction();
    void setDirty(bool d);
    bool getDirty() const { return m_changed; }
    void incrementNodeCount();
    void decrementNodeCount();
    void resetNodeCount();
    // The node count and the title, held back while a batch of additions ran.
    void handleBatchFinished();
    void handleProgressUpdated(int current);
    void handleProgressStarted(int min, int max, QString windowText);
    void handleProgressTextChanged(QString text);
    void handleNewImageFile();
    void handleSendDMXFrame(QString ip, quint16 startCode, quint16 timerVal, QByteArray dmxData);
    void handleSendPortOut(QString ip, quint32 universe, quint8 port, quint16 flags,
                           quint16 startCode, QByteArray dmxData);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    static void releaseFreedHeap();
    // Sets the organisation and application names and reads the recent-map count, so the
    // recent list, built before anything else, reads the right store and every entry.
    static int prepareSettingsStore();
    void readSettings();
    void writeSettings();
    void restoreGeometry();
    void restoreColumnWidths();
    void writeGeometry();
    void createRecentMapsMenu();
    void updateTitle();
    void applyLivePlayState();
    void createStatusBar();
    void createLongLivedObjects();
    void createViews();
    void placeView(QWidget *view, QWidget *frame);
    void connectActions();
    void createProgressDialog();
    // Asks whether to save a changed map: true when the caller may go on (No, or Yes with a
    // save that succeeded), false when the map must stay (Cancel, or a failed save).
    bool maybeSave();
    void clearMapAndCanvas();
    bool writeMapTo(const QString &path, bool withProgress);
    static QString withMapSuffix(const QString &path);
    static QString folderOf(const QString &path);

    MetaToolForm ui;
    bool m_changed = false;
    QStatusBar *m_statusBar = nullptr;
    LightView *m_lightView = nullptr;
    GroupView *m_groupView = nullptr;
    QGraphicsScene *m_scene = nullptr;
    LayoutView *m_layoutView = nullptr;
    UndoManager *m_undoManager = nullptr;
    MapModel *m_map = nullptr;
    EffectEngine *m_engine = nullptr;
    Orvex *m_protocol = nullptr;
    FrameBatch *m_frameBatch = nullptr;
    SelectionEffect *m_selection = nullptr;
    CommLibrary *m_commLibrary = nullptr;
    bool m_showGrid = true;
    bool m_snapToGrid = true;
    int m_canvasWidth = 10000;
    int m_canvasHeight = 10000;
    int m_gridSpacing = 12;
    int m_zoom = 10;
    bool m_livePlay = true;
    int m_frameRate = AppSettings::DefaultFrameRate;
    bool m_recentMapsEnabled = true;
    int m_recentMapCount = 5;
    MRUList m_recentMaps;
    QString m_mapFolder = "./";
    QString m_currentFile;
    QMenu *m_recentMapsMenu = nullptr;
    QActionGroup *m_recentMapsActionGroup = nullptr;
    QString m_imageFolder;
    QLabel *m_nodeCountLabel = nullptr;
    int m_nodeCount = 0;
    MapProgressDialog m_progress;
};

#endif // METATOOL_H
