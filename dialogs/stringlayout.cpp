#include "stringlayout.h"

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

namespace StringLayout {

WalkedGrid walkedGrid(int layout, int rowsBox, int columnsBox)
{
    switch (layout) {
    case Vertical:
        return {rowsBox, 1, 0};
    case BackSlash:
        return {1, columnsBox, 1};
    case ForwardSlash:
        return {1, columnsBox, -1};
    case Tile:
        return {rowsBox, columnsBox, 0};
    default:
        return {1, columnsBox, 0};
    }
}

QPoint position(const WalkedGrid &g, int i, int j, int grid, const QPoint &origin)
{
    return {grid * j + origin.x(), (g.step * j + i) * grid + origin.y()};
}

namespace {
// The eight tile orders: strips are rows (0, 3, 4, 7) or columns (1, 2, 5, 6), counted from
// the start corner; serpentine numbering turns every second strip back.
int tileIndex(const WalkedGrid &g, int order, bool raster, int i, int j)
{
    const int nr = g.rows;
    const int nc = g.columns;
    const int mi = nr - 1 - i;
    const int mj = nc - 1 - j;
    const auto odd = [](int v) { return v % 2 != 0; };
    switch (order) {
    case 0:
        return i * nc + (!raster && odd(i) ? mj : j);
    case 1:
        return j * nr + (!raster && odd(j) ? mi : i);
    case 2:
        return mj * nr + (!raster && odd(mj) ? mi : i);
    case 3:
        return i * nc + (!raster && odd(i) ? j : mj);
    case 4:
        return mi * nc + (!raster && odd(mi) ? j : mj);
    case 5:
        return mj * nr + (!raster && odd(mj) ? i : mi);
    case 6:
        return j * nr + (!raster && odd(j) ? i : mi);
    case 7:
        return mi * nc + (!raster && odd(mi) ? mj : j);
    default:
        return i * nc + j;
    }
}
} // namespace

int index(const WalkedGrid &g, const Numbering &n, int i, int j)
{
    const int k = i * g.columns + j;
    switch (n.layout) {
    case Horizontal:
    case BackSlash:
    case ForwardSlash:
        return n.rightToLeft ? g.columns - 1 - k : k;
    case Vertical:
        return n.bottomToTop ? g.rows - 1 - k : k;
    case Tile:
        return tileIndex(g, n.order, n.raster, i, j);
    default:
        return k;
    }
}

int usableFootprint(int footprint)
{
    return std::max(footprint, 1);
}

int startChannel(int n, int footprint, int base)
{
    return n * usableFootprint(footprint) + base;
}

int nameNumber(int startChannel, int footprint)
{
    return startChannel / usableFootprint(footprint) + 1;
}

QString portAndNumber(int port, int number)
{
    return QStringLiteral("%1-%2")
        .arg(port, 2, 10, QLatin1Char('0'))
        .arg(number, 3, 10, QLatin1Char('0'));
}

namespace {
QString prefix(const QString &text)
{
    return text.isEmpty() ? QString() : text + QLatin1Char(' ');
}
} // namespace

QString stringLightName(const QString &interfaceName, const QString &fixtureType,
                        const QString &baseName, int port, int number)
{
    return prefix(interfaceName) + fixtureType + QLatin1Char(' ') + prefix(baseName) +
           portAndNumber(port, number);
}

QString lightName(const QString &baseName, const QString &fixtureType, int port, int number)
{
    return prefix(baseName) + fixtureType + QLatin1Char(' ') + portAndNumber(port, number);
}

QPoint stringOrigin(AddButton button, int layout, const QRect &bounds, int grid, int columns)
{
    const bool rising = layout == ForwardSlash;
    if (button == AddBelow) {
        const int below = bounds.y() + bounds.height();
        return {std::max(grid, bounds.x()), below + (rising ? (columns + 1) : 2) * grid};
    }
    const int top = std::max(grid, bounds.y());
    return {bounds.x() + bounds.width() + 2 * grid, top + (rising ? (columns - 1) * grid : 0)};
}

QPoint rowOrColumnPosition(bool vertical, int i, const QRect &bounds, int grid)
{
    if (vertical)
        return {bounds.x() + bounds.width() + 2 * grid, (i + 1) * grid};
    return {(i + 1) * grid, bounds.y() + bounds.height() + 2 * grid};
}

int cappedCount(int other, int n)
{
    if (n > 0 && qint64(other) * n > MaxLights)
        return MaxLights / n;
    return other;
}

bool countsMatch(int layout, int rows, int columns, int discovered)
{
    switch (layout) {
    case Vertical:
        return rows == discovered;
    case Tile:
        return qint64(rows) * columns == discovered;
    default:
        return columns == discovered;
    }
}

bool parseInterfaceEntry(const QString &entry, quint64 *uid)
{
    bool ok = false;
    const quint64 value = entry.section(QLatin1Char(' '), 0, 0).toULongLong(&ok, 16);
    if (ok && uid)
        *uid = value;
    return ok;
}

QString interfaceEntry(quint64 uid, const QString &name)
{
    return QString::number(uid, 16).toUpper() + QLatin1Char(' ') + name;
}

InterfaceDefaults interfaceDefaults(const QString &model)
{
    // Supplies that only drive one kind of light, and the family of lights that are their own
    // interface.
    static const QRegularExpression supplies(
        QStringLiteral("PDS-TQ410|PDS-TQ52hx|RM-90hx Rack Supply|Trevan Compact 24"));
    InterfaceDefaults defaults;
    if (model.contains(supplies))
        defaults.fixtureType = QStringLiteral("Veylight Fernrow Cove RGB");
    else if (model.contains(QLatin1String("Keltrane Node")))
        defaults.modelIsFixtureType = true;
    defaults.resolutionFromLight = model == QLatin1String("PDS-TQ52hx");
    return defaults;
}

int storedGrid()
{
    const QSettings settings;
    return std::max(12, settings.value(QStringLiteral("/grid"), 12).toInt());
}

} // namespace StringLayout
