#ifndef GAMMACURVEVEYNORMAL_H
#define GAMMACURVEVEYNORMAL_H

#include "colour/curve.h"

// The normal gamma curve (curve type 1). Its last point is 65520, so its 16-bit output never
// reaches 65535.
class GammaCurveVeyNormal : public Curve
{
public:
    GammaCurveVeyNormal();
    void buildTables() override;

    static const quint16 points[256];
};

#endif // GAMMACURVEVEYNORMAL_H
