#ifndef PROFILE_H
#define PROFILE_H

#include <QList>
#include <QPointF>
#include <QPolygonF>
#include <QStringList>

// One fixture colour profile of one value set: per channel the tristimulus X, Y, Z of the
// emitter at full drive, the channel names and the chromaticity triangle of channels 0 to 2.
class Profile
{
public:
    // The most channels a profile may describe.
    static constexpr int MaxChannels = 8;

    explicit Profile(int id);

    void setX(const QList<double> &values);
    void setY(const QList<double> &values);
    void setZ(const QList<double> &values);
    void setChannelNames(const QStringList &names);

    const QList<double> &xValues() const { return m_x; }
    const QList<double> &yValues() const { return m_y; }
    const QList<double> &zValues() const { return m_z; }
    const QStringList &channelNames() const { return m_channelNames; }
    int channelCount() const { return int(m_channelNames.size()); }
    int id() const { return m_id; }

    // A channel the lists do not hold reads 0: readers address channels by colour type,
    // which need not agree with the profile.
    double xAt(int channel) const { return inRange(channel) ? m_fx[channel] : 0.0; }
    double yAt(int channel) const { return inRange(channel) ? m_fy[channel] : 0.0; }
    double zAt(int channel) const { return inRange(channel) ? m_fz[channel] : 0.0; }
    // u'v' of a channel, kept with the values for the mixing's primary search.
    QPointF uvAt(int channel) const { return inRange(channel) ? m_uv[channel] : QPointF(); }

    const QList<QPointF> &gamutPoints() const { return m_gamutPoints; }
    const QPolygonF &gamutPolygon() const { return m_gamutPolygon; }
    void buildGamut();
    bool clampToGamut(double x, double y, double *outX, double *outY) const;

    // Rises whenever any profile's values change, so memo tables of the mixing know to
    // forget what they derived from the old values.
    static quint32 revision() { return s_revision; }

private:
    static bool inRange(int channel) { return channel >= 0 && channel < MaxChannels; }
    void refreshChannelCache();

    QList<double> m_x;
    QList<double> m_y;
    QList<double> m_z;
    QList<QPointF> m_gamutPoints;
    QPolygonF m_gamutPolygon;
    int m_id;
    QStringList m_channelNames;

    double m_fx[MaxChannels] = {};
    double m_fy[MaxChannels] = {};
    double m_fz[MaxChannels] = {};
    QPointF m_uv[MaxChannels];

    static quint32 s_revision;
};

#endif // PROFILE_H
