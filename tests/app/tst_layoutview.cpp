#include "support/apptestsupport.h"

#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/lightpose.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QGraphicsScene>
#include <QMenu>
#include <QWheelEvent>
#include <QtTest>

class TestLayoutView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void itemsFollowTheModel();
    void farLightWidensTheScene();
    void selectionIsMirrored();
    void clearedMapEmptiesSelection();
    void zoomScalesAndWheelZooms();
    void autoZoomAndGridSpacing();
    void colourComesFromTheLight();

private:
    int lightItemCount() const;

    MapModel *m_map = nullptr;
    SelectionEffect *m_selection = nullptr;
    QGraphicsScene *m_scene = nullptr;
    LayoutView *m_view = nullptr;
    DataSupply *m_ds = nullptr;
};

void TestLayoutView::init()
{
    m_map = new MapModel;
    m_selection = new SelectionEffect(m_map, 0xFFFFFFFF, nullptr);
    m_selection->reset();
    connect(m_map, &MapModel::newLight, m_selection, &SelectionEffect::handleNewLight);
    connect(m_map, &MapModel::deletedLight, m_selection, &SelectionEffect::handleDeletedLight);
    connect(m_map, &MapModel::clearedMap, m_selection, &SelectionEffect::handleClearedMap);
    m_scene = new QGraphicsScene;
    m_scene->setSceneRect(0, 0, 10000, 10000);
    m_view = new LayoutView(m_map, m_selection, m_scene, nullptr, "Layout View");
    m_view->resize(400, 300);
    m_ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
}

void TestLayoutView::cleanup()
{
    delete m_view;
    delete m_scene;
    delete m_selection;
    delete m_map;
}

int TestLayoutView::lightItemCount() const
{
    int n = 0;
    for (QGraphicsItem *item : m_scene->items())
        n += item->type() == LayoutViewLight::Type;
    return n;
}

void TestLayoutView::itemsFollowTheModel()
{
    QSignalSpy dirty(m_view, &LayoutView::setDirty);
    Light *a = addLight(m_map, m_ds, "A", 0, 0, QPointF(10.7, 20.2));
    Light *b = addLight(m_map, m_ds, "B", 0, 3, QPointF(100, 50));
    QCOMPARE(lightItemCount(), 2);
    QVERIFY(dirty.count() >= 2);

    LayoutViewLight *item = m_view->getLayoutViewLight(a->uid());
    QVERIFY(item);
    QCOMPARE(item->type(), 4001);
    QCOMPARE(item->rect(), QRectF(0, 0, 6, 6));
    QCOMPARE(item->pos(), QPointF(10, 20));
    QCOMPARE(item->unsnappedPos(), QPointF(10.7, 20.2));
    QCOMPARE(item->toolTip(), QString("A"));

    LightPose pose = b->pose();
    pose.x = 333.5;
    pose.y = 44;
    b->setPose(pose);
    QCOMPARE(m_view->getLayoutViewLight(b->uid())->pos(), QPointF(333, 44));
    QCOMPARE(m_view->getLayoutViewLight(b->uid())->unsnappedPos(), QPointF(333.5, 44));

    m_view->refreshLightItem(b->uid(), QPointF(12, 24));
    QCOMPARE(m_view->getLayoutViewLight(b->uid())->pos(), QPointF(12, 24));

    m_map->deleteLight(a->uid());
    QCOMPARE(lightItemCount(), 1);
    QVERIFY(!m_view->getLayoutViewLight(a->uid()));
}

void TestLayoutView::farLightWidensTheScene()
{
    addLight(m_map, m_ds, "Far", 0, 0, QPointF(12000, 50));
    QCOMPARE(m_scene->sceneRect(), QRectF(0, 0, 13212, 10000));
}

void TestLayoutView::selectionIsMirrored()
{
    Light *a = addLight(m_map, m_ds, "A", 0, 0, QPointF(10, 10));
    Light *b = addLight(m_map, m_ds, "B", 0, 3, QPointF(30, 10));
    m_selection->setLightSelected(b->uid(), true);
    m_selection->setLightSelected(a->uid(), true);
    m_selection->setLightSelected(b->uid(), true); // told twice, listed once
    QCOMPARE(m_view->selectionList(), QList<quint64>({b->uid(), a->uid()}));
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->brush().color(), QColor(Qt::red));

    m_selection->setLightSelected(b->uid(), false);
    QCOMPARE(m_view->selectionList(), QList<quint64>({a->uid()}));
    QCOMPARE(m_view->getLayoutViewLight(b->uid())->brush().color(), QColor(Qt::black));
    // Selected again, a light goes to the end of the order, not back to its old place.
    Light *c = addLight(m_map, m_ds, "C", 0, 6, QPointF(50, 10));
    m_selection->setLightSelected(c->uid(), true);
    m_selection->setLightSelected(a->uid(), false);
    m_selection->setLightSelected(b->uid(), true);
    m_selection->setLightSelected(a->uid(), true);
    QCOMPARE(m_view->selectionList(), QList<quint64>({c->uid(), b->uid(), a->uid()}));
    for (Light *light : {a, b, c})
        m_selection->setLightSelected(light->uid(), false);
    QVERIFY(m_view->selectionList().isEmpty());
    // With nothing selected only the interactive group is on offer.
    for (QAction *action : m_view->popupMenu()->actions())
        QVERIFY(action->isSeparator() ||
                action->isEnabled() == (action->text() == "Create Group Interactively..."));
}

void TestLayoutView::clearedMapEmptiesSelection()
{
    Light *a = addLight(m_map, m_ds, "A", 0, 0, QPointF(10, 10));
    m_selection->setLightSelected(a->uid(), true);
    QCOMPARE(m_view->selectionList().size(), 1);
    m_map->clearMap();
    QCOMPARE(lightItemCount(), 0);
    // A reopened map with the same uids must not find its lights already selected.
    QVERIFY(m_view->selectionList().isEmpty());
    QCOMPARE(m_view->scene(), m_scene);
}

void TestLayoutView::zoomScalesAndWheelZooms()
{
    m_view->zoomIn();
    m_view->zoomIn();
    m_view->zoomIn();
    QCOMPARE(m_view->transform().m11(), 1.953125);
    m_view->resetTransform();
    m_view->zoomIn();
    m_view->zoomOut();
    QVERIFY(qFuzzyCompare(m_view->transform().m11(), 1.0));

    m_view->resetTransform();
    const QPointF at(50, 50);
    QWheelEvent horizontal(at, m_view->mapToGlobal(at.toPoint()), QPoint(), QPoint(120, 0),
                           Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_view->viewport(), &horizontal);
    QVERIFY(qFuzzyCompare(m_view->transform().m11(), 0.8));
    QWheelEvent up(at, m_view->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_view->viewport(), &up);
    QVERIFY(qFuzzyCompare(m_view->transform().m11(), 1.0));
    QWheelEvent plain(at, m_view->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_view->viewport(), &plain);
    QVERIFY(qFuzzyCompare(m_view->transform().m11(), 1.0));
}

void TestLayoutView::autoZoomAndGridSpacing()
{
    m_view->autoZoom(); // empty map: nothing happens
    QVERIFY(m_view->transform().isIdentity());
    addLight(m_map, m_ds, "Origin", 0, 0, QPointF(0, 0));
    m_view->autoZoom(); // one light at the origin: still nothing
    QVERIFY(m_view->transform().isIdentity());
    addLight(m_map, m_ds, "Far", 0, 3, QPointF(4000, 3000));
    m_view->autoZoom();
    QVERIFY(m_view->transform().m11() < 0.2);

    m_view->setGridSpacing(-5);
    QCOMPARE(m_view->gridSpacing(), 12);
    m_view->setGridSpacing(24);
    QCOMPARE(m_view->gridSpacing(), 24);
}

void TestLayoutView::colourComesFromTheLight()
{
    Light *a = addLight(m_map, m_ds, "A", 0, 0, QPointF(10, 10));
    m_view->handlePropertiesCompiled();
    // A light without a current colour shows black.
    LayoutViewLight *item = m_view->getLayoutViewLight(a->uid());
    QCOMPARE(item->brush().color(), a->hasCurrentColor() ? item->brush().color() : QColor(0, 0, 0));
    m_selection->enabled = true;
    m_selection->setLightSelected(a->uid(), true);
    m_selection->tick(QDateTime::currentDateTime(), 1);
    m_view->handlePropertiesCompiled();
    QVERIFY(a->hasCurrentColor());
    QCOMPARE(item->brush().color(), QColor(255, 0, 0));
    QCOMPARE(item->pen().color(), QColor(255, 0, 0));
}

QTEST_MAIN(TestLayoutView)
#include "tst_layoutview.moc"
