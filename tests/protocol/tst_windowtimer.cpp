#include "model/light.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"
#include "protocol/orvexdatagrams.h"
#include "protocol/windowtimer.h"
#include "support/lightdiscoveryrig.h"
#include "support/simulatedorvexnetwork.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace OrvexDatagrams;

// No window or retry of the network code ends before its time. Each is measured from before
// it starts to after it ends, so lateness counts in its favour and an early end shows; a coarse
// timer ends early in about every second run, so each is measured several times.
class TestWindowTimer : public QObject
{
    Q_OBJECT
private slots:
    void neverEndsEarly_data();
    void neverEndsEarly();
    void singleShotRunsOnceUnlessItsContextGoes();
};

void TestWindowTimer::neverEndsEarly_data()
{
    QTest::addColumn<QByteArray>("what");
    QTest::addColumn<int>("ms");
    for (const int ms : {41, 97, 163})
        QTest::addRow("timer, %d ms", ms) << QByteArray("timer") << ms;
    QTest::newRow("single shot, 97 ms") << QByteArray("single shot") << 97;
    QTest::newRow("read retry, 97 ms") << QByteArray("read retry") << 97;
    QTest::newRow("scan copy, 97 ms") << QByteArray("scan copy") << 97;
}

void TestWindowTimer::neverEndsEarly()
{
    QFETCH(QByteArray, what);
    QFETCH(int, ms);
    for (int run = 0; run < 4; ++run) {
        LightDiscoveryRig rig;
        NetworkSettings::instance().discoveryRetryMs = ms;
        NetworkSettings::instance().requestRepeatMs = ms;
        rig.device->answering = false;
        QElapsedTimer clock;
        qint64 endedNs = -1;
        const auto end = [&] {
            if (endedNs < 0)
                endedNs = clock.nsecsElapsed();
        };
        // The second request of a kind is the end of the first one's wait.
        quint16 code = 0;
        connect(rig.device, &SimulatedOrvexInterface::datagramReceived, rig.device, [&](quint16 c) {
            if (c == code && rig.device->receivedWithCode(code).size() == 2)
                end();
        });
        WindowTimer timer;
        connect(&timer, &WindowTimer::timeout, end);
        Light light;
        light.setSerialNumber(0x140001);
        clock.start();
        if (what == "timer") {
            timer.start(ms);
        } else if (what == "single shot") {
            WindowTimer::singleShot(ms, &timer, end);
        } else if (what == "read retry") {
            code = EERead;
            QVERIFY(rig.engine->readLightData(&light, rig.device->address().toString()));
        } else {
            code = BlinkScan2;
            rig.engine->discoverLights(rig.supply(0x990001, 2));
        }
        QTRY_VERIFY_WITH_TIMEOUT(endedNs >= 0, 5000);
        QVERIFY2(endedNs >= qint64(ms) * 1000000,
                 qPrintable(QStringLiteral("ended after %1 us").arg(endedNs / 1000)));
    }
}

void TestWindowTimer::singleShotRunsOnceUnlessItsContextGoes()
{
    int runs = 0;
    auto *context = new QObject;
    WindowTimer::singleShot(10, context, [&runs] { ++runs; });
    QTRY_COMPARE(runs, 1);
    QTest::qWait(30);
    QCOMPARE(runs, 1);
    WindowTimer::singleShot(10, context, [&runs] { ++runs; });
    delete context;
    QTest::qWait(30);
    QCOMPARE(runs, 1);
}

QTEST_GUILESS_MAIN(TestWindowTimer)
#include "tst_windowtimer.moc"
