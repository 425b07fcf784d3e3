#include "editcontrollerdialog.h"
#include "ui_editcontrollerdialog.h"

#include "model/datasupply.h"
#include "model/identifiers.h"

#include <QHostAddress>

namespace {
const char *const VersionTexts[] = {"Orvex v1", "Orvex v2", "Orvex v3"};
}

QString interfaceTypeText(int type)
{
    switch (type) {
    case 2:
        return QStringLiteral("Orvex Interface");
    case 3:
        return QStringLiteral("Orvex Broadcast Interface");
    default:
        return QStringLiteral("Unknown Interface Type");
    }
}

int versionRow(quint16 protocolVersion)
{
    return protocolVersion >= 1 && protocolVersion <= 3 ? protocolVersion - 1 : 0;
}

quint16 protocolVersionFromText(const QString &text)
{
    for (quint16 i = 0; i < 3; ++i) {
        if (text.compare(QLatin1String(VersionTexts[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

quint32 universeFromText(const QString &text)
{
    bool ok = false;
    const quint32 universe = text.toUInt(&ok, 10);
    return ok ? universe : 0;
}

EditControllerDialog::EditControllerDialog(MapModel *map, DataSupply *interface, QWidget *parent)
    : QDialog(parent), m_map(map), m_interface(interface)
{
    Q_ASSERT(interface);
    ui = std::make_unique<Ui::EditControllerDialog>();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->m_nameLineEdit->setText(interface->name());
    ui->m_typeLabel->setText(interfaceTypeText(interface->type()));
    ui->m_uidLabel->setText(uidToString(interface->uid()));
    ui->m_serialLineEdit->setText(uidToColonString(interface->serialNumber()));
    ui->ipBox->setText(interface->ipAddress());
    ui->uniBox->setText(QString::number(interface->universe()));
    ui->macAddress->setText(interface->macAddress());
    ui->numPortsBox->setValue(interface->portCount());
    ui->version->setCurrentIndex(versionRow(interface->protocolVersion()));

    connect(ui->buttonOk, &QPushButton::clicked, this, &EditControllerDialog::handleAccept);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &EditControllerDialog::handleReject);
}

EditControllerDialog::~EditControllerDialog() = default;

void EditControllerDialog::handleReject()
{
    reject();
}

void EditControllerDialog::handleAccept()
{
    DataSupply *ds = m_interface;
    ds->setName(ui->m_nameLineEdit->text());
    // An interface without an address shows "0.0.0.0"; written back unchanged, that text
    // would give it an address and make it look associated.
    if (ui->ipBox->text() != ds->ipAddress()) {
        ds->setFamily(QString());
        ds->setIpAddress(QHostAddress(ui->ipBox->text()));
    }
    ds->setUniverse(universeFromText(ui->uniBox->text()));
    // Setting the count renumbers every port and forgets its type, so an unchanged count is
    // left alone: OK on an untouched form keeps what discovery reported.
    const int ports = ui->numPortsBox->value();
    if (ports != ds->portCount())
        ds->setPortCount(quint8(ports));
    ds->setProtocolVersion(protocolVersionFromText(ui->version->currentText()));
    ds->setSerialNumber(uidFromString(ui->m_serialLineEdit->text()));
    accept();
}
