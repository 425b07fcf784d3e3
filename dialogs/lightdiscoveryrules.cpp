#include "lightdiscoveryrules.h"

#include "interfacelistentry.h"

#include "model/identifiers.h"
#include "protocol/lightscanbook.h"
#include "protocol/networksettings.h"

#include <QCoreApplication>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <numeric>

namespace LightDiscoveryRules {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("DiscoverLightsWizard", text);
}
} // namespace

int completionWaitMs(bool allPortsType3)
{
    const NetworkSettings &settings = NetworkSettings::instance();
    return allPortsType3 ? settings.lightScanQuietType3Ms : settings.lightScanQuietMs;
}

QString foundSummary(int lights, int ports)
{
    return (ports == 1 ? tr("Found %1 Lights on %2 Port.") : tr("Found %1 Lights on %2 Ports."))
        .arg(lights)
        .arg(ports);
}

namespace {
// Why the port's lights could not be counted, and what the user can do about it.
QString doubtText(CountAnswers::Doubt doubt)
{
    switch (doubt) {
    case CountAnswers::Doubt::TooManyLights:
        return tr("its counts add up to more than %1 lights, the most a port holds. No lights "
                  "were made for it; check what is connected to that port, then discover again.")
            .arg(LightScanBook::MaxLightsPerPort);
    case CountAnswers::Doubt::Unanswered:
        return tr("the interface stopped answering before its answers could be compared. No "
                  "lights were made for it; check the interface's network connection, then "
                  "discover again.");
    case CountAnswers::Doubt::Endless:
        return tr("its answers never went quiet, as if something kept sending them. No lights "
                  "were made for it; restart the interface, then discover again.");
    case CountAnswers::Doubt::Disagreed:
        break;
    }
    return tr("its answers did not agree. No lights were made for it; discover again.");
}

QString portsText(const QList<int> &ports)
{
    QStringList numbers;
    for (const int port : ports)
        numbers << QString::number(port + 1);
    return joinedWithAnd(numbers);
}

QString joinedLines(const QStringList &lines)
{
    QStringList kept = lines;
    kept.removeAll(QString());
    return kept.join(QLatin1Char('\n'));
}
} // namespace

QString unsettledPortsText(const QString &interfaceName, const QList<PortDoubt> &ports)
{
    QStringList lines;
    for (const PortDoubt &p : ports)
        lines << tr("The lights on port %1 of %2 could not be counted: %3")
                     .arg(p.port + 1)
                     .arg(interfaceName, doubtText(p.doubt));
    return lines.join(QLatin1Char('\n'));
}

QString uncheckedPortsText(const QString &interfaceName, const QList<int> &ports)
{
    if (ports.isEmpty())
        return QString();
    return (ports.size() == 1 ? tr("The lights on port %1 of %2 were taken from the interface's "
                                   "only answer, which nothing could check. Discover again to "
                                   "have them checked.")
                              : tr("The lights on ports %1 of %2 were taken from the interface's "
                                   "only answer, which nothing could check. Discover again to "
                                   "have them checked."))
        .arg(portsText(ports), interfaceName);
}

QString countNoticeText(const QString &interfaceName, const QList<PortDoubt> &unsettled,
                        const QList<int> &unchecked)
{
    return joinedLines({unsettledPortsText(interfaceName, unsettled),
                        uncheckedPortsText(interfaceName, unchecked)});
}

QString countingText(const QString &interfaceName, int round)
{
    if (round < 1)
        return tr("Counting the lights of %1...").arg(interfaceName);
    if (round == 1)
        return tr("Counting the lights of %1... (asked again once)").arg(interfaceName);
    return tr("Counting the lights of %1... (asked again %2 times)").arg(interfaceName).arg(round);
}

QString countStatusText(const QString &interfaceName, int round, const QString &notice)
{
    return joinedLines({round >= 0 ? countingText(interfaceName, round) : QString(), notice});
}

QString verdictText(bool unique)
{
    return unique ? tr("The lights are uniquely addressed.")
                  : tr("The lights are NOT uniquely addressed.\nUse Vantorp Pro to assign them "
                       "unique addresses.");
}

QString verdictText(bool unique, int unread, int total, bool cutShort)
{
    if (unread == 0)
        return verdictText(unique);
    QString notRead =
        tr("Could not read the DMX address of %1 of %2 lights.").arg(unread).arg(total);
    if (cutShort)
        notRead = tr("Reading was cancelled.") + QLatin1Char('\n') + notRead;
    return unique ? notRead : verdictText(false) + QLatin1Char('\n') + notRead;
}

QString readingText(int unanswered)
{
    const QString reading = tr("Reading Existing Addresses...");
    if (unanswered == 0)
        return reading;
    return reading + QLatin1Char('\n') +
           (unanswered == 1 ? tr("1 light has not answered.")
                            : tr("%1 lights have not answered.").arg(unanswered));
}

bool uniquelyAddressed(const QList<Address> &addresses)
{
    QSet<QPair<int, int>> seen;
    for (const Address &a : addresses)
        seen.insert({a.port, a.channel});
    return seen.size() == addresses.size();
}

QString unreadLightText(const QString &interfaceName, int port, quint64 serial)
{
    const QString light = QStringLiteral("port %1, serial %2")
                              .arg(port + 1, 2, 10, QLatin1Char('0'))
                              .arg(uidToColonString(serial));
    return interfaceName.isEmpty() ? light : interfaceName + QLatin1Char(' ') + light;
}

QString failedReadsText(int count, const QString &interfaceName)
{
    if (count == 1)
        return tr("Failed to read light data for 1 light of %1:").arg(interfaceName);
    return tr("Failed to read light data for %1 lights of %2:").arg(count).arg(interfaceName);
}

QList<int> numberingOrder(const QList<Address> &addresses)
{
    QList<int> order(addresses.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const Address &x = addresses.at(a);
        const Address &y = addresses.at(b);
        return x.port != y.port ? x.port < y.port : x.channel < y.channel;
    });
    return order;
}

QString lightName(const QString &interfaceName, const QString &modelName, int port,
                  quint32 lightNumber)
{
    QString name = interfaceName;
    if (!modelName.isEmpty())
        name += QLatin1Char(' ') + modelName;
    return name + QStringLiteral(" Light %1-%2")
                      .arg(port + 1, 2, 10, QLatin1Char('0'))
                      .arg(quint64(lightNumber) + 1, 3, 10, QLatin1Char('0'));
}

QList<int> furtherCellChannels(const QString &cellsText, const QString &pixelsText, bool hasPixels,
                               int start, int footprint)
{
    bool ok = false;
    const qint64 cells = cellsText.toLongLong(&ok, 10);
    if (!ok || cells <= 0)
        return {};
    const qint64 pixels = hasPixels ? pixelsText.toLongLong(nullptr, 10) : 1;
    const qint64 further = pixels / cells - 1;
    QList<int> channels;
    for (qint64 i = 0; i < further; ++i)
        channels.append(int(start + footprint * (i + 1)));
    return channels;
}

} // namespace LightDiscoveryRules
