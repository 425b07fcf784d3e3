// The record-by-record map reader against a whole parsed document of the same file, and the
// refusal of files nesting too deep or carrying too many attributes.
#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapfilereader.h"
#include "model/mapmodel.h"

#include <QDomDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

class TestMapFileReader : public QObject
{
    Q_OBJECT
private slots:
    void readsWhatTheDocumentHolds_data();
    void readsWhatTheDocumentHolds();
    void refusesHostileFiles_data();
    void refusesHostileFiles();
    void positionsReadExactly_data();
    void positionsReadExactly();
    void releasingRecordsDeletesWhatWasNotTaken();
    void membersAreBoundPerGroup_data();
    void membersAreBoundPerGroup();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QByteArray savedText(MapModel &map);
    QByteArray generatedMap();
    QTemporaryDir m_dir;
};

namespace {
// Each interface record's element as text, asked for twice: the second answer must be the first.
QStringList interfaceTexts(MapFileReader &reader)
{
    QStringList texts;
    for (MapFileReader::Record &record : reader.records()) {
        if (record.kind != MapFileReader::Record::DataSupply)
            continue;
        for (int i = 0; i < 2; ++i) {
            QString text;
            QTextStream out(&text);
            reader.interfaceElement(record).save(out, 0);
            out.flush();
            texts << text;
        }
    }
    return texts;
}
} // namespace

QString TestMapFileReader::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray TestMapFileReader::savedText(MapModel &map)
{
    const QString path = m_dir.filePath(QStringLiteral("saved.map"));
    if (!map.saveMap(path))
        return QByteArray();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Interfaces, lights with properties and positions, groups of lights and of groups.
QByteArray TestMapFileReader::generatedMap()
{
    MapModel map;
    QList<quint64> members;
    DataSupply *ds = nullptr;
    for (int i = 0; i < 60; ++i) {
        if (i % 20 == 0) {
            ds = map.createDataSupply(2);
            ds->setUid(map.nextUid());
            ds->setName(QStringLiteral("Interface %1").arg(i));
            ds->setPortCount(2);
            map.addDataSupply(ds);
        }
        auto *light = new Light;
        light->setUid(map.nextUid());
        light->setDataSupplyUid(ds->uid());
        light->setPort(quint8(i % 2));
        light->setDmxChannel(i * 3 % 500);
        light->setSerialNumber(quint64(0x10000000 + i));
        light->setName(QStringLiteral("Light <%1> & co").arg(i));
        light->setLedChemistry(quint32(i % 4));
        light->setProperty(QStringLiteral("Note"), QStringLiteral("n%1").arg(i));
        light->setPose(LightPose{i * 12.5, i * 3.0});
        map.addLight(light);
        ds->addLight(light->uid());
        members.append(light->uid());
    }
    auto *group = new Group(Group::Synchronized, map.nextUid(), QStringLiteral("Sync"));
    group->addChildren(members.mid(0, 10));
    map.addGroup(group);
    auto *chase = new Group(Group::Chasing, map.nextUid(), QStringLiteral("Chase"));
    chase->addChildren({group->uid(), members.at(20)});
    map.addGroup(chase);
    return savedText(map);
}

void TestMapFileReader::readsWhatTheDocumentHolds_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("plain");
    const QByteArray generated = generatedMap();
    QTest::newRow("generated map") << QByteArray() << generated << true;
    // Loaded over itself: every record meets an existing uid and the merge rules decide.
    QTest::newRow("merged into itself") << generated << generated << true;
    QByteArray unindented = generated;
    unindented.replace("\n", "").replace(" ", "");
    QTest::newRow("unindented") << QByteArray() << unindented << true;
    QTest::newRow("references") << QByteArray()
                                << QByteArray(
                                       "<map><l><s>A1</s><n>&amp;&lt;&gt;&apos;&quot; &#65;&#x42;"
                                       "&#x1F600;&#xd;&#9;&#032;</n><x>&#49;2.5</x></l>"
                                       "<g><s>B1</s><n>&#x20;</n><c>A1</c></g>"
                                       "<l><s>A2</s><n>\xC2\xA0&#x3000;</n><ch>\xE2\x80\xA8</ch>"
                                       "<additional_data><k>&#xA0;</k></additional_data></l>"
                                       "<c><t>2</t><s>C1</s><n>&#133;</n></c></map>")
                                << true;
    QTest::newRow("white space and empty fields")
        << QByteArray()
        << QByteArray("\n\t <map >\n<l\n><s>A1</s><n>  \n </n><x> 5 </x><y></y><z/>"
                      "<sn >7</sn\t></l><g><s> B1 </s><n>\t</n><t/><c>A1</c><c> </c></g>"
                      "<imagefile>  </imagefile><postsync/></map>\n")
        << true;
    QTest::newRow("long tags and unknown fields")
        << QByteArray()
        << QByteArray("<map><light><self>A1</self><name>long</name><channel>9</channel>"
                      "<wat><a><b>1</b>2</a></wat><lightnumber>3</lightnumber><l>x</l></light>"
                      "<group><type>1</type><self>B1</self><name>n</name><child>A1</child>"
                      "<g>x</g><zz><deep><deeper/></deep></zz><o>3</o></group>"
                      "<DataSupply><type>2</type><self>C1</self><pl><p><pn>2</pn></p></pl>"
                      "<properties><a>1</a></properties></DataSupply></map>")
        << true;
    QTest::newRow("text beside records")
        << QByteArray()
        << QByteArray("<map>lead<l>own text<s>A1</s>more</l>tail<imagefile>a<b>c</b>d"
                      "</imagefile><unknown>1<x/>2</unknown><g>g text<s>B1</s></g> end </map>")
        << true;
    QTest::newRow("empty records")
        << QByteArray() << QByteArray("<map><l/><g/><c/><imagefile/><l></l><version/></map>")
        << true;
    QTest::newRow("property lists")
        << QByteArray()
        << QByteArray("<map><l><s>A1</s><ch>4</ch><properties>text<LED_CHEMISTRY>2"
                      "</LED_CHEMISTRY><LED_CHEMISTRY>3</LED_CHEMISTRY><NO_SUCH_TOKEN>x"
                      "</NO_SUCH_TOKEN><DMX_OFFSET>3</DMX_OFFSET><e/></properties>"
                      "<additional_data><k>v</k><k>w</k><e/><m> </m></additional_data>"
                      "<properties><LED_CHEMISTRY>1</LED_CHEMISTRY></properties></l></map>")
        << true;
    QTest::newRow("empty map") << QByteArray() << QByteArray("<map/>") << true;
    // Forms the plain scanner leaves to the XML parser, which must read them the same way.
    QTest::newRow("carriage return")
        << QByteArray() << QByteArray("<map><l><s>1</s><n>a\r\nb\rc</n></l></map>") << false;
    QTest::newRow("blank texts beside a comment")
        << QByteArray()
        << QByteArray("<map><!-- c --><l><s>1</s><n>&#xA0;</n><x>\xE3\x80\x80</x></l>"
                      "<g><s>2</s><n>\xC2\xA0</n></g><c><t>2</t><s>3</s><n>&#32;</n></c></map>")
        << false;
    QTest::newRow("nested field") << QByteArray()
                                  << QByteArray("<map><l><s>1</s><n>a<b>c</b></n></l></map>")
                                  << false;
    QTest::newRow("nested group field")
        << QByteArray() << QByteArray("<map><g><s>1</s><n>a<b>c</b>d</n></g></map>") << false;
    QTest::newRow("nested property")
        << QByteArray()
        << QByteArray("<map><l><s>1</s><properties><a><b>1</b></a></properties></l></map>")
        << false;
    QTest::newRow("attribute") << QByteArray() << QByteArray("<map><l a='1'><s>1</s></l></map>")
                               << false;
    QTest::newRow("namespace prefixes")
        << QByteArray()
        << QByteArray("<map><i:x>1</i:x><l><s>1</s><i:n>z</i:n><n>a</n></l><q:y xmlns:q='u'/>"
                      "<c><t>2</t><s>3</s><i:n>x</i:n></c><g><s>4</s><i:c>1</i:c></g></map>")
        << false;
    QTest::newRow("byte order mark")
        << QByteArray() << QByteArray("\xEF\xBB\xBF<map><l><s>1</s></l></map>") << false;
    QTest::newRow("reference to white space only")
        << QByteArray() << QByteArray("<map><l><s>1</s><n>]&#93;></n></l></map>") << false;
    QByteArray odd = generated;
    odd.replace("<map>", "<map>\n <!-- note --> text &amp; more <![CDATA[ raw ]]><?pi x?>\n"
                         "<imagefile>  back<![CDATA[ ground ]]>.png </imagefile>"
                         "<postsync> 1 </postsync><unknown><l/></unknown>");
    odd.replace("</map>", "<l>stray<s>1869F</s><n>Solo &lt;1&gt; <![CDATA[x]]></n><x><!--c-->5</x>"
                          "<y>7<b/>8</y><q><n>9</n></q><ch> <![CDATA[12]]></ch></l>\n</map>");
    QTest::newRow("odd nodes") << QByteArray() << odd << false;
}

void TestMapFileReader::readsWhatTheDocumentHolds()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, file);
    QFETCH(bool, plain);
    MapFileReader reader;
    QVERIFY(reader.read(file));
    QCOMPARE(reader.usedXmlParser(), !plain);
    // The plain scanner keeps interface records as text until asked; the elements it makes
    // then are the parser's.
    MapFileReader parser;
    QVERIFY(parser.read(file, MapFileReader::Path::XmlParserOnly));
    QCOMPARE(interfaceTexts(reader), interfaceTexts(parser));
    struct Run
    {
        MapModel map;
        QStringList messages;
        QList<int> progress;
        QList<quint64> newLights;
        QList<quint64> newGroups;
    };
    Run streamed;
    Run parsed;
    Run parserOnly;
    for (Run *run : {&streamed, &parsed, &parserOnly}) {
        if (!base.isEmpty()) {
            QDomDocument document;
            QVERIFY(document.setContent(base));
            QVERIFY(run->map.loadMapElement(document.documentElement(), MapLoadDefaults()));
        }
        connect(&run->map, &MapModel::msg, this, [run](const QString &m) {
            if (!m.startsWith(QLatin1String("Opening")) && !m.startsWith(QLatin1String("Doc")))
                run->messages << m;
        });
        connect(&run->map, &MapModel::progressUpdated, this, [run](int v) { run->progress << v; });
        connect(&run->map, &MapModel::newLight, this, [run](quint64 u) { run->newLights << u; });
        connect(&run->map, &MapModel::newGroup, this, [run](quint64 u) { run->newGroups << u; });
    }
    QVERIFY(streamed.map.loadMap(write(QStringLiteral("in.map"), file), MapLoadDefaults()));
    QDomDocument document;
    QVERIFY(document.setContent(file));
    QVERIFY(parsed.map.loadMapElement(document.documentElement(), MapLoadDefaults()));
    QVERIFY(parserOnly.map.loadMapData(file, MapLoadDefaults(), true));

    QCOMPARE(parserOnly.progress, streamed.progress);
    QCOMPARE(parserOnly.messages, streamed.messages);
    QCOMPARE(parserOnly.newLights, streamed.newLights);
    QCOMPARE(parserOnly.map.mapExtent(), streamed.map.mapExtent());
    const QByteArray text = savedText(streamed.map);
    QCOMPARE(text, savedText(parsed.map));
    QCOMPARE(parserOnly.map.mapText(), text);
    QCOMPARE(streamed.messages, parsed.messages);
    QCOMPARE(streamed.progress, parsed.progress);
    QCOMPARE(streamed.newLights, parsed.newLights);
    QCOMPARE(streamed.newGroups, parsed.newGroups);
    QCOMPARE(streamed.map.mapExtent(), parsed.map.mapExtent());
    QCOMPARE(streamed.map.imageFile(), parsed.map.imageFile());
    QCOMPARE(streamed.map.isPostSync(), parsed.map.isPostSync());
}

void TestMapFileReader::refusesHostileFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    const int n = 100000;
    QTest::newRow("nested") << "<map>" + QByteArray("<a>").repeated(n) +
                                   QByteArray("</a>").repeated(n) + "</map>"
                            << "Map file refused: Elements nest deeper than 32 levels.";
    QTest::newRow("unclosed") << "<map>" + QByteArray("<a>").repeated(n)
                              << "Map file refused: Elements nest deeper than 32 levels.";
    QByteArray attributes = "<map><l";
    for (int i = 0; i < n; ++i)
        attributes += " a" + QByteArray::number(i) + "='>'";
    QTest::newRow("attributes") << attributes + "/></map>"
                                << "Map file refused: An element carries more than 8 attributes.";
    QTest::newRow("broken") << QByteArray("<map><l><u>5</u></map>")
                            << "Error in line: 1, column: 22";
    QTest::newRow("two roots") << QByteArray("<map/><map/>") << "Error in line: 1, column: 12";
    // Errors the plain scanner hands to the XML parser, deep in an otherwise plain file.
    QTest::newRow("bad reference")
        << QByteArray("<map><l><s>1</s>\n<n>&#1;</n></l></map>") << "Error in line: 2, column: 7";
    QTest::newRow("unknown entity")
        << QByteArray("<map><l><s>1</s><n>&nbsp;</n></l></map>") << "Error in line: 1, column: 25";
    QTest::newRow("bad encoding") << QByteArray("<map><l><s>1</s><n>\xC3\x28</n></l></map>")
                                  << "Error in line: 1, column: 2";
    QTest::newRow("end of section")
        << QByteArray("<map><l><s>1</s><n>a]]>b</n></l></map>") << "Error in line: 1, column: 23";
    QTest::newRow("mismatched end")
        << QByteArray("<map><l><s>1</n></l></map>") << "Error in line: 1, column: 16";
    QTest::newRow("unclosed") << QByteArray("<map><l><s>1</s></l>")
                              << "Error in line: 1, column: 20";
    // The XML parser cuts such names short or mistakes them for a mismatch.
    const QByteArray longName(MapFileReader::MaxNameLength + 1, 'a');
    const QString tooLong =
        QStringLiteral("Map file refused: A name is longer than 4096 characters.");
    QTest::newRow("long record name") << "<map><" + longName + "/></map>" << tooLong;
    QTest::newRow("long additional data key")
        << "<map><l><s>1</s><additional_data><k" + longName + ">v</k" + longName +
               "></additional_data></l></map>"
        << tooLong;
    QTest::newRow("long property token") << "<map><l><s>1</s><properties><P" + longName + ">1</P" +
                                                longName + "></properties></l></map>"
                                         << tooLong;
    QTest::newRow("long end tag") << "<map><a></a" + longName + "></map>" << tooLong;
    QTest::newRow("long reference") << "<map><n>&" + longName + ";</n></map>" << tooLong;
    QTest::newRow("too many lights")
        << "<map>" + QByteArray("<l/>").repeated(MapFileReader::MaxLights + 1) + "</map>"
        << "Map file refused: The map holds more than 1000000 lights.";
    QTest::newRow("too many groups")
        << "<map>" + QByteArray("<g/>").repeated(MapFileReader::MaxGroups + 1) + "</map>"
        << "Map file refused: The map holds more than 2000000 groups.";
    QTest::newRow("too many members")
        << "<map><g><s>1</s>" + QByteArray("<c>x</c>").repeated(MapFileReader::MaxGroupMembers) +
               "<child/></g></map>"
        << "Map file refused: A group holds more than 1000000 members.";
}

void TestMapFileReader::refusesHostileFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    MapModel map;
    QDomDocument document;
    QVERIFY(document.setContent(generatedMap()));
    QVERIFY(map.loadMapElement(document.documentElement(), MapLoadDefaults()));
    const QByteArray before = savedText(map);
    QSignalSpy messages(&map, &MapModel::msg);
    QSignalSpy lights(&map, &MapModel::newLight);

    QVERIFY(!map.loadMap(write(QStringLiteral("hostile.map"), file), MapLoadDefaults()));
    QStringList texts;
    for (const QList<QVariant> &args : std::as_const(messages))
        texts << args.at(0).toString();
    QVERIFY2(texts.contains(message), qPrintable(texts.join(QLatin1Char('|'))));
    // The XML parser alone refuses it with the same words, at the same place.
    messages.clear();
    QVERIFY(!map.loadMapData(file, MapLoadDefaults(), true));
    QStringList parserTexts;
    for (const QList<QVariant> &args : std::as_const(messages))
        parserTexts << args.at(0).toString();
    QCOMPARE(parserTexts, texts.mid(1));
    QCOMPARE(lights.count(), 0);
    QCOMPARE(savedText(map), before);
}

// The map writer's decimals are read by a short path of their own; every text reads as the
// general conversion reads it, down to the last bit and the sign of zero.
void TestMapFileReader::positionsReadExactly_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : {"0.000000",
                             "-0.000000",
                             "12.500000",
                             "-1.000000",
                             "12.",
                             ".5",
                             "1e3",
                             " 5",
                             "5 ",
                             "+5",
                             "007.25",
                             "9007199254740992.0",
                             "9007199254740993.0",
                             "900719925474099.3",
                             "0.30000000000000004",
                             "1.00000000001",
                             "123456789012.000001",
                             "999999999.9999999",
                             "1000000001.000000",
                             "-",
                             "",
                             "1.2.3",
                             "nan",
                             "inf",
                             "0x10",
                             "1,5"})
        QTest::newRow(text) << QString::fromLatin1(text);
    QRandomGenerator random(11);
    for (int i = 0; i < 300; ++i) {
        const double value =
            (random.generateDouble() - 0.5) * std::pow(10.0, random.bounded(-8, 13));
        const QString text = QString::number(value, 'f', random.bounded(0, 13)).toUpper();
        QTest::addRow("%d: %s", i, qPrintable(text)) << text;
    }
}

void TestMapFileReader::positionsReadExactly()
{
    QFETCH(QString, text);
    Light light;
    light.readXmlField(Light::TagX, QDomElement(), text);
    bool ok = false;
    double expected = text.toDouble(&ok);
    expected = ok && !std::isnan(expected) ? std::clamp(expected, -1.0e9, 1.0e9) : 0.0;
    const double read = light.pose().x;
    QCOMPARE(std::memcmp(&read, &expected, sizeof read), 0);
}

// Opening a map frees the records before the views build their rows; what the map did not take
// goes with them, what it took stays its own.
void TestMapFileReader::releasingRecordsDeletesWhatWasNotTaken()
{
    MapFileReader reader;
    QVERIFY(reader.read("<map><l><s>1</s><n>Kept</n></l><l><s>2</s></l><g><s>3</s></g>"
                        "<c><t>2</t><s>4</s></c></map>"));
    QCOMPARE(reader.records().size(), size_t(4));
    const std::unique_ptr<Light> taken(std::exchange(reader.records()[0].light, nullptr));
    const QPointer<Light> left = reader.records()[1].light;
    const QPointer<Group> group = reader.records()[2].group;
    QVERIFY(left && group);
    reader.releaseRecords();
    QVERIFY(reader.records().empty());
    QVERIFY(left.isNull());
    QVERIFY(group.isNull());
    QCOMPARE(taken->name(), QString("Kept"));
}

// The member bound is one group's: two groups just over half of it each load, by both readers.
void TestMapFileReader::membersAreBoundPerGroup_data()
{
    QTest::addColumn<bool>("parserOnly");
    QTest::newRow("plain scanner") << false;
    QTest::newRow("XML parser") << true;
}

void TestMapFileReader::membersAreBoundPerGroup()
{
    QFETCH(bool, parserOnly);
    const auto path =
        parserOnly ? MapFileReader::Path::XmlParserOnly : MapFileReader::Path::PlainFirst;
    const int members = MapFileReader::MaxGroupMembers * 3 / 5;
    const QByteArray children = QByteArray("<c>1</c>").repeated(members);
    MapFileReader reader;
    QVERIFY2(reader.read(
                 "<map><g><s>2</s>" + children + "</g><g><s>3</s>" + children + "</g></map>", path),
             qPrintable(reader.errorString()));
    QCOMPARE(reader.records().size(), size_t(2));
    for (const MapFileReader::Record &record : reader.records())
        QCOMPARE(record.group->children().size(), members);
}

QTEST_GUILESS_MAIN(TestMapFileReader)
#include "tst_mapfilereader.moc"
