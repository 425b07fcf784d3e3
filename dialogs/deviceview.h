#ifndef DEVICEVIEW_H
#define DEVICEVIEW_H

#include <QHash>
#include <QSet>
#include <QTreeWidget>

class DeviceDictionary;
class EditLightsLight;
class Light;
class MapModel;
class PropertyMapper;

// The light editor's list of its lights, one row per device model with the model's lights
// under it. The lights of the selected rows are the editor's selection.
class DeviceView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit DeviceView(QWidget *parent = nullptr);

    void setLights(const QSet<Light *> &lights, MapModel *map);
    QSet<Light *> selectedLights() const { return m_selected; }
    bool hasSingleSelection() const { return m_singleSelection; }
    void setLightItalic(Light *light, bool italic);
    void moveLightItem(quint64 uid, quint64 oldSerial, quint64 newSerial);
    // While on, light updates only refresh their rows; the view sorts once when it goes off.
    void setBulkUpdate(bool on);

    // The name a light is listed under.
    static QString modelNameFor(quint64 serial);
    EditLightsLight *modelRow(const QString &name) const { return m_modelRows.value(name); }
    EditLightsLight *lightRow(quint64 uid) const { return m_lightRows.value(uid); }

signals:
    void lightSelectionChanged();

public slots:
    void handleDeviceSelectionChanged();
    void handleUpdatedLight(quint64 uid);
    void handleDeletedLight(quint64 uid);

private:
    void populate(const QSet<Light *> &lights);
    EditLightsLight *modelRowFor(quint64 serial);
    void refreshRow(EditLightsLight *row);
    void finishChange();

    MapModel *m_map = nullptr;
    QSet<Light *> m_selected;
    bool m_singleSelection = false;
    bool m_bulk = false;
    bool m_bulkResort = false;
    bool m_bulkResize = false;
    QHash<QString, EditLightsLight *> m_modelRows;
    QHash<quint64, EditLightsLight *> m_lightRows;
    QHash<quint64, quint64> m_filledSerials;
};

#endif // DEVICEVIEW_H
