#ifndef CURVEREGISTRY_H
#define CURVEREGISTRY_H

#include <QMap>

class Curve;

// Curve type to curve: 0 identity, 1 normal, 2 tungsten. Process-wide, never freed.
class CurveRegistry
{
public:
    static CurveRegistry *instance();

    // Unknown types get the identity curve.
    const Curve *curve(int type) const;

private:
    CurveRegistry();

    QMap<int, Curve *> m_curves;
};

#endif // CURVEREGISTRY_H
