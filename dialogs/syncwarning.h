#ifndef SYNCWARNING_H
#define SYNCWARNING_H

#include <QDialog>

#include <memory>

namespace Ui {
class SyncWarning;
}

// Lists the lights whose DMX channels overlap after a network sync, and what the sync could
// not reach; heading, when given, replaces the form's conflict heading.
class SyncWarning : public QDialog
{
    Q_OBJECT
public:
    SyncWarning(const QString &report, QWidget *parent = nullptr,
                const QString &heading = QString());
    ~SyncWarning() override;

private:
    std::unique_ptr<Ui::SyncWarning> ui;
};

#endif // SYNCWARNING_H
