#include "windowgeometry.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QTreeView>

namespace WindowGeometry {

void restore(QMainWindow *window, QSplitter *splitter)
{
    const QSettings settings;
    const int x = settings.value("/appx", Absent).toInt();
    const int y = settings.value("/appy", Absent).toInt();
    if (x != Absent && y != Absent)
        window->move(x, y);
    const int width = settings.value("/appwidth", Absent).toInt();
    const int height = settings.value("/appheight", Absent).toInt();
    if (width != Absent && height != Absent)
        window->resize(width, height);
    // Maximised last: a move or resize of a maximised window takes it out of that state.
    if (settings.value("/appmaximized", false).toBool())
        window->showMaximized();

    if (!splitter)
        return;
    QList<int> sizes = splitter->sizes();
    const int defaultWidth = window->width() / 6;
    for (int i = 0; i < sizes.size(); ++i)
        sizes[i] = settings.value("/splitterwidth" + QString::number(i), defaultWidth).toInt();
    splitter->setSizes(sizes);
}

void restoreColumnWidths(QTreeView *tree)
{
    const QSettings settings;
    const int columns = tree->header()->count();
    for (int i = 0; i < columns; ++i) {
        const int width = settings.value("/lightviewcolwidth" + QString::number(i), -1).toInt();
        if (width != -1)
            tree->setColumnWidth(i, width);
    }
}

void write(const QMainWindow *window, const QSplitter *splitter, const QTreeView *tree)
{
    QSettings settings;
    settings.setValue("/appmaximized", window->isMaximized());
    settings.setValue("/appx", window->pos().x());
    settings.setValue("/appy", window->pos().y());
    settings.setValue("/appwidth", window->size().width());
    settings.setValue("/appheight", window->size().height());
    if (splitter) {
        const QList<int> sizes = splitter->sizes();
        for (int i = 0; i < sizes.size(); ++i)
            settings.setValue("/splitterwidth" + QString::number(i), sizes.at(i));
    }
    if (tree) {
        const int columns = tree->header()->count();
        for (int i = 0; i < columns; ++i)
            settings.setValue("/lightviewcolwidth" + QString::number(i), tree->columnWidth(i));
    }
}

} // namespace WindowGeometry
