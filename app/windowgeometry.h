#ifndef WINDOWGEOMETRY_H
#define WINDOWGEOMETRY_H

class QMainWindow;
class QSplitter;
class QTreeView;

// The main window's placement in the settings store: maximised state, position, size, the
// splitter's pane widths and the light tree's column widths.
namespace WindowGeometry {
// A stored position or size equal to this means none was stored.
constexpr int Absent = 2147483647;

void restore(QMainWindow *window, QSplitter *splitter);
void restoreColumnWidths(QTreeView *tree);
// tree may be null (nothing is written for its columns then).
void write(const QMainWindow *window, const QSplitter *splitter, const QTreeView *tree);
} // namespace WindowGeometry

#endif // WINDOWGEOMETRY_H
