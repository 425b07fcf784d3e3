#include "simulatedorvexnetwork.h"

#include "protocol/networksettings.h"

#include <QtEndian>

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
        });
}
