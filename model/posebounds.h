#ifndef POSEBOUNDS_H
#define POSEBOUNDS_H

#include "model/lightpose.h"

#include <QRect>

// The integer rectangle around a set of light positions, as the map and its interfaces report
// it. The extremes start at +/-1,000,000, so positions beyond that do not widen the left and top
// edges; positions of any size (infinity and NaN included) give a rectangle whose edges fit in
// an int.
class PoseBounds
{
public:
    void add(const LightPose &pose);
    // QRect(0, 0, 0, 0) while no position was added.
    QRect rect() const;

private:
    bool m_any = false;
    double m_minX = 1000000.0;
    double m_minY = 1000000.0;
    double m_maxX = -1000000.0;
    double m_maxY = -1000000.0;
};

#endif // POSEBOUNDS_H
