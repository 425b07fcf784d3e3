#include "createstringdialog.h"
#include "ui_createstringdialog.h"

#include "creationsteps.h"
#include "stringlayout.h"

#include "devices/devicedictionary.h"
#include "devices/propertymapper.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/lightpose.h"
#include "model/mapmodel.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QProgressDialog>
#include <QSettings>

#include <algorithm>

namespace {
QString key(const char *name)
{
    return QStringLiteral("/CreateString/") + QLatin1String(name);
}
} // namespace

CreateStringDialog::CreateStringDialog(MapModel *map, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::CreateString>()), m_map(map)
{
    ui->setupUi(this);
    m_properties.attach(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    fillInterfaces();
    ui->m_dmxAutoSetValue->setText(QStringLiteral("1"));
    connectForm();
    setUpLayoutButtons();
    ui->m_numRowsSpinBox->setRange(1, 1000);
    ui->m_numColumnsSpinBox->setRange(1, 1000);
    m_layoutWidget = new StringLayoutWidget(ui->m_stringLayoutPlaceholder);
    auto *placeholderLayout = new QHBoxLayout(ui->m_stringLayoutPlaceholder);
    placeholderLayout->setContentsMargins(0, 0, 0, 0);
    placeholderLayout->addWidget(m_layoutWidget);
    connect(m_layoutWidget, &StringLayoutWidget::layoutChanged, this,
            &CreateStringDialog::handleStringLayoutChanged);
    ui->m_labelNote->hide();
    connect(ui->m_fixtureType, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CreateStringDialog::handleFixtureTypeChanged);
    connect(ui->m_vorleth, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CreateStringDialog::handleVorlethModeChanged);
    connect(ui->m_ledChemistry, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CreateStringDialog::handleLedChemistryChanged);
    m_properties.fill();
    readSettings();
}

CreateStringDialog::~CreateStringDialog() = default;

void CreateStringDialog::fillInterfaces()
{
    m_dataSupplies = CreationSteps::fillInterfaceList(m_map, ui->m_controllerComboBox);
    if (m_dataSupplies.isEmpty()) {
        ui->m_existingInterfaceRadioButton->setEnabled(false);
        ui->m_newInterfaceRadioButton->setChecked(true);
        ui->m_numPortsSpinBox->setEnabled(true);
    }
}

void CreateStringDialog::connectForm()
{
    connect(ui->buttonAddRight, &QPushButton::clicked, this,
            &CreateStringDialog::handleAddRightClicked);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->m_controllerComboBox, qOverload<int>(&QComboBox::activated), this,
            &CreateStringDialog::handleControllerChanged);
    connect(ui->m_existingInterfaceRadioButton, &QRadioButton::clicked, this,
            &CreateStringDialog::handleControllerChanged);
    connect(ui->m_newInterfaceRadioButton, &QRadioButton::clicked, this,
            &CreateStringDialog::handleControllerChanged);
    connect(ui->m_portNumberSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            &CreateStringDialog::handlePortNumberChanged);
    connect(ui->m_dmxAutoSetCheckBox, &QCheckBox::stateChanged, this,
            &CreateStringDialog::handleDmxAutoSetValueChanged);
    connect(ui->buttonAddBelow, &QPushButton::clicked, this,
            &CreateStringDialog::handleAddBelowClicked);
    connect(ui->m_numRowsSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            &CreateStringDialog::handleRowCountValueChanged);
    connect(ui->m_numColumnsSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            &CreateStringDialog::handleColumnCountValueChanged);
}

void CreateStringDialog::setUpLayoutButtons()
{
    const struct
    {
        QToolButton *button;
        const char *icon;
    } buttons[] = {{ui->m_horizontalButton, "Horizontal"},
                   {ui->m_verticalButton, "Vertical"},
                   {ui->m_backSlashButton, "BackSlash"},
                   {ui->m_fwdSlashButton, "ForwardSlash"},
                   {ui->m_tileButton, "Tile"}};
    m_layoutButtons = new QButtonGroup(this);
    m_layoutButtons->setExclusive(true);
    for (const auto &b : buttons) {
        b.button->setIcon(
            QIcon(QStringLiteral(":/images/icons/%1.jpg").arg(QLatin1String(b.icon))));
        m_layoutButtons->addButton(b.button);
    }
    connect(m_layoutButtons, &QButtonGroup::buttonClicked, this,
            &CreateStringDialog::handleLayoutButtonClicked);
    connect(ui->m_numPortsSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            &CreateStringDialog::handleNumPortsValueChanged);
}

void CreateStringDialog::readSettings()
{
    const QSettings settings;
    m_grid = StringLayout::storedGrid();
    QToolButton *const layouts[] = {ui->m_horizontalButton, ui->m_verticalButton,
                                    ui->m_backSlashButton, ui->m_fwdSlashButton, ui->m_tileButton};
    const int layout = settings.value(key("layout"), 0).toInt();
    (layout >= 0 && layout <= 4 ? layouts[layout] : ui->m_horizontalButton)->setChecked(true);
    handleLayoutButtonClicked(m_layoutButtons->checkedButton());
    (settings.value(key("numberinglr"), 0).toInt() == 0 ? ui->m_leftToRight : ui->m_rightToLeft)
        ->setChecked(true);
    (settings.value(key("numberingtb"), 0).toInt() == 0 ? ui->m_topToBottom : ui->m_bottomToTop)
        ->setChecked(true);
    const bool raster = settings.value(key("rastermode"), false).toBool();
    m_layoutWidget->setLayoutOrder(settings.value(key("layoutorder"), 0).toInt(), raster);
    const int rows = settings.value(key("rows"), -1).toInt();
    if (rows != -1)
        ui->m_numRowsSpinBox->setValue(rows);
    const int columns = settings.value(key("columns"), -1).toInt();
    if (columns != -1)
        ui->m_numColumnsSpinBox->setValue(columns);
    readInterfaceSettings(settings);
}

// The interface, port, address and name part of the stored inputs, in the order they are
// read, since each restored value runs the slots connected to its box.
void CreateStringDialog::readInterfaceSettings(const QSettings &settings)
{
    const int entry =
        ui->m_controllerComboBox->findText(settings.value(key("interface")).toString());
    if (entry >= 0)
        ui->m_controllerComboBox->setCurrentIndex(entry);
    ui->m_dmxAddressSpinBox->setValue(settings.value(key("basedmxaddr"), 1).toInt());
    ui->m_portNumberSpinBox->setValue(settings.value(key("portnum"), 1).toInt());
    ui->m_nameLineEdit->setText(
        settings.value(key("basename"), QStringLiteral("Light")).toString());
    const bool newInterface =
        settings.value(key("newinterface"), false).toBool() || m_dataSupplies.isEmpty();
    (newInterface ? ui->m_newInterfaceRadioButton : ui->m_existingInterfaceRadioButton)
        ->setChecked(true);
    ui->m_numPortsSpinBox->setEnabled(newInterface);
    ui->m_dmxAutoSetCheckBox->setChecked(settings.value(key("dmxautoset"), false).toBool());
    if (ui->m_dmxAutoSetCheckBox->isChecked())
        ui->m_dmxAddressSpinBox->setValue(ui->m_dmxAutoSetValue->text().toInt());
    refreshDmxAutoSetValue();
    if (settings.value(key("portnumautoincrement"), false).toBool()) {
        ui->m_portNumberAutoIncrement->setChecked(true);
        ui->m_portNumberSpinBox->setValue(ui->m_portNumberSpinBox->value() + 1);
    }
    const bool below = settings.value(key("defaultaddbutton"), 0).toInt() != 0;
    (below ? ui->buttonAddBelow : ui->buttonAddRight)->setDefault(true);
}

void CreateStringDialog::writeSettings() const
{
    QSettings settings;
    settings.setValue(key("layout"), m_layout);
    settings.setValue(key("numberinglr"), ui->m_leftToRight->isChecked() ? 0 : 1);
    settings.setValue(key("numberingtb"), ui->m_topToBottom->isChecked() ? 0 : 1);
    settings.setValue(key("rastermode"), m_raster);
    settings.setValue(key("layoutorder"), m_layoutOrder);
    settings.setValue(key("rows"), ui->m_numRowsSpinBox->value());
    settings.setValue(key("columns"), ui->m_numColumnsSpinBox->value());
    settings.setValue(key("interface"), ui->m_controllerComboBox->currentText());
    settings.setValue(key("basedmxaddr"), ui->m_dmxAddressSpinBox->value());
    settings.setValue(key("portnum"), ui->m_portNumberSpinBox->value());
    settings.setValue(key("basename"), ui->m_nameLineEdit->text());
    settings.setValue(key("newinterface"), ui->m_newInterfaceRadioButton->isChecked());
    settings.setValue(key("dmxautoset"), ui->m_dmxAutoSetCheckBox->isChecked());
    settings.setValue(key("portnumautoincrement"), ui->m_portNumberAutoIncrement->isChecked());
    settings.setValue(key("defaultaddbutton"), m_addButton);
}

void CreateStringDialog::setDiscoveredLights(const QList<Light *> &lights)
{
    if (lights.isEmpty())
        return;
    m_discoveredLights = lights;
    m_discovered = true;
    m_portPreset = {true, lights.first()->port() + 1};
}

void CreateStringDialog::setController(quint64 uid)
{
    DataSupply *ds = m_map->dataSupply(uid);
    if (!ds)
        return;
    m_interfacePreset = {true, qint64(uid)};
    const QString model = DeviceDictionary::instance()->deviceName(ds->serialNumber());
    if (model == QLatin1String("Unknown Device"))
        return;
    const StringLayout::InterfaceDefaults defaults = StringLayout::interfaceDefaults(model);
    const Light *first = m_discoveredLights.isEmpty() ? nullptr : m_discoveredLights.first();
    if (!defaults.fixtureType.isEmpty()) {
        ui->m_fixtureType->setCurrentText(defaults.fixtureType);
    } else if (defaults.modelIsFixtureType) {
        ui->m_fixtureType->setCurrentText(model);
        if (first)
            m_properties.selectFrom(first);
    }
    if (defaults.resolutionFromLight && first)
        ui->m_inputResolution->setCurrentText(PropertyMapper::instance()->toDisplayValue(
            QStringLiteral("INPUT_RESOLUTION"), QString::number(first->resolution())));
}

void CreateStringDialog::setBaseDmxAddress(int address)
{
    m_addressPreset = {true, address};
}

void CreateStringDialog::setTitle(const QString &title)
{
    setWindowTitle(title);
}

void CreateStringDialog::showEvent(QShowEvent *event)
{
    if (m_discovered)
        handleLayoutButtonClicked(m_layoutButtons->checkedButton());
    if (m_interfacePreset.set) {
        const int entry =
            m_dataSupplies.indexOf(m_map->dataSupply(quint64(m_interfacePreset.value)));
        if (entry >= 0)
            ui->m_controllerComboBox->setCurrentIndex(entry);
        ui->m_newInterfaceRadioButton->setEnabled(false);
        ui->m_existingInterfaceRadioButton->setEnabled(true);
        ui->m_existingInterfaceRadioButton->setChecked(true);
        ui->m_controllerComboBox->setEnabled(false);
    }
    if (m_addressPreset.set) {
        ui->m_dmxAddressSpinBox->setValue(int(m_addressPreset.value));
        ui->m_dmxAddressSpinBox->setEnabled(false);
        ui->m_dmxAutoSetCheckBox->setEnabled(false);
    }
    if (m_portPreset.set) {
        ui->m_portNumberSpinBox->setValue(int(m_portPreset.value));
        ui->m_portNumberSpinBox->setEnabled(false);
        ui->m_portNumberAutoIncrement->setEnabled(false);
    }
    QDialog::showEvent(event);
}

void CreateStringDialog::handleLayoutButtonClicked(QAbstractButton *)
{
    const int found = int(m_discoveredLights.size());
    QAbstractButton *checked = m_layoutButtons->checkedButton();
    if (checked == ui->m_verticalButton) {
        ui->m_numColumnsSpinBox->setEnabled(false);
        if (m_discovered) {
            ui->m_numColumnsSpinBox->setValue(1);
            ui->m_numRowsSpinBox->setValue(found);
        }
        ui->m_numRowsSpinBox->setEnabled(!m_discovered);
        ui->m_widgetStack->setCurrentIndex(1);
        ui->m_numRowsSpinBox->setFocus();
        m_layout = StringLayout::Vertical;
    } else if (checked == ui->m_tileButton) {
        ui->m_numRowsSpinBox->setEnabled(true);
        ui->m_numColumnsSpinBox->setEnabled(true);
        ui->m_widgetStack->setCurrentIndex(2);
        ui->m_numRowsSpinBox->setFocus();
        m_layout = StringLayout::Tile;
    } else {
        ui->m_numRowsSpinBox->setEnabled(false);
        if (m_discovered) {
            ui->m_numRowsSpinBox->setValue(1);
            ui->m_numColumnsSpinBox->setValue(found);
        }
        ui->m_numColumnsSpinBox->setEnabled(!m_discovered);
        ui->m_widgetStack->setCurrentIndex(0);
        if (checked == ui->m_backSlashButton)
            m_layout = StringLayout::BackSlash;
        else if (checked == ui->m_fwdSlashButton)
            m_layout = StringLayout::ForwardSlash;
        else
            m_layout = StringLayout::Horizontal;
        if (m_layout == StringLayout::Horizontal)
            ui->m_numColumnsSpinBox->setFocus();
    }
    handleLightCountValueChanged(ui->m_numRowsSpinBox->value(), ui->m_numColumnsSpinBox->value());
}

void CreateStringDialog::handleStringLayoutChanged(StringLayoutWidget::LayoutOrder layoutOrder,
                                                   bool raster)
{
    m_layoutOrder = layoutOrder;
    m_raster = raster;
}

void CreateStringDialog::handleRowCountValueChanged(int n)
{
    const int columns = ui->m_numColumnsSpinBox->value();
    const int capped = StringLayout::cappedCount(columns, n);
    if (capped != columns)
        ui->m_numColumnsSpinBox->setValue(capped);
    handleLightCountValueChanged(n, ui->m_numColumnsSpinBox->value());
}

void CreateStringDialog::handleColumnCountValueChanged(int n)
{
    const int rows = ui->m_numRowsSpinBox->value();
    const int capped = StringLayout::cappedCount(rows, n);
    if (capped != rows)
        ui->m_numRowsSpinBox->setValue(capped);
    handleLightCountValueChanged(ui->m_numRowsSpinBox->value(), n);
}

void CreateStringDialog::handleLightCountValueChanged(int rows, int columns)
{
    if (!m_discovered)
        return;
    const bool match =
        StringLayout::countsMatch(m_layout, rows, columns, int(m_discoveredLights.size()));
    ui->buttonAddBelow->setEnabled(match);
    ui->buttonAddRight->setEnabled(match);
    ui->m_labelNote->setVisible(!match);
}

void CreateStringDialog::handleControllerChanged()
{
    ui->m_portNumberSpinBox->setMaximum(ui->m_numPortsSpinBox->value());
    refreshDmxAutoSetValue();
}

void CreateStringDialog::handleNumPortsValueChanged(int n)
{
    ui->m_portNumberSpinBox->setMaximum(n);
}

void CreateStringDialog::refreshDmxAutoSetValue()
{
    if (ui->m_newInterfaceRadioButton->isChecked()) {
        ui->m_dmxAutoSetValue->setText(QStringLiteral("1"));
        ui->m_numPortsSpinBox->setEnabled(true);
    } else if (!m_dataSupplies.isEmpty()) {
        const int current = ui->m_controllerComboBox->currentIndex();
        ui->m_dmxAutoSetValue->setText(QString::number(CreationSteps::proposedAddress(
            m_dataSupplies, current, ui->m_portNumberSpinBox->value())));
        if (current >= 0 && current < m_dataSupplies.size())
            ui->m_numPortsSpinBox->setValue(m_dataSupplies.at(current)->portCount());
        ui->m_numPortsSpinBox->setEnabled(false);
    }
    if (ui->m_dmxAutoSetCheckBox->isChecked())
        ui->m_dmxAddressSpinBox->setValue(ui->m_dmxAutoSetValue->text().toInt());
}

void CreateStringDialog::handlePortNumberChanged()
{
    refreshDmxAutoSetValue();
}

void CreateStringDialog::handleDmxAutoSetValueChanged()
{
    refreshDmxAutoSetValue();
}

void CreateStringDialog::handleFixtureTypeChanged(int index)
{
    m_properties.fixtureTypeChanged(index);
}

void CreateStringDialog::handleVorlethModeChanged(int index)
{
    m_properties.vorlethModeChanged(index);
}

void CreateStringDialog::handleLedChemistryChanged(int index)
{
    m_properties.ledChemistryChanged(index);
}

void CreateStringDialog::handleAddBelowClicked()
{
    addString(StringLayout::stringOrigin(StringLayout::AddBelow, m_layout,
                                         m_map->lightsBoundingRect(), m_grid,
                                         ui->m_numColumnsSpinBox->value()),
              StringLayout::AddBelow);
}

void CreateStringDialog::handleAddRightClicked()
{
    addString(StringLayout::stringOrigin(StringLayout::AddRight, m_layout,
                                         m_map->lightsBoundingRect(), m_grid,
                                         ui->m_numColumnsSpinBox->value()),
              StringLayout::AddRight);
}

void CreateStringDialog::addString(const QPoint &origin, int addButton)
{
    m_origin = origin;
    m_addButton = addButton;
    handleOkButtonClicked();
}

void CreateStringDialog::handleOkButtonClicked()
{
    // Only a change of the counts in discovered-lights mode enables them again.
    ui->buttonAddBelow->setEnabled(false);
    ui->buttonAddRight->setEnabled(false);
    const bool newInterface = ui->m_newInterfaceRadioButton->isChecked();
    const int base = ui->m_dmxAddressSpinBox->value() - 1;
    const int port = ui->m_portNumberSpinBox->value() - 1;
    const QString baseName = ui->m_nameLineEdit->text();
    writeSettings();

    DataSupply *ds = nullptr;
    if (newInterface) {
        const QString prefix = baseName.isEmpty() ? QString() : baseName + QLatin1Char(' ');
        ds = CreationSteps::addNewInterface(m_map, prefix, ui->m_numPortsSpinBox->value());
    } else {
        ds = CreationSteps::interfaceOfEntry(m_map, ui->m_controllerComboBox->currentText(), this);
    }
    if (!ds)
        return;
    createLights(ds, base, port, baseName);
    accept();
}

Light *CreateStringDialog::nextLight(quint64 first, int k, DataSupply *ds, int port)
{
    if (m_discovered)
        return m_discoveredLights.isEmpty() ? nullptr : m_discoveredLights.takeFirst();
    auto *light = new Light;
    light->setUid(k == 0 ? first : m_map->nextUid());
    // Every light of the string carries its first light's uid as fixture id.
    light->setFixture(first);
    light->setPort(quint8(port));
    light->setDataSupplyUid(ds->uid());
    return light;
}

bool CreateStringDialog::createLights(DataSupply *ds, int base, int port, const QString &baseName)
{
    const StringLayout::WalkedGrid grid = StringLayout::walkedGrid(
        m_layout, ui->m_numRowsSpinBox->value(), ui->m_numColumnsSpinBox->value());
    const StringLayout::Numbering numbering{m_layout, ui->m_rightToLeft->isChecked(),
                                            ui->m_bottomToTop->isChecked(), m_layoutOrder,
                                            m_raster};
    const int total = grid.rows * grid.columns;
    auto *progress = new QProgressDialog(QStringLiteral("Creating Lights"),
                                         QStringLiteral("Cancel"), 0, total, this);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->show();
    QCoreApplication::processEvents();

    const QString fixtureType = m_properties.fixtureType();
    const quint64 first = m_map->nextUid();
    const int step = std::max(int(total * 0.01), 1);
    int footprint = 1;
    bool complete = true;
    // One batch for the whole string: the views take its lights in one pass at the end
    // instead of reworking themselves for each light.
    m_map->beginBatch();
    for (int i = 0; i < grid.rows && complete; ++i) {
        for (int j = 0; j < grid.columns; ++j) {
            const int k = i * grid.columns + j;
            if (k % step == 0) {
                progress->setValue(k);
                QCoreApplication::processEvents();
            }
            Light *light = progress->wasCanceled() ? nullptr : nextLight(first, k, ds, port);
            if (!light) {
                complete = false;
                break;
            }
            const int lightFootprint =
                m_properties.applyTo(light, FixturePropertyRows::CorlendAsOwnProperty);
            if (k == 0)
                footprint = StringLayout::usableFootprint(lightFootprint);
            const int start = StringLayout::startChannel(StringLayout::index(grid, numbering, i, j),
                                                         footprint, base);
            light->setDmxChannel(start);
            light->setName(
                StringLayout::stringLightName(ds->name(), fixtureType, baseName, port + 1,
                                              StringLayout::nameNumber(start, footprint)));
            light->setModelName(fixtureType);
            const QPoint at = StringLayout::position(grid, i, j, m_grid, m_origin);
            LightPose pose;
            pose.x = at.x();
            pose.y = at.y();
            light->setPose(pose);
            if (!CreationSteps::addLight(m_map, ds, light) && !m_discovered)
                delete light;
        }
    }
    m_map->endBatch();
    progress->setValue(total);
    progress->close();
    return complete;
}
