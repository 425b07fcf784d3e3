#include "simulatedorvexinterface.h"

#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "support/orvexreplies.h"

#include <QMap>
#include <QtEndian>

using namespace OrvexDatagrams;

namespace {

quint16 codeOf(const QByteArray &datagram)
{
    if (datagram.size() < HeaderSize)
        return 0;
    return qFromLittleEndian<quint16>(datagram.constData() + 6);
}

quint16 replyCode(SimulatedOrvexInterface::DiscoverForm form)
{
    switch (form) {
    case SimulatedOrvexInterface::DiscoverForm::SecondForm:
        return DiscoverEOReply;
    case SimulatedOrvexInterface::DiscoverForm::Version3:
        return DiscoverV3Reply;
    default:
        return DiscoverReply;
    }
}

} // namespace

SimulatedOrvexInterface::SimulatedOrvexInterface(const QHostAddress &address, QObject *parent)
    : QObject(parent), m_address(address)
{
    m_socket.bind(address, NetworkSettings::instance().orvexPort);
    connect(&m_socket, &QUdpSocket::readyRead, this, &SimulatedOrvexInterface::readPending);
}

bool SimulatedOrvexInterface::isListening() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

QList<QByteArray> SimulatedOrvexInterface::receivedWithCode(quint16 code) const
{
    QList<QByteArray> result;
    for (const Received &r : m_received) {
        if (r.code == code)
            result.append(r.datagram);
    }
    return result;
}

bool SimulatedOrvexInterface::sendRaw(const QByteArray &datagram)
{
    return sendRawTo(datagram, m_peer, m_peerPort);
}

bool SimulatedOrvexInterface::sendRawTo(const QByteArray &datagram, const QHostAddress &to,
                                        quint16 port)
{
    return m_socket.writeDatagram(datagram, to, port) == datagram.size();
}

void SimulatedOrvexInterface::readPending()
{
    forEachPendingDatagram(m_socket,
                           [this](const QByteArray &datagram, const QHostAddress &sender,
                                  quint16 port) { handleDatagram(datagram, sender, port, false); });
}

void SimulatedOrvexInterface::handleDatagram(const QByteArray &datagram, const QHostAddress &sender,
                                             quint16 port, bool broadcast)
{
    const quint16 code = codeOf(datagram);
    m_received.append({code, datagram, sender, port, broadcast});
    m_peer = sender;
    m_peerPort = port;
    if (answering)
        answer(code, datagram);
    emit datagramReceived(code, datagram);
}

const SimulatedOrvexInterface::Light *SimulatedOrvexInterface::findLight(quint64 serial) const
{
    for (const Light &light : lights) {
        if (light.serial == serial)
            return &light;
    }
    return nullptr;
}

void SimulatedOrvexInterface::answer(quint16 code, const QByteArray &d)
{
    const auto *bytes = reinterpret_cast<const uchar *>(d.constData());
    switch (code) {
    case Discover:
        sendRaw(OrvexReplies::discoverReply(
            replyCode(identity.form), identity.mac, address32(), identity.serial,
            identity.protocolVersion, identity.universe, identity.versionText, identity.idText));
        break;
    case PortDiscovery: {
        QVector<QPair<quint8, quint8>> list;
        for (const Port &p : ports)
            list.append({p.number, p.type});
        sendRaw(OrvexReplies::portDiscoveryReply(address32(), list));
        break;
    }
    case BlinkScan:
        for (const Light &light : lights) {
            if (light.serial <= 0xFFFFFFFFu)
                sendRaw(OrvexReplies::blinkScanReply(address32(), quint32(light.serial)));
        }
        break;
    case BlinkScan2:
        answerBlinkScan2();
        break;
    case EERead:
        if (d.size() >= 18) {
            const Light *light = findLight(qFromLittleEndian<quint32>(bytes + 12));
            const quint16 address = qFromLittleEndian<quint16>(bytes + 16);
            if (light)
                sendRaw(OrvexReplies::memoryReadReply(EEReadReply, quint32(light->serial), address,
                                                      light->eeprom.value(address)));
        }
        break;
    case GetDeviceVariable:
        if (d.size() >= 14) {
            const quint16 id = qFromLittleEndian<quint16>(bytes + 12);
            if (deviceVariables.contains(id))
                sendRaw(OrvexReplies::deviceVariableReply(id, deviceVariables.value(id)));
        }
        break;
    case RdmGet:
        if (d.size() >= 35) {
            const quint64 uid = (quint64(qFromBigEndian<quint16>(bytes + 15)) << 32) |
                                qFromBigEndian<quint32>(bytes + 17);
            const quint16 pid = qFromBigEndian<quint16>(bytes + 33);
            const Light *light = findLight(uid);
            if (light && light->rdm.contains(pid))
                sendRaw(OrvexReplies::rdmGetReply(uid, pid, light->rdm.value(pid)));
        }
        break;
    default:
        break;
    }
}

void SimulatedOrvexInterface::answerBlinkScan2()
{
    // An entry's payload length is one byte, so at most 63 serials go into one entry.
    constexpr int perEntry = 63;
    QMap<quint8, QVector<quint32>> serials;
    QMap<quint8, QVector<quint64>> uids;
    for (const Light &light : lights) {
        if (light.serial <= 0xFFFFFFFFu)
            serials[light.port].append(quint32(light.serial));
        else
            uids[light.port].append(light.serial);
    }
    QByteArray entries;
    int entryCount = 0;
    for (auto it = serials.cbegin(); it != serials.cend(); ++it) {
        for (int i = 0; i < it.value().size(); i += perEntry) {
            entries += OrvexReplies::blinkScan2Entry(
                it.key(), 1, OrvexReplies::serialPayload(it.value().mid(i, perEntry)));
            ++entryCount;
        }
    }
    if (entryCount > 0)
        sendRaw(OrvexReplies::blinkScan2Reply(address32(), quint8(entryCount), entries));
    // An RDM entry ends its datagram and holds as many records as the entry count.
    for (auto it = uids.cbegin(); it != uids.cend(); ++it) {
        const QByteArray payload = OrvexReplies::uidPayload(rdmUidForm, it.value());
        QByteArray entry = OrvexReplies::blinkScan2Entry(it.key(), rdmUidForm, QByteArray());
        sendRaw(
            OrvexReplies::blinkScan2Reply(address32(), quint8(it.value().size()), entry + payload));
    }
}
