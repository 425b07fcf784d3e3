// Cost of filling a user colour list: N inserts into one list that is saved to the user colour
// file, the one save the inserts request included. Second argument 1: every colour wants the
// same name, so each is numbered against all before it.
//
// Run: scripts/bench.sh colourlibrary

#include "benchmain.h"

#include "colour/veycolorlibrary.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

void removeList(VeyColorLibrary *lib, const QString &name)
{
    const QModelIndex root = lib->rootIndex();
    for (int row = lib->rowCount(root) - 1; row >= 0; --row)
        if (lib->data(lib->index(row, 0, root), Qt::EditRole).toString() == name)
            lib->removeRows(row, 1, root);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void BM_InsertColours(benchmark::State &state)
{
    const int count = int(state.range(0));
    const bool sameName = state.range(1) != 0;
    QTemporaryDir dir;
    VeyColorLibrary::setUserColorBaseFolder(dir.path());
    VeyColorLibrary *lib = VeyColorLibrary::instance();
    lib->setSavingEnabled(true);
    const QString list = QStringLiteral("Bench");
    for (auto _ : state) {
        state.PauseTiming();
        removeList(lib, list);
        lib->createColorList(list, true);
        QCoreApplication::sendPostedEvents();
        state.ResumeTiming();
        for (int i = 0; i < count; ++i)
            lib->handleInsertColor(
                QString(), sameName ? QStringLiteral("Red") : QStringLiteral("Red %1").arg(i),
                QStringLiteral("aRgb;1;0;#ffff0000ffff0000"), QString(), list, QString());
        QCoreApplication::sendPostedEvents(); // the one save
    }
    removeList(lib, list);
    lib->setSavingEnabled(false);
    state.counters["per colour"] = benchmark::Counter(
        double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_InsertColours)
    ->ArgsProduct({{1000, 3000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
