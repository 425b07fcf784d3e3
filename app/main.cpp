#include "metatool.h"
#include "processsignals.h"
#include "splashscreen.h"

#include "colour/profiledatabase.h"

#include <QApplication>

int qInitResources_PropertyMap();
int qInitResources_DeviceConfigFiles();
int qInitResources_FixtureProfiles();
int qInitResources_Images();

namespace {
// The bundles live in a static library, whose own static registration the linker may drop;
// registering them here before main runs keeps the splash picture available.
const int imagesRegistered = qInitResources_Images();
} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(imagesRegistered);
    ProcessSignals::ignoreFileSizeLimitSignal();
    QApplication app(argc, argv);
    ProfileDatabase::instance();

    SplashScreen splash;
    splash.show();
    splash.scheduleKill();
    app.processEvents();

    qInitResources_PropertyMap();
    qInitResources_DeviceConfigFiles();
    qInitResources_FixtureProfiles();

    MetaTool window;
    window.show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    return app.exec();
}
