#ifndef ABOUTDIALOG_H
#define ABOUTDIALOG_H

#include <QDialog>

class QLabel;

// The about box: the splash picture with the version and the rights notice; a click anywhere
// closes it. One instance per process, made at the first showing and hidden between uses.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);

    // Shows the one instance, making it (with parent) the first time.
    static void showAbout(QWidget *parent);
    // The instance, or null before the first showing.
    static AboutDialog *instance();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *addLabel(const QString &text, const QString &objectName);
};

#endif // ABOUTDIALOG_H
