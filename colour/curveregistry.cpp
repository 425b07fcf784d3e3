#include "colour/curveregistry.h"

#include "colour/curve.h"
#include "colour/gammacurvetungsten.h"
#include "colour/gammacurveveynormal.h"

CurveRegistry *CurveRegistry::instance()
{
    static CurveRegistry *registry = new CurveRegistry;
    return registry;
}

CurveRegistry::CurveRegistry()
{
    m_curves.insert(0, new Curve);
    m_curves.insert(1, new GammaCurveVeyNormal);
    m_curves.insert(2, new GammaCurveTungsten);
}

const Curve *CurveRegistry::curve(int type) const
{
    const auto it = m_curves.constFind(type);
    return it != m_curves.cend() ? it.value() : m_curves.value(0);
}
