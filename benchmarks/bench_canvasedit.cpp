// Editing a large selection on the layout canvas through pointer events on its viewport:
// selecting every light with one rubber band, one drag step of the whole selection, and the
// drop that writes every pose followed by its undo.
#include "app/layoutview.h"
#include "app/undomanager.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QMouseEvent>

#include <benchmark/benchmark.h>

#include "benchmain.h"
#include <cmath>
#include <memory>

namespace {

constexpr int Spacing = 24; // two grid steps: a one-step drag never lands on a neighbour

struct CanvasRig
{
    MapModel map;
    std::unique_ptr<SelectionEffect> effect;
    QGraphicsScene scene;
    std::unique_ptr<LayoutView> view;
    std::unique_ptr<UndoManager> undo;
    int columns = 0;
    int rows = 0;

    explicit CanvasRig(int lights)
    {
        effect = std::make_unique<SelectionEffect>(&map, 4294967295u);
        QObject::connect(&map, &MapModel::newLight, effect.get(), &SelectionEffect::handleNewLight);
        columns = int(std::ceil(std::sqrt(double(lights))));
        rows = (lights + columns - 1) / columns;
        scene.setSceneRect(0, 0, (columns + 2) * Spacing, (rows + 2) * Spacing);
        view = std::make_unique<LayoutView>(&map, effect.get(), &scene, nullptr, "Layout View");
        view->resize(1000, 800);
        undo = std::make_unique<UndoManager>(&map);
        undo->setLayoutView(view.get());
        QObject::connect(view.get(), &LayoutView::addUndoActionList, undo.get(),
                         &UndoManager::addUndoActionList);
        for (int i = 0; i < lights; ++i) {
            auto *light = new Light;
            light->setUid(map.nextUid());
            LightPose pose;
            pose.x = Spacing * (1 + i % columns);
            pose.y = Spacing * (1 + i / columns);
            light->setPose(pose);
            map.addLight(light);
        }
        // Lets the scene polish and index its new items, as the event loop would.
        QCoreApplication::processEvents();
    }

    void send(QEvent::Type type, QPointF scenePos, Qt::MouseButtons held)
    {
        const QPointF at = view->viewportTransform().map(scenePos);
        QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }

    // Presses beside the first light and pulls a band over the whole map.
    void bandSelectAll()
    {
        const QPointF far((columns + 1) * Spacing + 3, (rows + 1) * Spacing + 3);
        send(QEvent::MouseButtonPress, QPointF(3, 3), Qt::LeftButton);
        send(QEvent::MouseMove, far / 2, Qt::LeftButton);
        send(QEvent::MouseMove, far, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, far, Qt::NoButton);
        QCoreApplication::processEvents();
    }
};

// Grabs the first light of the selection.
const QPointF Grab(Spacing + 3, Spacing + 3);
const QPointF OneStep(12, 0);

void BM_BandSelectAll(benchmark::State &state)
{
    CanvasRig rig(int(state.range(0)));
    for (auto _ : state)
        rig.bandSelectAll();
    if (rig.view->selectionList().size() != state.range(0))
        state.SkipWithError("the band missed lights");
}

// One pointer move of a drag: every selected square moves one grid step (and back on the
// next iteration).
void BM_DragStep(benchmark::State &state)
{
    CanvasRig rig(int(state.range(0)));
    rig.bandSelectAll();
    rig.send(QEvent::MouseButtonPress, Grab, Qt::LeftButton);
    bool out = true;
    for (auto _ : state) {
        rig.send(QEvent::MouseMove, out ? Grab + OneStep : Grab, Qt::LeftButton);
        out = !out;
    }
    rig.send(QEvent::MouseButtonRelease, Grab, Qt::NoButton);
}

// The drop that checks every square and writes every pose as one undo step, then Undo.
void BM_DropAndUndo(benchmark::State &state)
{
    CanvasRig rig(int(state.range(0)));
    rig.bandSelectAll();
    for (auto _ : state) {
        state.PauseTiming();
        rig.send(QEvent::MouseButtonPress, Grab, Qt::LeftButton);
        rig.send(QEvent::MouseMove, Grab + OneStep, Qt::LeftButton);
        state.ResumeTiming();
        rig.send(QEvent::MouseButtonRelease, Grab + OneStep, Qt::NoButton);
        rig.undo->undo();
    }
    if (rig.undo->redoCount() == 0)
        state.SkipWithError("the drop wrote nothing");
}

} // namespace

BENCHMARK(BM_BandSelectAll)->Arg(15000)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStep)->Arg(15000)->Arg(150000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropAndUndo)->Arg(15000)->Arg(150000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
