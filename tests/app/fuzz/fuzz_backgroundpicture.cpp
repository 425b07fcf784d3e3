// libFuzzer target for the background picture loader: every input is one picture file, of any
// format the canvas accepts (the loader tells the format by the first bytes). Whatever the
// loader keeps must be within the limits it promises: no side beyond the largest, and kept at
// the size the budget allows for the size it stands for. The run's memory bound is the window's.
#include "app/backgroundpicture.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QString pictureFile;

void fail(const char *what, const QSize &full, const QImage &image)
{
    std::fprintf(stderr, "%s: stands for %d x %d, kept at %d x %d\n", what, full.width(),
                 full.height(), image.width(), image.height());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The toolkit's readers of the formats beyond PNG and JPEG are plugins.
    static QCoreApplication application(*argc, *argv);
    // Damaged pictures are logged; at millions of inputs the log would be the bottleneck.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    static QTemporaryDir dir;
    pictureFile = dir.filePath(QStringLiteral("picture"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile file(pictureFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();
    QSize full;
    const QImage image = BackgroundPicture::load(pictureFile, &full);
    if (image.isNull())
        return 0;
    if (!BackgroundPicture::decodeSize(full).isValid())
        fail("beyond the limits", full, image);
    if (image.size() != BackgroundPicture::decodeSize(full))
        fail("not kept at the budget's size", full, image);
    return 0;
}
