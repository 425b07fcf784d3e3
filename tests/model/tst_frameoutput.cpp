// The exact bytes an interface puts on the wire for one frame, per protocol version and type.
// DM_TEST_SANITIZE

#include "colour/veycolor.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const VeyColor White = VeyColor::fromRgbF(1.0, 1.0, 1.0);
const VeyColor Red = VeyColor::fromRgbF(1.0, 0.0, 0.0);

// The levels a light writes for its current colour, taken from a buffer of its own.
QByteArray levelsOf(Light *light)
{
    QByteArray scratch(512, '\0');
    const int channel = light->dmxChannel();
    light->writeDmx(reinterpret_cast<quint8 *>(scratch.data()), 512);
    return scratch.mid(channel, light->outputByteCount());
}

class Rig
{
public:
    explicit Rig(int type = 2, quint16 version = 1, int ports = 1)
    {
        ds = new DataSupply(type);
        ds->setUid(1);
        ds->setIpAddressText(QStringLiteral("127.0.0.5"));
        ds->setProtocolVersion(version);
        ds->setPortCount(quint8(ports));
        map.addDataSupply(ds);
    }

    Light *addLight(quint64 uid, quint8 port, int channel)
    {
        auto *light = new Light;
        light->setUid(uid);
        light->setDataSupplyUid(1);
        light->setPort(port);
        light->setDmxChannel(channel);
        map.addLight(light);
        ds->addLight(uid);
        return light;
    }

    MapModel map;
    DataSupply *ds = nullptr;
};

} // namespace

class TestFrameOutput : public QObject
{
    Q_OBJECT

private slots:
    void noLightsSendsNothing();
    void version1FrameBytes();
    void version1UsedSizeFromLastChannel();
    void usedSizeClampedToUniverse();
    void sixteenBitLightAtEndOfUniverse();
    void version3SendsOnlyPortsWithLights();
    void portsMatchedByNumber();
    void usedSizesFollowALightMovedAfterLoad();
    void missingInterfaces();
    void lightBeyondLastPortWritesNothing();
    void broadcastForms();
    void lightsOnAndOff();
    void version0StreamingPorts();
    void mapRelaysAndHonoursLivePlay();
};

void TestFrameOutput::noLightsSendsNothing()
{
    Rig rig;
    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    QVERIFY(!rig.ds->updateLights());
    QCOMPARE(frames.count(), 0);
}

void TestFrameOutput::version1FrameBytes()
{
    Rig rig;
    Light *first = rig.addLight(10, 0, 0);
    Light *second = rig.addLight(11, 0, 3);
    first->applyEffectColor(White, 1);
    second->applyEffectColor(Red, 1);
    const QByteArray redLevels = levelsOf(second);
    QCOMPARE(levelsOf(first), QByteArray(3, char(0xFF)));

    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    QVERIFY(rig.ds->updateLights());
    QCOMPARE(frames.count(), 1);
    const QList<QVariant> frame = frames.takeFirst();
    QCOMPARE(frame.at(0).toString(), QStringLiteral("127.0.0.5"));
    QCOMPARE(frame.at(1).value<quint16>(), quint16(0));
    QCOMPARE(frame.at(2).value<quint16>(), quint16(0));
    QByteArray expected(24, '\0');
    expected.replace(0, 3, QByteArray(3, char(0xFF)));
    expected.replace(3, 3, redLevels);
    QCOMPARE(frame.at(3).toByteArray(), expected);

    // The next frame starts from a cleared buffer: the lights ended their frame at zero.
    QVERIFY(rig.ds->updateLights());
    QCOMPARE(frames.takeFirst().at(3).toByteArray(), QByteArray(24, '\0'));
}

void TestFrameOutput::version1UsedSizeFromLastChannel()
{
    Rig rig;
    Light *light = rig.addLight(10, 0, 98); // last channel 100
    light->applyEffectColor(White, 1);
    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    rig.ds->updateLights();
    const QByteArray data = frames.takeFirst().at(3).toByteArray();
    QCOMPARE(data.size(), 116);
    QCOMPARE(data.mid(98, 3), QByteArray(3, char(0xFF)));
    QCOMPARE(data.count(char(0xFF)), 3);
}

void TestFrameOutput::usedSizeClampedToUniverse()
{
    Rig rig;
    Light *light = rig.addLight(10, 0, 505); // last channel 507 + 16 would pass 512
    light->applyEffectColor(White, 1);
    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    rig.ds->updateLights();
    rig.ds->updateBufferSizes();
    QCOMPARE(rig.ds->portUsedSize(0), 512);
    const QByteArray data = frames.takeFirst().at(3).toByteArray();
    QCOMPARE(data.size(), 512);
    QCOMPARE(data.mid(505, 3), QByteArray(3, char(0xFF)));
}

void TestFrameOutput::sixteenBitLightAtEndOfUniverse()
{
    Rig rig;
    Light *light = rig.addLight(10, 0, 0);
    light->setResolution(0);
    QCOMPARE(light->bytesPerChannel(), 1u * 2);
    const int bytes = light->outputByteCount();
    QCOMPARE(bytes, 6);
    light->setDmxChannel(512 - bytes);
    light->applyEffectColor(Red, 1);
    const QByteArray levels = levelsOf(light);
    QCOMPARE(levels.size(), 6);
    QCOMPARE(levels.mid(0, 2), QByteArray(2, char(0xFF)));

    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    rig.ds->updateLights();
    const QByteArray data = frames.takeFirst().at(3).toByteArray();
    QCOMPARE(data.size(), 512);
    QCOMPARE(data.mid(506), levels);
    QCOMPARE(data.left(506), QByteArray(506, '\0'));
}

void TestFrameOutput::version3SendsOnlyPortsWithLights()
{
    Rig rig(2, 3, 2);
    rig.ds->setPortFlags(1, 0x10005);
    Light *light = rig.addLight(10, 1, 0);
    light->applyEffectColor(White, 1);
    QSignalSpy portOuts(rig.ds, &DataSupply::signalSendPortOut);
    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    QVERIFY(rig.ds->updateLights());
    QCOMPARE(frames.count(), 0);
    QCOMPARE(portOuts.count(), 1);
    const QList<QVariant> out = portOuts.takeFirst();
    QCOMPARE(out.at(0).toString(), QStringLiteral("127.0.0.5"));
    QCOMPARE(out.at(1).value<quint32>(), 0xFFFFFFFFu);
    QCOMPARE(out.at(2).value<quint8>(), quint8(2));
    QCOMPARE(out.at(3).value<quint16>(), quint16(0x0005));
    QCOMPARE(out.at(4).value<quint16>(), quint16(0));
    QByteArray expected(24, '\0');
    expected.replace(0, 3, QByteArray(3, char(0xFF)));
    QCOMPARE(out.at(5).toByteArray(), expected);
}

void TestFrameOutput::portsMatchedByNumber()
{
    // Index 0 bears number 2 and index 1 number 1: a light on port number 1 goes out with
    // index 1, and the empty port number 2 sends nothing.
    Rig rig(2, 2, 2);
    rig.ds->setPortNumber(0, 2);
    rig.ds->setPortNumber(1, 1);
    rig.ds->setPortType(1, 3);
    rig.ds->rebuildPortIndex();
    Light *light = rig.addLight(10, 0, 30);
    light->applyEffectColor(White, 1);
    QSignalSpy portOuts(rig.ds, &DataSupply::signalSendPortOut);
    rig.ds->updateLights();
    QCOMPARE(portOuts.count(), 1);
    const QList<QVariant> out = portOuts.takeFirst();
    QCOMPARE(out.at(2).value<quint8>(), quint8(1));
    QCOMPARE(out.at(4).value<quint16>(), quint16(0xFFF0));
    QCOMPARE(out.at(5).toByteArray().size(), 48);
    QCOMPARE(out.at(5).toByteArray().mid(30, 3), QByteArray(3, char(0xFF)));
}

void TestFrameOutput::usedSizesFollowALightMovedAfterLoad()
{
    Rig rig(2, 2, 2);
    Light *light = rig.addLight(10, 0, 0);
    rig.ds->updateBufferSizes();
    QCOMPARE(rig.ds->portUsedSize(1), 0);
    light->setPort(1);
    light->setDmxChannel(200);
    light->applyEffectColor(White, 1);
    QSignalSpy portOuts(rig.ds, &DataSupply::signalSendPortOut);
    rig.ds->updateLights();
    QCOMPARE(portOuts.count(), 1);
    const QList<QVariant> out = portOuts.takeFirst();
    QCOMPARE(out.at(2).value<quint8>(), quint8(2));
    QCOMPARE(out.at(5).toByteArray().size(), 218);
    QCOMPARE(rig.ds->portUsedSize(0), 0);
}

void TestFrameOutput::missingInterfaces()
{
    for (quint16 version : {1, 2, 3}) {
        Rig broadcast(3, version);
        broadcast.ds->setMissing(true);
        broadcast.addLight(10, 0, 0)->applyEffectColor(White, 1);
        QSignalSpy a(&broadcast.map, &MapModel::signalSendBroadcastDmxFrame);
        QSignalSpy b(&broadcast.map, &MapModel::signalSendBroadcastPortOut);
        broadcast.ds->updateLights();
        QCOMPARE(a.count() + b.count(), 0);
    }
    Rig v1(2, 1);
    v1.ds->setMissing(true);
    v1.addLight(10, 0, 0);
    QSignalSpy frames(v1.ds, &DataSupply::signalSendDmxFrame);
    v1.ds->updateLights();
    QCOMPARE(frames.count(), 0);

    Rig v2(2, 2);
    v2.ds->setMissing(true);
    v2.addLight(10, 0, 0);
    QSignalSpy portOuts(v2.ds, &DataSupply::signalSendPortOut);
    v2.ds->updateLights();
    QCOMPARE(portOuts.count(), 1);
}

void TestFrameOutput::lightBeyondLastPortWritesNothing()
{
    Rig rig(2, 2, 2);
    Light *inside = rig.addLight(10, 1, 0);
    Light *beyond = rig.addLight(11, 7, 0);
    inside->applyEffectColor(Red, 1);
    beyond->applyEffectColor(White, 1);
    const QByteArray redLevels = levelsOf(inside);
    QSignalSpy portOuts(rig.ds, &DataSupply::signalSendPortOut);
    rig.ds->updateLights();
    QCOMPARE(portOuts.count(), 1);
    QCOMPARE(portOuts.first().at(5).toByteArray().left(3), redLevels);
    QCOMPARE(rig.ds->portBuffer(0), QByteArray(512, '\0'));
}

void TestFrameOutput::broadcastForms()
{
    Rig v1(3, 1);
    v1.ds->setUniverse(9);
    v1.addLight(10, 0, 4)->applyEffectColor(White, 1);
    QSignalSpy frames(v1.ds, &DataSupply::signalSendBroadcastDmxFrame);
    v1.ds->updateLights();
    QCOMPARE(frames.count(), 1);
    QCOMPARE(frames.first().at(0).value<quint32>(), 9u);
    QByteArray expected(512, '\0');
    expected.replace(4, 3, QByteArray(3, char(0xFF)));
    QCOMPARE(frames.first().at(3).toByteArray(), expected);

    Rig v2(3, 2, 2);
    v2.addLight(10, 0, 0);
    QSignalSpy portOuts(v2.ds, &DataSupply::signalSendBroadcastPortOut);
    v2.ds->updateLights();
    QCOMPARE(portOuts.count(), 2); // every port, whole universe
    QCOMPARE(portOuts.at(1).at(0).value<quint32>(), 0xFFFFFFFFu);
    QCOMPARE(portOuts.at(1).at(1).value<quint8>(), quint8(2));
    QCOMPARE(portOuts.at(1).at(4).toByteArray().size(), 512);
}

void TestFrameOutput::lightsOnAndOff()
{
    Rig v2(2, 2, 3);
    QSignalSpy portOuts(v2.ds, &DataSupply::signalSendPortOut);
    v2.ds->lightsOn();
    QCOMPARE(portOuts.count(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(portOuts.at(i).at(1).value<quint32>(), 0u);
        QCOMPARE(portOuts.at(i).at(2).value<quint8>(), quint8(i + 1));
        QCOMPARE(portOuts.at(i).at(5).toByteArray(), QByteArray(512, char(0xFF)));
    }
    Rig v1(2, 1);
    v1.ds->setMissing(true);
    QSignalSpy frames(v1.ds, &DataSupply::signalSendDmxFrame);
    v1.ds->lightsOff();
    QCOMPARE(frames.count(), 1);
    QCOMPARE(frames.first().at(3).toByteArray(), QByteArray(512, '\0'));
}

void TestFrameOutput::version0StreamingPorts()
{
    Rig plain(2, 0);
    plain.addLight(10, 0, 0);
    QSignalSpy sacn(plain.ds, &DataSupply::signalSendSACNData);
    QSignalSpy artnet(plain.ds, &DataSupply::signalSendArtNetData);
    QVERIFY(plain.ds->updateLights());
    QCOMPARE(sacn.count() + artnet.count(), 0);

    Rig streaming(6, 0, 2);
    streaming.ds->setPortType(0, 6);
    streaming.ds->setPortType(1, 7);
    streaming.addLight(10, 0, 0)->applyEffectColor(White, 1);
    streaming.addLight(11, 1, 40);
    QSignalSpy sacn2(streaming.ds, &DataSupply::signalSendSACNData);
    QSignalSpy artnet2(streaming.ds, &DataSupply::signalSendArtNetData);
    streaming.ds->updateLights();
    QCOMPARE(sacn2.count(), 1);
    QCOMPARE(artnet2.count(), 1);
    QCOMPARE(sacn2.first().at(1).toByteArray().left(3), QByteArray(3, char(0xFF)));
    QCOMPARE(sacn2.first().at(1).toByteArray().size(), 24);
    QCOMPARE(artnet2.first().at(1).toByteArray().size(), 58);
}

void TestFrameOutput::mapRelaysAndHonoursLivePlay()
{
    Rig rig(2, 1);
    rig.addLight(10, 0, 0)->applyEffectColor(White, 1);
    QSignalSpy frames(&rig.map, &MapModel::signalSendDmxFrame);
    QSignalSpy sync(&rig.map, &MapModel::signalSendPortOutSync);
    rig.map.updateLights();
    QCOMPARE(frames.count(), 1);
    QCOMPARE(sync.count(), 0);

    rig.map.setLivePlayDisabled(true);
    rig.map.light(10)->applyEffectColor(White, 1);
    rig.map.updateLights();
    QCOMPARE(frames.count(), 1);
    // The light ended its frame without output: its colour is back at zero levels.
    rig.map.setLivePlayDisabled(false);
    rig.map.updateLights();
    QCOMPARE(frames.last().at(3).toByteArray(), QByteArray(24, '\0'));
}

QTEST_GUILESS_MAIN(TestFrameOutput)
#include "tst_frameoutput.moc"
