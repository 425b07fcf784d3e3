#ifndef STRINGLAYOUT_H
#define STRINGLAYOUT_H

#include <QPoint>
#include <QRect>
#include <QString>

// The geometry and numbering of the lights that the creation dialogs make: where each light
// of a string goes, which index along the string it gets, and the channel and name that
// follow from that index. Pure functions, so the rules are tested without any widget.
namespace StringLayout {

enum Layout { Horizontal = 0, Vertical = 1, BackSlash = 2, ForwardSlash = 3, Tile = 4 };
enum AddButton { AddRight = 0, AddBelow = 1 };

// Rows times columns never goes above this many lights in one string.
constexpr int MaxLights = 65000;

// The grid the creation walks, rows outer, columns inner; step is the diagonal's rise per
// column (+1 down to the right, -1 up to the right, 0 straight).
struct WalkedGrid
{
    int rows = 1;
    int columns = 1;
    int step = 0;
};
WalkedGrid walkedGrid(int layout, int rowsBox, int columnsBox);

// Canvas position of the light at walked row i and column j.
QPoint position(const WalkedGrid &g, int i, int j, int grid, const QPoint &origin);

struct Numbering
{
    int layout = Horizontal;
    bool rightToLeft = false;
    bool bottomToTop = false;
    int order = 0; // tile start corner and first direction, 0..7
    bool raster = false;
};
// The 0-based index along the string of the light at walked row i and column j.
int index(const WalkedGrid &g, const Numbering &n, int i, int j);

// A fixture that reports no channels still takes one, so the numbering never divides by 0.
int usableFootprint(int footprint);
// 0-based start channel of the light with index n; base is the first light's 0-based start.
int startChannel(int n, int footprint, int base);
// The number a light's name carries: its start channel counted in footprints, from 1.
int nameNumber(int startChannel, int footprint);
// "<port, 2 digits>-<number, 3 digits>", the end of every created light's name.
QString portAndNumber(int port, int number);
// The name of a string's light: interface, fixture type, base name, port and number.
QString stringLightName(const QString &interfaceName, const QString &fixtureType,
                        const QString &baseName, int port, int number);
// The name of a light of the light creation dialog: base name, fixture type, port, number.
QString lightName(const QString &baseName, const QString &fixtureType, int port, int number);

// Where the string's first light goes when added below or right of the lights' bounds.
QPoint stringOrigin(AddButton button, int layout, const QRect &bounds, int grid, int columns);
// Position of light i of the light creation dialog, in a column right of the bounds or in a
// row below them.
QPoint rowOrColumnPosition(bool vertical, int i, const QRect &bounds, int grid);

// The value the other count box drops to when this one becomes n, or other when it fits.
int cappedCount(int other, int n);
// Whether rows x columns of this layout places exactly the discovered number of lights.
bool countsMatch(int layout, int rows, int columns, int discovered);

// The proposed 1-based base address on a port whose highest used channel is lastChannel
// (0-based, -1 when the port is empty).
inline int proposedAddress(int lastChannel)
{
    return lastChannel + 2;
}

// The interface uid in an entry of the interface list ("<hex uid> <name>"); false when the
// entry does not start with a hexadecimal number.
bool parseInterfaceEntry(const QString &entry, quint64 *uid);
QString interfaceEntry(quint64 uid, const QString &name);

// What the model of the interface a discovered string hangs on says about its lights: a
// fixture type to select, whether the model is itself the fixture type, and whether the first
// light's resolution is to be selected.
struct InterfaceDefaults
{
    QString fixtureType;
    bool modelIsFixtureType = false;
    bool resolutionFromLight = false;
};
InterfaceDefaults interfaceDefaults(const QString &model);

// The grid spacing the dialogs place lights on, from the stored "/grid" (never below 12).
int storedGrid();

} // namespace StringLayout

#endif // STRINGLAYOUT_H
