// The interface: its map-file element, property-driven channel moves, and the exact bytes it
// puts on the wire for one frame per protocol version and type, its used size covering every
// byte its lights write.

#include "colour/veycolor.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QDomDocument>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <limits>

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
        return addLightTo(ds, uid, port, channel);
    }

    Light *addLightTo(DataSupply *supply, quint64 uid, quint8 port = 0, int channel = 0)
    {
        auto *light = new Light;
        light->setUid(uid);
        light->setDataSupplyUid(supply->uid());
        light->setPort(port);
        light->setDmxChannel(channel);
        map.addLight(light);
        supply->addLight(uid);
        return light;
    }

    // Another interface, not yet in the map.
    static DataSupply *makeSupply(quint64 uid, const char *address, quint16 version)
    {
        auto *supply = new DataSupply(2);
        supply->setUid(uid);
        supply->setIpAddressText(QLatin1String(address));
        supply->setProtocolVersion(version);
        return supply;
    }

    MapModel map;
    DataSupply *ds = nullptr;
};

QDomElement parseElement(QDomDocument &document, const QString &xml)
{
    const bool ok = document.setContent(xml);
    Q_ASSERT(ok);
    Q_UNUSED(ok);
    return document.documentElement();
}

// Writes the interface and reads the element back into a fresh one.
DataSupply *roundTrip(const DataSupply &source)
{
    QDomDocument document;
    QDomElement element = document.createElement(QStringLiteral("c"));
    source.toXml(&element, &document);
    document.appendChild(element);
    QDomDocument reread;
    QDomElement back = parseElement(reread, document.toString(1));
    return new DataSupply(source.type(), &back);
}

} // namespace

class TestDataSupply : public QObject
{
    Q_OBJECT

private slots:
    void elementRoundTripKeepsEveryField();
    void interfaceWithoutAddressStaysUnassociated();
    void modeChangesMoveChannels_data();
    void modeChangesMoveChannels();
    void dmxAddressMovesEveryLight();
    void renumberAndBoundingRect();
    void version1FrameBytes();
    void version1UsedSizeFromLastChannel_data();
    void version1UsedSizeFromLastChannel();
    void sixteenBitLightAtEndOfUniverse();
    void version3SendsOnlyPortsWithLights();
    void portsMatchedByNumber();
    void copiedPortsKeepNumbersAndTypes();
    void missingInterfaces();
    void interfacesAddedAndDeletedBetweenFrames();
    void frameSignalsReachEveryListenerOnce_data();
    void frameSignalsReachEveryListenerOnce();
    void broadcastForms();
    void usedSizeCoversEveryWrittenByte_data();
    void usedSizeCoversEveryWrittenByte();
};

void TestDataSupply::version1FrameBytes()
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

void TestDataSupply::version1UsedSizeFromLastChannel_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("size");
    QTest::newRow("ends at channel 23: the minimum frame") << 21 << 24;
    QTest::newRow("ends at channel 24: 16 bytes past it") << 22 << 40;
    QTest::newRow("ends at channel 100") << 98 << 116;
}

void TestDataSupply::version1UsedSizeFromLastChannel()
{
    QFETCH(int, channel);
    Rig rig;
    rig.addLight(10, 0, channel)->applyEffectColor(White, 1);
    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    rig.ds->updateLights();
    const QByteArray data = frames.takeFirst().at(3).toByteArray();
    QTEST(int(data.size()), "size");
    QCOMPARE(rig.ds->lastChannelOnPort(0), channel + 2);
    QCOMPARE(data.mid(channel, 3), QByteArray(3, char(0xFF)));
    QCOMPARE(data.count(char(0xFF)), 3);
}

void TestDataSupply::sixteenBitLightAtEndOfUniverse()
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

void TestDataSupply::version3SendsOnlyPortsWithLights()
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

void TestDataSupply::portsMatchedByNumber()
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

// The clone, the interfaces wizard and the sync copy ports this way: every port, the last one
// included, keeps its number and type, whatever the numbers, and frames find them by number.
void TestDataSupply::copiedPortsKeepNumbersAndTypes()
{
    DataSupply from(2);
    from.setPortCount(2);
    from.setPortNumber(0, 7);
    from.setPortNumber(1, 9);
    from.setPortType(0, 3);
    from.setPortType(1, 3);
    from.rebuildPortIndex();
    DataSupply to(2);
    to.setPortCount(4);
    to.copyPortsFrom(from);
    QCOMPARE(int(to.portCount()), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(int(to.portNumber(i)), i == 0 ? 7 : 9);
        QCOMPARE(int(to.portType(i)), 3);
    }
    QVERIFY(to.allPortsType3());
    QCOMPARE(to.portIndexTable().value(6), quint8(0));
    QCOMPARE(to.portIndexTable().value(8), quint8(1));
}

void TestDataSupply::missingInterfaces()
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

    // A version 1 interface whose lights sit on no port of its own sends nothing either.
    Rig nowhere(2, 1);
    nowhere.addLight(10, 7, 0)->applyEffectColor(White, 1);
    QSignalSpy none(nowhere.ds, &DataSupply::signalSendDmxFrame);
    nowhere.ds->updateLights();
    QCOMPARE(none.count(), 0);

    Rig v2(2, 2);
    v2.ds->setMissing(true);
    v2.addLight(10, 0, 0);
    QSignalSpy portOuts(v2.ds, &DataSupply::signalSendPortOut);
    v2.ds->updateLights();
    QCOMPARE(portOuts.count(), 1);
}

void TestDataSupply::frameSignalsReachEveryListenerOnce_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("version 1") << 1;
    QTest::newRow("port-outs") << 2;
}

// Frames reach the map by the shortest way while nothing else listens to the interface; each
// datagram still arrives once at the map, and once at every other listener that joins later.
void TestDataSupply::frameSignalsReachEveryListenerOnce()
{
    QFETCH(int, version);
    Rig rig(2, quint16(version), 2);
    Light *first = rig.addLight(10, 0, 0);
    Light *second = rig.addLight(11, 1, 3);
    // A frame ends each light's colour, so every frame is painted anew.
    auto frame = [&] {
        first->applyEffectColor(White, 1);
        second->applyEffectColor(Red, 1);
        rig.ds->updateLights();
    };
    const int perFrame = version == 1 ? 1 : 2;
    QSignalSpy mapFrames(&rig.map, &MapModel::signalSendDmxFrame);
    QSignalSpy mapPortOuts(&rig.map, &MapModel::signalSendPortOut);
    QSignalSpy &viaMap = version == 1 ? mapFrames : mapPortOuts;
    frame();
    QCOMPARE(mapFrames.count() + mapPortOuts.count(), perFrame);
    QCOMPARE(viaMap.at(0).at(0).toString(), QStringLiteral("127.0.0.5"));
    const QList<QVariant> alone = viaMap.first();

    QSignalSpy frames(rig.ds, &DataSupply::signalSendDmxFrame);
    QSignalSpy portOuts(rig.ds, &DataSupply::signalSendPortOut);
    QSignalSpy &direct = version == 1 ? frames : portOuts;
    mapFrames.clear();
    mapPortOuts.clear();
    frame();
    QCOMPARE(mapFrames.count() + mapPortOuts.count(), perFrame);
    QCOMPARE(frames.count() + portOuts.count(), perFrame);
    QCOMPARE(viaMap.first(), alone);
    QCOMPARE(direct.first(), alone);

    // One that listened before the interface joined the map hears it as well.
    DataSupply *early = Rig::makeSupply(2, "127.0.0.6", quint16(version));
    QSignalSpy earlyFrames(early, &DataSupply::signalSendDmxFrame);
    QSignalSpy earlyPortOuts(early, &DataSupply::signalSendPortOut);
    rig.map.addDataSupply(early);
    rig.addLightTo(early, 12)->applyEffectColor(White, 1);
    early->updateLights();
    QCOMPARE(earlyFrames.count() + earlyPortOuts.count(), 1);
}

// The map's frame reaches exactly the interfaces it holds at that moment.
void TestDataSupply::interfacesAddedAndDeletedBetweenFrames()
{
    Rig rig;
    rig.map.setLivePlayDisabled(false);
    rig.addLight(10, 0, 0);
    QSignalSpy frames(&rig.map, &MapModel::signalSendDmxFrame);
    auto sentTo = [&frames] {
        QStringList addresses;
        for (const QList<QVariant> &frame : std::as_const(frames))
            addresses.append(frame.at(0).toString());
        frames.clear();
        addresses.sort();
        return addresses;
    };
    rig.map.updateLights();
    QCOMPARE(sentTo(), QStringList{QStringLiteral("127.0.0.5")});

    DataSupply *second = Rig::makeSupply(2, "127.0.0.6", 1);
    rig.map.addDataSupply(second);
    rig.addLightTo(second, 20);
    rig.map.updateLights();
    QCOMPARE(sentTo(), (QStringList{QStringLiteral("127.0.0.5"), QStringLiteral("127.0.0.6")}));

    rig.map.deleteDataSupply(1, true);
    rig.map.updateLights();
    QCOMPARE(sentTo(), QStringList{QStringLiteral("127.0.0.6")});
}

void TestDataSupply::broadcastForms()
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

void TestDataSupply::usedSizeCoversEveryWrittenByte_data()
{
    QTest::addColumn<int>("deviceChannels");
    QTest::addColumn<quint32>("resolution");
    QTest::addColumn<bool>("half");
    QTest::addColumn<int>("channel");
    for (int channels : {1, 4, 8}) {
        for (quint32 resolution : {1u, 0u}) {
            for (bool half : {false, true}) {
                for (int channel : {0, 240, 496}) {
                    QTest::addRow("%d ch, %s, %s, at %d", channels, resolution ? "8-bit" : "16-bit",
                                  half ? "half" : "full", channel)
                        << channels << resolution << half << channel;
                }
            }
        }
    }
}

// A "Device Info" footprint is the channel count alone; on a 16-bit or half light the bytes
// written run past it. Whatever the light writes must be in the frame that goes out.
void TestDataSupply::usedSizeCoversEveryWrittenByte()
{
    QFETCH(int, deviceChannels);
    QFETCH(quint32, resolution);
    QFETCH(bool, half);
    QFETCH(int, channel);

    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    ds->setIpAddressText(QStringLiteral("127.0.0.5"));
    ds->setProtocolVersion(2);
    ds->setPortCount(1);
    map.addDataSupply(ds);
    auto *light = new Light;
    light->setUid(2);
    light->setDataSupplyUid(1);
    light->setResolution(resolution);
    light->setHalfFullMode(half);
    light->setDmxChannel(channel);
    light->setProperty(
        QStringLiteral("Device Info"),
        QStringLiteral("D.0038-P.0509-F.%1").arg(deviceChannels, 4, 10, QLatin1Char('0')));
    map.addLight(light);
    ds->addLight(2);
    QCOMPARE(light->footprint(), quint32(deviceChannels));
    const int bytes = light->outputByteCount();
    if (channel + bytes > 512)
        QSKIP("does not fit the universe; writeDmx writes nothing");

    light->applyEffectColor(VeyColor::fromRgbF(1.0, 1.0, 1.0), 1);
    QSignalSpy frames(ds, &DataSupply::signalSendPortOut);
    QVERIFY(ds->updateLights());
    QCOMPARE(frames.count(), 1);
    const QByteArray data = frames.takeFirst().at(5).toByteArray();
    QVERIFY2(
        data.size() >= channel + bytes,
        qPrintable(
            QStringLiteral("sent %1, written up to %2").arg(data.size()).arg(channel + bytes)));
    QCOMPARE(data.mid(channel, bytes), ds->portBuffer(0).mid(channel, bytes));
    QVERIFY(data.mid(channel, bytes).count(char(0xFF)) > 0);
}

void TestDataSupply::elementRoundTripKeepsEveryField()
{
    DataSupply ds(3);
    ds.setUid(0x123456789AULL);
    ds.setName(QStringLiteral("Façade <north> & \"roof\""));
    ds.setSerialNumber(0xABCDEF01ULL);
    ds.setIpAddressText(QStringLiteral("192.168.4.20"));
    const quint8 mac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    ds.setMacAddress(mac);
    ds.setUniverse(7);
    ds.setDMXBufSize(300);
    ds.setProtocolVersion(3);
    ds.setVersionString(QStringLiteral("a:b.c:d"));
    ds.setFamily(QStringLiteral("fam"));
    ds.setPortCount(2);
    ds.setPortNumber(1, 5);
    ds.setPortType(1, 3);
    ds.setPortFlags(0, 0x1F);
    ds.rebuildPortIndex();
    ds.addLight(0x10);
    ds.addLight(0xFFFFFFFFFFULL);

    QDomDocument document;
    QDomElement element = document.createElement(QStringLiteral("c"));
    ds.toXml(&element, &document);
    // Flags are written with bit 2 cleared, in lower-case hexadecimal.
    QCOMPARE(element.firstChildElement(QStringLiteral("pl"))
                 .firstChildElement()
                 .firstChildElement(QStringLiteral("pf"))
                 .text(),
             QStringLiteral("1b"));
    QCOMPARE(element.firstChildElement(QStringLiteral("s")).text(), QStringLiteral("123456789A"));
    QCOMPARE(element.firstChildElement(QStringLiteral("mac")).text(),
             QStringLiteral("00:1A:2B:3C:4D:5E"));

    std::unique_ptr<DataSupply> back(roundTrip(ds));
    QCOMPARE(back->type(), 3);
    QCOMPARE(back->uid(), ds.uid());
    QCOMPARE(back->name(), ds.name());
    QCOMPARE(back->serialNumber(), ds.serialNumber());
    QCOMPARE(back->ipAddress(), QStringLiteral("192.168.4.20"));
    QVERIFY(back->hasIpAddress());
    QCOMPARE(back->macAddress(), QStringLiteral("00:1A:2B:3C:4D:5E"));
    QCOMPARE(back->universe(), 7u);
    QCOMPARE(back->dmxBufSize(), 300);
    QCOMPARE(back->protocolVersion(), quint16(3));
    QCOMPARE(back->versionString(), ds.versionString());
    QCOMPARE(back->family(), ds.family());
    QCOMPARE(back->portCount(), quint8(2));
    QCOMPARE(back->portNumber(1), quint8(5));
    QCOMPARE(back->portType(1), quint8(3));
    QCOMPARE(back->portStartCode(1), quint16(0xFFF0));
    QCOMPARE(back->portFlags(0), 0x1Bu);
    QCOMPARE(back->lights(), ds.lights());
    QVERIFY(!back->isMissing());
}

void TestDataSupply::interfaceWithoutAddressStaysUnassociated()
{
    DataSupply ds(2);
    QVERIFY(!ds.hasIpAddress());
    std::unique_ptr<DataSupply> back(roundTrip(ds));
    QVERIFY(!back->hasIpAddress());
    QCOMPARE(back->ipAddress(), QStringLiteral("0.0.0.0"));
}

void TestDataSupply::modeChangesMoveChannels_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("moved");
    QTest::newRow("8 to 16 bit") << "Resolution"
                                 << "8 bit"
                                 << "16 bit" << 10 << 20;
    QTest::newRow("16 to 8 bit") << "Resolution"
                                 << "16 bit"
                                 << "8 bit" << 20 << 10;
    QTest::newRow("3 to 4 channels") << "Corlend Mode"
                                     << "3-Ch In/4-Ch Out"
                                     << "4-Ch In/Out" << 9 << 12;
    QTest::newRow("4 to 3 channels") << "Corlend Mode"
                                     << "4-Ch In/Out"
                                     << "3-Ch In/4-Ch Out" << 12 << 9;
}

// An interface-wide mode change moves every light so that none overlaps the next.
void TestDataSupply::modeChangesMoveChannels()
{
    QFETCH(QString, property);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, channel);
    QFETCH(int, moved);
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1000);
    QVERIFY(map.addDataSupply(ds));
    ds->setProperty(property, from);
    auto *light = new Light;
    light->setUid(1001);
    light->setDataSupplyUid(1000);
    light->setDmxChannel(channel);
    QVERIFY(map.addLight(light));
    ds->addLight(1001);

    QSignalSpy changes(&map, &MapModel::updatedLightProperty);
    ds->setProperty(property, to);
    QCOMPARE(light->dmxChannel(), moved);
    bool announced = false; // the tree and the editors follow the new address
    for (const QList<QVariant> &args : changes)
        announced |= args.at(1) == "DMX Address" && args.at(2) == QString::number(moved + 1);
    QVERIFY(announced);
}

void TestDataSupply::dmxAddressMovesEveryLight()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    map.addDataSupply(ds);
    for (quint64 uid : {2, 3}) {
        auto *light = new Light;
        light->setUid(uid);
        light->setDataSupplyUid(1);
        light->setDmxChannel(int(uid) * 3);
        map.addLight(light);
        ds->addLight(uid);
    }
    ds->setProperty(QStringLiteral("DMX Address"), QStringLiteral("101"));
    QCOMPARE(map.light(2)->dmxChannel(), 106);
    QCOMPARE(map.light(3)->dmxChannel(), 109);
    QCOMPARE(ds->dmxAddress(), 101u);
    // The interface's buffer size follows the lights' last channels.
    QVERIFY(ds->dmxBufSize() >= 111);
}

void TestDataSupply::renumberAndBoundingRect()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    map.addDataSupply(ds);
    QCOMPARE(ds->boundingRect(), QRect(0, 0, 0, 0));
    const int channels[] = {30, 0, 30, 6};
    for (int i = 0; i < 4; ++i) {
        auto *light = new Light;
        light->setUid(10 + i);
        light->setDmxChannel(channels[i]);
        LightPose pose;
        pose.x = 10.5 + i * 10;
        pose.y = -4.0 + i;
        light->setPose(pose);
        map.addLight(light);
        ds->addLight(10 + i);
    }
    ds->renumberLights();
    QCOMPARE(map.light(11)->lightNumber(), 0u);
    QCOMPARE(map.light(13)->lightNumber(), 1u);
    QCOMPARE(map.light(10)->lightNumber(), 2u);
    QCOMPARE(map.light(12)->lightNumber(), 3u);
    QCOMPARE(ds->boundingRect(), QRect(10, -4, 30, 3));

    // A position set to infinity or 1e300 by a caller saturates instead of overflowing.
    LightPose far;
    far.x = std::numeric_limits<double>::infinity();
    far.y = -1e300;
    map.light(12)->setPose(far);
    const QRect bounds = ds->boundingRect();
    QCOMPARE(bounds.left(), 10);
    QCOMPARE(bounds.right(), INT_MAX - 1);
    QCOMPARE(bounds.top(), INT_MIN);
}

QTEST_GUILESS_MAIN(TestDataSupply)
#include "tst_datasupply.moc"
