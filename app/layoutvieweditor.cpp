#include "layoutvieweditor.h"

#include "layoutview.h"
#include "layoutviewlight.h"
#include "layoutviewtiles.h"
#include "undoaction.h"
#include "undoactionlist.h"

#include "model/light.h"
#include "model/lightpose.h"
#include "model/selectioneffect.h"

#include <QGraphicsLineItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QtMath>

#include <algorithm>
#include <cmath>

LayoutViewEditor::LayoutViewEditor(LayoutView &view)
    : m_view(view), m_zoomInCursor(QPixmap(":/images/icons/zoom_in.png")),
      m_zoomOutCursor(QPixmap(":/images/icons/zoom_out.png"))
{}

LayoutViewEditor::~LayoutViewEditor()
{
    endRubberBand();
}

QPointF LayoutViewEditor::eventScenePos(const QMouseEvent *event) const
{
    return m_view.viewportTransform().inverted().map(event->position());
}

void LayoutViewEditor::updateCursor()
{
    if (m_controlKey && m_spaceKey && m_altKey)
        m_view.viewport()->setCursor(m_zoomOutCursor);
    else if (m_controlKey && m_spaceKey)
        m_view.viewport()->setCursor(m_zoomInCursor);
    else if (m_spaceKey)
        m_view.viewport()->setCursor(Qt::PointingHandCursor);
    else
        m_view.viewport()->unsetCursor();
}

namespace {
bool *heldKeyFlag(int key, bool &control, bool &space, bool &alt)
{
    switch (key) {
    case Qt::Key_Control:
        return &control;
    case Qt::Key_Space:
        return &space;
    case Qt::Key_Alt:
        return &alt;
    default:
        return nullptr;
    }
}
} // namespace

void LayoutViewEditor::keyPress(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    if (bool *flag = heldKeyFlag(event->key(), m_controlKey, m_spaceKey, m_altKey))
        *flag = true;
    updateCursor();
}

void LayoutViewEditor::keyRelease(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    if (bool *flag = heldKeyFlag(event->key(), m_controlKey, m_spaceKey, m_altKey))
        *flag = false;
    updateCursor();
}

void LayoutViewEditor::mousePress(QMouseEvent *event)
{
    m_view.setFocus();
    m_panning = false;
    m_zoomClick = false;
    // A press that hits no light (panning, zooming, the group line) must not leave the
    // previous drag armed for its release.
    m_dragging = false;
    m_pressPoint = eventScenePos(event);
    m_lastPoint = m_currentPoint = LayoutView::roundHalfAway(m_pressPoint);

    if (m_interactiveGroup) {
        beginRubberBand();
        return;
    }
    if (m_spaceKey && !m_controlKey) {
        m_panning = true;
        m_lastPoint = LayoutView::roundHalfAway(event->globalPosition());
        return;
    }
    const Qt::MouseButton button = event->button();
    if (m_controlKey && m_spaceKey) {
        m_zoomClick = true;
        if (button == Qt::LeftButton) {
            if (m_altKey)
                m_view.zoomOutAt(LayoutView::roundHalfAway(event->position()));
            else
                m_view.zoomInAt(LayoutView::roundHalfAway(event->position()));
        }
        return;
    }
    if (button != Qt::LeftButton && button != Qt::RightButton)
        return;

    m_controlModifier = event->modifiers() & Qt::ControlModifier;
    m_altModifier = event->modifiers() & Qt::AltModifier;
    m_shiftModifier = event->modifiers() & Qt::ShiftModifier;
    m_hitLight = m_view.lightAt(m_pressPoint);
    m_dragging = m_hitLight != 0;
    const bool adding = m_controlModifier || m_shiftModifier;
    m_pressSelection = adding ? m_view.selectionList() : QList<quint64>();
    m_pressSet = QSet<quint64>(m_pressSelection.cbegin(), m_pressSelection.cend());

    if (!m_dragging) {
        if (button == Qt::LeftButton) {
            if (!adding)
                m_view.clearSelectedItems();
            beginRubberBand();
            m_view.setSelectAllLights(false);
        }
    } else {
        pressOnLight(m_hitLight);
    }
    if (button == Qt::RightButton)
        m_view.popupMenu()->popup(event->globalPosition().toPoint());
}

void LayoutViewEditor::pressOnLight(quint64 uid)
{
    const bool selected = m_view.isSelected(uid);
    if (m_controlModifier || m_shiftModifier) {
        if (!selected) {
            m_view.selectLight(uid);
        } else if (m_controlModifier) {
            m_view.unselectLight(uid);
        }
    } else if (!selected) {
        m_view.clearSelectedItems();
        m_view.selectLight(uid);
    }
}

void LayoutViewEditor::mouseMove(QMouseEvent *event)
{
    if (m_panning) {
        const QPoint global = LayoutView::roundHalfAway(event->globalPosition());
        const QPoint d = m_lastPoint - global;
        m_lastPoint = global;
        m_view.horizontalScrollBar()->setValue(m_view.horizontalScrollBar()->value() + d.x());
        m_view.verticalScrollBar()->setValue(m_view.verticalScrollBar()->value() + d.y());
    } else if (!m_zoomClick) {
        m_currentPoint = LayoutView::roundHalfAway(eventScenePos(event));
        autoScroll(event);
        m_previousSelection = m_view.selectionList();
        if (m_dragging) {
            const QPoint d = m_currentPoint - m_lastPoint;
            m_lastPoint = m_currentPoint;
            if (d.x() != 0 || d.y() != 0)
                moveSelectedItems(d.x(), d.y());
        } else {
            updateRubberBand();
        }
    }
    m_view.repaintUnlessPaused();
}

void LayoutViewEditor::mouseRelease(QMouseEvent *event)
{
    m_releasePoint = eventScenePos(event);
    m_lastPoint = m_currentPoint = LayoutView::roundHalfAway(m_releasePoint);
    if (m_interactiveGroup) {
        endRubberBand();
        m_interactiveGroup = false;
        calculatePointSelection(m_pressPoint, m_releasePoint);
        m_view.handleCreatePointGroup();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_dragging) {
        if (int(m_pressPoint.x() - m_releasePoint.x()) != 0 ||
            int(m_pressPoint.y() - m_releasePoint.y()) != 0)
            updateSelectedLightPositions(m_view.snapToGrid());
    } else {
        endRubberBand();
    }
}

void LayoutViewEditor::autoScroll(const QMouseEvent *event)
{
    const QRect v = m_view.viewport()->visibleRegion().boundingRect();
    if (v.isEmpty())
        return; // nothing shows, so there is no edge to scroll at
    const QPointF p = event->position();
    const int sx = p.x() > v.right() - 15 ? 2 : (p.x() < v.left() + 15 ? -2 : 0);
    const int sy = p.y() > v.bottom() - 15 ? 2 : (p.y() < v.top() + 15 ? -2 : 0);
    QScrollBar *h = m_view.horizontalScrollBar();
    QScrollBar *w = m_view.verticalScrollBar();
    if (sx != 0)
        h->setValue(qBound(0, h->value() + 15 * sx, h->maximum()));
    if (sy != 0)
        w->setValue(qBound(0, w->value() + 15 * sy, w->maximum()));
}

void LayoutViewEditor::beginRubberBand()
{
    endRubberBand();
    QPen pen(Qt::DashLine);
    pen.setCosmetic(true);
    m_lineForm = m_altModifier || m_interactiveGroup;
    if (!m_view.scene())
        return;
    if (m_lineForm) {
        m_rubberLine = new QGraphicsLineItem(QLineF(m_pressPoint, m_pressPoint));
        m_rubberLine->setPen(pen);
        m_view.scene()->addItem(m_rubberLine);
        m_rubberLine->show();
        m_sweep = new QGraphicsPolygonItem(
            QPolygonF({m_pressPoint, QPointF(m_currentPoint), QPointF(m_lastPoint)}));
        m_sweep->setPen(Qt::NoPen);
        m_sweep->setBrush(Qt::NoBrush);
        m_view.scene()->addItem(m_sweep);
    } else {
        m_rubberRect = new QGraphicsRectItem(QRectF(m_pressPoint, QSizeF(0, 0)));
        m_rubberRect->setPen(pen);
        m_rubberRect->show();
    }
}

void LayoutViewEditor::endRubberBand()
{
    delete m_rubberRect;
    delete m_rubberLine;
    delete m_sweep;
    m_rubberRect = nullptr;
    m_rubberLine = nullptr;
    m_sweep = nullptr;
}

void LayoutViewEditor::updateRubberBand()
{
    if (m_lineForm) {
        if (m_rubberLine) {
            m_rubberLine->setLine(QLineF(m_pressPoint, m_currentPoint));
            if (m_sweep)
                m_sweep->setPolygon(
                    QPolygonF({m_pressPoint, QPointF(m_currentPoint), QPointF(m_lastPoint)}));
            if (!m_interactiveGroup) {
                if (m_bandClearsFirst)
                    m_view.clearSelectedItems();
                calculateLineSelection();
            }
        }
    } else if (m_rubberRect) {
        const int left = int(qMin(double(m_currentPoint.x()), m_pressPoint.x()));
        const int top = int(qMin(m_pressPoint.y(), double(m_currentPoint.y())));
        const int width = int(qAbs(m_pressPoint.x() - m_currentPoint.x()));
        const int height = int(qAbs(m_pressPoint.y() - m_currentPoint.y()));
        if (m_bandClearsFirst)
            m_view.clearSelectedItems();
        m_rubberRect->setRect(left, top, width, height);
        calculateRectSelection(m_rubberRect);
        if (!m_rubberRect->scene() && m_view.scene())
            m_view.scene()->addItem(m_rubberRect);
    }
    m_lastPoint = m_currentPoint;
}

// Each band move gives the selection that clearing it and selecting by the rules would give, in
// the same order, but only the lights whose state changes hear of it: a band over a large map
// then costs what it covers, not two signals per light per move.
void LayoutViewEditor::calculateRectSelection(QGraphicsRectItem *r)
{
    if (!r)
        return;
    // The band's shape is its rectangle with the pen's stroke.
    const QPen pen = r->pen();
    const qreal half = pen.style() == Qt::NoPen ? 0 : qMax(pen.widthF(), qreal(0)) / 2;
    applyBandSelection(m_view.lightsMeeting(r->rect().adjusted(-half, -half, half, half)),
                       m_shiftModifier ? BandRule::Adding : BandRule::Rectangle);
}

void LayoutViewEditor::calculateLineSelection()
{
    std::vector<LayoutViewLight *> hits;
    if (m_sweep) {
        QPainterPath sweep;
        sweep.addPolygon(m_sweep->polygon());
        sweep.closeSubpath();
        hits = m_view.lightsMeeting(sweep);
    }
    applyBandSelection(hits, BandRule::Line);
}

void LayoutViewEditor::applyBandSelection(const std::vector<LayoutViewLight *> &hits, BandRule rule)
{
    const quint32 stamp = ++m_hitStamp;
    for (LayoutViewLight *hit : hits)
        hit->hitStamp = stamp;
    auto inH = [this, stamp](quint64 u) {
        const LayoutViewLight *light = m_view.getLayoutViewLight(u);
        return light && light->hitStamp == stamp;
    };
    auto inP = [this](quint64 u) { return !m_pressSet.isEmpty() && m_pressSet.contains(u); };
    const QList<quint64> &current = m_view.selectionList();
    // Q is the selection when the move began: the current one, unless a caller set it
    // otherwise. Then which lights change follows from the rules directly; otherwise the
    // result is compared with the current selection.
    const bool previousIsCurrent = m_previousSelection == current;
    QSet<quint64> previousSet;
    if (!previousIsCurrent)
        previousSet = QSet<quint64>(m_previousSelection.cbegin(), m_previousSelection.cend());
    auto inQ = [&](quint64 u) {
        return previousIsCurrent ? m_view.isSelected(u) : previousSet.contains(u);
    };

    QList<quint64> result;
    result.reserve(qMax(current.size(), qsizetype(hits.size())));
    std::vector<quint64> deselect;
    std::vector<quint64> select;
    for (quint64 u : std::as_const(m_pressSelection)) {
        if (!inH(u)) {
            result.append(u);
            if (!inQ(u))
                select.push_back(u);
        }
    }
    for (quint64 u : std::as_const(m_previousSelection)) {
        const bool pressed = inP(u);
        const bool hit = inH(u);
        bool kept = false;
        if (rule == BandRule::Adding) {
            kept = pressed || hit;
        } else {
            kept = pressed ? !hit : (rule == BandRule::Line || hit);
            if (!pressed && kept)
                result.append(u);
        }
        if (!kept)
            deselect.push_back(u);
    }
    for (const LayoutViewLight *hit : hits) {
        const quint64 u = hit->uid();
        if (rule == BandRule::Adding) {
            result.append(u);
        } else if (!inP(u) && !inQ(u)) {
            result.append(u);
        } else {
            continue;
        }
        if (!inQ(u))
            select.push_back(u);
    }
    if (!previousIsCurrent) {
        setSelectionTo(result);
        return;
    }
    for (quint64 u : deselect)
        m_view.setSelected(u, false);
    for (quint64 u : select)
        m_view.setSelected(u, true);
    m_view.takeSelectionOrder(result);
}

// Deselects what is selected and not wanted, selects what is wanted and not selected, and
// takes the wanted order.
void LayoutViewEditor::setSelectionTo(const QList<quint64> &wanted)
{
    const quint32 stamp = ++m_hitStamp;
    QSet<quint64> wantedWithoutSquare;
    for (quint64 u : wanted) {
        if (LayoutViewLight *light = m_view.getLayoutViewLight(u))
            light->hitStamp = stamp;
        else
            wantedWithoutSquare.insert(u);
    }
    auto isWanted = [&](quint64 u) {
        const LayoutViewLight *light = m_view.getLayoutViewLight(u);
        return light ? light->hitStamp == stamp : wantedWithoutSquare.contains(u);
    };
    const QList<quint64> current = m_view.selectionList();
    for (quint64 u : current) {
        if (!isWanted(u))
            m_view.setSelected(u, false);
    }
    for (quint64 u : wanted) {
        if (!m_view.isSelected(u))
            m_view.setSelected(u, true);
    }
    m_view.takeSelectionOrder(wanted);
}

int LayoutViewEditor::snap(int t) const
{
    const int g = m_view.gridSpacing();
    if (g <= 0)
        return t;
    const int m = t % g;
    return m < g / 2 ? t - m : t + (g - m);
}

void LayoutViewEditor::moveSelectedItems(int dx, int dy)
{
    for (LayoutViewLight *item : m_view.selectedItems()) {
        const QPointF unsnapped = item->unsnappedPos() + QPointF(dx, dy);
        item->setUnsnappedPos(unsnapped);
        if (m_view.snapToGrid())
            m_view.placeLightItem(item,
                                  QPointF(snap(int(unsnapped.x())), snap(int(unsnapped.y()))));
        else
            m_view.placeLightItem(item, QPointF(int(item->x()) + dx, int(item->y()) + dy));
    }
    m_view.repaintUnlessPaused();
}

bool LayoutViewEditor::updateSelectedLightPositions(bool snapping)
{
    const QList<quint64> &selected = m_view.selectionList();
    const QRectF bounds = m_view.scene() ? m_view.scene()->sceneRect() : QRectF();
    bool rejected = false;
    for (const LayoutViewLight *item : m_view.selectedItems()) {
        const int x = int(item->x());
        const int y = int(item->y());
        if (x < 0 || x > bounds.width() || y < 0 || y > bounds.height() ||
            m_view.overlapsAnotherLight(item)) {
            rejected = true;
            break;
        }
    }
    if (rejected) {
        for (quint64 uid : selected) {
            LayoutViewLight *item = m_view.getLayoutViewLight(uid);
            if (item && item->light())
                m_view.refreshLightItem(uid,
                                        QPointF(item->light()->pose().x, item->light()->pose().y));
        }
        return false;
    }

    auto *steps = new UndoActionList;
    steps->reserve(selected.size());
    for (quint64 uid : selected) {
        LayoutViewLight *item = m_view.getLayoutViewLight(uid);
        Light *light = m_view.mapModel() ? m_view.mapModel()->light(uid) : nullptr;
        if (!item || !light)
            continue;
        const LightPose old = light->pose();
        if (snapping)
            m_view.placeLightItem(item, QPointF(snap(int(item->x())), snap(int(item->y()))));
        item->setUnsnappedPos(item->pos());
        // Only the place changes: height and rotation are the light's own map data.
        LightPose moved = old;
        moved.x = item->x();
        moved.y = item->y();
        light->setPose(moved);
        m_view.ensureVisible(QRectF(item->pos(), item->rect().size()), 50, 50);
        steps->append(new UndoAction{UndoAction::LightPosition, uid, old});
    }
    if (steps->isEmpty())
        delete steps; // no receiver would ever free an empty step
    else
        emit m_view.addUndoActionList(steps);
    return true;
}

QPointF LayoutViewEditor::selectionCentre() const
{
    const QRectF bounds = m_view.scene() ? m_view.scene()->sceneRect() : QRectF();
    QPointF low(bounds.width(), bounds.height());
    QPointF high(0, 0);
    for (quint64 uid : m_view.selectionList()) {
        const LayoutViewLight *item = m_view.getLayoutViewLight(uid);
        if (!item)
            continue;
        low = QPointF(qMin(low.x(), item->x()), qMin(low.y(), item->y()));
        high = QPointF(qMax(high.x(), item->x()), qMax(high.y(), item->y()));
    }
    return low + (high - low) * 0.5;
}

namespace {
// Rounds half up (toward +infinity from .5 of the truncated value), then snaps the
// truncated result onto the grid.
double placeRotated(double v, int grid, bool snapping)
{
    v = v - std::trunc(v) >= 0.5 ? std::ceil(v) : std::floor(v);
    if (snapping && grid > 0) {
        const int m = int(v) % grid;
        if (m >= grid / 2)
            v += grid;
        v -= m;
    }
    return v;
}
} // namespace

void LayoutViewEditor::rotateSelection(double cx, double cy, double degrees)
{
    const double turn = degrees / 180.0 * M_PI;
    for (quint64 uid : m_view.selectionList()) {
        LayoutViewLight *item = m_view.getLayoutViewLight(uid);
        if (!item)
            continue;
        const double dx = item->x() - cx;
        const double dy = item->y() - cy;
        const double r = std::sqrt(dx * dx + dy * dy);
        const double a = std::atan2(dy, dx) + turn;
        m_view.placeLightItem(
            item,
            QPointF(placeRotated(r * std::cos(a) + cx, m_view.gridSpacing(), m_view.snapToGrid()),
                    placeRotated(r * std::sin(a) + cy, m_view.gridSpacing(), m_view.snapToGrid())));
    }
    updateSelectedLightPositions(m_view.snapToGrid());
}

void LayoutViewEditor::flipSelection(Qt::Orientation orientation)
{
    const bool vertical = orientation == Qt::Vertical;
    const QRectF bounds = m_view.scene() ? m_view.scene()->sceneRect() : QRectF();
    double low = vertical ? bounds.height() : bounds.width();
    double high = 0;
    for (quint64 uid : m_view.selectionList()) {
        if (const LayoutViewLight *item = m_view.getLayoutViewLight(uid)) {
            const double v = vertical ? item->y() : item->x();
            low = qMin(low, v);
            high = qMax(high, v);
        }
    }
    for (quint64 uid : m_view.selectionList()) {
        if (LayoutViewLight *item = m_view.getLayoutViewLight(uid)) {
            if (vertical)
                m_view.placeLightItem(item, QPointF(item->x(), high - (item->y() - low)));
            else
                m_view.placeLightItem(item, QPointF(high - (item->x() - low), item->y()));
        }
    }
    updateSelectedLightPositions(false);
}

void LayoutViewEditor::calculatePointSelection(QPointF p1, QPointF p2)
{
    struct Record
    {
        double along;
        double across;
        quint64 uid;
    };
    const double heading = std::atan2(p2.y() - p1.y(), p2.x() - p1.x());
    std::vector<Record> records;
    const QHash<quint64, LayoutViewLight *> &squares = m_view.lightItems();
    records.reserve(squares.size());
    for (auto it = squares.cbegin(); it != squares.cend(); ++it) {
        const double dx = it.value()->x() - p1.x();
        const double dy = it.value()->y() - p1.y();
        const double r = std::sqrt(dx * dx + dy * dy);
        const double b = std::atan2(dy, dx);
        records.push_back({std::trunc(r * std::cos(heading - b) + 0.5),
                           std::trunc(r * std::sin(heading - b) + 0.5), it.key()});
    }
    std::sort(records.begin(), records.end(), [](const Record &a, const Record &b) {
        return a.along != b.along ? a.along < b.along : a.across < b.across;
    });
    for (const Record &record : records)
        m_view.selectLight(record.uid);
}
