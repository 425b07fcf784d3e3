#ifndef LAYOUTVIEWEDITOR_H
#define LAYOUTVIEWEDITOR_H

#include <QCursor>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QSet>
#include <QtGlobal>

#include <vector>

class LayoutView;
class LayoutViewLight;
class QGraphicsLineItem;
class QGraphicsPolygonItem;
class QGraphicsRectItem;
class QKeyEvent;
class QMouseEvent;

// What the pointer and the keys do on the layout canvas: selecting by click, band and line,
// dragging the selection, where the turns and flips put it, panning and the zoom clicks. The
// view shows the map, mirrors the selection effect and alone moves its squares and writes
// their places into the lights; this keeps the pointer's state, sees the squares read-only
// and works through the view's public interface, as the view's other users do, but for
// moving the selected squares during a drag, which only it may ask for.
class LayoutViewEditor
{
public:
    explicit LayoutViewEditor(LayoutView &view);
    ~LayoutViewEditor();
    LayoutViewEditor(const LayoutViewEditor &) = delete;
    LayoutViewEditor &operator=(const LayoutViewEditor &) = delete;

    void keyPress(QKeyEvent *event);
    void keyRelease(QKeyEvent *event);
    void mousePress(QMouseEvent *event);
    void mouseMove(QMouseEvent *event);
    void mouseRelease(QMouseEvent *event);

    // The next press starts the line of an interactive group.
    void startInteractiveGroup() { m_interactiveGroup = true; }
    void setBandClearsFirst(bool on) { m_bandClearsFirst = on; }
    void endRubberBand();

    void calculateRectSelection(QGraphicsRectItem *r);
    void calculateLineSelection();
    void calculatePointSelection(QPointF p1, QPointF p2);
    QPointF selectionCentre() const;
    void rotateSelection(double cx, double cy, double degrees);
    void flipSelection(Qt::Orientation orientation);

private:
    enum class BandRule { Rectangle, Adding, Line };
    QPointF eventScenePos(const QMouseEvent *event) const;
    void updateCursor();
    void pressOnLight(quint64 uid);
    void applyBandSelection(const std::vector<const LayoutViewLight *> &hits, BandRule rule);
    void beginRubberBand();
    void updateRubberBand();
    void autoScroll(const QMouseEvent *event);
    bool pastDragDistance(const QMouseEvent *event);

    LayoutView &m_view;
    QCursor m_zoomInCursor;
    QCursor m_zoomOutCursor;
    QList<quint64> m_pressSelection;
    QSet<quint64> m_pressSet;
    quint32 m_hitStamp = 0;
    bool m_bandClearsFirst = false;
    QList<quint64> m_previousSelection;
    QPointF m_pressPoint;
    QPointF m_releasePoint;
    QPoint m_lastPoint;
    QPoint m_currentPoint;
    quint64 m_hitLight = 0;
    bool m_dragging = false;
    // The pointer has left the press by the drag distance since the press hit a light.
    bool m_dragStarted = false;
    QPointF m_pressPixel;
    bool m_controlModifier = false;
    bool m_altModifier = false;
    bool m_shiftModifier = false;
    bool m_controlKey = false;
    bool m_spaceKey = false;
    bool m_altKey = false;
    bool m_panning = false;
    bool m_zoomClick = false;
    bool m_interactiveGroup = false;
    bool m_lineForm = false;
    QGraphicsRectItem *m_rubberRect = nullptr;
    QGraphicsLineItem *m_rubberLine = nullptr;
    QGraphicsPolygonItem *m_sweep = nullptr;
};

#endif // LAYOUTVIEWEDITOR_H
