#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "protocol/framebatch.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/osocket.h"
#include "support/simulatedorvexnetwork.h"

using namespace OrvexDatagrams;

namespace {

const QHostAddress Device("127.0.0.2");

} // namespace

// Requests go over a real loopback socket to the simulated interface; discovery replies are
// covered through the discovery engine.
class TstOrvexSocket : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void constructionBroadcastsFiveSyncs();
    void dmxFrameAndPortOut();
    void batchSendsWholeUniverses_data();
    void batchSendsWholeUniverses();
    void batchKeepsOrderPastOneSystemCall();
    void refusedDatagramDoesNotStopTheBatch();

private:
    SimulatedOrvexNetwork *m_net = nullptr;
    SimulatedOrvexInterface *m_dev = nullptr;
    Orvex *m_orvex = nullptr;
};

void TstOrvexSocket::initTestCase()
{
    SimulatedOrvexNetwork::useLoopback();
}

void TstOrvexSocket::init()
{
    m_net = new SimulatedOrvexNetwork;
    QVERIFY(m_net->isListening());
    m_dev = m_net->addInterface(Device);
    QVERIFY(m_dev->isListening());
    m_orvex = new Orvex;
}

void TstOrvexSocket::cleanup()
{
    delete m_orvex;
    delete m_net;
}

void TstOrvexSocket::constructionBroadcastsFiveSyncs()
{
    QCOMPARE(m_orvex->socket()->localAddress(), QHostAddress(QHostAddress::LocalHost));
    QTRY_COMPARE(m_net->broadcastsWithCode(Sync).size(), 5);
    QCOMPARE(m_net->broadcastsWithCode(Sync).first(), buildSync());
    emit m_orvex->requestSyncPacket();
    QTRY_COMPARE(m_net->broadcastsWithCode(Sync).size(), 6);
}

void TstOrvexSocket::dmxFrameAndPortOut()
{
    const QByteArray data(600, '\x42');
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    QTest::ignoreMessage(QtDebugMsg, "Truncating: DMX data length exceed 512");
    QVERIFY(!m_orvex->sendDmxFrame("127.0.0.2", 0, 0, bytes, 600));
    QVERIFY(m_orvex->sendPortOut("127.0.0.2", 0xFFFFFFFF, 1, 0, 512, 0, bytes));
    emit m_orvex->requestSendPortOut("127.0.0.2", 5, 2, 0, 3, 0, bytes);
    QTRY_COMPARE(m_dev->receivedWithCode(PortOut).size(), 2);
    QTRY_COMPARE(m_dev->receivedWithCode(DmxOut).size(), 1);
    QCOMPARE(m_dev->receivedWithCode(DmxOut).first().size(), 533);
    QCOMPARE(m_dev->receivedWithCode(PortOut).at(0).size(), 536);
    QCOMPARE(m_dev->receivedWithCode(PortOut).at(1), buildPortOut(5, 2, 0, 0, bytes, 3));
}

void TstOrvexSocket::batchSendsWholeUniverses_data()
{
    QTest::addColumn<bool>("inFrame");
    QTest::newRow("collected in a frame") << true;
    QTest::newRow("at once outside a frame") << false;
}

// The batch sends what the one-by-one relay sends: a whole universe, cut or zero-padded, with
// the relay's fixed universe, flags, start code and timer; text that is no address is dropped.
void TstOrvexSocket::batchSendsWholeUniverses()
{
    QFETCH(bool, inFrame);
    FrameBatch batch(m_orvex);
    if (inFrame)
        batch.begin();
    const QByteArray shortData(100, '\x11');
    const QByteArray longData(600, '\x22');
    QCOMPARE(batch.addPortOut(QStringLiteral("127.0.0.2"), 3, 0xFFF0, shortData), true);
    QCOMPARE(batch.addDmxFrame(QStringLiteral("127.0.0.2"), longData), true);
    QCOMPARE(batch.addPortOut(QStringLiteral("127.0.0.300"), 1, 0, shortData), false);
    QCOMPARE(batch.addDmxFrame(QStringLiteral(" 127.0.0.2"), shortData), false);
    QCOMPARE(batch.pending(), inFrame ? 2 : 0);
    QCOMPARE(batch.flush(), inFrame ? 2 : 0);

    QByteArray universe = shortData + QByteArray(412, '\0');
    const auto *bytes = reinterpret_cast<const uchar *>(universe.constData());
    QTRY_COMPARE(m_dev->receivedWithCode(PortOut).size(), 1);
    QCOMPARE(m_dev->receivedWithCode(PortOut).first(),
             buildPortOut(0xFFFFFFFF, 3, 0, 0xFFF0, bytes, MaxDmxData));
    QTRY_COMPARE(m_dev->receivedWithCode(DmxOut).size(), 1);
    QCOMPARE(m_dev->receivedWithCode(DmxOut).first(),
             buildDmxOut(0, 0, reinterpret_cast<const uchar *>(longData.constData()), MaxDmxData));
}

void TstOrvexSocket::batchKeepsOrderPastOneSystemCall()
{
    FrameBatch batch(m_orvex);
    batch.begin();
    // More than one system call takes, fewer than the device's receive buffer holds.
    const int count = 140;
    for (int i = 0; i < count; ++i)
        batch.addPortOut(QStringLiteral("127.0.0.2"), quint8(i), 0, QByteArray(24, char(i)));
    QCOMPARE(batch.flush(), count);
    QTRY_COMPARE(m_dev->receivedWithCode(PortOut).size(), count);
    const QList<QByteArray> received = m_dev->receivedWithCode(PortOut);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(quint8(received.at(i).at(16)), quint8(i));
        QCOMPARE(quint8(received.at(i).at(24)), quint8(i));
    }
    QCOMPARE(batch.flush(), 0);
}

// An address the system has no route to refuses its datagram mid-batch; the interface listed
// after it still gets its own, and the refusals are counted and logged once a second at most.
void TstOrvexSocket::refusedDatagramDoesNotStopTheBatch()
{
    // Only where loopback is the one network: there no address outside it has a route, and
    // nothing can leave the machine.
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (!interface.flags().testFlag(QNetworkInterface::IsLoopBack) &&
            interface.flags().testFlag(QNetworkInterface::IsUp))
            QSKIP("needs a network namespace with loopback only (scripts/isolate.sh)");
    }
    FrameBatch batch(m_orvex);
    const QRegularExpression report(QStringLiteral("^Live output: the system refused 1 datagram"));
    QTest::ignoreMessage(QtWarningMsg, report);
    batch.begin();
    batch.addPortOut(QStringLiteral("198.51.100.77"), 1, 0, QByteArray(24, '\x01'));
    batch.addPortOut(QStringLiteral("127.0.0.2"), 2, 0, QByteArray(24, '\x02'));
    QCOMPARE(batch.flush(), 1);
    QTRY_COMPARE(m_dev->receivedWithCode(PortOut).size(), 1);
    QCOMPARE(quint8(m_dev->receivedWithCode(PortOut).first().at(16)), quint8(2));
    QCOMPARE(m_orvex->socket()->refusedDatagrams(), quint64(1));
    // Within the second: counted, not logged (an unexpected warning fails the test).
    QTest::failOnWarning(report);
    batch.begin();
    batch.addPortOut(QStringLiteral("198.51.100.78"), 1, 0, QByteArray(24, '\x01'));
    QCOMPARE(batch.flush(), 0);
    QCOMPARE(m_orvex->socket()->refusedDatagrams(), quint64(2));
}

QTEST_GUILESS_MAIN(TstOrvexSocket)
#include "tst_orvexsocket.moc"
