#include "cloneinterface.h"
#include "ui_cloneinterface.h"

#include "clonelayout.h"

#include "model/datasupply.h"
#include "model/mapmodel.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QProgressDialog>
#include <QSettings>

CloneInterface::CloneInterface(quint64 interfaceUid, MapModel *map, QWidget *parent)
    : QDialog(parent), m_uid(interfaceUid), m_map(map)
{
    ui = std::make_unique<Ui::CloneInterface>();
    ui->setupUi(this);
    m_layoutButtons = new QButtonGroup(this);
    m_layoutButtons->setExclusive(true);
    for (QAbstractButton *b : {static_cast<QAbstractButton *>(ui->m_rowButton),
                               static_cast<QAbstractButton *>(ui->m_columnButton),
                               static_cast<QAbstractButton *>(ui->m_gridButton)})
        m_layoutButtons->addButton(b);
    handleOrderSelected(m_layoutButtons->checkedButton());

    connect(ui->buttonOk, &QPushButton::clicked, this, &CloneInterface::handleOkSelected);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_layoutButtons, &QButtonGroup::buttonClicked, this,
            &CloneInterface::handleOrderSelected);
}

CloneInterface::~CloneInterface() = default;

void CloneInterface::handleOrderSelected(QAbstractButton *button)
{
    Q_UNUSED(button); // the state is read from the buttons
    const bool column = ui->m_columnButton->isChecked();
    const bool grid = ui->m_gridButton->isChecked();
    ui->m_rowsLabel->setEnabled(column || grid);
    ui->m_rowSpin->setEnabled(column || grid);
    ui->m_columnsLabel->setEnabled(!column);
    ui->m_columnSpin->setEnabled(!column);
    ui->m_includeBox->setEnabled(grid);
}

void CloneInterface::handleOkSelected()
{
    const CloneLayout layout = ui->m_rowButton->isChecked()      ? CloneLayout::Row
                               : ui->m_columnButton->isChecked() ? CloneLayout::Column
                                                                 : CloneLayout::Grid;
    const CloneGrid grid = cloneGrid(layout, ui->m_rowSpin->value(), ui->m_columnSpin->value(),
                                     ui->m_includeBox->isChecked());
    DataSupply *source = m_map ? m_map->dataSupply(m_uid) : nullptr;
    if (!source) {
        accept();
        return;
    }
    const int spacing = cloneSpacing(QSettings().value("/grid", 12).toInt());
    const QVector<ClonePlace> places =
        clonePlaces(grid, source->boundingRect(), m_map->lightsBoundingRect(), spacing);
    const QString name = source->name();
    const int total = grid.rows * grid.columns;
    QProgressDialog progress(tr("Cloning Interface"), tr("Cancel"), 0, total, this);
    for (const ClonePlace &place : places) {
        progress.setValue(place.index);
        QCoreApplication::processEvents();
        if (progress.wasCanceled())
            break;                         // the copies made so far stay
        source = m_map->dataSupply(m_uid); // events ran: look it up again
        if (!source)
            break;
        emit pauseUpdate(true);
        DataSupply *copy = source->cloneWithLights(place.x, place.y);
        if (copy)
            copy->setName(cloneName(name, place.index + 1));
        emit pauseUpdate(false);
        emit updateNow();
    }
    progress.setValue(total);
    accept();
}
