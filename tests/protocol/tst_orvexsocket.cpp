#include <QSignalSpy>
#include <QTest>

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

QTEST_GUILESS_MAIN(TstOrvexSocket)
#include "tst_orvexsocket.moc"
