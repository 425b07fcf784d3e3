#ifndef DISCOVERLIGHTSREADPAGE_H
#define DISCOVERLIGHTSREADPAGE_H

// Complete types: the signals and slots carry these pointers.
#include "model/datasupply.h"
#include "model/light.h"

#include <QList>
#include <QPointer>
#include <QWizardPage>

#include <memory>

namespace Ui {
class DiscoverLightsReadPage;
}
class MapModel;

// The lights wizard's ending page for interfaces that report lights one by one: shows whether
// the read addresses are unique, and on Finish numbers, names and places the lights in one
// column right of the map's lights.
class DiscoverLightsReadPage : public QWizardPage
{
    Q_OBJECT
public:
    explicit DiscoverLightsReadPage(MapModel *map, QWidget *parent = nullptr);
    ~DiscoverLightsReadPage() override;

    bool isComplete() const override { return m_complete; }
    bool validatePage() override;
    int gridSize() const { return m_grid; }

public slots:
    void handleSelectedControllerChanged(DataSupply *ds);
    void handleDiscoveryStarting();
    void handleDiscoveredLight(Light *light);
    void handleReadAddressesStarting();
    // unread of total lights could not be read: their addresses are not judged. cutShort:
    // reading was cancelled.
    void handleReadAddressesCompleted(bool unique, int unread = 0, int total = 0,
                                      bool cutShort = false);
    void handleRemoveLight(Light *light);
    // What the page says of counted lights left out, or taken unchecked; empty hides it.
    void showCountNotice(const QString &text);

private:
    void numberLights();
    void nameAndPlace(Light *light, int x, int y);

    std::unique_ptr<Ui::DiscoverLightsReadPage> ui;
    bool m_complete = false;
    MapModel *m_map;
    QPointer<DataSupply> m_controller;
    // Guarded: the map owns the lights and Cancel or a new scan deletes them.
    QList<QPointer<Light>> m_lights;
    int m_grid = 12;
};

#endif // DISCOVERLIGHTSREADPAGE_H
