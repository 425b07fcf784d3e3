#ifndef SPLASHSCREEN_H
#define SPLASHSCREEN_H

#include <QSplashScreen>

// The start-up picture with the version and rights lines; it closes itself 1500 ms after
// scheduleKill, whether or not the main window is up by then.
class SplashScreen : public QSplashScreen
{
    Q_OBJECT
public:
    SplashScreen();

    void scheduleKill();

    static QString versionText();
    static QString rightsText();

public slots:
    void killSplash();

protected:
    void drawContents(QPainter *painter) override;
};

#endif // SPLASHSCREEN_H
