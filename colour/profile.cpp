#include "colour/profile.h"

#include "colour/colourmixing.h"
#include "colour/fixturetypedescriptor.h"
#include "colour/fixturetypetable.h"
#include "colour/profiledatabase.h"

#include <QtMath>

quint32 Profile::s_revision = 0;

Profile::Profile(int id) : m_id(id) {}

void Profile::setX(const QList<double> &values)
{
    m_x = values;
    refreshChannelCache();
}

void Profile::setY(const QList<double> &values)
{
    m_y = values;
    refreshChannelCache();
}

void Profile::setZ(const QList<double> &values)
{
    m_z = values;
    refreshChannelCache();
}

void Profile::setChannelNames(const QStringList &names)
{
    m_channelNames = names;
}

void Profile::refreshChannelCache()
{
    for (int i = 0; i < MaxChannels; ++i) {
        m_fx[i] = i < m_x.size() ? m_x.at(i) : 0.0;
        m_fy[i] = i < m_y.size() ? m_y.at(i) : 0.0;
        m_fz[i] = i < m_z.size() ? m_z.at(i) : 0.0;
        m_uv[i] = uvFromXyz(m_fx[i], m_fy[i], m_fz[i]);
    }
    ++s_revision;
}

void Profile::buildGamut()
{
    m_gamutPoints.clear();
    m_gamutPolygon.clear();
    // The triangle is that of a full-level RGB colour of this id with the profile-set flag
    // false, which reads set 1 of the colour type 1 profile: exactly what colorToXyY does for
    // a colour with one channel at 1.0, done here without building the colour.
    Profile *source = ProfileDatabase::instance()->profile(m_id, 1, 1);
    const int curveType = FixtureTypeTable::instance()->find(m_id)->curveType();
    const double level = lightOutputLevel(curveType, 1.0);
    for (int channel = 0; channel < 3; ++channel) {
        const double X = level * source->xAt(channel);
        const double Y = level * source->yAt(channel);
        const double Z = level * source->zAt(channel);
        const double sum = X + Y + Z;
        if (sum == 0.0 || !qIsFinite(sum))
            m_gamutPoints.append(QPointF(0.0, 0.0));
        else
            m_gamutPoints.append(QPointF(X / sum, Y / sum));
    }
    m_gamutPolygon = QPolygonF(m_gamutPoints);
    ++s_revision;
}

bool Profile::clampToGamut(double x, double y, double *outX, double *outY) const
{
    const QPointF p(x, y);
    if (m_gamutPolygon.containsPoint(p, Qt::OddEvenFill) || m_gamutPoints.size() < 3) {
        *outX = x;
        *outY = y;
        return m_gamutPoints.size() >= 3;
    }
    QPointF best;
    double bestDistance = 0.0;
    for (int i = 0; i < 3; ++i) {
        QPointF candidate;
        const double distance = nearestPointOnSegment(m_gamutPoints.at(i),
                                                      m_gamutPoints.at((i + 1) % 3), p, &candidate);
        if (i == 0 || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    *outX = best.x();
    *outY = best.y();
    return false;
}
