#ifndef LAYOUTVIEWTILE_H
#define LAYOUTVIEWTILE_H

#include <QGraphicsItem>

#include <vector>

class LayoutViewLight;

// Draws the squares of the lights whose top-left points lie in one cell of the canvas. One
// painted item per cell instead of one per light keeps the scene's per-item painting records
// to a few hundred for any map.
class LayoutViewTile : public QGraphicsItem
{
public:
    enum { Type = 4002 };

    explicit LayoutViewTile(const QRectF &cell);

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    // Empty: the tile is never hit, found under a point or collided with; the lights are.
    QPainterPath shape() const override;
    bool contains(const QPointF &point) const override;
    bool collidesWithItem(const QGraphicsItem *other,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;
    bool collidesWithPath(const QPainterPath &path,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    QRectF cell() const { return m_cell; }
    const std::vector<LayoutViewLight *> &lights() const { return m_lights; }
    void add(LayoutViewLight *light);
    void remove(LayoutViewLight *light);
    // The grid is going; the tile stays in the scene with what it draws.

private:
    QRectF m_cell;
    // In the order the lights came, which is the order the scene stacks them in.
    std::vector<LayoutViewLight *> m_lights;
};

#endif // LAYOUTVIEWTILE_H
