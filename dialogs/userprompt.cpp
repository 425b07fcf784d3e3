#include "dialogs/userprompt.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QListWidget>
#include <QPrintDialog>
#include <QScrollBar>

#include <algorithm>

namespace {
UserPrompt *installedPrompt = nullptr;
// Wider entries scroll sideways rather than push the box off a small screen.
constexpr int MaxListWidth = 700;
} // namespace

UserPrompt *UserPrompt::instance()
{
    static UserPrompt standardPrompt;
    return installedPrompt ? installedPrompt : &standardPrompt;
}

void UserPrompt::setInstance(UserPrompt *p)
{
    installedPrompt = p;
}

QMessageBox::StandardButton UserPrompt::question(QWidget *parent, QMessageBox::Icon icon,
                                                 const QString &title, const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    // With No as the default, Escape must mean No as well, never a silent Yes.
    if (defaultButton != QMessageBox::NoButton)
        box.setEscapeButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void UserPrompt::message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                         const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void UserPrompt::listMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                             const QString &text, const QStringList &entries)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    auto *list = new QListWidget(&box);
    list->setObjectName(QStringLiteral("m_entryList"));
    list->addItems(entries);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    // The box sizes itself to its layout's minimum: a dozen lines show, the rest scroll.
    constexpr int VisibleLines = 12;
    const int lines = std::clamp(int(entries.size()), 1, VisibleLines);
    list->setMinimumHeight(lines * list->sizeHintForRow(0) + 2 * list->frameWidth());
    list->setMinimumWidth(std::min(list->sizeHintForColumn(0) + 4 * list->frameWidth() +
                                       list->verticalScrollBar()->sizeHint().width(),
                                   MaxListWidth));
    // Under the text, above the buttons, spanning the text's column.
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    auto *buttons = box.findChild<QDialogButtonBox *>();
    if (grid && buttons) {
        grid->removeWidget(buttons);
        const int row = grid->rowCount();
        grid->addWidget(list, row, 0, 1, grid->columnCount());
        grid->addWidget(buttons, row + 1, 0, 1, grid->columnCount());
    }
    box.exec();
}

QString UserPrompt::openFileName(QWidget *parent, const QString &caption, const QString &folder,
                                 const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString UserPrompt::saveFileName(QWidget *parent, const QString &caption, const QString &folder,
                                 const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, folder, filter);
}

bool UserPrompt::integer(QWidget *parent, const QString &title, const QString &label, int value,
                         int min, int max, int step, int *result)
{
    bool ok = false;
    const int v = QInputDialog::getInt(parent, title, label, value, min, max, step, &ok);
    if (ok && result)
        *result = v;
    return ok;
}

bool UserPrompt::printSetup(QWidget *parent, QPrinter *printer)
{
    QPrintDialog dialog(printer, parent);
    return dialog.exec() == QDialog::Accepted;
}
