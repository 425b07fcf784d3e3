#ifndef SIMULATEDORVEXNETWORK_H
#define SIMULATEDORVEXNETWORK_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include "support/simulatedorvexinterface.h"

// A loopback network of simulated Orvex interfaces. It owns the interfaces and a socket on
// the broadcast address of NetworkSettings (its broadcastOverride), so that an Orvex
// broadcast reaches every interface, as on a real subnet. Only one network can listen at a
// time (its socket takes the broadcast address and the Orvex port).
//
// Typical use, before any Orvex object is built:
//     SimulatedOrvexNetwork::useLoopback();
//     SimulatedOrvexNetwork net;
//     SimulatedOrvexInterface *dev = net.addInterface(QHostAddress("127.0.0.2"));
//     dev->lights.append({0x10000001, 1, {{0x40, 0}}, {}});
class SimulatedOrvexNetwork : public QObject
{
    Q_OBJECT
public:
    // The loopback address that stands for the subnet's broadcast address in tests.
    static QHostAddress loopbackBroadcast() { return QHostAddress(QStringLiteral("127.0.0.255")); }
    // Points NetworkSettings at loopback: sockets bind 127.0.0.1 and broadcasts go to
    // loopbackBroadcast(); the pause link announces there too.
    static void useLoopback();

    explicit SimulatedOrvexNetwork(QObject *parent = nullptr);

    bool isListening() const;
    SimulatedOrvexInterface *addInterface(const QHostAddress &address);
    const QList<SimulatedOrvexInterface *> &interfaces() const { return m_interfaces; }
    // Every broadcast received (discover, sync ...), in arrival order.
    const QList<QByteArray> &broadcasts() const { return m_broadcasts; }
    QList<QByteArray> broadcastsWithCode(quint16 code) const;
    // Random loss on every interface's link (SimulatedOrvexInterface::setLoss), from one seed.
    void setLoss(double rate, quint32 seed);
    int lostDatagrams() const;

    // A host that answers every later discover broadcast, after the interfaces, with `count`
    // forged interfaces: discover replies of protocol version 1, each from a loopback address
    // of its own (127.1.0.1 onwards) and with a serial number that no reply carried before. They
    // go out a few at a time, so that the receiving socket's buffer keeps up with them.
    void floodDiscoverReplies(int count);
    int floodRepliesSent() const { return m_floodSent; }
    // Reads every datagram already in: on loopback one is in as soon as it was sent, so what
    // the hosts received is then all that was sent to them.
    void readPending();

private:
    void sendFloodReplies();

    QUdpSocket m_socket;
    QList<SimulatedOrvexInterface *> m_interfaces;
    QList<QByteArray> m_broadcasts;

    QUdpSocket m_floodSocket;
    QTimer m_floodTimer;
    int m_floodPerDiscover = 0;
    int m_floodPending = 0; // of the current flood
    int m_floodSent = 0;
    quint32 m_floodSerial = 0x7F000001;
    QHostAddress m_floodTo;
    quint16 m_floodToPort = 0;
};

#endif // SIMULATEDORVEXNETWORK_H
