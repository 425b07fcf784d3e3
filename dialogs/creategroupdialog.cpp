#include "creategroupdialog.h"
#include "ui_creategroupdialog.h"

#include "groupbuilder.h"

#include "model/light.h"

#include <QApplication>
#include <QButtonGroup>
#include <QProgressDialog>

namespace {
// The dialog's progress dialog, shown while the groups are built; events are processed at
// every step so the window stays responsive and the Cancel button works.
class DialogProgress : public GroupBuilder::Progress
{
public:
    explicit DialogProgress(QWidget *parent)
        : m_dialog(QObject::tr("Building groups..."), QObject::tr("Cancel"), 0, 0, parent)
    {
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(0);
    }

    void start(int maximum) override
    {
        m_dialog.setMaximum(maximum);
        m_dialog.show();
        QApplication::processEvents();
    }

    bool advance(int value) override
    {
        m_dialog.setValue(value);
        QApplication::processEvents();
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};
} // namespace

CreateGroupDialog::CreateGroupDialog(MapModel *map, QList<quint64> clickOrder, bool selectAll,
                                     QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::CreateGroup>()), m_map(map),
      m_clickOrder(std::move(clickOrder)), m_selectAll(selectAll)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_startButtons = {ui->m_startLeftRadioButton,       ui->m_startRightRadioButton,
                      ui->m_startTopRadioButton,        ui->m_startBottomRadioButton,
                      ui->m_startTopLeftRadioButton,    ui->m_startTopRightRadioButton,
                      ui->m_startBottomLeftRadioButton, ui->m_startBottomRightRadioButton};
    auto *ordering = new QButtonGroup(this);
    ordering->setExclusive(true);
    ordering->addButton(ui->m_cbKeepClickOrder);
    ordering->addButton(ui->m_cbReorderLights);
    connect(ui->buttonOk, &QPushButton::clicked, this, &CreateGroupDialog::handleOkButtonClicked);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    // Follows the check box's state, not only clicks on it, so the start positions can never
    // look enabled while the click order is kept.
    connect(ui->m_cbReorderLights, &QCheckBox::toggled, ui->m_startButtonGroup,
            &QWidget::setEnabled);
    ui->m_nameLineEdit->setText(tr("New Group"));
}

int CreateGroupDialog::checkedStart() const
{
    for (int i = 0; i < m_startButtons.size(); ++i) {
        if (m_startButtons.at(i)->isChecked())
            return i;
    }
    return GroupBuilder::Left;
}

QPointF CreateGroupDialog::rotatedPosition(int start, const Light *light) const
{
    if (!m_map || !light)
        return {};
    return GroupBuilder::rotatedPosition(start, GroupBuilder::boundsOf(m_map, m_clickOrder),
                                         QPointF(light->pose().x, light->pose().y));
}

void CreateGroupDialog::handleOkButtonClicked()
{
    const bool keepChecked = ui->m_cbKeepClickOrder->isChecked();
    GroupBuilder::Options options;
    options.name = ui->m_nameLineEdit->text();
    options.keepClickOrder = GroupBuilder::keepsClickOrder(keepChecked, m_selectAll);
    options.start = GroupBuilder::startFor(keepChecked, m_selectAll, checkedStart());
    options.subgroups = ui->m_subgroupCheckBox->isChecked();
    DialogProgress progress(this);
    GroupBuilder::build(m_map, m_clickOrder, options, &progress);
    accept();
}

CreateGroupDialog::~CreateGroupDialog() = default;
