#include "osocket.h"

#include "protocol/ipv4address.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"

#include <QDebug>
#include <QVariant>

#include <algorithm>

OSocket::OSocket(QObject *parent) : QUdpSocket(parent)
{
    const NetworkSettings &settings = NetworkSettings::instance();
    // IPv4 only: an AnyIPv6 bind would accept replies whose sender we could not hand on as a
    // 32-bit address.
    if (!bind(settings.bindAddress, settings.bindPort))
        qDebug().noquote() << "OSocket failed to bind to port:" << errorString();
    m_localAddress = localAddress();
    setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(ReceiveBufferOption));
    setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, QVariant(SendBufferOption));
}

bool OSocket::sendTo(const QByteArray &ip, const QByteArray &datagram)
{
    quint32 address = 0;
    if (!parseDottedQuad(ip, &address))
        return false;
    return writeDatagram(datagram, QHostAddress(address), NetworkSettings::instance().orvexPort) >=
           0;
}

QHostAddress OSocket::broadcastTarget()
{
    const QHostAddress override = NetworkSettings::instance().broadcastOverride;
    if (!override.isNull())
        return override;
    if (m_broadcastAddress == QHostAddress(QHostAddress::Broadcast)) {
        const NetworkSettings::BroadcastRoute route =
            NetworkSettings::broadcastRoute(NetworkSettings::systemInterfaces());
        if (route.found) {
            m_localAddress = route.local;
            m_broadcastAddress = route.broadcast;
        }
    }
    return m_broadcastAddress;
}

bool OSocket::broadcast(const QByteArray &datagram)
{
    const QHostAddress target = broadcastTarget();
    return writeDatagram(datagram, target, NetworkSettings::instance().orvexPort) >= 0;
}

bool OSocket::readPendingDatagram(QByteArray *datagram, QHostAddress *sender)
{
    if (!hasPendingDatagrams())
        return false;
    const qint64 pending = pendingDatagramSize();
    if (pending < 0)
        return false;
    datagram->resize(int(std::min<qint64>(pending, OrvexDatagrams::ReceiveBufferSize)));
    const qint64 read = readDatagram(datagram->data(), datagram->size(), sender);
    if (read < 0)
        return false;
    datagram->resize(int(read));
    return true;
}
