#ifndef DISCOVERLIGHTSLIGHTPAGE_H
#define DISCOVERLIGHTSLIGHTPAGE_H

// Complete types: the signals and slots carry these pointers.
#include "model/datasupply.h"
#include "model/light.h"

#include <QList>
#include <QMap>
#include <QPointer>
#include <QWizardPage>

#include <memory>

namespace Ui {
class DiscoverLightsLightPage;
}
class MapModel;

// The lights wizard's ending page for interfaces that report counted lights port by port: on
// Finish each port's lights are laid out as a string through the string creation dialog.
class DiscoverLightsLightPage : public QWizardPage
{
    Q_OBJECT
public:
    explicit DiscoverLightsLightPage(MapModel *map, QWidget *parent = nullptr);
    ~DiscoverLightsLightPage() override;

    bool validatePage() override;

public slots:
    void handleSelectedControllerChanged(DataSupply *ds);
    void handleDiscoveredLights(const QList<Light *> &lights);
    void handleDiscoveryStarting();
    // What the page says of ports whose lights could not be counted, or were taken unchecked;
    // empty hides it.
    void showCountNotice(const QString &text);

private:
    std::unique_ptr<Ui::DiscoverLightsLightPage> ui;
    MapModel *m_map;
    QPointer<DataSupply> m_controller;
    // Guarded: the lights stay the discovery engine's until a string dialog takes them.
    QMap<uint, QList<QPointer<Light>>> m_lightsByPort;
    uint m_lightCount = 0;
};

#endif // DISCOVERLIGHTSLIGHTPAGE_H
