#include "support/apptestsupport.h"
#include "support/modaldriver.h"
#include "support/simulatedorvexnetwork.h"

#include "dialogs/discoverlightswizard.h"
#include "dialogs/syncinterface.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QWizardPage>
#include <QtTest>

using Iface = SimulatedOrvexInterface;
using namespace OrvexDatagrams;

// The windows of the network sync and the lights wizard never end before their time. Each is
// measured from before it starts to after its end shows, so lateness counts in its favour and
// an early end shows; a coarse timer ends early in about every second run, so each window is
// measured several times.
class TestNetworkWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void windowsNeverEndEarly_data();
    void windowsNeverEndEarly();

private:
    SimulatedOrvexNetwork *m_net = nullptr;
    MapModel *m_map = nullptr;
    EffectEngine *m_effects = nullptr;
};

void TestNetworkWindows::init()
{
    NetworkSettings &settings = NetworkSettings::instance();
    settings.restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
    settings.rdmPauseMs = 0;
    settings.syncControllerWindowMs = 113;
    settings.syncLightWindowMs = 97;
    settings.syncReadPauseMs = 41;
    settings.lightScanQuietMs = 131;
    m_net = new SimulatedOrvexNetwork;
    QVERIFY(m_net->isListening());
    m_map = new MapModel;
    m_effects = new EffectEngine(m_map, 100);
}

void TestNetworkWindows::cleanup()
{
    delete m_effects;
    delete m_map;
    delete m_net;
    NetworkSettings::instance().restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
}

void TestNetworkWindows::windowsNeverEndEarly_data()
{
    QTest::addColumn<QByteArray>("window");
    QTest::newRow("sync: interfaces") << QByteArray("interfaces");
    QTest::newRow("sync: interfaces, lights and pause") << QByteArray("lights");
    QTest::newRow("lights wizard: scan end") << QByteArray("wizard");
}

void TestNetworkWindows::windowsNeverEndEarly()
{
    QFETCH(QByteArray, window);
    const NetworkSettings &settings = NetworkSettings::instance();
    const int nominal = window == "wizard" ? settings.lightScanQuietMs
                        : window == "interfaces"
                            ? settings.syncControllerWindowMs
                            : settings.syncControllerWindowMs + settings.syncLightWindowMs +
                                  settings.syncReadPauseMs;
    Iface *dev = m_net->addInterface(QHostAddress("127.0.0.2"));
    dev->identity.protocolVersion = 2;
    // The sync's light window starts its scan; its lights are read once the pause is over.
    dev->lights = {Iface::catalogueLight(0x00100001, 1)};
    DataSupply *ds = addInterface(m_map, "Lobby", dev->address(), 1);
    ds->setProtocolVersion(2);
    addLight(m_map, ds, "Drawn", 0, 0, QPointF(0, 0));
    if (window == "wizard")
        dev->answering = false; // nothing comes, so the scan ends when its quiet time is over
    for (int run = 0; run < 5; ++run) {
        dev->clearReceived();
        QElapsedTimer clock;
        qint64 endedNs = -1;
        const quint16 endCode = window == "interfaces" ? BlinkScan2 : EERead;
        connect(dev, &Iface::datagramReceived, this, [&](quint16 code) {
            if (code == endCode && endedNs < 0)
                endedNs = clock.nsecsElapsed();
        });
        if (window == "wizard") {
            DiscoverLightsWizard wizard(m_map, m_effects, nullptr);
            wizard.setController(ds->uid());
            clock.start();
            wizard.show(); // entering the discover page scans
            QVERIFY(wizard.isDiscovering());
            connect(wizard.page(DiscoverLightsWizard::DiscoverPageId),
                    &QWizardPage::completeChanged, this, [&] {
                        if (!wizard.isDiscovering() && endedNs < 0)
                            endedNs = clock.nsecsElapsed();
                    });
            QTRY_VERIFY_WITH_TIMEOUT(endedNs >= 0, 5000);
        } else {
            ModalDriver driver(5000);
            SyncInterface dialog(m_map, m_effects, {ds->uid()});
            dialog.show();
            clock.start();
            widgetNamed<QAbstractButton>(&dialog, "m_syncButton")->click();
            QTRY_VERIFY_WITH_TIMEOUT(endedNs >= 0, 5000);
            dialog.reject();
        }
        disconnect(dev, &Iface::datagramReceived, this, nullptr);
        QVERIFY2(
            endedNs >= qint64(nominal) * 1000000,
            qPrintable(
                QStringLiteral("ended after %1 us of %2 ms").arg(endedNs / 1000).arg(nominal)));
    }
}

QTEST_MAIN(TestNetworkWindows)
#include "tst_networkwindows.moc"
