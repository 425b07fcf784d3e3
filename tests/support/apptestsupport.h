#ifndef APPTESTSUPPORT_H
#define APPTESTSUPPORT_H

#include "dialogs/userprompt.h"

#include <QHostAddress>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

class DataSupply;
class Light;
class MapModel;

// Answers the window's questions and file dialogs from queues a test fills in advance, and
// records every box it was shown, so no modal box ever waits for a user.
class ScriptedPrompt : public UserPrompt
{
public:
    ScriptedPrompt() : m_previous(instance()) { setInstance(this); }
    ~ScriptedPrompt() override { setInstance(m_previous); }

    QList<QMessageBox::StandardButton> answers; // default: No
    QStringList fileNames;                      // default: cancelled (empty)
    QList<int> integers;                        // default: cancelled
    QStringList titles;                         // every question and message, in order
    QStringList texts;
    QList<QMessageBox::StandardButton> defaults;
    QList<QStringList> lists; // the entries of every list message
    // The last box shown; when none was, a text (or NoButton) that makes a comparison fail
    // with a message instead of reading past an empty list.
    QString lastTitle() const { return titles.value(titles.size() - 1, NoBoxShown); }
    QString lastText() const { return texts.value(texts.size() - 1, NoBoxShown); }
    QMessageBox::StandardButton lastDefault() const
    {
        return defaults.value(defaults.size() - 1, QMessageBox::NoButton);
    }
    static inline const QString NoBoxShown = QStringLiteral("(no box was shown)");

    QMessageBox::StandardButton question(QWidget *, QMessageBox::Icon, const QString &title,
                                         const QString &text, QMessageBox::StandardButtons,
                                         QMessageBox::StandardButton defaultButton) override;
    void message(QWidget *, QMessageBox::Icon, const QString &title, const QString &text) override;
    // Recorded like a message; its entries go to `lists`.
    void listMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                     const QString &text, const QStringList &entries) override
    {
        message(parent, icon, title, text);
        lists << entries;
    }
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override;
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override;
    bool integer(QWidget *, const QString &title, const QString &, int, int, int, int,
                 int *result) override
    {
        titles << title;
        if (integers.isEmpty())
            return false;
        *result = integers.takeFirst();
        return true;
    }
    // Never prints unless a test overrides it: a print dialog would wait for a user.
    bool printSetup(QWidget *, QPrinter *) override { return false; }

private:
    UserPrompt *m_previous;
};

// Registers the compiled-in bundles, isolates the settings store in a fresh temporary folder,
// keeps every protocol object on loopback, and answers any box a test did not script with No,
// so nothing ever waits for a user. Call once, before the first window or dialog is built.
void isolateTestEnvironment();

DataSupply *addInterface(MapModel *map, const QString &name, const QHostAddress &address,
                         int portCount = 2);
Light *addLight(MapModel *map, DataSupply *ds, const QString &name, int port, int channel,
                const QPointF &pos);
// Writes a small map (two interfaces, five lights, two groups) to path through a model of its
// own; returns whether it was written.
bool writeSampleMap(const QString &path);

#endif // APPTESTSUPPORT_H
