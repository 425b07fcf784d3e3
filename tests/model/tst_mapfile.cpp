// The map file: a round trip keeps every field of every record, and files that are malformed,
// truncated or full of absurd numbers load safely or leave the model as it was.

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QDomDocument>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

// Every record of the model as its element text, so two models compare field by field.
QSet<QString> records(const MapModel &map)
{
    QSet<QString> result;
    QDomDocument document;
    for (const DataSupply *ds : map.dataSupplies()) {
        QDomElement e = document.createElement(QStringLiteral("c"));
        ds->toXml(&e, &document);
        QDomDocument single;
        single.appendChild(single.importNode(e, true));
        result.insert(single.toString(1));
    }
    for (const Light *light : map.lights()) {
        QDomDocument single;
        single.appendChild(light->toXml(single));
        result.insert(single.toString(1));
    }
    for (const Group *group : map.groups()) {
        QDomDocument single;
        QDomElement e = single.createElement(QStringLiteral("g"));
        group->toXml(&e, &single);
        single.appendChild(e);
        result.insert(single.toString(1));
    }
    return result;
}

DataSupply *addInterface(MapModel &map, int type, quint64 uid, int ports)
{
    DataSupply *ds = map.createDataSupply(type);
    ds->setUid(uid);
    ds->setName(QStringLiteral("Interface %1").arg(uid));
    ds->setSerialNumber(0x1000 + uid);
    ds->setIpAddressText(QStringLiteral("127.0.0.%1").arg(uid % 250 + 1));
    ds->setUniverse(quint32(uid));
    ds->setProtocolVersion(quint16(type == 2 ? 3 : 1));
    ds->setVersionString(QStringLiteral("v:1.%1").arg(uid));
    ds->setFamily(QStringLiteral("fam"));
    ds->setPortCount(quint8(ports));
    for (int i = 0; i < ports; ++i) {
        ds->setPortType(i, quint8(i == 1 ? 3 : 2));
        ds->setPortFlags(i, quint32(0x11 + i));
    }
    map.addDataSupply(ds);
    return ds;
}

Light *addLight(MapModel &map, DataSupply *ds, quint64 uid, quint8 port, int channel, int kind)
{
    auto *light = new Light;
    light->setUid(uid);
    light->setDataSupplyUid(ds->uid());
    light->setPort(port);
    light->setName(QStringLiteral("Light %1").arg(uid));
    light->setSerialNumber(0x500000 + uid);
    light->setFixture(uid);
    light->setFixtureCode(int(kind));
    light->setModelName(QStringLiteral("Model %1").arg(kind));
    LightPose pose;
    pose.x = 10.25 * double(uid);
    pose.y = 3.5 * double(uid);
    pose.z = 1.5;
    pose.q0 = 0.5;
    pose.q3 = 0.5;
    light->setPose(pose);
    switch (kind) {
    case 1:
        light->setResolution(0); // 16 bit
        break;
    case 2:
        light->setHalfFullMode(true);
        break;
    case 3:
        light->setColorControlMode(2);
        light->setLedChemistry(5);
        break;
    default:
        break;
    }
    light->setDmxChannel(channel);
    map.addLight(light);
    ds->addLight(uid);
    return light;
}

// Every interface type, several ports, lights of several kinds and nested groups.
void populate(MapModel &map)
{
    map.setImageFile(QStringLiteral("background.png"));
    DataSupply *ip = addInterface(map, 2, 0xA0, 3);
    DataSupply *broadcast = addInterface(map, 3, 0xA1, 1);
    addInterface(map, 6, 0xA2, 2);
    addInterface(map, 7, 0x1234567890ULL, 1);
    quint64 uid = 0x100;
    for (int kind = 0; kind < 4; ++kind) {
        addLight(map, ip, uid++, quint8(kind % 3), kind * 20, kind);
        addLight(map, broadcast, uid++, 0, kind * 6, kind);
    }
    auto *sync = new Group(Group::Synchronized, 0x900, QStringLiteral("Sync"));
    sync->addChildren({0x100, 0x101, 0x102});
    auto *sync2 = new Group(Group::Synchronized, 0x901, QStringLiteral("Sync 2"));
    sync2->addChildren({0x103, 0x104});
    auto *chase = new Group(Group::Chasing, 0x902, QStringLiteral("Chase"));
    chase->addChildren({0x900, 0x901, 0x105});
    chase->setChaseOrder(12);
    map.addGroup(sync);
    map.addGroup(sync2);
    map.addGroup(chase);
}

} // namespace

class TestMapFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void populatedMapRoundTrips();
    void refusedFilesLeaveModelUntouched_data();
    void refusedFilesLeaveModelUntouched();
    void unknownTagsAndHugeNumbers();
    void savedTextOfPosesAndGroups();

private:
    QTemporaryDir m_dir;
};

void TestMapFile::populatedMapRoundTrips()
{
    MapModel map;
    populate(map);
    const QString path = m_dir.filePath(QStringLiteral("full.map"));
    QSignalSpy texts(&map, &MapModel::progressTextChanged);
    QVERIFY(map.saveMap(path));
    QCOMPARE(texts.count(), 2);

    MapModel loaded;
    MapLoadDefaults defaults{QStringLiteral("one"), QStringLiteral("two"),
                             QStringLiteral("1.2.3.4")};
    QVERIFY(loaded.loadMap(path, defaults));
    QCOMPARE(loaded.dataSupplies().size(), 4);
    QCOMPARE(loaded.lights().size(), 8);
    QCOMPARE(loaded.groups().size(), 11);
    QCOMPARE(records(loaded), records(map));
    QCOMPARE(loaded.imageFile(), QStringLiteral("background.png"));

    const DataSupply *ds = loaded.dataSupply(0xA0);
    QCOMPARE(ds->portCount(), quint8(3));
    QCOMPARE(ds->portStartCode(1), quint16(0xFFF0));
    QCOMPARE(ds->portFlags(2), 0x13u);
    QCOMPARE(ds->auxiliaryAddress(), QStringLiteral("1.2.3.4"));
    QCOMPARE(ds->auxiliaryText1(), QStringLiteral("one"));
    QCOMPARE(ds->auxiliaryText2(), QStringLiteral("two"));
    QVERIFY(loaded.dataSupply(0x1234567890ULL));

    for (const Light *original : map.lights()) {
        const Light *light = loaded.light(original->uid());
        QVERIFY(light);
        QCOMPARE(light->dmxChannel(), original->dmxChannel());
        QCOMPARE(light->port(), original->port());
        QCOMPARE(light->serialNumber(), original->serialNumber());
        QCOMPARE(light->name(), original->name());
        QCOMPARE(light->pose(), original->pose());
        QCOMPARE(light->fixtureCode(), original->fixtureCode());
    }
    Group *chase = loaded.group(0x902);
    QCOMPARE(chase->children(), (QList<quint64>{0x900, 0x901, 0x105}));
    QCOMPARE(chase->chaseOrder(), 12);
    QCOMPARE(chase->stepCount(), 3);
    QCOMPARE(chase->lightMatrix().totalLightCount, 6);
    // Used sizes were worked out after the load: port 3 of the first interface has a light.
    QVERIFY(ds->portUsedSize(2) > 0);

    // Saved again, the file is the same document.
    const QString again = m_dir.filePath(QStringLiteral("again.map"));
    QVERIFY(loaded.saveMap(again));
    MapModel third;
    QVERIFY(third.loadMap(again, defaults));
    QCOMPARE(records(third), records(map));
}

void TestMapFile::refusedFilesLeaveModelUntouched_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("truncated") << QByteArray("<map><imagefile>x</imagefile><l><s>5")
                               << QStringLiteral("Error in line: 1, column: 36");
    QTest::newRow("not xml") << QByteArray("\x00\x01garbage", 9) << QStringLiteral("Error in line");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("Error in line");
    QTest::newRow("comment first") << QByteArray("<!-- c --><map><l><s>5</s></l></map>")
                                   << QStringLiteral("Doc has 2 children.");
    QTest::newRow("wrong root") << QByteArray("<Map><l><s>5</s></l></Map>")
                                << QStringLiteral("Doc has 1 children.");
    QTest::newRow("missing file") << QByteArray() << QStringLiteral("Error: Unable to open file.");
}

void TestMapFile::refusedFilesLeaveModelUntouched()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    MapModel map;
    populate(map);
    const QString good = m_dir.filePath(QStringLiteral("good.map"));
    QVERIFY(map.saveMap(good));
    MapModel model;
    QVERIFY(model.loadMap(good, MapLoadDefaults()));
    const QRect extent = model.mapExtent();
    QVERIFY(extent.width() > 0);
    const QSet<QString> before = records(model);

    const QString path = QByteArray(QTest::currentDataTag()) == "missing file"
                             ? m_dir.filePath(QStringLiteral("does-not-exist.map"))
                             : writeFile(m_dir, QStringLiteral("bad.map"), content);
    QSignalSpy messages(&model, &MapModel::msg);
    QSignalSpy started(&model, &MapModel::progressStarted);
    QVERIFY(!model.loadMap(path, MapLoadDefaults()));
    QVERIFY2(messages.last().at(0).toString().startsWith(message),
             qPrintable(messages.last().at(0).toString()));
    QCOMPARE(started.count(), 0);
    QCOMPARE(records(model), before);
    QCOMPARE(model.mapExtent(), extent);
    QCOMPARE(model.imageFile(), QStringLiteral("background.png"));
}

void TestMapFile::unknownTagsAndHugeNumbers()
{
    const QByteArray xml =
        "<map><wat>1</wat><version>9.9</version><postsync>99999999999999999999</postsync>"
        "<c><t>99999999999</t><s>1</s></c>"
        "<c><t>2</t><s>FFFFFFFFFFFFFFFFFFFF</s><u>-1</u><d>99999999999</d>"
        "<pl><p><pn>99999</pn></p></pl><l>FFFFFFFFFFFFFFFFF</l><l>7</l></c>"
        "<l><s>7</s><ch>99999999999</ch><pn>9999</pn><x>1e300</x><y>nan</y><z>inf</z>"
        "<sn>FFFFFFFFFFFFFFFFFFFFFF</sn><fc>x</fc><bogus><deep/></bogus></l>"
        "<l><s>8</s><x>-1e300</x><y>3e9</y></l>"
        "<g><t>1</t><s>9</s><c>9</c><c>zz</c><o>99999999999</o></g>"
        "<g><t>2</t><s>A</s><c>B</c></g><g><t>2</t><s>B</s><c>A</c></g>"
        "</map>";
    const QString path = writeFile(m_dir, QStringLiteral("huge.map"), xml);
    MapModel map;
    QVERIFY(map.loadMap(path, MapLoadDefaults()));
    QVERIFY(!map.isPostSync());
    QCOMPARE(map.dataSupplies().size(), 1);
    const DataSupply *ds = map.dataSupply(0xFFFFFFFF);
    QVERIFY(ds);
    QCOMPARE(ds->dmxBufSize(), 512);
    QCOMPARE(ds->portNumber(0), quint8(1));
    QCOMPARE(ds->lights(), QList<quint64>{7});
    QCOMPARE(map.lights().size(), 2);
    QVERIFY(map.mapExtent().width() >= 0 && map.mapExtent().height() >= 0);
    QVERIFY(map.mapExtent().height() >= 1000000000);
    // Cycles and self-membership do not hang a walk over members.
    for (Group *group : map.groups()) {
        group->compile();
        QVERIFY(group->stepCount() >= -1);
    }
    // Whatever was read saves and loads again.
    const QString again = m_dir.filePath(QStringLiteral("huge-again.map"));
    QVERIFY(map.saveMap(again));
    MapModel reloaded;
    QVERIFY(reloaded.loadMap(again, MapLoadDefaults()));
    QCOMPARE(records(reloaded), records(map));
    map.updateLights();
}

void TestMapFile::savedTextOfPosesAndGroups()
{
    MapModel map;
    DataSupply *ds = addInterface(map, 2, 0xA0, 1);
    Light *light = addLight(map, ds, 0x100, 0, 0, 0);
    LightPose pose = light->pose();
    pose.x = 12.3456789;
    pose.y = 40;
    pose.z = -2.0000004;
    pose.q0 = 0.70710678;
    light->setPose(pose);
    // The canvas's own selection group is never saved; a name that differs in case is a user's.
    map.addGroup(new Group(Group::Synchronized, 0x900, QStringLiteral("VTP Selection Group")));
    map.addGroup(new Group(Group::Synchronized, 0x901, QStringLiteral("VTP selection group")));
    const QString path = m_dir.filePath(QStringLiteral("text.map"));
    QVERIFY(map.saveMap(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    for (const char *element : {"<x>12.345679</x>", "<y>40.000000</y>", "<z>-2.000000</z>",
                                "<q0>0.707107</q0>", "<q3>0.500000</q3>"})
        QVERIFY2(text.contains(element), element);
    QVERIFY(!text.contains("VTP Selection Group"));
    QVERIFY(text.contains("VTP selection group"));

    MapModel loaded;
    QVERIFY(loaded.loadMap(path, {}));
    QVERIFY(!loaded.group(0x900));
    QVERIFY(loaded.group(0x901));
    QCOMPARE(loaded.light(0x100)->pose().x, 12.345679);
    QCOMPARE(loaded.light(0x100)->pose().q0, 0.707107);
}

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
