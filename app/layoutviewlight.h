#ifndef LAYOUTVIEWLIGHT_H
#define LAYOUTVIEWLIGHT_H

#include <QBrush>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QRgb>

#include "colour/veycolor.h"
#include "layoutviewtile.h"

class Light;
struct LightFrameState;
class LayoutViewTiles;

// The 8-bit RGB the canvas shows for a frame colour, remembered for the few colours a frame
// gives most lights: converting every light's colour anew is most of a whole-map recolour
// (Select All, a clear), and a map's lights show a handful of distinct colours at a time.
// Forgotten at every frame, so nothing a conversion depends on can change under it.
class CanvasColorMemo
{
public:
    QRgb rgbOf(const VeyColor &color);
    // The same without remembering anything.
    static QRgb plainRgbOf(const VeyColor &color);
    void clear() { m_count = 0; }

private:
    static constexpr int Size = 8;
    VeyColor m_colors[Size];
    QRgb m_rgb[Size] = {};
    int m_count = 0;
    int m_next = 0;
    int m_last = 0;
};

// One light's 6 x 6 square on the layout canvas; its position is the square's top-left point.
// The square is no scene item: a scene keeps an index entry, a paint record and a few hundred
// bytes of item state for every item, which at a hundred thousand lights outweighs the map.
// The tile grid draws it, finds it under the pointer and tells what it collides with; later
// squares lie on top of earlier ones, as items added one after another would.
class LayoutViewLight
{
public:
    // The item type a square had as a scene item; kept as the canvas's name for "a light".
    enum { Type = 4001 };
    static constexpr qreal Side = 6;

    LayoutViewLight(quint64 uid, Light *light, quint32 order);
    LayoutViewLight(const LayoutViewLight &) = delete;
    LayoutViewLight &operator=(const LayoutViewLight &) = delete;

    quint64 uid() const { return m_uid; }
    // Read-only: a light moved through its square would leave the square behind.
    const Light *light() const { return m_light; }
    LightFrameState *frameState() const { return m_state; }
    // Creation order: the square drawn last, and so found first, has the highest.
    quint32 order() const { return m_order; }

    QPointF pos() const { return m_pos; }
    qreal x() const { return m_pos.x(); }
    qreal y() const { return m_pos.y(); }
    QRectF rect() const { return QRectF(0, 0, Side, Side); }
    // What the square covers on the canvas, its outline's stroke included.
    QRectF sceneShape() const
    {
        const qreal half = m_outlined ? 0.5 : 0;
        return QRectF(m_pos.x() - half, m_pos.y() - half, Side + 2 * half, Side + 2 * half);
    }
    // The most a square at p can cover, whatever its outline.
    static QRectF reach(const QPointF &p) { return QRectF(p.x() - 0.5, p.y() - 0.5, 7, 7); }
    // How far into its corners, along each side, the pen's bevelled joins cut an outline off:
    // half the pen's width. Which pixels that leaves is the tiles' raster's to say.
    static constexpr qreal Bevel = 0.5;

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
    void refreshColor(CanvasColorMemo &memo);
    // The square was painted from outside (a selection mark): the next colour is taken
    // whatever it is.
    void forgetShownColor();
    // Fills the square with a selection mark; the next colour the frame gives is taken
    // whatever it is, which the caller makes sure comes.
    void showMark(QRgb fill)
    {
        m_shown = 0;
        if (fill == m_fill)
            return;
        m_fill = fill;
        repaint();
    }

    // The same for a caller that has the whole tile drawn again itself.
    void showMarkQuietly(QRgb fill)
    {
        m_shown = 0;
        m_fill = fill;
    }

    // The tile whose cell holds the square's corner; only the grid sets it and the position.
    LayoutViewTile *tile() const { return m_tile; }
    void setTile(LayoutViewTile *tile) { m_tile = tile; }
    void setPosFromGrid(const QPointF &p) { m_pos = p; }
    void setGrid(LayoutViewTiles *grid) { m_grid = grid; }
    // Marks the square's area to be drawn again.
    void repaint()
    {
        const QRectF area = reach(m_pos);
        if (m_tile && m_tile->holds(area))
            m_tile->invalidate(area);
        else
            repaintAcrossTiles(area);
    }

    // Scratch mark of the band's rules, which see the squares read-only: equal to their
    // current stamp while the square is among the hits being evaluated.
    mutable quint32 hitStamp = 0;
    // Scratch mark of the view's setSelection: equal to its stamp while the square's light is
    // among the lights to be selected.
    quint32 wantedStamp = 0;
    // Scratch mark of the frame's recolouring: equal to its stamp once the square took the
    // frame's colour.
    quint32 refreshStamp = 0;
    // Waits on the view's list of selection marks for its frame colour.
    bool marked = false;

private:
    void repaintAcrossTiles(const QRectF &area);
    void showColor(QRgb rgb);
    void setFill(QRgb fill);
    void setOutline(bool outlined, QRgb rgb);

    QPointF m_pos;
    QPointF m_unsnapped;
    quint64 m_uid;
    Light *m_light;
    // The light's per-frame state, where its colour lives: read without the light itself.
    LightFrameState *m_state;
    LayoutViewTiles *m_grid = nullptr;
    LayoutViewTile *m_tile = nullptr;
    quint32 m_order;
    // What the square shows; an alpha of 0 means unknown, as every shown colour is opaque.
    QRgb m_shown = 0;
    QRgb m_fill;
    QRgb m_outline = 0;
    bool m_outlined = false;
};

#endif // LAYOUTVIEWLIGHT_H
