#ifndef COLOURTEMPERATURE_H
#define COLOURTEMPERATURE_H

#include <QPointF>
#include <QtGlobal>

// Correlated colour temperature and tint of a chromaticity, found in CIE 1976 u'v' against
// a fixed table of Planckian locus segments. Used to split a colour over the whites of a
// four-white light.

struct IsothermRow
{
    qint32 startK;
    qint32 endK;
    qint32 stepK;
    qint32 reserved;
    QPointF a; // locus point at startK
    QPointF b; // locus point at endK
    QPointF q; // a full tint away from a
    QPointF r; // a full tint away from b
    QPointF p; // pivot from which the row's isotherms radiate
};

constexpr int isothermRowCount = 22;
extern const IsothermRow isothermTable[isothermRowCount];

// Writes both outputs and returns true when (x, y) lies inside the supported range;
// otherwise returns false and leaves the outputs untouched.
bool xyToCctTint(double x, double y, int *temperature, int *tint);
void cctTintFromUv(double u, double v, int *temperature, int *tint);
double isothermFraction(const QPointF &point, int row);
void applyTintOffset(int row, int tint, QPointF *point);
int maxSupportedCct();
int minTint();

#endif // COLOURTEMPERATURE_H
