#ifndef COLOURMIXING_H
#define COLOURMIXING_H

#include <QList>
#include <QPointF>
#include <QtGlobal>

class VeyColor;

// Colour mixing: colours to (Y, x, y) and to the drive levels and output bytes of a fixture.
// Everything here is stateless apart from memo tables that never change a result; it reads
// the process-wide profile database, fixture-type table and curve registry.

// The result of nearestPrimaryWeight: (0, 0) means no primary is near.
struct WeightIndex
{
    double weight = 0.0;
    int index = 0;
};

// The most channels of any colour type.
constexpr int maxMixChannels = 5;

// A red, a green and a blue point, in this order; read by the gamut mapping.
extern const QList<QPointF> referenceTriangleXy;

int channelCountForColorType(int colorType);
int profileSetForFlag(quint8 flag);
int colorTypeOfFixture(int fixtureTypeId);

// CIE 1976 u'v' from X, Y, Z and from x, y, and x, y back from u'v'.
QPointF uvFromXyz(double X, double Y, double Z);
QPointF uvFromXy(double x, double y);
QPointF xyFromUv(double u, double v);

// Light output of a drive level in 0..1 through the polynomial of a curve type (0 and any
// unknown type leave the level unchanged).
double lightOutputLevel(int curveType, double level);

// Writes (Y, x, y) to Yxy[0..2]. Y is the largest light-output level, not the luminance.
void colorToXyY(const VeyColor &color, double *Yxy);

WeightIndex nearestPrimaryWeight(const double *Yxy, int colorType, int profileId, int profileSet);
// Moves Yxy[1..2] toward primary pair.index when pair.weight exceeds threshold.
void pullTowardPrimary(double *Yxy, const WeightIndex &pair, double threshold, int colorType,
                       int profileId, int profileSet);
// Writes channelCountForColorType(colorType) levels.
void xyYToChannelLevels(const double *Yxy, double *levels, int colorType, int profileId,
                        int profileSet, bool clamp, const WeightIndex &pair);

double nearestPointOnSegment(const QPointF &a, const QPointF &b, const QPointF &p, QPointF *out);

// Writes n x width bytes (nothing for a width other than 1 or 2). Mode 3 computes the inverse
// curves; any other mode uses the curve tables.
void levelsToOutput(int n, int width, const double *levels, quint8 *out, int curveType, int mode);
// Writes channelCountForColorType(color.colorType()) x width bytes. The dimming curve is
// accepted for the light's sake but not applied: the fixture applies its own curve to the
// bytes it receives, so the lookups always use the identity curve.
void colorToOutputBytes(const VeyColor &color, quint8 *out, int width, int dimmingCurve = 0);

quint16 levelsToU16(double level);
quint16 inverseCurveNormal16(quint16 t);
quint16 inverseCurveTungsten16(quint16 t);
float solveGammaQuadratic(float ka, float kb, float kc, float level, float max);

#endif // COLOURMIXING_H
