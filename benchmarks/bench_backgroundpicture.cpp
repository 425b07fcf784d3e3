// Cost of reading a background picture: refusing a file whose header claims more than the
// largest side (no pixel decoded, whatever the file would inflate to), and loading black
// floor plans of 6,000 and 8,000 pixels a side (8-bit RGB) and of 16,384 (1-bit, kept scaled
// down to 8,192).
//
// Run: scripts/bench.sh backgroundpicture

#include "benchmain.h"

#include "app/backgroundpicture.h"
#include "support/craftedpng.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

struct Picture
{
    QSize size;
    bool rgb;
    bool withPixels;
};

const Picture pictures[] = {
    {{100000, 100000}, true, false}, // header only: a bomb of 40 GB
    {{20000, 20000}, false, true},   // a real file of 50 kB that decodes to 50 MB
    {{6000, 6000}, true, true},      {{8000, 8000}, true, true}, {{16384, 16384}, false, true},
};

void BM_LoadBackgroundPicture(benchmark::State &state)
{
    const Picture &picture = pictures[state.range(0)];
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("picture.png")));
    const QByteArray png = CraftedPng::black(picture.size, picture.rgb, picture.withPixels);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size()) {
        state.SkipWithError("cannot write the picture");
        return;
    }
    file.close();
    const bool expectLoaded = picture.size.width() <= BackgroundPicture::MaxSide;
    for (auto _ : state) {
        QSize full;
        const QImage image = BackgroundPicture::load(file.fileName(), &full);
        if (image.isNull() == expectLoaded) {
            state.SkipWithError("unexpected result");
            return;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(QStringLiteral("%1 x %2%3")
                       .arg(picture.size.width())
                       .arg(picture.size.height())
                       .arg(expectLoaded ? QString() : QStringLiteral(", refused"))
                       .toStdString());
}

} // namespace

BENCHMARK(BM_LoadBackgroundPicture)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
