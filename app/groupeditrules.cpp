#include "groupeditrules.h"

#include "model/group.h"
#include "model/mapmodel.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>

QList<quint64> GroupEditRules::containingGroups(const MapModel *map, quint64 uid)
{
    QList<quint64> found;
    if (!map)
        return found;
    // Who lists whom, built once, so the walk upwards visits each group a single time.
    QHash<quint64, QList<quint64>> holders;
    const QHash<quint64, Group *> groups = map->groups();
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        for (quint64 member : it.value()->children())
            holders[member].append(it.key());
    }
    QSet<quint64> visited{uid};
    for (qsizetype next = -1; next < found.size(); ++next) {
        const quint64 current = next < 0 ? uid : found.at(next);
        for (quint64 holder : holders.value(current)) {
            if (!visited.contains(holder)) {
                visited.insert(holder);
                found.append(holder);
            }
        }
    }
    return found;
}

bool GroupEditRules::isUnbrokenRun(QList<int> rows)
{
    if (rows.isEmpty())
        return false;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows.last() - rows.first() == rows.size() - 1;
}

QList<int> GroupEditRules::movedUp(int count, QList<int> selectedRows)
{
    QList<int> order(qMax(count, 0));
    std::iota(order.begin(), order.end(), 0);
    std::sort(selectedRows.begin(), selectedRows.end());
    for (int row : selectedRows) {
        if (row <= 0)
            break;
        if (row < count)
            std::swap(order[row - 1], order[row]);
    }
    return order;
}

QList<int> GroupEditRules::movedDown(int count, QList<int> selectedRows)
{
    QList<int> order(qMax(count, 0));
    std::iota(order.begin(), order.end(), 0);
    std::sort(selectedRows.begin(), selectedRows.end(), std::greater<int>());
    for (int row : selectedRows) {
        if (row >= count - 1)
            break;
        if (row >= 0)
            std::swap(order[row], order[row + 1]);
    }
    return order;
}
