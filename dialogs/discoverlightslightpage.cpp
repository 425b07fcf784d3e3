#include "discoverlightslightpage.h"
#include "ui_discoverlightslightpage.h"

#include "createstringdialog.h"
#include "lightdiscoveryrules.h"
#include "userprompt.h"

#include "model/datasupply.h"
#include "model/light.h"

DiscoverLightsLightPage::DiscoverLightsLightPage(MapModel *map, QWidget *parent)
    : QWizardPage(parent), ui(std::make_unique<Ui::DiscoverLightsLightPage>()), m_map(map)
{
    ui->setupUi(this);
    setFinalPage(true);
}

DiscoverLightsLightPage::~DiscoverLightsLightPage() = default;

void DiscoverLightsLightPage::handleSelectedControllerChanged(DataSupply *ds)
{
    if (!ds)
        return;
    m_controller = ds;
    ui->m_foundTintoraLightsLabel->setText(LightDiscoveryRules::foundSummary(0, 0));
}

void DiscoverLightsLightPage::handleDiscoveredLights(const QList<Light *> &lights)
{
    if (lights.isEmpty() || !lights.first())
        return;
    m_lightCount += uint(lights.size());
    // A device may split a port's lights over several replies: a later list joins the earlier.
    m_lightsByPort[lights.first()->port()].append({lights.cbegin(), lights.cend()});
    if (m_controller) {
        ui->m_foundTintoraLightsLabel->setText(
            LightDiscoveryRules::foundSummary(int(m_lightCount), int(m_lightsByPort.size())));
        emit completeChanged();
    }
}

void DiscoverLightsLightPage::handleDiscoveryStarting()
{
    m_lightCount = 0;
    m_lightsByPort.clear();
    showCountNotice(QString());
}

void DiscoverLightsLightPage::showCountNotice(const QString &text)
{
    ui->m_unsettledLabel->setText(text);
    ui->m_unsettledLabel->setVisible(!text.isEmpty());
}

bool DiscoverLightsLightPage::validatePage()
{
    if (m_lightCount < 1)
        return true;
    for (auto it = m_lightsByPort.cbegin(); it != m_lightsByPort.cend(); ++it) {
        QList<Light *> lights;
        for (const QPointer<Light> &light : it.value()) {
            if (light)
                lights.append(light);
        }
        if (lights.isEmpty())
            continue;
        if (!m_controller) {
            UserPrompt::instance()->message(this, QMessageBox::Critical, tr("Error"),
                                            tr("Unable to find selected controller in map."));
            return false;
        }
        CreateStringDialog dialog(m_map, wizard());
        dialog.setDiscoveredLights(lights);
        dialog.setController(m_controller->uid());
        dialog.setBaseDmxAddress(int(m_controller->dmxAddress()));
        dialog.setTitle(tr("Found %1 lights on port %2").arg(lights.size()).arg(it.key() + 1));
        // A cancelled dialog leaves this port's lights out; the next port follows.
        dialog.exec();
    }
    m_lightsByPort.clear();
    return true;
}
