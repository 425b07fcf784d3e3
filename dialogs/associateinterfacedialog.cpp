#include "associateinterfacedialog.h"
#include "ui_associateinterfacedialog.h"

#include "interfacelistentry.h"

#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"

#include <QSettings>

namespace {
constexpr int OrvexIpType = 2;
}

AssociateInterfaceDialog::AssociateInterfaceDialog(MapModel *map, EffectEngine *effectEngine,
                                                   DataSupply *interface, QWidget *parent)
    : QDialog(parent), m_map(map), m_selected(interface),
      m_engine(new DiscoveryEngine(map, effectEngine))
{
    ui = std::make_unique<Ui::AssociateInterfaceDialog>();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (interface)
        ui->m_originalNameLabel->setText(interface->name());
    ui->m_showAssociatedInterfaces->setChecked(
        QSettings().value(ShowAssociatedKey, false).toBool());

    connect(m_engine, &DiscoveryEngine::discoveredController, this,
            &AssociateInterfaceDialog::handleDiscoveredController);
    connect(m_engine, &DiscoveryEngine::discoveredPorts, this,
            &AssociateInterfaceDialog::handleDiscoveredPorts);
    connect(ui->buttonOk, &QPushButton::clicked, this, &AssociateInterfaceDialog::okButtonClicked);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->m_refreshButton, &QPushButton::clicked, this,
            &AssociateInterfaceDialog::refreshButtonClicked);
    connect(ui->m_discoverListBox, &QListWidget::itemSelectionChanged, this,
            &AssociateInterfaceDialog::handleDiscoverSelectionChanged);
}

AssociateInterfaceDialog::~AssociateInterfaceDialog()
{
    delete m_engine;
}

void AssociateInterfaceDialog::refreshButtonClicked()
{
    m_engine->discoverControllers();
}

void AssociateInterfaceDialog::handleDiscoveredController(DataSupply *ds)
{
    if (!ds)
        return;
    const quint64 uid = ds->uid();
    if (m_map->dataSupply(uid) && !ui->m_showAssociatedInterfaces->isChecked())
        return;
    // The selected interface itself is never offered: its lights would move onto the
    // interface that association then deletes.
    if (m_selected && uid == m_selected->uid())
        return;
    if (ds->type() == OrvexIpType && !m_found.contains(uid)) {
        ui->m_discoverListBox->addItem(interfaceEntryText(uid, ds->name()));
        m_found.insert(uid, ds);
        m_rows.insert(uid, ui->m_discoverListBox->count() - 1);
        if (ds->protocolVersion() == 1)
            m_engine->discoverLights(ds);
    }
    m_engine->discoverPorts(ds);
}

void AssociateInterfaceDialog::handleDiscoveredPorts(quint64 uid, unsigned int portCount)
{
    DataSupply *ds = m_found.value(uid);
    QListWidgetItem *row = ui->m_discoverListBox->item(m_rows.value(uid, -1));
    if (ds && row)
        row->setText(interfaceEntryText(uid, ds->name(), portCount));
}

void AssociateInterfaceDialog::handleDiscoverSelectionChanged()
{
    ui->buttonOk->setEnabled(true);
    QString chosenName;
    for (int i = 0; i < ui->m_discoverListBox->count(); ++i) {
        QListWidgetItem *row = ui->m_discoverListBox->item(i);
        DataSupply *ds = m_found.value(uidOfEntry(row->text()));
        if (!ds)
            continue;
        if (row->isSelected()) {
            ds->lightsOn();
            chosenName = ds->name();
        } else {
            ds->lightsOff();
        }
    }
    ui->m_newNameLabel->setText(chosenName);
}

// The interface the lights go to: the map's own when it holds that uid (a merge), else the
// found one, which joins the map here. Null when neither exists any more.
DataSupply *AssociateInterfaceDialog::takeTarget(quint64 uid)
{
    if (DataSupply *own = m_map->dataSupply(uid))
        return own;
    DataSupply *found = m_found.value(uid);
    if (!found)
        return nullptr;
    if (ui->m_originalNameRadioButton->isChecked())
        found->setName(m_selected->name());
    return m_map->addDataSupply(found) ? found : nullptr;
}

void AssociateInterfaceDialog::moveLights(DataSupply *target)
{
    const quint64 targetUid = target->uid();
    const QList<quint64> lights = m_selected->lights();
    for (quint64 lightUid : lights) {
        Light *light = m_map->light(lightUid);
        if (!light)
            continue;
        m_selected->removeLight(lightUid);
        target->addLight(lightUid);
        emit lightMoved(lightUid, targetUid);
        light->setDataSupplyUid(targetUid);
        target->setDMXBufSize(int(light->lastChannel()) + 1);
    }
}

void AssociateInterfaceDialog::okButtonClicked()
{
    const QList<QListWidgetItem *> rows = ui->m_discoverListBox->selectedItems();
    if (rows.isEmpty())
        return;
    QSettings().setValue(ShowAssociatedKey, ui->m_showAssociatedInterfaces->isChecked());
    const quint64 uid = uidOfEntry(rows.first()->text());
    if (!m_selected || uid == m_selected->uid())
        return;
    DataSupply *target = takeTarget(uid);
    if (!target)
        return;
    moveLights(target);
    const quint64 oldUid = m_selected->uid();
    m_map->deleteDataSupply(oldUid, false);
    emit interfaceRemoved(oldUid);
    accept();
}
