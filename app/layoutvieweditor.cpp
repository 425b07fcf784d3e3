#include "layoutvieweditor.h"

#include "layoutview.h"
#include "layoutviewlight.h"

#include <QApplication>
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
    m_dragStarted = false;
    m_pressPixel = event->position();
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
    m_hitLight = m_view.lightUnderPointer(event->position());
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
    } else if (!m_zoomClick && (!m_dragging || pastDragDistance(event))) {
        m_currentPoint = LayoutView::roundHalfAway(eventScenePos(event));
        autoScroll(event);
        m_previousSelection = m_view.selectionList();
        if (m_dragging) {
            const QPoint d = m_currentPoint - m_lastPoint;
            m_lastPoint = m_currentPoint;
            if (d.x() != 0 || d.y() != 0)
                m_view.moveSelectedItems(d.x(), d.y());
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
    if (!m_dragging) {
        endRubberBand();
    } else if (m_dragStarted) {
        if (int(m_pressPoint.x() - m_releasePoint.x()) != 0 ||
            int(m_pressPoint.y() - m_releasePoint.y()) != 0)
            m_view.updateSelectedLightPositions();
        else
            m_view.restoreSelectedSquares();
    }
}

// A hand never holds the pointer still through a click, or between the two presses of a
// double click: until the pointer has left the press by the platform's drag distance, a press
// on a light moves nothing.
bool LayoutViewEditor::pastDragDistance(const QMouseEvent *event)
{
    if (!m_dragStarted)
        m_dragStarted = (event->position() - m_pressPixel).manhattanLength() >=
                        QApplication::startDragDistance();
    return m_dragStarted;
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
    std::vector<const LayoutViewLight *> hits;
    if (m_sweep) {
        QPainterPath sweep;
        sweep.addPolygon(m_sweep->polygon());
        sweep.closeSubpath();
        hits = m_view.lightsMeeting(sweep);
    }
    applyBandSelection(hits, BandRule::Line);
}

void LayoutViewEditor::applyBandSelection(const std::vector<const LayoutViewLight *> &hits,
                                          BandRule rule)
{
    const quint32 stamp = ++m_hitStamp;
    for (const LayoutViewLight *hit : hits)
        hit->hitStamp = stamp;
    auto inH = [this, stamp](quint64 u) {
        const LayoutViewLight *light = m_view.getLayoutViewLight(u);
        return light && light->hitStamp == stamp;
    };
    auto inP = [this](quint64 u) { return !m_pressSet.isEmpty() && m_pressSet.contains(u); };
    // Q is the selection when the move began: the current one, unless a caller set it
    // otherwise.
    const bool previousIsCurrent = m_previousSelection == m_view.selectionList();
    QSet<quint64> previousSet;
    if (!previousIsCurrent)
        previousSet = QSet<quint64>(m_previousSelection.cbegin(), m_previousSelection.cend());
    auto inQ = [&](quint64 u) {
        return previousIsCurrent ? m_view.isSelected(u) : previousSet.contains(u);
    };

    QList<quint64> result;
    result.reserve(qMax(m_previousSelection.size(), qsizetype(hits.size())));
    for (quint64 u : std::as_const(m_pressSelection)) {
        if (!inH(u))
            result.append(u);
    }
    if (rule != BandRule::Adding) {
        for (quint64 u : std::as_const(m_previousSelection)) {
            const bool pressed = inP(u);
            if (!pressed && (rule == BandRule::Line || inH(u)))
                result.append(u);
        }
    }
    for (const LayoutViewLight *hit : hits) {
        const quint64 u = hit->uid();
        if (rule == BandRule::Adding || (!inP(u) && !inQ(u)))
            result.append(u);
    }
    // The view tells the effect only of the lights whose state changes.
    m_view.setSelection(result);
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
// Rounds half up (toward +infinity from .5 of the truncated value), then onto the grid by the
// rule drags follow.
double placeRotated(double v, int grid, bool snapping)
{
    v = v - std::trunc(v) >= 0.5 ? std::ceil(v) : std::floor(v);
    return snapping ? LayoutView::snapped(int(v), grid) : v;
}
} // namespace

void LayoutViewEditor::rotateSelection(double cx, double cy, double degrees)
{
    const double turn = degrees / 180.0 * M_PI;
    const int grid = m_view.gridSpacing();
    const bool snapping = m_view.snapToGrid();
    m_view.moveSelectionTo(
        [=](const LayoutViewLight &square) {
            const double dx = square.x() - cx;
            const double dy = square.y() - cy;
            const double r = std::sqrt(dx * dx + dy * dy);
            const double a = std::atan2(dy, dx) + turn;
            return QPointF(placeRotated(r * std::cos(a) + cx, grid, snapping),
                           placeRotated(r * std::sin(a) + cy, grid, snapping));
        },
        snapping);
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
    // Without snapping: a flip mirrors the places as they are.
    m_view.moveSelectionTo(
        [=](const LayoutViewLight &square) {
            return vertical ? QPointF(square.x(), high - (square.y() - low))
                            : QPointF(high - (square.x() - low), square.y());
        },
        false);
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
    records.reserve(size_t(m_view.lightCount()));
    m_view.forEachSquare([&](const LayoutViewLight &square) {
        const double dx = square.x() - p1.x();
        const double dy = square.y() - p1.y();
        const double r = std::sqrt(dx * dx + dy * dy);
        const double b = std::atan2(dy, dx);
        records.push_back({std::trunc(r * std::cos(heading - b) + 0.5),
                           std::trunc(r * std::sin(heading - b) + 0.5), square.uid()});
    });
    std::sort(records.begin(), records.end(), [](const Record &a, const Record &b) {
        return a.along != b.along ? a.along < b.along : a.across < b.across;
    });
    for (const Record &record : records)
        m_view.selectLight(record.uid);
}
