#ifndef CLONELAYOUT_H
#define CLONELAYOUT_H

#include <QRect>
#include <QString>
#include <QVector>

// Where the clone dialog puts the copies of an interface: grid places numbered row by row
// from 1, the first place optionally left empty, every copy below all lights of the map.

enum class CloneLayout { Row, Column, Grid };

struct CloneGrid
{
    int rows = 1;
    int columns = 1;
    bool hole = false;
};

struct ClonePlace
{
    int index = 0; // grid place, row by row; the copy's number is index + 1
    int x = 0;
    int y = 0;
};

// A row ignores the rows and the hole, a column the columns and the hole.
CloneGrid cloneGrid(CloneLayout layout, int rows, int columns, bool hole);
// The stored "/grid" spacing as the dialogs use it: never below 12.
int cloneSpacing(int stored);
// One place per copy (the hole has none): source is the interface's light rectangle, lights
// the rectangle of every light in the map, spacing the grid spacing. Positions saturate at
// the ends of int rather than wrap.
QVector<ClonePlace> clonePlaces(const CloneGrid &grid, const QRect &source, const QRect &lights,
                                int spacing);
// "<source> - clone <number>".
QString cloneName(const QString &sourceName, int number);

#endif // CLONELAYOUT_H
