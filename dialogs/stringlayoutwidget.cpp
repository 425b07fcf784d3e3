#include "stringlayoutwidget.h"

#include <QMouseEvent>
#include <QPalette>
#include <QTransform>

namespace {
constexpr int PictureSize = 51;
}

StringLayoutWidget::StringLayoutWidget(QWidget *parent)
    : QWidget(parent), m_right(QStringLiteral(":/images/icons/stringLayoutRight.jpg")),
      m_left(QStringLiteral(":/images/icons/stringLayoutLeft.jpg")),
      m_rasterRight(QStringLiteral(":/images/icons/stringLayoutRasterRight.jpg")),
      m_rasterLeft(QStringLiteral(":/images/icons/stringLayoutRasterLeft.jpg"))
{
    setObjectName(QStringLiteral("StringLayoutWidget"));
    resize(PictureSize, PictureSize);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMinimumSize(PictureSize, PictureSize);
    setWindowTitle(QStringLiteral("StringLayoutWidgetBase"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

void StringLayoutWidget::setLayoutOrder(int order, bool raster)
{
    // A stored order may be negative: its parity, not C's signed remainder.
    m_counter = (order % 2 + 2) % 2 + (raster ? 2 : 0);
    m_raster = raster;
    if (order >= 0 && order <= 7)
        m_corner = order / 2;
    updatePicture();
}

void StringLayoutWidget::mousePressEvent(QMouseEvent *event)
{
    const int hx = width() / 2;
    const int hy = height() / 2;
    const QPoint p = event->position().toPoint();
    // A click on either centre line counts as the top-left quarter.
    int quarter = 0;
    if (p.x() != hx && p.y() != hy) {
        const bool right = p.x() > hx;
        const bool below = p.y() > hy;
        quarter = below ? (right ? 2 : 3) : (right ? 1 : 0);
    }
    if (quarter == m_corner)
        ++m_counter;
    m_corner = quarter;
    updatePicture();
}

void StringLayoutWidget::updatePicture()
{
    const int state = m_counter % 4;
    m_raster = state >= 2;
    const bool odd = m_counter % 2 != 0;
    const QImage &picture =
        m_raster ? (odd ? m_rasterLeft : m_rasterRight) : (odd ? m_left : m_right);
    QPalette pal = palette();
    pal.setBrush(backgroundRole(), QBrush(picture.transformed(QTransform().rotate(90 * m_corner))));
    setPalette(pal);
    setAutoFillBackground(true);
    emit layoutChanged(LayoutOrder(2 * m_corner + m_counter % 2), m_raster);
}
