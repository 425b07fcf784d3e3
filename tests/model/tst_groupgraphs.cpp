// DM_TEST_SANITIZE
// Groups from a hostile file: a ladder whose two groups per level both hold the next level's
// pair (paths double per level), a dozen groups that all hold each other, and chains at and
// far beyond the depth a walk goes. Each walk must finish and list a light once per step.
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "modeltesthelpers.h"

#include <QSignalSpy>
#include <QTest>

namespace {
enum Shape { Ladder, Dozen, ChainAtLimit, LongChain };

// Builds the shape over new lights; returns the group a user would click.
quint64 build(MapModel &map, int shape, int type, QList<quint64> &lights)
{
    for (int i = 0; i < (shape == Dozen ? 12 : 2); ++i) {
        auto *light = new Light();
        light->setUid(map.nextUid());
        map.addLight(light);
        lights << light->uid();
    }
    QList<quint64> groups = lights;
    if (shape == Ladder) {
        for (int level = 0; level < 30; ++level)
            groups = {addGroup(map, type, groups), addGroup(map, type, groups)};
    } else if (shape == Dozen) {
        groups.clear();
        for (quint64 light : std::as_const(lights))
            groups << addGroup(map, type, {light});
        for (quint64 uid : std::as_const(groups))
            map.group(uid)->addChildren(groups);
    } else {
        for (int i = shape == ChainAtLimit ? Group::MaxWalkDepth : 20000; i > 0; --i)
            groups = {addGroup(map, type, groups)};
    }
    return groups.first();
}
} // namespace

class TestGroupGraphs : public QObject
{
    Q_OBJECT
private slots:
    void eachLightOncePerStep_data();
    void eachLightOncePerStep();
};

void TestGroupGraphs::eachLightOncePerStep_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("type");
    const char *shapes[] = {"ladder", "dozen", "chain at limit", "long chain"};
    for (int shape : {Ladder, Dozen, ChainAtLimit, LongChain}) {
        for (int type : {int(Group::Chasing), int(Group::Synchronized)})
            QTest::addRow("%s %d", shapes[shape], type) << shape << type;
    }
}

void TestGroupGraphs::eachLightOncePerStep()
{
    QFETCH(int, shape);
    QFETCH(int, type);
    MapModel map;
    QList<quint64> lights;
    Group *top = map.group(build(map, shape, type, lights));
    if (shape == LongChain)
        lights.clear(); // beyond the depth a walk goes
    const QSet<quint64> all(lights.begin(), lights.end());

    const QList<quint64> ordered = top->orderedLightUids();
    QCOMPARE(QSet<quint64>(ordered.begin(), ordered.end()), all);
    QCOMPARE(ordered.size(), lights.size());
    QSet<quint64> listed;
    for (const QVector<quint64> &step : top->lightMatrix().stepLightUids) {
        const QSet<quint64> once(step.begin(), step.end());
        QCOMPARE(once.size(), step.size());
        listed += once;
    }
    QCOMPARE(listed, all);
    if (shape == Ladder) {
        QCOMPARE(top->stepCount(), type == Group::Chasing ? 2 : 1);
        QCOMPARE(top->lightMatrix().totalLightCount, 2);
    }

    SelectionEffect effect(&map, 0xFFFFFFFFu);
    effect.reset();
    QSignalSpy announced(&effect, &SelectionEffect::lightSelectionChanged);
    effect.setGroupSelected(top->uid(), true);
    QCOMPARE(announced.size(), top->lightMatrix().totalLightCount);
    for (quint64 light : std::as_const(lights))
        QVERIFY(effect.isLightSelected(light));
}

QTEST_GUILESS_MAIN(TestGroupGraphs)
#include "tst_groupgraphs.moc"
