#include "layoutview.h"

#include "layoutviewlight.h"
#include "model/light.h"
#include "model/lightframestate.h"
#include "model/lightpose.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QGraphicsScene>
#include <QMenu>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtMath>

namespace {
constexpr int ReservedLights = 15000;

int roundHalfAway(double v)
{
    return int(v < 0 ? v - 0.5 : v + 0.5);
}

QPoint roundHalfAway(const QPointF &p)
{
    return QPoint(roundHalfAway(p.x()), roundHalfAway(p.y()));
}
} // namespace

LayoutView::LayoutView(MapModel *map, SelectionEffect *selection, QGraphicsScene *scene,
                       QWidget *parent, const QString &name)
    : QGraphicsView(scene, parent), m_map(map), m_selection(selection), m_scene(scene)
{
    Q_UNUSED(name); // the caller names the view; the canvas keeps no name of its own
    if (m_selection)
        connect(m_selection, &SelectionEffect::lightSelectionChanged, this,
                &LayoutView::handleLightSelectionChanged);
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
    m_zoomInCursor = QCursor(QPixmap(":/images/icons/zoom_in.png"));
    m_zoomOutCursor = QCursor(QPixmap(":/images/icons/zoom_out.png"));
    buildPopupMenu();
    setSelectionActionsEnabled(false);
}

LayoutView::~LayoutView()
{
    if (m_map)
        --LightFrameState::canvasViews;
}

void LayoutView::buildPopupMenu()
{
    m_popupMenu = new QMenu(tr("Popup Menu"), this);
    auto add = [this](const QString &text) {
        QAction *a = m_popupMenu->addAction(text);
        return a;
    };
    m_selectionActions << add(tr("Edit Light(s)..."));
    m_popupMenu->addSeparator();
    m_selectionActions << add(tr("Create Group from Selection..."));
    m_createInteractivelyAction = add(tr("Create Group Interactively..."));
    m_popupMenu->addSeparator();
    m_selectionActions << add(tr("Delete Selection"));
    m_popupMenu->addSeparator();
    m_selectionActions << add(tr("Rotate Selection CW")) << add(tr("Rotate Selection CCW"));
    m_popupMenu->addSeparator();
    m_selectionActions << add(tr("Flip Selection Vertically"))
                       << add(tr("Flip Selection Horizontally"));
    // The canvas's pointer and menu editing is not built yet: nothing opens this menu and its
    // entries stay disabled, so a caller that does open it cannot run a half-made command.
    m_createInteractivelyAction->setEnabled(false);
}

void LayoutView::setSelectionActionsEnabled(bool e)
{
    // Until the editing commands exist their entries stay disabled whatever the selection.
    Q_UNUSED(e);
    for (QAction *a : std::as_const(m_selectionActions))
        a->setEnabled(false);
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
        delete m_lightItems.take(uid);
        auto *item = new LayoutViewLight(m_scene, uid, light);
        item->setPos(int(pose.x), int(pose.y));
        item->setUnsnappedPos(QPointF(pose.x, pose.y));
        item->setVisible(true);
        item->forgetShownColor();
        m_lightItems.insert(uid, item);
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
    item->setPos(int(pose.x), int(pose.y));
    repaintUnlessPaused();
    emit setDirty(true);
}

void LayoutView::handleDeletedLight(quint64 uid)
{
    delete m_lightItems.take(uid);
    emit setDirty(true);
}

void LayoutView::handleClearedMap()
{
    setScene(nullptr);
    qDeleteAll(m_lightItems);
    m_lightItems.clear();
    // A reopened map may bring the same uids back; a selection kept from the old map would
    // then make lights count as selected that show unselected, and be deleted with them.
    m_selectionList.clear();
    m_selectedUids.clear();
    m_deselectedInList = 0;
    setScene(m_scene);
    setSelectionActionsEnabled(false);
}

void LayoutView::handlePropertiesCompiled()
{
    // Only the lights the frame listed can show another colour; a square whose colour changed
    // asks the scene to repaint just itself, so a steady frame costs nothing here.
    if (!m_map)
        return;
    const std::vector<quint64> changed = m_map->takeCanvasChanges();
    for (quint64 uid : changed) {
        Light *light = m_map->light(uid);
        if (!light)
            continue;
        light->frameState()->canvasTookColor();
        if (LayoutViewLight *item = m_lightItems.value(uid))
            item->refreshColor();
    }
}

void LayoutView::handleLightSelectionChanged(quint64 uid, bool s)
{
    LayoutViewLight *item = m_lightItems.value(uid);
    if (s) {
        if (!m_selectedUids.contains(uid)) {
            // A uid deselected earlier may still stand in the list at its old place.
            if (m_deselectedInList > 0)
                compactSelectionList();
            m_selectedUids.insert(uid);
            m_selectionList.append(uid);
        }
        if (item) {
            item->setBrush(QBrush(Qt::red, Qt::SolidPattern));
            item->forgetShownColor();
        }
    } else {
        if (m_selectedUids.remove(uid)) {
            ++m_deselectedInList;
            if (m_deselectedInList * 2 > m_selectionList.size())
                compactSelectionList();
        }
        if (item) {
            item->setBrush(QBrush(Qt::black, Qt::SolidPattern));
            item->forgetShownColor();
        }
    }
    setSelectionActionsEnabled(!m_selectedUids.isEmpty());
}

const QList<quint64> &LayoutView::selectionList() const
{
    if (m_deselectedInList > 0)
        compactSelectionList();
    return m_selectionList;
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

LayoutViewLight *LayoutView::getLayoutViewLight(quint64 uid) const
{
    return m_lightItems.value(uid);
}

void LayoutView::setSelectAllLights(bool selected)
{
    m_selectAll = selected;
}

void LayoutView::refreshLightItem(quint64 uid, const QPointF &pos)
{
    LayoutViewLight *item = m_lightItems.value(uid);
    if (!item)
        return;
    item->setUnsnappedPos(pos);
    item->setPos(pos);
    repaintUnlessPaused();
}
