#ifndef CREATIONSTEPS_H
#define CREATIONSTEPS_H

#include <QList>
#include <QString>

class DataSupply;
class Light;
class MapModel;
class QComboBox;
class QWidget;

// Steps the light and string creation dialogs share.
namespace CreationSteps {

// Fills list with one "<hex uid> <name>" entry per interface of map, in the map's table order,
// and returns the interfaces in the same order.
QList<DataSupply *> fillInterfaceList(MapModel *map, QComboBox *list);
// The proposed base address on port (1-based) of the interface at the list's current index.
int proposedAddress(const QList<DataSupply *> &interfaces, int current, int port);
// The interface an entry of the list names; null after telling the user why there is none
// (an entry that is not a uid, or an interface no longer in the map).
DataSupply *interfaceOfEntry(MapModel *map, const QString &entry, QWidget *parent);
// A new Orvex IP interface named "<prefix> Interface", added to map; portCount 0 keeps the
// interface's own default.
DataSupply *addNewInterface(MapModel *map, const QString &namePrefix, int portCount);
// Adds light to map and interface and names the light's own group after it. False (light
// not added) when the map refuses it.
bool addLight(MapModel *map, DataSupply *interface, Light *light);

} // namespace CreationSteps

#endif // CREATIONSTEPS_H
