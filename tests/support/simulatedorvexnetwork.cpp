#include "simulatedorvexnetwork.h"

#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "support/orvexreplies.h"

#include <QtEndian>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace {

// Sends datagram to (to, port) from the local address `from`: the toolkit's own sender
// address does not reach the kernel's source address choice, IP_PKTINFO's ipi_spec_dst does.
bool sendFrom(QUdpSocket &socket, const QByteArray &datagram, quint32 from, const QHostAddress &to,
              quint16 port)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(to.toIPv4Address());
    iovec data{const_cast<char *>(datagram.constData()), size_t(datagram.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &target;
    message.msg_namelen = sizeof(target);
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(from);
    std::memcpy(CMSG_DATA(header), &info, sizeof(info));
    return ::sendmsg(int(socket.socketDescriptor()), &message, 0) == datagram.size();
}

} // namespace

void SimulatedOrvexNetwork::useLoopback()
{
    NetworkSettings &settings = NetworkSettings::instance();
    settings.bindAddress = QHostAddress(QHostAddress::LocalHost);
    settings.broadcastOverride = loopbackBroadcast();
    settings.pauseAnnouncementOverride = loopbackBroadcast();
}

SimulatedOrvexNetwork::SimulatedOrvexNetwork(QObject *parent) : QObject(parent)
{
    const NetworkSettings &settings = NetworkSettings::instance();
    if (!settings.broadcastOverride.isNull())
        m_socket.bind(settings.broadcastOverride, settings.orvexPort);
    connect(&m_socket, &QUdpSocket::readyRead, this, &SimulatedOrvexNetwork::readPending);
}

bool SimulatedOrvexNetwork::isListening() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

SimulatedOrvexInterface *SimulatedOrvexNetwork::addInterface(const QHostAddress &address)
{
    auto *iface = new SimulatedOrvexInterface(address, this);
    m_interfaces.append(iface);
    return iface;
}

QList<QByteArray> SimulatedOrvexNetwork::broadcastsWithCode(quint16 code) const
{
    QList<QByteArray> result;
    for (const QByteArray &d : m_broadcasts) {
        if (d.size() >= 8 && qFromLittleEndian<quint16>(d.constData() + 6) == code)
            result.append(d);
    }
    return result;
}

void SimulatedOrvexNetwork::setLoss(double rate, quint32 seed)
{
    for (SimulatedOrvexInterface *iface : std::as_const(m_interfaces))
        iface->setLoss(rate, seed);
}

int SimulatedOrvexNetwork::lostDatagrams() const
{
    int lost = 0;
    for (const SimulatedOrvexInterface *iface : m_interfaces)
        lost += iface->lostDatagrams();
    return lost;
}

void SimulatedOrvexNetwork::readPending()
{
    forEachPendingDatagram(
        m_socket, [this](const QByteArray &datagram, const QHostAddress &sender, quint16 port) {
            m_broadcasts.append(datagram);
            for (SimulatedOrvexInterface *iface : m_interfaces)
                iface->handleDatagram(datagram, sender, port, true);
            const bool discover =
                datagram.size() >= 8 &&
                qFromLittleEndian<quint16>(datagram.constData() + 6) == OrvexDatagrams::Discover;
            if (discover && m_floodPerDiscover > 0) {
                m_floodPending = m_floodPerDiscover;
                m_floodTo = sender;
                m_floodToPort = port;
                m_floodTimer.start();
            }
        });
}

void SimulatedOrvexNetwork::floodDiscoverReplies(int count)
{
    m_floodPerDiscover = count;
    if (m_floodSocket.state() == QAbstractSocket::UnconnectedState)
        m_floodSocket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    m_floodTimer.setInterval(1);
    connect(&m_floodTimer, &QTimer::timeout, this, &SimulatedOrvexNetwork::sendFloodReplies,
            Qt::UniqueConnection);
}

void SimulatedOrvexNetwork::sendFloodReplies()
{
    constexpr int perTick = 25;
    for (int i = 0; i < perTick && m_floodPending > 0; ++i, --m_floodPending) {
        // Host n of the flood: 127.1.0.1 to 127.1.0.250, then 127.1.1.1 ...
        const int n = m_floodPerDiscover - m_floodPending;
        const quint32 host = quint32(0x7F010000 + (n / 250) * 256 + n % 250 + 1);
        const QByteArray reply =
            OrvexReplies::discoverReply(OrvexDatagrams::DiscoverReply, QByteArray(6, '\x01'), host,
                                        m_floodSerial++, 1, 0, "1", "Flood");
        if (sendFrom(m_floodSocket, reply, host, m_floodTo, m_floodToPort))
            ++m_floodSent;
    }
    if (m_floodPending == 0)
        m_floodTimer.stop();
}
