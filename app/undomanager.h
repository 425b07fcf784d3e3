#ifndef UNDOMANAGER_H
#define UNDOMANAGER_H

#include <QList>
#include <QObject>

class LayoutView;
class MapModel;
class UndoActionList;
struct UndoAction;

// Undo and redo of the moves made on the layout canvas. Each change arrives as one list of
// steps; the lists sit on an undo and a redo stack (most recent first) and are applied to the
// map's lights and to their squares on the canvas.
class UndoManager : public QObject
{
    Q_OBJECT
public:
    explicit UndoManager(MapModel *map);
    ~UndoManager() override;

    void setLayoutView(LayoutView *view) { m_layoutView = view; }
    int undoCount() const { return int(m_undoStack.size()); }
    int redoCount() const { return int(m_redoStack.size()); }

signals:
    void undoEnabled(bool b);
    void redoEnabled(bool b);
    void updatedLight(quint64 uid);

public slots:
    void undo();
    void redo();
    void undoAction(UndoAction *ua);
    // Takes ownership of ual.
    void addUndoActionList(UndoActionList *ual);
    // Drops both stacks: their steps name lights of a map that is gone, and a reopened map
    // may give the same uids to other lights.
    void clear();

private:
    void apply(UndoActionList *ual);
    void announce();

    LayoutView *m_layoutView = nullptr;
    MapModel *m_map;
    QList<UndoActionList *> m_undoStack;
    QList<UndoActionList *> m_redoStack;
};

#endif // UNDOMANAGER_H
