// Live output end to end: a map opened in the main window sends, frame by frame, the exact
// Orvex datagrams to simulated interfaces on loopback while live play is on, and nothing
// while it is off.
#include "support/apptestsupport.h"

#include "app/metatool.h"
#include "colour/veycolor.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "protocol/orvexdatagrams.h"
#include "support/simulatedorvexinterface.h"

#include <QAction>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {
constexpr int DmxOutSize = 533;
constexpr int PortOutSize = 536;

// The levels a light writes when the selection effect shows it, from a universe of its own.
// A frame leaves the lights zeroed, so the colour is laid on here between two frames.
QByteArray levelsOf(Light *light, const VeyColor &color)
{
    light->endFrame();
    light->applyEffectColor(color, 1);
    QByteArray scratch(512, '\0');
    light->writeDmx(reinterpret_cast<quint8 *>(scratch.data()), 512);
    light->endFrame();
    return scratch.mid(light->dmxChannel(), light->outputByteCount());
}

// The universe one port should carry: every light's levels at its channel, zero elsewhere.
QByteArray expectedUniverse(MapModel *map, SelectionEffect *selection, DataSupply *ds, int port)
{
    QByteArray universe(512, '\0');
    for (quint64 uid : ds->lights()) {
        Light *light = map->light(uid);
        if (!light || light->port() != port)
            continue;
        const bool selected = selection->isLightSelected(uid);
        const QByteArray levels =
            levelsOf(light, selected ? selection->fgColor() : selection->bgColor());
        universe.replace(light->dmxChannel(), levels.size(), levels);
    }
    return universe;
}

DataSupply *findInterface(MapModel *map, const QString &name)
{
    for (DataSupply *ds : map->dataSupplies())
        if (ds->name() == name)
            return ds;
    return nullptr;
}

// Waits until the engine has rendered n more frames.
bool waitFrames(EffectEngine *engine, int n)
{
    QSignalSpy ticks(engine, &EffectEngine::EngineTick);
    while (ticks.count() < n)
        if (!ticks.wait(2000))
            return false;
    // Give the loopback datagrams of the last frame time to arrive.
    QTest::qWait(30);
    return true;
}
} // namespace

class TestLivePlay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void framesReachInterfacesOnlyWhileLivePlayIsOn();

private:
    QTemporaryDir m_dir;
    QString m_map;
};

void TestLivePlay::initTestCase()
{
    isolateTestEnvironment();
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("Dallowmere");
    // A quick frame clock keeps the test short; the window reads it from the store.
    QSettings().setValue("/frame_rate", 50);

    m_map = m_dir.filePath("live.map");
    MapModel map;
    DataSupply *v1 = addInterface(&map, "Version 1", QHostAddress("127.0.0.2"), 1);
    DataSupply *v2 = addInterface(&map, "Version 2", QHostAddress("127.0.0.3"), 2);
    DataSupply *v3 = addInterface(&map, "Version 3", QHostAddress("127.0.0.4"), 2);
    v2->setProtocolVersion(2);
    v3->setProtocolVersion(3);
    addLight(&map, v1, "A1", 0, 0, QPointF(100, 100));
    addLight(&map, v1, "A2", 0, 3, QPointF(200, 100));
    addLight(&map, v1, "A3", 0, 30, QPointF(300, 100));
    addLight(&map, v2, "B1", 0, 6, QPointF(100, 200));
    addLight(&map, v2, "B2", 1, 0, QPointF(200, 200));
    addLight(&map, v3, "C1", 1, 509, QPointF(100, 300));
    QVERIFY(map.saveMap(m_map));
}

void TestLivePlay::framesReachInterfacesOnlyWhileLivePlayIsOn()
{
    SimulatedOrvexInterface dev1(QHostAddress("127.0.0.2"));
    SimulatedOrvexInterface dev2(QHostAddress("127.0.0.3"));
    SimulatedOrvexInterface dev3(QHostAddress("127.0.0.4"));
    QVERIFY(dev1.isListening() && dev2.isListening() && dev3.isListening());

    MetaTool w;
    QVERIFY(w.livePlay());
    QCOMPARE(w.effectEngine()->frameInterval(), 20);
    w.openMap(m_map);
    QCOMPARE(w.nodeCount(), 6);
    MapModel *map = w.mapModel();
    DataSupply *v1 = findInterface(map, "Version 1");
    DataSupply *v2 = findInterface(map, "Version 2");
    DataSupply *v3 = findInterface(map, "Version 3");
    QVERIFY(v1 && v2 && v3);
    QCOMPARE(v2->protocolVersion(), quint16(2));
    QCOMPARE(v3->protocolVersion(), quint16(3));

    // Select a light on each interface so the frames carry bytes other than zero.
    for (const char *name : {"A2", "B2", "C1"})
        for (quint64 uid : map->lights().keys())
            if (map->light(uid)->name() == name)
                w.selectionEffect()->setLightSelected(uid, true);
    QVERIFY(waitFrames(w.effectEngine(), 2));
    dev1.clearReceived();
    dev2.clearReceived();
    dev3.clearReceived();
    QVERIFY(waitFrames(w.effectEngine(), 3));

    const QByteArray universe1 = expectedUniverse(map, w.selectionEffect(), v1, 0);
    QVERIFY(universe1.count('\0') < 512); // the selected light shows
    const QList<QByteArray> frames = dev1.receivedWithCode(OrvexDatagrams::DmxOut);
    QVERIFY(frames.size() >= 3);
    for (const QByteArray &d : frames) {
        QCOMPARE(d.size(), DmxOutSize);
        QCOMPARE(qFromLittleEndian<quint32>(d.constData()), 0x4ADC0104u);
        QCOMPARE(qFromLittleEndian<quint16>(d.constData() + 14), quint16(0)); // timer
        QCOMPARE(quint8(d.at(20)), quint8(0));                                // start code
        QCOMPARE(d.mid(21), universe1);
    }
    QVERIFY(dev1.receivedWithCode(OrvexDatagrams::PortOut).isEmpty());

    // Version 2 sends both of its ports, version 3 the port that has a light.
    const struct
    {
        SimulatedOrvexInterface *dev;
        DataSupply *ds;
        QList<int> ports;
    } portOuts[] = {{&dev2, v2, {0, 1}}, {&dev3, v3, {1}}};
    for (const auto &expected : portOuts) {
        const QList<QByteArray> outs = expected.dev->receivedWithCode(OrvexDatagrams::PortOut);
        QVERIFY(outs.size() >= 3 * expected.ports.size());
        QSet<int> seen;
        for (const QByteArray &d : outs) {
            QCOMPARE(d.size(), PortOutSize);
            QCOMPARE(qFromLittleEndian<quint32>(d.constData() + 12), 0xFFFFFFFFu);
            const int portNumber = quint8(d.at(16));
            QCOMPARE(qFromLittleEndian<quint16>(d.constData() + 18), quint16(0)); // flags
            QCOMPARE(qFromLittleEndian<quint16>(d.constData() + 20), quint16(512));
            seen.insert(portNumber - 1);
            QCOMPARE(d.mid(24),
                     expectedUniverse(map, w.selectionEffect(), expected.ds, portNumber - 1));
        }
        QCOMPARE(seen, QSet<int>(expected.ports.begin(), expected.ports.end()));
        QVERIFY(expected.dev->receivedWithCode(OrvexDatagrams::DmxOut).isEmpty());
    }
    // The light at channel 509 fills the last three bytes of its universe.
    const QByteArray last = dev3.receivedWithCode(OrvexDatagrams::PortOut).last();
    QVERIFY(last.right(3) != QByteArray(3, '\0'));

    // Off: from the next frame on, nothing leaves; the engine keeps running.
    QAction *livePlay = w.findChild<QAction *>("livePlayAction");
    livePlay->trigger();
    QVERIFY(!w.livePlay());
    QVERIFY(!w.selectionEffect()->enabled);
    QVERIFY(waitFrames(w.effectEngine(), 1));
    dev1.clearReceived();
    dev2.clearReceived();
    dev3.clearReceived();
    QVERIFY(waitFrames(w.effectEngine(), 4));
    QVERIFY(dev1.received().isEmpty());
    QVERIFY(dev2.received().isEmpty());
    QVERIFY(dev3.received().isEmpty());

    // On again: output resumes.
    livePlay->trigger();
    QVERIFY(w.livePlay());
    QVERIFY(waitFrames(w.effectEngine(), 2));
    QVERIFY(!dev1.receivedWithCode(OrvexDatagrams::DmxOut).isEmpty());
    QVERIFY(!dev3.receivedWithCode(OrvexDatagrams::PortOut).isEmpty());
}

QTEST_MAIN(TestLivePlay)
#include "tst_liveplay.moc"
