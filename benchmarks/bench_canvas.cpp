// The main window as users run it, offscreen: a map of 15,000 or 150,000 lights opened from its
// file, live play on and the selection effect running with one light in ten selected. Measures
// opening (time, resident memory after, peak while loading), one whole frame with the canvas
// painted (steady, and with one light's selection changing every frame, which must show on
// that very frame) and the processor share of live play at 44 frames a second.
// Then the user works on the canvas, zoomed to fit, while live play runs on its own timer:
// pointer events on the canvas's viewport drag 10,000 selected lights, pull a band, click
// lights; Select All and a click on empty canvas take turns; a chase highlight steps; 400
// lights are deleted. Each action is timed with the repaint it causes, and the frames the
// engine actually handed to the socket are counted meanwhile.
// Inside the private test LAN (scripts/isolate.sh --lan) the map's interfaces are peers on it
// and the datagrams leave through an interface driver; elsewhere they go to loopback
// addresses. The output's context names which.
#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "app/metatool.h"
#include "canvasmap.h"
#include "dialogs/userprompt.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/group.h"
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
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int FramesPerSecond = 44;

using canvasmap::writeMap;

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

// Answers the deletion question with Yes.
class YesPrompt : public UserPrompt
{
public:
    YesPrompt() : m_previous(instance()) { setInstance(this); }
    ~YesPrompt() override { setInstance(m_previous); }
    QMessageBox::StandardButton question(QWidget *, QMessageBox::Icon, const QString &,
                                         const QString &, QMessageBox::StandardButtons,
                                         QMessageBox::StandardButton) override
    {
        return QMessageBox::Yes;
    }

private:
    UserPrompt *m_previous;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Live play on the engine's own timer while an action runs every interval: frames sent per
// second, the process's share of a core, the longest wait between two frames, and how long
// the actions took with their repaints.
struct LiveRun
{
    double fps = 0;
    double cores = 0;
    double kernelCores = 0;
    double worstGapMs = 0;
    std::vector<double> actionMs;

    void report(benchmark::State &state, const char *action) const
    {
        state.counters["fps"] = fps;
        state.counters["cores"] = cores;
        state.counters["kernel_cores"] = kernelCores;
        state.counters["worst_frame_gap_ms"] = worstGapMs;
        state.counters[std::string(action) + "_ms_median"] = median(actionMs);
        state.counters[std::string(action) + "_ms_max"] =
            actionMs.empty() ? 0 : *std::max_element(actionMs.begin(), actionMs.end());
        state.counters["actions"] = double(actionMs.size());
    }
};

LiveRun runLive(WindowRig &rig, int seconds, int intervalMs, const std::function<void()> &action)
{
    EffectEngine *engine = rig.engine();
    engine->setFrameInterval(1000 / FramesPerSecond);
    engine->tick(QDateTime::currentDateTime());
    engine->setPaused(true);
    QApplication::processEvents();
    LiveRun run;
    int sent = 0;
    QElapsedTimer wall;
    qint64 lastFrameNs = -1;
    QObject scope;
    QObject::connect(engine, &EffectEngine::frameOutputFinished, &scope, [&] {
        const qint64 now = wall.nsecsElapsed();
        if (lastFrameNs >= 0)
            run.worstGapMs = std::max(run.worstGapMs, double(now - lastFrameNs) * 1e-6);
        lastFrameNs = now;
        ++sent;
    });
    QTimer user;
    user.setInterval(intervalMs);
    QObject::connect(&user, &QTimer::timeout, &scope, [&] {
        QElapsedTimer timer;
        timer.start();
        action();
        run.actionMs.push_back(double(timer.nsecsElapsed()) * 1e-6);
    });
    const double cpuBefore = processCpuSeconds();
    const double systemBefore = systemSeconds();
    wall.start();
    engine->setPaused(false);
    user.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    user.stop();
    engine->setPaused(true);
    const double elapsed = double(wall.nsecsElapsed()) * 1e-9;
    run.fps = double(sent) / elapsed;
    run.cores = (processCpuSeconds() - cpuBefore) / elapsed;
    run.kernelCores = (systemSeconds() - systemBefore) / elapsed;
    return run;
}

LayoutView *canvas(WindowRig &rig)
{
    return rig.window->layoutView();
}

void pointer(WindowRig &rig, QEvent::Type type, const QPointF &at, Qt::MouseButton button,
             Qt::MouseButtons held)
{
    QWidget *port = canvas(rig)->viewport();
    QMouseEvent event(type, at, port->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(port, &event);
}

// Where a canvas point shows in the viewport.
QPointF onScreen(WindowRig &rig, const QPointF &scenePoint)
{
    return canvas(rig)->viewportTransform().map(scenePoint);
}

// The canvas zoomed to fit the map, nothing selected, the pictures drawn.
void fitAndClear(WindowRig &rig)
{
    LayoutView *view = canvas(rig);
    view->autoZoom();
    view->clearSelectedItems();
    rig.frame();
    view->viewport()->repaint();
    QApplication::processEvents();
}

// The lights in creation order; the map places them in rows of 400 from the top left.
QPointF placeOf(int index)
{
    return QPointF(12.0 * (index % 400) + 3, 12.0 * (index / 400) + 3);
}

void BM_LiveDragTenThousand(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    fitAndClear(rig);
    for (int i = 0; i < 10000; ++i)
        rig.window->selectionEffect()->setLightSelected(rig.uids.at(i), true);
    LayoutView *view = canvas(rig);
    const QPointF grab = onScreen(rig, placeOf(5000));
    pointer(rig, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    // The drag starts once the pointer has left the press by the drag distance.
    const QPointF start = grab + QPointF(QApplication::startDragDistance(), 0);
    pointer(rig, QEvent::MouseMove, start, Qt::NoButton, Qt::LeftButton);
    pointer(rig, QEvent::MouseMove, grab, Qt::NoButton, Qt::LeftButton);
    // Two pixels to and fro: at the fit's scale a grid step or two of the canvas.
    const QPointF away = grab + QPointF(2, 2);
    bool out = true;
    for (auto _ : state) {
        const LiveRun run = runLive(rig, 4, 16, [&] {
            pointer(rig, QEvent::MouseMove, out ? away : grab, Qt::NoButton, Qt::LeftButton);
            view->viewport()->repaint();
            out = !out;
        });
        state.SetIterationTime(4);
        run.report(state, "drag_step");
    }
    pointer(rig, QEvent::MouseButtonRelease, grab, Qt::LeftButton, Qt::NoButton);
    if (view->selectionList().size() != 10000)
        state.SkipWithError("the drag lost the selection");
    fitAndClear(rig);
}

void BM_LiveSelectAllAndClear(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    fitAndClear(rig);
    LayoutView *view = canvas(rig);
    // An empty spot beside the map.
    const QPointF empty = onScreen(rig, QPointF(-30, -30));
    bool all = true;
    for (auto _ : state) {
        const LiveRun run = runLive(rig, 4, 500, [&] {
            if (all) {
                rig.window->handleSelectAllLightsAction();
            } else {
                pointer(rig, QEvent::MouseButtonPress, empty, Qt::LeftButton, Qt::LeftButton);
                pointer(rig, QEvent::MouseButtonRelease, empty, Qt::LeftButton, Qt::NoButton);
            }
            view->viewport()->repaint();
            all = !all;
        });
        state.SetIterationTime(4);
        run.report(state, "select_or_clear");
    }
    fitAndClear(rig);
}

// A chasing group of synchronized steps of 100 lights each (1,500 steps at 150,000 lights)
// highlighted: every frame 100 lights go dark and 100 light up.
void BM_LiveChaseHighlight(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    fitAndClear(rig);
    MapModel *map = rig.window->mapModel();
    auto *chase = new Group(Group::Chasing, map->nextUid(), QStringLiteral("bench chase"));
    map->addGroup(chase);
    for (int first = 0; first + 100 <= rig.uids.size(); first += 100) {
        auto *step = new Group(Group::Synchronized, map->nextUid(), QStringLiteral("step"));
        step->addChildren(rig.uids.mid(first, 100));
        map->addGroup(step);
        chase->addChild(step->uid());
    }
    rig.window->selectionEffect()->highlightGroup(chase->uid());
    const quint32 partialBefore = rig.engine()->partialFrameCount();
    const quint32 framesBefore = rig.engine()->frameCount();
    for (auto _ : state) {
        const LiveRun run = runLive(rig, 4, 1000, [] {});
        state.SetIterationTime(4);
        run.report(state, "idle");
    }
    state.counters["steps"] = double(chase->lightMatrix().stepLightUids.size());
    state.counters["partial_share"] = double(rig.engine()->partialFrameCount() - partialBefore) /
                                      double(rig.engine()->frameCount() - framesBefore);
    fitAndClear(rig);
}

// Every square drawn again, the map zoomed to fit; the first repaint after the zoom draws
// the tiles' pictures, the others draw from them.
void BM_WholeRepaint(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    fitAndClear(rig);
    LayoutView *view = canvas(rig);
    view->dropCanvasPictures();
    QElapsedTimer first;
    first.start();
    view->viewport()->repaint();
    state.counters["first_ms"] = double(first.nsecsElapsed()) * 1e-6;
    for (auto _ : state)
        view->viewport()->repaint();
}

// A band pulled from beside the map's top left corner towards the far corner and back, four
// pixels a move, as a hand moves it: each move takes in or lets go a strip of lights.
void BM_LiveBandMove(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    fitAndClear(rig);
    const int rows = (int(rig.uids.size()) + 399) / 400;
    const QPointF from = onScreen(rig, QPointF(-6, -6));
    const QPointF far = onScreen(rig, QPointF(12 * 400, 12 * rows));
    const double length = std::hypot(far.x() - from.x(), far.y() - from.y());
    const QPointF step = (far - from) * (4 / length);
    pointer(rig, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    QPointF corner = from;
    double direction = 1;
    for (auto _ : state) {
        const LiveRun run = runLive(rig, 4, 16, [&] {
            corner += step * direction;
            if ((corner - from).manhattanLength() >= (far - from).manhattanLength() ||
                (corner - from).manhattanLength() < 4)
                direction = -direction;
            pointer(rig, QEvent::MouseMove, corner, Qt::NoButton, Qt::LeftButton);
            canvas(rig)->viewport()->repaint();
        });
        state.SetIterationTime(4);
        run.report(state, "band_move");
    }
    pointer(rig, QEvent::MouseButtonRelease, corner, Qt::LeftButton, Qt::NoButton);
    state.counters["selected_at_end"] = double(canvas(rig)->selectionList().size());
    fitAndClear(rig);
}

void BM_LiveClick(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    fitAndClear(rig);
    const int n = int(rig.uids.size());
    int next = 0;
    for (auto _ : state) {
        const LiveRun run = runLive(rig, 4, 100, [&] {
            const QPointF at = onScreen(rig, placeOf((next += 7919) % n));
            pointer(rig, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            pointer(rig, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            canvas(rig)->viewport()->repaint();
        });
        state.SetIterationTime(4);
        run.report(state, "click");
    }
    if (canvas(rig)->selectionList().size() != 1)
        state.SkipWithError("a click did not select one light");
    fitAndClear(rig);
}

// Delete Selection on 400 lights, answered Yes, until the window settled; the map is
// smaller afterwards, so this runs last.
void BM_LiveDeleteFourHundred(benchmark::State &state)
{
    WindowRig &rig = rigFor(int(state.range(0)));
    fitAndClear(rig);
    YesPrompt yes;
    int first = 0;
    for (auto _ : state) {
        for (int i = 0; i < 400; ++i)
            rig.window->selectionEffect()->setLightSelected(rig.uids.at(first + i), true);
        first += 400;
        const LiveRun run = runLive(rig, 2, 1500, [&] {
            canvas(rig)->handleDeleteSelection();
            canvas(rig)->viewport()->repaint();
        });
        state.SetIterationTime(2);
        run.report(state, "delete");
    }
    if (rig.window->mapModel()->lights().size() != rig.uids.size() - first)
        state.SkipWithError("the lights were not deleted");
    rigSlot().reset();
}

} // namespace

#define CANVAS_WORK(n)                                                                             \
    BENCHMARK(BM_WholeRepaint)->Arg(n)->Unit(benchmark::kMillisecond);                             \
    BENCHMARK(BM_LiveDragTenThousand)                                                              \
        ->Arg(n)                                                                                   \
        ->Iterations(1)                                                                            \
        ->UseManualTime()                                                                          \
        ->Unit(benchmark::kSecond);                                                                \
    BENCHMARK(BM_LiveSelectAllAndClear)                                                            \
        ->Arg(n)                                                                                   \
        ->Iterations(1)                                                                            \
        ->UseManualTime()                                                                          \
        ->Unit(benchmark::kSecond);                                                                \
    BENCHMARK(BM_LiveBandMove)->Arg(n)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);  \
    BENCHMARK(BM_LiveClick)->Arg(n)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);     \
    BENCHMARK(BM_LiveChaseHighlight)                                                               \
        ->Arg(n)                                                                                   \
        ->Iterations(1)                                                                            \
        ->UseManualTime()                                                                          \
        ->Unit(benchmark::kSecond);                                                                \
    BENCHMARK(BM_LiveDeleteFourHundred)                                                            \
        ->Arg(n)                                                                                   \
        ->Iterations(1)                                                                            \
        ->UseManualTime()                                                                          \
        ->Unit(benchmark::kSecond)

BENCHMARK(BM_OpenMapInWindow)
    ->Arg(15000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SteadyFrame)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectionFrame)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LivePlay)->Arg(15000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
CANVAS_WORK(15000);
BENCHMARK(BM_OpenMapInWindow)
    ->Arg(150000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SteadyFrame)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectionFrame)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LivePlay)->Arg(150000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
CANVAS_WORK(150000);

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window reads and writes its settings; keep the user's own store out of it.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::AddCustomContext("destination", testlan::destination());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    rigSlot().reset();
    benchmark::Shutdown();
    return 0;
}
