#ifndef ORVEXREPLIES_H
#define ORVEXREPLIES_H

#include <QByteArray>
#include <QPair>
#include <QVector>

#include "protocol/orvexdatagrams.h"

// Builders of the Orvex replies that devices send, written from the reply layouts; the
// simulated device answers with them and tests corrupt them. Addresses are host order.
namespace OrvexReplies {

// Header with the address field at 8 (network order) and the body zero-filled to size bytes.
QByteArray reply(quint16 code, int size, quint32 addressAt8 = 0, quint16 version = 1);

// code: DiscoverReply, DiscoverEOReply or DiscoverV3Reply (which carries a 64-bit serial).
QByteArray discoverReply(quint16 code, const QByteArray &mac, quint32 ip, quint64 serial,
                         quint16 version, quint32 universe, const QByteArray &versionText,
                         const QByteArray &idText);
// ports: (port number, port type) pairs.
QByteArray portDiscoveryReply(quint32 ip, const QVector<QPair<quint8, quint8>> &ports);
QByteArray deviceVariableReply(quint16 valueId, quint32 value);
QByteArray arrayReply(quint16 valueId, const QVector<quint32> &values);
QByteArray byteArrayReply(quint16 valueId, const QByteArray &values);
QByteArray blinkScanReply(quint32 ip, quint32 serial);
// code: EEReadReply or ExtPromTokenReadReply.
QByteArray memoryReadReply(quint16 code, quint32 serial, quint16 address, quint8 value);
// wireSerial: the 6 bytes as they travel.
QByteArray beBlinkScanReply(quint32 ip, quint8 port, const QByteArray &wireSerial);
QByteArray caScanReply(quint32 ip, quint8 port1, quint8 port2);
// One blink scan 2 entry: the 4-byte header (port, type, payload length) and the payload.
QByteArray blinkScan2Entry(quint8 port, quint8 type, const QByteArray &payload);
QByteArray serialPayload(const QVector<quint32> &values);
// UID records of an RDM entry: type 3 (8 bytes each) or type 4 (6 bytes each).
QByteArray uidPayload(quint8 type, const QVector<quint64> &uids);
QByteArray blinkScan2Reply(quint32 ip, quint8 entryCount, const QByteArray &entries,
                           quint8 more = 0);
// source: the light's 48-bit RDM UID.
QByteArray rdmGetReply(quint64 source, quint16 parameterId, const QByteArray &parameterData);

} // namespace OrvexReplies

#endif // ORVEXREPLIES_H
