#include "orvexreplycorpus.h"

#include "support/orvexreplies.h"

#include <QRandomGenerator>

using namespace OrvexDatagrams;
using namespace OrvexReplies;

namespace OrvexReplyCorpus {

namespace {

// Sets every byte of a count, length or text field to 0xFF so that it claims far more than
// the datagram holds.
QByteArray claimMore(QByteArray d, std::initializer_list<int> offsets)
{
    for (int offset : offsets) {
        if (offset < d.size())
            d[offset] = char(0xFF);
    }
    return d;
}

} // namespace

QVector<QByteArray> wellFormed()
{
    const QByteArray mac = QByteArray::fromHex("0A0B0C0D0E0F");
    const QByteArray info = QByteArray::fromHex("01000A1F0101000000000003");
    return {
        discoverReply(DiscoverReply, mac, 0x0A000001, 1, 1, 0, "1.0", "Interface"),
        discoverReply(DiscoverEOReply, mac, 0x0A000001, 1, 1, 0, "", "EO"),
        discoverReply(DiscoverV3Reply, mac, 0x0A000001, 0x112233445566, 3, 0, "3.0", "V3"),
        portDiscoveryReply(0x0A000001, {{1, 1}, {2, 1}, {3, 2}}),
        // Replies that name their sender (127.0.0.2, as the fuzzer and the replay test say
        // it is), beside the ones above that name another host and are dropped as forged.
        discoverReply(DiscoverReply, mac, 0x7F000002, 2, 2, 0, "2.0", "Sender"),
        discoverReply(DiscoverV3Reply, mac, 0x7F000002, 0x7F0000020002, 3, 0, "3.0", "Sender"),
        portDiscoveryReply(0x7F000002, {{1, 3}, {2, 3}}),
        portDiscoveryReply(0x7F000002, QVector<QPair<quint8, quint8>>(255, {1, 1})),
        deviceVariableReply(0x21, 0xDEADBEEF),
        arrayReply(0x22, {1, 2, 3, 4}),
        byteArrayReply(0x23, "bytes"),
        blinkScanReply(0x0A000001, 0x10000001),
        memoryReadReply(EEReadReply, 0x10000001, 0x0040, 1),
        memoryReadReply(ExtPromTokenReadReply, 0x10000001, 0x0102, 2),
        beBlinkScanReply(0x0A000001, 1, QByteArray::fromHex("010203040506")),
        caScanReply(0x0A000001, 2, 1),
        blinkScan2Reply(0x0A000001, 2,
                        blinkScan2Entry(1, 1, serialPayload({1, 2})) +
                            blinkScan2Entry(2, 2, serialPayload({3}))),
        blinkScan2Reply(0x0A000001, 2, blinkScan2Entry(1, 3, QByteArray()) + uidPayload(3, {1, 2})),
        blinkScan2Reply(0x0A000001, 2, blinkScan2Entry(1, 4, QByteArray()) + uidPayload(4, {1, 2})),
        rdmGetReply(0x123456789ABC, RdmDeviceInfo, info),
        rdmGetReply(0x123456789ABC, RdmDeviceModelDescription, "Model"),
        rdmGetReply(0x123456789ABC, 0x8600, QByteArray(1, '\x05')),
        rdmGetReply(0x123456789ABC, 0x00F0, QByteArray::fromHex("0102")),
    };
}

QVector<QByteArray> truncated()
{
    QVector<QByteArray> result;
    for (const QByteArray &d : wellFormed()) {
        for (int length = 0; length <= d.size(); ++length)
            result.append(d.left(length));
    }
    return result;
}

QVector<QByteArray> shortPortReplies()
{
    const QByteArray four = portDiscoveryReply(0x0A000001, {{1, 1}, {2, 1}, {3, 1}, {4, 1}});
    return {four.left(16), four.left(41)};
}

QVector<QByteArray> corrupted(quint32 seed, int flipsPerReply)
{
    QVector<QByteArray> result = shortPortReplies();
    QRandomGenerator random(seed);
    for (const QByteArray &d : wellFormed()) {
        result.append(d + QByteArray(5000, '\xFF'));
        result.append(claimMore(d, {12, 18, 19, 35}));
        // Texts without a NUL that run to the datagram's end.
        QByteArray noNul = d;
        noNul.replace('\0', 'x');
        noNul.replace(0, 8, d.left(8));
        result.append(noNul);
        for (int i = 0; i < flipsPerReply; ++i) {
            QByteArray flipped = d;
            const int flips = 1 + int(random.bounded(4));
            for (int f = 0; f < flips; ++f) {
                // Keep the packet code, so that every flip reaches a parser.
                const int at = 8 + int(random.bounded(quint32(flipped.size() - 8)));
                flipped[at] = char(random.bounded(256));
            }
            result.append(flipped.left(int(random.bounded(quint32(flipped.size() + 1)))));
        }
    }
    return result;
}

} // namespace OrvexReplyCorpus
