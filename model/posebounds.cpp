#include "model/posebounds.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

int saturatedInt(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(value, double(INT_MIN), double(INT_MAX)));
}

// QRect works out its far edge as origin + size - 1, and origin + size must fit in an int.
int saturatedExtent(int origin, double size)
{
    return int(std::min<qint64>(saturatedInt(size), qint64(INT_MAX) - origin));
}

} // namespace

void PoseBounds::add(const LightPose &pose)
{
    m_any = true;
    m_minX = std::min(m_minX, pose.x);
    m_minY = std::min(m_minY, pose.y);
    m_maxX = std::max(m_maxX, pose.x);
    m_maxY = std::max(m_maxY, pose.y);
}

QRect PoseBounds::rect() const
{
    if (!m_any)
        return QRect(0, 0, 0, 0);
    const int left = saturatedInt(m_minX);
    const int top = saturatedInt(m_minY);
    return QRect(left, top, saturatedExtent(left, m_maxX - m_minX),
                 saturatedExtent(top, m_maxY - m_minY));
}
