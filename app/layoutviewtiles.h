#ifndef LAYOUTVIEWTILES_H
#define LAYOUTVIEWTILES_H

#include <QHash>
#include <QPointF>
#include <QPointer>

class LayoutViewLight;
class LayoutViewTile;
class QGraphicsScene;

// The canvas cut into square cells, each drawn by one tile made when its first light comes.
// The tiles belong to the scene like the lights: when the grid goes first it leaves them
// there.
class LayoutViewTiles
{
public:
    // Twenty grid steps of the usual 12: a few hundred lights per tile on a dense map.
    static constexpr int CellSize = 240;

    explicit LayoutViewTiles(QGraphicsScene *scene);
    LayoutViewTiles(const LayoutViewTiles &) = delete;
    LayoutViewTiles &operator=(const LayoutViewTiles &) = delete;

    // Hands the light to the tile of its position and draws it there.
    void add(LayoutViewLight *light);
    // Takes the light from its tile and clears its square.
    void remove(LayoutViewLight *light);
    // Moves the light's square to p, into the tile of p when that is another tile. Its old
    // and new areas are drawn again unless the caller repaints the whole scene anyway.
    void place(LayoutViewLight *light, const QPointF &p, bool repaint = true);
    // Deletes every tile; the lights must be gone or be added again.
    void clear();
    int tileCount() const { return int(m_tiles.size()); }

private:
    LayoutViewTile *tileAt(const QPointF &p);

    QPointer<QGraphicsScene> m_scene;
    QHash<quint64, LayoutViewTile *> m_tiles;
};

#endif // LAYOUTVIEWTILES_H
