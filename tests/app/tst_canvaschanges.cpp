// The canvas takes only the lights whose colour changed from the frame, yet shows every change
// on the frame it happens in.
#include "support/apptestsupport.h"

#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QToolTip>
#include <QtTest>

class TestCanvasChanges : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void onlyChangesReachTheCanvas();
    void squaresShowWhereTheLightsAre();

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
    view->refreshLightItem(a->uid(), QPointF(390, 390));
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
    view->refreshLightItem(b->uid(), QPointF(380, 380)); // into a's tile
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

    map.deleteLight(b->uid());
    QCOMPARE(renderedAt(scene, {383, 383}), QColor(Qt::white));
    // The squares are no scene items; the canvas keeps the one left.
    QCOMPARE(itemsOfType(scene, LayoutViewLight::Type), 0);
    QCOMPARE(view->lightCount(), 1);
    QVERIFY(!view->getLayoutViewLight(b->uid()));
    map.clearMap();
    QCOMPARE(scene.items().size(), 0);
    QCOMPARE(renderedAt(scene, {393, 393}), QColor(Qt::white));
    delete view;
}

QTEST_MAIN(TestCanvasChanges)
#include "tst_canvaschanges.moc"
