#ifndef APPSETTINGS_H
#define APPSETTINGS_H

#include <QString>

// The main window's preferences as kept in the settings store, each with its default and the
// range the program can work with. A stored value outside that range reads as the default
// (or, for the grid, as its floor), so a hand-edited or damaged store cannot stop the frame
// clock or shrink the grid below what the canvas draws.
struct AppSettings
{
    static constexpr int DefaultFrameRate = 10;
    static constexpr int MinFrameRate = 1;
    static constexpr int MaxFrameRate = 100;
    static constexpr int MinGridSpacing = 12;
    static constexpr int DefaultRecentMapCount = 5;
    static constexpr int MinRecentMapCount = 1;
    static constexpr int MaxRecentMapCount = 9;

    QString mapFolder = QStringLiteral("./");
    bool showGrid = true;
    bool snapToGrid = true;
    int canvasWidth = 10000;
    int canvasHeight = 10000;
    int gridSpacing = MinGridSpacing;
    int zoom = 10;
    bool recentMapsEnabled = true;
    int recentMapCount = DefaultRecentMapCount;
    bool livePlay = true;
    int frameRate = DefaultFrameRate;

    // Reads the eleven preference keys, in the order the store documents them.
    static AppSettings read();
    // The recent-map count alone: the recent list is read before the other preferences and
    // must know how many entries to read back.
    static int readRecentMapCount();
    void write() const;

    int frameInterval() const { return 1000 / frameRate; }

    static int boundedFrameRate(int stored);
    static int boundedGridSpacing(int stored);
    static int boundedRecentMapCount(int stored);
};

#endif // APPSETTINGS_H
