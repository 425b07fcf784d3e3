#include "appsettings.h"

#include <QSettings>

namespace {
int readInt(const QSettings &settings, const char *key, int defaultValue)
{
    bool ok = false;
    const int value = settings.value(key, defaultValue).toInt(&ok);
    return ok ? value : defaultValue;
}
} // namespace

int AppSettings::boundedFrameRate(int stored)
{
    // The frame interval divides by the rate: only rates the preferences could have given
    // are taken.
    return stored < MinFrameRate || stored > MaxFrameRate ? DefaultFrameRate : stored;
}

int AppSettings::boundedGridSpacing(int stored)
{
    return qMax(MinGridSpacing, stored);
}

int AppSettings::boundedRecentMapCount(int stored)
{
    return stored < MinRecentMapCount || stored > MaxRecentMapCount ? DefaultRecentMapCount
                                                                    : stored;
}

int AppSettings::readRecentMapCount()
{
    const QSettings settings;
    return boundedRecentMapCount(readInt(settings, "/num_recent_maps", DefaultRecentMapCount));
}

AppSettings AppSettings::read()
{
    const QSettings settings;
    AppSettings s;
    s.mapFolder = settings.value("/map_path", s.mapFolder).toString();
    s.showGrid = settings.value("/show_grid", s.showGrid).toBool();
    s.snapToGrid = settings.value("/snap_grid", s.snapToGrid).toBool();
    s.canvasWidth = readInt(settings, "/canvas_width", s.canvasWidth);
    s.canvasHeight = readInt(settings, "/canvas_height", s.canvasHeight);
    s.gridSpacing = boundedGridSpacing(readInt(settings, "/grid", s.gridSpacing));
    s.zoom = readInt(settings, "/zoom", s.zoom);
    s.recentMapsEnabled = settings.value("/recent_maps_enabled", s.recentMapsEnabled).toBool();
    s.recentMapCount =
        boundedRecentMapCount(readInt(settings, "/num_recent_maps", s.recentMapCount));
    s.livePlay = settings.value("/live_play", s.livePlay).toBool();
    s.frameRate = boundedFrameRate(readInt(settings, "/frame_rate", s.frameRate));
    return s;
}

void AppSettings::write() const
{
    QSettings settings;
    settings.setValue("/map_path", mapFolder);
    settings.setValue("/show_grid", showGrid);
    settings.setValue("/snap_grid", snapToGrid);
    settings.setValue("/canvas_width", canvasWidth);
    settings.setValue("/canvas_height", canvasHeight);
    settings.setValue("/grid", gridSpacing);
    settings.setValue("/zoom", zoom);
    settings.setValue("/recent_maps_enabled", recentMapsEnabled);
    settings.setValue("/num_recent_maps", recentMapCount);
    settings.setValue("/live_play", livePlay);
    settings.setValue("/frame_rate", frameRate);
}
