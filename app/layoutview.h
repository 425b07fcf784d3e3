#ifndef LAYOUTVIEW_H
#define LAYOUTVIEW_H

#include <QCursor>
#include <QGraphicsView>
#include <QHash>
#include <QList>
#include <QSet>

class LayoutViewLight;
class MapModel;
class QAction;
class QGraphicsRectItem;
class QMenu;
class SelectionEffect;
class UndoActionList;

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

    void refreshLightItem(quint64 uid, const QPointF &pos);

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
    void autoZoom();
    void recenterCanvas(QPoint mousePoint, QPoint canvasPoint);
    void zoomIn();
    void zoomOut();
    void zoomInAt(QPoint pt);
    void zoomOutAt(QPoint pt);
    void setUpdatePaused(bool p);
    bool getUpdatePaused() const { return m_updatePaused; }
    void updateCanvas();
    LayoutViewLight *getLayoutViewLight(quint64 uid) const;
    void setSelectAllLights(bool selected);

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    void buildPopupMenu();
    void setSelectionActionsEnabled(bool e);
    void repaintUnlessPaused();

    MapModel *m_map;
    SelectionEffect *m_selection;
    QGraphicsScene *m_scene;
    QHash<quint64, LayoutViewLight *> m_lightItems;
    // The list keeps the order; the set answers "is it selected" for every light of a
    // select-all or clear. Deselected uids leave the list lazily, in one pass, so deselecting
    // every light of a large map stays linear.
    mutable QList<quint64> m_selectionList;
    QSet<quint64> m_selectedUids;
    mutable int m_deselectedInList = 0;
    void compactSelectionList() const;
    int m_gridSpacing = 12;
    bool m_snapToGrid = true;
    bool m_updatePaused = false;
    bool m_selectAll = false;
    QCursor m_zoomInCursor;
    QCursor m_zoomOutCursor;
    QMenu *m_popupMenu = nullptr;
    QList<QAction *> m_selectionActions;
    QAction *m_createInteractivelyAction = nullptr;
};

#endif // LAYOUTVIEW_H
