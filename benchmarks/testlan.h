#ifndef TESTLAN_H
#define TESTLAN_H

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>
#include <QString>
#include <QStringList>

// Where the benchmarks' interfaces live. Inside the private test LAN (scripts/isolate.sh --lan)
// they are peers on it, 198.51.100.10 onwards, in a namespace of their own whose socket takes
// every datagram, so a datagram leaves through an interface driver and ends in a socket as on
// a real installation; elsewhere they are loopback addresses.
namespace testlan {

constexpr int LanPeers = 240;

// Inside the private test LAN the peers get fixed neighbour entries with the peers' link
// address, so datagrams leave through the interface driver at once instead of waiting on
// address resolution.
inline bool onTestLan()
{
    static const bool lan = [] {
        if (!QNetworkInterface::allAddresses().contains(
                QHostAddress(QStringLiteral("198.51.100.1"))))
            return false;
        QByteArray commands;
        for (int i = 0; i < LanPeers; ++i)
            commands += QStringLiteral("neigh replace 198.51.100.%1 lladdr 02:00:00:00:00:01 dev "
                                       "eth0 nud permanent\n")
                            .arg(10 + i)
                            .toLatin1();
        QProcess ip;
        ip.start(QStringLiteral("ip"), {QStringLiteral("-batch"), QStringLiteral("-")});
        ip.write(commands);
        ip.closeWriteChannel();
        return ip.waitForFinished() && ip.exitCode() == 0;
    }();
    return lan;
}

// The address of the index-th interface; the same index always gets the same one.
inline QString peerAddress(int index)
{
    if (onTestLan())
        return QStringLiteral("198.51.100.%1").arg(10 + index % LanPeers);
    return QStringLiteral("127.0.%1.%2").arg((index >> 8) & 0xFF).arg((index & 0xFF) + 1);
}

// Names the destination in benchmark output, so a figure says where its datagrams went.
inline const char *destination()
{
    return onTestLan() ? "test LAN" : "loopback";
}

} // namespace testlan

#endif // TESTLAN_H
