#include "discoverlightsdiscoverpage.h"
#include "ui_discoverlightsdiscoverpage.h"

#include "model/datasupply.h"

DiscoverLightsDiscoverPage::DiscoverLightsDiscoverPage(QWidget *parent)
    : QWizardPage(parent), ui(std::make_unique<Ui::DiscoverLightsDiscoverPage>())
{
    ui->setupUi(this);
    connect(ui->m_discoverButton, &QPushButton::clicked, this,
            &DiscoverLightsDiscoverPage::startDiscovery);
}

DiscoverLightsDiscoverPage::~DiscoverLightsDiscoverPage() = default;

void DiscoverLightsDiscoverPage::initializePage()
{
    // Entering the page scans at once, unless a scan is still running.
    if (!ui->m_controllerNameLabel->text().isEmpty() && ui->m_discoverButton->isEnabled())
        emit startDiscovery();
}

bool DiscoverLightsDiscoverPage::validatePage()
{
    emit startRead();
    return true;
}

int DiscoverLightsDiscoverPage::lightCount() const
{
    return ui->m_lightCountLabel->text().toInt();
}

void DiscoverLightsDiscoverPage::handleDiscoveryStarting()
{
    m_complete = false;
    ui->m_discoverButton->setEnabled(false);
    ui->m_lightCountLabel->setText(QStringLiteral("0"));
    showCountStatus(QString());
    emit completeChanged();
}

void DiscoverLightsDiscoverPage::handleDiscoveryComplete()
{
    m_complete = true;
    ui->m_discoverButton->setEnabled(true);
    emit completeChanged();
}

void DiscoverLightsDiscoverPage::handleSelectedControllerChanged(DataSupply *ds)
{
    if (ds)
        ui->m_controllerNameLabel->setText(ds->name());
}

void DiscoverLightsDiscoverPage::showCountStatus(const QString &text)
{
    ui->m_countStatusLabel->setText(text);
    ui->m_countStatusLabel->setVisible(!text.isEmpty());
}

void DiscoverLightsDiscoverPage::handleDiscoveredLight(Light *light)
{
    if (light)
        addToCount(1);
}

void DiscoverLightsDiscoverPage::handleDiscoveredLights(const QList<Light *> &lights)
{
    addToCount(int(lights.size()));
}

void DiscoverLightsDiscoverPage::handleRemoveLight(Light *light)
{
    if (light)
        addToCount(-1);
}

void DiscoverLightsDiscoverPage::addToCount(int n)
{
    ui->m_lightCountLabel->setText(QString::number(lightCount() + n));
    emit completeChanged();
}
