#ifndef SYNCWARNING_H
#define SYNCWARNING_H

#include <QDialog>

#include <memory>

namespace Ui {
class SyncWarning;
}

// Lists the lights whose DMX channels overlap after a network sync, and what the sync could
// not reach, one entry a line; heading, when given, replaces the form's conflict heading. The
// box opens wide and tall enough for its lines, within the screen, and can be resized; a long
// report opens at its first line.
class SyncWarning : public QDialog
{
    Q_OBJECT
public:
    SyncWarning(const QString &report, QWidget *parent = nullptr,
                const QString &heading = QString());
    ~SyncWarning() override;

private:
    void fitReport(const QString &report);
    void openAtFirstLine();

    std::unique_ptr<Ui::SyncWarning> ui;
};

#endif // SYNCWARNING_H
