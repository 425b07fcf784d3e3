#ifndef BENCHMAIN_H
#define BENCHMAIN_H

#include <QGuiApplication>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <type_traits>

// One benchmark program's whole run inside a toolkit application of type Application (the
// model needs an event loop object; windows need a GUI application, run offscreen unless the
// caller chose a platform). Whatever a benchmark saves (window settings, user files) goes to
// the test locations, never to the user's own.
template <class Application> int runBenchmarks(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    if constexpr (std::is_base_of_v<QGuiApplication, Application>) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#endif // BENCHMAIN_H
