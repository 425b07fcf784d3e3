// The map model: uid issue, add and delete with their side effects and signal order, clearing,
// progress, relays and the bounding rectangle.
// DM_TEST_SANITIZE

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <limits>

namespace {

// Writes every model signal as one line of text, in the order they arrive.
class SignalLog : public QObject
{
public:
    explicit SignalLog(MapModel *map)
    {
        auto add = [this](const QString &line) { lines.append(line); };
        auto hex = [](quint64 v) { return QString::number(v, 16); };
        connect(map, &MapModel::msg, this, [add](const QString &s) { add("msg " + s); });
        connect(map, &MapModel::newDataSupply, this,
                [add, hex](quint64 u) { add("newDataSupply " + hex(u)); });
        connect(map, &MapModel::newGroup, this,
                [add, hex](quint64 u) { add("newGroup " + hex(u)); });
        connect(map, &MapModel::newLight, this,
                [add, hex](quint64 u) { add("newLight " + hex(u)); });
        connect(map, &MapModel::newImageFile, this, [add] { add("newImageFile"); });
        connect(map, &MapModel::updatedGroup, this,
                [add, hex](quint64 u) { add("updatedGroup " + hex(u)); });
        connect(map, &MapModel::updatedLightProperty, this,
                [add, hex](quint64 u, const QString &n, const QString &v) {
                    add("updatedLightProperty " + hex(u) + " " + n + " " + v);
                });
        connect(map, &MapModel::deletedGroup, this,
                [add, hex](quint64 u) { add("deletedGroup " + hex(u)); });
        connect(map, &MapModel::deletedLight, this,
                [add, hex](quint64 u) { add("deletedLight " + hex(u)); });
        connect(map, &MapModel::clearedMap, this, [add] { add("clearedMap"); });
        connect(map, &MapModel::progressStarted, this, [add](int a, int b, const QString &t) {
            add(QStringLiteral("progressStarted %1 %2 %3").arg(a).arg(b).arg(t));
        });
        connect(map, &MapModel::progressUpdated, this,
                [add](int v) { add(QStringLiteral("progressUpdated %1").arg(v)); });
    }

    QStringList take()
    {
        QStringList result = lines;
        lines.clear();
        return result;
    }

    QStringList lines;
};

Light *makeLight(quint64 uid, const QString &name = QStringLiteral("L"), quint64 dataSupply = 0)
{
    auto *light = new Light;
    light->setUid(uid);
    light->setName(name);
    light->setDataSupplyUid(dataSupply);
    return light;
}

Light *lightAt(quint64 uid, double x, double y)
{
    Light *light = makeLight(uid);
    LightPose pose;
    pose.x = x;
    pose.y = y;
    light->setPose(pose);
    return light;
}

} // namespace

class TestMapModel : public QObject
{
    Q_OBJECT

private slots:
    void uidIssue();
    void addLightMakesOwnGroupInOrder();
    void addLightWithTakenUid();
    void addAndLoadRefuseDuplicates();
    void deleteUnknownLight();
    void deleteLightUnderSynchronizedGroup();
    void deletionsUnderNestedGroups();
    void deletionsSeeMembersAddedBetweenThem();
    void deleteChangedGroupThenFlush();
    void deleteDataSupply();
    void clearMapEmpty();
    void clearMapProgress();
    void boundingRect();
    void relays();
    void createDataSupplyTypes();
};

void TestMapModel::uidIssue()
{
    MapModel map;
    const quint64 first = map.nextUid();
    QVERIFY(first >= 1 && first <= 32768);
    const quint64 second = map.nextUid();
    QVERIFY(second > first);
    // A value in use only as a group uid is skipped.
    map.loadGroup(new Group(Group::Synchronized, second + 1, QStringLiteral("g")));
    map.loadLight(makeLight(second + 2));
    map.loadDataSupply([&] {
        auto *ds = new DataSupply(2);
        ds->setUid(second + 3);
        return ds;
    }());
    QCOMPARE(map.nextUid(), second + 4);
    // Another model shares the counter: uids never go back within a run.
    MapModel other;
    QVERIFY(other.nextUid() > second + 4);
}

void TestMapModel::addLightMakesOwnGroupInOrder()
{
    MapModel map;
    SignalLog log(&map);
    Light *light = makeLight(0x42, QStringLiteral("Lamp"));
    light->setDmxChannel(9);
    QVERIFY(map.addLight(light));
    const QStringList lines =
        log.take().filter(QRegularExpression("^(updatedLightProperty|newGroup|newLight)"));
    QCOMPARE(lines, (QStringList{QStringLiteral("updatedLightProperty 42 DMX Address 10"),
                                 QStringLiteral("newGroup 42"), QStringLiteral("newLight 42")}));
    Group *own = map.group(0x42);
    QVERIFY(own);
    QCOMPARE(own->type(), int(Group::OwnLight));
    QCOMPARE(own->name(), QStringLiteral("Lamp"));
    QCOMPARE(own->children(), QList<quint64>{0x42});
    QCOMPARE(map.light(0x42), light);
    QVERIFY(!map.isEmpty());
}

void TestMapModel::addLightWithTakenUid()
{
    MapModel map;
    map.addLight(makeLight(7));
    SignalLog log(&map);
    Light *twin = makeLight(7);
    twin->setDmxChannel(4);
    QVERIFY(!map.addLight(twin));
    QCOMPARE(log.take(), (QStringList{QStringLiteral("msg loadLight: uid already exists"),
                                      QStringLiteral("updatedLightProperty 7 DMX Address 5")}));
    QVERIFY(map.light(7) != twin);
    delete twin; // a refused object stays the caller's
    QCOMPARE(map.groups().size(), 1);
}

void TestMapModel::addAndLoadRefuseDuplicates()
{
    MapModel map;
    QSignalSpy messages(&map, &MapModel::msg);
    QVERIFY(!map.loadDataSupply(nullptr));
    QVERIFY(!map.loadGroup(nullptr));
    QVERIFY(!map.loadLight(nullptr));
    QCOMPARE(messages.count(), 0);

    auto *ds = new DataSupply(2);
    ds->setUid(5);
    QSignalSpy newDs(&map, &MapModel::newDataSupply);
    QVERIFY(map.addDataSupply(ds));
    QCOMPARE(newDs.count(), 1);
    DataSupply twin(2);
    twin.setUid(5);
    QVERIFY(!map.addDataSupply(&twin));
    QCOMPARE(messages.last().at(0).toString(),
             QStringLiteral("loadDataSupply: uid already exists"));
    QCOMPARE(newDs.count(), 1);

    QVERIFY(map.addGroup(new Group(Group::Chasing, 6, QStringLiteral("g"))));
    Group groupTwin(Group::Chasing, 6, QStringLiteral("g"));
    QVERIFY(!map.addGroup(&groupTwin));
    QCOMPARE(messages.last().at(0).toString(), QStringLiteral("loadGroup: uid already exists"));

    // A light whose uid a group already bears gets no own group but is still added.
    QSignalSpy newGroups(&map, &MapModel::newGroup);
    QVERIFY(map.addLight(makeLight(6)));
    QCOMPARE(newGroups.count(), 0);
    QCOMPARE(map.group(6)->type(), int(Group::Chasing));
}

void TestMapModel::deleteUnknownLight()
{
    MapModel map;
    SignalLog log(&map);
    map.deleteLight(99);
    QCOMPARE(log.take(), QStringList{QStringLiteral("deletedLight 63")});
    map.deleteGroup(99);
    map.deleteDataSupply(99, true);
    QVERIFY(log.take().isEmpty());
}

void TestMapModel::deleteLightUnderSynchronizedGroup()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    map.addDataSupply(ds);
    map.addLight(makeLight(0x10, QStringLiteral("L"), 1));
    ds->addLight(0x10);
    auto *sync = new Group(Group::Synchronized, 0x20, QStringLiteral("S"));
    sync->addChild(0x10);
    map.addGroup(sync);

    SignalLog log(&map);
    QSignalSpy dsUpdates(&map, &MapModel::updatedDataSupply);
    map.deleteLight(0x10);
    const QStringList lines = log.take();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.first(), QStringLiteral("deletedLight 10"));
    QCOMPARE((QSet<QString>{lines.at(1), lines.at(2)}),
             (QSet<QString>{QStringLiteral("updatedGroup 10"), QStringLiteral("updatedGroup 20")}));
    QCOMPARE(lines.last(), QStringLiteral("deletedGroup 10"));
    QCOMPARE(dsUpdates.count(), 1);
    QVERIFY(ds->lights().isEmpty());
    QVERIFY(!map.light(0x10));
    QVERIFY(!map.group(0x10));
    QCOMPARE(map.changedGroups(), QSet<Group *>{sync});
    QVERIFY(sync->children().isEmpty());
    map.flushChangedGroups();
    QVERIFY(map.changedGroups().isEmpty());
    QVERIFY(sync->hasLightMatrix());
    QCOMPARE(sync->lightMatrix().totalLightCount, 0);
}

// Deletions reuse one index of who lists whom; members and groups added between deletions
// must still be found.
void TestMapModel::deletionsSeeMembersAddedBetweenThem()
{
    MapModel map;
    for (quint64 uid = 1; uid <= 4; ++uid)
        map.addLight(makeLight(uid));
    auto *sync = new Group(Group::Synchronized, 0x100, QStringLiteral("S"));
    sync->addChild(1);
    map.addGroup(sync);

    map.deleteLight(1);
    QVERIFY(sync->children().isEmpty());

    sync->addChild(2);
    auto *chase = new Group(Group::Chasing, 0x101, QStringLiteral("C"));
    chase->addChildren({3, 0x100});
    map.addGroup(chase);

    map.deleteLight(2);
    QVERIFY(sync->children().isEmpty());
    map.deleteLight(3);
    QCOMPARE(chase->children(), QList<quint64>{0x100});
    map.deleteGroup(0x100);
    QVERIFY(chase->children().isEmpty());
    QVERIFY(!map.group(0x100));
    QVERIFY(map.light(4));
    QVERIFY(map.group(4));
}

void TestMapModel::deletionsUnderNestedGroups()
{
    MapModel map;
    for (quint64 uid = 1; uid <= 4; ++uid)
        map.addLight(makeLight(uid));
    auto *syncA = new Group(Group::Synchronized, 0x100, QStringLiteral("A"));
    syncA->addChildren({1, 2});
    auto *syncB = new Group(Group::Synchronized, 0x101, QStringLiteral("B"));
    syncB->addChildren({3, 4});
    auto *chase = new Group(Group::Chasing, 0x102, QStringLiteral("C"));
    chase->addChildren({0x100, 0x101});
    map.addGroup(syncA);
    map.addGroup(syncB);
    map.addGroup(chase);
    QCOMPARE(chase->lightMatrix().totalLightCount, 4);

    map.deleteLight(2);
    map.deleteGroup(0x101);
    map.flushChangedGroups();
    // Old matrices must not hand out a deleted light.
    for (Group *group : map.groups()) {
        group->compile();
        for (int step = 0; step < group->lightMatrix().stepCount; ++step) {
            for (Light *light : group->stepLights(step))
                QVERIFY(map.lights().values().contains(light));
        }
    }
    QCOMPARE(chase->children(), QList<quint64>{0x100});
    QCOMPARE(chase->lightMatrix().totalLightCount, 1);
    QCOMPARE(map.light(3) != nullptr, true); // a deleted group's lights stay
}

void TestMapModel::deleteChangedGroupThenFlush()
{
    MapModel map;
    map.addLight(makeLight(1));
    auto *sync = new Group(Group::Synchronized, 0x30, QStringLiteral("S"));
    sync->addChild(1);
    map.addGroup(sync);
    map.deleteLight(1);
    QCOMPARE(map.changedGroups().size(), 1);
    map.deleteGroup(0x30);
    QVERIFY(map.changedGroups().isEmpty());
    map.flushChangedGroups(); // must not touch the deleted group
    QVERIFY(map.isEmpty());
}

void TestMapModel::deleteDataSupply()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    map.addDataSupply(ds);
    map.addLight(makeLight(2, QStringLiteral("L"), 1));
    ds->addLight(2);
    map.deleteDataSupply(1, false);
    QVERIFY(!map.dataSupply(1));
    QVERIFY(map.light(2));
    QCOMPARE(map.light(2)->dataSupplyUid(), quint64(1));

    auto *empty = new DataSupply(2);
    empty->setUid(3);
    map.addDataSupply(empty);
    SignalLog log(&map);
    map.deleteDataSupply(3, true);
    QCOMPARE(log.take(), (QStringList{QStringLiteral("progressStarted 0 0 Deleting DataSupply"),
                                      QStringLiteral("progressUpdated 0")}));

    auto *full = new DataSupply(2);
    full->setUid(4);
    map.addDataSupply(full);
    for (quint64 uid = 10; uid < 13; ++uid) {
        map.addLight(makeLight(uid, QStringLiteral("L"), 4));
        full->addLight(uid);
    }
    auto *sync = new Group(Group::Synchronized, 0x50, QStringLiteral("S"));
    sync->addChildren({10, 12, 10});
    auto *chase = new Group(Group::Chasing, 0x51, QStringLiteral("C"));
    chase->addChildren({0x50, 11});
    map.addGroup(sync);
    map.addGroup(chase);
    log.take();
    map.deleteDataSupply(4, true);
    // Batch deletion reaches every group that listed a light, once per deleted light.
    QVERIFY(sync->children().isEmpty()); // once as a light, once as its own group
    QCOMPARE(chase->children(), QList<quint64>{0x50});
    QVERIFY(map.changedGroups().isEmpty());
    QCOMPARE(sync->lightMatrix().totalLightCount, 0);
    const QStringList lines = log.take();
    QCOMPARE(lines.first(), QStringLiteral("progressStarted 0 3 Deleting DataSupply"));
    QCOMPARE(lines.filter("progressUpdated"),
             (QStringList{"progressUpdated 1", "progressUpdated 2", "progressUpdated 3",
                          "progressUpdated 3"}));
    QCOMPARE(map.lights().size(), 1);
    QVERIFY(!map.light(10) && !map.group(10));
    QCOMPARE(map.groups().size(), 3); // light 2's own group and the two above
}

void TestMapModel::clearMapEmpty()
{
    MapModel map;
    SignalLog log(&map);
    QVERIFY(map.clearMap());
    QCOMPARE(log.take(),
             (QStringList{QStringLiteral("progressStarted 0 0 Clearing Map..."),
                          QStringLiteral("progressUpdated 0"), QStringLiteral("clearedMap")}));
    QVERIFY(map.isEmpty());
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    map.addDataSupply(ds);
    QVERIFY(!map.isEmpty());
}

void TestMapModel::clearMapProgress()
{
    MapModel map;
    for (quint64 uid = 1; uid <= 100; ++uid)
        map.addLight(makeLight(uid)); // and 100 own groups
    for (quint64 uid = 1000; uid < 1050; ++uid) {
        auto *ds = new DataSupply(2);
        ds->setUid(uid);
        map.addDataSupply(ds);
    }
    map.setImageFile(QStringLiteral("bg.png"));
    SignalLog log(&map);
    QSignalSpy deletedLights(&map, &MapModel::deletedLight);
    QSignalSpy deletedGroups(&map, &MapModel::deletedGroup);
    QVERIFY(map.clearMap());
    QStringList expected;
    for (int i = 2; i <= 250; i += 2)
        expected << QStringLiteral("progressUpdated %1").arg(i);
    expected << QStringLiteral("progressUpdated 250");
    const QStringList lines = log.take();
    QCOMPARE(lines.first(), QStringLiteral("progressStarted 0 250 Clearing Map..."));
    QCOMPARE(lines.filter("progressUpdated"), expected);
    QCOMPARE(lines.last(), QStringLiteral("clearedMap"));
    QCOMPARE(deletedLights.count(), 100);
    QCOMPARE(deletedGroups.count(), 100);
    QVERIFY(map.isEmpty());
    QVERIFY(map.imageFile().isEmpty());
}

void TestMapModel::boundingRect()
{
    MapModel map;
    QCOMPARE(map.lightsBoundingRect(), QRect(0, 0, 0, 0));
    map.addLight(lightAt(1, 10.7, -3.2));
    const QRect one = map.lightsBoundingRect();
    QCOMPARE(one.left(), 10);
    QCOMPARE(one.top(), -3);
    QCOMPARE(one.width(), 0);
    QCOMPARE(one.height(), 0);
    map.clearMap();
    map.addLight(lightAt(1, 2000000.0, 5.0));
    map.addLight(lightAt(2, 3000000.0, 5.0));
    QCOMPARE(map.lightsBoundingRect().left(), 1000000);
    // An infinite position saturates instead of overflowing the rectangle's far edge.
    map.addLight(lightAt(3, std::numeric_limits<double>::infinity(), 5.0));
    QCOMPARE(map.lightsBoundingRect().right(), INT_MAX - 1);
}

void TestMapModel::relays()
{
    MapModel map;
    auto *ds = new DataSupply(2);
    ds->setUid(1);
    map.addDataSupply(ds);
    Light *light = makeLight(2, QStringLiteral("Old"), 1);
    map.addLight(light);
    auto *other = new Group(Group::Synchronized, 3, QStringLiteral("Other"));
    other->addChild(2);
    map.addGroup(other);

    QSignalSpy lightUpdates(&map, &MapModel::updatedLight);
    QSignalSpy positions(&map, &MapModel::updatedLightPosition);
    QSignalSpy dsUpdates(&map, &MapModel::updatedDataSupply);
    QSignalSpy groupUpdates(&map, &MapModel::updatedGroup);
    QSignalSpy messages(&map, &MapModel::msg);
    light->setName(QStringLiteral("New"));
    QCOMPARE(lightUpdates.count(), 1);
    QCOMPARE(map.group(2)->name(), QStringLiteral("New"));
    QCOMPARE(other->name(), QStringLiteral("Other"));
    QVERIFY(groupUpdates.count() >= 1);
    LightPose pose;
    pose.x = 5;
    light->setPose(pose);
    QCOMPARE(positions.count(), 1);
    ds->setName(QStringLiteral("I"));
    QCOMPARE(dsUpdates.count(), 1);
    emit ds->msg(QStringLiteral("from interface"));
    emit other->msg(QStringLiteral("from group"));
    QCOMPARE(messages.count(), 2);
}

void TestMapModel::createDataSupplyTypes()
{
    MapModel map;
    for (int type : {2, 3, 6, 7}) {
        std::unique_ptr<DataSupply> ds(map.createDataSupply(type));
        QVERIFY(ds);
        QCOMPARE(ds->type(), type);
        QVERIFY(!map.dataSupply(ds->uid()));
    }
    for (int type : {0, 1, 4, 5, 8})
        QVERIFY(!map.createDataSupply(type));
}

QTEST_GUILESS_MAIN(TestMapModel)
#include "tst_mapmodel.moc"
