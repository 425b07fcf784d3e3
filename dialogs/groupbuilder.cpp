#include "groupbuilder.h"

#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

void GroupBuilder::Bounds::include(const QPointF &p)
{
    minX = qMin(minX, p.x());
    minY = qMin(minY, p.y());
    maxX = qMax(maxX, p.x());
    maxY = qMax(maxY, p.y());
}

double GroupBuilder::sweepAngle(int start)
{
    static const double angles[StartPositionCount] = {
        0.0, M_PI, M_PI / 2, 3 * M_PI / 2, M_PI / 4, 3 * M_PI / 4, 7 * M_PI / 4, 5 * M_PI / 4};
    return (start >= 0 && start < StartPositionCount) ? angles[start] : angles[Left];
}

QPointF GroupBuilder::referencePoint(int start, const Bounds &b)
{
    const double midX = (b.minX + b.maxX) / 2;
    const double midY = (b.minY + b.maxY) / 2;
    switch (start) {
    case Right:
        return {b.maxX, midY};
    case Top:
        return {midX, b.minY};
    case Bottom:
        return {midX, b.maxY};
    case TopLeft:
        return {b.minX, b.minY};
    case TopRight:
        return {b.maxX, b.minY};
    case BottomLeft:
        return {b.minX, b.maxY};
    case BottomRight:
        return {b.maxX, b.maxY};
    default:
        return {b.minX, midY};
    }
}

QPointF GroupBuilder::rotatedPosition(int start, const Bounds &bounds, const QPointF &pos)
{
    const double a = sweepAngle(start);
    const QPointF ref = referencePoint(start, bounds);
    const double dx = pos.x() - ref.x();
    const double dy = pos.y() - ref.y();
    const double theta = std::atan2(dy, dx);
    const double r = std::sqrt(dx * dx + dy * dy);
    // Adding 0.5 and truncating towards zero puts -0.7 and 0.4 on the same line.
    return {std::trunc(std::cos(a - theta) * r + 0.5), std::trunc(std::sin(a - theta) * r + 0.5)};
}

QList<QList<quint64>> GroupBuilder::lines(QList<PositionRecord> records)
{
    std::sort(records.begin(), records.end(), PositionRecord::lessThan);
    QList<QList<quint64>> result;
    for (int i = 0; i < records.size(); ++i) {
        if (i == 0 || records.at(i).u != records.at(i - 1).u)
            result.append(QList<quint64>());
        result.last().append(records.at(i).uid);
    }
    return result;
}

QString GroupBuilder::groupName(const QString &entered)
{
    return entered.isEmpty() ? QStringLiteral("Default Group") : entered;
}

QString GroupBuilder::subgroupName(const QString &name, int n)
{
    return name + QStringLiteral(" Subgroup ") + QString::number(n);
}

int GroupBuilder::startFor(bool keepChecked, bool selectAll, int checkedStart)
{
    if (selectAll && keepChecked)
        return Top;
    return (checkedStart >= 0 && checkedStart < StartPositionCount) ? checkedStart : Left;
}

GroupBuilder::Bounds GroupBuilder::boundsOf(const MapModel *map, const QList<quint64> &uids)
{
    Bounds bounds;
    for (quint64 uid : uids) {
        if (const Light *light = map->light(uid))
            bounds.include(QPointF(light->pose().x, light->pose().y));
    }
    return bounds;
}

Group *GroupBuilder::addNewGroup(MapModel *map, int type, const QString &name)
{
    auto *group = new Group(type, map->nextUid(), name);
    if (!map->addGroup(group)) {
        delete group;
        return nullptr;
    }
    return group;
}

Group *GroupBuilder::build(MapModel *map, const QList<quint64> &clickOrder, const Options &options,
                           Progress *progress)
{
    if (!map)
        return nullptr;
    Progress silent;
    Progress &p = progress ? *progress : silent;
    const QString name = groupName(options.name);
    if (options.keepClickOrder)
        return buildInClickOrder(map, clickOrder, name, p);
    return buildReordered(map, clickOrder, options, name, p);
}

Group *GroupBuilder::buildInClickOrder(MapModel *map, const QList<quint64> &clickOrder,
                                       const QString &name, Progress &progress)
{
    const int n = int(clickOrder.size());
    const int step = qMax(n / 100, 1);
    progress.start(n);
    Group *group = addNewGroup(map, Group::Chasing, name);
    if (!group)
        return nullptr;
    for (int i = 1; i <= n; ++i) {
        group->addChild(clickOrder.at(i - 1));
        if (i % step == 0 && !progress.advance(i))
            break;
    }
    return group;
}

Group *GroupBuilder::buildReordered(MapModel *map, const QList<quint64> &clickOrder,
                                    const Options &options, const QString &name, Progress &progress)
{
    const int n = int(clickOrder.size());
    int step = 2 * n / 100;
    if (step < 2)
        step = 1;
    progress.start(2 * n);

    // One lookup per light: the positions are gathered with the bounds they span, and the
    // records follow once the box is known.
    struct Found
    {
        QPointF pos;
        quint64 uid;
    };
    QList<Found> found;
    found.reserve(n);
    Bounds bounds;
    int k = 1;
    for (quint64 uid : clickOrder) {
        if (const Light *light = map->light(uid)) {
            found.append({QPointF(light->pose().x, light->pose().y), uid});
            bounds.include(found.last().pos);
        }
        if (k % step == 0 && !progress.advance(k))
            return nullptr;
        ++k;
    }
    QList<PositionRecord> records;
    records.reserve(found.size());
    for (const Found &f : std::as_const(found)) {
        const QPointF uv = rotatedPosition(options.start, bounds, f.pos);
        records.append({uv.x(), uv.y(), f.uid});
    }

    // The lines are cut in one go; the second half of the progress still counts one step per
    // light, and a cancel there still creates nothing.
    const QList<QList<quint64>> rows = lines(records);
    for (int i = 0; i < records.size(); ++i, ++k) {
        if (k % step == 0 && !progress.advance(k))
            return nullptr;
    }

    Group *main = addNewGroup(map, Group::Chasing, name);
    if (!main)
        return nullptr;
    for (int i = 0; i < rows.size(); ++i) {
        Group *target = main;
        if (options.subgroups) {
            target = addNewGroup(map, Group::Synchronized, subgroupName(name, i + 1));
            if (!target)
                return main;
            main->addChild(target->uid());
        }
        QList<quint64> present;
        present.reserve(rows.at(i).size());
        for (quint64 uid : rows.at(i)) {
            if (map->light(uid))
                present.append(uid);
        }
        target->addChildren(present);
    }
    return main;
}
