#include "layoutview.h"

#include "dialogs/creategroupdialog.h"
#include "editgroupdialog.h"
#include "layoutvieweditor.h"
#include "layoutviewlight.h"
#include "layoutviewtiles.h"
#include "undoaction.h"
#include "undoactionlist.h"

#include "dialogs/editlightsdialog.h"
#include "dialogs/userprompt.h"
#include "model/group.h"
#include "model/light.h"
#include "model/lightframestate.h"
#include "model/lightpose.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressDialog>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

namespace {
constexpr int ReservedLights = 15000;
// How long a long deletion runs between two passes of the event loop.
constexpr qint64 DeleteProgressIntervalMs = 50;
} // namespace

int LayoutView::roundHalfAway(double v)
{
    return int(v < 0 ? v - 0.5 : v + 0.5);
}

QPoint LayoutView::roundHalfAway(const QPointF &p)
{
    return QPoint(roundHalfAway(p.x()), roundHalfAway(p.y()));
}

LayoutView::LayoutView(MapModel *map, SelectionEffect *selection, QGraphicsScene *scene,
                       QWidget *parent, const QString &name)
    : QGraphicsView(scene, parent), m_map(map), m_selection(selection), m_scene(scene),
      m_tiles(std::make_unique<LayoutViewTiles>(scene)),
      m_editor(std::make_unique<LayoutViewEditor>(*this))
{
    Q_UNUSED(name); // the caller names the view; the canvas keeps no name of its own
    if (m_selection) {
        connect(m_selection, &SelectionEffect::lightSelectionChanged, this,
                &LayoutView::handleLightSelectionChanged);
        connect(m_selection, &SelectionEffect::lightsSelectionChangedInBulk, this,
                &LayoutView::handleLightsSelectionChangedInBulk);
    }
    // The Menu key reaches handleContextMenuRequested through event() and viewportEvent(),
    // Shift+F10 through keyPressEvent(); a right-button press opens the menu by itself.
    setContextMenuPolicy(Qt::CustomContextMenu);
    if (m_map) {
        connect(m_map, &MapModel::newLight, this, &LayoutView::handleNewLight);
        connect(m_map, &MapModel::updatedLight, this, &LayoutView::handleUpdatedLight);
        connect(m_map, &MapModel::updatedLightPosition, this,
                &LayoutView::handleUpdatedLightPosition);
        connect(m_map, &MapModel::deletedLight, this, &LayoutView::handleDeletedLight);
        connect(m_map, &MapModel::clearedMap, this, &LayoutView::handleClearedMap);
    }
    if (m_map)
        ++LightFrameState::canvasViews;
    m_lightItems.reserve(ReservedLights);
    m_selectionList.reserve(ReservedLights);
    buildPopupMenu();
    setSelectionActionsEnabled(false);
}

LayoutView::~LayoutView()
{
    m_editor->endRubberBand();
    forgetMarks();
    qDeleteAll(m_lightItems);
    if (m_map)
        --LightFrameState::canvasViews;
}

void LayoutView::buildPopupMenu()
{
    m_popupMenu = new QMenu(tr("Popup Menu"), this);
    auto add = [this](const QString &text, void (LayoutView::*slot)()) {
        QAction *a = m_popupMenu->addAction(text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction *edit = add(tr("Edit Light(s)..."), &LayoutView::handleEditLights);
    m_popupMenu->addSeparator();
    QAction *fromSelection =
        add(tr("Create Group from Selection..."), &LayoutView::handleCreateGroupFromSelection);
    m_createInteractivelyAction =
        add(tr("Create Group Interactively..."), &LayoutView::handleCreateGroupInteractively);
    m_popupMenu->addSeparator();
    m_selectionActions << edit;
    m_selectionActions << add(tr("Delete Selection"), &LayoutView::handleDeleteSelection);
    m_popupMenu->addSeparator();
    m_selectionActions << add(tr("Rotate Selection CW"), &LayoutView::handleRotateSelectionCW)
                       << add(tr("Rotate Selection CCW"), &LayoutView::handleRotateSelectionCCW);
    m_popupMenu->addSeparator();
    m_selectionActions << add(tr("Flip Selection Vertically"),
                              &LayoutView::handleFlipSelectionVertically)
                       << add(tr("Flip Selection Horizontally"),
                              &LayoutView::handleFlipSelectionHorizontally);
    m_selectionActions << fromSelection;
}

void LayoutView::setSelectionActionsEnabled(bool e)
{
    m_createInteractivelyAction->setEnabled(true);
    // Runs on every selection change, once per light for a whole-map selection.
    if (e == m_selectionActionsOn)
        return;
    m_selectionActionsOn = e;
    for (QAction *a : std::as_const(m_selectionActions))
        a->setEnabled(e);
}

void LayoutView::repaintUnlessPaused()
{
    if (!m_updatePaused && m_scene)
        m_scene->update();
}

void LayoutView::setSnapToGrid(bool b)
{
    m_snapToGrid = b;
}

void LayoutView::setGridSpacing(int n)
{
    if (n >= 0)
        m_gridSpacing = n;
}

void LayoutView::handleNewLight(quint64 uid)
{
    Light *light = m_map ? m_map->light(uid) : nullptr;
    if (light && m_scene) {
        const LightPose pose = light->pose();
        const QRectF r = m_scene->sceneRect();
        if (pose.x > r.width() || pose.y > r.height()) {
            const int w = pose.x > r.width() ? int(pose.x * 1.1 + m_gridSpacing) : int(r.width());
            const int h = pose.y > r.height() ? int(pose.y * 1.1 + m_gridSpacing) : int(r.height());
            m_scene->setSceneRect(0, 0, w, h);
        }
        // A light announced twice must not leave an orphan square behind.
        deleteLightItem(uid);
        auto *item = new LayoutViewLight(uid, light, m_nextOrder++);
        item->setPosFromGrid(QPointF(int(pose.x), int(pose.y)));
        item->setUnsnappedPos(QPointF(pose.x, pose.y));
        item->forgetShownColor();
        m_lightItems.insert(uid, item);
        ++m_itemsGeneration;
        m_tiles->add(item);
        repaintUnlessPaused();
    }
    emit setDirty(true);
}

void LayoutView::handleUpdatedLight(quint64 uid)
{
    Q_UNUSED(uid);
    emit setDirty(true);
}

void LayoutView::handleUpdatedLightPosition(quint64 uid)
{
    Light *light = m_map ? m_map->light(uid) : nullptr;
    LayoutViewLight *item = m_lightItems.value(uid);
    if (!light || !item)
        return;
    const LightPose pose = light->pose();
    item->setUnsnappedPos(QPointF(pose.x, pose.y));
    m_tiles->place(item, QPointF(int(pose.x), int(pose.y)));
    repaintUnlessPaused();
    emit setDirty(true);
}

void LayoutView::handleDeletedLight(quint64 uid)
{
    deleteLightItem(uid);
    emit setDirty(true);
}

void LayoutView::deleteLightItem(quint64 uid)
{
    LayoutViewLight *item = m_lightItems.take(uid);
    if (!item)
        return;
    ++m_itemsGeneration;
    m_tiles->remove(item);
    // A square waiting for its frame colour goes with that frame.
    if (item->marked)
        m_unmarkedDead.push_back(item);
    else
        delete item;
}

void LayoutView::forgetMarks()
{
    for (LayoutViewLight *item : m_marked)
        item->marked = false;
    m_marked.clear();
    m_allMarked = false;
    qDeleteAll(m_unmarkedDead);
    m_unmarkedDead.clear();
}

void LayoutView::handleClearedMap()
{
    // The scene is cleared next and would take the rubber-band items with it.
    m_editor->endRubberBand();
    forgetMarks();
    qDeleteAll(m_lightItems);
    m_lightItems.clear();
    ++m_itemsGeneration;
    m_tiles->clear();
    // A reopened map may bring the same uids back; a selection kept from the old map would
    // then make lights count as selected that show unselected, and be deleted with them.
    m_selectionList.clear();
    m_selectedUids.clear();
    m_deselectedInList = 0;
    setSelectionActionsEnabled(false);
}

void LayoutView::handlePropertiesCompiled()
{
    // Only the lights the frame listed, and the squares that show a selection mark, can show
    // another colour; a square whose colour changed asks its tile to draw just its area
    // again, so a steady frame costs nothing here.
    if (!m_map)
        return;
    const quint32 stamp = ++m_refreshStamp;
    m_colorMemo.clear();
    auto refresh = [this, stamp](LayoutViewLight *item) {
        item->refreshStamp = stamp;
        item->frameState()->canvasTookColor();
        item->refreshColor(m_colorMemo);
    };
    std::vector<LayoutViewLight *> marked;
    marked.swap(m_marked);
    // In memory order: many marks then walk squares and colour states front to back instead
    // of at random.
    std::sort(marked.begin(), marked.end());
    for (LayoutViewLight *item : marked) {
        item->marked = false;
        if (item->frameState() && item->tile())
            refresh(item);
    }
    const bool allMarked = m_allMarked;
    m_allMarked = false;
    if (allMarked) {
        m_tiles->forEachLight([&refresh, stamp](LayoutViewLight *item) {
            if (item->refreshStamp != stamp && item->frameState())
                refresh(item);
        });
    }
    const bool deadMarked = !m_unmarkedDead.empty();
    qDeleteAll(m_unmarkedDead);
    m_unmarkedDead.clear();
    const std::vector<quint64> listed = m_map->takeCanvasChanges();
    // Every light has a square and every square was marked (Select All, a whole clear): the
    // frame's list holds nothing those did not take.
    if (!deadMarked && (allMarked || marked.size() == size_t(m_lightItems.size())) &&
        m_lightItems.size() == m_map->lights().size())
        return;
    for (quint64 uid : listed) {
        LayoutViewLight *item = m_lightItems.value(uid);
        if (item && item->refreshStamp == stamp)
            continue;
        if (item && item->frameState()) {
            refresh(item);
        } else if (Light *light = m_map->light(uid)) {
            light->frameState()->canvasTookColor();
        }
    }
}

void LayoutView::handleLightSelectionChanged(quint64 uid, bool s)
{
    // Select All and a clear are taken whole once their lights are all announced.
    if (m_selection && m_selection->isAnnouncingInBulk())
        return;
    updateSelectionList(uid, s);
    if (LayoutViewLight *item = m_lightItems.value(uid))
        showSelectionMark(item, s);
    if (!m_clearingSelection)
        setSelectionActionsEnabled(!m_selectedUids.isEmpty());
}

// The same as each light's own announcement, without a signal and a table update per light:
// a whole-map selection joins the list in one piece.
void LayoutView::handleLightsSelectionChangedInBulk(const QSet<quint64> &uids, bool s)
{
    if (s && m_selectedUids.isEmpty()) {
        m_selectedUids = uids;
        m_selectionList = uids.values();
        m_deselectedInList = 0;
        ++m_itemsGeneration;
    } else {
        for (quint64 uid : uids)
            updateSelectionList(uid, s);
    }
    // The effect's lights are the map's: as many as the map has, and as the squares, are all.
    if (m_map && uids.size() == m_map->lights().size() && uids.size() == m_lightItems.size()) {
        // Tile by tile, as a tile's squares lie close together in memory, and with the tiles
        // drawn again whole: asking for each square's area would cost as much again. The
        // next frame colours every square in a tile, so none needs listing as marked.
        const QRgb fill = selectionMarkColor(s);
        m_tiles->forEachLight([fill](LayoutViewLight *item) { item->showMarkQuietly(fill); });
        m_tiles->repaintEverything();
        m_allMarked = true;
    } else {
        for (quint64 uid : uids) {
            if (LayoutViewLight *item = m_lightItems.value(uid))
                showSelectionMark(item, s);
        }
    }
    if (!m_clearingSelection)
        setSelectionActionsEnabled(!m_selectedUids.isEmpty());
}

void LayoutView::updateSelectionList(quint64 uid, bool s)
{
    if (s) {
        appendToSelectionList(uid);
    } else if (!m_clearingSelection && m_selectedUids.remove(uid)) {
        ++m_itemsGeneration;
        ++m_deselectedInList;
        if (m_deselectedInList * 2 > m_selectionList.size())
            compactSelectionList();
    }
}

QRgb LayoutView::selectionMarkColor(bool s)
{
    return s ? qRgb(255, 0, 0) : qRgb(0, 0, 0);
}

void LayoutView::showSelectionMark(LayoutViewLight *item, bool s)
{
    item->showMark(selectionMarkColor(s));
    // The next frame paints the light's own colour over the mark, changed or not.
    if (!item->marked) {
        item->marked = true;
        m_marked.push_back(item);
    }
}

const QList<quint64> &LayoutView::selectionList() const
{
    if (m_deselectedInList > 0)
        compactSelectionList();
    return m_selectionList;
}

void LayoutView::appendToSelectionList(quint64 uid)
{
    if (m_selectedUids.contains(uid))
        return;
    // Select All adds every light one by one.
    if (m_selectedUids.size() == m_selectedUids.capacity())
        m_selectedUids.reserve(qMax(m_selectedUids.size() * 2, m_lightItems.size()));
    // A uid deselected earlier may still stand in the list at its old place.
    if (m_deselectedInList > 0)
        compactSelectionList();
    m_selectedUids.insert(uid);
    m_selectionList.append(uid);
    ++m_itemsGeneration;
}

// Drags and drops walk the selected squares once per pointer move; resolving every uid each
// time would cost a table lookup per square.
const std::vector<LayoutViewLight *> &LayoutView::selectedItems() const
{
    if (m_selectedItemsGeneration == m_itemsGeneration)
        return m_selectedItems;
    m_selectedItems.clear();
    for (quint64 uid : selectionList()) {
        if (LayoutViewLight *item = m_lightItems.value(uid))
            m_selectedItems.push_back(item);
    }
    m_selectedItemsGeneration = m_itemsGeneration;
    return m_selectedItems;
}

void LayoutView::compactSelectionList() const
{
    m_selectionList.removeIf([this](quint64 uid) { return !m_selectedUids.contains(uid); });
    m_deselectedInList = 0;
}

void LayoutView::autoZoom()
{
    if (!m_map)
        return;
    QRect r = m_map->lightsBoundingRect();
    // An empty map, or lights all at the origin, give 0, 0, 0, 0: nothing to fit.
    if (r.top() == 0 && r.left() == 0 && r.width() == 0 && r.height() == 0)
        return;
    r.adjust(-m_gridSpacing, -m_gridSpacing, m_gridSpacing, m_gridSpacing);
    const QRect v = viewport()->visibleRegion().boundingRect();
    if (r.width() > 0 && r.height() > 0) {
        const double s = qMin(double(v.width()) / r.width(), double(v.height()) / r.height());
        resetTransform();
        if (s > 0)
            scale(s, s);
    }
    fitInView(r, Qt::KeepAspectRatio);
}

void LayoutView::recenterCanvas(QPoint mousePoint, QPoint canvasPoint)
{
    const QPoint v = mapFromScene(canvasPoint);
    horizontalScrollBar()->setValue(
        int(double(horizontalScrollBar()->value()) + double(v.x() - mousePoint.x())));
    verticalScrollBar()->setValue(
        int(double(verticalScrollBar()->value()) + double(v.y() - mousePoint.y())));
}

void LayoutView::zoomIn()
{
    const int h = horizontalScrollBar()->value();
    const int v = verticalScrollBar()->value();
    scale(1.25, 1.25);
    horizontalScrollBar()->setValue(h);
    verticalScrollBar()->setValue(v);
}

void LayoutView::zoomOut()
{
    scale(0.8, 0.8);
}

void LayoutView::zoomInAt(QPoint pt)
{
    const QPoint canvasPoint = roundHalfAway(mapToScene(pt));
    zoomIn();
    recenterCanvas(pt, canvasPoint);
}

void LayoutView::zoomOutAt(QPoint pt)
{
    const QPoint canvasPoint = roundHalfAway(mapToScene(pt));
    zoomOut();
    recenterCanvas(pt, canvasPoint);
}

void LayoutView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() != Qt::ControlModifier) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    const int dx = roundHalfAway(event->angleDelta().x() / 8.0);
    const int dy = roundHalfAway(event->angleDelta().y() / 8.0);
    if (dx == 0 && dy == 0)
        return;
    const int steps = roundHalfAway(dy / 15.0);
    const QPoint at = roundHalfAway(event->position());
    if (steps < 1)
        zoomOutAt(at);
    else
        zoomInAt(at);
    event->accept();
}

void LayoutView::setUpdatePaused(bool p)
{
    m_updatePaused = p;
}

void LayoutView::updateCanvas()
{
    if (m_scene)
        m_scene->update();
}

void LayoutView::setSelectAllLights(bool selected)
{
    m_selectAll = selected;
}

void LayoutView::refreshLightItem(quint64 uid)
{
    LayoutViewLight *item = m_lightItems.value(uid);
    if (!item || !item->light())
        return;
    const LightPose pose = item->light()->pose();
    const QPointF pos(pose.x, pose.y);
    item->setUnsnappedPos(pos);
    m_tiles->place(item, pos);
    repaintUnlessPaused();
}

void LayoutView::restoreSelectedSquares()
{
    for (const LayoutViewLight *item : selectedItems())
        refreshLightItem(item->uid());
}

void LayoutView::dropCanvasPictures()
{
    m_tiles->dropPictures();
}

void LayoutView::setPlainCanvasDrawing(bool on)
{
    m_tiles->setPlainDrawing(on);
}

quint64 LayoutView::lightUnderPointer(const QPointF &viewportPoint) const
{
    const LayoutViewLight *light = m_tiles->lightShownAt(viewportTransform(), viewportPoint);
    return light ? light->uid() : 0;
}

std::vector<const LayoutViewLight *> LayoutView::lightsMeeting(const QRectF &rect) const
{
    return m_tiles->lightsMeeting(rect);
}

std::vector<const LayoutViewLight *> LayoutView::lightsMeeting(const QPainterPath &shape) const
{
    return m_tiles->lightsMeeting(shape);
}

void LayoutView::selectLight(quint64 uid)
{
    appendToSelectionList(uid);
    if (m_selection)
        m_selection->setLightSelected(uid, true);
}

void LayoutView::clearSelectedItems()
{
    // Every light the effect deselects leaves the selection here at once, below.
    m_clearingSelection = true;
    if (m_selection)
        m_selection->clearSelection();
    m_clearingSelection = false;
    m_selectionList.clear();
    m_selectedUids.clear();
    m_deselectedInList = 0;
    ++m_itemsGeneration;
    setSelectionActionsEnabled(false);
}

void LayoutView::unselectLight(quint64 uid)
{
    m_selectedUids.remove(uid);
    m_selectionList.removeAll(uid);
    ++m_itemsGeneration;
    if (m_selection)
        m_selection->setLightSelected(uid, false);
    setSelectionActionsEnabled(!m_selectedUids.isEmpty());
}

// Which lights are wanted is marked on their squares, so that a band over a large map costs a
// table lookup per light rather than a set built anew at every pointer move.
QList<quint64> LayoutView::markWanted(const QList<quint64> &ordered, quint32 stamp,
                                      QSet<quint64> *withoutSquare)
{
    QList<quint64> list;
    list.reserve(ordered.size());
    for (quint64 u : ordered) {
        if (LayoutViewLight *item = m_lightItems.value(u)) {
            if (item->wantedStamp == stamp)
                continue;
            item->wantedStamp = stamp;
        } else if (withoutSquare->contains(u)) {
            continue;
        } else {
            withoutSquare->insert(u);
        }
        list.append(u);
    }
    return list;
}

// The set changes before the effect is told, so that the effect's answer finds it made.
void LayoutView::setSelection(const QList<quint64> &ordered)
{
    const quint32 stamp = ++m_wantedStamp;
    QSet<quint64> withoutSquare;
    QList<quint64> list = markWanted(ordered, stamp, &withoutSquare);
    std::vector<quint64> leaving;
    for (quint64 u : selectionList()) {
        const LayoutViewLight *item = m_lightItems.value(u);
        if (item ? item->wantedStamp != stamp : !withoutSquare.contains(u))
            leaving.push_back(u);
    }
    for (quint64 u : leaving) {
        m_selectedUids.remove(u);
        if (m_selection)
            m_selection->setLightSelected(u, false);
    }
    if (m_selectedUids.capacity() < list.size())
        m_selectedUids.reserve(list.size());
    for (quint64 u : std::as_const(list)) {
        if (m_selectedUids.contains(u))
            continue;
        m_selectedUids.insert(u);
        if (m_selection)
            m_selection->setLightSelected(u, true);
    }
    m_selectionList = std::move(list);
    m_deselectedInList = 0;
    ++m_itemsGeneration;
    setSelectionActionsEnabled(!m_selectedUids.isEmpty());
}

void LayoutView::keyPressEvent(QKeyEvent *event)
{
    // Only the Menu key comes as a context-menu request on every platform; Shift+F10, the
    // other key users know for it, comes as a plain key.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        if (!event->isAutoRepeat())
            openMenuFromKeyboard();
        return;
    }
    m_editor->keyPress(event);
}

// Where the toolkit puts the Menu key's request: the focus widget's input cursor, which the
// canvas has none of.
void LayoutView::openMenuFromKeyboard()
{
    const QPoint at = inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, at, mapToGlobal(at));
    contextMenuRequest(&request, this);
}

void LayoutView::keyReleaseEvent(QKeyEvent *event)
{
    m_editor->keyRelease(event);
}

void LayoutView::mousePressEvent(QMouseEvent *event)
{
    m_editor->mousePress(event);
}

void LayoutView::mouseMoveEvent(QMouseEvent *event)
{
    m_editor->mouseMove(event);
}

void LayoutView::mouseReleaseEvent(QMouseEvent *event)
{
    m_editor->mouseRelease(event);
}

// The second press of a double click is a press like any other here: passed on to the scene,
// it would leave its release to end the first press's drag.
void LayoutView::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_editor->mousePress(event);
}

void LayoutView::setBandClearsFirst(bool on)
{
    m_editor->setBandClearsFirst(on);
}

void LayoutView::calculateRectSelection(QGraphicsRectItem *r)
{
    m_editor->calculateRectSelection(r);
}

void LayoutView::calculateLineSelection()
{
    m_editor->calculateLineSelection();
}

void LayoutView::calculatePointSelection(QPointF p1, QPointF p2)
{
    m_editor->calculatePointSelection(p1, p2);
}

int LayoutView::snapped(int t, int grid)
{
    if (grid <= 0)
        return t;
    const int m = t % grid;
    return m < grid / 2 ? t - m : t + (grid - m);
}

int LayoutView::snap(int t) const
{
    return snapped(t, m_gridSpacing);
}

void LayoutView::moveSelectedItems(int dx, int dy)
{
    for (LayoutViewLight *item : selectedItems()) {
        const QPointF unsnapped = item->unsnappedPos() + QPointF(dx, dy);
        item->setUnsnappedPos(unsnapped);
        if (m_snapToGrid)
            m_tiles->place(item, QPointF(snap(int(unsnapped.x())), snap(int(unsnapped.y()))));
        else
            m_tiles->place(item, QPointF(int(item->x()) + dx, int(item->y()) + dy));
    }
    repaintUnlessPaused();
}

bool LayoutView::updateSelectedLightPositions()
{
    return writeSelectionPlaces(m_snapToGrid);
}

bool LayoutView::moveSelectionTo(const std::function<QPointF(const LayoutViewLight &)> &place,
                                 bool snapping)
{
    for (LayoutViewLight *item : selectedItems())
        m_tiles->place(item, place(*item));
    return writeSelectionPlaces(snapping);
}

bool LayoutView::writeSelectionPlaces(bool snapping)
{
    const QList<quint64> &selected = selectionList();
    const QRectF bounds = m_scene ? m_scene->sceneRect() : QRectF();
    bool rejected = false;
    for (const LayoutViewLight *item : selectedItems()) {
        const int x = int(item->x());
        const int y = int(item->y());
        if (x < 0 || x > bounds.width() || y < 0 || y > bounds.height() ||
            m_tiles->overlapsAnother(item)) {
            rejected = true;
            break;
        }
    }
    if (rejected) {
        restoreSelectedSquares();
        return false;
    }

    auto *steps = new UndoActionList;
    steps->reserve(selected.size());
    for (quint64 uid : selected) {
        LayoutViewLight *item = m_lightItems.value(uid);
        Light *light = m_map ? m_map->light(uid) : nullptr;
        if (!item || !light)
            continue;
        const LightPose old = light->pose();
        if (snapping)
            m_tiles->place(item, QPointF(snap(int(item->x())), snap(int(item->y()))));
        item->setUnsnappedPos(item->pos());
        // Only the place changes: height and rotation are the light's own map data.
        LightPose moved = old;
        moved.x = item->x();
        moved.y = item->y();
        light->setPose(moved);
        ensureVisible(QRectF(item->pos(), item->rect().size()), 50, 50);
        steps->append(new UndoAction{UndoAction::LightPosition, uid, old});
    }
    if (steps->isEmpty())
        delete steps; // no receiver would ever free an empty step
    else
        emit addUndoActionList(steps);
    return true;
}

void LayoutView::handleRotateSelectionCW()
{
    if (selectionList().isEmpty())
        return;
    const QPointF c = m_editor->selectionCentre();
    m_editor->rotateSelection(c.x(), c.y(), 90);
    emit setDirty(true);
}

void LayoutView::handleRotateSelectionCCW()
{
    if (selectionList().isEmpty())
        return;
    const QPointF c = m_editor->selectionCentre();
    m_editor->rotateSelection(c.x(), c.y(), -90);
    emit setDirty(true);
}

void LayoutView::handleFlipSelectionVertically()
{
    if (selectionList().isEmpty())
        return;
    m_editor->flipSelection(Qt::Vertical);
    emit setDirty(true);
}

void LayoutView::handleFlipSelectionHorizontally()
{
    if (selectionList().isEmpty())
        return;
    m_editor->flipSelection(Qt::Horizontal);
    emit setDirty(true);
}

// ---- menu commands: deleting, editing, groups ---------------------------------------------

void LayoutView::handleDeleteSelection()
{
    if (!m_map)
        return;
    const QList<quint64> doomed = selectionList();
    const int n = int(doomed.size());
    const int step = qMax(n / 100, 1);
    setUpdatePaused(true);
    if (n == 0) {
        setUpdatePaused(false);
        return;
    }
    const auto answer = UserPrompt::instance()->question(
        this, QMessageBox::Question, tr("Confirm Light Deletion"),
        tr("Are you sure that you wish to permanently delete the selected lights?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer != QMessageBox::Yes) {
        setUpdatePaused(false);
        return;
    }
    QProgressDialog progress(tr("Deleting Lights"), tr("Cancel"), 0, n, this,
                             Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.show();
    QCoreApplication::processEvents();
    // The dialog and its Cancel are served by time, not by count: every pass of the event
    // loop may run a whole live frame over the map, which a large map makes far dearer than
    // deleting a few lights.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    // Squares leave their tiles one by one; each pass that serves the dialog would show the
    // canvas losing them in patches. It shows the command's end at once instead.
    viewport()->setUpdatesEnabled(false);
    int counter = 1;
    int deleted = 0;
    for (quint64 uid : doomed) {
        m_map->deleteLight(uid);
        ++deleted;
        ++counter;
        if (counter % step == 0 && sinceEvents.elapsed() >= DeleteProgressIntervalMs) {
            progress.setValue(counter);
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        if (progress.wasCanceled())
            break;
    }
    progress.setValue(n);
    // A cancel leaves the rest of the lights in the map and selected in the effect; the list
    // keeps them too, so it still mirrors the effect.
    for (int i = 0; i < deleted; ++i)
        m_selectedUids.remove(doomed.at(i));
    ++m_itemsGeneration;
    compactSelectionList();
    setSelectionActionsEnabled(!m_selectedUids.isEmpty());
    m_map->flushChangedGroups();
    viewport()->setUpdatesEnabled(true);
    setUpdatePaused(false);
}

void LayoutView::handleEditLights()
{
    if (!m_map)
        return;
    QList<Light *> lights;
    for (quint64 uid : selectionList())
        if (Light *light = m_map->light(uid))
            lights << light;
    if (lights.isEmpty())
        return;
    // The square's tip reads the light's name when it shows, so a rename needs nothing here.
    EditLightsDialog dialog(m_map, lights, this);
    dialog.exec();
}

// A square's tip is its light's name, read when the tip shows: a text kept in every square
// would cost a record per light and go stale on renames made elsewhere than the editor.
bool LayoutView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ContextMenu)
        return contextMenuRequest(event, viewport());
    if (event->type() == QEvent::ToolTip && m_map) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const quint64 uid = lightUnderPointer(help->pos());
        if (const Light *light = uid ? m_map->light(uid) : nullptr) {
            QToolTip::showText(help->globalPos(), light->name(), viewport());
            return true;
        }
    }
    return QGraphicsView::viewportEvent(event);
}

void LayoutView::handleCreateGroupFromSelection()
{
    CreateGroupDialog dialog(m_map, selectionList(), m_selectAll, this);
    if (dialog.exec() == QDialog::Accepted)
        emit setDirty(true);
}

void LayoutView::handleCreateGroupInteractively()
{
    clearSelectedItems();
    m_editor->startInteractiveGroup();
}

void LayoutView::handleCreatePointGroup()
{
    if (!m_map)
        return;
    auto *group = new Group(Group::Chasing, m_map->nextUid(), tr("New Group"));
    if (!m_map->addGroup(group)) {
        delete group;
        return;
    }
    for (quint64 uid : selectionList())
        group->addChild(uid);
    EditGroupDialog editor(m_map, m_selection, group, this);
    if (editor.exec() != QDialog::Accepted) {
        m_map->deleteGroup(group->uid());
        m_map->flushChangedGroups();
    }
}

// Only the keyboard's requests open the menu here: a right-button press has done what the
// pointer asks (which, with the zoom keys held, is nothing) by the time its request comes.
bool LayoutView::contextMenuRequest(QEvent *event, QWidget *from)
{
    auto *request = static_cast<QContextMenuEvent *>(event);
    if (request->reason() == QContextMenuEvent::Keyboard)
        handleContextMenuRequested(viewport()->mapFrom(from, request->pos()));
    request->accept();
    return true;
}

bool LayoutView::event(QEvent *event)
{
    if (event->type() == QEvent::ContextMenu)
        return contextMenuRequest(event, this);
    return QGraphicsView::event(event);
}

void LayoutView::handleContextMenuRequested(QPoint p)
{
    // The request comes in viewport coordinates.
    m_popupMenu->exec(viewport()->mapToGlobal(p));
}
