#include "modeltesthelpers.h"

#include "model/group.h"
#include "model/mapmodel.h"

quint64 addGroup(MapModel &map, int type, const QList<quint64> &members)
{
    auto *group = new Group(type, map.nextUid(), QStringLiteral("Group"));
    group->addChildren(members);
    map.addGroup(group);
    return group->uid();
}
