#include "createlights.h"
#include "ui_createlights.h"

#include "creationsteps.h"
#include "stringlayout.h"

#include "model/datasupply.h"
#include "model/light.h"
#include "model/lightpose.h"
#include "model/mapmodel.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QSettings>

namespace {
const QString Group = QStringLiteral("/CreateLights/");

QString key(const char *name)
{
    return Group + QLatin1String(name);
}
} // namespace

CreateLights::CreateLights(MapModel *map, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::CreateLights>()), m_map(map)
{
    ui->setupUi(this);
    m_properties.attach(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    fillInterfaces();
    connectForm();
    m_properties.fill();
    readSettings();
}

CreateLights::~CreateLights() = default;

void CreateLights::fillInterfaces()
{
    m_dataSupplies = CreationSteps::fillInterfaceList(m_map, ui->m_controllerComboBox);
    if (m_dataSupplies.isEmpty()) {
        ui->m_existingInterfaceRadioButton->setEnabled(false);
        ui->m_newInterfaceRadioButton->setChecked(true);
    }
}

void CreateLights::connectForm()
{
    connect(ui->buttonOk, &QPushButton::clicked, this, &CreateLights::handleOkButtonClicked);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->m_controllerComboBox, qOverload<int>(&QComboBox::activated), this,
            &CreateLights::refreshDmxAutoSetValue);
    connect(ui->m_portNumberSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            &CreateLights::refreshDmxAutoSetValue);
    connect(ui->m_existingInterfaceRadioButton, &QRadioButton::toggled, this,
            &CreateLights::refreshDmxAutoSetValue);
    connect(ui->m_newInterfaceRadioButton, &QRadioButton::toggled, this,
            &CreateLights::refreshDmxAutoSetValue);
    connect(ui->m_dmxAutoSetCheckBox, &QCheckBox::stateChanged, this,
            &CreateLights::refreshDmxAutoSetValue);
    connect(ui->m_fixtureType, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CreateLights::handleFixtureTypeChanged);
    connect(ui->m_vorleth, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CreateLights::handleVorlethModeChanged);
    connect(ui->m_ledChemistry, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CreateLights::handleLedChemistryChanged);
}

void CreateLights::readSettings()
{
    const QSettings settings;
    m_grid = StringLayout::storedGrid();
    const int count = settings.value(key("count"), -1).toInt();
    if (count != -1)
        ui->m_countSpinBox->setValue(count);
    if (settings.value(key("layoutvertically"), false).toBool())
        ui->m_verticalRadioButton->setChecked(true);
    if (settings.value(key("layouthorizontally"), false).toBool())
        ui->m_horizontalRadioButton->setChecked(true);
    const int entry =
        ui->m_controllerComboBox->findText(settings.value(key("interface")).toString());
    if (entry >= 0)
        ui->m_controllerComboBox->setCurrentIndex(entry);
    ui->m_dmxAddressSpinBox->setValue(settings.value(key("basedmxaddr"), 1).toInt());
    ui->m_portNumberSpinBox->setValue(settings.value(key("portnum"), 1).toInt());
    ui->m_nameLineEdit->setText(
        settings.value(key("basename"), QStringLiteral("Light")).toString());
    if (settings.value(key("newinterface"), false).toBool() || m_dataSupplies.isEmpty())
        ui->m_newInterfaceRadioButton->setChecked(true);
    ui->m_dmxAutoSetCheckBox->setChecked(settings.value(key("dmxautoset"), false).toBool());
    refreshDmxAutoSetValue();
    if (settings.value(key("portnumautoincrement"), false).toBool()) {
        ui->m_portNumberAutoIncrement->setChecked(true);
        ui->m_portNumberSpinBox->setValue(ui->m_portNumberSpinBox->value() + 1);
    }
}

void CreateLights::writeSettings() const
{
    QSettings settings;
    settings.setValue(key("count"), ui->m_countSpinBox->value());
    settings.setValue(key("layoutvertically"), ui->m_verticalRadioButton->isChecked());
    settings.setValue(key("layouthorizontally"), ui->m_horizontalRadioButton->isChecked());
    settings.setValue(key("interface"), ui->m_controllerComboBox->currentText());
    settings.setValue(key("newinterface"), ui->m_newInterfaceRadioButton->isChecked());
    settings.setValue(key("basedmxaddr"), ui->m_dmxAddressSpinBox->value());
    settings.setValue(key("dmxautoset"), ui->m_dmxAutoSetCheckBox->isChecked());
    settings.setValue(key("portnum"), ui->m_portNumberSpinBox->value());
    settings.setValue(key("portnumautoincrement"), ui->m_portNumberAutoIncrement->isChecked());
    settings.setValue(key("basename"), ui->m_nameLineEdit->text());
}

void CreateLights::refreshDmxAutoSetValue()
{
    if (ui->m_newInterfaceRadioButton->isChecked())
        ui->m_dmxAutoSetValue->setText(QStringLiteral("1"));
    else if (!m_dataSupplies.isEmpty())
        ui->m_dmxAutoSetValue->setText(QString::number(
            CreationSteps::proposedAddress(m_dataSupplies, ui->m_controllerComboBox->currentIndex(),
                                           ui->m_portNumberSpinBox->value())));
    if (ui->m_dmxAutoSetCheckBox->isChecked())
        ui->m_dmxAddressSpinBox->setValue(ui->m_dmxAutoSetValue->text().toInt());
}

void CreateLights::handleFixtureTypeChanged(int index)
{
    m_properties.fixtureTypeChanged(index);
}

void CreateLights::handleVorlethModeChanged(int index)
{
    m_properties.vorlethModeChanged(index);
}

void CreateLights::handleLedChemistryChanged(int index)
{
    m_properties.ledChemistryChanged(index);
}

DataSupply *CreateLights::chosenInterface()
{
    return CreationSteps::interfaceOfEntry(m_map, ui->m_controllerComboBox->currentText(), this);
}

void CreateLights::handleOkButtonClicked()
{
    const bool newInterface = ui->m_newInterfaceRadioButton->isChecked();
    const int count = ui->m_countSpinBox->value();
    const int base = ui->m_dmxAddressSpinBox->value() - 1;
    const int port = ui->m_portNumberSpinBox->value();
    const bool vertical = ui->m_verticalRadioButton->isChecked();
    const QString baseName = ui->m_nameLineEdit->text();
    const QString namePrefix = baseName.isEmpty() ? QString() : baseName + QLatin1Char(' ');
    writeSettings();

    DataSupply *ds =
        newInterface ? CreationSteps::addNewInterface(m_map, namePrefix, 0) : chosenInterface();
    if (!ds)
        return;

    auto *progress =
        new QProgressDialog(QStringLiteral("Creating Lights"), QStringLiteral("Cancel"), 0, count,
                            this, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->show();
    QCoreApplication::processEvents();

    const QRect bounds = m_map->lightsBoundingRect();
    const QString fixtureType = m_properties.fixtureType();
    int footprint = 1;
    for (int i = 0; i < count; ++i) {
        progress->setValue(i);
        QCoreApplication::processEvents();
        auto *light = new Light;
        light->setUid(m_map->nextUid());
        light->setDataSupplyUid(ds->uid());
        light->setFixture(light->uid());
        const QPoint at = StringLayout::rowOrColumnPosition(vertical, i, bounds, m_grid);
        LightPose pose;
        pose.x = at.x();
        pose.y = at.y();
        light->setPose(pose);
        light->setPort(quint8(port - 1));
        light->setModelName(fixtureType);
        const int lightFootprint =
            m_properties.applyTo(light, FixturePropertyRows::CorlendAsColorControlMode);
        if (i == 0)
            footprint = StringLayout::usableFootprint(lightFootprint);
        const int start = StringLayout::startChannel(i, footprint, base);
        light->setDmxChannel(start);
        light->setName(StringLayout::lightName(baseName, fixtureType, port,
                                               StringLayout::nameNumber(start, footprint)));
        if (!CreationSteps::addLight(m_map, ds, light))
            delete light;
    }
    progress->setValue(count);
    progress->close();
    accept();
}
