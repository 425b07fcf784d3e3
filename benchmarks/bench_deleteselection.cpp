// "Delete Selection" in the main window as users run it, offscreen: a map of 15,000 or 150,000
// lights opened from its file, live play on at 44 frames a second on the engine's own timer,
// 400 lights spread over the whole map selected, the question answered Yes. Measures the time
// until the deletion has settled: the command has returned, the events it left are handled and
// the first whole frame after it has been sent. Also counts the frames sent meanwhile.
#include "app/layoutview.h"
#include "app/metatool.h"
#include "benchmain.h"
#include "canvasmap.h"
#include "dialogs/userprompt.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "processmeasures.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace {

constexpr int FramesPerSecond = 44;
constexpr int Doomed = 400;

using canvasmap::writeMap;

class AnswerYes : public UserPrompt
{
public:
    QMessageBox::StandardButton question(QWidget *, QMessageBox::Icon, const QString &,
                                         const QString &, QMessageBox::StandardButtons,
                                         QMessageBox::StandardButton) override
    {
        return QMessageBox::Yes;
    }
};

void BM_DeleteSelection(benchmark::State &state)
{
    const int n = int(state.range(0));
    const QString path = writeMap(n);
    AnswerYes yes;
    UserPrompt::setInstance(&yes);
    auto window = std::make_unique<MetaTool>();
    window->resize(1280, 800);
    window->show();
    QApplication::processEvents();
    window->openMap(path);
    QApplication::processEvents();
    MapModel *map = window->mapModel();
    EffectEngine *engine = window->effectEngine();
    SelectionEffect *selection = window->selectionEffect();
    LayoutView *view = window->layoutView();
    engine->setFrameInterval(1000 / FramesPerSecond);

    double framesDuring = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QList<quint64> uids = map->lights().keys();
        std::sort(uids.begin(), uids.end());
        const int stride = std::max(int(uids.size()) / Doomed, 1);
        for (int i = 0, picked = 0; i < uids.size() && picked < Doomed; i += stride, ++picked)
            selection->setLightSelected(uids.at(i), true);
        QApplication::processEvents();
        const int lightsBefore = int(map->lights().size());
        if (view->selectionList().size() != Doomed) {
            state.SkipWithError("the selection is not 400 lights");
            break;
        }
        engine->setPaused(false);
        QApplication::processEvents();
        state.ResumeTiming();

        QElapsedTimer wall;
        wall.start();
        const quint32 framesBefore = engine->frameCount();
        view->handleDeleteSelection();
        QApplication::processEvents();
        const quint32 framesAfterCommand = engine->frameCount();
        // Settled once a whole frame has gone out over the map that is left.
        while (engine->frameCount() == framesAfterCommand)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double elapsed = double(wall.nsecsElapsed()) * 1e-9;
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        framesDuring += double(engine->frameCount() - framesBefore);

        state.PauseTiming();
        engine->setPaused(true);
        if (int(map->lights().size()) != lightsBefore - Doomed) {
            state.SkipWithError("the command did not delete the 400 lights");
            break;
        }
        state.ResumeTiming();
    }
    state.counters["fps_during"] = seconds > 0 ? framesDuring / seconds : 0;
    state.counters["rss_MB"] = double(processStatusKb("VmRSS")) / 1024.0;
    window.reset();
    UserPrompt::setInstance(nullptr);
}

} // namespace

BENCHMARK(BM_DeleteSelection)
    ->Arg(15000)
    ->Arg(150000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
