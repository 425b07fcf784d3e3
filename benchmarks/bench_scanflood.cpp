// A flood of light-scan replies against a discovery engine scanning one four-port interface at
// 127.0.0.2, over loopback: serial lists of 4 x 63 lights a datagram, in batches of 64 (one
// pass of the reply reader), each batch sent and then read to the end. The cases:
//   forged sender   - 127.0.0.3 sends replies that name 127.0.0.2 (dropped by the reader)
//   unscanned host  - 127.0.0.3 sends replies that name itself (dropped by the engine)
//   scan full       - 127.0.0.2 itself, after its scan made all the lights it may
//   fill the scan   - 127.0.0.2 itself, from a fresh scan until it made them (2048 lights)
// Times include sending. Run inside scripts/isolate.sh: the sockets are on loopback only.
#include "benchmain.h"

#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/orvexdatagrams.h"
#include "protocol/osocket.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QUdpSocket>
#include <QtEndian>

#include <memory>

namespace {

constexpr int Batch = Orvex::MaxDatagramsPerPass;
constexpr int EntriesPerDatagram = 4;
constexpr int SerialsPerEntry = 63;

QByteArray serialListReply(quint32 named, quint32 &serial)
{
    QByteArray d(16, '\0');
    qToLittleEndian<quint32>(OrvexDatagrams::Magic, d.data());
    qToLittleEndian<quint16>(1, d.data() + 4);
    qToLittleEndian<quint16>(OrvexDatagrams::BlinkScan2Reply, d.data() + 6);
    qToBigEndian<quint32>(named, d.data() + 8);
    d[12] = char(EntriesPerDatagram);
    for (int e = 0; e < EntriesPerDatagram; ++e) {
        QByteArray entry(4 + 4 * SerialsPerEntry, '\0');
        entry[0] = char(e + 1); // ports 1 to 4
        entry[1] = 1;
        entry[2] = char(4 * SerialsPerEntry);
        for (int i = 0; i < SerialsPerEntry; ++i)
            qToLittleEndian<quint32>(serial++, entry.data() + 4 + 4 * i);
        d += entry;
    }
    return d;
}

struct FloodRig
{
    MapModel map;
    EffectEngine effects{&map, 100};
    std::unique_ptr<DiscoveryEngine> engine;
    DataSupply ds{2};
    QUdpSocket genuine;
    QUdpSocket other;
    quint32 serial = 0x100000;
    int lights = 0;

    FloodRig()
    {
        NetworkSettings &settings = NetworkSettings::instance();
        settings.bindAddress = QHostAddress(QHostAddress::LocalHost);
        settings.broadcastOverride = QHostAddress(QStringLiteral("127.0.0.255"));
        ds.setUid(0x990001);
        ds.setSerialNumber(0x990001);
        ds.setProtocolVersion(2);
        ds.setPortCount(4);
        ds.setIpAddress(QHostAddress(QStringLiteral("127.0.0.2")));
        genuine.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
        other.bind(QHostAddress(QStringLiteral("127.0.0.3")), 0);
        restart();
    }

    void restart()
    {
        engine = std::make_unique<DiscoveryEngine>(&map, &effects);
        QObject::connect(engine.get(), &DiscoveryEngine::discoveredLight, engine.get(),
                         [this](Light *) { ++lights; });
        engine->discoverLights(&ds);
    }

    // Sends one batch and reads it all; the reader takes at most a batch a pass.
    void flood(QUdpSocket &from, quint32 named)
    {
        const OSocket *to = engine->orvex()->socket();
        for (int i = 0; i < Batch; ++i)
            from.writeDatagram(serialListReply(named, serial), to->localAddress(), to->localPort());
        while (engine->orvex()->socket()->hasPendingDatagrams())
            engine->orvex()->checkSocket();
    }
};

const quint32 Scanned = QHostAddress(QStringLiteral("127.0.0.2")).toIPv4Address();
const quint32 Other = QHostAddress(QStringLiteral("127.0.0.3")).toIPv4Address();

void report(benchmark::State &state, const FloodRig &rig)
{
    state.SetItemsProcessed(state.iterations() * Batch);
    state.counters["lights"] = rig.lights;
}

void BM_ForgedSender(benchmark::State &state)
{
    FloodRig rig;
    for (auto _ : state)
        rig.flood(rig.other, Scanned);
    report(state, rig);
}

void BM_UnscannedHost(benchmark::State &state)
{
    FloodRig rig;
    for (auto _ : state)
        rig.flood(rig.other, Other);
    report(state, rig);
}

void BM_ScanFull(benchmark::State &state)
{
    FloodRig rig;
    while (rig.lights < DiscoveryEngine::lightLimitForScan(&rig.ds))
        rig.flood(rig.genuine, Scanned);
    for (auto _ : state)
        rig.flood(rig.genuine, Scanned);
    report(state, rig);
}

void BM_FillTheScan(benchmark::State &state)
{
    FloodRig rig;
    for (auto _ : state) {
        state.PauseTiming();
        rig.restart(); // deletes the lights of the last fill
        rig.lights = 0;
        state.ResumeTiming();
        while (rig.lights < DiscoveryEngine::lightLimitForScan(&rig.ds))
            rig.flood(rig.genuine, Scanned);
    }
    state.counters["lights"] = rig.lights;
}

} // namespace

BENCHMARK(BM_ForgedSender)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnscannedHost)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillTheScan)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // Every fresh scan writes its one drop line; they are not what is measured.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return runBenchmarks<QCoreApplication>(argc, argv);
}
