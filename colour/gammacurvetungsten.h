#ifndef GAMMACURVETUNGSTEN_H
#define GAMMACURVETUNGSTEN_H

#include "colour/curve.h"

// The tungsten curve (curve type 2): dark at the bottom like an incandescent lamp.
class GammaCurveTungsten : public Curve
{
public:
    GammaCurveTungsten();
    void buildTables() override;

    static const quint16 points[256];
};

#endif // GAMMACURVETUNGSTEN_H
