#include "backgroundpicture.h"

#include <QImageReader>

#include <cmath>

namespace {

bool withinSides(const QSize &size)
{
    return !size.isEmpty() && size.width() <= BackgroundPicture::MaxSide &&
           size.height() <= BackgroundPicture::MaxSide;
}

// The toolkit's allocation limit is process-wide; it is raised for this one decode only.
class AllocationLimit
{
public:
    explicit AllocationLimit(int mib) : m_previous(QImageReader::allocationLimit())
    {
        QImageReader::setAllocationLimit(mib);
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(m_previous); }
    AllocationLimit(const AllocationLimit &) = delete;
    AllocationLimit &operator=(const AllocationLimit &) = delete;

private:
    int m_previous;
};

} // namespace

QSize BackgroundPicture::decodeSize(const QSize &full)
{
    if (!withinSides(full))
        return QSize();
    const qint64 pixels = qint64(full.width()) * full.height();
    if (pixels <= PixelBudget)
        return full;
    const double factor = std::sqrt(double(PixelBudget) / double(pixels));
    return QSize(qMax(1, int(full.width() * factor)), qMax(1, int(full.height() * factor)));
}

QImage BackgroundPicture::load(const QString &file, QSize *fullSize)
{
    QImageReader reader(file);
    // A format that tells no size up front is checked by the allocation limit instead.
    const QSize announced = reader.size();
    if (announced.isValid()) {
        const QSize decoded = decodeSize(announced);
        if (!decoded.isValid())
            return QImage();
        if (decoded != announced)
            reader.setScaledSize(decoded);
    }
    QImage image;
    {
        const AllocationLimit limit(DecodeLimitMiB);
        image = reader.read();
    }
    if (image.isNull())
        return QImage();
    QSize full = announced;
    if (!announced.isValid()) {
        full = image.size();
        const QSize decoded = decodeSize(full);
        if (!decoded.isValid())
            return QImage();
        if (decoded != full)
            image = image.scaled(decoded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // A picture turned by its orientation tag comes out with its sides swapped.
    if ((image.width() < image.height()) != (full.width() < full.height()))
        full.transpose();
    if (fullSize)
        *fullSize = full;
    return image;
}
