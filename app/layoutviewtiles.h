#ifndef LAYOUTVIEWTILES_H
#define LAYOUTVIEWTILES_H

#include "layoutviewlight.h"
#include "layoutviewtile.h"

#include <QHash>
#include <QPointF>
#include <QPointer>

class QGraphicsScene;

// The canvas cut into square cells, each drawn by one tile made when its first light comes.
// A light enters the tile of its cell and leaves it only when it moves beyond the tile's
// reach.
// The tiles are children of one tile without lights that spans them all and tells the scene
// so: only that one enters the scene's index, so looking for the lights near a square (as
// every drop does for every square) meets one more item instead of every tile around. The
// tiles belong to the scene like the lights: when the grid goes first it leaves them there.
class LayoutViewTiles
{
public:
    // Twenty grid steps of the usual 12: a few hundred lights per tile on a dense map.
    static constexpr int CellSize = 240;

    explicit LayoutViewTiles(QGraphicsScene *scene);
    LayoutViewTiles(const LayoutViewTiles &) = delete;
    LayoutViewTiles &operator=(const LayoutViewTiles &) = delete;

    // Hands the light to the tile of its position and draws it there.
    void add(LayoutViewLight *light, bool repaint = true);
    // Takes the light from its tile and clears its square.
    void remove(LayoutViewLight *light, bool repaint = true);
    // Moves the light's square to p, into the tile of p's cell when it leaves its tile's
    // reach. Its old and new areas are drawn again unless the caller repaints the whole scene
    // anyway.
    void place(LayoutViewLight *light, const QPointF &p, bool repaint = true)
    {
        // Every square of a dragged selection comes here: the common case stays inline.
        LayoutViewTile *from = light->tile();
        if (!repaint && from && from->holds(p))
            light->setPos(p);
        else
            placeAnywhere(light, p, repaint);
    }
    // Deletes every tile; the lights must be gone or be added again.
    void clear();
    int tileCount() const { return int(m_tiles.size()); }

private:
    void placeAnywhere(LayoutViewLight *light, const QPointF &p, bool repaint);
    LayoutViewTile *tileAt(const QPointF &p);

    QPointer<QGraphicsScene> m_scene;
    QHash<quint64, LayoutViewTile *> m_tiles;
    LayoutViewTile *m_layer = nullptr;
};

#endif // LAYOUTVIEWTILES_H
