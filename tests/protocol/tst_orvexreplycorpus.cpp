#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

#include "protocol/orvex.h"
#include "protocol/osocket.h"
#include "support/orvexreplies.h"
#include "support/orvexreplycorpus.h"
#include "support/simulatedorvexnetwork.h"

#include <memory>
#include <vector>

// Replays truncated, oversized and corrupted replies through the parser and through a real
// socket; under the sanitizers any read past a datagram's bytes fails the test.
using namespace OrvexDatagrams;

class TstOrvexReplyCorpus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void parserDropsWhatIsShorterThanItsFixedFields();
    void everyReplyNeedsItsOwnFields_data();
    void everyReplyNeedsItsOwnFields();
    void parserSurvivesCorruption();
};

void TstOrvexReplyCorpus::initTestCase()
{
    // Thousands of "dropped reply" lines would bury the result.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    SimulatedOrvexNetwork::useLoopback();
}

void TstOrvexReplyCorpus::parserDropsWhatIsShorterThanItsFixedFields()
{
    for (const QByteArray &d : OrvexReplyCorpus::truncated()) {
        const Reply reply = parseReply(d, 0x7F000002);
        const bool tooShort = d.size() < requiredReplySize(d);
        QCOMPARE(std::holds_alternative<std::monostate>(reply), tooShort);
    }
}

void TstOrvexReplyCorpus::everyReplyNeedsItsOwnFields_data()
{
    using namespace OrvexReplies;
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("needed"); // from the wire layouts, not from the parser
    const QByteArray mac(6, '\1');
    const quint32 ip = 0x7F000002;
    const auto ports = [](int n) { return QVector<QPair<quint8, quint8>>(n, {1, 1}); };
    // clang-format off
    QTest::newRow("discover") << discoverReply(DiscoverReply, mac, ip, 1, 1, 0, "", "") << 32;
    QTest::newRow("discover, second form") << discoverReply(DiscoverEOReply, mac, ip, 1, 1, 0, "", "") << 32;
    QTest::newRow("discover, version 3") << discoverReply(DiscoverV3Reply, mac, ip, 1, 3, 0, "", "") << 36;
    // The port count is the byte at offset 12; a record's number and type its first two bytes.
    QTest::newRow("ports, none") << portDiscoveryReply(ip, ports(0)) << 13;
    QTest::newRow("ports, one") << portDiscoveryReply(ip, ports(1)) << 18;
    QTest::newRow("ports, four") << portDiscoveryReply(ip, ports(4)) << 42;
    QTest::newRow("device variable") << deviceVariableReply(1, 2) << 20;
    QTest::newRow("array") << arrayReply(1, {}) << 20;
    QTest::newRow("byte array") << byteArrayReply(1, {}) << 20;
    QTest::newRow("blink scan") << blinkScanReply(ip, 1) << 16;
    QTest::newRow("EEPROM read") << memoryReadReply(EEReadReply, 1, 0x40, 1) << 19;
    QTest::newRow("BE blink scan") << beBlinkScanReply(ip, 1, QByteArray(6, '\1')) << 20;
    QTest::newRow("CA scan") << caScanReply(ip, 1, 1) << 14;
    QTest::newRow("blink scan 2") << blinkScan2Reply(ip, 0, {}) << 16;
    QTest::newRow("RDM GET") << rdmGetReply(1, RdmDeviceInfo, {}) << 36;
    // clang-format on
}

// One byte short of what a reply's fields need is refused; what they need is taken.
void TstOrvexReplyCorpus::everyReplyNeedsItsOwnFields()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, needed);
    QVERIFY(reply.size() >= needed);
    QVERIFY(std::holds_alternative<std::monostate>(parseReply(reply.left(needed - 1), 0x7F000002)));
    QVERIFY(!std::holds_alternative<std::monostate>(parseReply(reply.left(needed), 0x7F000002)));
}

void TstOrvexReplyCorpus::parserSurvivesCorruption()
{
    for (const QByteArray &d : OrvexReplyCorpus::corrupted()) {
        const Reply reply = parseReply(d, 0x7F000002);
        if (const auto *ports = std::get_if<PortDiscoveryReplyData>(&reply))
            QVERIFY(16 + 8 * ports->portNumbers.size() <= d.size() + 6);
        if (const auto *bytes = std::get_if<ByteArrayReplyData>(&reply))
            QVERIFY(20 + bytes->values.size() <= d.size());
        if (const auto *array = std::get_if<ArrayReplyData>(&reply))
            QVERIFY(20 + 4 * array->values.size() <= d.size());
        if (const auto *discover = std::get_if<DiscoverReplyData>(&reply)) {
            QVERIFY(discover->versionText.size() < TextBufferSize);
            QVERIFY(discover->idText.size() < TextBufferSize);
        }
    }
}

QTEST_GUILESS_MAIN(TstOrvexReplyCorpus)
#include "tst_orvexreplycorpus.moc"
