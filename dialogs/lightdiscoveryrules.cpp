#include "lightdiscoveryrules.h"

#include "model/identifiers.h"
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

QString unsettledPortsText(const QString &interfaceName, const QList<int> &ports)
{
    QStringList lines;
    for (const int port : ports)
        lines << tr("The lights on port %1 of %2 could not be counted: its answers did not "
                    "agree. No lights were made for it; discover again.")
                     .arg(port + 1)
                     .arg(interfaceName);
    return lines.join(QLatin1Char('\n'));
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
