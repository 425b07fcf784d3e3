#ifndef LAYOUTVIEW_H
#define LAYOUTVIEW_H

#include "layoutviewlight.h"
#include "undoactionlist.h"

#include <QGraphicsView>
#include <QHash>
#include <QList>
#include <QSet>

#include <functional>
#include <memory>
#include <vector>

class LayoutViewEditor;
class LayoutViewLight;
class LayoutViewTiles;
class MapModel;
class QAction;
class QGraphicsRectItem;
class QMenu;
class QPainterPath;
class SelectionEffect;

// The map's drawing: one square per light at the light's position, coloured each frame from
// the effects, with the selection effect's selection mirrored into an ordered list.
class LayoutView : public QGraphicsView
{
    Q_OBJECT
public:
    LayoutView(MapModel *map, SelectionEffect *selection, QGraphicsScene *scene, QWidget *parent,
               const QString &name);
    ~LayoutView() override;

    // The canvas's ordered record of the selected lights, in order of selection.
    const QList<quint64> &selectionList() const;
    int gridSpacing() const { return m_gridSpacing; }
    bool snapToGrid() const { return m_snapToGrid; }
    bool selectAllLights() const { return m_selectAll; }
    QMenu *popupMenu() const { return m_popupMenu; }
    int lightCount() const { return int(m_lightItems.size()); }

    MapModel *mapModel() const { return m_map; }
    // Calls visit with each light's square, read-only: only the view moves squares, so that
    // the tiles that draw them and find them under the pointer always know where they are.
    template <class Visit> void forEachSquare(Visit visit) const
    {
        for (const LayoutViewLight *square : m_lightItems)
            visit(*square);
    }

    // The grid line t snaps to: from 0 up the nearer one, ties going up; below 0 the next one
    // toward zero. A spacing below 1 snaps nothing. Drags, drops and turns all snap by it.
    static int snapped(int t, int grid);

    // The canvas rounds pointer positions half away from zero.
    static int roundHalfAway(double v);
    static QPoint roundHalfAway(const QPointF &p);

    // The uid of the light whose square the view shows at the pixel under the pointer (the
    // square on top where several meet there), or 0. The point is in viewport coordinates.
    quint64 lightUnderPointer(const QPointF &viewportPoint) const;
    // The squares meeting the rectangle, or the closed shape, outlines included.
    std::vector<const LayoutViewLight *> lightsMeeting(const QRectF &rect) const;
    std::vector<const LayoutViewLight *> lightsMeeting(const QPainterPath &shape) const;
    // Puts the light's square where the light's pose says, fractions kept: the undo manager
    // calls it after it gave the light back an earlier pose.
    void refreshLightItem(quint64 uid);
    // Puts every selected square where place says (a turn, a flip) and writes the places into
    // the lights as one undo step, snapped first when asked; or, when a square would lie on
    // another or off the scene, puts them all back where their lights are and returns false.
    bool moveSelectionTo(const std::function<QPointF(const LayoutViewLight &)> &place,
                         bool snapping);
    void repaintUnlessPaused();

    // The selection's operations. Selecting appends to the list, then tells the effect.
    bool isSelected(quint64 uid) const { return m_selectedUids.contains(uid); }
    void selectLight(quint64 uid);
    void unselectLight(quint64 uid);
    // Makes the selection exactly these lights in this order (a uid given twice counts at its
    // first place): the selected set, the list, the squares' marks and the actions change
    // together, and the effect hears only of the lights whose state changes.
    void setSelection(const QList<quint64> &ordered);

    // Lets the tiles' kept pictures go; they are drawn afresh when next shown.
    void dropCanvasPictures();
    // With this on, every band move clears the selection and selects by the rules again, one
    // light at a time: the slow way the incremental band is checked against.
    void setBandClearsFirst(bool on);
    // With this on, the tiles draw by looking through every square near them instead of their
    // kept lists: the slow way those are checked against.
    void setPlainCanvasDrawing(bool on);

signals:
    void statusMsg(const QString &s, int ms);
    void setDirty(bool d);
    void addUndoActionList(UndoActionList *ual);

public slots:
    void setSnapToGrid(bool b);
    void setGridSpacing(int n);
    void handleNewLight(quint64 uid);
    void handleUpdatedLight(quint64 uid);
    void handleUpdatedLightPosition(quint64 uid);
    void handleDeletedLight(quint64 uid);
    void handleClearedMap();
    void handlePropertiesCompiled();
    void handleLightSelectionChanged(quint64 uid, bool s);
    void handleLightsSelectionChangedInBulk(const QSet<quint64> &uids, bool s);
    void autoZoom();
    void recenterCanvas(QPoint mousePoint, QPoint canvasPoint);
    void zoomIn();
    void zoomOut();
    void zoomInAt(QPoint pt);
    void zoomOutAt(QPoint pt);
    void setUpdatePaused(bool p);
    bool getUpdatePaused() const { return m_updatePaused; }
    void updateCanvas();
    const LayoutViewLight *getLayoutViewLight(quint64 uid) const { return m_lightItems.value(uid); }
    void setSelectAllLights(bool selected);

    void handleRotateSelectionCW();
    void handleRotateSelectionCCW();
    void handleFlipSelectionVertically();
    void handleFlipSelectionHorizontally();
    void handleCreateGroupFromSelection();
    void handleCreatePointGroup();
    void handleCreateGroupInteractively();
    void handleDeleteSelection();
    void handleEditLights();
    void clearSelectedItems();
    void calculateRectSelection(QGraphicsRectItem *r);
    void calculateLineSelection();
    void calculatePointSelection(QPointF p1, QPointF p2);
    // Writes the squares' places into the lights as one undo step; false when the move put a
    // square on another or off the scene and everything went back instead.
    bool updateSelectedLightPositions();
    void handleContextMenuRequested(QPoint p);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    // Only the editor moves squares ahead of their lights, and only during a drag, which its
    // release ends by writing the places into the lights or putting the squares back.
    friend class LayoutViewEditor;
    void moveSelectedItems(int dx, int dy);
    // Puts the selected squares back where their lights are.
    void restoreSelectedSquares();

    void buildPopupMenu();
    void setSelectionActionsEnabled(bool e);
    void appendToSelectionList(quint64 uid);
    void updateSelectionList(quint64 uid, bool s);
    void showSelectionMark(LayoutViewLight *item, bool s);
    static QRgb selectionMarkColor(bool s);
    bool contextMenuRequest(QEvent *event, QWidget *from);
    void openMenuFromKeyboard();
    void deleteLightItem(quint64 uid);
    // The squares of the selection list, in its order; rebuilt when the selection or the
    // squares changed since.
    const std::vector<LayoutViewLight *> &selectedItems() const;
    int snap(int t) const;
    QList<quint64> markWanted(const QList<quint64> &ordered, quint32 stamp,
                              QSet<quint64> *withoutSquare);
    bool writeSelectionPlaces(bool snapping);

    MapModel *m_map;
    SelectionEffect *m_selection;
    QGraphicsScene *m_scene;
    QHash<quint64, LayoutViewLight *> m_lightItems;
    std::unique_ptr<LayoutViewTiles> m_tiles;
    std::unique_ptr<LayoutViewEditor> m_editor;
    // The list keeps the order; the set answers "is it selected" for every light of a
    // select-all or clear. Deselected uids leave the list lazily, in one pass, so deselecting
    // every light of a large map stays linear.
    mutable QList<quint64> m_selectionList;
    QSet<quint64> m_selectedUids;
    mutable int m_deselectedInList = 0;
    void compactSelectionList() const;
    mutable std::vector<LayoutViewLight *> m_selectedItems;
    mutable quint64 m_selectedItemsGeneration = 0;
    quint32 m_wantedStamp = 0;
    quint64 m_itemsGeneration = 1;
    int m_gridSpacing = 12;
    bool m_snapToGrid = true;
    bool m_updatePaused = false;
    bool m_selectAll = false;
    QMenu *m_popupMenu = nullptr;
    QList<QAction *> m_selectionActions;
    QAction *m_createInteractivelyAction = nullptr;
    bool m_selectionActionsOn = true;

    // Set while the effect announces a clear that this view started.
    bool m_clearingSelection = false;
    // Squares showing a selection mark that the next frame paints over, and squares of
    // deleted lights that were among them (freed with that frame).
    std::vector<LayoutViewLight *> m_marked;
    // Every square in a tile shows a mark (Select All, a whole clear) without being listed.
    bool m_allMarked = false;
    std::vector<LayoutViewLight *> m_unmarkedDead;
    void forgetMarks();
    quint32 m_refreshStamp = 0;
    CanvasColorMemo m_colorMemo;
    // Squares made later lie on top.
    quint32 m_nextOrder = 0;
};

#endif // LAYOUTVIEW_H
