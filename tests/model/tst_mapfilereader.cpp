// DM_TEST_SANITIZE
// The record-by-record map reader against a whole parsed document of the same file, and the
// refusal of files nesting too deep or carrying too many attributes.
#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QDomDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestMapFileReader : public QObject
{
    Q_OBJECT
private slots:
    void readsWhatTheDocumentHolds_data();
    void readsWhatTheDocumentHolds();
    void refusesHostileFiles_data();
    void refusesHostileFiles();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QByteArray savedText(MapModel &map);
    QByteArray generatedMap();
    QTemporaryDir m_dir;
};

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
    const QByteArray generated = generatedMap();
    QTest::newRow("generated map") << QByteArray() << generated;
    // Loaded over itself: every record meets an existing uid and the merge rules decide.
    QTest::newRow("merged into itself") << generated << generated;
    QByteArray odd = generated;
    odd.replace("<map>", "<map>\n <!-- note --> text &amp; more <![CDATA[ raw ]]><?pi x?>\n"
                         "<imagefile>  back<![CDATA[ ground ]]>.png </imagefile>"
                         "<postsync> 1 </postsync><unknown><l/></unknown>");
    odd.replace("</map>", "<l>stray<s>1869F</s><n>Solo &lt;1&gt; <![CDATA[x]]></n><x><!--c-->5</x>"
                          "<y>7<b/>8</y><q><n>9</n></q><ch> <![CDATA[12]]></ch></l>\n</map>");
    QTest::newRow("odd nodes") << QByteArray() << odd;
}

void TestMapFileReader::readsWhatTheDocumentHolds()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, file);
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
    for (Run *run : {&streamed, &parsed}) {
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

    QCOMPARE(savedText(streamed.map), savedText(parsed.map));
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
    QCOMPARE(lights.count(), 0);
    QCOMPARE(savedText(map), before);
}

QTEST_GUILESS_MAIN(TestMapFileReader)
#include "tst_mapfilereader.moc"
