#include "networksettings.h"

#include <QNetworkInterface>

NetworkSettings &NetworkSettings::instance()
{
    // Never freed, like the other process-wide objects.
    static NetworkSettings *settings = new NetworkSettings;
    return *settings;
}

void NetworkSettings::restoreDefaults()
{
    *this = NetworkSettings();
}

NetworkSettings::BroadcastRoute
NetworkSettings::broadcastRoute(const QList<InterfaceInfo> &interfaces)
{
    BroadcastRoute route;
    for (const InterfaceInfo &iface : interfaces) {
        if (!iface.up || iface.loopback)
            continue;
        for (const QNetworkAddressEntry &entry : iface.addresses) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            // Only "eth0" counts; the walk goes on so that a later "eth0" wins.
            if (iface.humanReadableName == QLatin1String("eth0")) {
                route.found = true;
                route.local = entry.ip();
                route.broadcast = directedBroadcast(entry);
            }
            break;
        }
    }
    return route;
}

QHostAddress NetworkSettings::directedBroadcast(const QNetworkAddressEntry &entry)
{
    return QHostAddress(entry.ip().toIPv4Address() | ~entry.netmask().toIPv4Address());
}

QList<NetworkSettings::InterfaceInfo> NetworkSettings::systemInterfaces()
{
    QList<InterfaceInfo> result;
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
        InterfaceInfo info;
        info.humanReadableName = iface.humanReadableName();
        info.up = iface.flags().testFlag(QNetworkInterface::IsUp);
        info.loopback = iface.flags().testFlag(QNetworkInterface::IsLoopBack);
        info.addresses = iface.addressEntries();
        result.append(info);
    }
    return result;
}
