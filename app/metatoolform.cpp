#include "metatoolform.h"

#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

void MetaToolForm::setupUi(QMainWindow *window)
{
    window->setObjectName("MetaTool");
    window->resize(900, 810);
    window->setWindowIcon(QIcon("images/icons/Dallowmere.bmp"));
    setupActions(window);
    setupCentralWidget(window);
    setupMenus(window);
    setupToolbars(window);
    statusbar = new QStatusBar(window);
    statusbar->setObjectName("statusbar");
    window->setStatusBar(statusbar);
}

QAction *MetaToolForm::makeAction(QMainWindow *window, const char *name, const QString &text,
                                  const QString &iconText, const QString &shortcut,
                                  const QString &icon)
{
    auto *a = new QAction(window);
    a->setObjectName(name);
    a->setText(text);
    if (!iconText.isEmpty())
        a->setIconText(iconText);
    if (!shortcut.isEmpty())
        a->setShortcut(QKeySequence(shortcut));
    if (!icon.isEmpty())
        a->setIcon(QIcon(":/images/icons/" + icon));
    return a;
}

void MetaToolForm::setupActions(QMainWindow *w)
{
    const QString none;
    newMapAction = makeAction(w, "newMapAction", QObject::tr("&New Map"), QObject::tr("New Map"),
                              "Ctrl+N", "new_map.png");
    openMapAction = makeAction(w, "openMapAction", QObject::tr("&Open Map"),
                               QObject::tr("Open Map"), "Ctrl+O", "open_map.png");
    saveMapAction = makeAction(w, "saveMapAction", QObject::tr("&Save Map"),
                               QObject::tr("Save Map"), "Ctrl+S", "save_map.png");
    saveMapAsAction = makeAction(w, "saveMapAsAction", QObject::tr("Save Map As..."),
                                 QObject::tr("Save Map As..."), none, none);
    printAction = makeAction(w, "printAction", QObject::tr("&Print Map..."),
                             QObject::tr("Print Map..."), "Ctrl+P", none);
    exitAction = makeAction(w, "exitAction", QObject::tr("E&xit"), QObject::tr("Exit"), none, none);
    undoAction =
        makeAction(w, "undoAction", QObject::tr("Undo"), QObject::tr("Undo"), "Ctrl+Z", none);
    undoAction->setEnabled(false);
    redoAction =
        makeAction(w, "redoAction", QObject::tr("Redo"), QObject::tr("Redo"), "Ctrl+Y", none);
    redoAction->setEnabled(false);
    editPreferencesAction = makeAction(w, "editPreferencesAction", QObject::tr("&Preferences..."),
                                       QObject::tr("Edit Preferences..."), none, none);
    discoverInterfacesAction =
        makeAction(w, "discoverInterfacesAction", QObject::tr("Discover &Interfaces..."),
                   QObject::tr("Discover Interfaces..."), none, "discover_interfaces.png");
    discoverLightsAction =
        makeAction(w, "discoverLightsAction", QObject::tr("Discover &Lights..."),
                   QObject::tr("Discover Lights..."), none, "discover_lights.png");
    syncInterfacesAction = makeAction(w, "syncInterfacesAction", QObject::tr("Sync &Interfaces..."),
                                      QObject::tr("Sync Interfaces..."), none, "sync.png");
    addInterfaceAction = makeAction(w, "addInterfaceAction", QObject::tr("Add &Interface..."),
                                    QObject::tr("Add Interface..."), none, "add_interfaces.png");
    addStringAction = makeAction(w, "addStringAction", QObject::tr("Add &String..."),
                                 QObject::tr("Add String..."), none, "add_string.png");
    addLightsAction = makeAction(w, "addLightsAction", QObject::tr("Add &Lights..."),
                                 QObject::tr("Add RGB Lights..."), none, "add_lights.png");
    addGroupAction = makeAction(w, "addGroupAction", QObject::tr("Add &Group..."),
                                QObject::tr("Add Group..."), none, "add_group.png");
    addGroupAction->setToolTip(QObject::tr("Add Group..."));
    snapToGridAction = makeAction(w, "snapToGridAction", QObject::tr("Snap To &Grid"),
                                  QObject::tr("Snap To Grid"), none, "snaptogrid.png");
    snapToGridAction->setCheckable(true);
    snapToGridAction->setChecked(true);
    autoZoomAction = makeAction(w, "autoZoomAction", QObject::tr("&Auto Zoom"),
                                QObject::tr("Auto Zoom"), "F5", none);
    zoomInAction = makeAction(w, "zoomInAction", QObject::tr("Zoom &In"), QObject::tr("Zoom In"),
                              "Ctrl+=", "zoom_in.png");
    zoomOutAction = makeAction(w, "zoomOutAction", QObject::tr("Zoom &Out"),
                               QObject::tr("Zoom Out"), "Ctrl+-", "zoom_out.png");
    selectAllLightsAction = makeAction(w, "selectAllLightsAction", QObject::tr("Select All Lights"),
                                       QObject::tr("Select All Lights"), "Ctrl+A", none);
    livePlayAction = makeAction(w, "livePlayAction", QObject::tr("&Live Play Enabled"),
                                QObject::tr("Live Play Enabled"), none, none);
    livePlayAction->setCheckable(true);
    livePlayAction->setStatusTip(QObject::tr("Toggle Live Play"));
    createAnimationTemplateAction =
        makeAction(w, "createAnimationTemplateAction", QObject::tr("Create Animation &Template..."),
                   QObject::tr("Create Animation Template"), none, none);
    addBackgroundImageAction =
        makeAction(w, "addBackgroundImageAction", QObject::tr("Add &Background Image..."), none,
                   "Ctrl+B", none);
    aboutAction = makeAction(w, "aboutAction", QObject::tr("&About Dallowmere..."),
                             QObject::tr("About Dallowmere..."), none, none);

    showGridAction = makeAction(w, "showGridAction", QObject::tr("Show Grid"), none, none, none);
    showGridAction->setCheckable(true);
    showGridAction->setChecked(true);
    pauseAction = makeAction(w, "pauseAction", QObject::tr("Pause LivePlay"), none, none, none);
    pauseAction->setCheckable(true);
    addTileAction = makeAction(w, "addTileAction", QObject::tr("Add &Tile..."), none, none, none);
    addModuleAction =
        makeAction(w, "addModuleAction", QObject::tr("Add &Module..."), none, none, none);
    addWhiteLightsAction = makeAction(w, "addWhiteLightsAction",
                                      QObject::tr("Add &White Lights..."), none, none, none);
}

QFrame *MetaToolForm::addPane(QGroupBox *&box, const char *boxName, const QString &title,
                              const char *frameName)
{
    box = new QGroupBox(m_splitter);
    box->setObjectName(boxName);
    box->setTitle(title);
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(2, 2, 2, 2);
    auto *frame = new QFrame(box);
    frame->setObjectName(frameName);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    grid->addWidget(frame, 0, 0);
    m_splitter->addWidget(box);
    return frame;
}

void MetaToolForm::setupCentralWidget(QMainWindow *window)
{
    layoutWidget = new QWidget(window);
    layoutWidget->setObjectName("layoutWidget");
    horizontalLayout = new QHBoxLayout(layoutWidget);
    horizontalLayout->setContentsMargins(3, 3, 3, 3);
    m_splitter = new QSplitter(Qt::Horizontal, layoutWidget);
    m_splitter->setObjectName("m_splitter");
    m_splitter->setChildrenCollapsible(false);
    horizontalLayout->addWidget(m_splitter);
    m_lightFrame = addPane(m_lightGroupBox, "m_lightGroupBox", QObject::tr("Lights/Interfaces"),
                           "m_lightFrame");
    m_groupFrame =
        addPane(m_groupGroupBox, "m_groupGroupBox", QObject::tr("Groups"), "m_groupFrame");
    m_layoutFrame =
        addPane(m_layoutGroupBox, "m_layoutGroupBox", QObject::tr("Layout"), "m_layoutFrame");
    m_layoutGroupBox->setMinimumWidth(500);
    m_layoutFrame->setMinimumSize(100, 100);
    window->setCentralWidget(layoutWidget);
}

void MetaToolForm::setupMenus(QMainWindow *window)
{
    menubar = new QMenuBar(window);
    menubar->setObjectName("menubar");
    window->setMenuBar(menubar);
    auto menu = [this](const char *name, const QString &title) {
        QMenu *m = menubar->addMenu(title);
        m->setObjectName(name);
        return m;
    };
    m_fileMenu = menu("m_fileMenu", QObject::tr("&File"));
    m_fileMenu->addActions({newMapAction, openMapAction, saveMapAction, saveMapAsAction});
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(printAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(exitAction);

    m_editMenu = menu("m_editMenu", QObject::tr("&Edit"));
    m_editMenu->addActions({undoAction, redoAction});
    m_editMenu->addSeparator();
    m_editMenu->addAction(editPreferencesAction);

    m_lightMenu = menu("m_lightMenu", QObject::tr("&Light View"));
    m_lightMenu->addActions({discoverInterfacesAction, discoverLightsAction, syncInterfacesAction});
    m_lightMenu->addSeparator();
    m_lightMenu->addAction(addInterfaceAction);
    m_lightMenu->addSeparator();
    m_lightMenu->addActions({addStringAction, addLightsAction});

    m_groupMenu = menu("m_groupMenu", QObject::tr("&Group View"));
    m_groupMenu->addAction(addGroupAction);

    Layout_ViewMenu = menu("Layout_ViewMenu", QObject::tr("La&yout View"));
    Layout_ViewMenu->addAction(snapToGridAction);
    Layout_ViewMenu->addSeparator();
    Layout_ViewMenu->addActions(
        {autoZoomAction, zoomInAction, zoomOutAction, selectAllLightsAction});
    Layout_ViewMenu->addSeparator();
    Layout_ViewMenu->addAction(livePlayAction);
    Layout_ViewMenu->addSeparator();
    Layout_ViewMenu->addActions({createAnimationTemplateAction, addBackgroundImageAction});

    m_helpMenu = menu("m_helpMenu", QObject::tr("&Help"));
    m_helpMenu->addAction(aboutAction);
}

void MetaToolForm::setupToolbars(QMainWindow *window)
{
    auto bar = [window](const char *name, const char *label) {
        auto *t = new QToolBar(window);
        t->setObjectName(name);
        t->setProperty("label", QString::fromLatin1(label));
        window->addToolBar(Qt::TopToolBarArea, t);
        return t;
    };
    m_fileToolbar = bar("m_fileToolbar", "File Toolbar");
    m_fileToolbar->addActions({newMapAction, openMapAction, saveMapAction});
    m_wizardToolbar = bar("m_wizardToolbar", "Wizards Toolbar");
    m_wizardToolbar->addActions(
        {discoverInterfacesAction, discoverLightsAction, syncInterfacesAction});
    m_layoutToolbar = bar("m_layoutToolbar", "Layout View Toolbar");
    m_layoutToolbar->addActions({snapToGridAction, zoomInAction, zoomOutAction, livePlayAction});
    m_addToolbar = bar("m_addToolbar", "Map Creation Toolbar");
    m_addToolbar->addAction(addInterfaceAction);
    m_addToolbar->addSeparator();
    m_addToolbar->addActions({addStringAction, addLightsAction});
    m_groupToolbar = bar("m_groupToolbar", "Group View Toolbar");
    m_groupToolbar->addAction(addGroupAction);
}
