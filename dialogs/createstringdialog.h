#ifndef CREATESTRINGDIALOG_H
#define CREATESTRINGDIALOG_H

#include "fixturepropertyrows.h"
#include "stringlayoutwidget.h"

#include <QDialog>
#include <QList>
#include <QPoint>

#include <memory>

namespace Ui {
class CreateString;
}

class DataSupply;
class Light;
class MapModel;
class QAbstractButton;
class QButtonGroup;
class QSettings;

// Adds a string of lights (rows x columns of one fixture type, on one port, at consecutive
// DMX addresses) in one of five layouts below or right of the map's lights. The lights
// discovery wizard hands it the lights it found on a port, so it lays those out instead.

class CreateStringDialog : public QDialog
{
    Q_OBJECT
public:
    CreateStringDialog(MapModel *map, QWidget *parent = nullptr);
    ~CreateStringDialog() override;

    void setDiscoveredLights(const QList<Light *> &lights);
    void setController(quint64 uid);
    void setBaseDmxAddress(int address);
    void setTitle(const QString &title);

public slots:
    void handleAddRightClicked();
    void handleAddBelowClicked();
    void handleOkButtonClicked();
    void handleLayoutButtonClicked(QAbstractButton *button);
    void handleStringLayoutChanged(StringLayoutWidget::LayoutOrder layoutOrder, bool raster);
    void refreshDmxAutoSetValue();
    void handleRowCountValueChanged(int n);
    void handleColumnCountValueChanged(int n);
    void handleLightCountValueChanged(int rows, int columns);
    void handleControllerChanged();
    void handleNumPortsValueChanged(int n);
    void handlePortNumberChanged();
    void handleDmxAutoSetValueChanged();
    void handleFixtureTypeChanged(int index);
    void handleVorlethModeChanged(int index);
    void handleLedChemistryChanged(int index);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Preset
    {
        bool set = false;
        qint64 value = 0;
    };
    void fillInterfaces();
    void connectForm();
    void setUpLayoutButtons();
    void readSettings();
    void readInterfaceSettings(const QSettings &settings);
    void writeSettings() const;
    void addString(const QPoint &origin, int addButton);
    bool createLights(DataSupply *ds, int base, int port, const QString &baseName);
    Light *nextLight(quint64 first, int k, DataSupply *ds, int port);

    std::unique_ptr<Ui::CreateString> ui;
    MapModel *m_map;
    QList<DataSupply *> m_dataSupplies;
    int m_grid = 12;
    int m_layout = 0;
    int m_layoutOrder = 0;
    bool m_raster = false;
    QPoint m_origin;
    int m_addButton = 0;
    QList<Light *> m_discoveredLights;
    bool m_discovered = false;
    Preset m_interfacePreset;
    Preset m_addressPreset;
    Preset m_portPreset;
    QButtonGroup *m_layoutButtons = nullptr;
    StringLayoutWidget *m_layoutWidget = nullptr;
    FixturePropertyRows m_properties;
};

#endif // CREATESTRINGDIALOG_H
