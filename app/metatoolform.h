#ifndef METATOOLFORM_H
#define METATOOLFORM_H

#include <QtGlobal>

class QAction;
class QActionGroup;
class QFrame;
class QGroupBox;
class QHBoxLayout;
class QMainWindow;
class QMenu;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QWidget;

// The main window's layout description: actions, menus, toolbars and the three framed panes.
// Kept apart from MetaTool so the window's logic does not drown in widget set-up.
class MetaToolForm
{
public:
    void setupUi(QMainWindow *window);

    QAction *newMapAction, *openMapAction, *saveMapAction, *saveMapAsAction, *printAction,
        *exitAction;
    QAction *undoAction, *redoAction, *editPreferencesAction;
    QAction *discoverInterfacesAction, *discoverLightsAction, *syncInterfacesAction;
    QAction *addInterfaceAction, *addStringAction, *addLightsAction, *addGroupAction;
    QAction *snapToGridAction, *autoZoomAction, *zoomInAction, *zoomOutAction,
        *selectAllLightsAction, *livePlayAction;
    QAction *createAnimationTemplateAction, *addBackgroundImageAction, *aboutAction;
    // Created but shown nowhere and connected to nothing.
    QAction *showGridAction, *pauseAction, *addTileAction, *addModuleAction, *addWhiteLightsAction;

    QWidget *layoutWidget;
    QHBoxLayout *horizontalLayout;
    QSplitter *m_splitter;
    QGroupBox *m_lightGroupBox, *m_groupGroupBox, *m_layoutGroupBox;
    QFrame *m_lightFrame, *m_groupFrame, *m_layoutFrame;

    QMenuBar *menubar;
    QMenu *m_fileMenu, *m_editMenu, *m_lightMenu, *m_groupMenu, *Layout_ViewMenu, *m_helpMenu;
    QToolBar *m_fileToolbar, *m_wizardToolbar, *m_layoutToolbar, *m_addToolbar, *m_groupToolbar;
    QStatusBar *statusbar;

private:
    QAction *makeAction(QMainWindow *window, const char *name, const QString &text,
                        const QString &iconText, const QString &shortcut, const QString &icon);
    void setupActions(QMainWindow *window);
    void setupCentralWidget(QMainWindow *window);
    QFrame *addPane(QGroupBox *&box, const char *boxName, const QString &title,
                    const char *frameName);
    void setupMenus(QMainWindow *window);
    void setupToolbars(QMainWindow *window);
};

#endif // METATOOLFORM_H
