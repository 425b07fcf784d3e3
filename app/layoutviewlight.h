#ifndef LAYOUTVIEWLIGHT_H
#define LAYOUTVIEWLIGHT_H

#include <QBrush>
#include <QGraphicsItem>
#include <QPen>
#include <QPointF>
#include <QRgb>

class Light;
class LayoutViewTile;
class QGraphicsScene;

// One light's 6 x 6 square on the layout canvas; its position is the square's top-left point.
// The item is what the scene finds, collides and moves; the tile under it draws it. A scene
// keeps a per-view record of every item it paints, which for a square would weigh more than
// the square itself, so the square has no contents of its own and tells its tile when it
// needs to be drawn again.
class LayoutViewLight : public QGraphicsItem
{
public:
    enum { Type = 4001 };
    static constexpr qreal Side = 6;

    LayoutViewLight(QGraphicsScene *scene, quint64 uid, Light *light);

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    quint64 uid() const { return m_uid; }
    Light *light() const { return m_light; }
    QRectF rect() const { return QRectF(0, 0, Side, Side); }

    // The square's outline is a one-unit pen of one colour, or none; its fill is solid.
    QPen pen() const;
    void setPen(const QPen &pen);
    QBrush brush() const;
    void setBrush(const QBrush &brush);
    QRgb fillColor() const { return m_fill; }
    QRgb outlineColor() const { return m_outline; }
    bool isOutlined() const { return m_outlined; }

    // The position before rounding and snapping; drags accumulate into it.
    QPointF unsnappedPos() const { return m_unsnapped; }
    void setUnsnappedPos(const QPointF &p) { m_unsnapped = p; }

    // Takes the colour the effects gave the light in this frame; the square is only touched
    // (and so repainted) when that colour differs from the one it shows.
    void refreshColor();
    // The square was painted from outside (a selection mark): the next colour is taken
    // whatever it is.
    void forgetShownColor();

    // Never with a tile or the item spanning them, whose shapes are empty: said at once, as
    // every drop asks it of every moved square, and the spanning item is near each of them.
    bool collidesWithItem(const QGraphicsItem *other,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;

    // The tile drawing the square; moves go through LayoutViewTiles::place so that it follows.
    LayoutViewTile *tile() const { return m_tile; }
    void setTile(LayoutViewTile *tile) { m_tile = tile; }
    // Asks the tile to draw the square's area again.
    void repaint();

private:
    void showColor(QRgb rgb);
    void setOutline(bool outlined, QRgb rgb);

    // What the square shows; an alpha of 0 means unknown, as every shown colour is opaque.
    QRgb m_shown = 0;
    QRgb m_fill;
    QRgb m_outline = 0;
    bool m_outlined = false;
    quint64 m_uid;
    Light *m_light;
    LayoutViewTile *m_tile = nullptr;
    QPointF m_unsnapped;
};

#endif // LAYOUTVIEWLIGHT_H
