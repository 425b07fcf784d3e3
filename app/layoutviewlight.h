#ifndef LAYOUTVIEWLIGHT_H
#define LAYOUTVIEWLIGHT_H

#include <QGraphicsRectItem>
#include <QPointF>

class Light;
class QGraphicsScene;

// One light's 6 x 6 square on the layout canvas; its position is the square's top-left point.
class LayoutViewLight : public QGraphicsRectItem
{
public:
    enum { Type = 4001 };

    LayoutViewLight(QGraphicsScene *scene, quint64 uid, Light *light);

    int type() const override { return Type; }
    quint64 uid() const { return m_uid; }
    Light *light() const { return m_light; }

    // The position before rounding and snapping; drags accumulate into it.
    QPointF unsnappedPos() const { return m_unsnapped; }
    void setUnsnappedPos(const QPointF &p) { m_unsnapped = p; }

    // Takes the colour the effects gave the light in this frame.
    void refreshColor();

private:
    quint64 m_uid;
    Light *m_light;
    QPointF m_unsnapped;
};

#endif // LAYOUTVIEWLIGHT_H
