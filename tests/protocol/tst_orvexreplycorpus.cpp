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

// DM_TEST_SANITIZE
// Replays truncated, oversized and corrupted replies through the parser and through a real
// socket; under the sanitizers any read past a datagram's bytes fails the test.
using namespace OrvexDatagrams;

class TstOrvexReplyCorpus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void parserDropsWhatIsShorterThanItsFixedFields();
    void parserSurvivesCorruption();
    void socketRaisesNoSignalForShortReplies();
    void socketSurvivesCorruption();

private:
    int replay(Orvex &orvex, SimulatedOrvexInterface *device, const QVector<QByteArray> &data);
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

int TstOrvexReplyCorpus::replay(Orvex &orvex, SimulatedOrvexInterface *device,
                                const QVector<QByteArray> &data)
{
    // Every signal that a reply can raise; the sentinel (a device variable reply with id
    // 0xBEEF) tells when everything sent before it has been read.
    const std::vector<const char *> signalNames = {
        SIGNAL(signalDiscoverResponse(char *, quint32, quint32, quint16, quint32, char *, char *)),
        SIGNAL(
            signalDiscoverEOResponse(char *, quint32, quint32, quint16, quint32, char *, char *)),
        SIGNAL(
            signalDiscoverResponseV3(char *, quint32, quint64, quint16, quint32, char *, char *)),
        SIGNAL(signalDiscoverPortsResponse(unsigned int, unsigned char, unsigned char *,
                                           unsigned char *)),
        SIGNAL(signalBlinkScanResponse(unsigned int, unsigned int)),
        SIGNAL(signalBlinkScan2SNResponse(unsigned int, unsigned char, unsigned char,
                                          QVector<quint64>)),
        SIGNAL(signalBlinkScan2CAResponse(unsigned int, unsigned char, unsigned char,
                                          QVector<quint64>)),
        SIGNAL(signalBlinkScan2ORDMResponse(uint, unsigned char, QVector<quint64>)),
        SIGNAL(signalCAScanResponse(unsigned int, unsigned char, unsigned char)),
        SIGNAL(signalBEBlinkScanResponse(uint, uchar, QByteArray)),
        SIGNAL(signalBlinkEEReadResponse(unsigned int, unsigned int, unsigned char, unsigned char)),
        SIGNAL(signalPixelTokenByteReadResponse(uint, uint, uchar, uchar, uchar)),
        SIGNAL(signalTelemetryByteReadResponse(uint, uint, quint16, uchar)),
        SIGNAL(signalExtPromTokenReadResponse(uint, uint, quint16, uchar)),
        SIGNAL(signalGetArrayReply(uint, quint16, QList<quint32>)),
        SIGNAL(signalGetByteArrayReply(uint, quint16, QByteArray)),
        SIGNAL(signalRDMGetReply(quint32, quint64, quint16, QString)),
    };
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const char *name : signalNames) {
        spies.push_back(std::make_unique<QSignalSpy>(&orvex, name));
        if (!spies.back()->isValid())
            qFatal("no such signal: %s", name);
    }
    // Read every byte the port arrays claim to hold, so that the sanitizers see an overrun.
    int portBytes = 0;
    const auto connection = connect(
        &orvex, &Orvex::signalDiscoverPortsResponse, this,
        [&](unsigned int, unsigned char count, unsigned char *numbers, unsigned char *types) {
            for (int i = 0; i < count; ++i)
                portBytes += numbers[i] + types[i];
        });
    bool sentinelSeen = false;
    const auto sentinel = connect(&orvex, &Orvex::signalDeviceVariableReply, this,
                                  [&](uint, quint16 id, quint32) { sentinelSeen |= id == 0xBEEF; });

    const quint16 port = orvex.socket()->localPort();
    // Small batches, so that the socket's receive buffer never drops a datagram.
    for (int i = 0; i < data.size(); ++i) {
        device->sendRawTo(data[i], QHostAddress::LocalHost, port);
        if (i % 64 == 63)
            QCoreApplication::processEvents();
    }
    device->sendRawTo(OrvexReplies::deviceVariableReply(0xBEEF, 0), QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return sentinelSeen; }, 10000))
        qFatal("sentinel reply never arrived");
    disconnect(connection);
    disconnect(sentinel);
    int total = 0;
    for (const auto &spy : spies)
        total += int(spy->size());
    return total;
}

void TstOrvexReplyCorpus::socketRaisesNoSignalForShortReplies()
{
    SimulatedOrvexNetwork net;
    SimulatedOrvexInterface *device = net.addInterface(QHostAddress("127.0.0.2"));
    Orvex orvex;
    QVector<QByteArray> shortOnes;
    for (const QByteArray &d : OrvexReplyCorpus::truncated()) {
        if (d.size() < requiredReplySize(d))
            shortOnes.append(d);
    }
    QVERIFY(shortOnes.size() > 300);
    QCOMPARE(replay(orvex, device, shortOnes), 0);
}

void TstOrvexReplyCorpus::socketSurvivesCorruption()
{
    SimulatedOrvexNetwork net;
    SimulatedOrvexInterface *device = net.addInterface(QHostAddress("127.0.0.2"));
    Orvex orvex;
    const QVector<QByteArray> all = OrvexReplyCorpus::truncated() + OrvexReplyCorpus::corrupted();
    QVERIFY(replay(orvex, device, all) > 0);
}

QTEST_GUILESS_MAIN(TstOrvexReplyCorpus)
#include "tst_orvexreplycorpus.moc"
