#include "osocket.h"

#include "protocol/ipv4address.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"

#include <QDebug>
#include <QVariant>

#include <algorithm>

#if defined(Q_OS_LINUX)
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#endif

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

int OSocket::sendEach(const Outgoing *datagrams, int count)
{
    const quint16 port = NetworkSettings::instance().orvexPort;
    int sent = 0;
    for (int i = 0; i < count; ++i) {
        if (writeDatagram(datagrams[i].data, datagrams[i].size, QHostAddress(datagrams[i].address),
                          port) >= 0)
            ++sent;
    }
    if (sent < count)
        noteRefused(count - sent, errorString());
    return sent;
}

// A frame goes on when the system refuses some of its datagrams (an unreachable interface, a
// full buffer), but the user must be able to see it: refusals are counted and logged, at most
// one line a second, the line carrying how many were refused since the last one.
void OSocket::noteRefused(int count, const QString &reason)
{
    m_refused += quint64(count);
    if (const int reported = m_refusedLog.note(count))
        qWarning().noquote().nospace()
            << "Live output: the system refused " << reported << " datagram"
            << (reported == 1 ? "" : "s") << " since the last report (" << reason << ")";
}

#if defined(Q_OS_LINUX)

int OSocket::sendBatch(const Outgoing *datagrams, int count)
{
    const qintptr fd = socketDescriptor();
    if (fd < 0 || state() != BoundState)
        return sendEach(datagrams, count);
    const quint16 port = htons(NetworkSettings::instance().orvexPort);
    constexpr int Chunk = 128;
    mmsghdr headers[Chunk];
    iovec buffers[Chunk];
    sockaddr_in targets[Chunk];
    int sent = 0;
    int next = 0;
    int refused = 0;
    int lastError = 0;
    while (next < count) {
        const int n = std::min(Chunk, count - next);
        for (int k = 0; k < n; ++k) {
            const Outgoing &datagram = datagrams[next + k];
            targets[k] = sockaddr_in{};
            targets[k].sin_family = AF_INET;
            targets[k].sin_port = port;
            targets[k].sin_addr.s_addr = htonl(datagram.address);
            buffers[k].iov_base = const_cast<char *>(datagram.data);
            buffers[k].iov_len = size_t(std::max(datagram.size, 0));
            headers[k] = mmsghdr{};
            headers[k].msg_hdr.msg_name = &targets[k];
            headers[k].msg_hdr.msg_namelen = sizeof targets[k];
            headers[k].msg_hdr.msg_iov = &buffers[k];
            headers[k].msg_hdr.msg_iovlen = 1;
        }
        const int taken = ::sendmmsg(int(fd), headers, unsigned(n), 0);
        if (taken > 0) {
            sent += taken;
            next += taken;
        } else if (taken < 0 && errno == EINTR) {
            continue;
        } else {
            // The first datagram failed (a full buffer, a peer the system cannot reach): it
            // is dropped, as a single send would drop it, and the batch goes on.
            lastError = errno;
            ++refused;
            ++next;
        }
    }
    if (refused > 0)
        noteRefused(refused, QString::fromLocal8Bit(strerror(lastError)));
    return sent;
}

#else

int OSocket::sendBatch(const Outgoing *datagrams, int count)
{
    return sendEach(datagrams, count);
}

#endif

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
