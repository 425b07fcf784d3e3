// The map file: document order, round trips with every field, merging, progress and signal
// order of a load, and files that are malformed, truncated or unwritable.
// DM_TEST_SANITIZE

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList rootTags(const QByteArray &xml)
{
    QDomDocument document;
    document.setContent(xml);
    QStringList tags;
    for (QDomElement e = document.documentElement().firstChildElement(); !e.isNull();
         e = e.nextSiblingElement())
        tags << e.tagName();
    return tags;
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

    void emptyMapDocument();
    void populatedMapRoundTrips();
    void documentOrderAndSelectionGroup();
    void controlCharactersAreReplaced();
    void postsyncReadButWrittenAsZero();
    void handWrittenLongTags();
    void loadSignalOrder();
    void mergesDuplicateUids();
    void mapExtent();
    void progressOf250Children();
    void refusedFilesLeaveModelUntouched_data();
    void refusedFilesLeaveModelUntouched();
    void unknownTagsAndHugeNumbers();
    void unwritableFileKeepsOldMap();
    void fullDiskKeepsOldMap();

private:
    QTemporaryDir m_dir;
};

void TestMapFile::emptyMapDocument()
{
    MapModel map;
    const QString path = m_dir.filePath(QStringLiteral("empty.map"));
    QSignalSpy started(&map, &MapModel::progressStarted);
    QVERIFY(map.saveMap(path));
    QCOMPARE(started.first().at(2).toString(), QStringLiteral("Saving Interfaces..."));
    const QByteArray text = readFile(path);
    QVERIFY(text.startsWith("<map>"));
    QCOMPARE(rootTags(text), (QStringList{"imagefile", "postsync", "version"}));
    QVERIFY(text.contains("<postsync>0</postsync>"));
    QVERIFY(text.contains("<version>2.3.1</version>"));

    MapModel loaded;
    QSignalSpy loadStarted(&loaded, &MapModel::progressStarted);
    QSignalSpy updated(&loaded, &MapModel::progressUpdated);
    QSignalSpy newLights(&loaded, &MapModel::newLight);
    QSignalSpy newImage(&loaded, &MapModel::newImageFile);
    QVERIFY(loaded.loadMap(path, MapLoadDefaults()));
    QCOMPARE(loadStarted.count(), 1);
    QCOMPARE(loadStarted.first().at(1).toInt(), 3);
    QCOMPARE(loadStarted.first().at(2).toString(), QStringLiteral("Loading Map"));
    QList<int> values;
    for (const QList<QVariant> &args : updated)
        values << args.at(0).toInt();
    QCOMPARE(values, (QList<int>{0, 1, 2, 3}));
    QCOMPARE(newLights.count() + newImage.count(), 0);
    QVERIFY(loaded.isEmpty());
}

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

void TestMapFile::documentOrderAndSelectionGroup()
{
    MapModel map;
    DataSupply *ds = addInterface(map, 2, 1, 1);
    addLight(map, ds, 0x10, 0, 0, 0)->setSerialNumber(10);
    addLight(map, ds, 0x11, 0, 3, 0)->setSerialNumber(9);
    addLight(map, ds, 0x12, 0, 6, 0)->setSerialNumber(~quint64(0));
    map.addGroup(new Group(Group::Synchronized, 0x20, QStringLiteral("VTP Selection Group")));
    map.addGroup(new Group(Group::Synchronized, 0x21, QStringLiteral("vtp selection group")));
    const QString path = m_dir.filePath(QStringLiteral("order.map"));
    QVERIFY(map.saveMap(path));

    QDomDocument document;
    QVERIFY(document.setContent(readFile(path)));
    QStringList serials;
    QStringList groupNames;
    for (QDomElement e = document.documentElement().firstChildElement(); !e.isNull();
         e = e.nextSiblingElement()) {
        if (e.tagName() == QLatin1String("l"))
            serials << e.firstChildElement(QStringLiteral("sn")).text();
        if (e.tagName() == QLatin1String("g"))
            groupNames << e.firstChildElement(QStringLiteral("n")).text();
    }
    QCOMPARE(serials.size(), 3);
    QCOMPARE(serials.first().toULongLong(), 9ull);
    QCOMPARE(serials.last().toULongLong(), ~0ull);
    QVERIFY(!groupNames.contains(QStringLiteral("VTP Selection Group")));
    QVERIFY(groupNames.contains(QStringLiteral("vtp selection group")));
    QCOMPARE(rootTags(readFile(path)).mid(0, 5),
             (QStringList{"imagefile", "postsync", "version", "c", "l"}));
}

void TestMapFile::controlCharactersAreReplaced()
{
    MapModel map;
    DataSupply *ds = addInterface(map, 2, 1, 1);
    ds->setName(QStringLiteral("bad\x01name\x1f"));
    addLight(map, ds, 0x10, 0, 0, 0)->setName(QString::fromUtf16(u"lamp\u0008\uFFFE ok"));
    map.setImageFile(QStringLiteral("img\x02.png"));
    const QString path = m_dir.filePath(QStringLiteral("control.map"));
    QVERIFY(map.saveMap(path));
    MapModel loaded;
    QVERIFY(loaded.loadMap(path, MapLoadDefaults()));
    QCOMPARE(loaded.dataSupply(1)->name(), QString::fromUtf16(u"bad\uFFFDname\uFFFD"));
    QCOMPARE(loaded.light(0x10)->name(), QString::fromUtf16(u"lamp\uFFFD\uFFFD ok"));
    QCOMPARE(loaded.imageFile(), QString::fromUtf16(u"img\uFFFD.png"));
}

void TestMapFile::postsyncReadButWrittenAsZero()
{
    const QString path =
        writeFile(m_dir, QStringLiteral("postsync.map"),
                  "<map><imagefile/><postsync>1</postsync><version>2.3.1</version></map>");
    MapModel map;
    QVERIFY(map.loadMap(path, MapLoadDefaults()));
    QVERIFY(map.isPostSync());
    const QString out = m_dir.filePath(QStringLiteral("postsync-out.map"));
    QVERIFY(map.saveMap(out));
    QVERIFY(readFile(out).contains("<postsync>0</postsync>"));
}

void TestMapFile::handWrittenLongTags()
{
    const QByteArray xml =
        "<map>\n"
        "  <version>1.0</version>\n"
        "  <DataSupply><type>2</type><self>A0</self><name>Long</name>"
        "<ipaddress>127.0.0.9</ipaddress><version>2</version>"
        "<portlist><port><portnum>1</portnum><porttype>2</porttype><portflags>1b</portflags>"
        "</port><port><portnum>2</portnum><porttype>2</porttype></port></portlist>"
        "<light>B1</light><light>B2</light></DataSupply>\n"
        "  <light><self>B1</self><name>First</name><DataSupply>A0</DataSupply>"
        "<channel>4</channel><lightnumber>1</lightnumber><x>12.5</x><y>7</y></light>\n"
        "  <light><self>B2</self><name>Second</name><DataSupply>A0</DataSupply><pn>1</pn>"
        "<channel>40</channel></light>\n"
        "  <group><type>3</type><self>B1</self><name>First</name><child>B1</child></group>\n"
        "  <group><type>3</type><self>B2</self><name>Second</name><child>B2</child></group>\n"
        "  <group><type>1</type><self>C0</self><name>Chase</name><child>B1</child>"
        "<child>B2</child></group>\n"
        "</map>\n";
    const QString path = writeFile(m_dir, QStringLiteral("long.map"), xml);
    MapModel map;
    QVERIFY(map.loadMap(path, MapLoadDefaults()));
    const DataSupply *ds = map.dataSupply(0xA0);
    QVERIFY(ds);
    QCOMPARE(ds->name(), QStringLiteral("Long"));
    QCOMPARE(ds->ipAddress(), QStringLiteral("127.0.0.9"));
    QCOMPARE(ds->portCount(), quint8(2));
    QCOMPARE(ds->portFlags(0), 0x1Bu);
    QCOMPARE(ds->lights(), (QList<quint64>{0xB1, 0xB2}));
    QCOMPARE(map.light(0xB1)->name(), QStringLiteral("First"));
    QCOMPARE(map.light(0xB1)->dmxChannel(), 4);
    QCOMPARE(map.light(0xB1)->pose().x, 12.5);
    QCOMPARE(map.light(0xB2)->port(), quint8(1));
    QCOMPARE(map.group(0xC0)->stepCount(), 2);
    QCOMPARE(ds->portUsedSize(0), 24);
    QCOMPARE(ds->portUsedSize(1), 58);
}

void TestMapFile::loadSignalOrder()
{
    MapModel source;
    populate(source);
    const QString path = m_dir.filePath(QStringLiteral("order-signals.map"));
    QVERIFY(source.saveMap(path));

    MapModel map;
    QStringList log;
    connect(&map, &MapModel::newImageFile, this, [&] { log << QStringLiteral("image"); });
    connect(&map, &MapModel::newDataSupply, this, [&] { log << QStringLiteral("ds"); });
    connect(&map, &MapModel::newLight, this, [&] { log << QStringLiteral("light"); });
    connect(&map, &MapModel::newGroup, this, [&] { log << QStringLiteral("group"); });
    connect(&map, &MapModel::progressStarted, this, [&] { log << QStringLiteral("started"); });
    QSignalSpy messages(&map, &MapModel::msg);
    QVERIFY(map.loadMap(path, MapLoadDefaults()));
    QStringList expected{QStringLiteral("started"), QStringLiteral("image")};
    for (int i = 0; i < 4; ++i)
        expected << QStringLiteral("ds");
    for (int i = 0; i < 8; ++i)
        expected << QStringLiteral("light");
    for (int i = 0; i < 11; ++i)
        expected << QStringLiteral("group");
    QCOMPARE(log, expected);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("Opening map file: ") + path);
    QCOMPARE(messages.at(1).at(0).toString(), QStringLiteral("Doc has 1 children."));
    QCOMPARE(messages.at(2).at(0).toString(), QStringLiteral("Map has 26 children."));
    QStringList loading;
    for (const QList<QVariant> &args : messages)
        loading << args.at(0).toString();
    QVERIFY(loading.contains(QStringLiteral("Loading a Orvex IP DataSupply.")));
    QVERIFY(loading.contains(QStringLiteral("Loading a Orvex Broadcast DataSupply.")));
    QCOMPARE(loading.count(QStringLiteral("Loading a SACN DataSupply.")), 2);
}

void TestMapFile::mergesDuplicateUids()
{
    MapModel map;
    DataSupply *ds = addInterface(map, 2, 0xA0, 1);
    ds->setProperty(QStringLiteral("Kept"), QStringLiteral("old"));
    addLight(map, ds, 0x10, 0, 0, 0);
    map.addGroup(new Group(Group::Synchronized, 0x20, QStringLiteral("Mine")));
    const QByteArray xml = "<map>"
                           "<c><t>2</t><s>A0</s><n>Other</n></c>"
                           "<c><t>5</t><s>A5</s></c><c><s>A6</s></c>"
                           "<l><s>10</s><n>Renamed</n><sn>77</sn><ch>9</ch><x>999</x></l>"
                           "<l><s>11</s><n>Twice</n></l><l><s>11</s><n>Again</n></l>"
                           "<g><t>2</t><s>20</s><n>Theirs</n></g>"
                           "</map>";
    const QString path = writeFile(m_dir, QStringLiteral("merge.map"), xml);
    QSignalSpy newLights(&map, &MapModel::newLight);
    QSignalSpy newDs(&map, &MapModel::newDataSupply);
    QSignalSpy messages(&map, &MapModel::msg);
    QVERIFY(map.loadMap(path, MapLoadDefaults()));
    QCOMPARE(map.dataSupplies().size(), 1);
    QCOMPARE(map.dataSupply(0xA0)->name(), QStringLiteral("Interface 160"));
    QCOMPARE(newDs.count(), 0);
    const Light *merged = map.light(0x10);
    QCOMPARE(merged->name(), QStringLiteral("Renamed"));
    QCOMPARE(merged->serialNumber(), quint64(77));
    QCOMPARE(merged->dmxChannel(), 9);
    QCOMPARE(merged->pose().x, 10.25 * 16); // the pose is not a discovered field
    QCOMPARE(map.light(0x11)->name(), QStringLiteral("Again"));
    QCOMPARE(newLights.count(), 1);
    QCOMPARE(map.group(0x20)->name(), QStringLiteral("Mine"));
    QStringList texts;
    for (const QList<QVariant> &args : messages)
        texts << args.at(0).toString();
    QCOMPARE(texts.count(QStringLiteral("loadLight: uid already exists")), 2);
    QCOMPARE(texts.count(QStringLiteral("loadGroup: uid already exists")), 1);
    QCOMPARE(texts.count(QStringLiteral("loadDataSupply: uid already exists")), 1);
    QCOMPARE(texts.filter(QStringLiteral("Loading a")).size(), 1);
}

void TestMapFile::mapExtent()
{
    const QString path = writeFile(m_dir, QStringLiteral("extent.map"),
                                   "<map><l><s>1</s><x>120.9</x><y>40.2</y></l>"
                                   "<l><s>2</s><x>80</x><y>300.5</y></l></map>");
    MapModel map;
    QVERIFY(map.loadMap(path, MapLoadDefaults()));
    QCOMPARE(map.mapExtent(), QRect(0, 0, 120, 300));

    const QString negative = writeFile(m_dir, QStringLiteral("negative.map"),
                                       "<map><l><s>1</s><x>-5</x><y>-9</y></l></map>");
    MapModel other;
    QVERIFY(other.loadMap(negative, MapLoadDefaults()));
    QCOMPARE(other.mapExtent(), QRect(0, 0, 0, 0));
}

void TestMapFile::progressOf250Children()
{
    QByteArray xml = "<map>";
    for (int i = 0; i < 250; ++i)
        xml += "<unknown/>";
    xml += "</map>";
    const QString path = writeFile(m_dir, QStringLiteral("250.map"), xml);
    MapModel map;
    QSignalSpy updated(&map, &MapModel::progressUpdated);
    QVERIFY(map.loadMap(path, MapLoadDefaults()));
    QList<int> expected;
    for (int i = 0; i < 250; i += 2)
        expected << i;
    expected << 250;
    QList<int> values;
    for (const QList<QVariant> &args : updated)
        values << args.at(0).toInt();
    QCOMPARE(values, expected);
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

void TestMapFile::unwritableFileKeepsOldMap()
{
    MapModel map;
    populate(map);
    // A directory in place of the file cannot be written.
    QVERIFY(!map.saveMap(m_dir.path()));
    QVERIFY(!map.saveMap(m_dir.filePath(QStringLiteral("no-such-dir/x.map"))));

    const QString path = m_dir.filePath(QStringLiteral("keep.map"));
    QVERIFY(map.saveMap(path));
    const QByteArray before = readFile(path);
    QVERIFY(!before.isEmpty());
    if (::geteuid() == 0)
        QSKIP("permissions do not bind root");
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    map.setImageFile(QStringLiteral("changed.png"));
    const bool saved = map.saveMap(path);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!saved);
    QCOMPARE(readFile(path), before);
}

// A file-size limit makes every write past it fail as a full disk would, even for root.
void TestMapFile::fullDiskKeepsOldMap()
{
    MapModel map;
    populate(map);
    const QString path = m_dir.filePath(QStringLiteral("full-disk.map"));
    QVERIFY(map.saveMap(path));
    const QByteArray before = readFile(path);

    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    map.setImageFile(QStringLiteral("changed.png"));
    const bool saved = map.saveMap(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!saved);
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral("full-disk")).size(),
             1);
}

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
