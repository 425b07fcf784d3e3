#ifndef USERPROMPT_H
#define USERPROMPT_H

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

// Every question, message box and file dialog of the main window and its views goes through
// this one object, so that a test can install its own answers instead of a modal box that
// nobody would ever close.
class UserPrompt
{
public:
    virtual ~UserPrompt() = default;

    // The prompt in use; the toolkit's own boxes and dialogs unless a test installed another.
    static UserPrompt *instance();
    // Installs p (not owned) in place of the current prompt; null puts the default one back.
    static void setInstance(UserPrompt *p);

    virtual QMessageBox::StandardButton question(QWidget *parent, QMessageBox::Icon icon,
                                                 const QString &title, const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton);
    virtual void message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                         const QString &text);
    // A message with a list under its text, one entry a line, scrolling inside the box itself
    // (not behind a details button, so that it is read with the text), so that however many
    // entries there are the box stays on a small screen.
    virtual void listMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                             const QString &text, const QStringList &entries);
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &folder,
                                 const QString &filter);
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &folder,
                                 const QString &filter);
    // Asks for a whole number from min to max in steps of step, starting at value; false when
    // the user cancelled.
    virtual bool integer(QWidget *parent, const QString &title, const QString &label, int value,
                         int min, int max, int step, int *result);
    // Lets the user set up printer (the platform's print dialog); true when accepted.
    virtual bool printSetup(QWidget *parent, QPrinter *printer);
};

#endif // USERPROMPT_H
