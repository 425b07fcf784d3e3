#ifndef GAMUTMAPPING_H
#define GAMUTMAPPING_H

#include <QList>
#include <QPointF>
#include <QVector>
#include <QtGlobal>

class Profile;

// Gamut mapping between two fixture profiles and the level solver for a target profile. Both
// read a profile for its id with the id's colour type, in the set profileSetForFlag(flag).

// The profile of id and flag as the conversions read it.
Profile *conversionProfile(quint64 profileId, bool flag);
// The chromaticity of each channel of the profile, in channel order.
QVector<QPointF> channelChromaticities(const Profile &profile);

// Moves point from the source profile's gamut into the target's: the ring between the
// reference triangle and the source's primary triangle is stretched onto the ring between the
// reference triangle and the target's channel hull. Points inside the reference triangle, and
// points no cell holds, come back unchanged; so does every point when a profile has fewer than
// three channels or the target hull cannot be walked through its three anchors.
QPointF buildChannelMapping(quint64 sourceProfileId, bool sourceFlag, quint64 targetProfileId,
                            bool targetFlag, const QPointF &point);

// One level per target channel whose mixture has the chromaticity point; zeros when no
// mixture is found.
QVector<double> solveMixingLp(quint64 targetProfileId, bool targetFlag, const QPointF &point,
                              bool normalizeByObjective);

namespace gamut {

// The steps of the mapping, exposed for tests.
struct Anchors
{
    int index[3] = {0, 0, 0};
};

struct MeshRecord
{
    QPointF hull;
    QPointF source;
    QPointF reference;
    float segmentLength = 0.f;
    float cumulativeLength = 0.f;
    float t = 0.f;
};

QVector<int> hullStartOrder(const QVector<QPointF> &points);
// The gift-wrapping walk from the start vertex: the hull order of each point, -1 off the hull.
QVector<int> wrapHull(const QVector<QPointF> &points, QVector<int> order);
Anchors findGamutAnchors(const QVector<QPointF> &points);
QVector<MeshRecord> buildGamutMesh(const QVector<QPointF> &target, const QVector<int> &order,
                                   const Anchors &anchors, const QVector<QPointF> &source);
QPointF mapThroughMesh(const QVector<MeshRecord> &mesh, int firstCell, const QPointF &point);

} // namespace gamut

#endif // GAMUTMAPPING_H
