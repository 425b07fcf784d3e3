// DM_TEST_SANITIZE
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "modeltesthelpers.h"

#include <QSignalSpy>
#include <QTest>

namespace {

quint64 addLight(MapModel &map, const QString &name = QStringLiteral("Light"))
{
    auto *light = new Light();
    light->setUid(map.nextUid());
    light->setName(name);
    map.addLight(light);
    return light->uid();
}

QVector<quint64> step(const GroupLightMatrix &matrix, int index)
{
    return matrix.stepLightUids.value(index);
}

} // namespace

class TestGroup : public QObject
{
    Q_OBJECT

private slots:
    void membersAndSignals();
    void chaseOrderNames();
    void chasingOfChasingGroupsHasStepsInMemberOrder();
    void synchronizedOfOwnGroupsIsOneStep();
    void chasingOfOwnGroupsIsOneLightPerStep();
    void chasingStepGroupCompiledAsSynchronized();
    void orderedLightUidsFollowMembers();
    void stepCountWithoutMapIsMinusOne();
    void renamingLightRenamesOnlyItsOwnGroup();
    void selfContainingGroupTerminates();
    void cycleTerminates();
    void deletedLightUnderNestedGroupsIsNotDereferenced();
    void deletedNestedGroupLeavesParentSound();
    void xmlRoundTrip();
    void xmlLongTagsAndFallbacks();
};

void TestGroup::membersAndSignals()
{
    Group group(Group::Synchronized, 0x42, QStringLiteral("G"));
    QSignalSpy updated(&group, &Group::updatedGroup);
    QVERIFY(group.addChild(5));
    QVERIFY(group.addChildren({6, 5}));
    QCOMPARE(group.children(), (QList<quint64>{5, 6, 5}));
    QCOMPARE(updated.count(), 2);
    QVERIFY(group.contains(6));
    QVERIFY(!group.contains(7));

    QVERIFY(group.removeChild(5));
    QCOMPARE(group.children(), (QList<quint64>{6, 5}));
    QCOMPARE(updated.count(), 3);
    QVERIFY(!group.removeChild(99));
    QCOMPARE(updated.count(), 3);
    QCOMPARE(updated.last().first().toULongLong(), quint64(0x42));
}

void TestGroup::chaseOrderNames()
{
    Group group(Group::Chasing, 1, QStringLiteral("G"));
    QCOMPARE(group.chaseOrder(), 40);
    QCOMPARE(group.chaseOrderName(0), QStringLiteral("Top"));
    QCOMPARE(group.chaseOrderName(9), QStringLiteral("Top Right"));
    QCOMPARE(group.chaseOrderName(17), QStringLiteral("Bottom Right"));
    QCOMPARE(group.chaseOrderName(39), QStringLiteral("Top Left"));
    QCOMPARE(group.chaseOrderName(40), QStringLiteral("Click order"));
    QCOMPARE(group.chaseOrderNames().size(), 41);
}

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

void TestGroup::synchronizedOfOwnGroupsIsOneStep()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 sync = addGroup(map, Group::Synchronized, {a, b});
    const GroupLightMatrix matrix = map.group(sync)->lightMatrix();
    QCOMPARE(matrix.stepCount, 1);
    QCOMPARE(matrix.totalLightCount, 2);
    QCOMPARE(matrix.stepLightCounts, QVector<int>{2});
    QCOMPARE(step(matrix, 0), (QVector<quint64>{a, b}));
    QCOMPARE(map.group(sync)->stepCount(), 1);
    QCOMPARE(map.group(sync)->stepLights(0).size(), 2);
}

void TestGroup::chasingOfOwnGroupsIsOneLightPerStep()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 c = addLight(map);
    const quint64 chase = addGroup(map, Group::Chasing, {a, b, c});
    const GroupLightMatrix matrix = map.group(chase)->lightMatrix();
    QCOMPARE(matrix.stepCount, 3);
    QCOMPARE(matrix.totalLightCount, 3);
    QCOMPARE(step(matrix, 0), QVector<quint64>{a});
    QCOMPARE(step(matrix, 1), QVector<quint64>{b});
    QCOMPARE(step(matrix, 2), QVector<quint64>{c});
    QCOMPARE(map.group(chase)->stepLights(2).first()->uid(), c);
    QVERIFY(map.group(chase)->stepLights(3).isEmpty());
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

void TestGroup::orderedLightUidsFollowMembers()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 c = addLight(map);
    const quint64 inner = addGroup(map, Group::Synchronized, {c, a});
    const quint64 outer = addGroup(map, Group::Chasing, {b, inner, 0xDEADBEEFull});
    QCOMPARE(map.group(outer)->orderedLightUids(), (QList<quint64>{b, c, a}));
    QCOMPARE(map.group(a)->orderedLightUids(), QList<quint64>{a});

    Group detached(Group::Synchronized, 7, QStringLiteral("x"));
    detached.addChild(a);
    QVERIFY(detached.orderedLightUids().isEmpty());
}

void TestGroup::stepCountWithoutMapIsMinusOne()
{
    Group chase(Group::Chasing, 1, QStringLiteral("c"));
    QCOMPARE(chase.stepCount(), -1);
    Group sync(Group::Synchronized, 2, QStringLiteral("s"));
    QCOMPARE(sync.stepCount(), 1);
    Group odd(9, 3, QStringLiteral("o"));
    QCOMPARE(odd.lightMatrix().stepCount, 0);
}

void TestGroup::renamingLightRenamesOnlyItsOwnGroup()
{
    MapModel map;
    const quint64 a = addLight(map, QStringLiteral("Old"));
    const quint64 sync = addGroup(map, Group::Synchronized, {a});
    map.group(sync)->setName(QStringLiteral("Keep"));
    QCOMPARE(map.group(a)->name(), QStringLiteral("Old"));
    map.light(a)->setName(QStringLiteral("New"));
    QCOMPARE(map.group(a)->name(), QStringLiteral("New"));
    QCOMPARE(map.group(sync)->name(), QStringLiteral("Keep"));
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

void TestGroup::cycleTerminates()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 first = map.nextUid();
    auto *one = new Group(Group::Chasing, first, QStringLiteral("one"));
    map.addGroup(one);
    const quint64 second = addGroup(map, Group::Chasing, {b, first});
    const quint64 third = addGroup(map, Group::Synchronized, {second});
    one->addChildren({a, third});

    QCOMPARE(one->orderedLightUids(), (QList<quint64>{a, b}));
    QVERIFY(one->stepCount() >= 1);
    one->compile();
    const GroupLightMatrix matrix = one->lightMatrix();
    QVERIFY(matrix.stepCount >= 1);
    QVERIFY(step(matrix, 0).contains(a));
    map.group(second)->compile();
    map.group(third)->compile();
    for (const QVector<quint64> &lights : map.group(third)->lightMatrix().stepLightUids) {
        for (quint64 uid : lights)
            QVERIFY(uid == a || uid == b);
    }
}

void TestGroup::deletedLightUnderNestedGroupsIsNotDereferenced()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 inner = addGroup(map, Group::Synchronized, {a, b});
    const quint64 middle = addGroup(map, Group::Chasing, {inner});
    const quint64 outer = addGroup(map, Group::Chasing, {middle, a});
    Group *top = map.group(outer);
    top->compile();
    QCOMPARE(top->lightMatrix().totalLightCount, 3);

    map.deleteLight(a);
    // The outer matrix is stale until recompiled, but holds only uids.
    const QList<Light *> lights = top->stepLights(0);
    QCOMPARE(lights.size(), 1);
    QCOMPARE(lights.first()->uid(), b);
    QVERIFY(top->stepLights(1).isEmpty());

    // The middle group lost no member of its own, so it keeps its matrix until recompiled;
    // the stale uid resolves to nothing.
    map.flushChangedGroups();
    QCOMPARE(top->lightMatrix().stepCount, 1);
    QCOMPARE(top->stepLights(0).size(), 1);
    map.group(middle)->compile();
    top->compile();
    QCOMPARE(top->lightMatrix().totalLightCount, 1);
    QCOMPARE(step(top->lightMatrix(), 0), QVector<quint64>{b});
}

void TestGroup::deletedNestedGroupLeavesParentSound()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 c = addLight(map);
    const quint64 first = addGroup(map, Group::Synchronized, {a});
    const quint64 second = addGroup(map, Group::Synchronized, {b});
    const quint64 middle = addGroup(map, Group::Chasing, {first, second});
    const quint64 outer = addGroup(map, Group::Chasing, {middle, c});
    Group *top = map.group(outer);
    top->compile();
    QCOMPARE(top->lightMatrix().stepCount, 3);

    // The deletion reaches only the direct parent; the outer group keeps its flattened steps,
    // which still name the deleted grandchild.
    map.deleteGroup(first);
    QVERIFY(!map.changedGroups().contains(top));
    top->compile();
    const GroupLightMatrix matrix = top->lightMatrix();
    QCOMPARE(matrix.stepCount, 2);
    QCOMPARE(step(matrix, 0), QVector<quint64>{b});
    QCOMPARE(step(matrix, 1), QVector<quint64>{c});

    map.deleteGroup(middle);
    map.flushChangedGroups();
    QCOMPARE(top->lightMatrix().stepCount, 1);
    QCOMPARE(top->stepLights(0).first()->uid(), c);
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

void TestGroup::xmlLongTagsAndFallbacks()
{
    QDomDocument document;
    QVERIFY(document.setContent(QStringLiteral(
        "<group><type>2</type><self>beef</self><name>Long</name><o>x</o><child>10</child>"
        "<child>zz</child><unknown>5</unknown><c>11</c></group>")));
    QDomElement root = document.documentElement();
    Group group(&root);
    QCOMPARE(group.type(), 2);
    QCOMPARE(group.uid(), quint64(0xBEEF));
    QCOMPARE(group.name(), QStringLiteral("Long"));
    QCOMPARE(group.chaseOrder(), 40);
    QCOMPARE(group.children(), (QList<quint64>{0x10, 0x11}));

    QVERIFY(document.setContent(QStringLiteral("<g><t>x</t><s>nope</s></g>")));
    root = document.documentElement();
    Group bad(&root);
    QCOMPARE(bad.type(), 0);
    QCOMPARE(bad.uid(), quint64(0xFFFFFFFF));
    QCOMPARE(bad.name(), QStringLiteral("New Group"));
}

QTEST_GUILESS_MAIN(TestGroup)
#include "tst_group.moc"
