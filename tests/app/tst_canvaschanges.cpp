// The canvas takes only the lights whose colour changed from the frame, yet shows every change
// on the frame it happens in.
#include "support/apptestsupport.h"

#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QGraphicsScene>
#include <QtTest>

class TestCanvasChanges : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void onlyChangesReachTheCanvas();

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

QTEST_MAIN(TestCanvasChanges)
#include "tst_canvaschanges.moc"
