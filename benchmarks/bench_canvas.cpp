// The main window as users run it, offscreen: a map of 15,000 or 150,000 lights opened from its
// file, live play on and the selection effect running with one light in ten selected. Measures
// opening (time, resident memory after, peak while loading), one whole frame with the canvas
// painted (steady, and with one light's selection changing every frame, which must show on
// that very frame) and the processor share of live play at 44 frames a second.
#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "app/metatool.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "processmeasures.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBrush>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

constexpr int PortsPerInterface = 4;
constexpr int LightsPerPort = 100;
constexpr int FramesPerSecond = 44;

struct FixtureKind
{
    quint32 chemistry;
    quint32 profileId;
    int channels;
};
constexpr FixtureKind Kinds[] = {{0, 0, 3}, {1, 3, 4}, {3, 1, 5}};

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A map file of n lights of 3, 4 and 5 channels in turn, four ports of 100 lights per
// interface, on a 12-pixel grid.
QString writeMap(int n)
{
    const QString path = workDir().filePath(QStringLiteral("canvas-%1.map").arg(n));
    if (QFile::exists(path))
        return path;
    MapModel map;
    int made = 0;
    for (int index = 0; made < n; ++index) {
        DataSupply *dataSupply = map.createDataSupply(2);
        dataSupply->setUid(map.nextUid());
        dataSupply->setIpAddressText(
            QStringLiteral("127.0.%1.%2").arg((index >> 8) & 0xFF).arg((index & 0xFF) + 1));
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
            }
        }
    }
    map.saveMap(path);
    return path;
}

// Lets the peak resident size start again from the current one.
void resetPeak()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Processor time spent in the kernel (sending datagrams, mostly) so far.
double systemSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6;
}

struct WindowRig
{
    std::unique_ptr<MetaTool> window;
    QList<quint64> uids;
    qint64 clockMs = 0;
    double openSeconds = 0;
    long rssAfterKb = 0;
    long peakKb = 0;
    long rssBeforeKb = 0;

    explicit WindowRig(int n)
    {
        const QString path = writeMap(n);
        malloc_trim(0);
        window = std::make_unique<MetaTool>();
        window->resize(1280, 800);
        window->show();
        QApplication::processEvents();
        engine()->setPaused(true);
        rssBeforeKb = processStatusKb("VmRSS");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        window->openMap(path);
        QApplication::processEvents();
        openSeconds = double(timer.nsecsElapsed()) * 1e-9;
        peakKb = processStatusKb("VmHWM");
        rssAfterKb = processStatusKb("VmRSS");
        engine()->setPaused(true);
        uids = window->mapModel()->lights().keys();
        std::sort(uids.begin(), uids.end());
        for (int i = 0; i < uids.size(); i += 10)
            window->selectionEffect()->setLightSelected(uids.at(i), true);
        frame();
        frame();
    }

    EffectEngine *engine() const { return window->effectEngine(); }

    // One frame as the timer would run it, then everything it asked to be painted.
    void frame()
    {
        clockMs += 1000 / FramesPerSecond;
        engine()->tick(QDateTime::currentDateTime(), clockMs);
        QApplication::processEvents();
    }
};

std::unique_ptr<WindowRig> &rigSlot()
{
    static std::unique_ptr<WindowRig> rig;
    return rig;
}

WindowRig &rigFor(int n)
{
    std::unique_ptr<WindowRig> &rig = rigSlot();
    if (!rig || rig->uids.size() != n) {
        rig.reset();
        rig = std::make_unique<WindowRig>(n);
    }
    return *rig;
}

void BM_OpenMapInWindow(benchmark::State &state)
{
    const int n = int(state.range(0));
    for (auto _ : state) {
        rigSlot().reset();
        WindowRig &rig = rigFor(n);
        state.SetIterationTime(rig.openSeconds);
    }
    const WindowRig &rig = rigFor(n);
    state.counters["rss_after_MB"] = double(rig.rssAfterKb) / 1024.0;
    state.counters["peak_MB"] = double(rig.peakKb) / 1024.0;
    state.counters["peak_over_after"] = double(rig.peakKb) / double(rig.rssAfterKb);
    state.counters["window_MB"] = double(rig.rssAfterKb - rig.rssBeforeKb) / 1024.0;
}

void BM_SteadyFrame(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    const quint32 repeatedBefore = rig.engine()->repeatedFrameCount();
    for (auto _ : state)
        rig.frame();
    // Steady frames only send the last frame again.
    state.counters["repeated"] = double(rig.engine()->repeatedFrameCount() - repeatedBefore) /
                                 double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// One light's selection flips before every frame; its square must show the new colour once
// that frame is done.
void BM_SelectionFrame(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    SelectionEffect *selection = rig.window->selectionEffect();
    LayoutView *view = rig.window->layoutView();
    const quint32 partialBefore = rig.engine()->partialFrameCount();
    int next = 1;
    for (auto _ : state) {
        const quint64 uid = rig.uids.at(next);
        next = (next + 7) % rig.uids.size();
        const bool selected = !selection->isLightSelected(uid);
        selection->setLightSelected(uid, selected);
        rig.frame();
        const QColor shown = view->getLayoutViewLight(uid)->brush().color();
        VeyColor fg = selection->fgColor();
        const QColor wanted = selected ? QColor(int(fg.red8()), int(fg.green8()), int(fg.blue8()))
                                       : QColor(Qt::black);
        if (shown.rgb() != wanted.rgb()) {
            state.SkipWithError("a selection change did not show on the next frame");
            break;
        }
    }
    // A selection change paints and writes only the light that changed.
    state.counters["partial"] = double(rig.engine()->partialFrameCount() - partialBefore) /
                                double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// Live play at 44 frames a second on the real frame timer for three seconds: frames reached
// and the share of one core the whole process used.
void BM_LivePlay(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    for (auto _ : state) {
        rig.engine()->setFrameInterval(1000 / FramesPerSecond);
        // One frame on the engine's own clock first: the frames above ran on a made-up one,
        // and the engine would otherwise run fast for seconds to make up the difference.
        rig.engine()->tick(QDateTime::currentDateTime());
        rig.engine()->setPaused(true);
        const quint32 framesBefore = rig.engine()->frameCount();
        const double cpuBefore = processCpuSeconds();
        const double systemBefore = systemSeconds();
        QElapsedTimer wall;
        wall.start();
        rig.engine()->setPaused(false);
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        rig.engine()->setPaused(true);
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        state.SetIterationTime(seconds);
        state.counters["fps"] = double(rig.engine()->frameCount() - framesBefore) / seconds;
        state.counters["cores"] = (processCpuSeconds() - cpuBefore) / seconds;
        const double frames =
            double(std::max<quint32>(rig.engine()->frameCount() - framesBefore, 1));
        state.counters["cpu_ms_per_frame"] = 1000.0 * (processCpuSeconds() - cpuBefore) / frames;
        state.counters["kernel_ms_per_frame"] = 1000.0 * (systemSeconds() - systemBefore) / frames;
    }
}

} // namespace

BENCHMARK(BM_OpenMapInWindow)
    ->Arg(15000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SteadyFrame)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectionFrame)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LivePlay)->Arg(15000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_OpenMapInWindow)
    ->Arg(150000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SteadyFrame)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectionFrame)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LivePlay)->Arg(150000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window reads and writes its settings; keep the user's own store out of it.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    rigSlot().reset();
    benchmark::Shutdown();
    return 0;
}
