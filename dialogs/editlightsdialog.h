#ifndef EDITLIGHTSDIALOG_H
#define EDITLIGHTSDIALOG_H

#include "lightpropertytable.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QSet>

#include <memory>

namespace Ui {
class EditLights;
}
class DeviceDictionary;
class EditLightsState;
class Light;
class MapModel;
class PropertyMapper;
class QAction;
class QUndoStack;

// The fixture types the editor offers, sorted.
QStringList editableFixtureTypes();
// The serial text after choosing a fixture type whose first serial has the colon text
// typeText: the type part of typeText and the unit part (last four digits) of current.
QString serialTextForFixtureType(const QString &typeText, const QString &current);

// The modal editor of one or many lights. Edits stay pending, each an undoable step of the
// editor's own stack, until Apply or OK writes them into the lights in one step.
class EditLightsDialog : public QDialog
{
    Q_OBJECT
public:
    EditLightsDialog(MapModel *map, const QList<Light *> &lights, QWidget *parent = nullptr);
    ~EditLightsDialog() override;

    static void setLightProperty(Light *light, const QString &token, int value);

    QUndoStack *undoStack() const { return m_undoStack; }
    QAction *undoAction() const { return m_undoAction; }
    QAction *redoAction() const { return m_redoAction; }
    const QSet<Light *> &modifiedLights() const { return m_modified; }
    EditLightsState *pendingState(quint64 uid) const { return m_pending.value(uid); }

signals:
    void deviceTypeChanged();

public slots:
    void handleApply();
    void handleReset();
    void handleCancel();
    void handleRefreshDevices();
    void handleActionItemTriggered();
    void handleLightSelectionChanged();
    void handleLightValuesChanged();
    void handleFixtureTypeChanged(int index);
    void handleOkButtonClicked();
    void handlePropertyValuesChanged();
    void reject() override;

private:
    void buildMenus();
    void connectFields();
    Light *singleLight() const;
    void updateLightFields();
    void selectFixtureType(quint64 serial, const QString &deviceInfo);
    void setSingleFieldsVisible(bool visible);
    void rebuildTable();
    void setPropertyComboState();
    void updateButtons();
    bool applyCheck() const;
    void pushEdit(const QSet<Light *> &lights, const QHash<quint64, EditLightsState *> &after);
    void handleDeletedLight(quint64 uid);

    std::unique_ptr<Ui::EditLights> ui;
    MapModel *m_map;
    PropertyMapper *m_mapper;
    DeviceDictionary *m_dictionary;
    QSet<Light *> m_lights;
    QSet<Light *> m_selection;
    bool m_singleSelection = false;
    bool m_singleLight = false;
    QHash<quint64, EditLightsState *> m_pending;
    QSet<Light *> m_modified;
    QUndoStack *m_undoStack = nullptr;
    QAction *m_undoAction = nullptr;
    QAction *m_redoAction = nullptr;
    QAction *m_closeAction = nullptr;
    LightPropertyTable m_table;
};

#endif // EDITLIGHTSDIALOG_H
