#include "editlightsdialog.h"
#include "ui_editlightsdialog.h"

#include "editlightscommand.h"
#include "editlightsstate.h"
#include "userprompt.h"

#include "devices/devicedictionary.h"
#include "devices/devicetype.h"
#include "devices/propertymapper.h"
#include "model/identifiers.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QComboBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QUndoStack>

#include <algorithm>

namespace {
const QString DeviceInfo = QStringLiteral("Device Info");
const QString GenericFixture = QStringLiteral("Generic 3-Ch");
constexpr int RowHeight = 60;
} // namespace

QStringList editableFixtureTypes()
{
    DeviceDictionary *dictionary = DeviceDictionary::instance();
    QStringList names;
    for (int type : {int(DeviceType::FIXTURE), int(DeviceType::ETHERNET_FIXTURE),
                     int(DeviceType::RDM_FIXTURE)})
        for (quint64 serial : dictionary->deviceNamesOfType(type))
            names << dictionary->deviceName(serial);
    names << dictionary->deviceNamesOfTypeByProductCode(DeviceType::XMX_DEVICE, true);
    for (const QString &name :
         dictionary->deviceNamesOfTypeByProductCode(DeviceType::RDM_FIXTURE, false))
        if (!names.contains(name))
            names << name;
    std::sort(names.begin(), names.end());
    return names;
}

QString serialTextForFixtureType(const QString &typeText, const QString &current)
{
    const QString unit = current.right(4);
    if (typeText.size() == 8 && !unit.isEmpty())
        return typeText.left(4) + unit;
    if (typeText.size() == 13 && !unit.isEmpty())
        return typeText.left(4) + QLatin1Char(':') + typeText.mid(5, 4) + unit;
    return typeText;
}

EditLightsDialog::EditLightsDialog(MapModel *map, const QList<Light *> &lights, QWidget *parent)
    : QDialog(parent), m_map(map), m_mapper(PropertyMapper::instance()),
      m_dictionary(DeviceDictionary::instance()), m_table(map)
{
    ui = std::make_unique<Ui::EditLights>();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QTableWidget *table = ui->m_propertyTable;
    table->setColumnCount(3);
    table->sortByColumn(0, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    m_lights = QSet<Light *>(lights.cbegin(), lights.cend());
    m_selection = m_lights;
    m_singleSelection = m_lights.size() == 1;
    m_singleLight = m_singleSelection;
    ui->m_devices->header()->setSortIndicatorShown(true);
    ui->m_devices->setVisible(!m_singleLight);
    ui->m_devices->setLights(m_lights, m_map);
    buildMenus();
    setWindowTitle(m_lights.size() > 1 ? tr("Lights Editor") : tr("Light Editor"));
    m_pending.reserve(m_lights.size());
    for (Light *light : lights)
        if (!m_pending.contains(light->uid()))
            m_pending.insert(light->uid(), new EditLightsState(light));
    ui->m_fixtureTypeComboBox->addItems(editableFixtureTypes());
    updateLightFields();
    connectFields();
    updateButtons();
    adjustSize();
}

EditLightsDialog::~EditLightsDialog()
{
    // The commands borrow the pending states: they go first.
    delete m_undoStack;
    qDeleteAll(m_pending);
}

void EditLightsDialog::buildMenus()
{
    m_undoStack = new QUndoStack(this);
    auto *bar = new QMenuBar(this);
    layout()->setMenuBar(bar);
    QMenu *file = bar->addMenu(tr("&File"));
    m_closeAction = file->addAction(tr("&Close"));
    m_closeAction->setShortcut(QKeySequence::Close);
    connect(m_closeAction, &QAction::triggered, this, &EditLightsDialog::handleCancel);
    QMenu *edit = bar->addMenu(tr("&Edit"));
    m_undoAction = m_undoStack->createUndoAction(this, tr("&Undo"));
    m_undoAction->setShortcut(QKeySequence::Undo);
    m_redoAction = m_undoStack->createRedoAction(this, tr("&Redo"));
    m_redoAction->setShortcut(QKeySequence::Redo);
    edit->addAction(m_undoAction);
    edit->addAction(m_redoAction);
    connect(m_undoAction, &QAction::triggered, this, &EditLightsDialog::handleActionItemTriggered);
    connect(m_redoAction, &QAction::triggered, this, &EditLightsDialog::handleActionItemTriggered);
}

void EditLightsDialog::connectFields()
{
    connect(this, &EditLightsDialog::deviceTypeChanged, this,
            &EditLightsDialog::handleRefreshDevices);
    connect(ui->m_devices, &DeviceView::lightSelectionChanged, this,
            &EditLightsDialog::handleLightSelectionChanged);
    connect(ui->m_lightName, &QLineEdit::textChanged, this,
            &EditLightsDialog::handleLightValuesChanged);
    connect(ui->m_serialNumber, &QLineEdit::textChanged, this,
            &EditLightsDialog::handleLightValuesChanged);
    connect(ui->m_portSpinBox, &QSpinBox::valueChanged, this,
            &EditLightsDialog::handleLightValuesChanged);
    connect(ui->m_dmxSpinBox, &QSpinBox::valueChanged, this,
            &EditLightsDialog::handleLightValuesChanged);
    connect(ui->m_fixtureTypeComboBox, &QComboBox::currentIndexChanged, this,
            &EditLightsDialog::handleFixtureTypeChanged);
    connect(ui->m_resetButton, &QPushButton::clicked, this, &EditLightsDialog::handleReset);
    connect(ui->m_applyButton, &QPushButton::clicked, this, &EditLightsDialog::handleApply);
    connect(ui->m_okButton, &QPushButton::clicked, this, &EditLightsDialog::handleOkButtonClicked);
    connect(ui->m_cancelButton, &QPushButton::clicked, this, &EditLightsDialog::handleCancel);
    if (m_map)
        connect(m_map, &MapModel::deletedLight, this, &EditLightsDialog::handleDeletedLight);
}

void EditLightsDialog::setLightProperty(Light *light, const QString &token, int value)
{
    LightPropertyTable::writeValue(light, token, value);
}

Light *EditLightsDialog::singleLight() const
{
    return m_singleSelection && m_selection.size() == 1 ? *m_selection.cbegin() : nullptr;
}

void EditLightsDialog::setSingleFieldsVisible(bool visible)
{
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->m_lightName, ui->m_lightUid, ui->m_fixtureTypeComboBox, ui->m_serialNumber,
             ui->m_portSpinBox, ui->m_dmxSpinBox, ui->m_lightNameLabel, ui->m_lightUidLabel,
             ui->m_fixtureTypeLabel, ui->m_serialNumberLabel, ui->m_portLabel, ui->m_dmxLabel})
        w->setVisible(visible);
}

void EditLightsDialog::selectFixtureType(quint64 serial, const QString &deviceInfo)
{
    const QSignalBlocker serialBlocker(ui->m_serialNumber);
    const QSignalBlocker typeBlocker(ui->m_fixtureTypeComboBox);
    ui->m_serialNumber->setText(uidToColonString(serial));
    QComboBox *types = ui->m_fixtureTypeComboBox;
    int index = types->findText(m_dictionary->deviceName(serial, deviceInfo));
    if (index < 0)
        index = types->findText(GenericFixture);
    types->setCurrentIndex(index);
}

void EditLightsDialog::updateLightFields()
{
    if (Light *light = singleLight()) {
        const EditLightsState *state = m_pending.value(light->uid());
        const QSignalBlocker nameBlocker(ui->m_lightName);
        const QSignalBlocker portBlocker(ui->m_portSpinBox);
        const QSignalBlocker dmxBlocker(ui->m_dmxSpinBox);
        ui->m_lightName->setText(state->name);
        ui->m_lightUid->setText(QString::number(state->uid, 16).toUpper());
        ui->m_portSpinBox->setValue(int(state->port) + 1);
        ui->m_dmxSpinBox->setValue(state->dmxChannel + 1);
        selectFixtureType(state->serialNumber, state->deviceInfo);
    }
    setSingleFieldsVisible(m_singleSelection);
    rebuildTable();
}

void EditLightsDialog::rebuildTable()
{
    QTableWidget *table = ui->m_propertyTable;
    table->clearContents();
    table->setSortingEnabled(false);
    const QList<Light *> selection(m_selection.cbegin(), m_selection.cend());
    QStringList shown = m_table.refresh(selection);
    if (shown.isEmpty()) {
        table->setRowCount(0);
        table->hide();
        return;
    }
    // In the order the table sorts them, so that no row moves under its list.
    std::sort(shown.begin(), shown.end(), [this](const QString &a, const QString &b) {
        return m_mapper->stringName(a) < m_mapper->stringName(b);
    });
    table->setRowCount(int(shown.size()));
    for (int i = 0; i < shown.size(); ++i) {
        const LightPropertyTable::Row row = m_table.row(shown.at(i), selection, m_pending);
        auto *name = new QTableWidgetItem(row.displayName);
        name->setData(Qt::UserRole, row.token);
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        auto *current = new QTableWidgetItem(row.currentText);
        current->setFlags(current->flags() & ~Qt::ItemIsEditable);
        table->setItem(i, 0, name);
        table->setItem(i, 1, current);
        auto *list = new QComboBox;
        for (const LightPropertyTable::Entry &entry : row.entries)
            list->addItem(entry.text, entry.data);
        list->setCurrentIndex(row.currentIndex);
        list->setProperty("token", row.token);
        list->setEnabled(row.enabled);
        connect(list, &QComboBox::currentIndexChanged, this,
                &EditLightsDialog::handlePropertyValuesChanged);
        table->setCellWidget(i, 2, list);
    }
    table->show();
    table->setMaximumHeight(RowHeight * table->rowCount());
    if (m_singleLight)
        adjustSize();
    table->setHorizontalHeaderLabels(LightPropertyTable::headerLabels());
    table->setSortingEnabled(true);
}

void EditLightsDialog::setPropertyComboState()
{
    QTableWidget *table = ui->m_propertyTable;
    for (int i = 0; i < table->rowCount(); ++i) {
        auto *list = qobject_cast<QComboBox *>(table->cellWidget(i, 2));
        if (!list)
            continue;
        const QSignalBlocker blocker(list);
        const int various = list->findText(LightPropertyTable::variousText());
        if (various >= 0)
            list->removeItem(various);
        if (list->findText(LightPropertyTable::noChangeText()) < 0)
            list->insertItem(0, LightPropertyTable::noChangeText());
        list->setCurrentIndex(0);
    }
}

bool EditLightsDialog::applyCheck() const
{
    const Light *light = singleLight();
    if (!light)
        return true;
    const EditLightsState *state = m_pending.value(light->uid());
    const quint64 serial = uidFromString(ui->m_serialNumber->text());
    return state && m_dictionary->isKnownDevice(serial, state->deviceInfo) &&
           !ui->m_lightName->text().isEmpty();
}

void EditLightsDialog::updateButtons()
{
    const bool apply = !m_modified.isEmpty() && applyCheck();
    ui->m_applyButton->setEnabled(apply);
    ui->m_okButton->setEnabled(apply);
    ui->m_resetButton->setEnabled(!m_modified.isEmpty());
}

void EditLightsDialog::pushEdit(const QSet<Light *> &lights,
                                const QHash<quint64, EditLightsState *> &after)
{
    QHash<quint64, EditLightsState *> before;
    before.reserve(after.size());
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        before.insert(it.key(), new EditLightsState(*m_pending.value(it.key())));
    m_undoStack->push(new EditLightsCommand(EditLightsCommand::Edit, lights, ui->m_devices,
                                            &m_modified, m_pending, before, after));
}

void EditLightsDialog::handleLightSelectionChanged()
{
    m_selection = ui->m_devices->selectedLights();
    m_singleSelection = ui->m_devices->hasSingleSelection();
    if (m_selection.isEmpty()) {
        setSingleFieldsVisible(false);
        ui->m_propertyTable->setRowCount(0);
        ui->m_propertyTable->hide();
    } else {
        updateLightFields();
    }
    updateButtons();
}

void EditLightsDialog::handleLightValuesChanged()
{
    Light *light = singleLight();
    if (!light)
        return;
    const EditLightsState *pending = m_pending.value(light->uid());
    auto *state = new EditLightsState;
    state->uid = light->uid();
    state->dmxChannel = ui->m_dmxSpinBox->value() - 1;
    state->port = quint32(ui->m_portSpinBox->value() - 1);
    state->name = ui->m_lightName->text();
    state->modelName = ui->m_fixtureTypeComboBox->currentText();
    // A model chosen earlier in this dialog brought its own Device Info; it stays until the
    // model changes again.
    state->deviceInfo = pending->deviceInfo;
    // A serial the catalogue does not know leaves the pending one; Apply waits meanwhile.
    state->serialNumber = pending->serialNumber;
    const quint64 serial = uidFromString(ui->m_serialNumber->text());
    if (m_dictionary->isKnownSerial(serial)) {
        state->serialNumber = serial;
        if (!m_dictionary->serialMatchesName(serial, state->modelName)) {
            const QString name = m_dictionary->deviceNames(serial);
            const int index = ui->m_fixtureTypeComboBox->findText(name);
            if (index >= 0) {
                const QSignalBlocker blocker(ui->m_fixtureTypeComboBox);
                ui->m_fixtureTypeComboBox->setCurrentIndex(index);
            }
            state->modelName = name;
        }
    }
    if (state->modelName != pending->modelName)
        state->deviceInfo = m_dictionary->productCodeForName(state->modelName);
    // A type whose serials lie only in a product-code range is known by its product code.
    if (state->serialNumber != serial && m_dictionary->isKnownDevice(serial, state->deviceInfo))
        state->serialNumber = serial;
    pushEdit({light}, {{light->uid(), state}});
    updateButtons();
}

void EditLightsDialog::handleFixtureTypeChanged(int index)
{
    if (!singleLight())
        return;
    const QString name = ui->m_fixtureTypeComboBox->itemText(index);
    const QString typeText = uidToColonString(m_dictionary->firstSerialForName(name));
    {
        const QSignalBlocker blocker(ui->m_serialNumber);
        ui->m_serialNumber->setText(serialTextForFixtureType(typeText, ui->m_serialNumber->text()));
    }
    handleLightValuesChanged();
}

void EditLightsDialog::handleReset()
{
    if (Light *light = singleLight()) {
        const QSignalBlocker nameBlocker(ui->m_lightName);
        const QSignalBlocker portBlocker(ui->m_portSpinBox);
        const QSignalBlocker dmxBlocker(ui->m_dmxSpinBox);
        selectFixtureType(light->serialNumber(), light->property(DeviceInfo));
        ui->m_dmxSpinBox->setValue(light->dmxChannel() + 1);
        ui->m_portSpinBox->setValue(light->port() + 1);
        ui->m_lightName->setText(light->name());
    }
    setPropertyComboState();
    QHash<quint64, EditLightsState *> after;
    for (Light *light : std::as_const(m_modified)) {
        auto *state = new EditLightsState(light);
        m_table.fillCurrentValues(light, *state);
        after.insert(light->uid(), state);
    }
    pushEdit(m_modified, after);
    m_modified.clear();
    updateButtons();
}

void EditLightsDialog::handleApply()
{
    QHash<quint64, EditLightsState *> before;
    QHash<quint64, EditLightsState *> after;
    QList<Light *> changing;
    for (Light *light : std::as_const(m_modified)) {
        const EditLightsState *pending = m_pending.value(light->uid());
        if (!pending)
            continue;
        auto *b = new EditLightsState(light);
        m_table.fillCurrentValues(light, *b);
        auto *a = new EditLightsState(*pending);
        if (pending->serialNumber != light->serialNumber()) {
            m_table.prepareDeviceChange(light, *b, *a);
            changing << light;
        }
        before.insert(light->uid(), b);
        after.insert(light->uid(), a);
    }
    if (!changing.isEmpty()) {
        const auto answer = UserPrompt::instance()->question(
            this, QMessageBox::Warning, tr("Warning"),
            tr("Properties for devices with given serial number might be different. Would you "
               "like to proceed?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            qDeleteAll(before);
            qDeleteAll(after);
            return;
        }
    }
    for (Light *light : std::as_const(changing))
        light->resetModeProperties();
    m_undoStack->push(new EditLightsCommand(EditLightsCommand::Apply, m_modified, ui->m_devices,
                                            &m_modified, m_pending, before, after));
    updateLightFields();
    updateButtons();
}

void EditLightsDialog::handleOkButtonClicked()
{
    if (!m_modified.isEmpty())
        handleApply();
    reject();
}

void EditLightsDialog::handleCancel()
{
    reject();
}

void EditLightsDialog::reject()
{
    if (!m_modified.isEmpty()) {
        const auto answer = UserPrompt::instance()->question(
            this, QMessageBox::Question, tr("Dallowmere"),
            tr("Are you sure you want to exit without saving?") + QLatin1Char('\n'),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    QDialog::reject();
}

void EditLightsDialog::handleActionItemTriggered()
{
    updateLightFields();
    updateButtons();
}

void EditLightsDialog::handleRefreshDevices()
{
    rebuildTable();
}

void EditLightsDialog::handlePropertyValuesChanged()
{
    auto *list = qobject_cast<QComboBox *>(sender());
    if (!list)
        return;
    const QString token = list->property("token").toString();
    const QString choice = list->currentText();
    const bool neutral =
        choice == LightPropertyTable::noChangeText() || choice == LightPropertyTable::variousText();
    QHash<quint64, EditLightsState *> after;
    for (Light *light : std::as_const(m_selection)) {
        const EditLightsState *pending = m_pending.value(light->uid());
        if (!pending)
            continue;
        auto *state = new EditLightsState(*pending);
        state->setValue(token, neutral ? LightPropertyTable::currentValue(light, token)
                                       : qint32(m_mapper->toRawValue(token, choice)));
        after.insert(light->uid(), state);
    }
    pushEdit(m_selection, after);
    updateButtons();
}

void EditLightsDialog::handleDeletedLight(quint64 uid)
{
    // The light is gone: it leaves every set so that nothing touches it again. Its pending
    // state stays, since commands on the stack still refer to it.
    const qsizetype selected = m_selection.size();
    for (QSet<Light *> *set : {&m_lights, &m_selection, &m_modified}) {
        for (auto it = set->begin(); it != set->end();) {
            if ((*it)->uid() == uid)
                it = set->erase(it);
            else
                ++it;
        }
    }
    m_singleSelection = m_selection.size() == 1;
    if (m_selection.size() != selected)
        updateLightFields();
    updateButtons();
}
