#include "discoverinterfaceswizard.h"
#include "ui_discoverinterfaceswizard.h"

#include "interfacelistentry.h"

#include "model/datasupply.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"

namespace {
constexpr int OrvexIpType = 2;
}

DiscoverInterfacesWizard::DiscoverInterfacesWizard(MapModel *map, EffectEngine *effectEngine,
                                                   QWidget *parent)
    : QWizard(parent), m_engine(new DiscoveryEngine(map, effectEngine)), m_map(map)
{
    ui = std::make_unique<Ui::DiscoverInterfaces>();
    ui->setupUi(this);
    ui->page0->setFinalPage(true);
    ui->m_interfaceLimitLabel->setText(
        interfaceLimitText(DiscoveryEngine::MaxInterfacesPerDiscovery));
    ui->m_interfaceLimitLabel->hide();
    ui->m_contestedLabel->hide();
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWizardStyle(QWizard::ModernStyle);

    connect(m_engine, &DiscoveryEngine::discoveredController, this,
            &DiscoverInterfacesWizard::handleDiscoveredController);
    connect(m_engine, &DiscoveryEngine::discoveredPorts, this,
            &DiscoverInterfacesWizard::handleDiscoveredPorts);
    connect(m_engine, &DiscoveryEngine::interfaceLimitReached, this,
            &DiscoverInterfacesWizard::handleInterfaceLimitReached);
    connect(ui->m_refreshButton, &QPushButton::clicked, this,
            &DiscoverInterfacesWizard::refreshButtonClicked);
    connect(ui->m_addButton, &QPushButton::clicked, this,
            &DiscoverInterfacesWizard::addButtonClicked);
    connect(ui->m_discoverListBox, &QListWidget::itemSelectionChanged, this,
            &DiscoverInterfacesWizard::handleDiscoverSelectionChanged);
    connect(ui->m_discoverListBox, &QListWidget::itemDoubleClicked, this,
            &DiscoverInterfacesWizard::handleDiscoverDoubleClicked);
    connect(ui->m_addListBox, &QListWidget::itemDoubleClicked, this,
            &DiscoverInterfacesWizard::handleAddDoubleClicked);
    connect(ui->m_removeButton, &QPushButton::clicked, this,
            &DiscoverInterfacesWizard::removeButtonClicked);
    connect(this, &QWizard::finished, this, &DiscoverInterfacesWizard::finishButtonClicked);

    m_engine->discoverControllers();
}

DiscoverInterfacesWizard::~DiscoverInterfacesWizard()
{
    delete m_engine;
}

void DiscoverInterfacesWizard::refreshButtonClicked()
{
    m_engine->discoverControllers();
}

void DiscoverInterfacesWizard::handleDiscoveredController(DataSupply *ds)
{
    if (!ds)
        return;
    const quint64 uid = ds->uid();
    // What is not listed is not asked for its ports either: its answer would name a listed uid.
    if (ds->type() == OrvexIpType && !list(uid, ds))
        return;
    m_engine->discoverPorts(ds);
}

bool DiscoverInterfacesWizard::list(quint64 uid, DataSupply *ds)
{
    if (m_rows.contains(uid)) {
        // Only the address listed may answer for it again: a host elsewhere that names a listed
        // serial number would otherwise join the map in its place and receive its frames. Which
        // of them is genuine cannot be told, so the row names every address that answered.
        const QPointer<DataSupply> earlier = m_discovered.value(uid);
        if (earlier && earlier->ipAddress() != ds->ipAddress()) {
            noteClaimant(uid, ds->ipAddress());
            if (QListWidgetItem *row = ui->m_discoverListBox->item(m_rows.value(uid)))
                showRow(row, uid, earlier);
            return false;
        }
        adopt(uid, ds);
        return true;
    }
    // Queries add up: without a bound of their own, every Refresh under a flood of forged
    // replies would add as many rows again.
    if (m_rows.size() >= DiscoveryEngine::MaxInterfacesPerDiscovery) {
        handleInterfaceLimitReached();
        return false;
    }
    ui->m_discoverListBox->addItem(interfaceEntryText(uid, ds->name()));
    noteClaimant(uid, ds->ipAddress());
    m_discovered.insert(uid, ds);
    m_rows.insert(uid, ui->m_discoverListBox->count() - 1);
    return true;
}

void DiscoverInterfacesWizard::handleInterfaceLimitReached()
{
    ui->m_interfaceLimitLabel->show();
}

void DiscoverInterfacesWizard::adopt(quint64 uid, DataSupply *ds)
{
    const QPointer<DataSupply> earlier = m_discovered.value(uid);
    if (earlier == ds)
        return;
    if (earlier && m_portCounts.contains(uid))
        ds->copyPortsFrom(*earlier);
    else
        m_portCounts.remove(uid);
    m_discovered.insert(uid, ds);
    if (QListWidgetItem *row = ui->m_discoverListBox->item(m_rows.value(uid, -1)))
        showRow(row, uid, ds);
    if (!m_chosen.contains(uid))
        return;
    m_chosen.insert(uid, ds);
    for (int i = 0; i < ui->m_addListBox->count(); ++i) {
        if (uidOfEntry(ui->m_addListBox->item(i)->text()) == uid)
            ui->m_addListBox->item(i)->setText(interfaceEntryText(uid, ds->name()));
    }
}

void DiscoverInterfacesWizard::noteClaimant(quint64 uid, const QString &address)
{
    QStringList &addresses = m_claimants[uid];
    if (addresses.contains(address))
        return;
    addresses.append(address);
    if (addresses.size() > 1)
        showContested();
}

bool DiscoverInterfacesWizard::isContested(quint64 uid) const
{
    return m_claimants.value(uid).size() > 1;
}

void DiscoverInterfacesWizard::showContested()
{
    // Under the lists, across the page: a row's own text is cut off where the list ends.
    QStringList lines;
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        if (!isContested(it.key()))
            continue;
        lines << contestedSerialText(it.key(), m_claimants.value(it.key()));
        markUnaddable(ui->m_discoverListBox->item(it.value()), lines.last());
    }
    ui->m_contestedLabel->setText(lines.join(QLatin1Char('\n')));
    ui->m_contestedLabel->setVisible(!lines.isEmpty());
}

void DiscoverInterfacesWizard::markUnaddable(QListWidgetItem *row, const QString &reason)
{
    if (!row)
        return;
    // Greyed out, it can be neither selected nor added, and says why where it stands.
    row->setSelected(false);
    row->setFlags(row->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    row->setToolTip(reason);
    // A screen reader hears the same without a hover, and that the row cannot be chosen.
    row->setData(Qt::AccessibleDescriptionRole, reason);
    row->setData(Qt::AccessibleTextRole, unavailableRowText(row->text()));
    // Nor does the list start on it when it takes the focus.
    if (row->listWidget()->currentItem() == row)
        row->listWidget()->selectionModel()->setCurrentIndex(QModelIndex(),
                                                             QItemSelectionModel::NoUpdate);
}

void DiscoverInterfacesWizard::showRow(QListWidgetItem *row, quint64 uid, const DataSupply *ds)
{
    row->setText(rowText(uid, ds));
    if (isContested(uid))
        row->setData(Qt::AccessibleTextRole, unavailableRowText(row->text()));
}

QString DiscoverInterfacesWizard::rowText(quint64 uid, const DataSupply *ds) const
{
    const auto count = m_portCounts.constFind(uid);
    return (count == m_portCounts.cend() ? interfaceEntryText(uid, ds->name())
                                         : interfaceEntryText(uid, ds->name(), *count)) +
           claimedByText(m_claimants.value(uid));
}

void DiscoverInterfacesWizard::handleDiscoveredPorts(quint64 uid, unsigned int portCount)
{
    DataSupply *ds = m_discovered.value(uid);
    QListWidgetItem *row = ui->m_discoverListBox->item(m_rows.value(uid, -1));
    // An answer for an object the list has left behind (same address, earlier query) tells
    // nothing about the one it holds; another host with the uid was never asked.
    const DataSupply *latest = m_engine->controllerForUid(uid);
    if (!ds || !row || (latest != ds && latest && latest->ipAddress() == ds->ipAddress()))
        return;
    m_portCounts.insert(uid, portCount);
    showRow(row, uid, ds);
}

void DiscoverInterfacesWizard::handleDiscoverSelectionChanged()
{
    for (int i = 0; i < ui->m_discoverListBox->count(); ++i) {
        QListWidgetItem *row = ui->m_discoverListBox->item(i);
        DataSupply *ds = m_discovered.value(uidOfEntry(row->text()));
        if (!ds)
            continue;
        if (row->isSelected())
            ds->lightsOn();
        else
            ds->lightsOff();
    }
}

void DiscoverInterfacesWizard::addButtonClicked()
{
    const QList<QListWidgetItem *> rows = ui->m_discoverListBox->selectedItems();
    for (QListWidgetItem *row : rows) {
        const quint64 uid = uidOfEntry(row->text());
        DataSupply *ds = m_discovered.value(uid);
        // The line under the lists says why a contested one stays out.
        if (!ds || m_chosen.contains(uid) || isContested(uid))
            continue;
        m_chosen.insert(uid, ds);
        ui->m_addListBox->addItem(interfaceEntryText(uid, ds->name()));
    }
}

void DiscoverInterfacesWizard::handleDiscoverDoubleClicked()
{
    addButtonClicked();
}

void DiscoverInterfacesWizard::removeButtonClicked()
{
    const QList<QListWidgetItem *> rows = ui->m_addListBox->selectedItems();
    for (QListWidgetItem *row : rows) {
        m_chosen.remove(uidOfEntry(row->text()));
        delete row;
    }
}

void DiscoverInterfacesWizard::handleAddDoubleClicked()
{
    removeButtonClicked();
}

void DiscoverInterfacesWizard::finishButtonClicked()
{
    // In the add list's order, so the interfaces reach the map as the user lined them up.
    for (int i = 0; i < ui->m_addListBox->count(); ++i) {
        const quint64 uid = uidOfEntry(ui->m_addListBox->item(i)->text());
        DataSupply *ds = m_chosen.value(uid);
        if (!ds)
            continue;
        // A uid the map already holds is refused, and one that another address answered with
        // after it was added stays out; either is switched off all the same.
        if (!isContested(uid))
            m_map->addDataSupply(ds);
        ds->lightsOff();
    }
    m_chosen.clear();
    ui->m_addListBox->clear();
}
