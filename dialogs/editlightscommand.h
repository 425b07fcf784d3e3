#ifndef EDITLIGHTSCOMMAND_H
#define EDITLIGHTSCOMMAND_H

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QUndoCommand>

class DeviceView;
class EditLightsState;
class Light;
class MapModel;

// One step of the light editor's own undo stack: an edit of the pending states or the
// writing of them into the lights. Redo applies the after-states, undo the before-states.
// Lights are found through their map each time, so a light deleted meanwhile is skipped.
class EditLightsCommand : public QUndoCommand
{
public:
    enum Kind { Apply = 2003, Edit = 2004 };

    // Takes ownership of the before- and after-states; pending, modified and view are the
    // editor's and outlive the command.
    EditLightsCommand(int kind, const QSet<Light *> &lights, DeviceView *view,
                      QSet<Light *> *modified, const QHash<quint64, EditLightsState *> &pending,
                      const QHash<quint64, EditLightsState *> &before,
                      const QHash<quint64, EditLightsState *> &after);
    ~EditLightsCommand() override;

    void undo() override;
    void redo() override;

    int kind() const { return m_kind; }

private:
    void apply(bool redo);
    void applyEdit(Light *light, const QHash<quint64, EditLightsState *> &states);
    void applyToLight(Light *light, const QHash<quint64, EditLightsState *> &states, bool redo);
    void mark(Light *light, bool on);
    QList<Light *> liveLights() const;

    int m_kind;
    // uid and pointer; the pointer is used only while the map still holds the uid.
    QList<QPair<quint64, Light *>> m_lights;
    MapModel *m_map = nullptr;
    DeviceView *m_view;
    QSet<Light *> *m_modified;
    QHash<quint64, EditLightsState *> m_pending;
    QHash<quint64, EditLightsState *> m_before;
    QHash<quint64, EditLightsState *> m_after;
    QHash<quint64, EditLightsState *> m_pendingCopies;
};

#endif // EDITLIGHTSCOMMAND_H
