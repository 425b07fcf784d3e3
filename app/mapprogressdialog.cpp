#include "mapprogressdialog.h"

#include <QApplication>
#include <QProgressDialog>

MapProgressDialog::~MapProgressDialog()
{
    close();
}

void MapProgressDialog::open()
{
    close();
    m_dialog = new QProgressDialog;
}

void MapProgressDialog::close()
{
    delete m_dialog;
    m_dialog = nullptr;
}

void MapProgressDialog::start(int min, int max, const QString &title)
{
    if (!m_dialog)
        return;
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->show();
    m_dialog->setRange(min, max);
    m_dialog->setWindowTitle(title);
    QApplication::processEvents();
}

void MapProgressDialog::update(int value)
{
    if (m_dialog) {
        m_dialog->setValue(value);
        if (value == m_dialog->maximum())
            close();
    }
    QApplication::processEvents();
}

void MapProgressDialog::setTitle(const QString &title)
{
    if (title.isEmpty() || !m_dialog)
        return;
    m_dialog->setWindowTitle(title);
    QApplication::processEvents();
}
