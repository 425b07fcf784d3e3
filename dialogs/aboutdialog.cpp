#include "dialogs/aboutdialog.h"

#include "dialogs/buildinfo.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QVBoxLayout>

namespace {
QPointer<AboutDialog> &theInstance()
{
    static QPointer<AboutDialog> dialog;
    return dialog;
}
} // namespace

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setStyleSheet(QStringLiteral("QDialog { background-image: url(:/images/splash.png); }"));
    setFixedSize(QPixmap(QStringLiteral(":/images/splash.png")).size());
    setModal(true);

    auto *column = new QVBoxLayout;
    column->setSpacing(0);
    column->addStretch();
    // Both lines are read from the dialog by name: the version for support calls, the notice
    // with the year of the first showing.
    column->addWidget(addLabel(BuildInfo::versionLine(), QStringLiteral("versionLabel")));
    column->addWidget(
        addLabel(BuildInfo::rightsNotice(QDate::currentDate()), QStringLiteral("noticeLabel")));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(33, 4, 8, 20);
    row->setSpacing(0);
    row->addLayout(column);
    installEventFilter(this);
}

QLabel *AboutDialog::addLabel(const QString &text, const QString &objectName)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(objectName);
    QPalette palette = label->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::WindowText, Qt::white);
        palette.setColor(group, QPalette::Base, Qt::white);
    }
    label->setPalette(palette);
    label->setFont(QFont(QStringLiteral("Verdana"), 8));
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

void AboutDialog::showAbout(QWidget *parent)
{
    if (!theInstance())
        theInstance() = new AboutDialog(parent);
    theInstance()->show();
    theInstance()->activateWindow();
}

AboutDialog *AboutDialog::instance()
{
    return theInstance();
}

bool AboutDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress)
        accept();
    return QDialog::eventFilter(watched, event);
}
