#ifndef STRINGLAYOUTWIDGET_H
#define STRINGLAYOUTWIDGET_H

#include <QImage>
#include <QWidget>

// The 51 x 51 picture with which the user picks the tile layout's numbering: a click into a
// quarter makes it the start corner; further clicks into the same quarter step through the
// first direction (along rows or columns) and the pattern (serpentine or raster).
class StringLayoutWidget : public QWidget
{
    Q_OBJECT
public:
    // Start corner and first direction, in the numbering's own codes.
    enum LayoutOrder {
        TopLeftRows = 0,
        TopLeftColumns = 1,
        TopRightColumns = 2,
        TopRightRows = 3,
        BottomRightRows = 4,
        BottomRightColumns = 5,
        BottomLeftColumns = 6,
        BottomLeftRows = 7
    };
    Q_ENUM(LayoutOrder)

    explicit StringLayoutWidget(QWidget *parent = nullptr);

    void setLayoutOrder(int order, bool raster);
    int corner() const { return m_corner; }
    bool raster() const { return m_raster; }

signals:
    void layoutChanged(StringLayoutWidget::LayoutOrder layoutOrder, bool raster);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    virtual void updatePicture();

private:
    int m_corner = 0;
    // Raised by every click into the current corner; bit 0 picks the first direction, bit 1
    // the raster pattern.
    int m_counter = 0;
    bool m_raster = false;
    QImage m_right;
    QImage m_left;
    QImage m_rasterRight;
    QImage m_rasterLeft;
};

#endif // STRINGLAYOUTWIDGET_H
