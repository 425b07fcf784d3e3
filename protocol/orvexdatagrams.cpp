#include "orvexdatagrams.h"
#include "orvexbytes.h"

#include "protocol/droppeddatagramlog.h"

#include <QDebug>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace OrvexDatagrams {

using namespace OrvexBytes;

namespace {

QByteArray request(quint16 version, quint16 code, int size, quint32 field8)
{
    QByteArray d(size, '\0');
    putLe32(d, 0, Magic);
    putLe16(d, 4, version);
    putLe16(d, 6, code);
    putLe32(d, 8, field8);
    return d;
}

// A request whose offset 8 carries the target's address in network order.
QByteArray addressedRequest(quint16 code, quint32 target)
{
    QByteArray d = request(1, code, 16, 0);
    putBe32(d, 8, target);
    return d;
}

int clampedDmxLength(int length)
{
    return std::clamp(length, 0, MaxDmxData);
}

// The zeroed fixed fields of a live-output datagram written in place, with the header filled
// in as request() fills it.
void startFrameDatagram(char *out, quint16 code, int fixedSize)
{
    std::memset(out, 0, size_t(fixedSize));
    qToLittleEndian<quint32>(Magic, out);
    qToLittleEndian<quint16>(1, out + 4);
    qToLittleEndian<quint16>(code, out + 6);
}

// Reads fixed-width fields of one received datagram; the parser has checked the fixed size
// before it reads, and every variable part is bounded by has().
class Reader
{
public:
    explicit Reader(const QByteArray &d)
        : m_data(reinterpret_cast<const uchar *>(d.constData())), m_size(d.size())
    {}
    int size() const { return m_size; }
    bool has(int offset, int width) const { return offset >= 0 && offset <= m_size - width; }
    quint8 u8(int offset) const { return m_data[offset]; }
    quint16 le16(int offset) const { return qFromLittleEndian<quint16>(m_data + offset); }
    quint32 le32(int offset) const { return qFromLittleEndian<quint32>(m_data + offset); }
    quint64 le64(int offset) const { return qFromLittleEndian<quint64>(m_data + offset); }
    quint16 be16(int offset) const { return qFromBigEndian<quint16>(m_data + offset); }
    quint32 be32(int offset) const { return qFromBigEndian<quint32>(m_data + offset); }
    QByteArray bytes(int offset, int count) const
    {
        return QByteArray(reinterpret_cast<const char *>(m_data + offset), count);
    }
    // A NUL-terminated text that starts at offset, cut at the datagram's end and at
    // maxLength characters.
    QByteArray text(int offset, int maxLength) const
    {
        if (offset >= m_size)
            return QByteArray();
        const int available = std::min(m_size - offset, maxLength);
        const void *nul = std::memchr(m_data + offset, 0, size_t(available));
        const int length =
            nul ? int(static_cast<const uchar *>(nul) - (m_data + offset)) : available;
        return bytes(offset, length);
    }

private:
    const uchar *m_data;
    int m_size;
};

DiscoverReplyData parseDiscover(const Reader &r, quint16 code)
{
    const bool v3 = code == DiscoverV3Reply;
    DiscoverReplyData reply;
    reply.code = code;
    reply.ip = r.be32(12);
    reply.mac = r.bytes(16, 6);
    reply.version = r.le16(22);
    reply.serial = v3 ? r.le64(24) : r.le32(24);
    reply.universe = r.le32(v3 ? 32 : 28);
    const int textStart = v3 ? 36 : 32;
    reply.versionText = r.text(textStart, TextBufferSize - 1);
    reply.idText = r.text(textStart + reply.versionText.size() + 1, TextBufferSize - 1);
    return reply;
}

PortDiscoveryReplyData parsePortDiscovery(const Reader &r)
{
    PortDiscoveryReplyData reply;
    reply.ip = r.be32(8);
    const int count = r.u8(12);
    // Only bytes 0 and 1 of a port record are read, so a record counts when they are there.
    for (int i = 0; i < count && r.has(16 + 8 * i, 2); ++i) {
        reply.portNumbers.append(char(r.u8(16 + 8 * i)));
        reply.portTypes.append(char(r.u8(17 + 8 * i)));
    }
    return reply;
}

ArrayReplyData parseArray(const Reader &r, quint32 sender)
{
    ArrayReplyData reply{sender, r.le16(12), {}};
    const int count = r.le16(18);
    for (int i = 0; i < count && r.has(20 + 4 * i, 4); ++i)
        reply.values.append(r.le32(20 + 4 * i));
    return reply;
}

ByteArrayReplyData parseByteArray(const Reader &r, quint32 sender)
{
    const int count = std::min<int>(r.le16(18), r.size() - 20);
    return ByteArrayReplyData{sender, r.le16(12), r.bytes(20, count)};
}

BEBlinkScanReplyData parseBEBlinkScan(const Reader &r)
{
    BEBlinkScanReplyData reply{r.be32(8), r.u8(12), r.bytes(14, 6)};
    std::reverse(reply.serial.begin(), reply.serial.end());
    return reply;
}

// Reads E UID records of an RDM entry (types 3 and 4) that starts at offset; the records
// stop at the datagram's end.
QVector<quint64> readUidRecords(const Reader &r, int offset, int entryCount, quint8 type)
{
    const int recordSize = type == 3 ? 8 : 6;
    const int skip = type == 3 ? 2 : 0;
    QVector<quint64> uids;
    for (int i = 0; i < entryCount && r.has(offset, recordSize); ++i, offset += recordSize) {
        const quint64 device = r.le32(offset + skip);
        const quint64 manufacturer = r.le16(offset + skip + 4);
        uids.append((manufacturer << 32) + device);
    }
    return uids;
}

BlinkScan2ReplyData parseBlinkScan2(const Reader &r)
{
    BlinkScan2ReplyData reply;
    reply.ip = r.be32(8);
    const int entryCount = r.u8(12);
    reply.entryCount = quint8(entryCount);
    reply.more = r.u8(13);
    reply.entries = r.bytes(16, r.size() - 16);
    int offset = 16;
    for (int entry = 0; entry < entryCount && r.has(offset, 4); ++entry) {
        BlinkScan2List list;
        list.port = r.u8(offset);
        list.type = r.u8(offset + 1);
        const int payload = r.u8(offset + 2);
        offset += 4;
        if (list.type == 1 || list.type == 2) {
            int consumed = 0;
            for (; consumed < payload && r.has(offset, 4); consumed += 4, offset += 4)
                list.values.append(r.le32(offset));
            list.count = quint8(std::min<int>(payload / 4, list.values.size()));
            reply.lists.append(list);
            if (consumed < payload)
                break; // the datagram ended inside this entry
        } else if (list.type == 3 || list.type == 4) {
            list.values = readUidRecords(r, offset, entryCount, list.type);
            reply.lists.append(list);
            break;
        }
    }
    return reply;
}

RdmGetReplyData parseRdmGet(const Reader &r, quint32 sender)
{
    RdmGetReplyData reply;
    reply.ip = sender;
    reply.serial = (quint64(r.be16(21)) << 32) + r.be32(23);
    reply.parameterId = r.be16(33);
    // The parameter data length is the device's claim; believe only the bytes received.
    const int length = std::min<int>(r.u8(35), r.size() - 36);
    reply.value = rdmValueText(reply.parameterId, r.bytes(36, length));
    return reply;
}

Reply parseKnown(const Reader &r, quint16 code, quint32 sender)
{
    switch (code) {
    case DiscoverReply:
    case DiscoverEOReply:
    case DiscoverV3Reply:
        return parseDiscover(r, code);
    case PortDiscoveryReply:
        return parsePortDiscovery(r);
    case DeviceVariableReply:
        return DeviceVariableReplyData{sender, r.le16(12), r.le32(16)};
    case ArrayReply:
        return parseArray(r, sender);
    case ByteArrayReply:
        return parseByteArray(r, sender);
    case BlinkScanReply:
        return BlinkScanReplyData{r.be32(8), r.le32(12)};
    case EEReadReply:
    case ExtPromTokenReadReply:
        return MemoryReadReplyData{code, sender, r.le32(12), r.le16(16), r.u8(18)};
    case BEBlinkScanReply:
        return parseBEBlinkScan(r);
    case CAScanReply:
        return CAScanReplyData{r.be32(8), r.u8(12), r.u8(13)};
    case BlinkScan2Reply:
        return parseBlinkScan2(r);
    case RdmGetReply:
        return parseRdmGet(r, sender);
    default:
        return std::monostate();
    }
}

} // namespace

QByteArray header(quint16 version, quint16 code, quint32 field8)
{
    return request(version, code, HeaderSize, field8);
}

QByteArray buildDiscover(quint32 carriedAddress)
{
    QByteArray d = request(1, Discover, 16, 0);
    putBe32(d, 12, carriedAddress);
    return d;
}

QByteArray buildPortDiscovery(quint32 target)
{
    return addressedRequest(PortDiscovery, target);
}

QByteArray buildBlinkScan(quint32 target)
{
    return addressedRequest(BlinkScan, target);
}

QByteArray buildBlinkScan2(quint32 target)
{
    return addressedRequest(BlinkScan2, target);
}

QByteArray buildEERead(quint32 serial, quint16 address)
{
    QByteArray d = request(1, EERead, 20, 0);
    putLe32(d, 12, serial);
    putLe16(d, 16, address);
    return d;
}

QByteArray buildGetDeviceVariable(quint16 valueId)
{
    QByteArray d = request(1, GetDeviceVariable, 16, 0);
    putLe16(d, 12, valueId);
    return d;
}

QByteArray buildSync()
{
    return request(1, Sync, 16, 0);
}

quint16 rdmChecksum(const char *message, int length)
{
    quint32 sum = 0;
    for (int i = 0; i < length; ++i)
        sum += uchar(message[i]);
    return quint16(sum & 0xFFFF);
}

QByteArray buildRdmGet(quint64 uid, quint16 parameterId)
{
    QByteArray d = request(3, RdmGet, 38, 0);
    d[12] = char(0xCC);
    d[13] = 0x01;
    d[14] = 24;
    putBe16(d, 15, quint16((uid >> 32) & 0xFFFF));
    putBe32(d, 17, quint32(uid & 0xFFFFFFFF));
    putBe16(d, 21, RdmSourceManufacturer);
    putBe32(d, 23, RdmSourceDevice);
    d[27] = 0;          // transaction number
    d[28] = char(0xFF); // port id
    d[29] = 0;          // message count
    putBe16(d, 30, 0);  // sub-device
    d[32] = 0x20;       // GET_COMMAND
    putBe16(d, 33, parameterId);
    d[35] = 0; // parameter data length
    putBe16(d, 36, rdmChecksum(d.constData() + 12, 24));
    return d;
}

int writeDmxOut(char *out, quint8 startCode, quint16 timerValue, const uchar *data, int length)
{
    const int n = data ? clampedDmxLength(length) : 0;
    startFrameDatagram(out, DmxOut, DmxOutSize);
    qToLittleEndian<quint16>(timerValue, out + 14);
    qToLittleEndian<quint32>(0xFFFFFFFF, out + 16);
    out[20] = char(startCode);
    if (n > 0)
        std::memcpy(out + DmxOutSize, data, size_t(n));
    return DmxOutSize + n;
}

int writePortOut(char *out, quint32 universe, quint8 port, quint16 flags, quint16 startCode,
                 const uchar *data, int length)
{
    const int n = data ? clampedDmxLength(length) : 0;
    startFrameDatagram(out, PortOut, PortOutSize);
    qToLittleEndian<quint32>(universe, out + 12);
    out[16] = char(port);
    qToLittleEndian<quint16>(flags, out + 18);
    qToLittleEndian<quint16>(quint16(n), out + 20);
    qToLittleEndian<quint16>(startCode, out + 22);
    if (n > 0)
        std::memcpy(out + PortOutSize, data, size_t(n));
    return PortOutSize + n;
}

QByteArray buildDmxOut(quint8 startCode, quint16 timerValue, const uchar *data, int length)
{
    QByteArray d(DmxOutSize + MaxDmxData, '\0');
    d.resize(writeDmxOut(d.data(), startCode, timerValue, data, length));
    return d;
}

QByteArray buildPortOut(quint32 universe, quint8 port, quint16 flags, quint16 startCode,
                        const uchar *data, int length)
{
    QByteArray d(PortOutSize + MaxDmxData, '\0');
    d.resize(writePortOut(d.data(), universe, port, flags, startCode, data, length));
    return d;
}

int fixedReplySize(quint16 code)
{
    switch (code) {
    case DiscoverReply:
    case DiscoverEOReply:
        return 32;
    case DiscoverV3Reply:
        return 36;
    case PortDiscoveryReply:
        return 13;
    case DeviceVariableReply:
        return 20;
    case ArrayReply:
    case ByteArrayReply:
        return 20;
    case BlinkScanReply:
        return 16;
    case EEReadReply:
    case ExtPromTokenReadReply:
        return 19;
    case BEBlinkScanReply:
        return 20;
    case CAScanReply:
        return 14;
    case BlinkScan2Reply:
        return 16;
    case RdmGetReply:
        return 36;
    default:
        return -1;
    }
}

QVector<quint16> replyCodes()
{
    return {DiscoverReply,         DiscoverEOReply,  DiscoverV3Reply, PortDiscoveryReply,
            DeviceVariableReply,   ArrayReply,       ByteArrayReply,  BlinkScanReply,
            EEReadReply,           BEBlinkScanReply, CAScanReply,     BlinkScan2Reply,
            ExtPromTokenReadReply, RdmGetReply};
}

int requiredReplySize(const QByteArray &datagram)
{
    if (datagram.size() < HeaderSize)
        return HeaderSize;
    const Reader r(datagram);
    const quint16 code = r.le16(6);
    const int fixed = fixedReplySize(code);
    if (code != PortDiscoveryReply || r.size() < fixed)
        return fixed;
    // Only bytes 0 and 1 of a port record are read, so the last record needs no more.
    const int count = r.u8(12);
    return count == 0 ? fixed : 16 + 8 * (count - 1) + 2;
}

Reply parseReply(const QByteArray &datagram, quint32 senderAddress)
{
    if (datagram.size() < HeaderSize)
        return std::monostate();
    const Reader r(datagram);
    const quint16 code = r.le16(6);
    const int needed = requiredReplySize(datagram);
    if (needed < 0)
        return std::monostate();
    if (r.size() < needed) {
        // Parsing runs on the event loop's thread only; a flood gets one line a second.
        static DroppedDatagramLog log;
        if (const int dropped = log.note()) {
            DroppedDatagramLog::writeReplyLine(
                dropped, QStringLiteral("Orvex: dropped reply %1 of %2 bytes, shorter than the "
                                        "%3 bytes it needs")
                             .arg(QString::number(code, 16))
                             .arg(r.size())
                             .arg(needed));
        }
        return std::monostate();
    }
    return parseKnown(r, code, senderAddress);
}

std::optional<quint32> namedHost(const Reply &reply)
{
    if (const auto *r = std::get_if<DiscoverReplyData>(&reply))
        return r->ip;
    if (const auto *r = std::get_if<PortDiscoveryReplyData>(&reply))
        return r->ip;
    if (const auto *r = std::get_if<BlinkScanReplyData>(&reply))
        return r->ip;
    if (const auto *r = std::get_if<BEBlinkScanReplyData>(&reply))
        return r->ip;
    if (const auto *r = std::get_if<CAScanReplyData>(&reply))
        return r->ip;
    if (const auto *r = std::get_if<BlinkScan2ReplyData>(&reply))
        return r->ip;
    return std::nullopt;
}

bool speaksForSender(const Reply &reply, quint32 sender)
{
    const std::optional<quint32> named = namedHost(reply);
    return !named || *named == sender;
}

QString rdmValueText(quint16 parameterId, const QByteArray &data)
{
    const auto u16 = [&data](int offset) {
        return qFromBigEndian<quint16>(reinterpret_cast<const uchar *>(data.constData()) + offset);
    };
    switch (parameterId) {
    case RdmDeviceInfo:
        // All three fields or none: a partial "D.-P." text would read as another model.
        if (data.size() < 12)
            return QString();
        return QStringLiteral("D.%1-P.%2-F.%3")
            .arg(u16(2), 4, 16, QLatin1Char('0'))
            .arg(u16(4), 4, 16, QLatin1Char('0'))
            .arg(u16(10), 4, 10, QLatin1Char('0'));
    case RdmDeviceModelDescription: {
        const int nul = data.indexOf('\0');
        return QString::fromLatin1(nul < 0 ? data : data.left(nul)).trimmed();
    }
    case 0x0343:
    case 0x8600:
    case 0x8602:
    case 0x8606:
    case 0x9F02:
    case 0xA040:
        return data.isEmpty() ? QString() : QString::number(uchar(data.at(0)));
    default:
        return data.size() < 2 ? QString() : QString::number(u16(0));
    }
}

} // namespace OrvexDatagrams
