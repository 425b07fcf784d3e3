#include "colourtemperature.h"

#include <QLineF>

#include <climits>
#include <cmath>

namespace {

constexpr int fullTint = 32767;
constexpr double l1Length = 0.7;
constexpr double l2Stretch = 1.5;

double distance(const QPointF &a, const QPointF &b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// Truncates toward zero, keeping huge or undefined quotients inside int: a chromaticity
// far off the table must not turn into an undefined conversion.
int truncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(INT_MAX))
        return INT_MAX;
    if (value <= double(-INT_MAX))
        return -INT_MAX;
    return int(value);
}

} // namespace

// clang-format off
const IsothermRow isothermTable[isothermRowCount] = {
    {1900, 2000, 10, 0, {0.31362707, 0.539567105}, {0.305048412, 0.538598729}, {0.312373253, 0.569508095}, {0.303288784, 0.568482393}, {0.331266037, 0.093346279}},
    {2000, 2100, 10, 0, {0.305048412, 0.538598729}, {0.297242594, 0.537412382}, {0.303288784, 0.568482393}, {0.294959086, 0.5672162}, {0.331266037, 0.093346279}},
    {2100, 2200, 10, 0, {0.297242594, 0.537412382}, {0.290123069, 0.536041171}, {0.294959086, 0.5672162}, {0.287302405, 0.565741317}, {0.297918651, 0.352913017}},
    {2200, 2300, 10, 0, {0.290123069, 0.536041171}, {0.283614619, 0.534514984}, {0.287302405, 0.565741317}, {0.280248054, 0.564086914}, {0.297918651, 0.352913017}},
    {2300, 2400, 10, 0, {0.283614619, 0.534514984}, {0.277651715, 0.53286055}, {0.280248054, 0.564086914}, {0.273734713, 0.562279565}, {0.297918651, 0.352913017}},
    {2400, 2500, 10, 0, {0.277651715, 0.53286055}, {0.272177115, 0.531101586}, {0.273734713, 0.562279565}, {0.267707014, 0.560342429}, {0.297918651, 0.352913017}},
    {2500, 2700, 10, 0, {0.272177115, 0.531101586}, {0.262498385, 0.5273511}, {0.267707014, 0.560342429}, {0.256939359, 0.556168955}, {0.297918651, 0.352913017}},
    {2700, 2850, 10, 0, {0.262498385, 0.5273511}, {0.256190363, 0.524401136}, {0.256939359, 0.556168955}, {0.249834128, 0.552845751}, {0.295405357, 0.352913017}},
    {2850, 3000, 10, 0, {0.256190363, 0.524401136}, {0.250570564, 0.521384833}, {0.249834128, 0.552845751}, {0.243441836, 0.549413882}, {0.293405357, 0.352913017}},
    {3000, 3250, 10, 0, {0.250570564, 0.521384833}, {0.242485875, 0.51630497}, {0.243441836, 0.549413882}, {0.234146033, 0.543572273}, {0.293405357, 0.352913017}},
    {3250, 3500, 10, 0, {0.242485875, 0.51630497}, {0.235712158, 0.511261775}, {0.234146033, 0.543572273}, {0.226262174, 0.537701708}, {0.293405357, 0.352913017}},
    {3500, 3750, 10, 0, {0.235712158, 0.511261775}, {0.229987332, 0.50633665}, {0.226262174, 0.537701708}, {0.219535069, 0.531913747}, {0.292905357, 0.352913017}},
    {3750, 4000, 10, 0, {0.229987332, 0.50633665}, {0.225110551, 0.501581061}, {0.219535069, 0.531913747}, {0.213761074, 0.526282805}, {0.292905357, 0.352913017}},
    {4000, 4500, 10, 0, {0.225110551, 0.501581061}, {0.217311492, 0.492686146}, {0.213761074, 0.526282805}, {0.204464398, 0.515678371}, {0.283317852, 0.374871514}},
    {4500, 5000, 10, 0, {0.217311492, 0.492686146}, {0.211424442, 0.484673716}, {0.204464398, 0.515678371}, {0.197409438, 0.506075251}, {0.283317852, 0.374871514}},
    {5000, 5500, 10, 0, {0.211424442, 0.484673716}, {0.206881516, 0.477526065}, {0.197409438, 0.506075251}, {0.191960194, 0.497502222}, {0.281822301, 0.377155595}},
    {5500, 5700, 10, 0, {0.206881516, 0.477526065}, {0.205352151, 0.474895038}, {0.191960194, 0.497502222}, {0.190126503, 0.494347652}, {0.281822301, 0.377155595}},
    {5700, 6000, 10, 0, {0.205352151, 0.474895038}, {0.203307932, 0.471176748}, {0.190126503, 0.494347652}, {0.187676864, 0.489892392}, {0.281822301, 0.377155595}},
    {6000, 6500, 10, 0, {0.203307932, 0.471176748}, {0.200449021, 0.465542606}, {0.187676864, 0.489892392}, {0.184260108, 0.48315845}, {0.281822301, 0.377155595}},
    {6500, 8000, 10, 0, {0.200449021, 0.465542606}, {0.194624637, 0.452114608}, {0.184260108, 0.48315845}, {0.177339282, 0.46720557}, {0.283985539, 0.374565172}},
    {8000, 10000, 10, 0, {0.194624637, 0.452114608}, {0.190318787, 0.439897086}, {0.177339282, 0.46720557}, {0.172280415, 0.452854268}, {0.293569827, 0.3657}},
    {10000, 12500, 10, 0, {0.190318787, 0.439897086}, {0.187398002, 0.430013571}, {0.172280415, 0.452854268}, {0.168890008, 0.44138335}, {0.299183841, 0.361697993}},
};
// clang-format on

int maxSupportedCct()
{
    return 11000;
}

int minTint()
{
    return -fullTint;
}

bool xyToCctTint(double x, double y, int *temperature, int *tint)
{
    // Written as negated ranges so that a NaN fails too.
    if (!(x >= 0.0 && x <= 0.8 && y >= 0.0 && y <= 0.9))
        return false;
    const double denominator = -2.0 * x + 12.0 * y + 3.0;
    const double u = 4.0 * x / denominator;
    const double v = 9.0 * y / denominator;
    if (!(u >= 0.0 && u <= 0.6 && v >= 0.0 && v <= 0.6))
        return false;
    cctTintFromUv(u, v, temperature, tint);
    return true;
}

double isothermFraction(const QPointF &point, int row)
{
    const IsothermRow &r = isothermTable[row];
    const double toA = distance(point, r.a);
    return toA / (distance(point, r.b) + toA);
}

void applyTintOffset(int row, int tint, QPointF *point)
{
    if (tint == 0)
        return;
    const IsothermRow &r = isothermTable[row];
    const double f = isothermFraction(*point, row);
    const QPointF onLocus = r.a + (r.b - r.a) * f;
    const QPointF onOffset = r.q + (r.r - r.q) * f;
    const double s = distance(onOffset, onLocus) * -(tint / double(fullTint));
    // The arctangent of the slope keeps cos(angle) positive whichever side the pivot is on.
    const double angle = std::atan((r.p.y() - point->y()) / (r.p.x() - point->x()));
    point->rx() += std::cos(angle) * s;
    point->ry() += std::sin(angle) * s;
}

void cctTintFromUv(double u, double v, int *temperature, int *tint)
{
    const QPointF target(u, v);
    int row = 0;
    QPointF crossing;
    for (; row < isothermRowCount; ++row) {
        const IsothermRow &r = isothermTable[row];
        QLineF isotherm(r.p, target);
        isotherm.setLength(l1Length);
        QLineF locus(r.b, r.a);
        locus.setLength(locus.length() * l2Stretch);
        QPointF point;
        const QLineF::IntersectionType kind = isotherm.intersects(locus, &point);
        if (kind == QLineF::BoundedIntersection) {
            crossing = point;
            break;
        }
        if (row == isothermRowCount - 1) {
            crossing = kind == QLineF::NoIntersection ? QPointF(0, 0) : point;
            break;
        }
    }

    const IsothermRow &r = isothermTable[row];
    const double f = isothermFraction(crossing, row);
    const int steps = (r.endK - r.startK) / r.stepK;
    *temperature = r.startK + truncateToInt(std::floor(f * steps + 0.5)) * r.stepK;

    const int sign = distance(target, r.p) > distance(crossing, r.p) ? fullTint : -fullTint;
    QPointF offset = crossing;
    applyTintOffset(row, sign, &offset);
    *tint = truncateToInt(distance(crossing, target) / distance(crossing, offset) * sign);
}
