#ifndef CREATELIGHTS_H
#define CREATELIGHTS_H

#include "fixturepropertyrows.h"

#include <QDialog>
#include <QList>

#include <memory>

namespace Ui {
class CreateLights;
}

class DataSupply;
class MapModel;

// Adds a row or a column of lights of one fixture type, at consecutive DMX addresses on one
// port of a new or an existing interface, beside the lights already on the canvas.

class CreateLights : public QDialog
{
    Q_OBJECT
public:
    CreateLights(MapModel *map, QWidget *parent = nullptr);
    ~CreateLights() override;

public slots:
    void handleOkButtonClicked();
    void refreshDmxAutoSetValue();
    void handleFixtureTypeChanged(int index);
    void handleVorlethModeChanged(int index);
    void handleLedChemistryChanged(int index);

private:
    void fillInterfaces();
    void connectForm();
    void readSettings();
    void writeSettings() const;
    DataSupply *chosenInterface();
    DataSupply *createInterface(const QString &namePrefix);

    std::unique_ptr<Ui::CreateLights> ui;
    MapModel *m_map;
    QList<DataSupply *> m_dataSupplies;
    int m_grid = 12;
    FixturePropertyRows m_properties;
};

#endif // CREATELIGHTS_H
