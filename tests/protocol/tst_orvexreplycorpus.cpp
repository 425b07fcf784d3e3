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
