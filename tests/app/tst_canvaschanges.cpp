// The canvas takes only the lights whose colour changed from the frame, yet shows every change
// on the frame it happens in.
#include "support/apptestsupport.h"
#include "support/canvasmoves.h"

#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QToolTip>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

class TestCanvasChanges : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void onlyChangesReachTheCanvas();
    void squaresShowWhereTheLightsAre();
    void eachOutlineTakesItsOwnLightsColour();
    void manyChangesInOneTileAllShow();
    void framePaintsOverSelectionMarks_data();
    void framePaintsOverSelectionMarks();
    void colourMemoMatchesEachConversion_data();
    void colourMemoMatchesEachConversion();
    void keptPicturesMatchFreshOnes_data();
    void keptPicturesMatchFreshOnes();
    void wholeSelectionChangesMatchEachLightsOwn_data();
    void wholeSelectionChangesMatchEachLightsOwn();

private:
    // One frame as the engine runs it; returns how many lights the canvas was given.
    int frame();
    QColor shown(const Light *light) const;

    MapModel m_map;
    SelectionEffect m_selection{&m_map, 0xFFFFFFFF, nullptr};
    QGraphicsScene m_scene;
    LayoutView *m_view = nullptr;
    int m_frame = 0;
};

int TestCanvasChanges::frame()
{
    m_selection.tick(QDateTime::currentDateTime(), quint32(++m_frame));
    const std::vector<quint64> listed = m_map.takeCanvasChanges();
    for (quint64 uid : listed)
        m_map.listCanvasChange(uid);
    m_view->handlePropertiesCompiled();
    m_map.updateLights();
    return int(listed.size());
}

QColor TestCanvasChanges::shown(const Light *light) const
{
    const LayoutViewLight *item = m_view->getLayoutViewLight(light->uid());
    // Pen and brush always change together.
    return item->pen().color() == item->brush().color() ? item->brush().color() : QColor();
}

void TestCanvasChanges::onlyChangesReachTheCanvas()
{
    connect(&m_map, &MapModel::newLight, &m_selection, &SelectionEffect::handleNewLight);
    m_view = new LayoutView(&m_map, &m_selection, &m_scene, nullptr, "Layout View");
    DataSupply *ds = addInterface(&m_map, "Facade", QHostAddress("127.0.0.2"));
    QList<Light *> lights;
    for (int i = 0; i < 20; ++i)
        lights << addLight(&m_map, ds, QStringLiteral("L%1").arg(i), 0, 3 * i, QPointF(12 * i, 0));
    m_map.setLivePlayDisabled(false);
    m_selection.enabled = true;
    m_selection.setFgColor(VeyColor(Qt::green));

    QCOMPARE(frame(), 20);
    QCOMPARE(frame(), 0); // steady: nothing to do
    QCOMPARE(frame(), 0);

    m_selection.setLightSelected(lights.at(3)->uid(), true);
    QCOMPARE(frame(), 1);
    QCOMPARE(shown(lights.at(3)), QColor(0, 255, 0));
    QCOMPARE(shown(lights.at(4)), QColor(0, 0, 0));
    QCOMPARE(frame(), 0);
    m_selection.setLightSelected(lights.at(3)->uid(), false);
    QCOMPARE(frame(), 1);
    QCOMPARE(shown(lights.at(3)), QColor(0, 0, 0));

    // A light that no effect reaches any more goes dark; the lights already dark cost nothing.
    m_selection.setLightSelected(lights.at(5)->uid(), true);
    frame();
    m_selection.enabled = false;
    frame();
    frame();
    QCOMPARE(shown(lights.at(5)), QColor(0, 0, 0));
    QCOMPARE(frame(), 0);
    delete m_view;
}

namespace {
// Draws only the scene's area around p, as a view does when just that area changed: an item
// whose bounds miss the area is not drawn at all.
QColor renderedAt(QGraphicsScene &scene, QPointF p)
{
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, 20, 20), QRectF(p - QPointF(10, 10), QSizeF(20, 20)));
    painter.end();
    return image.pixelColor(10, 10);
}

int itemsOfType(QGraphicsScene &scene, int type)
{
    int n = 0;
    for (const QGraphicsItem *item : scene.items())
        n += item->type() == type;
    return n;
}

bool covers(const QList<QRectF> &rects, const QRectF &square)
{
    for (const QRectF &r : rects) {
        if (r.contains(square))
            return true;
    }
    return false;
}
} // namespace

// The squares are drawn by a few shared items, not by themselves: every change must still
// show where the light is, and leave nothing where it was.
void TestCanvasChanges::squaresShowWhereTheLightsAre()
{
    MapModel map;
    SelectionEffect selection(&map, 0xFFFFFFFF, nullptr);
    connect(&map, &MapModel::newLight, &selection, &SelectionEffect::handleNewLight);
    QGraphicsScene scene(0, 0, 400, 400);
    auto *view = new LayoutView(&map, &selection, &scene, nullptr, "Layout View");
    DataSupply *ds = addInterface(&map, "Facade", QHostAddress("127.0.0.2"));
    Light *a = addLight(&map, ds, "A", 0, 0, QPointF(100, 100));
    Light *b = addLight(&map, ds, "B", 0, 3, QPointF(300, 100));
    QCOMPARE(renderedAt(scene, {103, 103}), QColor(Qt::black));
    QCOMPARE(renderedAt(scene, {303, 103}), QColor(Qt::black));
    QCOMPARE(renderedAt(scene, {150, 150}), QColor(Qt::white));

    selection.setLightSelected(a->uid(), true);
    QCOMPARE(renderedAt(scene, {103, 103}), QColor(Qt::red));
    // Moved into another cell of the canvas: drawn there, gone from where it was.
    putLightAsUndoDoes(view, a, QPointF(390, 390));
    QCOMPARE(renderedAt(scene, {393, 393}), QColor(Qt::red));
    QCOMPARE(renderedAt(scene, {103, 103}), QColor(Qt::white));

    // With repaints paused the canvas requests none of its own, yet the scene must still be
    // told of the square's old and new areas.
    // Repaints reach a scene only once a view painted what it asked before.
    view->resize(420, 420);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QCoreApplication::processEvents();
    view->setUpdatePaused(true);
    QSignalSpy changed(&scene, &QGraphicsScene::changed);
    putLightAsUndoDoes(view, b, QPointF(380, 380)); // into a's tile
    QCoreApplication::processEvents();
    QList<QRectF> rects;
    for (const QList<QVariant> &emitted : std::as_const(changed))
        rects += emitted.at(0).value<QList<QRectF>>();
    QVERIFY(covers(rects, QRectF(300, 100, 6, 6)));
    QVERIFY(covers(rects, QRectF(380, 380, 6, 6)));
    view->setUpdatePaused(false);

    // The tip names the light as it is called now, however it was renamed.
    a->setName(QStringLiteral("Renamed"));
    const QPoint onA = view->mapFromScene(QPointF(393, 393));
    QHelpEvent help(QEvent::ToolTip, onA, view->viewport()->mapToGlobal(onA));
    QApplication::sendEvent(view->viewport(), &help);
    QCOMPARE(QToolTip::text(), QStringLiteral("Renamed"));
    QToolTip::hideText();

    const quint64 bUid = b->uid();
    map.deleteLight(bUid);
    QCOMPARE(renderedAt(scene, {383, 383}), QColor(Qt::white));
    // The squares are no scene items; the canvas keeps the one left.
    QCOMPARE(itemsOfType(scene, LayoutViewLight::Type), 0);
    QCOMPARE(view->lightCount(), 1);
    QVERIFY(!view->getLayoutViewLight(bUid));
    map.clearMap();
    QCOMPARE(scene.items().size(), 0);
    QCOMPARE(renderedAt(scene, {393, 393}), QColor(Qt::white));
    delete view;
}

namespace {
// What the view shows at p: its viewport painted as on screen, from the tiles' kept pictures.
QColor shownAt(LayoutView *view, QPointF p)
{
    return view->viewport()->grab().toImage().pixelColor(view->mapFromScene(p));
}

// The same area drawn straight from the squares, as printing draws it.
QImage drawnDirectly(LayoutView *view, QGraphicsScene &scene)
{
    const QRect port = view->viewport()->rect();
    QImage image(port.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    scene.render(&painter, QRectF(port), view->mapToScene(port).boundingRect());
    painter.end();
    return image;
}

// A canvas in a window of 300 by 300 about (120, 120), on a map with one interface.
struct ShownCanvas
{
    MapModel map;
    SelectionEffect selection{&map, 0xFFFFFFFF, nullptr};
    QGraphicsScene scene{0, 0, 400, 400};
    std::unique_ptr<LayoutView> view;
    DataSupply *ds = nullptr;

    ShownCanvas()
    {
        QObject::connect(&map, &MapModel::newLight, &selection, &SelectionEffect::handleNewLight);
        view = std::make_unique<LayoutView>(&map, &selection, &scene, nullptr, "Layout View");
        view->resize(300, 300);
        ds = addInterface(&map, "Facade", QHostAddress("127.0.0.2"));
    }
    bool show()
    {
        view->show();
        const bool exposed = QTest::qWaitForWindowExposed(view.get());
        view->centerOn(120, 120);
        return exposed;
    }
    // One live frame, as the engine runs it.
    void frame()
    {
        selection.tick(QDateTime::currentDateTime(), 1);
        view->handlePropertiesCompiled();
        map.updateLights();
    }
};
} // namespace

// A red square among black ones has a red border and they keep black ones, on screen and on
// paper, also when the fill and the outline differ (a selection mark before the next frame).
void TestCanvasChanges::eachOutlineTakesItsOwnLightsColour()
{
    ShownCanvas canvas;
    QVERIFY(canvas.show());
    MapModel &map = canvas.map;
    SelectionEffect &selection = canvas.selection;
    LayoutView *view = canvas.view.get();
    QGraphicsScene &scene = canvas.scene;
    DataSupply *ds = canvas.ds;
    QList<Light *> lights;
    for (int i = 0; i < 4; ++i)
        lights << addLight(&map, ds, QStringLiteral("O%1").arg(i), 0, 3 * i,
                           QPointF(96 + 12 * i, 120));
    map.setLivePlayDisabled(false);
    selection.enabled = true;
    selection.setLightSelected(lights.at(1)->uid(), true);
    selection.tick(QDateTime::currentDateTime(), 1);
    view->handlePropertiesCompiled();
    map.updateLights();
    selection.enabled = false; // the next mark stays until a frame paints it over
    selection.setLightSelected(lights.at(2)->uid(), true);
    const QImage direct = drawnDirectly(view, scene);
    auto check = [&](int i, QColor outline, QColor fill) {
        const QPointF corner(96 + 12 * i, 120);
        const QPointF edge = corner + QPointF(0, 3);
        const QPointF middle = corner + QPointF(3, 3);
        QCOMPARE(shownAt(view, edge), outline);
        QCOMPARE(shownAt(view, middle), fill);
        QCOMPARE(direct.pixelColor(view->mapFromScene(edge)), outline);
        QCOMPARE(direct.pixelColor(view->mapFromScene(middle)), fill);
    };
    check(0, Qt::black, Qt::black);
    check(1, Qt::red, Qt::red);
    check(2, Qt::black, Qt::red);
    check(3, Qt::black, Qt::black);
    QCOMPARE(view->viewport()->grab().toImage().convertToFormat(direct.format()), direct);
}

// More squares of one tile change between two paints than the tile asks the view for one by
// one. They are selected from the tile's middle outward along four arms, so each one widens
// the area changed so far. What the window shows after the next paint has every one of them in
// its new colour.
void TestCanvasChanges::manyChangesInOneTileAllShow()
{
    ShownCanvas canvas;
    QVERIFY(canvas.show());
    const LayoutView *view = canvas.view.get();
    QList<QPointF> places{{120, 120}};
    for (int k = 1; k <= 18; ++k)
        places << QPointF(120 + 6 * k, 120) << QPointF(120 - 6 * k, 120)
               << QPointF(120, 120 + 6 * k) << QPointF(120, 120 - 6 * k);
    QList<Light *> lights;
    for (int i = 0; i < places.size(); ++i)
        lights << addLight(&canvas.map, canvas.ds, QStringLiteral("L%1").arg(i), 0, 3 * i,
                           places.at(i));
    canvas.map.setLivePlayDisabled(false);
    canvas.selection.enabled = true;
    canvas.selection.setFgColor(VeyColor(Qt::green));
    canvas.frame();
    QCoreApplication::processEvents(); // painted: the tile keeps its picture from here on
    for (const Light *l : std::as_const(lights))
        canvas.selection.setLightSelected(l->uid(), true);
    canvas.frame();
    QCoreApplication::processEvents();
    // The window as painted, not drawn afresh as a grab of the view would be.
    const QImage shown = view->screen()->grabWindow(view->winId()).toImage();
    for (const QPointF &p : std::as_const(places)) {
        const QPoint pixel = view->viewport()->mapTo(view, view->mapFromScene(p + QPointF(3, 3)));
        QVERIFY2(shown.pixelColor(pixel) == QColor(Qt::green),
                 qPrintable(QStringLiteral("%1, %2").arg(p.x()).arg(p.y())));
    }
}

void TestCanvasChanges::framePaintsOverSelectionMarks_data()
{
    QTest::addColumn<bool>("select");
    QTest::addColumn<bool>("whole");
    QTest::newRow("selected") << true << false;
    QTest::newRow("deselected") << false << false;
    QTest::newRow("Select All") << true << true;
    QTest::newRow("whole selection cleared") << false << true;
}

// A selection mark (red, or black) shows until the next frame, which gives every marked
// square its light's colour again, also when that colour did not change in the frame.
void TestCanvasChanges::framePaintsOverSelectionMarks()
{
    QFETCH(bool, select);
    QFETCH(bool, whole);
    MapModel map;
    SelectionEffect selection(&map, 0xFFFFFFFF, nullptr);
    connect(&map, &MapModel::newLight, &selection, &SelectionEffect::handleNewLight);
    QGraphicsScene scene(0, 0, 400, 400);
    LayoutView view(&map, &selection, &scene, nullptr, "Layout View");
    DataSupply *ds = addInterface(&map, "Facade", QHostAddress("127.0.0.2"));
    Light *light = addLight(&map, ds, "M", 0, 0, QPointF(100, 100));
    map.setLivePlayDisabled(false);
    selection.enabled = true;
    // Selected and unselected lights look alike, so a selection changes no light's colour.
    const QColor same = select ? QColor(Qt::blue) : QColor(Qt::red);
    const Qt::GlobalColor sameName = select ? Qt::blue : Qt::red;
    selection.setFgColor(VeyColor(sameName));
    selection.setBgColor(VeyColor(sameName));
    if (!select)
        selection.setLightSelected(light->uid(), true);
    int frame = 0;
    auto runFrame = [&] {
        selection.tick(QDateTime::currentDateTime(), quint32(++frame));
        view.handlePropertiesCompiled();
        map.updateLights();
    };
    runFrame();
    runFrame();
    const LayoutViewLight *item = view.getLayoutViewLight(light->uid());
    QCOMPARE(item->brush().color(), same);
    if (!whole)
        selection.setLightSelected(light->uid(), select);
    else if (select)
        selection.selectAll();
    else
        selection.clearSelection();
    QCOMPARE(item->brush().color(), select ? QColor(Qt::red) : QColor(Qt::black));
    runFrame();
    QCOMPARE(item->brush().color(), same);
    QCOMPARE(item->pen().color(), same);
}

namespace {
// One step of a random canvas session.
struct CanvasStep
{
    enum Kind { Add, Move, Select, Deselect, Delete, Scroll, SelectAll, Clear, SelectRun } kind;
    int light;
    QPointF at;
};

QString describe(const QList<CanvasStep> &steps)
{
    static const char *const names[] = {"add",    "move",       "select", "deselect",  "delete",
                                        "scroll", "select all", "clear",  "select run"};
    QStringList out;
    for (const CanvasStep &step : steps)
        out << QStringLiteral("%1 %2 (%3, %4)")
                   .arg(names[step.kind])
                   .arg(step.light)
                   .arg(step.at.x())
                   .arg(step.at.y());
    return out.join(QStringLiteral("; "));
}

// Plays the steps on a fresh canvas; after each one the view's kept pictures, brought up to
// date from what changed with the tiles' kept lists of their neighbours' squares, must show
// what pictures drawn afresh from every square show. Returns the number of
// steps that passed.
int playCanvasSteps(const QList<CanvasStep> &steps, qreal zoom)
{
    MapModel map;
    SelectionEffect selection(&map, 0xFFFFFFFF, nullptr);
    QObject::connect(&map, &MapModel::newLight, &selection, &SelectionEffect::handleNewLight);
    QObject::connect(&map, &MapModel::deletedLight, &selection,
                     &SelectionEffect::handleDeletedLight);
    QGraphicsScene scene(0, 0, 1000, 1000);
    LayoutView view(&map, &selection, &scene, nullptr, "Layout View");
    view.resize(260, 220);
    view.scale(zoom, zoom);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return -1;
    view.centerOn(240, 240);
    DataSupply *ds = addInterface(&map, "Facade", QHostAddress("127.0.0.2"));
    QList<Light *> lights;
    int done = 0;
    for (const CanvasStep &step : steps) {
        Light *light = lights.isEmpty() ? nullptr : lights.at(step.light % lights.size());
        switch (step.kind) {
        case CanvasStep::Add:
            lights << addLight(&map, ds, QStringLiteral("R%1").arg(lights.size()), 0,
                               3 * int(lights.size()) % 510, step.at);
            break;
        case CanvasStep::Move:
            if (light)
                putLightAsUndoDoes(&view, light, step.at);
            break;
        case CanvasStep::Select:
        case CanvasStep::Deselect:
            if (light)
                selection.setLightSelected(light->uid(), step.kind == CanvasStep::Select);
            break;
        case CanvasStep::Delete:
            if (light) {
                lights.removeOne(light);
                map.deleteLight(light->uid());
            }
            break;
        case CanvasStep::Scroll:
            view.centerOn(step.at);
            break;
        case CanvasStep::SelectAll:
            selection.selectAll();
            break;
        case CanvasStep::Clear:
            selection.clearSelection();
            break;
        case CanvasStep::SelectRun: {
            // Every light, one after another from left to right: more changes in a tile than
            // it asks the scene about one by one.
            QList<Light *> run = lights;
            std::sort(run.begin(), run.end(),
                      [](const Light *l, const Light *r) { return l->pose().x < r->pose().x; });
            for (const Light *each : std::as_const(run))
                selection.setLightSelected(each->uid(), step.light % 2 == 0);
            break;
        }
        }
        const QImage kept = view.viewport()->grab().toImage();
        view.dropCanvasPictures();
        view.setPlainCanvasDrawing(true);
        const QImage fresh = view.viewport()->grab().toImage();
        view.setPlainCanvasDrawing(false);
        if (kept != fresh)
            return done;
        ++done;
    }
    return done;
}
} // namespace

void TestCanvasChanges::keptPicturesMatchFreshOnes_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<qreal>("zoom");
    QTest::addColumn<int>("spread");
    QTest::addColumn<int>("lights");
    QTest::newRow("seed 1, 1:1") << 1u << 1.0 << 80 << 80;
    QTest::newRow("seed 2, 1:1") << 2u << 1.0 << 80 << 80;
    QTest::newRow("seed 3, zoomed out") << 3u << 0.37 << 80 << 80;
    QTest::newRow("seed 4, zoomed in") << 4u << 2.6 << 80 << 80;
    // Few lights crowded about the corner: they move within a tile into and out of its
    // border, where its neighbours did not see them before.
    QTest::newRow("seed 5, 1:1, crowded") << 5u << 1.0 << 24 << 10;
    QTest::newRow("seed 6, zoomed out, crowded") << 6u << 0.37 << 24 << 10;
    QTest::newRow("seed 7, 1:1, crowded") << 7u << 1.0 << 24 << 10;
    // More lights apart in each tile than a tile asks the scene about one area at a time, so
    // a run of selections leaves it widening the one area it draws again.
    QTest::newRow("seed 8, 1:1, many in a tile") << 8u << 1.0 << 240 << 400;
}

// The pictures are the fast road; drawing every square afresh is the plain one. Random
// sessions of lights added, moved across and along tile borders, selected, deselected (one by
// one and all at once) and deleted must look the same both ways at every step; a failure is cut
// down to the steps that still fail.
void TestCanvasChanges::keptPicturesMatchFreshOnes()
{
    QFETCH(quint32, seed);
    QFETCH(qreal, zoom);
    QFETCH(int, spread);
    QFETCH(int, lights);
    QRandomGenerator random(seed);
    // Around the corner where four tiles meet, so squares straddle borders.
    const int from = 240 - spread / 2;
    auto place = [&] {
        return QPointF(from + random.bounded(spread), from + random.bounded(spread));
    };
    // A light in each of the four tiles first: a tile made later would make its neighbours
    // look at everything afresh anyway.
    QList<CanvasStep> steps{{CanvasStep::Add, 0, {150, 150}},
                            {CanvasStep::Add, 0, {330, 150}},
                            {CanvasStep::Add, 0, {150, 330}},
                            {CanvasStep::Add, 0, {330, 330}}};
    for (int i = 0; i < lights; ++i)
        steps.append({CanvasStep::Add, i, place()});
    for (int i = 0; i < 150; ++i) {
        const auto kind = CanvasStep::Kind(random.bounded(9));
        steps.append(
            {kind, int(random.bounded(100)),
             kind == CanvasStep::Scroll ? QPointF(230 + random.bounded(20) / 3.0, 240) : place()});
    }
    const int passed = playCanvasSteps(steps, zoom);
    QVERIFY(passed >= 0);
    if (passed == steps.size())
        return;
    // Shrink: keep the failing prefix, then drop every step the failure does not need.
    QList<CanvasStep> failing = steps.mid(0, passed + 1);
    for (int i = int(failing.size()) - 2; i >= 0; --i) {
        QList<CanvasStep> fewer = failing;
        fewer.removeAt(i);
        if (playCanvasSteps(fewer, zoom) < fewer.size())
            failing = fewer;
    }
    QFAIL(qPrintable(QStringLiteral("kept and fresh pictures differ after: ") + describe(failing)));
}

void TestCanvasChanges::wholeSelectionChangesMatchEachLightsOwn_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 11") << 11u;
    QTest::newRow("seed 12") << 12u;
    QTest::newRow("seed 13") << 13u;
}

// Select All and a clear reach the canvas in one piece; the lights' own announcements still
// go out, and the canvas must end where taking them one by one leads: the same selection in
// the same order, each announced square marked red or black. Random sessions mix them with
// single lights selected and deselected, in the effect and through the canvas.
void TestCanvasChanges::wholeSelectionChangesMatchEachLightsOwn()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    MapModel map;
    SelectionEffect selection(&map, 0xFFFFFFFF, nullptr);
    connect(&map, &MapModel::newLight, &selection, &SelectionEffect::handleNewLight);
    QGraphicsScene scene(0, 0, 1000, 1000);
    LayoutView view(&map, &selection, &scene, nullptr, "Layout View");
    DataSupply *ds = addInterface(&map, "Facade", QHostAddress("127.0.0.2"));
    QList<quint64> uids;
    for (int i = 0; i < 40; ++i)
        uids << addLight(&map, ds, QStringLiteral("W%1").arg(i), 0, 3 * i,
                         QPointF(random.bounded(600), random.bounded(600)))
                    ->uid();
    // The list as each light's own announcement builds it.
    QList<quint64> expected;
    QHash<quint64, bool> lastTold;
    connect(&selection, &SelectionEffect::lightSelectionChanged, &view, [&](quint64 uid, bool s) {
        lastTold.insert(uid, s);
        if (s && !expected.contains(uid))
            expected.append(uid);
        else if (!s)
            expected.removeOne(uid);
    });
    QStringList steps;
    for (int i = 0; i < 60; ++i) {
        const quint64 uid = uids.at(int(random.bounded(uids.size())));
        switch (random.bounded(5)) {
        case 0:
            selection.selectAll();
            steps << "all";
            break;
        case 1:
            selection.clearSelection();
            steps << "clear";
            break;
        case 2:
            view.clearSelectedItems();
            expected.clear(); // the canvas empties its list itself
            steps << "clear on canvas";
            break;
        default:
            selection.setLightSelected(uid, random.bounded(2) == 0);
            steps << QStringLiteral("one %1").arg(uids.indexOf(uid));
            break;
        }
        const QString after = QStringLiteral("after: ") + steps.join(", ");
        // Qt's list comparison hands memcmp a null pointer for two empty lists.
        const QList<quint64> &list = view.selectionList();
        QVERIFY2(list.size() == expected.size() && (list.isEmpty() || list == expected),
                 qPrintable(after));
        for (auto it = lastTold.cbegin(); it != lastTold.cend(); ++it) {
            const QColor mark = it.value() ? QColor(Qt::red) : QColor(Qt::black);
            QVERIFY2(view.getLayoutViewLight(it.key())->brush().color() == mark, qPrintable(after));
        }
    }
}

void TestCanvasChanges::colourMemoMatchesEachConversion_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 21") << 21u;
    QTest::newRow("seed 22") << 22u;
    QTest::newRow("seed 23") << 23u;
}

namespace {
// What the canvas showed for a frame colour before it remembered any: each 8-bit component
// read from the colour itself.
QRgb eachComponent(const VeyColor &color)
{
    if (!color.isValid())
        return qRgb(0, 0, 0);
    return qRgb(int(color.red8()), int(color.green8()), int(color.blue8()));
}

// The first lookup at which the memo, fed the colours in turn, tells another RGB than the
// colour's own conversion; -1 when none does.
int firstMemoMismatch(const QList<VeyColor> &colours)
{
    CanvasColorMemo memo;
    for (int i = 0; i < colours.size(); ++i) {
        if (memo.rgbOf(colours.at(i)) != eachComponent(colours.at(i)))
            return i;
    }
    return -1;
}
} // namespace

// The memo is the fast road to a square's colour; converting every colour is the plain one.
// Colours of every kind the lights show (RGB, HSV, Yxy, N-channel in the fixtures' spaces,
// none), more of them than the memo holds and asked for again and again, must come out the
// same both ways; a failure is cut down to the lookups it needs.
void TestCanvasChanges::colourMemoMatchesEachConversion()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const int spaces[][2] = {{1, 0}, {6, 23}, {3, 3}, {2, 24}};
    QList<VeyColor> pool;
    for (int i = 0; i < 14; ++i) {
        VeyColor colour;
        colour.setRgb8(random.bounded(256), random.bounded(256), random.bounded(256));
        switch (random.bounded(5)) {
        case 0:
            break;
        case 1:
            colour = colour.toHsv();
            break;
        case 2:
            colour.setYxyF(random.bounded(1.0), 0.2 + random.bounded(0.2),
                           0.2 + random.bounded(0.2));
            break;
        case 3: {
            const int *space = spaces[random.bounded(4)];
            colour = colour.toNChannel(quint32(space[0]), quint32(space[1]), 1);
            break;
        }
        default:
            colour = VeyColor();
            break;
        }
        pool << colour;
    }
    QList<VeyColor> colours;
    for (int i = 0; i < 400; ++i)
        colours << pool.at(int(random.bounded(pool.size())));
    const int failing = firstMemoMismatch(colours);
    if (failing < 0)
        return;
    QList<VeyColor> fewer = colours.mid(0, failing + 1);
    for (int i = int(fewer.size()) - 2; i >= 0; --i) {
        QList<VeyColor> tried = fewer;
        tried.removeAt(i);
        if (firstMemoMismatch(tried) == tried.size() - 1)
            fewer = tried;
    }
    QStringList names;
    for (const VeyColor &colour : std::as_const(fewer))
        names << colour.toString();
    QFAIL(
        qPrintable(QStringLiteral("the memo differs after: ") + names.join(QStringLiteral(", "))));
}

QTEST_MAIN(TestCanvasChanges)
#include "tst_canvaschanges.moc"
