#include "dialogs/userprompt.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QPrintDialog>

namespace {
UserPrompt *installedPrompt = nullptr;
}

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
