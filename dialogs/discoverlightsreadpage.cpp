#include "discoverlightsreadpage.h"
#include "ui_discoverlightsreadpage.h"

#include "lightdiscoveryrules.h"
#include "stringlayout.h"
#include "userprompt.h"

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace {
constexpr Qt::WindowFlags ProgressFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
}

DiscoverLightsReadPage::DiscoverLightsReadPage(MapModel *map, QWidget *parent)
    : QWizardPage(parent), ui(std::make_unique<Ui::DiscoverLightsReadPage>()), m_map(map),
      m_grid(StringLayout::storedGrid())
{
    ui->setupUi(this);
    setFinalPage(true);
}

DiscoverLightsReadPage::~DiscoverLightsReadPage() = default;

void DiscoverLightsReadPage::handleSelectedControllerChanged(DataSupply *ds)
{
    if (ds)
        m_controller = ds;
}

void DiscoverLightsReadPage::handleDiscoveryStarting()
{
    m_lights.clear();
    showCountNotice(QString());
}

void DiscoverLightsReadPage::showCountNotice(const QString &text)
{
    ui->m_countNoticeLabel->setText(text);
    ui->m_countNoticeLabel->setVisible(!text.isEmpty());
}

void DiscoverLightsReadPage::handleDiscoveredLight(Light *light)
{
    if (light)
        m_lights.append(light);
}

void DiscoverLightsReadPage::handleRemoveLight(Light *light)
{
    const qsizetype at = m_lights.indexOf(light);
    if (at >= 0)
        m_lights.removeAt(at);
}

void DiscoverLightsReadPage::handleReadAddressesStarting()
{
    ui->m_uniqueLabel->clear();
    m_complete = false;
    emit completeChanged();
}

void DiscoverLightsReadPage::handleReadAddressesCompleted(bool unique, int unread, int total,
                                                          bool cutShort)
{
    ui->m_uniqueLabel->setText(LightDiscoveryRules::verdictText(unique, unread, total, cutShort));
    m_complete = true;
    emit completeChanged();
}

bool DiscoverLightsReadPage::validatePage()
{
    if (!m_controller) {
        UserPrompt::instance()->message(this, QMessageBox::Critical, tr("Error"),
                                        tr("Unable to find selected controller in map."));
        return false;
    }
    m_lights.removeAll(nullptr);
    QProgressDialog progress(tr("Setting Names and Positions..."), tr("Cancel"), 0,
                             int(m_lights.size()), this, ProgressFlags);
    progress.show();
    const QRect extent = m_map->lightsBoundingRect();
    const int x = extent.right() + 2 * m_grid;
    int y = extent.top() + 2 * m_grid;
    numberLights();
    int done = 0;
    for (const QPointer<Light> &light : std::as_const(m_lights)) {
        // Events run between lights, so one may have gone meanwhile.
        if (light)
            nameAndPlace(light, x, y);
        y += m_grid;
        progress.setValue(++done);
        QCoreApplication::processEvents();
    }
    progress.setValue(progress.maximum());
    progress.close();
    return true;
}

void DiscoverLightsReadPage::numberLights()
{
    QList<LightDiscoveryRules::Address> addresses;
    for (const QPointer<Light> &light : std::as_const(m_lights))
        addresses.append({light->port(), light->dmxChannel()});
    QList<QPointer<Light>> ordered;
    quint32 number = 0;
    for (const int i : LightDiscoveryRules::numberingOrder(addresses)) {
        m_lights.at(i)->setLightNumber(number++);
        ordered.append(m_lights.at(i));
    }
    m_lights = ordered;
}

void DiscoverLightsReadPage::nameAndPlace(Light *light, int x, int y)
{
    LightPose pose = light->pose();
    pose.x = x;
    pose.y = y;
    pose.z = 0;
    light->setPose(pose);
    const QString name = LightDiscoveryRules::lightName(m_controller->name(), light->modelName(),
                                                        light->port(), light->lightNumber());
    light->setName(name);
    if (Group *own = m_map->group(light->uid()))
        own->setName(name);
}
