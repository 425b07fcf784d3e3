// Groups: steps of nested chasing and synchronized groups, walks that meet cycles, the
// element "g", deletions in the map that leave no member pointing at what is gone, and the
// selection effect that highlights a group step by step.

#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// Adds a group named "Group" of the given type and members under a fresh uid.
quint64 addGroup(MapModel &map, int type, const QList<quint64> &members)
{
    auto *group = new Group(type, map.nextUid(), QStringLiteral("Group"));
    group->addChildren(members);
    map.addGroup(group);
    return group->uid();
}

quint64 addLight(MapModel &map, DataSupply *dataSupply = nullptr, int channel = 0)
{
    auto *light = new Light();
    light->setUid(map.nextUid());
    light->setDmxChannel(channel);
    if (dataSupply) {
        light->setDataSupplyUid(dataSupply->uid());
        dataSupply->addLight(light->uid());
    }
    map.addLight(light);
    return light->uid();
}

DataSupply *addInterface(MapModel &map)
{
    DataSupply *dataSupply = map.createDataSupply(2);
    dataSupply->setUid(map.nextUid());
    dataSupply->setIpAddressText(QStringLiteral("127.0.0.2"));
    map.addDataSupply(dataSupply);
    return dataSupply;
}

// The effect wired to the map as the main window wires it.
struct Rig
{
    explicit Rig(MapModel &map) : effect(&map, 4294967295u)
    {
        effect.followMap();
        effect.reset();
        effect.enabled = true;
    }

    void frame() { effect.tick(QDateTime::currentDateTime(), frames++); }

    SelectionEffect effect;
    quint32 frames = 0;
};

QList<quint64> selectedOf(SelectionEffect &effect, const QList<quint64> &uids)
{
    QList<quint64> selected;
    for (quint64 uid : uids) {
        if (effect.isLightSelected(uid))
            selected << uid;
    }
    return selected;
}

QVector<quint64> step(const GroupLightMatrix &matrix, int index)
{
    return matrix.stepLightUids.value(index);
}

DataSupply *addInterfaceWithLights(MapModel &map, quint64 uid, const QList<quint64> &lights)
{
    auto *ds = new DataSupply(2);
    ds->setUid(uid);
    map.addDataSupply(ds);
    for (quint64 lightUid : lights) {
        auto *light = new Light;
        light->setUid(lightUid);
        light->setDataSupplyUid(uid);
        map.addLight(light);
        ds->addLight(lightUid);
    }
    return ds;
}

} // namespace

class TestGroup : public QObject
{
    Q_OBJECT

private slots:
    void chasingOfChasingGroupsHasStepsInMemberOrder();
    void chasingStepGroupCompiledAsSynchronized();
    void emptyChasingMemberAddsNoStep();
    void selfContainingGroupTerminates();
    void xmlRoundTrip();
    void deleteLightUnderSynchronizedGroup();
    void deleteDataSupply();
    void highlightStepsThroughChase();
    void frameContentThroughTheEngine();
    void changesReachTheHoldingMap_data();
    void changesReachTheHoldingMap();
    void ownGroupFollowsItsLightsName();
};

void TestGroup::chasingOfChasingGroupsHasStepsInMemberOrder()
{
    MapModel map;
    QList<quint64> lights;
    for (int i = 0; i < 5; ++i)
        lights << addLight(map);
    const quint64 three = addGroup(map, Group::Chasing, {lights[0], lights[1], lights[2]});
    const quint64 two = addGroup(map, Group::Chasing, {lights[3], lights[4]});
    const quint64 outer = addGroup(map, Group::Chasing, {three, two});

    Group *group = map.group(outer);
    QCOMPARE(group->stepCount(), 5);
    const GroupLightMatrix matrix = group->lightMatrix();
    QCOMPARE(matrix.stepCount, 5);
    QCOMPARE(matrix.totalLightCount, 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(step(matrix, i), QVector<quint64>{lights[i]});
        QCOMPARE(matrix.stepLightCounts.at(i), 1);
    }
}

void TestGroup::chasingStepGroupCompiledAsSynchronized()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 c = addLight(map);
    const quint64 pair = addGroup(map, Group::Synchronized, {a, b});
    // A chasing group of one step stands for one step of its parent.
    const quint64 single = addGroup(map, Group::Chasing, {pair});
    const quint64 outer = addGroup(map, Group::Chasing, {single, c});
    const GroupLightMatrix matrix = map.group(outer)->lightMatrix();
    QCOMPARE(matrix.stepCount, 2);
    QCOMPARE(step(matrix, 0), (QVector<quint64>{a, b}));
    QCOMPARE(step(matrix, 1), QVector<quint64>{c});
    QCOMPARE(matrix.totalLightCount, 3);
    QCOMPARE(map.group(single)->type(), int(Group::Chasing));
}

// Stepping past the last step finds no lights, and never reads outside the steps.
void TestGroup::emptyChasingMemberAddsNoStep()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 empty = addGroup(map, Group::Chasing, {});
    Group *group = map.group(addGroup(map, Group::Chasing, {a, empty, b}));
    QCOMPARE(map.group(empty)->stepCount(), 0);
    QCOMPARE(group->stepCount(), 2);
    const GroupLightMatrix matrix = group->lightMatrix();
    QCOMPARE(matrix.stepCount, 2);
    QCOMPARE(step(matrix, 1), QVector<quint64>{b});
    QCOMPARE(group->stepLights(1).size(), 1);
    QVERIFY(group->stepLights(2).isEmpty());
    QVERIFY(group->stepLights(-1).isEmpty());
}

void TestGroup::selfContainingGroupTerminates()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 chase = map.nextUid();
    auto *group = new Group(Group::Chasing, chase, QStringLiteral("self"));
    group->addChildren({a, chase});
    map.addGroup(group);
    QCOMPARE(group->stepCount(), 1);
    QCOMPARE(group->orderedLightUids(), QList<quint64>{a});
    const GroupLightMatrix matrix = group->lightMatrix();
    QCOMPARE(matrix.stepCount, 1);
    QCOMPARE(step(matrix, 0), QVector<quint64>{a});

    group->setType(Group::Synchronized);
    group->compile();
    QCOMPARE(group->lightMatrix().totalLightCount, 1);
}

void TestGroup::xmlRoundTrip()
{
    Group group(Group::Chasing, 0x1234ABCDEFull, QStringLiteral("Front <&> row"));
    group.setChaseOrder(17);
    group.addChildren({0xA, 0xFFFFFFFFFFFFFFFFull, 0xA});
    QDomDocument document;
    QDomElement element = document.createElement(QStringLiteral("g"));
    group.toXml(&element, &document);
    document.appendChild(element);

    QStringList tags;
    for (QDomElement e = element.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        tags << e.tagName() + QLatin1Char('=') + e.text();
    QCOMPARE(tags, (QStringList{"t=1", "s=1234ABCDEF", "n=Front <&> row", "o=17", "c=A",
                                "c=FFFFFFFFFFFFFFFF", "c=A"}));

    QDomDocument reread;
    QVERIFY(reread.setContent(document.toString()));
    QDomElement root = reread.documentElement();
    Group copy(&root);
    QCOMPARE(copy.type(), int(Group::Chasing));
    QCOMPARE(copy.uid(), quint64(0x1234ABCDEFull));
    QCOMPARE(copy.name(), group.name());
    QCOMPARE(copy.chaseOrder(), 17);
    QCOMPARE(copy.children(), group.children());
}

void TestGroup::deleteLightUnderSynchronizedGroup()
{
    MapModel map;
    DataSupply *ds = addInterfaceWithLights(map, 1, {0x10});
    auto *sync = new Group(Group::Synchronized, 0x20, QStringLiteral("S"));
    sync->addChild(0x10);
    map.addGroup(sync);

    QSignalSpy deletedLights(&map, &MapModel::deletedLight);
    QSignalSpy deletedGroups(&map, &MapModel::deletedGroup);
    map.deleteLight(0x10);
    QCOMPARE(deletedLights.count(), 1);
    QCOMPARE(deletedGroups.takeFirst().at(0).toULongLong(), quint64(0x10)); // its own group
    QVERIFY(ds->lights().isEmpty());
    QVERIFY(!map.light(0x10) && !map.group(0x10));
    QCOMPARE(map.changedGroups(), QSet<Group *>{sync});
    QVERIFY(sync->children().isEmpty());
    map.flushChangedGroups();
    QVERIFY(map.changedGroups().isEmpty());
    QCOMPARE(sync->lightMatrix().totalLightCount, 0);
}

void TestGroup::deleteDataSupply()
{
    MapModel map;
    addInterfaceWithLights(map, 1, {2});
    map.deleteDataSupply(1, false); // keeping its lights
    QVERIFY(!map.dataSupply(1));
    QCOMPARE(map.light(2)->dataSupplyUid(), quint64(1));

    addInterfaceWithLights(map, 4, {10, 11, 12});
    auto *sync = new Group(Group::Synchronized, 0x50, QStringLiteral("S"));
    sync->addChildren({10, 12, 10});
    auto *chase = new Group(Group::Chasing, 0x51, QStringLiteral("C"));
    chase->addChildren({0x50, 11});
    map.addGroup(sync);
    map.addGroup(chase);
    QSignalSpy progress(&map, &MapModel::progressStarted);
    map.deleteDataSupply(4, true);
    QCOMPARE(progress.first().at(1).toInt(), 3);
    // Every group that listed a light loses it, however often it listed it.
    QVERIFY(sync->children().isEmpty());
    QCOMPARE(chase->children(), QList<quint64>{0x50});
    QVERIFY(map.changedGroups().isEmpty());
    QCOMPARE(sync->lightMatrix().totalLightCount, 0);
    QCOMPARE(map.lights().size(), 1);
    QVERIFY(!map.light(10) && !map.group(10));
    QCOMPARE(map.groups().size(), 3); // light 2's own group and the two above
}

void TestGroup::highlightStepsThroughChase()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    const QList<quint64> lights{addLight(map), addLight(map), addLight(map)};
    Rig rig(map);
    const quint64 chase = addGroup(map, Group::Chasing, lights);
    rig.effect.setLightSelected(lights[0], true);
    rig.effect.highlightGroup(chase);
    QVERIFY(rig.effect.isHighlighting());
    const int expected[] = {1, 2, 0, 1, 2, 0};
    for (int step : expected) {
        rig.frame();
        QCOMPARE(rig.effect.highlightStep(), step);
        QCOMPARE(selectedOf(rig.effect, lights), QList<quint64>{lights[step]});
        for (quint64 uid : lights) {
            const VeyColor want = uid == lights[step] ? VeyColor(Qt::red) : VeyColor(Qt::black);
            QVERIFY(map.light(uid)->currentColor() == want);
            map.light(uid)->endFrame();
        }
    }

    // An unknown group leaves the running highlight running; a selection slot ends it.
    rig.effect.highlightGroup(0x999999);
    QVERIFY(rig.effect.isHighlighting());
    rig.effect.setLightSelected(0x999999, false);
    QVERIFY(!rig.effect.isHighlighting());
    rig.frame();
    QCOMPARE(selectedOf(rig.effect, lights), QList<quint64>{lights[0]});
}

// One whole frame through the engine: the bytes of a version-1 interface with a selected
// light between two unselected ones, at the start, middle and end of the universe.
void TestGroup::frameContentThroughTheEngine()
{
    MapModel map;
    DataSupply *dataSupply = addInterface(map);
    const quint64 first = addLight(map, dataSupply, 0);
    const quint64 middle = addLight(map, dataSupply, 255);
    const quint64 last = addLight(map, dataSupply, 509);
    Rig rig(map);
    rig.effect.setLightSelected(middle, true);
    rig.effect.setLightSelected(last, true);
    EffectEngine engine(&map, {&rig.effect}, 100);
    QSignalSpy frames(&map, &MapModel::signalSendDmxFrame);

    for (int round = 0; round < 2; ++round) {
        engine.tick(QDateTime::currentDateTime(), 100 * (round + 1));
        QCOMPARE(frames.count(), round + 1);
        const QList<QVariant> args = frames.last();
        QCOMPARE(args.at(0).toString(), QStringLiteral("127.0.0.2"));
        const QByteArray bytes = args.at(3).toByteArray();
        QCOMPARE(bytes.size(), 512);
        QByteArray expected(512, '\0');
        expected[255] = char(0xFF);
        expected[509] = char(0xFF);
        QCOMPARE(bytes, expected);
    }

    rig.effect.setLightSelected(first, true);
    rig.effect.setLightSelected(last, false);
    engine.tick(QDateTime::currentDateTime(), 300);
    QByteArray expected(512, '\0');
    expected[0] = char(0xFF);
    expected[255] = char(0xFF);
    QCOMPARE(frames.last().at(3).toByteArray(), expected);
}

QTEST_GUILESS_MAIN(TestGroup)
// What a group announces reaches the map that holds it, once, and no other map.
void TestGroup::changesReachTheHoldingMap_data()
{
    QTest::addColumn<int>("change");
    QTest::addRow("add a member") << 0;
    QTest::addRow("add members") << 1;
    QTest::addRow("remove a member") << 2;
    QTest::addRow("rename") << 3;
    QTest::addRow("retype") << 4;
    QTest::addRow("reorder") << 5;
}

void TestGroup::changesReachTheHoldingMap()
{
    QFETCH(int, change);
    MapModel first;
    MapModel second;
    const quint64 light = addLight(first);
    Group *group = first.group(addGroup(first, Group::Chasing, {light}));
    auto apply = [&] {
        const QList<std::function<void()>> changes = {
            [&] { group->addChild(light); },
            [&] {
                group->addChildren({light, light});
            },
            [&] { group->removeChild(light); },
            [&] { group->setName(QStringLiteral("Renamed")); },
            [&] { group->setType(Group::Synchronized); },
            [&] { group->setChaseOrder(5); },
        };
        changes.at(change)();
    };
    QSignalSpy firstSpy(&first, &MapModel::updatedGroup);
    QSignalSpy secondSpy(&second, &MapModel::updatedGroup);
    QSignalSpy ownSpy(group, &Group::updatedGroup);
    apply();
    QCOMPARE(firstSpy.size(), 1);
    QCOMPARE(firstSpy.at(0).at(0).toULongLong(), group->uid());
    QCOMPARE(ownSpy.size(), 1);

    group->setModel(&second); // moved: only the new map hears of it
    group->addChild(light);
    apply();
    QCOMPARE(firstSpy.size(), 1);
    QCOMPARE(secondSpy.size(), 2);
    group->setModel(nullptr);
    group->addChild(light);
    apply();
    QCOMPARE(secondSpy.size(), 2);
    QCOMPARE(ownSpy.size(), 5);
    group->setModel(&first); // the first map still owns and deletes it
}

// A light's own group takes the light's new name; no other group does, and one announcement
// reaches the map per rename. A map read back keeps the own group's name.
void TestGroup::ownGroupFollowsItsLightsName()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 chase = addGroup(map, Group::Chasing, {a, b});
    QSignalSpy updated(&map, &MapModel::updatedGroup);
    map.light(a)->setName(QStringLiteral("Renamed A"));
    QCOMPARE(map.group(a)->name(), QStringLiteral("Renamed A"));
    QCOMPARE(map.group(b)->name(), map.light(b)->name());
    QCOMPARE(map.group(chase)->name(), QStringLiteral("Group"));
    QCOMPARE(updated.size(), 1);
    QCOMPARE(updated.at(0).at(0).toULongLong(), a);
    QCOMPARE(map.group(a)->lightMatrix().stepLightUids, QVector<QVector<quint64>>{{a}});

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("own.map"));
    QVERIFY(map.saveMap(path));
    MapModel loaded;
    QVERIFY(loaded.loadMap(path, MapLoadDefaults()));
    QCOMPARE(loaded.group(a)->type(), int(Group::OwnLight));
    QCOMPARE(loaded.group(a)->name(), QStringLiteral("Renamed A"));
    QCOMPARE(loaded.group(a)->children(), QList<quint64>{a});
    QCOMPARE(loaded.group(b)->name(), map.light(b)->name());
    // An own group whose file name differs from its light's keeps the file's.
    map.group(b)->setName(QStringLiteral("Own name"));
    QVERIFY(map.saveMap(path));
    MapModel again;
    QVERIFY(again.loadMap(path, MapLoadDefaults()));
    QCOMPARE(again.group(b)->name(), QStringLiteral("Own name"));
    QSignalSpy loadedUpdates(&loaded, &MapModel::updatedGroup);
    loaded.light(a)->setName(QStringLiteral("Again"));
    QCOMPARE(loaded.group(a)->name(), QStringLiteral("Again"));
    QCOMPARE(loadedUpdates.size(), 1);
}

#include "tst_group.moc"
