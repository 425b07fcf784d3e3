// Cost of reading a background picture: refusing a file whose header claims more than the
// largest side (no pixel decoded, whatever the file would inflate to), and loading black
// floor plans of 6,000 and 8,000 pixels a side (8-bit RGB) and of 16,384 (1-bit, kept scaled
// down to 8,192); then two-colour RGBA pictures of 16,384 a side at 8 and 16 bits a channel,
// (also interlaced), with the process's peak resident memory ("peak MiB", VmHWM). The peak is the
// process's whole: run one picture a process for its own figure, e.g.
//   scripts/bench.sh backgroundpicture  (with BENCH_FLAGS=--benchmark_filter=/6$)
//
// Run: scripts/bench.sh backgroundpicture

#include "benchmain.h"
#include "processmeasures.h"

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
    int rgbaBits = 0; // 8 or 16: a two-colour RGBA picture instead of a black one
    bool interlaced = false;
};

const Picture pictures[] = {
    {{100000, 100000}, true, false}, // header only: a bomb of 40 GB
    {{20000, 20000}, false, true},   // a real file of 50 kB that decodes to 50 MB
    {{6000, 6000}, true, true},
    {{8000, 8000}, true, true},
    {{16384, 16384}, false, true},
    {{16384, 16384}, true, true, 8},
    {{16384, 16384}, true, true, 16},
    {{16384, 16384}, true, true, 16, true}, // interlaced: decoded whole at 4 bytes a pixel
};

QByteArray pictureFile(const Picture &picture)
{
    const quint16 top[4] = {0xFFFF, 0x8080, 0x0000, 0xFFFF};
    const quint16 bottom[4] = {0x0000, 0x4040, 0xFFFF, 0x8080};
    return picture.rgbaBits
               ? CraftedPng::halves(picture.size, picture.rgbaBits, top, bottom, picture.interlaced)
               : CraftedPng::black(picture.size, picture.rgb, picture.withPixels);
}

void BM_LoadBackgroundPicture(benchmark::State &state)
{
    const Picture &picture = pictures[state.range(0)];
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("picture.png")));
    const QByteArray png = pictureFile(picture);
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
    state.counters["peak MiB"] = double(processStatusKb("VmHWM")) / 1024.0;
    state.SetLabel(QStringLiteral("%1 x %2%3%4")
                       .arg(picture.size.width())
                       .arg(picture.size.height())
                       .arg(picture.rgbaBits ? QStringLiteral(", RGBA %1-bit%2")
                                                   .arg(picture.rgbaBits)
                                                   .arg(picture.interlaced ? ", interlaced" : "")
                                             : QString())
                       .arg(expectLoaded ? QString() : QStringLiteral(", refused"))
                       .toStdString());
}

} // namespace

BENCHMARK(BM_LoadBackgroundPicture)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
