#ifndef CANVASMAP_H
#define CANVASMAP_H

#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "testlan.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

// The map the window and frame benchmarks build: n lights of 3, 4 and 5 channels in turn, four
// ports of 100 lights per interface, 400 to a row on a 12-pixel grid, written once per process.
// The interfaces are peers on the private test LAN when the process runs inside it, loopback
// addresses otherwise (testlan.h); either way the same map for the same n.
namespace canvasmap {

constexpr int PortsPerInterface = 4;
constexpr int LightsPerPort = 100;

struct FixtureKind
{
    quint32 chemistry;
    quint32 profileId;
    int channels;
};
constexpr FixtureKind Kinds[] = {{0, 0, 3}, {1, 3, 4}, {3, 1, 5}};

inline QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Adds interface `index` of the layout with its lights, numbered on from `made`, until n lights
// are made; each light is handed to `added` once the map holds it.
template <typename Added>
DataSupply *addInterface(MapModel &map, int index, int &made, int n, Added added)
{
    DataSupply *dataSupply = map.createDataSupply(2);
    dataSupply->setUid(map.nextUid());
    dataSupply->setIpAddressText(testlan::peerAddress(index));
    dataSupply->setProtocolVersion(2);
    dataSupply->setPortCount(PortsPerInterface);
    map.addDataSupply(dataSupply);
    for (int port = 0; port < PortsPerInterface; ++port) {
        int channel = 0;
        for (int i = 0; i < LightsPerPort && made < n; ++i, ++made) {
            const FixtureKind &kind = Kinds[made % 3];
            auto *light = new Light();
            light->setUid(map.nextUid());
            light->setDataSupplyUid(dataSupply->uid());
            light->setPort(quint8(port));
            light->setLedChemistry(kind.chemistry);
            light->setHueweaveProfileId(kind.profileId);
            light->setDmxChannel(channel);
            light->setSerialNumber(quint64(0x10000000 + made));
            light->setName(QStringLiteral("Light %1").arg(made));
            LightPose pose;
            pose.x = 12.0 * (made % 400);
            pose.y = 12.0 * (made / 400);
            light->setPose(pose);
            channel += kind.channels;
            dataSupply->addLight(light->uid());
            map.addLight(light);
            added(light);
        }
    }
    return dataSupply;
}

inline QString writeMap(int n)
{
    const QString path = workDir().filePath(
        QStringLiteral("canvas-%1-%2.map").arg(n).arg(testlan::onTestLan() ? "lan" : "loopback"));
    if (QFile::exists(path))
        return path;
    MapModel map;
    int made = 0;
    for (int index = 0; made < n; ++index)
        addInterface(map, index, made, n, [](Light *) {});
    map.saveMap(path);
    return path;
}

} // namespace canvasmap

#endif // CANVASMAP_H
