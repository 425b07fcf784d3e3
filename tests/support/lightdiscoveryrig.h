#ifndef LIGHTDISCOVERYRIG_H
#define LIGHTDISCOVERYRIG_H

#include <QHash>
#include <QList>

#include "support/simulatedorvexinterface.h"

#include <memory>
#include <vector>

class DataSupply;
class DiscoveryEngine;
class EffectEngine;
class Light;
class MapModel;
class SimulatedOrvexNetwork;

// A discovery engine over a loopback network with one simulated interface (127.0.0.2), with
// retries and request copies shortened and the RDM pause off, recording what the engine reports
// about lights. For the light scan and light read tests; build it in init() and drop it in
// cleanup().
struct LightDiscoveryRig
{
    LightDiscoveryRig();
    // Count rounds for a device that answers at once on loopback: an answer is in the socket
    // before its round can end, so a short quiet loses nothing.
    static void useShortCountRounds();
    ~LightDiscoveryRig();

    // An interface at the simulated device's address, owned by the rig.
    DataSupply *supply(quint64 serial, quint16 version);
    // Scans ds and waits until `lights` single lights or `batches` batches are reported.
    bool scan(DataSupply *ds, int lights, int batches = 0);
    // Gives the simulated device these lights, scans it (protocol version 2) and returns the
    // lights found by serial; empty when not all were found.
    QHash<quint64, Light *> scanLights(const QList<SimulatedOrvexInterface::Light> &lights);
    // Waits as long as a scan's fixture counts may take to be handed on after the last reply.
    void waitOutCounts();
    // Reads the light and waits until some read completes.
    bool read(Light *light);
    // Sends a datagram to the engine's socket from a simulated host (the device or another).
    bool sendToEngine(SimulatedOrvexInterface *from, const QByteArray &datagram);

    std::unique_ptr<SimulatedOrvexNetwork> net;
    SimulatedOrvexInterface *device = nullptr;
    std::unique_ptr<MapModel> map;
    std::unique_ptr<EffectEngine> effects;
    std::unique_ptr<DiscoveryEngine> engine;
    std::vector<std::unique_ptr<DataSupply>> supplies;
    QList<Light *> found;          // discoveredLight, in order
    QList<QList<Light *>> batches; // discoveredLights, in order
    QList<quint64> completed;      // lightDataReadComplete, in order
    QList<quint64> countsComplete; // lightCountsComplete, in order
    QList<int> unsettledPorts;     // lightCountsUnsettled, every port named
};

#endif // LIGHTDISCOVERYRIG_H
