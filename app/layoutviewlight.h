#ifndef LAYOUTVIEWLIGHT_H
#define LAYOUTVIEWLIGHT_H

#include <QGraphicsRectItem>
#include <QPointF>
#include <QRgb>

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

    // Takes the colour the effects gave the light in this frame; the square is only touched
    // (and so repainted) when that colour differs from the one it shows.
    void refreshColor();
    // The square was painted from outside (a selection mark): the next colour is taken
    // whatever it is.
    void forgetShownColor();

private:
    void showColor(QRgb rgb);

    // What the square shows; an alpha of 0 means unknown, as every shown colour is opaque.
    QRgb m_shown = 0;
    quint64 m_uid;
    Light *m_light;
    QPointF m_unsnapped;
};

#endif // LAYOUTVIEWLIGHT_H
