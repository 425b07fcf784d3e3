// Cost of reading a background picture: refusing a file whose header claims more than the
// largest side (no pixel decoded, whatever the file would inflate to), and loading black
// floor plans of 6,000 and 8,000 pixels a side (8-bit RGB) and of 16,384 (1-bit, kept scaled
// down to 8,192); then two-colour RGBA pictures of 16,384 a side at 8 and 16 bits a channel,
// (also interlaced), JPEGs of 16,384 a side (baseline and progressive) and a GIF canvas of
// 16,384 x 16,383; last, the small files that once cost a gigabyte or more before they were
// refused: a GIF whose canvas is far wider than it tells, a PNG text chunk of 2 GiB (alone and
// in an icon), a GIF whose frame is to be restored, and a 16,384 px progressive JPEG whose last
// scan comes 991 times; and the slowest progressive JPEG accepted, of 64 scans. Each
// row reports the peak resident memory of its own loads ("peak MiB", VmHWM, reset after the
// picture is written).
//
// Run: scripts/bench.sh backgroundpicture

#include "benchmain.h"
#include "processmeasures.h"

#include "app/backgroundpicture.h"
#include "support/craftedgif.h"
#include "support/craftedjpeg.h"
#include "support/craftedpng.h"

#include <QFile>
#include <QTemporaryDir>

#include <fstream>
#include <functional>
#include <iterator>

namespace {

struct Picture
{
    const char *label;
    std::function<QByteArray()> file;
    bool loads = true;
};

const quint16 top[4] = {0xFFFF, 0x8080, 0x0000, 0xFFFF};
const quint16 bottom[4] = {0x0000, 0x4040, 0xFFFF, 0x8080};
const QSize largest(16384, 16384);

const Picture pictures[] = {
    {"100000 x 100000 PNG header: a bomb of 40 GB",
     [] { return CraftedPng::black(QSize(100000, 100000), true, false); }, false},
    {"20000 x 20000 PNG, 1 bit: 50 kB that decode to 50 MB",
     [] { return CraftedPng::black(QSize(20000, 20000), false); }, false},
    {"6000 x 6000 PNG", [] { return CraftedPng::black(QSize(6000, 6000), true); }},
    {"8000 x 8000 PNG", [] { return CraftedPng::black(QSize(8000, 8000), true); }},
    {"16384 x 16384 PNG, 1 bit", [] { return CraftedPng::black(largest, false); }},
    {"16384 x 16384 PNG, RGBA 8-bit", [] { return CraftedPng::halves(largest, 8, top, bottom); }},
    {"16384 x 16384 PNG, RGBA 16-bit", [] { return CraftedPng::halves(largest, 16, top, bottom); }},
    {"16384 x 16384 PNG, RGBA 16-bit, interlaced",
     [] { return CraftedPng::halves(largest, 16, top, bottom, true); }},
    {"16384 x 16384 JPEG",
     [] { return CraftedJpeg::halves(largest, qRgb(250, 128, 0), qRgb(0, 64, 250)); }},
    {"16384 x 16384 JPEG, progressive",
     [] {
         return CraftedJpeg::halves(largest, qRgb(250, 128, 0), qRgb(0, 64, 250),
                                    CraftedJpeg::Colour::Rgb, true);
     }},
    // A frame of one pixel on a screen of the largest size the toolkit's GIF reader decodes
    // (it refuses 2^28 pixels or more): the canvas is decoded whole.
    {"16384 x 16383 GIF canvas",
     [] {
         return CraftedGif::picture(QSize(16384, 16383), QRect(0, 0, 1, 1), {qRgb(200, 100, 50)});
     }},
    {"GIF of 43 bytes telling 1 x 9063, canvas 28272 x 9063",
     [] { return CraftedGif::picture(QSize(28272, 0), QRect(0, 0, 1, 9063), {0}); }, false},
    {"PNG of 1 x 1 with a tEXt chunk of 2 GiB", [] { return CraftedPng::oversizedChunk("tEXt"); },
     false},
    {"icon holding that PNG",
     [] { return CraftedPng::inIcon(CraftedPng::oversizedChunk("tEXt"), 1); }, false},
    {"GIF of 48 bytes whose 16384 x 14220 frame is to be restored",
     [] { return CraftedGif::restoredFrame(QSize(16384, 14220), QRect(0, 0, 16384, 14220), {0}); },
     false},
    {"16384 x 16384 JPEG, progressive, 1,000 scans (the last repeated)",
     [] {
         return CraftedJpeg::repeatedLastScan(CraftedJpeg::halves(largest, qRgb(250, 128, 0),
                                                                  qRgb(0, 64, 250),
                                                                  CraftedJpeg::Colour::Rgb, true),
                                              991);
     },
     false},
    {"16384 x 16384 JPEG, progressive, 64 scans",
     [] { return CraftedJpeg::manyScans(largest, BackgroundPicture::MaxScans); }},
};

// So that a row's peak is its own loads', not the writing of its picture nor an earlier row's.
void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_LoadBackgroundPicture(benchmark::State &state)
{
    const Picture &picture = pictures[state.range(0)];
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("picture")));
    const QByteArray bytes = picture.file();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        state.SkipWithError("cannot write the picture");
        return;
    }
    file.close();
    resetPeakMemory();
    for (auto _ : state) {
        QSize full;
        const QImage image = BackgroundPicture::load(file.fileName(), &full);
        if (image.isNull() == picture.loads) {
            state.SkipWithError("unexpected result");
            return;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["peak MiB"] = double(processStatusKb("VmHWM")) / 1024.0;
    state.counters["file kB"] = double(bytes.size()) / 1024.0;
    state.SetLabel(std::string(picture.label) + (picture.loads ? "" : ", refused"));
}

} // namespace

BENCHMARK(BM_LoadBackgroundPicture)
    ->DenseRange(0, int(std::size(pictures)) - 1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
