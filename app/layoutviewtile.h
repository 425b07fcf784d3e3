#ifndef LAYOUTVIEWTILE_H
#define LAYOUTVIEWTILE_H

#include <QGraphicsItem>

#include <vector>

class LayoutViewLight;

// Draws the squares of the lights that entered the canvas, or came to rest, in one cell of
// it. One painted item per cell instead of one per light keeps the scene's per-item painting
// records to a few hundred for any map. A square keeps its tile while its corner stays within
// half a cell of the cell, so a drag to and fro across a border moves no square between
// tiles.
class LayoutViewTile : public QGraphicsItem
{
public:
    enum { Type = 4002 };
    static constexpr qreal Reach = 120;

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
    void setCell(const QRectF &cell);
    // Whether a square with its corner at p may stay here.
    bool holds(const QPointF &p) const
    {
        return p.x() >= m_cell.left() - Reach && p.x() <= m_cell.right() + Reach &&
               p.y() >= m_cell.top() - Reach && p.y() <= m_cell.bottom() + Reach;
    }
    const std::vector<LayoutViewLight *> &lights() const { return m_lights; }
    // Both draw the square's area again unless the caller repaints the whole scene anyway.
    void add(LayoutViewLight *light, bool repaint = true);
    void remove(LayoutViewLight *light, bool repaint = true);

private:
    QRectF m_cell;
    // In the order the lights came, which is the order the scene stacks them in.
    std::vector<LayoutViewLight *> m_lights;
};

#endif // LAYOUTVIEWTILE_H
