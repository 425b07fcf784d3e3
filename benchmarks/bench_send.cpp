// The whole live frame with sending, next to the physical floor: the same datagrams of one
// frame sent with plain sendto on one socket. For port-outs (four ports an interface) and for
// version-1 DMX frames (one universe an interface), lights of 3, 4 and 5 channels in turn.
// Run it inside the private test LAN (scripts/isolate.sh --lan) for datagrams that leave
// through an interface driver to the peers' socket; elsewhere it sends to loopback addresses.
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "protocol/framebatch.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/orvexdatagrams.h"
#include "testlan.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDateTime>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

using testlan::peerAddress;

constexpr int LightsPerPort = 100;
constexpr int Kinds[][3] = {{0, 0, 3}, {1, 3, 4}, {3, 1, 5}}; // chemistry, profile, channels

struct Datagram
{
    sockaddr_in to{};
    QByteArray bytes;
};

struct SendRig
{
    MapModel map;
    std::unique_ptr<SelectionEffect> effect;
    std::unique_ptr<EffectEngine> engine;
    Orvex orvex;
    FrameBatch batch{&orvex};
    qint64 clockMs = 0;
    bool capture = false;
    std::vector<Datagram> captured;
    std::vector<quint64> everyTenth;

    SendRig(int lights, int version)
    {
        effect = std::make_unique<SelectionEffect>(&map, 4294967295u);
        const int ports = version == 1 ? 1 : 4;
        QList<quint64> uids;
        for (int index = 0; uids.size() < lights; ++index)
            addInterface(index, ports, version, lights, uids);
        map.setLivePlayDisabled(false);
        effect->reset();
        effect->enabled = true;
        for (int n = 0; n < uids.size(); n += 10)
            everyTenth.push_back(uids.at(n));
        for (const quint64 uid : everyTenth)
            effect->setLightSelected(uid, true);
        QObject::connect(
            &map, &MapModel::signalSendPortOut, &map,
            [this](QString ip, quint32, quint8 port, quint16, quint16 startCode, QByteArray data) {
                batch.addPortOut(ip, port, startCode, data);
                if (capture)
                    keep(ip.toLatin1(),
                         OrvexDatagrams::buildPortOut(
                             0xFFFFFFFF, port, 0, startCode,
                             reinterpret_cast<const uchar *>(padded(data).constData()),
                             OrvexDatagrams::MaxDmxData));
            });
        QObject::connect(&map, &MapModel::signalSendDmxFrame, &map,
                         [this](QString ip, quint16, quint16, QByteArray data) {
                             batch.addDmxFrame(ip, data);
                             if (capture)
                                 keep(ip.toLatin1(),
                                      OrvexDatagrams::buildDmxOut(
                                          0, 0,
                                          reinterpret_cast<const uchar *>(padded(data).constData()),
                                          OrvexDatagrams::MaxDmxData));
                         });
        engine = std::make_unique<EffectEngine>(&map, 100);
        // As the main window sends: the frame's datagrams together at its end.
        QObject::connect(engine.get(), &EffectEngine::frameOutputStarting, &map,
                         [this] { batch.begin(); });
        QObject::connect(engine.get(), &EffectEngine::frameOutputFinished, &map,
                         [this] { batch.flush(); });
        engine->setPaused(true);
        engine->addEffect(effect.get());
    }

    static QByteArray padded(const QByteArray &data)
    {
        QByteArray universe = data.left(OrvexDatagrams::MaxDmxData);
        universe.append(QByteArray(OrvexDatagrams::MaxDmxData - universe.size(), '\0'));
        return universe;
    }

    void keep(const QByteArray &address, const QByteArray &bytes)
    {
        Datagram datagram;
        datagram.to.sin_family = AF_INET;
        datagram.to.sin_port = htons(NetworkSettings::instance().orvexPort);
        inet_pton(AF_INET, address.constData(), &datagram.to.sin_addr);
        datagram.bytes = bytes;
        captured.push_back(datagram);
    }

    void addInterface(int index, int ports, int version, int lights, QList<quint64> &uids)
    {
        DataSupply *dataSupply = map.createDataSupply(2);
        dataSupply->setUid(map.nextUid());
        // Peers on the private test LAN when there is one, so every datagram leaves through an
        // interface driver as it does for a user.
        dataSupply->setIpAddressText(peerAddress(index));
        dataSupply->setProtocolVersion(version);
        dataSupply->setPortCount(ports);
        map.addDataSupply(dataSupply);
        for (int port = 0; port < ports; ++port) {
            int channel = 0;
            for (int i = 0; i < LightsPerPort && uids.size() < lights; ++i) {
                const int *kind = Kinds[uids.size() % 3];
                auto *light = new Light();
                light->setUid(map.nextUid());
                light->setDataSupplyUid(dataSupply->uid());
                light->setPort(quint8(port));
                light->setLedChemistry(quint32(kind[0]));
                light->setHueweaveProfileId(quint32(kind[1]));
                light->setDmxChannel(channel);
                channel += kind[2];
                dataSupply->addLight(light->uid());
                uids.append(light->uid());
                map.addLight(light);
            }
        }
        dataSupply->updateBufferSizes();
    }

    void frame()
    {
        clockMs += 100;
        engine->tick(QDateTime::currentDateTime(), clockMs);
    }
};

struct ProcessTimes
{
    double userMs = 0;
    double kernelMs = 0;

    static ProcessTimes now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        auto ms = [](const timeval &time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
        return {ms(usage.ru_utime), ms(usage.ru_stime)};
    }
    ProcessTimes operator-(const ProcessTimes &other) const
    {
        return {userMs - other.userMs, kernelMs - other.kernelMs};
    }
    ProcessTimes &operator+=(const ProcessTimes &other)
    {
        userMs += other.userMs;
        kernelMs += other.kernelMs;
        return *this;
    }
};

std::unique_ptr<SendRig> &rigSlot()
{
    static std::unique_ptr<SendRig> rig;
    return rig;
}

SendRig &rigFor(int lights, int version)
{
    static int shape[2] = {0, 0};
    std::unique_ptr<SendRig> &rig = rigSlot();
    if (!rig || shape[0] != lights || shape[1] != version) {
        rig.reset();
        rig = std::make_unique<SendRig>(lights, version);
        shape[0] = lights;
        shape[1] = version;
        rig->frame();
        rig->capture = true;
        rig->frame();
        rig->capture = false;
    }
    return *rig;
}

// The program's whole frame: engine, effect, buffers, datagrams built and sent.
void BM_FrameWithSend(benchmark::State &state)
{
    SendRig &rig = rigFor(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        rig.frame();
    state.counters["datagrams"] = double(rig.captured.size());
}

// The frame in which every light's colour really changes: Select All and Clear in turn
// (untimed), each followed by the timed frame that paints, converts, writes and sends every
// light anew.
void BM_FrameWithSendWhole(benchmark::State &state)
{
    SendRig &rig = rigFor(int(state.range(0)), int(state.range(1)));
    bool all = false;
    // The frame's own time in the program and in the kernel, which the floor spends all in
    // the kernel.
    ProcessTimes spent;
    for (auto _ : state) {
        state.PauseTiming();
        all = !all;
        if (all)
            rig.effect->selectAll();
        else
            rig.effect->clearSelection();
        const ProcessTimes before = ProcessTimes::now();
        state.ResumeTiming();
        rig.frame();
        state.PauseTiming();
        spent += ProcessTimes::now() - before;
        state.ResumeTiming();
    }
    state.counters["user_ms"] = spent.userMs / double(state.iterations());
    state.counters["kernel_ms"] = spent.kernelMs / double(state.iterations());
    // Back to the selection the other benchmarks measure.
    rig.effect->clearSelection();
    for (const quint64 uid : rig.everyTenth)
        rig.effect->setLightSelected(uid, true);
    rig.frame();
    state.counters["datagrams"] = double(rig.captured.size());
}

// The floor: only the sendto calls for the same datagrams.
void BM_RawSendFloor(benchmark::State &state)
{
    SendRig &rig = rigFor(int(state.range(0)), int(state.range(1)));
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    for (auto _ : state) {
        for (const Datagram &datagram : rig.captured)
            sendto(fd, datagram.bytes.constData(), size_t(datagram.bytes.size()), 0,
                   reinterpret_cast<const sockaddr *>(&datagram.to), sizeof datagram.to);
    }
    close(fd);
    state.counters["datagrams"] = double(rig.captured.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Each size and kind once, the frame and its floor one after the other on the same map.
    for (int version : {2, 1}) {
        for (int lights : {15000, 150000, 600000}) {
            benchmark::RegisterBenchmark("BM_FrameWithSend", BM_FrameWithSend)
                ->Args({lights, version})
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("BM_RawSendFloor", BM_RawSendFloor)
                ->Args({lights, version})
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("BM_FrameWithSendWhole", BM_FrameWithSendWhole)
                ->Args({lights, version})
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::AddCustomContext("destination", testlan::destination());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    rigSlot().reset();
    benchmark::Shutdown();
    return 0;
}
