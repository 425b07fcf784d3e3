// DM_TEST_SANITIZE
// Group graphs that share members: every walk must stay linear and list each light once per
// step; on trees the results are those of a plain walk.
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "modeltesthelpers.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

using Steps = QVector<QVector<quint64>>;

quint64 addLight(MapModel &map)
{
    auto *light = new Light();
    light->setUid(map.nextUid());
    map.addLight(light);
    return light->uid();
}

// Each level's two groups both hold the next level's pair; the last pair holds the lights.
QList<quint64> ladder(MapModel &map, int type, int levels, const QList<quint64> &lights)
{
    QList<quint64> pair = lights;
    QList<quint64> all;
    for (int level = 0; level < levels; ++level) {
        pair = {addGroup(map, type, pair), addGroup(map, type, pair)};
        all = pair + all;
    }
    return all; // top pair first
}

// What a plain walk of a tree gives: the lights in member order, and a chasing group's steps.
QVector<quint64> treeLights(MapModel &map, quint64 uid)
{
    Group *group = map.group(uid);
    if (group->type() == Group::OwnLight)
        return {uid};
    QVector<quint64> lights;
    for (quint64 member : group->children())
        lights += treeLights(map, member);
    return lights;
}

Steps treeSteps(MapModel &map, quint64 uid)
{
    Steps steps;
    for (quint64 member : map.group(uid)->children()) {
        if (map.group(member)->type() == Group::Chasing)
            steps += treeSteps(map, member);
        else
            steps.append(treeLights(map, member));
    }
    return steps;
}

} // namespace

class TestGroupGraphs : public QObject
{
    Q_OBJECT

private slots:
    void ladderIsWalkedOnce_data();
    void ladderIsWalkedOnce();
    void mutuallyHoldingGroupsListEachLightOnce();
    void treesGiveThePlainWalk();
    void chainsAreWalkedToTheDepthLimit();
};

void TestGroupGraphs::ladderIsWalkedOnce_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Steps>("expected"); // in light indexes
    QTest::newRow("chasing") << int(Group::Chasing) << Steps{{0}, {1}};
    QTest::newRow("synchronized") << int(Group::Synchronized) << Steps{{0, 1}};
}

void TestGroupGraphs::ladderIsWalkedOnce()
{
    QFETCH(int, type);
    QFETCH(Steps, expected);
    MapModel map;
    const QList<quint64> lights{addLight(map), addLight(map)};
    const QList<quint64> groups = ladder(map, type, 30, lights);
    for (QVector<quint64> &step : expected) {
        for (quint64 &uid : step)
            uid = lights.at(int(uid));
    }

    Group *top = map.group(groups.first());
    QCOMPARE(top->orderedLightUids(), lights);
    QCOMPARE(top->stepCount(), int(expected.size()));
    top->compile();
    QCOMPARE(top->lightMatrix().stepLightUids, expected);
    QCOMPARE(top->lightMatrix().totalLightCount, 2);

    SelectionEffect effect(&map, 0xFFFFFFFFu);
    effect.reset();
    QSignalSpy announced(&effect, &SelectionEffect::lightSelectionChanged);
    effect.setGroupSelected(groups.at(1), true);
    QCOMPARE(announced.size(), 2);
    QVERIFY(effect.isLightSelected(lights.at(0)) && effect.isLightSelected(lights.at(1)));
    effect.highlightGroup(top->uid());
    QVERIFY(effect.isHighlighting());

    // Deleting one group of every level but the last leaves the other path to the lights.
    for (int i = 0; i + 2 < groups.size(); i += 2)
        map.deleteGroup(groups.at(i + 1));
    map.flushChangedGroups();
    top->compile();
    QCOMPARE(top->lightMatrix().stepLightUids, expected);
}

void TestGroupGraphs::mutuallyHoldingGroupsListEachLightOnce()
{
    for (int type : {int(Group::Chasing), int(Group::Synchronized)}) {
        MapModel map;
        QList<quint64> lights, groups;
        for (int i = 0; i < 12; ++i) {
            lights << addLight(map);
            groups << addGroup(map, type, {lights.last()});
        }
        for (quint64 uid : std::as_const(groups))
            map.group(uid)->addChildren(groups);
        for (quint64 uid : std::as_const(groups)) {
            Group *group = map.group(uid);
            const QList<quint64> ordered = group->orderedLightUids();
            QCOMPARE(QSet<quint64>(ordered.begin(), ordered.end()).size(), lights.size());
            QCOMPARE(ordered.size(), lights.size());
            group->compile();
            QSet<quint64> listed;
            for (const QVector<quint64> &step : group->lightMatrix().stepLightUids) {
                QCOMPARE(QSet<quint64>(step.begin(), step.end()).size(), step.size());
                listed += QSet<quint64>(step.begin(), step.end());
            }
            QCOMPARE(listed, QSet<quint64>(lights.begin(), lights.end()));
        }
    }
}

void TestGroupGraphs::treesGiveThePlainWalk()
{
    QRandomGenerator random(15);
    for (int round = 0; round < 20; ++round) {
        MapModel map;
        // Every new node takes some of the unclaimed nodes as members, so none is shared.
        QList<quint64> unclaimed;
        for (int i = 0; i < 40; ++i)
            unclaimed << addLight(map);
        while (unclaimed.size() > 1) {
            const int take = 1 + int(random.bounded(qMin(4, int(unclaimed.size()))));
            QList<quint64> members;
            for (int i = 0; i < take; ++i)
                members << unclaimed.takeAt(int(random.bounded(int(unclaimed.size()))));
            const int type = random.bounded(2) ? Group::Chasing : Group::Synchronized;
            unclaimed << addGroup(map, type, members);
        }
        Group *root = map.group(unclaimed.first());
        const QVector<quint64> lights = treeLights(map, root->uid());
        QCOMPARE(root->orderedLightUids(), QList<quint64>(lights.begin(), lights.end()));
        const Steps expected =
            root->type() == Group::Chasing ? treeSteps(map, root->uid()) : Steps{lights};
        QCOMPARE(root->stepCount(), root->type() == Group::Chasing ? int(expected.size()) : 1);
        QCOMPARE(root->lightMatrix().stepLightUids, expected);
    }
}

void TestGroupGraphs::chainsAreWalkedToTheDepthLimit()
{
    // Groups in a chain above one light: the limit is reached, a file's 20,000 are cut off.
    for (int type : {int(Group::Chasing), int(Group::Synchronized)}) {
        for (int groups : {Group::MaxWalkDepth, 20000}) {
            MapModel map;
            const quint64 light = addLight(map);
            quint64 top = light;
            for (int i = 0; i < groups; ++i)
                top = addGroup(map, type, {top});
            const bool reached = groups <= Group::MaxWalkDepth;
            Group *group = map.group(top);
            QCOMPARE(group->orderedLightUids(), reached ? QList<quint64>{light} : QList<quint64>());
            QCOMPARE(group->stepCount(), reached || type != Group::Chasing ? 1 : 0);
            group->compile();
            QCOMPARE(group->lightMatrix().totalLightCount, reached ? 1 : 0);
        }
    }
}

QTEST_GUILESS_MAIN(TestGroupGraphs)
#include "tst_groupgraphs.moc"
