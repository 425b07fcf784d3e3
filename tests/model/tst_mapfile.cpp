// The map file: a round trip keeps every field of every record, and files that are malformed,
// truncated or full of absurd numbers load safely or leave the model as it was.

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/xmltext.h"

#include <QDomDocument>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

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

// The map as the DOM writes it: the document built whole from each record's element and
// turned into text with an indent of one, control characters replaced afterwards.
QByteArray domText(const MapModel &map)
{
    QDomDocument document;
    QDomElement root = document.createElement(QStringLiteral("map"));
    document.appendChild(root);
    auto text = [&](const QString &tag, const QString &value) {
        QDomElement child = document.createElement(tag);
        child.appendChild(document.createTextNode(value));
        root.appendChild(child);
    };
    text(QStringLiteral("imagefile"), map.imageFile());
    text(QStringLiteral("postsync"), QStringLiteral("0"));
    text(QStringLiteral("version"), QStringLiteral("2.3.1"));
    QList<DataSupply *> dataSupplies = map.dataSupplies().values();
    std::sort(dataSupplies.begin(), dataSupplies.end(),
              [](const DataSupply *a, const DataSupply *b) { return a->uid() < b->uid(); });
    for (const DataSupply *ds : std::as_const(dataSupplies)) {
        QDomElement element = document.createElement(QStringLiteral("c"));
        ds->toXml(&element, &document);
        root.appendChild(element);
    }
    const QHash<quint64, Light *> table = map.lights();
    std::vector<Light *> lights(table.cbegin(), table.cend());
    std::sort(lights.begin(), lights.end(), [](const Light *a, const Light *b) {
        return std::make_pair(a->serialNumber(), a->uid()) <
               std::make_pair(b->serialNumber(), b->uid());
    });
    for (const Light *light : std::as_const(lights))
        root.appendChild(light->toXml(document));
    QList<Group *> groups = map.groups().values();
    std::sort(groups.begin(), groups.end(),
              [](const Group *a, const Group *b) { return a->uid() < b->uid(); });
    for (const Group *group : std::as_const(groups)) {
        if (group->name() == QLatin1String("VTP Selection Group"))
            continue;
        QDomElement element = document.createElement(QStringLiteral("g"));
        group->toXml(&element, &document);
        root.appendChild(element);
    }
    return xmlSafeText(document.toString(1)).toUtf8();
}

// Texts that escaping and the control-character rule must both get right.
const QStringList &awkwardTexts()
{
    static const QStringList texts{
        QString(),
        QStringLiteral("plain"),
        QStringLiteral("a & b <c> \"d\" 'e'"),
        QStringLiteral("]]> and ]> and ]]]>"),
        QStringLiteral("tab\there\nline\r\nend\r"),
        QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
        QString(QChar(0x01)) + QStringLiteral("bell") + QChar(0x07) + QChar(0x1F),
        QStringLiteral("half ") + QChar(0xD800) + QStringLiteral(" pair ") + QChar(0xDC00) +
            QChar(0xFFFE),
        QStringLiteral("   "),
    };
    return texts;
}

double awkwardNumber(QRandomGenerator &random)
{
    static const double fixed[] = {0.0,       -0.0,       1.0, -1.0, 12.0, 0.5,       -0.25, 1e-7,
                                   0.0078125, 123456.789, 1e9, -1e9, 1e15, 3.0000005, 2.5e-6};
    if (random.bounded(3) == 0)
        return fixed[random.bounded(int(std::size(fixed)))];
    return (random.generateDouble() - 0.5) * std::pow(10.0, random.bounded(-3, 8));
}

// A model of every record kind with random and awkward field values: all interface types,
// lights of every mode with properties and additional data, groups of every type.
void generateMap(MapModel &map, int lightCount, quint32 seed)
{
    QRandomGenerator random(seed);
    const QStringList &texts = awkwardTexts();
    auto anyText = [&] { return texts.at(random.bounded(int(texts.size()))); };
    // Additional data can only come from a file.
    QDomDocument base;
    base.setContent(QByteArrayLiteral(
        "<map><l><s>7000</s><sn>5</sn><additional_data><key>v &amp; w</key><empty/>"
        "<zz>last</zz></additional_data><properties><LED_CHEMISTRY>3</LED_CHEMISTRY>"
        "</properties></l><g><t>0</t><s>7001</s><n>typeless</n></g></map>"));
    map.loadMapElement(base.documentElement(), MapLoadDefaults());
    map.setImageFile(anyText() + QStringLiteral("background.png"));

    QList<DataSupply *> interfaces;
    const int types[] = {2, 3, 6, 7};
    for (int i = 0; i < 4 + lightCount / 200; ++i) {
        DataSupply *ds = map.createDataSupply(types[i % 4]);
        ds->setUid(0x100000 + quint64(i));
        ds->setName(anyText());
        ds->setSerialNumber(random.generate64());
        ds->setIpAddressText(QStringLiteral("127.0.%1.%2").arg(i % 200).arg(i % 250 + 1));
        ds->setUniverse(random.generate());
        ds->setProtocolVersion(quint16(random.bounded(4)));
        ds->setVersionString(anyText());
        ds->setFamily(anyText());
        ds->setDMXBufSize(random.bounded(-3, 600));
        const int ports = random.bounded(1, 5);
        ds->setPortCount(quint8(ports));
        for (int p = 0; p < ports; ++p) {
            ds->setPortType(p, quint8(random.bounded(256)));
            ds->setPortFlags(p, random.generate());
        }
        map.addDataSupply(ds);
        interfaces.append(ds);
    }
    QList<quint64> uids;
    for (int i = 0; i < lightCount; ++i) {
        DataSupply *ds = interfaces.at(random.bounded(int(interfaces.size())));
        auto *light = new Light;
        light->setUid(0x200000 + quint64(i));
        light->setDataSupplyUid(ds->uid());
        light->setPort(quint8(random.bounded(256)));
        light->setName(anyText() + QString::number(i));
        light->setSerialNumber(i % 7 == 0 ? ~quint64(0)
                                          : random.generate64() >> random.bounded(64));
        light->setLightNumber(random.generate());
        light->setFixture(random.generate64());
        light->setFixtureCode(qint32(random.generate()));
        light->setHueweaveIoMode(random.generate());
        light->setHueweaveProfileId(random.generate());
        light->setResolution(quint32(random.bounded(2)));
        light->setLedChemistry(quint32(random.bounded(7)));
        light->setColorControlMode(quint32(random.bounded(3)));
        light->setHalfFullMode(random.bounded(2) == 1);
        if (random.bounded(4) == 0)
            light->setProperty(QStringLiteral("Firmware Version"), anyText());
        LightPose pose;
        pose.x = awkwardNumber(random);
        pose.y = awkwardNumber(random);
        pose.z = awkwardNumber(random);
        pose.q0 = awkwardNumber(random);
        pose.q1 = awkwardNumber(random);
        pose.q2 = awkwardNumber(random);
        pose.q3 = awkwardNumber(random);
        light->setPose(pose);
        light->setDmxChannel(random.bounded(-1, 520));
        map.addLight(light);
        ds->addLight(light->uid());
        uids.append(light->uid());
    }
    for (int i = 0; i < 3 + lightCount / 10; ++i) {
        QList<quint64> members;
        for (int m = random.bounded(6); m > 0 && !uids.isEmpty(); --m)
            members.append(uids.at(random.bounded(int(uids.size()))));
        auto *group = new Group(1 + i % 3, 0x300000 + quint64(i), anyText());
        group->addChildren(members);
        group->setChaseOrder(random.bounded(-5, 50));
        map.addGroup(group);
    }
    map.addGroup(new Group(Group::Synchronized, 0x3FFFFF, QStringLiteral("VTP Selection Group")));
}

// A saved map made into what other writers and hand edits produce: fields twice with other
// values (an interface with two types among them), long tag names, records twice.
QByteArray roughenedFile(const QByteArray &saved, quint32 seed)
{
    QRandomGenerator random(seed);
    QDomDocument document;
    document.setContent(saved);
    const QHash<QString, QString> longNames{{QStringLiteral("t"), QStringLiteral("type")},
                                            {QStringLiteral("n"), QStringLiteral("name")},
                                            {QStringLiteral("s"), QStringLiteral("self")},
                                            {QStringLiteral("ch"), QStringLiteral("channel")},
                                            {QStringLiteral("ln"), QStringLiteral("lightnumber")},
                                            {QStringLiteral("ip"), QStringLiteral("ipaddress")}};
    const QHash<QString, QString> recordLongNames{
        {QStringLiteral("c"), QStringLiteral("DataSupply")},
        {QStringLiteral("l"), QStringLiteral("light")},
        {QStringLiteral("g"), QStringLiteral("group")}};
    const QStringList values{QStringLiteral("2"),   QStringLiteral("3"), QStringLiteral("5"),
                             QStringLiteral("6"),   QStringLiteral("7"), QStringLiteral("0"),
                             QStringLiteral("x"),   QString(),           QStringLiteral("1F"),
                             QStringLiteral("-4.5")};
    QDomElement root = document.documentElement();
    QList<QDomElement> records;
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        records.append(e);
    for (QDomElement record : std::as_const(records)) {
        QList<QDomElement> fields;
        for (QDomElement e = record.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            fields.append(e);
        if (fields.isEmpty())
            continue;
        // An interface with a second type before or after its own.
        if (record.tagName() == QLatin1String("c") && random.bounded(2) == 0) {
            QDomElement type = document.createElement(QStringLiteral("t"));
            type.appendChild(document.createTextNode(values.at(random.bounded(7))));
            random.bounded(2) ? record.insertBefore(type, QDomNode())
                              : record.insertAfter(type, QDomNode());
        }
        for (int i = random.bounded(3); i > 0; --i) {
            QDomElement copy =
                fields.at(random.bounded(int(fields.size()))).cloneNode().toElement();
            if (!copy.firstChild().isElement() && random.bounded(2)) {
                while (copy.hasChildNodes())
                    copy.removeChild(copy.firstChild());
                copy.appendChild(
                    document.createTextNode(values.at(random.bounded(int(values.size())))));
            }
            record.insertAfter(copy, fields.at(random.bounded(int(fields.size()))));
        }
        for (const QDomElement &field : std::as_const(fields)) {
            QDomElement renamed = field;
            if (longNames.contains(field.tagName()) && random.bounded(3) == 0)
                renamed.setTagName(longNames.value(field.tagName()));
        }
        if (random.bounded(3) == 0)
            record.setTagName(recordLongNames.value(record.tagName(), record.tagName()));
        if (random.bounded(10) == 0)
            root.insertAfter(record.cloneNode(), records.at(random.bounded(int(records.size()))));
    }
    return document.toByteArray(random.bounded(3) - 1);
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
    void savedBytesAreTheDocumentText_data();
    void savedBytesAreTheDocumentText();
    void saveCutShortKeepsTheOldFile();
    void savedBytesDoNotDependOnTheHashSeed();
    void acceptedFilesSaveAndReloadUnchanged_data();
    void acceptedFilesSaveAndReloadUnchanged();

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

void TestMapFile::savedBytesAreTheDocumentText_data()
{
    QTest::addColumn<int>("lights");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("empty") << -1 << 1u;
    QTest::newRow("few") << 0 << 2u;
    QTest::newRow("one") << 1 << 3u;
    QTest::newRow("some") << 60 << 4u;
    // More than one chunk of the writer.
    QTest::newRow("large") << 3000 << 5u;
}

void TestMapFile::savedBytesAreTheDocumentText()
{
    QFETCH(int, lights);
    QFETCH(quint32, seed);
    MapModel map;
    if (lights >= 0)
        generateMap(map, lights, seed);
    const QString path = m_dir.filePath(QStringLiteral("bytes.map"));
    QVERIFY(map.saveMap(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    const QByteArray expected = domText(map);
    if (saved != expected) {
        qsizetype at = 0;
        while (at < saved.size() && at < expected.size() && saved[at] == expected[at])
            ++at;
        QFAIL(qPrintable(QStringLiteral("differs at %1: %2 | %3")
                             .arg(at)
                             .arg(QString::fromUtf8(saved.mid(at - 40, 80)),
                                  QString::fromUtf8(expected.mid(at - 40, 80)))));
    }
}

// A file size limit met in the last of several chunks of a large map: the save fails and the
// file saved before stays whole.
void TestMapFile::saveCutShortKeepsTheOldFile()
{
    const QString path = m_dir.filePath(QStringLiteral("kept.map"));
    MapModel small;
    generateMap(small, 10, 7);
    QVERIFY(small.saveMap(path));
    const QByteArray before = domText(small);
    MapModel large;
    generateMap(large, 4000, 8);
    const qsizetype size = domText(large).size();
    QVERIFY(size > 2 * 1024 * 1024);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const rlimit limit{rlim_t(size - 100), previous.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool saved = large.saveMap(path);
    setrlimit(RLIMIT_FSIZE, &previous);
    QVERIFY(!saved);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

// Hash tables iterate in an order seeded per process: an unchanged map saved by two runs of
// the program must still give the same file.
void TestMapFile::savedBytesDoNotDependOnTheHashSeed()
{
    QByteArray first;
    for (int run = 0; run < 3; ++run) {
        if (run == 0)
            QHashSeed::setDeterministicGlobalSeed();
        else
            QHashSeed::resetRandomGlobalSeed();
        MapModel map;
        generateMap(map, 60, 9);
        for (quint64 uid = 0x5000; uid < 0x5010; ++uid)
            addInterface(map, 2, uid * 0x9E3779B1u, 1);
        const QByteArray text = map.mapText();
        if (run == 0)
            first = text;
        else
            QCOMPARE(text, first);
    }
}

void TestMapFile::acceptedFilesSaveAndReloadUnchanged_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("two types, second unknown")
        << QByteArray("<map><c><t>2</t><s>5</s><t>5</t></c></map>");
    QTest::newRow("two types, first unknown")
        << QByteArray("<map><c><type>5</type><s>5</s><t>3</t></c></map>");
    QTest::newRow("two known types") << QByteArray("<map><c><t>6</t><s>5</s><t>3</t></c></map>");
    QTest::newRow("type not a number")
        << QByteArray("<map><c><t>7</t><s>5</s><t>seven</t></c></map>");
    for (quint32 seed = 1; seed <= 40; ++seed) {
        MapModel map;
        generateMap(map, int(seed % 5) * 7, seed);
        QTest::addRow("generated %u", seed) << roughenedFile(domText(map), seed);
    }
}

// Whatever a load accepts, saving it and loading the saved file gives the same interfaces,
// lights and groups.
void TestMapFile::acceptedFilesSaveAndReloadUnchanged()
{
    QFETCH(QByteArray, file);
    MapModel loaded;
    QVERIFY(loaded.loadMap(writeFile(m_dir, QStringLiteral("rough.map"), file), MapLoadDefaults()));
    const QString path = m_dir.filePath(QStringLiteral("resaved.map"));
    QVERIFY(loaded.saveMap(path));
    MapModel reloaded;
    QVERIFY(reloaded.loadMap(path, MapLoadDefaults()));
    QCOMPARE(reloaded.dataSupplies().size(), loaded.dataSupplies().size());
    QCOMPARE(reloaded.lights().size(), loaded.lights().size());
    QCOMPARE(reloaded.groups().size(), loaded.groups().size());
    const QSet<QString> before = records(loaded);
    const QSet<QString> after = records(reloaded);
    QVERIFY2(before == after,
             qPrintable(QStringList((before - after).values()).join(QLatin1Char('\n')) +
                        QStringLiteral("\n---\n") +
                        QStringList((after - before).values()).join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
