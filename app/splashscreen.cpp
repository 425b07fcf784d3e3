#include "splashscreen.h"

#include "dialogs/buildinfo.h"

#include <QDate>
#include <QPainter>
#include <QTimer>

SplashScreen::SplashScreen() : QSplashScreen(QPixmap(":/images/splash.png"), Qt::WindowFlags())
{
    // Stored only: drawContents below paints the version lines and never this message.
    showMessage("none", Qt::AlignLeft, Qt::black);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
}

void SplashScreen::scheduleKill()
{
    QTimer::singleShot(1500, this, &SplashScreen::killSplash);
}

void SplashScreen::killSplash()
{
    finish(this);
}

QString SplashScreen::versionText()
{
    return BuildInfo::versionLine();
}

QString SplashScreen::rightsText()
{
    // The year comes from the clock at painting time, not from the build.
    return BuildInfo::rightsNotice(QDate::currentDate());
}

void SplashScreen::drawContents(QPainter *painter)
{
    painter->save();
    QFont font("Verdana", 8, 400, false);
    painter->setFont(font);
    painter->setPen(Qt::white);
    const int h = height();
    const int w = width();
    const int f = painter->fontMetrics().height();
    QRect r(0, h - 35, w, h - 35 + f);
    painter->drawText(r, Qt::AlignHCenter, rightsText());
    r.setTop(h - 37 - f);
    painter->drawText(r, Qt::AlignHCenter, versionText());
    painter->restore();
}
