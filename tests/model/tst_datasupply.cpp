// The interface: ports, light list, property-driven channel moves and its map-file element.
// DM_TEST_SANITIZE

#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QDomDocument>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <limits>

namespace {

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
    void defaults();
    void elementRoundTripKeepsEveryField();
    void interfaceWithoutAddressStaysUnassociated();
    void longTagsAndFallbacks();
    void hugeNumbersFallBack();
    void portListResizesAndReadsFields();
    void portListBeyond255KeepsFirst255();
    void lightListNamingALightTwiceKeepsItOnce();
    void addLightTwiceKeepsOneEntry();
    void portIndexTable();
    void resolutionMovesChannels();
    void samePropertyValueEmitsNothing();
    void dmxAddressMovesEveryLight();
    void lightTableSurvivesDeletionThroughAnotherInterface();
    void renumberAndBoundingRect();
    void cloneWithLightsCopiesPortsAndLights();
};

void TestDataSupply::defaults()
{
    DataSupply ds(2);
    QCOMPARE(ds.uid(), quint64(0xFFFFFFFF));
    QCOMPARE(ds.name(), QStringLiteral("New DataSupply"));
    QCOMPARE(ds.ipAddress(), QStringLiteral("0.0.0.0"));
    QVERIFY(!ds.hasIpAddress());
    QCOMPARE(ds.macAddress(), QStringLiteral("FF:FF:FF:FF:FF:FF"));
    QCOMPARE(ds.protocolVersion(), quint16(1));
    QCOMPARE(ds.dmxBufSize(), 12);
    QCOMPARE(ds.portCount(), quint8(1));
    QCOMPARE(ds.portNumber(0), quint8(1));
    QCOMPARE(ds.portBuffer(0).size(), 512);
    QCOMPARE(ds.dmxAddress(), 1u);
    QVERIFY(!ds.lessThan(&ds));

    QSignalSpy updated(&ds, &DataSupply::updatedDataSupply);
    ds.setIpAddressText(QStringLiteral("0.0.0.0"));
    QVERIFY(ds.hasIpAddress()); // an address, if an unspecified one
    ds.setIpAddressText(QStringLiteral("127.0.0.300"));
    QVERIFY(!ds.hasIpAddress());
    QCOMPARE(ds.ipAddress(), QStringLiteral("0.0.0.0"));
    QCOMPARE(updated.count(), 2);
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

void TestDataSupply::longTagsAndFallbacks()
{
    QDomDocument document;
    QDomElement element = parseElement(
        document, QStringLiteral("<DataSupply><type>2</type><self>zz</self><name>N</name>"
                                 "<serialnumber>q</serialnumber><ipaddress>300.1.1.1</ipaddress>"
                                 "<macaddress>1:2:3</macaddress><universenumber>x</universenumber>"
                                 "<dmxbuffersize>x</dmxbuffersize><version>x</version>"
                                 "<versionstring>VS</versionstring><unknown>1</unknown>"
                                 "<portlist><port><portnum>0</portnum><porttype>3</porttype>"
                                 "<portflags>zz</portflags></port></portlist>"
                                 "<light>1F</light><light>nohex</light><missing>x</missing>"
                                 "</DataSupply>"));
    DataSupply ds(2, &element);
    QCOMPARE(ds.uid(), quint64(0xFFFFFFFF));
    QCOMPARE(ds.name(), QStringLiteral("N"));
    QCOMPARE(ds.serialNumber(), quint64(0xFFFFFFFF));
    QCOMPARE(ds.ipAddress(), QStringLiteral("10.0.0.0"));
    QCOMPARE(ds.macAddress(), QStringLiteral("00:00:00:00:00:00"));
    QCOMPARE(ds.universe(), 0u);
    QCOMPARE(ds.dmxBufSize(), 512);
    QCOMPARE(ds.protocolVersion(), quint16(1));
    QCOMPARE(ds.versionString(), QStringLiteral("VS"));
    QCOMPARE(ds.portNumber(0), quint8(1));
    QCOMPARE(ds.portType(0), quint8(3));
    QCOMPARE(ds.portStartCode(0), quint16(0xFFF0));
    QCOMPARE(ds.portFlags(0), 0u);
    QCOMPARE(ds.lights(), QList<quint64>{0x1F});
    QVERIFY(ds.isMissing());
}

void TestDataSupply::hugeNumbersFallBack()
{
    QDomDocument document;
    QDomElement element = parseElement(
        document,
        QStringLiteral("<c><t>2</t><s>1FFFFFFFFFFFFFFFFF</s><u>99999999999999999999</u>"
                       "<d>1e300</d><v>70000</v><m>0</m>"
                       "<pl><p><pn>256</pn><pt>99999</pt><pf>1FFFFFFFFF</pf></p></pl></c>"));
    DataSupply ds(2, &element);
    QCOMPARE(ds.uid(), quint64(0xFFFFFFFF));
    QCOMPARE(ds.universe(), 0u);
    QCOMPARE(ds.dmxBufSize(), 512);
    QCOMPARE(ds.protocolVersion(), quint16(1));
    QCOMPARE(ds.portNumber(0), quint8(1));
    QCOMPARE(ds.portType(0), quint8(1));
    QCOMPARE(ds.portFlags(0), 0u);
    QVERIFY(!ds.isMissing());
}

void TestDataSupply::portListResizesAndReadsFields()
{
    QDomDocument document;
    QDomElement element = parseElement(
        document, QStringLiteral("<c><t>2</t><pl><p><pn>x</pn></p><p><pn>2</pn><pt>6</pt></p>"
                                 "<p><pn>3</pn><pt>0</pt></p></pl></c>"));
    DataSupply ds(2, &element);
    QCOMPARE(ds.portCount(), quint8(3));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(ds.portBuffer(i).size(), 512);
    QCOMPARE(ds.portNumber(0), quint8(1));
    QCOMPARE(ds.portType(1), quint8(6));
    QCOMPARE(ds.portType(2), quint8(1));
}

void TestDataSupply::portListBeyond255KeepsFirst255()
{
    QString xml = QStringLiteral("<c><t>2</t><pl>");
    for (int i = 0; i < 300; ++i)
        xml += QStringLiteral("<p><pn>%1</pn><pt>2</pt></p>").arg(i % 255 + 1);
    xml += QStringLiteral("</pl></c>");
    QDomDocument document;
    QDomElement element = parseElement(document, xml);
    DataSupply ds(2, &element);
    QCOMPARE(ds.portCount(), quint8(255));
    QCOMPARE(ds.portNumber(254), quint8(255));
    QCOMPARE(ds.portIndexTable().size(), 255);
    QCOMPARE(ds.portIndexTable().at(254), quint8(254));
}

void TestDataSupply::lightListNamingALightTwiceKeepsItOnce()
{
    QDomDocument document;
    QDomElement element =
        parseElement(document, QStringLiteral("<c><t>2</t><l>A</l><l>B</l><l>a</l><l>A</l></c>"));
    DataSupply ds(2, &element);
    QCOMPARE(ds.lights(), (QList<quint64>{0xA, 0xB}));
    ds.removeLight(0xA);
    QCOMPARE(ds.lights(), QList<quint64>{0xB});
    ds.addLight(0xA);
    QCOMPARE(ds.lights(), (QList<quint64>{0xB, 0xA}));
}

void TestDataSupply::addLightTwiceKeepsOneEntry()
{
    DataSupply ds(2);
    QSignalSpy spy(&ds, &DataSupply::updatedDataSupply);
    ds.addLight(5);
    ds.addLight(5);
    QCOMPARE(ds.lights().size(), 1);
    QCOMPARE(spy.count(), 2);
    ds.removeLight(99);
    QCOMPARE(spy.count(), 3);
}

void TestDataSupply::portIndexTable()
{
    DataSupply ds(2);
    ds.setPortCount(2);
    ds.setPortNumber(0, 1);
    ds.setPortNumber(1, 3);
    ds.setPortNumber(1, 0); // stored as 1
    QCOMPARE(ds.portNumber(1), quint8(1));
    ds.setPortNumber(1, 3);
    ds.rebuildPortIndex();
    QCOMPARE(ds.portIndexTable(), (QVector<quint8>{0, 0, 1}));
    QVERIFY(!ds.allPortsType3());
    ds.setPortType(0, 3);
    ds.setPortType(1, 3);
    QVERIFY(ds.allPortsType3());
    ds.setPortType(1, 9);
    QCOMPARE(ds.portType(1), quint8(2));
    QCOMPARE(ds.portStartCode(1), quint16(0));
}

void TestDataSupply::resolutionMovesChannels()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1000);
    QVERIFY(map.addDataSupply(ds));
    auto *light = new Light;
    light->setUid(1001);
    light->setDataSupplyUid(1000);
    light->setDmxChannel(10);
    QVERIFY(map.addLight(light));
    ds->addLight(1001);
    ds->setProperty(QStringLiteral("DMX Address"), QStringLiteral("1"));
    QCOMPARE(light->dmxChannel(), 10);

    QSignalSpy moved(&map, &MapModel::updatedLightProperty);
    ds->setProperty(QStringLiteral("Resolution"), QStringLiteral("16 bit"));
    QCOMPARE(light->dmxChannel(), 20);
    QVERIFY(moved.count() >= 1);
    QCOMPARE(moved.first().at(1).toString(), QStringLiteral("DMX Address"));
    QCOMPARE(moved.first().at(2).toString(), QStringLiteral("21"));
    ds->setProperty(QStringLiteral("Resolution"), QStringLiteral("8 bit"));
    QCOMPARE(light->dmxChannel(), 10);
}

void TestDataSupply::samePropertyValueEmitsNothing()
{
    DataSupply ds(2);
    QSignalSpy spy(&ds, &DataSupply::updatedDataSupplyProperty);
    ds.setProperty(QStringLiteral("Name"), QStringLiteral("x"));
    ds.setProperty(QStringLiteral("Name"), QStringLiteral("x"));
    QCOMPARE(spy.count(), 1);
    QSignalSpy updated(&ds, &DataSupply::updatedDataSupply);
    ds.setProperty(QStringLiteral("SFT Version"), QStringLiteral("2.1"));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(ds.sftVersion(), QStringLiteral("2.1"));

    DataSupply plain(2);
    plain.setVersionString(QStringLiteral("name1:ver2:\nx3:build4"));
    QCOMPARE(plain.sftVersion(), QStringLiteral("ver Vbuild4"));
    plain.setVersionString(QStringLiteral("only"));
    QCOMPARE(plain.sftVersion(), QString());
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

void TestDataSupply::lightTableSurvivesDeletionThroughAnotherInterface()
{
    MapModel map;
    auto *a = new DataSupply(2);
    a->setUid(1);
    auto *b = new DataSupply(2);
    b->setUid(2);
    map.addDataSupply(a);
    map.addDataSupply(b);
    auto *light = new Light;
    light->setUid(3);
    light->setDataSupplyUid(1);
    map.addLight(light);
    a->addLight(3);
    b->addLight(3); // lists a light that names interface a
    QCOMPARE(b->lastChannelOnPort(0), 2);
    map.deleteLight(3);
    QVERIFY(!a->lights().contains(3));
    QVERIFY(b->lights().contains(3));
    // b was never told; it must not touch the freed light.
    QCOMPARE(b->lastChannelOnPort(0), -1);
    QVERIFY(!b->updateLights());
    QVERIFY(b->lightObjects().isEmpty());
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

void TestDataSupply::cloneWithLightsCopiesPortsAndLights()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(map.nextUid());
    ds->setPortCount(2);
    ds->setPortType(1, 3);
    ds->setProtocolVersion(2);
    map.addDataSupply(ds);
    for (int i = 0; i < 2; ++i) {
        auto *light = new Light;
        light->setUid(map.nextUid());
        light->setDataSupplyUid(ds->uid());
        light->setFixture(77);
        LightPose pose;
        pose.x = 100 + 10 * i;
        pose.y = 50;
        light->setPose(pose);
        map.addLight(light);
        ds->addLight(light->uid());
    }
    DataSupply *copy = ds->cloneWithLights(1000, 2000);
    QVERIFY(copy);
    QCOMPARE(map.dataSupply(copy->uid()), copy);
    QCOMPARE(copy->portCount(), quint8(2));
    QCOMPARE(copy->portType(1), quint8(3));
    QCOMPARE(copy->protocolVersion(), quint16(2));
    QCOMPARE(copy->lights().size(), 2);
    const Light *first = map.light(copy->lights().at(0));
    const Light *second = map.light(copy->lights().at(1));
    QVERIFY(first && second);
    QCOMPARE(first->dataSupplyUid(), copy->uid());
    QCOMPARE(first->pose().x, 1000.0);
    QCOMPARE(second->pose().x, 1010.0);
    QCOMPARE(first->pose().y, 2000.0);
    QCOMPARE(first->fixture(), second->fixture());
    QVERIFY(first->fixture() != 77);
}

QTEST_GUILESS_MAIN(TestDataSupply)
#include "tst_datasupply.moc"
