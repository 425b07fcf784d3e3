#include "orvexreplies.h"

#include "protocol/orvexbytes.h"

#include <QtEndian>

using namespace OrvexDatagrams;
using namespace OrvexBytes;

namespace OrvexReplies {

QByteArray reply(quint16 code, int size, quint32 addressAt8, quint16 version)
{
    QByteArray d(size, '\0');
    putLe32(d, 0, Magic);
    putLe16(d, 4, version);
    putLe16(d, 6, code);
    putBe32(d, 8, addressAt8);
    return d;
}

QByteArray discoverReply(quint16 code, const QByteArray &mac, quint32 ip, quint64 serial,
                         quint16 version, quint32 universe, const QByteArray &versionText,
                         const QByteArray &idText)
{
    const bool v3 = code == DiscoverV3Reply;
    QByteArray d = reply(code, v3 ? 36 : 32);
    putBe32(d, 12, ip);
    d.replace(16, 6, mac.leftJustified(6, '\0', true));
    putLe16(d, 22, version);
    if (v3) {
        qToLittleEndian<quint64>(serial, d.data() + 24);
        putLe32(d, 32, universe);
    } else {
        putLe32(d, 24, quint32(serial));
        putLe32(d, 28, universe);
    }
    return d + versionText + '\0' + idText + '\0';
}

QByteArray portDiscoveryReply(quint32 ip, const QVector<QPair<quint8, quint8>> &ports)
{
    QByteArray d = reply(PortDiscoveryReply, 16 + 8 * ports.size(), ip);
    d[12] = char(ports.size());
    for (int i = 0; i < ports.size(); ++i) {
        d[16 + 8 * i] = char(ports[i].first);
        d[17 + 8 * i] = char(ports[i].second);
    }
    return d;
}

QByteArray deviceVariableReply(quint16 valueId, quint32 value)
{
    QByteArray d = reply(DeviceVariableReply, 20);
    putLe16(d, 12, valueId);
    putLe32(d, 16, value);
    return d;
}

QByteArray arrayReply(quint16 valueId, const QVector<quint32> &values)
{
    QByteArray d = reply(ArrayReply, 20 + 4 * values.size());
    putLe16(d, 12, valueId);
    putLe16(d, 18, quint16(values.size()));
    for (int i = 0; i < values.size(); ++i)
        putLe32(d, 20 + 4 * i, values[i]);
    return d;
}

QByteArray byteArrayReply(quint16 valueId, const QByteArray &values)
{
    QByteArray d = reply(ByteArrayReply, 20);
    putLe16(d, 12, valueId);
    putLe16(d, 18, quint16(values.size()));
    return d + values;
}

QByteArray blinkScanReply(quint32 ip, quint32 serial)
{
    QByteArray d = reply(BlinkScanReply, 16, ip);
    putLe32(d, 12, serial);
    return d;
}

QByteArray memoryReadReply(quint16 code, quint32 serial, quint16 address, quint8 value)
{
    QByteArray d = reply(code, 20);
    putLe32(d, 12, serial);
    putLe16(d, 16, address);
    d[18] = char(value);
    return d;
}

QByteArray beBlinkScanReply(quint32 ip, quint8 port, const QByteArray &wireSerial)
{
    QByteArray d = reply(BEBlinkScanReply, 20, ip);
    d[12] = char(port);
    d.replace(14, 6, wireSerial.leftJustified(6, '\0', true));
    return d;
}

QByteArray caScanReply(quint32 ip, quint8 port1, quint8 port2)
{
    QByteArray d = reply(CAScanReply, 16, ip);
    d[12] = char(port1);
    d[13] = char(port2);
    return d;
}

QByteArray blinkScan2Entry(quint8 port, quint8 type, const QByteArray &payload)
{
    QByteArray d(4, '\0');
    d[0] = char(port);
    d[1] = char(type);
    d[2] = char(quint8(payload.size()));
    return d + payload;
}

QByteArray serialPayload(const QVector<quint32> &values)
{
    QByteArray d(4 * values.size(), '\0');
    for (int i = 0; i < values.size(); ++i)
        putLe32(d, 4 * i, values[i]);
    return d;
}

QByteArray uidPayload(quint8 type, const QVector<quint64> &uids)
{
    const int size = type == 3 ? 8 : 6;
    const int skip = type == 3 ? 2 : 0;
    QByteArray d(size * uids.size(), '\0');
    for (int i = 0; i < uids.size(); ++i) {
        putLe32(d, size * i + skip, quint32(uids[i] & 0xFFFFFFFF));
        putLe16(d, size * i + skip + 4, quint16(uids[i] >> 32));
    }
    return d;
}

QByteArray blinkScan2Reply(quint32 ip, quint8 entryCount, const QByteArray &entries, quint8 more)
{
    QByteArray d = reply(BlinkScan2Reply, 16, ip);
    d[12] = char(entryCount);
    d[13] = char(more);
    return d + entries;
}

QByteArray rdmGetReply(quint64 source, quint16 parameterId, const QByteArray &parameterData)
{
    QByteArray d = reply(RdmGetReply, 36, 0, 3);
    d[12] = char(0xCC);
    d[13] = 0x01;
    d[14] = char(24 + parameterData.size());
    putBe16(d, 15, RdmSourceManufacturer);
    putBe32(d, 17, RdmSourceDevice);
    putBe16(d, 21, quint16(source >> 32));
    putBe32(d, 23, quint32(source & 0xFFFFFFFF));
    d[28] = 0x00; // response type ACK
    d[32] = 0x21; // GET_COMMAND_RESPONSE
    putBe16(d, 33, parameterId);
    d[35] = char(quint8(parameterData.size()));
    d += parameterData;
    const quint16 sum = rdmChecksum(d.constData() + 12, d.size() - 12);
    d.append(char(sum >> 8)).append(char(sum & 0xFF));
    return d;
}

} // namespace OrvexReplies
