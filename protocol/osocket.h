#ifndef OSOCKET_H
#define OSOCKET_H

#include "protocol/droppeddatagramlog.h"

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>

// The UDP socket of an Orvex object: bound IPv4-only on a port the system picks, it sends to
// the Orvex port (NetworkSettings) and finds the broadcast address by the broadcast rule.
class OSocket : public QUdpSocket
{
    Q_OBJECT
public:
    static constexpr int ReceiveBufferOption = 200000;
    static constexpr int SendBufferOption = 52428800;

    explicit OSocket(QObject *parent = nullptr);

    // One datagram to ip (strict dotted IPv4 text) on the Orvex port; false when the text is
    // no address or the socket reports failure.
    bool sendTo(const QByteArray &ip, const QByteArray &datagram);
    // One datagram of a batch: host-order IPv4 target and the bytes, which stay the caller's.
    struct Outgoing
    {
        quint32 address;
        const char *data;
        int size;
    };
    // Datagrams to the Orvex port, in order, handed to the system in as few calls as it
    // allows; returns how many it took. One that fails is lost as a single send's would be,
    // and the rest still go; the lost ones are counted and logged, one line a second at most.
    int sendBatch(const Outgoing *datagrams, int count);
    // Datagrams of batches that the system refused, since the socket was made.
    quint64 refusedDatagrams() const { return m_refused; }
    // One datagram to the broadcast address on the Orvex port.
    bool broadcast(const QByteArray &datagram);
    // The next pending datagram, cut at the receive buffer size, and its sender; false when
    // none is pending or the read fails.
    bool readPendingDatagram(QByteArray *datagram, QHostAddress *sender);

    QHostAddress localIpv4() const { return m_localAddress; }
    QHostAddress broadcastAddress() const { return m_broadcastAddress; }
    quint32 netmaskWord() const { return m_netmask; }

private:
    QHostAddress broadcastTarget();
    int sendEach(const Outgoing *datagrams, int count);
    void noteRefused(int count, const QString &reason);

    QHostAddress m_localAddress;
    QHostAddress m_broadcastAddress{QHostAddress::Broadcast};
    quint32 m_netmask = 0;
    quint64 m_refused = 0;
    DroppedDatagramLog m_refusedLog;
};

#endif // OSOCKET_H
