// The progress dialog fed by a map model's long operations.

#include "app/mapprogressdialog.h"

#include <QApplication>
#include <QProgressDialog>
#include <QTest>

namespace {

QList<QProgressDialog *> visibleDialogs()
{
    QList<QProgressDialog *> result;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QProgressDialog *>(widget); dialog && dialog->isVisible())
            result.append(dialog);
    }
    return result;
}

} // namespace

class TstMapProgressDialog : public QObject
{
    Q_OBJECT

private slots:
    void followsTheModelAndClosesAtTheEnd()
    {
        MapProgressDialog progress;
        // Signals that arrive while no dialog is open change nothing.
        progress.start(0, 10, QStringLiteral("ignored"));
        progress.update(3);
        QVERIFY(visibleDialogs().isEmpty());

        progress.open();
        progress.start(0, 4, QStringLiteral("Loading Map"));
        QCOMPARE(visibleDialogs().size(), 1);
        QProgressDialog *dialog = visibleDialogs().first();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Loading Map"));
        QVERIFY(dialog->windowModality() == Qt::ApplicationModal);
        progress.setTitle(QString());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Loading Map"));
        progress.setTitle(QStringLiteral("Loading Lights"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Loading Lights"));
        progress.update(2);
        QCOMPARE(dialog->value(), 2);
        progress.update(4);
        QVERIFY(visibleDialogs().isEmpty());
    }

    void reopeningReplacesTheDialog()
    {
        MapProgressDialog progress;
        progress.open();
        progress.start(0, 10, QStringLiteral("first"));
        progress.open();
        progress.start(0, 10, QStringLiteral("second"));
        QCOMPARE(visibleDialogs().size(), 1);
        QCOMPARE(visibleDialogs().first()->windowTitle(), QStringLiteral("second"));
        progress.close();
        QVERIFY(visibleDialogs().isEmpty());
    }
};

QTEST_MAIN(TstMapProgressDialog)
#include "tst_mapprogressdialog.moc"
