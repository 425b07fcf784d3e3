#include "dialogs/editpreferencesdialog.h"

#include "ui_editpreferencesdialog.h"

EditPreferencesDialog::EditPreferencesDialog(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::EditPreferencesDialog>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->buttonOk, &QPushButton::clicked, this, &EditPreferencesDialog::okButtonClicked);
    connect(ui->buttonCancel, &QPushButton::clicked, this,
            &EditPreferencesDialog::cancelButtonClicked);
}

EditPreferencesDialog::~EditPreferencesDialog() = default;

// Plain reads and writes of the form: the spin boxes hold the ranges.
int EditPreferencesDialog::frameRate() const
{
    return ui->m_frameRateSpinBox->value();
}
int EditPreferencesDialog::canvasWidth() const
{
    return ui->m_canvasWidthSpinBox->value();
}
int EditPreferencesDialog::canvasHeight() const
{
    return ui->m_canvasHeightSpinBox->value();
}
int EditPreferencesDialog::gridSize() const
{
    return ui->m_gridSizeSpinBox->value();
}
int EditPreferencesDialog::recentMapsCount() const
{
    return ui->m_recentMapsSpinBox->value();
}
bool EditPreferencesDialog::keepRecentMaps() const
{
    return ui->m_recentMapsCheckBox->isChecked();
}
void EditPreferencesDialog::setFrameRate(int value)
{
    ui->m_frameRateSpinBox->setValue(value);
}
void EditPreferencesDialog::setCanvasWidth(int value)
{
    ui->m_canvasWidthSpinBox->setValue(value);
}
void EditPreferencesDialog::setCanvasHeight(int value)
{
    ui->m_canvasHeightSpinBox->setValue(value);
}
void EditPreferencesDialog::setGridSize(int value)
{
    ui->m_gridSizeSpinBox->setValue(value);
}
void EditPreferencesDialog::setRecentMapsCount(int value)
{
    ui->m_recentMapsSpinBox->setValue(value);
}
void EditPreferencesDialog::setKeepRecentMaps(bool keep)
{
    ui->m_recentMapsCheckBox->setChecked(keep);
}

void EditPreferencesDialog::okButtonClicked()
{
    accept();
}

void EditPreferencesDialog::cancelButtonClicked()
{
    reject();
}
