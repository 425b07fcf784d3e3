#ifndef SUPPLYSNAPSHOT_H
#define SUPPLYSNAPSHOT_H

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <memory>

class DataSupply;
class Light;
class MapModel;

// What a discovery may change on an interface of the map and on the lights it already holds:
// the interface's properties (some of which move its lights, or set their modes, when set), its
// protocol version and DMX buffer size, and each light's channel, modes and properties.
// Restoring puts them back as they were without moving a light twice: the interface's
// properties go back as a whole, and each light takes back its own state.
class SupplySnapshot
{
public:
    SupplySnapshot() = default;
    SupplySnapshot(const DataSupply &ds, const MapModel &map);

    // Lights deleted since the snapshot are passed over; lights added since keep what they have.
    void restore(DataSupply &ds, const MapModel &map) const;

private:
    QHash<QString, QString> m_properties;
    quint16 m_protocolVersion = 0;
    int m_dmxBufSize = 0;
    // Detached copies of the lights, by uid.
    QHash<quint64, std::shared_ptr<const Light>> m_lights;
};

#endif // SUPPLYSNAPSHOT_H
