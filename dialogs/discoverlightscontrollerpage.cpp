#include "discoverlightscontrollerpage.h"
#include "ui_discoverlightscontrollerpage.h"

#include "interfacelistentry.h"

#include "model/datasupply.h"
#include "model/mapmodel.h"

#include <QWizard>

DiscoverLightsControllerPage::DiscoverLightsControllerPage(MapModel *map, QWidget *parent)
    : QWizardPage(parent), ui(std::make_unique<Ui::DiscoverLightsControllerPage>()), m_map(map)
{
    ui->setupUi(this);
    const QHash<quint64, DataSupply *> supplies = m_map->dataSupplies();
    for (auto it = supplies.cbegin(); it != supplies.cend(); ++it)
        ui->m_interfaceListBox->addItem(interfaceEntryText(it.key(), it.value()->name()));
    connect(ui->m_interfaceListBox, &QListWidget::itemClicked, this,
            &DiscoverLightsControllerPage::handleControllerSelectionChanged);
    connect(ui->m_interfaceListBox, &QListWidget::itemDoubleClicked, this,
            &DiscoverLightsControllerPage::handleControllerDoubleClicked);
}

DiscoverLightsControllerPage::~DiscoverLightsControllerPage() = default;

bool DiscoverLightsControllerPage::isComplete() const
{
    return m_chosenUid != NoneChosen;
}

void DiscoverLightsControllerPage::handleControllerSelectionChanged(QListWidgetItem *item)
{
    if (!item)
        return;
    m_chosenUid = uidOfEntry(item->text());
    if (DataSupply *ds = m_map->dataSupply(m_chosenUid)) {
        emit controllerSelectionChanged(ds);
        emit completeChanged();
    }
}

void DiscoverLightsControllerPage::handleControllerDoubleClicked(QListWidgetItem *item)
{
    handleControllerSelectionChanged(item);
    if (wizard())
        wizard()->next();
}
