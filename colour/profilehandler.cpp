#include "colour/profilehandler.h"

#include "colour/colourmixing.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"

#include <QDebug>
#include <QtMath>

namespace {

// Missing or malformed numbers read 0; so do infinities and NaN, which would otherwise reach
// every colour mixed with the profile.
double finiteValue(const QXmlAttributes &atts, const QString &name)
{
    const double value = atts.value(name).toDouble();
    return qIsFinite(value) ? value : 0.0;
}

} // namespace

bool ProfileHandler::startElement(const QString &, const QString &, const QString &qName,
                                  const QXmlAttributes &atts)
{
    if (qName == QLatin1String("Profile"))
        startProfile(atts);
    else if (qName == QLatin1String("Channel"))
        readChannel(atts);
    return true;
}

void ProfileHandler::startProfile(const QXmlAttributes &atts)
{
    m_channels = {};
    m_badChannel = false;
    m_profileName = atts.value(QStringLiteral("name"));
    m_profileIndex = atts.value(QStringLiteral("index")).toInt();
}

void ProfileHandler::readChannel(const QXmlAttributes &atts)
{
    const int index = atts.value(QStringLiteral("index")).toInt();
    if (index < 0 || index >= MaxChannels) {
        m_badChannel = true;
        return;
    }
    ChannelEntry &entry = m_channels[index];
    entry.present = true;
    entry.name = atts.value(QStringLiteral("name"));
    entry.values = {finiteValue(atts, QStringLiteral("X")), finiteValue(atts, QStringLiteral("Y")),
                    finiteValue(atts, QStringLiteral("Z"))};
    entry.hasN = atts.index(QStringLiteral("Xn")) >= 0 && atts.index(QStringLiteral("Yn")) >= 0 &&
                 atts.index(QStringLiteral("Zn")) >= 0;
    if (entry.hasN)
        entry.nValues = {finiteValue(atts, QStringLiteral("Xn")),
                         finiteValue(atts, QStringLiteral("Yn")),
                         finiteValue(atts, QStringLiteral("Zn"))};
}

int ProfileHandler::channelCount() const
{
    int count = 0;
    while (count < MaxChannels && m_channels[count].present)
        ++count;
    return count;
}

bool ProfileHandler::channelsUsable() const
{
    // The channels must be 0..count-1 without a gap; anything else cannot be laid out as
    // lists indexed by channel.
    const int count = channelCount();
    if (count == 0 || m_badChannel)
        return false;
    for (int i = count; i < MaxChannels; ++i) {
        if (m_channels[i].present)
            return false;
    }
    return true;
}

void ProfileHandler::storeSet(int set, bool useN) const
{
    Profile *profile = ProfileDatabase::instance()->profile(
        m_profileIndex, colorTypeOfFixture(m_profileIndex), set);
    QList<double> xs, ys, zs;
    QStringList names;
    for (int i = 0; i < channelCount(); ++i) {
        const ChannelEntry &entry = m_channels[i];
        // A channel without its own n-values in a profile that has some keeps its set-0
        // values, so the lists stay one entry per channel.
        const std::array<double, 3> &v = useN && entry.hasN ? entry.nValues : entry.values;
        xs.append(v[0]);
        ys.append(v[1]);
        zs.append(v[2]);
        names.append(entry.name);
    }
    profile->setX(xs);
    profile->setY(ys);
    profile->setZ(zs);
    profile->setChannelNames(names);
    profile->buildGamut();
}

bool ProfileHandler::endElement(const QString &, const QString &, const QString &qName)
{
    if (qName != QLatin1String("Profile"))
        return true;
    if (quint32(m_profileIndex) + 1u > 56u) {
        qDebug() << "invalid profile definition";
        return false;
    }
    if (!channelsUsable()) {
        qDebug() << "skipping profile" << m_profileIndex
                 << "whose channels are not numbered 0 to 7 without a gap";
        return true;
    }
    storeSet(0, false);
    bool anyN = false;
    for (int i = 0; i < channelCount(); ++i)
        anyN = anyN || m_channels[i].hasN;
    if (anyN)
        storeSet(1, true);
    return true;
}

bool ProfileHandler::characters(const QString &)
{
    return true;
}

QString ProfileHandler::errorString() const
{
    return QString();
}

bool ProfileHandler::fatalError(const QXmlParseException &)
{
    return true;
}
