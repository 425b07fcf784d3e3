#ifndef ORVEXDATAGRAMS_H
#define ORVEXDATAGRAMS_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>
#include <variant>

// The Orvex wire format: request builders and the reply parser, pure functions that need no
// socket. Integers are little-endian except IPv4 addresses (network order on the wire,
// host order in these functions' arguments and results) and the RDM message (big-endian).
namespace OrvexDatagrams {

constexpr quint32 Magic = 0x4ADC0104;
constexpr int HeaderSize = 12;
constexpr int MaxDmxData = 512;
constexpr int ReceiveBufferSize = 4096;
constexpr int TextBufferSize = 512;
// The system's own RDM UID, "565156545032".
constexpr quint16 RdmSourceManufacturer = 0x5651;
constexpr quint32 RdmSourceDevice = 0x56545032;

enum PacketCode : quint16 {
    Discover = 0x0001,
    DiscoverReply = 0x0002,
    PortDiscovery = 0x000A,
    PortDiscoveryReply = 0x000B,
    DiscoverEOReply = 0x000D,
    DiscoverV3Reply = 0x000F,
    DmxOut = 0x0101,
    GetDeviceVariable = 0x0105,
    DeviceVariableReply = 0x0106,
    PortOut = 0x0108,
    Sync = 0x0109,
    ArrayReply = 0x010B,
    ByteArrayReply = 0x010E,
    BlinkScan = 0x0201,
    BlinkScanReply = 0x0202,
    EERead = 0x0203,
    EEReadReply = 0x0204,
    BEBlinkScanReply = 0x0205,
    CAScanReply = 0x0206,
    BlinkScan2 = 0x0207,
    BlinkScan2Reply = 0x0208,
    ExtPromTokenReadReply = 0x020A,
    RdmGet = 0x0303,
    RdmGetReply = 0x0304,
};

enum RdmParameter : quint16 {
    RdmDeviceInfo = 0x0060,
    RdmDeviceModelDescription = 0x0080,
};

// Requests. Every address argument is host order.
QByteArray header(quint16 version, quint16 code, quint32 field8);
QByteArray buildDiscover(quint32 carriedAddress);
QByteArray buildPortDiscovery(quint32 target);
QByteArray buildBlinkScan(quint32 target);
QByteArray buildBlinkScan2(quint32 target);
QByteArray buildEERead(quint32 serial, quint16 address);
QByteArray buildGetDeviceVariable(quint16 valueId);
QByteArray buildSync();
QByteArray buildRdmGet(quint64 uid, quint16 parameterId);
// DMX data beyond MaxDmxData bytes is left out; a negative length counts as 0.
QByteArray buildDmxOut(quint8 startCode, quint16 timerValue, const uchar *data, int length);
QByteArray buildPortOut(quint32 universe, quint8 port, quint16 flags, quint16 startCode,
                        const uchar *data, int length);
// The same two requests written in place, for senders that keep fixed buffers: out holds at
// least DmxOutSize (PortOutSize) + MaxDmxData bytes; the datagram's size is returned.
constexpr int DmxOutSize = 21;
constexpr int PortOutSize = 24;
int writeDmxOut(char *out, quint8 startCode, quint16 timerValue, const uchar *data, int length);
int writePortOut(char *out, quint32 universe, quint8 port, quint16 flags, quint16 startCode,
                 const uchar *data, int length);
quint16 rdmChecksum(const char *message, int length);

// Replies. Each parsed reply carries the host-order IPv4 address that the signal hands on:
// the datagram's own address field or the sender's, as the reply kind prescribes.
struct DiscoverReplyData
{
    quint16 code = 0; // DiscoverReply, DiscoverEOReply or DiscoverV3Reply
    QByteArray mac;   // 6 bytes
    quint32 ip = 0;
    quint64 serial = 0;
    quint16 version = 0;
    quint32 universe = 0;
    QByteArray versionText; // without its NUL
    QByteArray idText;
};

struct PortDiscoveryReplyData
{
    quint32 ip = 0;
    QByteArray portNumbers;
    QByteArray portTypes;
};

struct DeviceVariableReplyData
{
    quint32 ip = 0;
    quint16 valueId = 0;
    quint32 value = 0;
};

struct ArrayReplyData
{
    quint32 ip = 0;
    quint16 valueId = 0;
    QVector<quint32> values;
};

struct ByteArrayReplyData
{
    quint32 ip = 0;
    quint16 valueId = 0;
    QByteArray values;
};

struct BlinkScanReplyData
{
    quint32 ip = 0;
    quint32 serial = 0;
};

// EEPROM read (0x0204) and extended memory token read (0x020A) share one layout.
struct MemoryReadReplyData
{
    quint16 code = 0;
    quint32 ip = 0;
    quint32 serial = 0;
    quint16 address = 0;
    quint8 value = 0;
};

struct BEBlinkScanReplyData
{
    quint32 ip = 0;
    quint8 port = 0;
    QByteArray serial; // 6 bytes, byte order reversed from the wire
};

struct CAScanReplyData
{
    quint32 ip = 0;
    quint8 port1 = 0;
    quint8 port2 = 0;
};

struct BlinkScan2List
{
    quint8 port = 0; // 1-based, as on the wire
    quint8 type = 0; // 1 serials, 2 fixture counts, 3 and 4 RDM UIDs
    QVector<quint64> values;
    // Types 1 and 2: the entry's payload length / 4, never more than the values read. A
    // payload that is no multiple of 4 reads one value more than this count, which tells the
    // receiver that the entry is ragged.
    quint8 count = 0;
};

struct BlinkScan2ReplyData
{
    quint32 ip = 0;
    quint8 entryCount = 0;
    // Devices differ on what it means; nothing relies on it.
    quint8 more = 0;
    // Everything after the fixed fields, as received: what tells one datagram from another.
    QByteArray entries;
    QVector<BlinkScan2List> lists;
};

struct RdmGetReplyData
{
    quint32 ip = 0;
    quint64 serial = 0;
    quint16 parameterId = 0;
    QString value;
};

using Reply =
    std::variant<std::monostate, DiscoverReplyData, PortDiscoveryReplyData, DeviceVariableReplyData,
                 ArrayReplyData, ByteArrayReplyData, BlinkScanReplyData, MemoryReadReplyData,
                 BEBlinkScanReplyData, CAScanReplyData, BlinkScan2ReplyData, RdmGetReplyData>;

// Reads one received datagram (only its own bytes). Unknown packet codes and replies shorter
// than requiredReplySize give std::monostate; counts, lists and texts stop at the
// datagram's end. The magic and version are not checked: devices are known by the code.
Reply parseReply(const QByteArray &datagram, quint32 senderAddress);

// The host a reply speaks for by an address field of its own (discover, port discovery and
// scan replies); nullopt for replies that carry their sender's address instead.
std::optional<quint32> namedHost(const Reply &reply);
// Whether a reply may be taken from this sender: one that names a host must come from it, since
// the protocol has no other proof of where a reply comes from.
bool speaksForSender(const Reply &reply, quint32 sender);

// Bytes a reply of this code needs before its variable part; -1 for codes that are no reply.
int fixedReplySize(quint16 code);
// Bytes this datagram must hold to be read: its header, its code's fixed fields and, for a
// port discovery reply, the records that its count promises; -1 for codes that are no reply.
// A shorter datagram is dropped.
int requiredReplySize(const QByteArray &datagram);
QVector<quint16> replyCodes();

// The value text of an RDM GET response's parameter data (parameterData already clamped).
QString rdmValueText(quint16 parameterId, const QByteArray &parameterData);

} // namespace OrvexDatagrams

#endif // ORVEXDATAGRAMS_H
