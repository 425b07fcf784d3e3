// DM_TEST_SANITIZE
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"
#include "modeltesthelpers.h"

#include <QSignalSpy>
#include <QTest>

namespace {

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
        QObject::connect(&map, &MapModel::newLight, &effect, &SelectionEffect::handleNewLight);
        QObject::connect(&map, &MapModel::updatedLight, &effect,
                         &SelectionEffect::handleUpdatedLight);
        QObject::connect(&map, &MapModel::deletedLight, &effect,
                         &SelectionEffect::handleDeletedLight);
        QObject::connect(&map, &MapModel::clearedMap, &effect, &SelectionEffect::handleClearedMap);
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

// What each light last heard through lightSelectionChanged.
QHash<quint64, bool> lastHeard(const QSignalSpy &spy)
{
    QHash<quint64, bool> state;
    for (const QList<QVariant> &args : spy)
        state.insert(args.at(0).toULongLong(), args.at(1).toBool());
    return state;
}

} // namespace

class TestSelectionEffect : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void setLightSelectedSignalsKnownLightsOnly();
    void newLightOnlyWhenTheMapHasIt();
    void updatedLightDeselectsSilently();
    void groupAndInterfaceSelectedAsWholes();
    void selectAllAndClear();
    void renderPaintsForegroundAndBackground();
    void highlightStepsThroughChase();
    void highlightOfOneStepAndOfNoStep();
    void highlightTellsViewsOnlyWhatChanged();
    void highlightSurvivesDeletions();
    void xmlRoundTripAndFallbacks();
    void frameContentThroughTheEngine();
    void coloursMatchPlainCompositingForEveryFixtureKind();
};

void TestSelectionEffect::defaults()
{
    MapModel map;
    SelectionEffect effect(&map, 4294967295u);
    QCOMPARE(effect.typeName(), QStringLiteral("Selection"));
    QCOMPARE(effect.typeId(), 17);
    QCOMPARE(effect.defaultCycleTime(), 1000u);
    QVERIFY(effect.fgColor() == VeyColor(Qt::red));
    QVERIFY(effect.bgColor() == VeyColor(Qt::black));
    QVERIFY(!effect.isHighlighting());
    QVERIFY(!effect.enabled);
    QCOMPARE(effect.groups(), QList<quint64>{4294967295u});
}

void TestSelectionEffect::setLightSelectedSignalsKnownLightsOnly()
{
    MapModel map;
    const quint64 a = addLight(map);
    Rig rig(map);
    QSignalSpy spy(&rig.effect, &SelectionEffect::lightSelectionChanged);
    rig.effect.setLightSelected(a + 1000, true);
    QCOMPARE(spy.count(), 0);
    rig.effect.setLightSelected(a, true);
    rig.effect.setLightSelected(a, true);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toULongLong(), a);
    QVERIFY(spy.at(1).at(1).toBool());
    QVERIFY(rig.effect.isLightSelected(a));
}

void TestSelectionEffect::newLightOnlyWhenTheMapHasIt()
{
    MapModel map;
    Rig rig(map);
    rig.effect.handleNewLight(777);
    QVERIFY(!rig.effect.hasEntry(777));
    const quint64 a = addLight(map);
    QVERIFY(rig.effect.hasEntry(a));
    rig.effect.setLightSelected(a, true);
    rig.effect.handleNewLight(a);
    QVERIFY(!rig.effect.isLightSelected(a));

    map.deleteLight(a);
    QVERIFY(!rig.effect.hasEntry(a));
    QCOMPARE(rig.effect.entryCount(), 0);
}

void TestSelectionEffect::updatedLightDeselectsSilently()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    Rig rig(map);
    const quint64 chase = addGroup(map, Group::Chasing, {a, b});
    rig.effect.setLightSelected(a, true);
    rig.effect.setLightSelected(b, true);
    rig.effect.highlightGroup(chase);
    QSignalSpy spy(&rig.effect, &SelectionEffect::lightSelectionChanged);
    map.light(b)->setName(QStringLiteral("renamed"));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!rig.effect.isLightSelected(a));
    QVERIFY(!rig.effect.isLightSelected(b));
    QVERIFY(!rig.effect.isHighlighting());
    QCOMPARE(rig.effect.entryCount(), 2);

    // The clear-map slot empties the table without touching the highlight.
    rig.effect.highlightGroup(chase);
    rig.effect.handleClearedMap();
    QCOMPARE(rig.effect.entryCount(), 0);
    QVERIFY(rig.effect.isHighlighting());
}

void TestSelectionEffect::groupAndInterfaceSelectedAsWholes()
{
    MapModel map;
    DataSupply *dataSupply = addInterface(map);
    const quint64 a = addLight(map, dataSupply, 0);
    const quint64 b = addLight(map, dataSupply, 3);
    const quint64 c = addLight(map);
    Rig rig(map);
    const quint64 inner = addGroup(map, Group::Synchronized, {b, c});
    const quint64 chase = addGroup(map, Group::Chasing, {inner, b, 0x5151});
    QSignalSpy spy(&rig.effect, &SelectionEffect::lightSelectionChanged);

    rig.effect.highlightGroup(chase);
    rig.effect.setGroupSelected(chase, true);
    QVERIFY(!rig.effect.isHighlighting());
    QCOMPARE(spy.count(), 3); // b appears in two steps and is signalled twice
    QCOMPARE(spy.at(0).at(0).toULongLong(), b);
    QCOMPARE(spy.at(1).at(0).toULongLong(), c);
    QCOMPARE(spy.at(2).at(0).toULongLong(), b);
    QCOMPARE(selectedOf(rig.effect, {a, b, c}), (QList<quint64>{b, c}));

    spy.clear();
    rig.effect.setGroupSelected(0x5151, true);
    QCOMPARE(spy.count(), 0);

    rig.effect.setDataSupplySelected(dataSupply->uid(), false);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toULongLong(), a);
    QCOMPARE(spy.at(1).at(0).toULongLong(), b);
    QVERIFY(!spy.at(1).at(1).toBool());
    QCOMPARE(selectedOf(rig.effect, {a, b, c}), QList<quint64>{c});
}

void TestSelectionEffect::selectAllAndClear()
{
    MapModel map;
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    Rig rig(map);
    const quint64 chase = addGroup(map, Group::Chasing, {a, b});
    rig.effect.highlightGroup(chase);
    QSignalSpy spy(&rig.effect, &SelectionEffect::lightSelectionChanged);
    rig.effect.selectAll();
    QCOMPARE(spy.count(), 2);
    QVERIFY(rig.effect.isHighlighting());
    QCOMPARE(selectedOf(rig.effect, {a, b}), (QList<quint64>{a, b}));
    rig.effect.clearSelection();
    QCOMPARE(spy.count(), 4);
    QVERIFY(!spy.last().at(1).toBool());
    QVERIFY(selectedOf(rig.effect, {a, b}).isEmpty());
    QVERIFY(rig.effect.isHighlighting());
}

void TestSelectionEffect::renderPaintsForegroundAndBackground()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    Rig rig(map);
    rig.effect.setLightSelected(a, true);
    rig.frame();
    QVERIFY(map.light(a)->currentColor() == VeyColor(Qt::red));
    QVERIFY(map.light(b)->currentColor() == VeyColor(Qt::black));

    // Disabled: nothing is painted, the selection still follows the slots.
    map.light(a)->endFrame();
    rig.effect.enabled = false;
    rig.frame();
    QVERIFY(map.light(a)->currentColor() != VeyColor(Qt::red));
    rig.effect.setLightSelected(b, true);
    QVERIFY(rig.effect.isLightSelected(b));

    rig.effect.enabled = true;
    rig.effect.setFgColor(VeyColor(Qt::green));
    QVERIFY(!rig.effect.isLightSelected(b)); // a colour change resets
    rig.effect.setLightSelected(b, true);
    map.light(a)->endFrame();
    map.light(b)->endFrame();
    rig.frame();
    QVERIFY(map.light(b)->currentColor() == VeyColor(Qt::green));
    QVERIFY(map.light(a)->currentColor() == VeyColor(Qt::black));

    // Lights that join or leave between frames are painted from the next frame on.
    map.deleteLight(a);
    const quint64 c = addLight(map);
    rig.effect.setLightSelected(c, true);
    map.light(b)->endFrame();
    rig.frame();
    QVERIFY(map.light(c)->currentColor() == VeyColor(Qt::green));
    QVERIFY(map.light(b)->currentColor() == VeyColor(Qt::green));
}

void TestSelectionEffect::highlightStepsThroughChase()
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

void TestSelectionEffect::highlightOfOneStepAndOfNoStep()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    Rig rig(map);
    const quint64 sync = addGroup(map, Group::Synchronized, {a, b});
    rig.effect.highlightGroup(sync);
    for (int i = 0; i < 3; ++i) {
        rig.frame();
        QCOMPARE(rig.effect.highlightStep(), 0);
        QCOMPARE(selectedOf(rig.effect, {a, b}), (QList<quint64>{a, b}));
    }

    auto *odd = new Group(7, map.nextUid(), QStringLiteral("no steps"));
    odd->addChild(a);
    map.addGroup(odd);
    rig.effect.highlightGroup(odd->uid());
    map.light(a)->endFrame();
    rig.frame();
    QVERIFY(selectedOf(rig.effect, {a, b}).isEmpty());
    QVERIFY(map.light(a)->currentColor() == VeyColor(Qt::black));
}

void TestSelectionEffect::highlightTellsViewsOnlyWhatChanged()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    QList<quint64> lights;
    for (int i = 0; i < 50; ++i)
        lights << addLight(map);
    Rig rig(map);
    const quint64 chase = addGroup(map, Group::Chasing, lights.mid(0, 4));
    QSignalSpy spy(&rig.effect, &SelectionEffect::lightSelectionChanged);
    rig.effect.setLightSelected(lights[10], true);
    rig.effect.setLightSelected(lights[11], true);
    // A silent reset leaves the views believing 10 and 11 are selected.
    map.light(lights[20])->setName(QStringLiteral("x"));
    rig.effect.setLightSelected(lights[12], true);
    rig.effect.highlightGroup(chase);
    spy.clear();
    rig.frame();
    // Every light the views last heard as selected is told it is not; nobody else is told.
    QCOMPARE(spy.count(), 3);
    for (const QList<QVariant> &args : spy)
        QVERIFY(!args.at(1).toBool());
    for (int i = 0; i < 10; ++i)
        rig.frame();
    QCOMPARE(spy.count(), 3);
    const QHash<quint64, bool> heard = lastHeard(spy);
    for (auto it = heard.cbegin(); it != heard.cend(); ++it)
        QVERIFY(!it.value());
}

void TestSelectionEffect::highlightSurvivesDeletions()
{
    MapModel map;
    map.setLivePlayDisabled(true);
    const quint64 a = addLight(map);
    const quint64 b = addLight(map);
    const quint64 c = addLight(map);
    Rig rig(map);
    const quint64 inner = addGroup(map, Group::Synchronized, {a, b});
    const quint64 chase = addGroup(map, Group::Chasing, {inner, c});
    rig.effect.highlightGroup(chase);
    rig.frame();
    map.deleteLight(a);
    map.deleteGroup(inner);
    map.deleteGroup(chase);
    for (int i = 0; i < 4; ++i)
        rig.frame();
    QVERIFY(!rig.effect.isLightSelected(a));
    rig.effect.setGroupSelected(chase, true);
    map.clearMap();
    rig.frame();
    QCOMPARE(rig.effect.entryCount(), 0);
}

void TestSelectionEffect::xmlRoundTripAndFallbacks()
{
    MapModel map;
    SelectionEffect effect(&map, 12);
    effect.setName(QStringLiteral("Sel"));
    effect.setPriority(3);
    effect.setFgColor(VeyColor(Qt::blue));
    QDomDocument document;
    const QDomElement element = effect.toXml(document);
    QCOMPARE(element.tagName(), QStringLiteral("effect"));
    QCOMPARE(element.lastChildElement().tagName(), QStringLiteral("bgcolor"));
    QCOMPARE(element.firstChildElement(QStringLiteral("fgcolor")).text(),
             VeyColor(Qt::blue).toString());
    document.appendChild(element);

    QDomDocument reread;
    QVERIFY(reread.setContent(document.toString()));
    QDomElement root = reread.documentElement();
    SelectionEffect copy(&map, 0, &root);
    QCOMPARE(copy.name(), QStringLiteral("Sel"));
    QCOMPARE(copy.priority(), 3u);
    QCOMPARE(copy.groupUid(), quint64(12));
    QCOMPARE(copy.typeName(), QStringLiteral("Selection"));
    QVERIFY(copy.fgColor() == VeyColor(Qt::blue));
    QVERIFY(copy.bgColor() == VeyColor(Qt::black));

    QVERIFY(reread.setContent(QStringLiteral("<effect><gid>4294967296</gid>"
                                             "<fgcolor>not a colour</fgcolor>"
                                             "<bgcolor>#00ff00</bgcolor></effect>")));
    root = reread.documentElement();
    QTest::ignoreMessage(QtWarningMsg,
                         "VeyColor::setNamedColor: Unknown color name 'not a colour'");
    SelectionEffect fallback(&map, 1, &root);
    QCOMPARE(fallback.groupUid(), quint64(4294967295u));
    QVERIFY(fallback.fgColor() == VeyColor(Qt::red));
    QVERIFY(fallback.bgColor() == VeyColor(Qt::green));
}

// One whole frame through the engine: the bytes of a version-1 interface with a selected
// light between two unselected ones, at the start, middle and end of the universe.
void TestSelectionEffect::frameContentThroughTheEngine()
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

// The effect hands lights its colours already carried into their colour space; what a light
// shows and writes must be exactly what it would make of the plain colours itself.
void TestSelectionEffect::coloursMatchPlainCompositingForEveryFixtureKind()
{
    struct Kind
    {
        quint32 chemistry;
        quint32 profileId;
        quint32 resolution;
        bool half;
    };
    const Kind kinds[] = {{0, 0, 1, false}, {1, 3, 1, false}, {3, 1, 1, false},
                          {1, 5, 0, false}, {3, 2, 1, true},  {2, 3, 0, false}};
    MapModel map;
    map.setLivePlayDisabled(true);
    Rig rig(map);
    QList<quint64> uids;
    for (const Kind &kind : kinds) {
        const quint64 uid = addLight(map);
        Light *light = map.light(uid);
        light->setLedChemistry(kind.chemistry);
        light->setHueweaveProfileId(kind.profileId);
        light->setResolution(kind.resolution);
        light->setHalfFullMode(kind.half);
        uids << uid;
    }
    rig.effect.reset();
    rig.effect.setFgColor(VeyColor(QStringLiteral("#80ff2040")));
    rig.effect.setBgColor(VeyColor(QStringLiteral("#102030")));
    for (int i = 0; i < int(uids.size()); i += 2)
        rig.effect.setLightSelected(uids[i], true);

    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < int(uids.size()); ++i) {
            Light *light = map.light(uids[i]);
            light->endFrame();
            Light twin;
            twin.setLedChemistry(kinds[i].chemistry);
            twin.setHueweaveProfileId(kinds[i].profileId);
            twin.setResolution(kinds[i].resolution);
            twin.setHalfFullMode(kinds[i].half);
            twin.endFrame();
            QVERIFY(twin.currentColor() == light->currentColor());
            twin.applyEffectColor(i % 2 == 0 ? rig.effect.fgColor() : rig.effect.bgColor(), 0);
            rig.effect.render();
            // Other lights were painted too; only this one is compared.
            QVERIFY2(light->currentColor() == twin.currentColor(), qPrintable(QString::number(i)));
            QByteArray mine(64, '\0');
            QByteArray theirs(64, '\0');
            light->writeDmx(reinterpret_cast<quint8 *>(mine.data()), mine.size());
            twin.writeDmx(reinterpret_cast<quint8 *>(theirs.data()), theirs.size());
            QCOMPARE(mine, theirs);
            QVERIFY(mine != QByteArray(64, '\0'));
            for (quint64 uid : uids)
                map.light(uid)->endFrame();
        }
    }
}

QTEST_GUILESS_MAIN(TestSelectionEffect)
#include "tst_selectioneffect.moc"
