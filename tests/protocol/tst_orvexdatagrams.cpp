#include <QTest>

#include "protocol/orvexdatagrams.h"
#include "support/orvexreplies.h"

using namespace OrvexDatagrams;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

template <typename T> T parsed(const QByteArray &datagram, quint32 sender = 0x7F000002)
{
    const Reply reply = parseReply(datagram, sender);
    const T *value = std::get_if<T>(&reply);
    if (!value)
        qFatal("reply did not parse to the expected kind");
    return *value;
}

} // namespace

// Request bytes are written out by hand from the wire tables, so a builder that drifts from
// them fails here rather than on a device.
class TstOrvexDatagrams : public QObject
{
    Q_OBJECT
private slots:
    void requestsMatchTheWireTables_data();
    void requestsMatchTheWireTables();
    void dmxDataIsCutAt512();
    void rdmGetCarriesUidAndChecksum();
    void discoverReplies();
    void portDiscoveryReply();
    void blinkScanReplies();
    void rdmReplyTrustsOnlyReceivedBytes();
    void unknownAndShortRepliesGiveNothing();
};

void TstOrvexDatagrams::requestsMatchTheWireTables_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");
    const uchar dmx[] = {1, 2, 3};
    const uchar port[] = {0xAA, 0xBB};
    QTest::newRow("discover") << buildDiscover(0x0A0101DE)
                              << hex("0401DC4A 0100 0100 00000000 0A0101DE");
    QTest::newRow("port discovery")
        << buildPortDiscovery(0x0A000005) << hex("0401DC4A 0100 0A00 0A000005 00000000");
    QTest::newRow("blink scan") << buildBlinkScan(0xC0A80114)
                                << hex("0401DC4A 0100 0102 C0A80114 00000000");
    QTest::newRow("blink scan 2") << buildBlinkScan2(0xC0A80114)
                                  << hex("0401DC4A 0100 0702 C0A80114 00000000");
    QTest::newRow("eeprom read") << buildEERead(0x11223344, 0x0141)
                                 << hex("0401DC4A 0100 0302 00000000 44332211 4101 0000");
    QTest::newRow("get device variable")
        << buildGetDeviceVariable(0x1234) << hex("0401DC4A 0100 0501 00000000 3412 0000");
    QTest::newRow("sync") << buildSync() << hex("0401DC4A 0100 0901 00000000 00000000");
    QTest::newRow("dmx out") << buildDmxOut(0x00, 0x0102, dmx, 3)
                             << hex("0401DC4A 0100 0101 00000000 0000 0201 FFFFFFFF 00 010203");
    QTest::newRow("port out") << buildPortOut(0x01020304, 2, 0x0506, 0x0007, port, 2)
                              << hex("0401DC4A 0100 0801 00000000 04030201 02 00 0605 0200 0700"
                                     " AABB");
    // Checksum 0x06A1 summed by hand over the 24 message bytes.
    QTest::newRow("rdm get") << buildRdmGet(0x123456789ABCull, 0x0060)
                             << hex("0401DC4A 0300 0303 00000000 CC 01 18 1234 56789ABC 5651"
                                    " 56545032 00 FF 00 0000 20 0060 00 06A1");
}

void TstOrvexDatagrams::requestsMatchTheWireTables()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built.toHex(' '), expected.toHex(' '));
}

void TstOrvexDatagrams::dmxDataIsCutAt512()
{
    const QByteArray data(600, '\x7F');
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    QCOMPARE(buildDmxOut(0, 0, bytes, 512).size(), 533);
    QCOMPARE(buildDmxOut(0, 0, bytes, 600).size(), 533);
    const QByteArray portOut = buildPortOut(0, 0, 0, 0, bytes, 600);
    QCOMPARE(portOut.size(), 536);
    QCOMPARE(portOut.mid(20, 2), hex("0002")); // the length field says 512 too
    QCOMPARE(buildDmxOut(0, 0, bytes, -5).size(), 21);
    QCOMPARE(buildPortOut(0, 0, 0, 0, nullptr, 100).size(), 24);
}

void TstOrvexDatagrams::rdmGetCarriesUidAndChecksum()
{
    const QByteArray d = buildRdmGet(0xFFFFFFFFFFFFull, 0xFFFF);
    QCOMPARE(d.size(), 38);
    QCOMPARE(d.mid(15, 6), hex("FFFFFFFFFFFF"));
    int sum = 0;
    for (int i = 12; i < 36; ++i)
        sum += uchar(d.at(i));
    QCOMPARE(d.mid(36, 2), hex(QByteArray::number(sum & 0xFFFF, 16).rightJustified(4, '0')));
}

void TstOrvexDatagrams::discoverReplies()
{
    const QByteArray mac = hex("0A0B0C0D0E0F");
    auto classic = parsed<DiscoverReplyData>(OrvexReplies::discoverReply(
        DiscoverReply, mac, 0x0A010105, 0x01020304, 2, 7, "v1.0", "Supply A"));
    QCOMPARE(classic.code, quint16(DiscoverReply));
    QCOMPARE(classic.mac, mac);
    QCOMPARE(classic.ip, 0x0A010105u);
    QCOMPARE(classic.serial, 0x01020304ull);
    QCOMPARE(classic.version, quint16(2));
    QCOMPARE(classic.universe, 7u);
    QCOMPARE(classic.versionText, QByteArray("v1.0"));
    QCOMPARE(classic.idText, QByteArray("Supply A"));

    // An empty version text puts the id text at 33 (37 in the version 3 form).
    auto emptyVersion = parsed<DiscoverReplyData>(
        OrvexReplies::discoverReply(DiscoverEOReply, mac, 1, 2, 1, 0, "", "id"));
    QCOMPARE(emptyVersion.code, quint16(DiscoverEOReply));
    QCOMPARE(emptyVersion.idText, QByteArray("id"));
    const QByteArray v3Bytes =
        OrvexReplies::discoverReply(DiscoverV3Reply, mac, 1, 0x1122334455667788ull, 3, 9, "", "id");
    QCOMPARE(v3Bytes.mid(37, 2), QByteArray("id"));
    auto v3 = parsed<DiscoverReplyData>(v3Bytes);
    QCOMPARE(v3.serial, 0x1122334455667788ull);
    QCOMPARE(v3.universe, 9u);
    QCOMPARE(v3.idText, QByteArray("id"));

    // A wrong magic is still read by its code.
    QByteArray badMagic = OrvexReplies::discoverReply(DiscoverReply, mac, 1, 2, 1, 0, "v", "i");
    badMagic[0] = 'X';
    QCOMPARE(parsed<DiscoverReplyData>(badMagic).versionText, QByteArray("v"));

    // Texts without their NUL end with the datagram; a version text of 600 characters is cut
    // at 511 and the id text read right after the cut.
    QByteArray noNul = OrvexReplies::discoverReply(DiscoverReply, mac, 1, 2, 1, 0, "", "");
    noNul.chop(2);
    noNul += "abc";
    auto unterminated = parsed<DiscoverReplyData>(noNul);
    QCOMPARE(unterminated.versionText, QByteArray("abc"));
    QCOMPARE(unterminated.idText, QByteArray());
    auto longText = parsed<DiscoverReplyData>(
        OrvexReplies::discoverReply(DiscoverReply, mac, 1, 2, 1, 0, QByteArray(600, 'v'), "id"));
    QCOMPARE(longText.versionText.size(), 511);
    QCOMPARE(longText.idText, QByteArray(88, 'v'));
}

void TstOrvexDatagrams::portDiscoveryReply()
{
    auto none = parsed<PortDiscoveryReplyData>(OrvexReplies::portDiscoveryReply(0x0A000001, {}));
    QCOMPARE(none.ip, 0x0A000001u);
    QVERIFY(none.portNumbers.isEmpty());
    auto two = parsed<PortDiscoveryReplyData>(
        OrvexReplies::portDiscoveryReply(0x0A000001, {{1, 0x10}, {2, 0x20}}));
    QCOMPARE(two.portNumbers, hex("0102"));
    QCOMPARE(two.portTypes, hex("1020"));
    // A count larger than the records received drops the reply.
    QByteArray claimsFive = OrvexReplies::portDiscoveryReply(0x0A000001, {{1, 0x10}, {2, 0x20}});
    claimsFive[12] = 5;
    QVERIFY(std::holds_alternative<std::monostate>(parseReply(claimsFive, 1)));
    // Records beyond the count are no ports.
    QByteArray claimsOne = claimsFive;
    claimsOne[12] = 1;
    QCOMPARE(parsed<PortDiscoveryReplyData>(claimsOne).portNumbers, hex("01"));
    QCOMPARE(parsed<PortDiscoveryReplyData>(claimsOne).portTypes, hex("10"));
    QVERIFY(std::holds_alternative<std::monostate>(parseReply(claimsFive.left(13), 1)));
}

void TstOrvexDatagrams::blinkScanReplies()
{
    auto scan = parsed<BlinkScanReplyData>(OrvexReplies::blinkScanReply(0xC0A80114, 0xDEADBEEF));
    QCOMPARE(scan.ip, 0xC0A80114u);
    QCOMPARE(scan.serial, 0xDEADBEEFu);
    auto be = parsed<BEBlinkScanReplyData>(
        OrvexReplies::beBlinkScanReply(0x0A000001, 3, hex("010203040506")));
    QCOMPARE(be.port, quint8(3));
    QCOMPARE(be.serial, hex("060504030201"));
    auto ca = parsed<CAScanReplyData>(OrvexReplies::caScanReply(0x0A000001, 2, 1));
    QCOMPARE(ca.port1, quint8(2));
    QCOMPARE(ca.port2, quint8(1));
}

void TstOrvexDatagrams::rdmReplyTrustsOnlyReceivedBytes()
{
    auto reply = parsed<RdmGetReplyData>(
        OrvexReplies::rdmGetReply(0x123456789ABCull, 0x0080, "Spot"), 0x7F000004);
    QCOMPARE(reply.ip, 0x7F000004u);
    QCOMPARE(reply.serial, 0x123456789ABCull);
    QCOMPARE(reply.parameterId, quint16(0x0080));
    QCOMPARE(reply.value, QStringLiteral("Spot"));
    // The length byte claims 200 bytes; the text is what arrived.
    QByteArray overclaimed = OrvexReplies::rdmGetReply(1, 0x0080, "Spot");
    overclaimed.chop(2);
    overclaimed[35] = char(200);
    QCOMPARE(parsed<RdmGetReplyData>(overclaimed).value, QStringLiteral("Spot"));
    QByteArray noData = OrvexReplies::rdmGetReply(1, 0x00F0, hex("0102")).left(36);
    QCOMPARE(parsed<RdmGetReplyData>(noData).value, QString());
}

void TstOrvexDatagrams::unknownAndShortRepliesGiveNothing()
{
    QVERIFY(std::holds_alternative<std::monostate>(parseReply(buildSync(), 1)));
    QVERIFY(std::holds_alternative<std::monostate>(parseReply(QByteArray(), 1)));
    for (quint16 code : replyCodes()) {
        QByteArray d = OrvexReplies::reply(code, fixedReplySize(code) - 1);
        QVERIFY2(std::holds_alternative<std::monostate>(parseReply(d, 1)),
                 qPrintable(QString::number(code, 16)));
        d.append('\0');
        QVERIFY(!std::holds_alternative<std::monostate>(parseReply(d, 1)));
    }
}

QTEST_GUILESS_MAIN(TstOrvexDatagrams)
#include "tst_orvexdatagrams.moc"
