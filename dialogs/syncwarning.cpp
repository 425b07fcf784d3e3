#include "syncwarning.h"
#include "ui_syncwarning.h"

SyncWarning::SyncWarning(const QString &report, QWidget *parent, const QString &heading)
    : QDialog(parent), ui(std::make_unique<Ui::SyncWarning>())
{
    ui->setupUi(this);
    if (!heading.isEmpty())
        ui->label->setText(heading);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->m_textEdit->appendPlainText(report);
    connect(ui->m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

SyncWarning::~SyncWarning() = default;
