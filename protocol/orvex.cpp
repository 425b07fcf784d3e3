#include "orvex.h"

#include "protocol/ipv4address.h"
#include "protocol/networksettings.h"
#include "protocol/osocket.h"

#include <QDebug>

using namespace OrvexDatagrams;

namespace {

void warnTruncation(qint64 length)
{
    if (length > MaxDmxData)
        qDebug() << "Truncating: DMX data length exceed 512";
}

// QByteArray::data() of a copy gives the char* the discovery signals carry; the copy lives
// as long as the emission.
struct DiscoverTexts
{
    explicit DiscoverTexts(const DiscoverReplyData &r)
        : mac(r.mac), version(r.versionText), id(r.idText)
    {}
    QByteArray mac;
    QByteArray version;
    QByteArray id;
};

} // namespace

Orvex::Orvex(QObject *parent) : QObject(parent)
{
    createSocket();
    connect(this, &Orvex::requestSyncPacket, this, &Orvex::handleSyncPacketRequest);
    connect(this, &Orvex::requestSendPortOut, this, &Orvex::handleSendPortOutRequest);
    for (int i = 0; i < SyncDatagramsAtStart; ++i)
        handleSyncPacketRequest();
}

void Orvex::createSocket()
{
    m_socket = new OSocket(this);
    connect(m_socket, &QUdpSocket::readyRead, this, &Orvex::checkSocket);
}

bool Orvex::sendDiscover(const QByteArray &ip)
{
    quint32 given = 0;
    if (!parseDottedQuad(ip, &given))
        return false;
    // The host bits come from the text and the network bits from our own address; with
    // the netmask word 0 that is the text unchanged.
    const quint32 mask = m_socket->netmaskWord();
    const quint32 carried = (given & ~mask) | (m_socket->localIpv4().toIPv4Address() & mask);
    return m_socket->broadcast(buildDiscover(carried));
}

bool Orvex::sendDiscoverPorts(const QByteArray &ip)
{
    quint32 target = 0;
    return parseDottedQuad(ip, &target) && m_socket->sendTo(ip, buildPortDiscovery(target));
}

bool Orvex::sendBlinkScan(const QByteArray &ip)
{
    quint32 target = 0;
    return parseDottedQuad(ip, &target) && m_socket->sendTo(ip, buildBlinkScan(target));
}

bool Orvex::sendBlinkScan2(const QByteArray &ip)
{
    quint32 target = 0;
    return parseDottedQuad(ip, &target) && m_socket->sendTo(ip, buildBlinkScan2(target));
}

bool Orvex::sendEERead(const QByteArray &ip, quint32 serial, quint16 address)
{
    return m_socket->sendTo(ip, buildEERead(serial, address));
}

void Orvex::sendGetDeviceVariable(const QByteArray &ip, quint16 valueId)
{
    m_socket->sendTo(ip, buildGetDeviceVariable(valueId));
}

bool Orvex::sendRdmGet(const QByteArray &ip, quint64 serial, quint16 parameterId)
{
    return isDottedQuad(ip) && m_socket->sendTo(ip, buildRdmGet(serial, parameterId));
}

bool Orvex::sendDmxFrame(const QByteArray &ip, quint8 startCode, quint16 timerValue,
                         const unsigned char *data, int length)
{
    warnTruncation(length);
    const bool sent = m_socket->sendTo(ip, buildDmxOut(startCode, timerValue, data, length));
    return sent && length <= MaxDmxData;
}

bool Orvex::sendPortOut(const QByteArray &ip, quint32 universe, quint8 port, quint16 flags,
                        quint32 length, quint16 startCode, const unsigned char *data)
{
    warnTruncation(length);
    const int n = int(std::min<quint32>(length, MaxDmxData));
    const bool sent = m_socket->sendTo(ip, buildPortOut(universe, port, flags, startCode, data, n));
    return sent && length <= quint32(MaxDmxData);
}

void Orvex::handleSyncPacketRequest()
{
    if (m_socket)
        m_socket->broadcast(buildSync());
}

void Orvex::handleSendPortOutRequest(const char *ip, unsigned int universe, unsigned char port,
                                     unsigned int flags, unsigned int length,
                                     unsigned int startCode, const unsigned char *data)
{
    if (m_socket && ip)
        sendPortOut(QByteArray(ip), universe, port, quint16(flags), length, quint16(startCode),
                    data);
}

void Orvex::resetSocket()
{
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->waitForDisconnected(NetworkSettings::instance().socketDisconnectWaitMs);
    m_socket->disconnect();
    m_socket->deleteLater();
    createSocket();
}

void Orvex::checkSocket()
{
    // The socket may be replaced by a slot called from a signal below; read from whichever
    // socket is current, one datagram at a time. What is left after a pass keeps the socket
    // readable, so its notifier brings us back on the next pass of the event loop.
    QByteArray datagram;
    QHostAddress sender;
    for (int i = 0; i < MaxDatagramsPerPass; ++i) {
        if (!m_socket || !m_socket->readPendingDatagram(&datagram, &sender))
            return;
        const quint32 from = sender.toIPv4Address();
        const Reply reply = parseReply(datagram, from);
        if (!isMisaddressed(reply, from))
            dispatch(reply);
    }
}

bool Orvex::isMisaddressed(const Reply &reply, quint32 sender)
{
    if (speaksForSender(reply, sender))
        return false;
    if (const int dropped = m_misaddressedLog.note()) {
        DroppedDatagramLog::writeReplyLine(
            dropped,
            QStringLiteral("Orvex: dropped a reply from %1 that speaks for %2")
                .arg(QHostAddress(sender).toString(), QHostAddress(*namedHost(reply)).toString()));
    }
    return true;
}

void Orvex::dispatch(const Reply &reply)
{
    if (const auto *r = std::get_if<DiscoverReplyData>(&reply)) {
        emitDiscover(*r);
    } else if (const auto *r = std::get_if<PortDiscoveryReplyData>(&reply)) {
        emitPortDiscovery(*r);
    } else if (const auto *r = std::get_if<DeviceVariableReplyData>(&reply)) {
        emit signalDeviceVariableReply(r->ip, r->valueId, r->value);
    } else if (const auto *r = std::get_if<ArrayReplyData>(&reply)) {
        emit signalGetArrayReply(r->ip, r->valueId, r->values);
    } else if (const auto *r = std::get_if<ByteArrayReplyData>(&reply)) {
        emit signalGetByteArrayReply(r->ip, r->valueId, r->values);
    } else if (const auto *r = std::get_if<BlinkScanReplyData>(&reply)) {
        emit signalBlinkScanResponse(r->ip, r->serial);
    } else if (const auto *r = std::get_if<MemoryReadReplyData>(&reply)) {
        emitMemoryRead(*r);
    } else if (const auto *r = std::get_if<BEBlinkScanReplyData>(&reply)) {
        emit signalBEBlinkScanResponse(r->ip, r->port, r->serial);
    } else if (const auto *r = std::get_if<CAScanReplyData>(&reply)) {
        emit signalCAScanResponse(r->ip, r->port1, r->port2);
    } else if (const auto *r = std::get_if<BlinkScan2ReplyData>(&reply)) {
        emitBlinkScan2(*r);
    } else if (const auto *r = std::get_if<RdmGetReplyData>(&reply)) {
        emit signalRDMGetReply(r->ip, r->serial, r->parameterId, r->value);
    }
}

void Orvex::emitDiscover(const DiscoverReplyData &r)
{
    DiscoverTexts t(r);
    if (r.code == DiscoverV3Reply)
        emit signalDiscoverResponseV3(t.mac.data(), r.ip, r.serial, r.version, r.universe,
                                      t.version.data(), t.id.data());
    else if (r.code == DiscoverEOReply)
        emit signalDiscoverEOResponse(t.mac.data(), r.ip, quint32(r.serial), r.version, r.universe,
                                      t.version.data(), t.id.data());
    else
        emit signalDiscoverResponse(t.mac.data(), r.ip, quint32(r.serial), r.version, r.universe,
                                    t.version.data(), t.id.data());
}

void Orvex::emitPortDiscovery(const PortDiscoveryReplyData &r)
{
    QByteArray numbers = r.portNumbers;
    QByteArray types = r.portTypes;
    emit signalDiscoverPortsResponse(r.ip, uchar(numbers.size()),
                                     reinterpret_cast<unsigned char *>(numbers.data()),
                                     reinterpret_cast<unsigned char *>(types.data()));
}

void Orvex::emitMemoryRead(const MemoryReadReplyData &r)
{
    if (r.code == ExtPromTokenReadReply) {
        emit signalExtPromTokenReadResponse(r.ip, r.serial, r.address, r.value);
        return;
    }
    const quint8 high = quint8(r.address >> 8);
    if (high == 0)
        emit signalBlinkEEReadResponse(r.ip, r.serial, quint8(r.address), r.value);
    else if (high <= 9)
        emit signalPixelTokenByteReadResponse(r.ip, r.serial, high, quint8(r.address), r.value);
    else if (high >= 11)
        emit signalTelemetryByteReadResponse(r.ip, r.serial, r.address, r.value);
    // High byte 10 is answered by no signal.
}

void Orvex::emitBlinkScan2(const BlinkScan2ReplyData &r)
{
    // The datagram first, then its lists: a receiver can tell which datagram a list came in.
    emit signalBlinkScan2Reply(r.ip, r);
    for (const BlinkScan2List &list : r.lists) {
        if (list.type == 1)
            emit signalBlinkScan2SNResponse(r.ip, list.port, list.count, list.values);
        else if (list.type == 2)
            emit signalBlinkScan2CAResponse(r.ip, list.port, list.count, list.values);
        else
            emit signalBlinkScan2ORDMResponse(r.ip, list.port, list.values);
    }
}
