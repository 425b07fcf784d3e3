#ifndef MODELTESTHELPERS_H
#define MODELTESTHELPERS_H

#include <QList>

class MapModel;

// Adds a group named "Group" of the given type and members under a fresh uid; returns the uid.
quint64 addGroup(MapModel &map, int type, const QList<quint64> &members);

#endif // MODELTESTHELPERS_H
