#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "app/layoutviewtile.h"
#include "app/metatool.h"
#include "app/undoaction.h"
#include "app/undoactionlist.h"
#include "app/undomanager.h"
#include "colour/veycolor.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QDialog>
#include <QGraphicsScene>
#include <QMenu>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

namespace {
// Counts the events of one type a widget gets.
class EventCounter : public QObject
{
public:
    EventCounter(QWidget *widget, QEvent::Type type) : m_type(type)
    {
        widget->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == m_type;
        return false;
    }

private:
    QEvent::Type m_type;
};
} // namespace

// Editing on the layout canvas through real pointer and key events on its viewport, and the
// undo manager that takes back what the pointer wrote into the lights.
class TestCanvasEditing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void clickAndBandSelection();
    void dragSnapsAndUndoRestoresPoses_data();
    void dragSnapsAndUndoRestoresPoses();
    void freeDragFollowsThePointer_data();
    void freeDragFollowsThePointer();
    void rejectedMovesWriteNothing();
    void snappedDropStartsTheNextDragFromTheSquare();
    void shakyClicksMoveNothing_data();
    void shakyClicksMoveNothing();
    void eachPressOfADoubleClickCounts_data();
    void eachPressOfADoubleClickCounts();
    void bandLetGoLeavesLightsUnselected_data();
    void bandLetGoLeavesLightsUnselected();
    void autoZoomFitsTheLights_data();
    void autoZoomFitsTheLights();
    void menuKeyOpensThePopupMenu();
    void keysOpenThePopupMenu_data();
    void keysOpenThePopupMenu();
    void lineSelectsWhatItSweeps_data();
    void lineSelectsWhatItSweeps();
    void clicksHitWhatIsDrawn_data();
    void clicksHitWhatIsDrawn();
    void bandFindsSquaresReachingIntoItsCell();
    void dropMayTouchButNotOverlap();
    void reopenedMapSelectsByClick();
    void onlyKeyboardRequestsOpenTheMenu_data();
    void onlyKeyboardRequestsOpenTheMenu();
    void topSquareIsTheOneFound_data();
    void topSquareIsTheOneFound();
    void lightsDeselectedElsewhereStayBehind_data();
    void lightsDeselectedElsewhereStayBehind();
    void deletedLightLeavesTheCanvasAtOnce();
    void bandChangesOnlyWhatItMustButEndsTheSame_data();
    void bandChangesOnlyWhatItMustButEndsTheSame();
    void rotateAndFlipKeepHeightAndRotation();
    void turnsSnapBeforeTheyAreChecked_data();
    void turnsSnapBeforeTheyAreChecked();
    void deleteAsksAndCancelKeepsTheRest();
    void deleteHoldsTheCanvasUntilItEnds();
    void lineMakesAnOrderedGroup();
    void newMapClearsTheUndoStacks();

private:
    Light *light(const QString &name, double x, double y);
    QPoint at(QPointF p) const { return m_view->mapFromScene(p); }
    void press(QPointF p, Qt::KeyboardModifiers m = {}, Qt::MouseButton b = Qt::LeftButton);
    void moveTo(QPointF p) { QTest::mouseMove(m_view->viewport(), at(p)); }
    void release(QPointF p) { QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, at(p)); }
    void click(QPointF p, Qt::KeyboardModifiers m = {}) { press(p, m), release(p); }
    // A click on a pixel of the viewport, sent straight to it.
    void clickPixel(QPoint pixel);
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers m = {});
    // Zooms in so that a move of `units` takes the pointer past the platform's drag distance.
    void zoomSoThatMovesOf(qreal units)
    {
        const qreal zoom = qMax(qreal(1), QApplication::startDragDistance() / units);
        m_view->scale(zoom, zoom);
    }
    void trigger(const QString &text);
    bool actionEnabled(const QString &text) const;
    // A left-button event at a viewport pixel through the window system, time-stamped, so
    // that the toolkit itself tells a double click from two clicks.
    void pointerAt(QEvent::Type type, QPoint pixel, int ms, Qt::KeyboardModifiers m = {});
    QList<quint64> uids(const QList<Light *> &lights) const;
    // What the view shows at p, painted as on screen.
    QColor shownAt(QPointF p) const
    {
        return m_view->viewport()->grab().toImage().pixelColor(at(p));
    }
    QString tipAt(QPointF p);
    // Gives the light the colour of a frame: its square's outline and fill take it, as on
    // every live frame.
    void showColour(Light *l, QRgb rgb);

    MapModel *m_map = nullptr;
    SelectionEffect *m_selection = nullptr;
    QGraphicsScene *m_scene = nullptr;
    LayoutView *m_view = nullptr;
    UndoManager *m_undo = nullptr;
    DataSupply *m_ds = nullptr;
    int m_channel = 0;
};

void TestCanvasEditing::init()
{
    m_map = new MapModel;
    m_selection = new SelectionEffect(m_map, 0xFFFFFFFF, nullptr);
    m_selection->reset();
    connect(m_map, &MapModel::newLight, m_selection, &SelectionEffect::handleNewLight);
    connect(m_map, &MapModel::deletedLight, m_selection, &SelectionEffect::handleDeletedLight);
    connect(m_map, &MapModel::clearedMap, m_selection, &SelectionEffect::handleClearedMap);
    m_scene = new QGraphicsScene(0, 0, 2000, 2000);
    m_view = new LayoutView(m_map, m_selection, m_scene, nullptr, "Layout View");
    m_view->resize(700, 500);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
    m_view->centerOn(300, 200);
    m_undo = new UndoManager(m_map);
    m_undo->setLayoutView(m_view);
    connect(m_view, &LayoutView::addUndoActionList, m_undo, &UndoManager::addUndoActionList);
    m_ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
    m_channel = 0;
}

void TestCanvasEditing::cleanup()
{
    delete m_undo;
    delete m_view;
    delete m_scene;
    delete m_selection;
    delete m_map;
}

Light *TestCanvasEditing::light(const QString &name, double x, double y)
{
    Light *l = addLight(m_map, m_ds, name, 0, 3 * m_channel++, QPointF(x, y));
    LightPose pose = l->pose();
    pose.z = 7.5; // height and rotation are map data that no move may drop
    pose.q0 = 0.5;
    pose.q3 = 0.5;
    l->setPose(pose);
    return l;
}

void TestCanvasEditing::press(QPointF p, Qt::KeyboardModifiers m, Qt::MouseButton b)
{
    QTest::mousePress(m_view->viewport(), b, m, at(p));
}

void TestCanvasEditing::clickPixel(QPoint pixel)
{
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, QPointF(pixel), m_view->viewport()->mapToGlobal(QPointF(pixel)),
                          Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &event);
    }
}

void TestCanvasEditing::drag(QPointF from, QPointF to, Qt::KeyboardModifiers m)
{
    press(from, m);
    moveTo((from + to) / 2);
    moveTo(to);
    release(to);
}

void TestCanvasEditing::trigger(const QString &text)
{
    for (QAction *a : m_view->popupMenu()->actions()) {
        if (a->text() == text) {
            QVERIFY(a->isEnabled());
            a->trigger();
            return;
        }
    }
    QFAIL(qPrintable(text));
}

bool TestCanvasEditing::actionEnabled(const QString &text) const
{
    for (const QAction *a : m_view->popupMenu()->actions()) {
        if (a->text() == text)
            return a->isEnabled();
    }
    return false;
}

void TestCanvasEditing::pointerAt(QEvent::Type type, QPoint pixel, int ms, Qt::KeyboardModifiers m)
{
    QWindow *window = m_view->window()->windowHandle();
    const QPoint local = m_view->viewport()->mapTo(m_view->window(), pixel);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    qt_handleMouseEvent(window, local, window->mapToGlobal(local), held, button, type, m, ms);
}

QList<quint64> TestCanvasEditing::uids(const QList<Light *> &lights) const
{
    QList<quint64> out;
    for (Light *l : lights)
        out << l->uid();
    return out;
}

void TestCanvasEditing::showColour(Light *l, QRgb rgb)
{
    VeyColor colour;
    colour.setRgb8(uint(qRed(rgb)), uint(qGreen(rgb)), uint(qBlue(rgb)));
    l->applyEffectColor(colour, 1);
    m_view->handlePropertiesCompiled();
    l->endFrame();
}

QString TestCanvasEditing::tipAt(QPointF p)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, at(p), m_view->viewport()->mapToGlobal(at(p)));
    QApplication::sendEvent(m_view->viewport(), &help);
    const QString text = QToolTip::isVisible() ? QToolTip::text() : QString();
    QToolTip::hideText();
    return text;
}

void TestCanvasEditing::clickAndBandSelection()
{
    Light *a = light("A", 100, 100), *b = light("B", 200, 100), *c = light("C", 400, 100);
    click({103, 103});
    QCOMPARE(m_view->selectionList(), uids({a}));
    click({203, 103}, Qt::ControlModifier);
    click({203, 103}, Qt::ShiftModifier); // Shift on a selected light changes nothing
    click({103, 103});                    // a plain click inside the selection keeps all of it
    QCOMPARE(m_view->selectionList(), uids({a, b}));
    click({103, 103}, Qt::ControlModifier);
    QCOMPARE(m_view->selectionList(), uids({b}));
    QVERIFY(!m_selection->isLightSelected(a->uid()));
    press({600, 300}, {}, Qt::RightButton); // right press on empty canvas keeps the selection
    QVERIFY(m_view->popupMenu()->isVisible());
    m_view->popupMenu()->hide();
    QTest::mouseRelease(m_view->viewport(), Qt::RightButton, {}, at({600, 300}));
    QCOMPARE(m_view->selectionList(), uids({b}));

    drag({50, 50}, {250, 150}); // plain band: exactly what it encloses
    auto selected = [this] {
        return QSet<quint64>(m_view->selectionList().cbegin(), m_view->selectionList().cend());
    };
    QCOMPARE(selected(), QSet<quint64>({a->uid(), b->uid()}));
    drag({150, 50}, {250, 150}, Qt::ControlModifier); // toggles the enclosed lights
    QCOMPARE(m_view->selectionList(), uids({a}));
    drag({350, 50}, {450, 150}, Qt::ShiftModifier); // adds them
    QCOMPARE(m_view->selectionList(), uids({a, c}));

    press({150, 300}, Qt::AltModifier); // Alt sweeps a line; what it crossed stays selected
    moveTo({50, 50});
    moveTo({250, 50});
    moveTo({250, 120});
    release({250, 120});
    QCOMPARE(selected(), QSet<quint64>({a->uid(), b->uid()}));
    int others = 0; // the band's items are gone: only lights and the tiles drawing them stay
    for (const QGraphicsItem *item : m_scene->items())
        others += item->type() != LayoutViewLight::Type && item->type() != LayoutViewTile::Type;
    QCOMPARE(others, 0);
}

void TestCanvasEditing::dragSnapsAndUndoRestoresPoses_data()
{
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<bool>("snapping");
    QTest::addColumn<int>("x");
    QTest::newRow("5 stays on the grid line") << QList<int>{5} << true << 120;
    QTest::newRow("6 reaches the next") << QList<int>{6} << true << 132;
    QTest::newRow("moves add up") << QList<int>{3, 3} << true << 132;
    QTest::newRow("back past half") << QList<int>{-7} << true << 108;
    QTest::newRow("no snapping") << QList<int>{5} << false << 125;
}

void TestCanvasEditing::dragSnapsAndUndoRestoresPoses()
{
    QFETCH(QList<int>, moves);
    QFETCH(bool, snapping);
    QFETCH(int, x);
    m_view->setSnapToGrid(snapping);
    zoomSoThatMovesOf(3);
    m_view->centerOn(200, 150);
    Light *a = light("A", 120.4, 120), *b = light("B", 300, 120);
    const LightPose before = a->pose();
    click({302, 122});
    press({122, 122}, Qt::ControlModifier);
    QPointF p(122, 122);
    for (int dx : moves)
        moveTo(p += QPointF(dx, 0));
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->x(), double(x));
    release(p);
    const LightPose after = a->pose();
    QCOMPARE(after.x, double(x));
    QCOMPARE(after.z, 7.5);
    QCOMPARE(after.q0, 0.5);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->unsnappedPos().x(), double(x));
    QCOMPARE(b->pose().x, 300.0 + x - 120);

    m_undo->undo();
    QCOMPARE(a->pose(), before);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->pos(), QPointF(120.4, 120));
    QCOMPARE(b->pose().x, 300.0);
    QCOMPARE(m_undo->redoCount(), 1);
    m_undo->redo();
    QCOMPARE(a->pose(), after);
    m_undo->undo();
    drag({302, 122}, {302, 200}); // a new move drops what could be redone
    QCOMPARE(m_undo->redoCount(), 0);
    QCOMPARE(m_undo->undoCount(), 1);

    // Control-clicking a out of the selection leaves it behind on the next drag.
    const LightPose left = a->pose();
    const QPointF onA = m_view->getLayoutViewLight(a->uid())->pos() + QPointF(2, 2);
    const QPointF onB = m_view->getLayoutViewLight(b->uid())->pos() + QPointF(2, 2);
    click(onA, Qt::ControlModifier);
    drag(onB, onB + QPointF(0, 48));
    QCOMPARE(a->pose(), left);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->pos(), onA - QPointF(2, 2));
    QCOMPARE(b->pose().y, onB.y() - 2 + 48);
}

void TestCanvasEditing::freeDragFollowsThePointer_data()
{
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::newRow("one move") << QList<QPoint>{{7, -5}};
    QTest::newRow("moves add up") << QList<QPoint>{{3, 4}, {-10, 9}, {1, 1}};
    QTest::newRow("down only") << QList<QPoint>{{0, 13}};
}

void TestCanvasEditing::freeDragFollowsThePointer()
{
    QFETCH(QList<QPoint>, moves);
    m_view->setSnapToGrid(false);
    Light *a = light("A", 121, 127), *b = light("B", 300, 190);
    click({302, 192});
    press({123, 129}, Qt::ControlModifier);
    QPointF p(123, 129);
    QPoint total;
    for (const QPoint &d : moves) {
        moveTo(p += d);
        total += d;
    }
    release(p);
    QCOMPARE(QPointF(a->pose().x, a->pose().y), QPointF(121 + total.x(), 127 + total.y()));
    QCOMPARE(QPointF(b->pose().x, b->pose().y), QPointF(300 + total.x(), 190 + total.y()));
    QCOMPARE(m_view->getLayoutViewLight(b->uid())->pos(), QPointF(b->pose().x, b->pose().y));
}

void TestCanvasEditing::rejectedMovesWriteNothing()
{
    Light *a = light("A", 120, 120);
    light("B", 240, 120);
    QSignalSpy lists(m_view, &LayoutView::addUndoActionList);
    drag({122, 122}, {242, 122}); // onto the other light
    QCOMPARE(a->pose().x, 120.0);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->pos(), QPointF(120, 120));
    m_scene->setSceneRect(0, 0, 300, 300);
    drag({122, 122}, {122, 422}); // beyond the scene's edge
    QCOMPARE(a->pose().y, 120.0);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->y(), 120.0);
    drag({122, 122}, {122, -60}); // above its top edge
    QCOMPARE(a->pose().y, 120.0);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->y(), 120.0);
    zoomSoThatMovesOf(0.5);
    m_view->centerOn(122, 122);
    drag({122, 122}, {122.25, 122.25}); // less than one unit
    QCOMPARE(lists.count(), 0);
    QCOMPARE(m_undo->undoCount(), 0);
}

// A drop that the grid puts back where the light was still leaves the square's unsnapped
// position there: the next drag starts from the square, not from where the pointer let go.
void TestCanvasEditing::snappedDropStartsTheNextDragFromTheSquare()
{
    Light *a = light("A", 120, 120);
    zoomSoThatMovesOf(1);
    m_view->centerOn(122, 122);
    drag({122, 122}, {127, 122});
    QCOMPARE(a->pose().x, 120.0);
    drag({122, 122}, {123, 122});
    QCOMPARE(a->pose().x, 120.0);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->x(), 120.0);
}

void TestCanvasEditing::shakyClicksMoveNothing_data()
{
    QTest::addColumn<QList<qreal>>("path"); // the first press's moves, in drag distances
    QTest::addColumn<bool>("twice");        // a second click follows
    QTest::addColumn<QPoint>("second");     // where it lands, from where the first landed
    QTest::addColumn<QPoint>("shake");      // where it lets go, from its press
    QTest::addColumn<int>("gap");           // ms from the first release to the second press
    QTest::addColumn<bool>("byTheEdge");
    QTest::addColumn<bool>("moves");
    const QList<qreal> still;
    const QPoint none;
    QTest::newRow("double click, second press 1 px away")
        << still << true << QPoint(1, 0) << none << 100 << false << false;
    QTest::newRow("double click, second press 3 px away, by the edge")
        << still << true << QPoint(-1, 2) << none << 100 << true << false;
    QTest::newRow("two clicks 600 ms apart, by the edge")
        << still << true << QPoint(2, 1) << none << 600 << true << false;
    QTest::newRow("double click on one pixel, by the edge")
        << still << true << QPoint() << none << 100 << true << false;
    QTest::newRow("press moving short of the drag distance, by the edge")
        << QList<qreal>{0.9} << false << QPoint() << none << 0 << true << false;
    QTest::newRow("drag out and back to the press")
        << QList<qreal>{1, 0} << false << QPoint() << none << 0 << false << false;
    QTest::newRow("drag of the drag distance")
        << QList<qreal>{1} << false << QPoint() << none << 0 << false << true;
    QTest::newRow("drag of the drag distance, by the edge")
        << QList<qreal>{1} << false << QPoint() << none << 0 << true << true;
    // The drag before must not leave the next press past the drag distance.
    QTest::newRow("drag, then a click shaking 1 px")
        << QList<qreal>{1} << true << QPoint() << QPoint(1, 0) << 600 << false << true;
    QTest::newRow("drag, then a quick click shaking 3 px")
        << QList<qreal>{1} << true << QPoint(1, 0) << QPoint(-1, 2) << 100 << false << true;
}

// At 1:1 with snapping on, a light off the grid: a click or a double click whose presses and
// releases wander a few pixels, less than the drag distance, leaves it and the view where
// they are and the map unchanged, and so does a drag that ends where it began; a drag of the
// drag distance moves it, and a click after it moves it no further. By the edge, the light
// sits 8 pixels from the viewport's left edge, where a drag scrolls the view.
void TestCanvasEditing::shakyClicksMoveNothing()
{
    QFETCH(QList<qreal>, path);
    QFETCH(bool, twice);
    QFETCH(QPoint, second);
    QFETCH(QPoint, shake);
    QFETCH(int, gap);
    QFETCH(bool, byTheEdge);
    QFETCH(bool, moves);
    Light *a = light("A", 200, 200);
    QSignalSpy dirty(m_view, &LayoutView::setDirty);
    QScrollBar *h = m_view->horizontalScrollBar();
    if (byTheEdge)
        h->setValue(h->value() + at({202, 202}).x() - 8);
    const int scrolled = h->value();
    const QPoint first = at({202, 202});
    // Clear of the stamps of every pointer event sent before.
    int ms = QTest::lastMouseTimestamp + 10000;
    pointerAt(QEvent::MouseButtonPress, first, ms);
    QPoint let = first;
    for (qreal distances : path) {
        let = first + QPoint(int(distances * QApplication::startDragDistance()), 0);
        pointerAt(QEvent::MouseMove, let, ms += 10);
    }
    pointerAt(QEvent::MouseButtonRelease, let, ms += 10);
    const LightPose dropped = a->pose();
    const int dirtied = dirty.count();
    if (twice) {
        const QPoint on = at(m_view->getLayoutViewLight(a->uid())->pos() + QPointF(2, 2)) + second;
        pointerAt(QEvent::MouseButtonPress, on, ms += gap);
        if (!shake.isNull())
            pointerAt(QEvent::MouseMove, on + shake, ms += 10);
        pointerAt(QEvent::MouseButtonRelease, on + shake, ms += 10);
    }
    QTest::lastMouseTimestamp = ms + 10000;
    QCOMPARE(m_view->selectionList(), uids({a}));
    QCOMPARE(m_undo->undoCount(), int(moves));
    QCOMPARE(a->pose(), dropped);
    QCOMPARE(dirty.count(), dirtied);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->pos(), QPointF(dropped.x, dropped.y));
    if (moves) {
        QVERIFY(dropped.x > 200);
        return;
    }
    QCOMPARE(dropped.x, 200.0);
    QCOMPARE(dropped.y, 200.0);
    QCOMPARE(dirtied, 0);
    QCOMPARE(h->value(), scrolled);
}

void TestCanvasEditing::eachPressOfADoubleClickCounts_data()
{
    QTest::addColumn<QList<int>>("keys"); // held through both clicks
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("selectedBefore");
    QTest::addColumn<qreal>("zoom");
    const QList<int> zoomKeys{Qt::Key_Control, Qt::Key_Space};
    QTest::newRow("Control on an unselected light")
        << QList<int>{} << Qt::KeyboardModifiers(Qt::ControlModifier) << false << 1.0;
    QTest::newRow("Control on a selected light")
        << QList<int>{} << Qt::KeyboardModifiers(Qt::ControlModifier) << true << 1.0;
    QTest::newRow("zoom in") << zoomKeys << Qt::KeyboardModifiers(Qt::ControlModifier) << false
                             << 1.25 * 1.25;
    QTest::newRow("zoom out") << zoomKeys + QList<int>{Qt::Key_Alt}
                              << (Qt::ControlModifier | Qt::AltModifier) << false << 0.8 * 0.8;
}

// The toolkit hands a double click's second press over as a double click: it counts as a
// press all the same. A Control double click on a light toggles it twice, two quick clicks
// of a zoom tool zoom twice.
void TestCanvasEditing::eachPressOfADoubleClickCounts()
{
    QFETCH(QList<int>, keys);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, selectedBefore);
    QFETCH(qreal, zoom);
    Light *a = light("A", 200, 200);
    if (selectedBefore)
        click({202, 202});
    for (int key : keys)
        QTest::keyPress(m_view, Qt::Key(key));
    EventCounter doubleClicks(m_view->viewport(), QEvent::MouseButtonDblClick);
    const QPoint pixel = at({202, 202});
    int ms = QTest::lastMouseTimestamp + 10000;
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                    QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        pointerAt(type, pixel, ms += 50, modifiers);
    QTest::lastMouseTimestamp = ms + 10000;
    for (int key : keys)
        QTest::keyRelease(m_view, Qt::Key(key));
    QCOMPARE(doubleClicks.count, 1);
    QCOMPARE(m_view->isSelected(a->uid()), selectedBefore);
    QCOMPARE(m_selection->isLightSelected(a->uid()), selectedBefore);
    QVERIFY(qFuzzyCompare(m_view->transform().m11(), zoom));
    QCOMPARE(a->pose().x, 200.0);
}

void TestCanvasEditing::bandLetGoLeavesLightsUnselected_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QList<QPointF>>("moves");
    QTest::addColumn<QStringList>("left"); // selected at the release
    // "A" at x 120, "C" at 160, "B" at 300 selected before the band.
    const QList<QPointF> overAThenOff{{130, 130}, {110, 110}};
    QTest::newRow("plain band") << Qt::KeyboardModifiers() << QPointF(100, 100) << overAThenOff
                                << QStringList();
    QTest::newRow("Shift band") << Qt::KeyboardModifiers(Qt::ShiftModifier) << QPointF(100, 100)
                                << overAThenOff << QStringList{"B"};
    QTest::newRow("Control band") << Qt::KeyboardModifiers(Qt::ControlModifier) << QPointF(100, 100)
                                  << overAThenOff << QStringList{"B"};
    QTest::newRow("band over two, shrunk to one")
        << Qt::KeyboardModifiers() << QPointF(180, 100) << QList<QPointF>{{110, 130}, {150, 130}}
        << QStringList{"C"};
}

// A light that a band covered and then let go of before the release is unselected in the
// canvas's list and set, on its square, in the effect and on the menu's actions alike, so that
// a plain click on it selects it.
void TestCanvasEditing::bandLetGoLeavesLightsUnselected()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QPointF, from);
    QFETCH(QList<QPointF>, moves);
    QFETCH(QStringList, left);
    const QList<Light *> lights{light("A", 120, 120), light("B", 300, 120), light("C", 160, 120)};
    auto agrees = [&](const QStringList &names) {
        QStringList listed;
        for (quint64 uid : m_view->selectionList())
            listed << m_map->light(uid)->name();
        for (const Light *l : lights) {
            const bool in = names.contains(l->name());
            // Without a frame a square shows black, or red while it is selected.
            const QRgb mark = in ? qRgb(255, 0, 0) : qRgb(0, 0, 0);
            if (m_view->isSelected(l->uid()) != in ||
                m_selection->isLightSelected(l->uid()) != in ||
                m_view->getLayoutViewLight(l->uid())->fillColor() != mark)
                return false;
        }
        return listed == names && actionEnabled("Delete Selection") == !names.isEmpty() &&
               actionEnabled("Rotate Selection CW") == !names.isEmpty() &&
               actionEnabled("Create Group Interactively...");
    };
    click({302, 122});
    press(from, modifiers);
    for (const QPointF &p : moves)
        moveTo(p);
    release(moves.last());
    QVERIFY(agrees(left));
    click({122, 122});
    QVERIFY(agrees({"A"}));
}

void TestCanvasEditing::autoZoomFitsTheLights_data()
{
    QTest::addColumn<QList<QPointF>>("places");
    QTest::addColumn<bool>("fits");
    QTest::newRow("from the origin") << QList<QPointF>{{0, 0}, {1400, 900}} << true;
    QTest::newRow("away from the origin") << QList<QPointF>{{200, 100}, {1600, 1300}} << true;
    QTest::newRow("one light at the origin") << QList<QPointF>{{0, 0}} << false;
    QTest::newRow("empty map") << QList<QPointF>{} << false;
}

void TestCanvasEditing::autoZoomFitsTheLights()
{
    QFETCH(QList<QPointF>, places);
    QFETCH(bool, fits);
    for (const QPointF &p : places)
        light("L", p.x(), p.y());
    m_view->autoZoom();
    if (!fits) {
        QVERIFY(m_view->transform().isIdentity());
        return;
    }
    QVERIFY(m_view->transform().m11() < 1);
    const QRectF seen = m_view->mapToScene(m_view->viewport()->rect()).boundingRect();
    for (const QPointF &p : places)
        QVERIFY2(seen.contains(p), qPrintable(QString("%1, %2").arg(p.x()).arg(p.y())));
}

void TestCanvasEditing::menuKeyOpensThePopupMenu()
{
    // The Menu key reaches the canvas as a keyboard context-menu request.
    bool shown = false;
    QTimer closer;
    closer.setSingleShot(true);
    connect(&closer, &QTimer::timeout, m_view, [&] {
        shown = m_view->popupMenu()->isVisible();
        m_view->popupMenu()->close();
    });
    closer.start(0);
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(40, 30),
                              m_view->mapToGlobal(QPoint(40, 30)));
    QApplication::sendEvent(m_view, &menuKey);
    QVERIFY(shown);
    QVERIFY(!m_view->popupMenu()->isVisible());
}

namespace {
// Notes whether the canvas's menu showed while the event loop ran, and closes it so that the
// test goes on.
struct MenuWatch
{
    explicit MenuWatch(LayoutView *view)
    {
        QObject::connect(&closer, &QTimer::timeout, view, [this, view] {
            shown = shown || view->popupMenu()->isVisible();
            view->popupMenu()->close();
        });
        closer.start(0);
    }
    bool shown = false;
    QTimer closer;
};
} // namespace

void TestCanvasEditing::keysOpenThePopupMenu_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                               << true;
    QTest::newRow("F10") << int(Qt::Key_F10) << Qt::KeyboardModifiers() << false;
    QTest::newRow("Control+Shift+F10")
        << int(Qt::Key_F10) << (Qt::ControlModifier | Qt::ShiftModifier) << false;
    QTest::newRow("Shift+F9") << int(Qt::Key_F9) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                              << false;
}

// Shift+F10 comes as a plain key, not as a context-menu request: through the key it opens
// the canvas's menu, as the Menu key does.
void TestCanvasEditing::keysOpenThePopupMenu()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, opens);
    MenuWatch menu(m_view);
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key(key), modifiers);
    QCOMPARE(menu.shown, opens);
}

void TestCanvasEditing::onlyKeyboardRequestsOpenTheMenu_data()
{
    QTest::addColumn<bool>("zoomKeys");
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Menu key") << false << int(QContextMenuEvent::Keyboard) << true;
    QTest::newRow("right click's request") << false << int(QContextMenuEvent::Mouse) << false;
    QTest::newRow("right click, zoom keys held") << true << int(QContextMenuEvent::Mouse) << false;
}

// A right press does what the pointer rules say (with Control and Space held: nothing); the
// request the platform sends after it must not open the menu a second time, or at all.
void TestCanvasEditing::onlyKeyboardRequestsOpenTheMenu()
{
    QFETCH(bool, zoomKeys);
    QFETCH(int, reason);
    QFETCH(bool, opens);
    Light *a = light("A", 120, 120);
    click({122, 122});
    MenuWatch menu(m_view);
    if (zoomKeys) {
        QTest::keyPress(m_view, Qt::Key_Control);
        QTest::keyPress(m_view, Qt::Key_Space);
    }
    const QPoint p = at({122, 122});
    if (reason == int(QContextMenuEvent::Mouse)) {
        QTest::mousePress(m_view->viewport(), Qt::RightButton, {}, p);
        // The press alone pops the menu up, unless the zoom keys are held.
        QCOMPARE(m_view->popupMenu()->isVisible(), !zoomKeys);
        m_view->popupMenu()->close();
    }
    QContextMenuEvent request(QContextMenuEvent::Reason(reason), p,
                              m_view->viewport()->mapToGlobal(p));
    QApplication::sendEvent(m_view->viewport(), &request);
    QTest::mouseRelease(m_view->viewport(), Qt::RightButton, {}, p);
    QCOMPARE(menu.shown, opens);
    if (zoomKeys) {
        QTest::keyRelease(m_view, Qt::Key_Space);
        QTest::keyRelease(m_view, Qt::Key_Control);
        QVERIFY(m_view->transform().isIdentity());
    }
    QCOMPARE(m_view->selectionList(), uids({a}));
}

void TestCanvasEditing::topSquareIsTheOneFound_data()
{
    QTest::addColumn<double>("dx");
    QTest::addColumn<bool>("leftFirst");
    QTest::newRow("across a tile border") << 0.0 << false;
    QTest::newRow("across a tile border, left one made first") << 0.0 << true;
    QTest::newRow("inside one tile") << -100.0 << false;
    QTest::newRow("inside one tile, left one made first") << -100.0 << true;
}

// Squares made later lie on top: the one drawn there is the one a click selects, a tip names
// and a drag takes, wherever tile borders run. "Z A" at x 240 and "Z B" at x 237 overlap;
// with dx 0 the tile border at x 240 runs between their corners.
void TestCanvasEditing::topSquareIsTheOneFound()
{
    QFETCH(double, dx);
    QFETCH(bool, leftFirst);
    m_view->setSnapToGrid(false);
    light("Z P", 100 + dx, 400);
    Light *a = nullptr, *b = nullptr;
    if (leftFirst) {
        b = light("Z B", 237 + dx, 402);
        a = light("Z A", 240 + dx, 400);
    } else {
        a = light("Z A", 240 + dx, 400);
        b = light("Z B", 237 + dx, 402);
    }
    Light *top = leftFirst ? a : b;
    Light *under = leftFirst ? b : a;
    m_view->centerOn(240 + dx, 404);
    const QPointF overlap(241.5 + dx, 404.5);
    const QPointF onlyA(244.2 + dx, 400.2);
    const QPointF onlyB(238.2 + dx, 407.2);
    const QPointF onlyUnder = under == a ? onlyA : onlyB;
    m_selection->setLightSelected(under->uid(), true);
    QCOMPARE(shownAt(onlyUnder), QColor(Qt::red));
    QCOMPARE(shownAt(overlap), QColor(Qt::black));
    m_selection->clearSelection();
    m_selection->setLightSelected(top->uid(), true);
    QCOMPARE(shownAt(overlap), QColor(Qt::red));
    QCOMPARE(shownAt(onlyUnder), QColor(Qt::black));

    click(overlap);
    QCOMPARE(m_view->selectionList(), uids({top}));
    QCOMPARE(tipAt(overlap), top->name());
    QCOMPARE(tipAt(onlyUnder), under->name());
    drag(overlap, overlap + QPointF(0, 60));
    const LightPose topPose = top->pose(), underPose = under->pose();
    QCOMPARE(topPose.y, (top == a ? 400.0 : 402.0) + 60);
    QCOMPARE(underPose.y, under == a ? 400.0 : 402.0);
}

void TestCanvasEditing::lineSelectsWhatItSweeps_data()
{
    QTest::addColumn<QList<QPointF>>("moves");
    QTest::addColumn<QStringList>("selected");
    // A light inside the line's bounds but off the line stays out.
    QTest::newRow("diagonal in one move") << QList<QPointF>{{100, 100}} << QStringList{"On"};
    QTest::newRow("across, then down")
        << QList<QPointF>{{100, 0}, {100, 100}} << QStringList{"Beside", "On"};
}

// With Alt held the line from the press to the pointer selects the lights whose squares meet
// the triangle it swept since the last move.
void TestCanvasEditing::lineSelectsWhatItSweeps()
{
    QFETCH(QList<QPointF>, moves);
    QFETCH(QStringList, selected);
    light("Beside", 90, 10);
    light("On", 47, 50);
    // Sent straight to the viewport: QTest takes a press at its (0, 0) for one at its centre.
    auto send = [this](QEvent::Type type, QPointF p, Qt::MouseButtons held) {
        const QPointF pixel = at(p);
        QMouseEvent event(type, pixel, m_view->viewport()->mapToGlobal(pixel), Qt::LeftButton, held,
                          Qt::AltModifier);
        QApplication::sendEvent(m_view->viewport(), &event);
    };
    QCOMPARE(at({0, 0}), QPoint(0, 0));
    send(QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton);
    for (const QPointF &p : moves)
        send(QEvent::MouseMove, p, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, moves.last(), Qt::NoButton);
    QStringList names;
    for (quint64 uid : m_view->selectionList())
        names << m_map->light(uid)->name();
    names.sort();
    QCOMPARE(names, selected);
}

void TestCanvasEditing::clicksHitWhatIsDrawn_data()
{
    QTest::addColumn<bool>("outlined");
    QTest::addColumn<qreal>("zoom");
    QTest::addColumn<QList<QPointF>>("places");
    // One square reaching across a column border of the tiles, one over another.
    const QList<QPointF> plain{{120, 120}, {237, 130}, {160, 200}, {163, 203}};
    // Squares an undo put back between whole units.
    const QList<QPointF> fractional{{120.8, 120.9}, {237.6, 130.7}, {160.1, 200.2}, {163.5, 203.5}};
    // Just above a row border at y 480: one alone in its column, one reaching across a column
    // and the row border, one across the row border with another over it.
    const QList<QPointF> rowBorder{{600, 470}, {237, 477}, {400, 474}, {403, 477}};
    auto row = [](const char *what, bool outlined, qreal zoom, const QList<QPointF> &places) {
        QTest::addRow("%s, %g", what, zoom) << outlined << zoom << places;
    };
    for (qreal zoom : {1.0, 2.0, 1.25, 2.44140625, 0.8})
        row("fill only", false, zoom, plain);
    // Whole numbers, then the steps of Zoom In and Zoom Out. The tiles keep pictures of what
    // they draw from about 1:30 to 4:1; beyond, they fill the squares' pixels on the view.
    for (qreal zoom : {1.0, 2.0, 3.0, 4.0, 8.0})
        row("outlined", true, zoom, plain);
    qreal zoom = 1;
    for (int step = 1; step <= 8; ++step)
        row("outlined", true, zoom *= 1.25, plain);
    zoom = 1;
    for (int step = 1; step <= 28; ++step) {
        zoom *= 0.8;
        if (step <= 3 || step % 4 == 0)
            row("outlined", true, zoom, plain);
        // Far out a square shrinks to a pixel, which may lie in the next row of tiles.
        if (step == 1 || (step >= 16 && step % 2 == 0))
            row("outlined, by a row border", true, zoom, rowBorder);
    }
    for (qreal zoom : {1.0 / 30, 0.03, 0.002})
        row("outlined, by a row border", true, zoom, rowBorder);
    row("fill only, by a row border", false, 0.03, rowBorder);
    for (qreal zoom : {1.0, 2.0, 1.25, 1.5625, 0.8})
        row("outlined, fractional places", true, zoom, fractional);
}

// A click selects the square the view painted under the pointer, the one on top where two
// overlap: a press on every pixel about four squares against the pixels of the view's
// picture, at whole zooms and at the zoom steps, whose pixels' corners fall between the
// squares' edges, and far out, where squares shrink to a pixel.
void TestCanvasEditing::clicksHitWhatIsDrawn()
{
    QFETCH(bool, outlined);
    QFETCH(qreal, zoom);
    QFETCH(QList<QPointF>, places);
    QList<Light *> lights;
    for (const QPointF &p : places) {
        lights << light(QString(QChar(char16_t(u'A' + lights.size()))), p.x(), p.y());
        m_view->refreshLightItem(lights.last()->uid()); // fractions kept, as an undo puts it
    }
    const QList<QRgb> colours{qRgb(10, 20, 30), qRgb(40, 50, 60), qRgb(70, 80, 90),
                              qRgb(100, 110, 120)};
    // Without a frame the squares have no outline: black, or red where selected.
    auto paint = [&] {
        m_selection->clearSelection();
        for (int i = 0; outlined && i < lights.size(); ++i)
            showColour(lights.at(i), colours.at(i));
        if (!outlined)
            m_selection->setLightSelected(lights.last()->uid(), true);
    };
    auto owner = [&](QRgb painted, const QPointF &scene) {
        if (outlined || painted == qRgb(255, 0, 0))
            return painted == qRgb(255, 0, 0) ? 3 : int(colours.indexOf(painted));
        if (painted != qRgb(0, 0, 0))
            return -1;
        int nearest = 0; // A, B and C lie far apart
        for (int i = 1; i < 3; ++i) {
            if (QLineF(scene, places.at(i)).length() < QLineF(scene, places.at(nearest)).length())
                nearest = i;
        }
        return nearest;
    };
    m_view->scale(zoom, zoom);
    int presses = 0, wrong = 0;
    QString first;
    for (const QPointF &p : places) {
        paint();
        m_view->centerOn(p + QPointF(3, 3));
        const QImage shown = m_view->viewport()->grab().toImage();
        const QRect about = m_view->mapFromScene(QRectF(p - QPointF(1, 1), QSizeF(8, 8)))
                                .boundingRect()
                                .adjusted(-2, -2, 2, 2);
        for (int y = about.top(); y <= about.bottom(); ++y) {
            for (int x = about.left(); x <= about.right(); ++x) {
                const QPoint pixel(x, y);
                const int drawn = owner(shown.pixel(pixel) | 0xff000000, m_view->mapToScene(pixel));
                clickPixel(pixel);
                const quint64 expected = drawn < 0 ? 0 : lights.at(drawn)->uid();
                const QList<quint64> &selected = m_view->selectionList();
                ++presses;
                if (selected.size() <= 1 && selected.value(0) == expected)
                    continue;
                if (wrong++ == 0) {
                    const QPointF scene = m_view->mapToScene(pixel);
                    first = QStringLiteral("pixel %1, %2 (%3, %4) painted %5, selected %6")
                                .arg(x)
                                .arg(y)
                                .arg(scene.x())
                                .arg(scene.y())
                                .arg(drawn < 0 ? QStringLiteral("-") : lights.at(drawn)->name())
                                .arg(selected.isEmpty() ? QStringLiteral("-")
                                                        : m_map->light(selected.at(0))->name());
                }
            }
        }
    }
    QVERIFY2(wrong == 0, qPrintable(QStringLiteral("%1 of %2 presses wrong; first: %3")
                                        .arg(wrong)
                                        .arg(presses)
                                        .arg(first)));
}

// The band starts in the cell right of a square's corner, yet reaches the square.
void TestCanvasEditing::bandFindsSquaresReachingIntoItsCell()
{
    Light *a = light("A", 237, 300);
    drag({241, 280}, {290, 320});
    QCOMPARE(m_view->selectionList(), uids({a}));
}

// Outlines (which every live frame gives) may meet at a drop, not overlap.
void TestCanvasEditing::dropMayTouchButNotOverlap()
{
    m_view->setSnapToGrid(false);
    Light *a = light("A", 120, 120), *b = light("B", 200, 120);
    for (Light *l : {a, b})
        showColour(l, qRgb(0, 0, 0));
    zoomSoThatMovesOf(1);
    m_view->centerOn(195, 122);
    drag({122, 122}, {195, 122}); // 7 units from b: the outlines touch
    QCOMPARE(a->pose().x, 193.0);
    drag({195, 122}, {196, 122}); // 6 units: they overlap
    QCOMPARE(a->pose().x, 193.0);
    QCOMPARE(m_undo->undoCount(), 1);
}

// Opening the same map again brings the same uids back, none of them selected.
void TestCanvasEditing::reopenedMapSelectsByClick()
{
    light("A", 120, 120);
    click({122, 122});
    const QByteArray text = m_map->mapText();
    QVERIFY(m_map->clearMap());
    QVERIFY(m_map->loadMapData(text, {}));
    const quint64 a = m_map->lights().keys().value(0);
    QVERIFY(!m_selection->isLightSelected(a));
    click({122, 122});
    QCOMPARE(m_view->selectionList(), QList<quint64>{a});
    QVERIFY(m_selection->isLightSelected(a));
}

void TestCanvasEditing::lightsDeselectedElsewhereStayBehind_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("draggedBefore");
    QTest::newRow("the selection effect") << "effect" << 0;
    QTest::newRow("the light's own group") << "group" << 0;
    QTest::newRow("a Control band") << "band" << 0;
    // The drag before has the canvas keep the selection's squares at hand.
    QTest::newRow("the selection effect, after a drag") << "effect" << 24;
    QTest::newRow("the light's own group, after a drag") << "group" << 24;
    QTest::newRow("a Control band, after a drag") << "band" << 24;
}

// The light tree and the group panel deselect through the selection effect, a Control band on
// the canvas itself; the canvas's next drag must leave those lights where they are.
void TestCanvasEditing::lightsDeselectedElsewhereStayBehind()
{
    QFETCH(QString, way);
    QFETCH(int, draggedBefore);
    Light *a = light("A", 120, 120), *b = light("B", 240, 120);
    click({122, 122});
    click({242, 122}, Qt::ControlModifier);
    QCOMPARE(m_view->selectionList(), uids({a, b}));
    if (draggedBefore)
        drag({122, 122}, {122, 122.0 + draggedBefore});
    const double y = 120 + draggedBefore;
    QCOMPARE(b->pose().y, y);
    if (way == "band")
        drag({230, y - 20}, {260, y + 20}, Qt::ControlModifier);
    else if (way == "group")
        m_selection->setGroupSelected(b->uid(), false);
    else
        m_selection->setLightSelected(b->uid(), false);
    QCOMPARE(m_view->selectionList(), uids({a}));
    drag({122, y + 2}, {122, y + 50});
    QCOMPARE(a->pose().y, y + 48);
    QCOMPARE(b->pose().y, y);
    QCOMPARE(m_view->getLayoutViewLight(b->uid())->y(), y);
}

// Deleting through the model (the light tree, network sync) takes the square away on the spot:
// nothing shows, tips and clicks find nothing there.
void TestCanvasEditing::deletedLightLeavesTheCanvasAtOnce()
{
    light("A", 120, 120);
    Light *b = light("B", 240, 120);
    const QColor empty = shownAt({300, 300});
    m_selection->setLightSelected(b->uid(), true);
    QCOMPARE(shownAt({243, 123}), QColor(Qt::red));
    m_map->deleteLight(b->uid());
    QCOMPARE(shownAt({243, 123}), empty);
    QCOMPARE(shownAt({240, 123}), empty);
    QCOMPARE(tipAt({243, 123}), QString());
    QCOMPARE(m_view->lightCount(), 1);
    click({243, 123});
    QVERIFY(m_view->selectionList().isEmpty());
}

namespace {
// One canvas of its own for the band comparison.
struct BandRig
{
    MapModel map;
    SelectionEffect effect{&map, 0xFFFFFFFF, nullptr};
    QGraphicsScene scene{0, 0, 800, 800};
    LayoutView view{&map, &effect, &scene, nullptr, "Layout View"};
    QList<quint64> uids; // by creation
    int told = 0;

    explicit BandRig(const QList<QPointF> &places)
    {
        QObject::connect(&map, &MapModel::newLight, &effect, &SelectionEffect::handleNewLight);
        QObject::connect(&effect, &SelectionEffect::lightSelectionChanged, &view,
                         [this] { ++told; });
        view.resize(400, 400);
        view.show();
        view.centerOn(200, 200);
        DataSupply *ds = addInterface(&map, "Band", QHostAddress("127.0.0.2"));
        int channel = 0;
        for (const QPointF &p : places)
            uids << addLight(&map, ds, QStringLiteral("L"), 0, (channel += 3) % 510, p)->uid();
    }
    // The selection by creation index, in selection order.
    QList<int> selection() const
    {
        QList<int> out;
        for (quint64 uid : view.selectionList())
            out << int(uids.indexOf(uid));
        return out;
    }
    QList<int> selectedInEffect()
    {
        QList<int> out;
        for (int i = 0; i < uids.size(); ++i)
            if (effect.isLightSelected(uids.at(i)))
                out << i;
        return out;
    }
    QList<QRgb> fills() const
    {
        QList<QRgb> out;
        for (quint64 uid : uids)
            out << view.getLayoutViewLight(uid)->fillColor();
        return out;
    }
    void send(QEvent::Type type, QPointF at, Qt::MouseButtons held, Qt::KeyboardModifiers m)
    {
        const QPointF p = view.mapFromScene(at);
        QMouseEvent event(type, p, view.viewport()->mapToGlobal(p), Qt::LeftButton, held, m);
        QApplication::sendEvent(view.viewport(), &event);
    }
};
} // namespace

void TestCanvasEditing::bandChangesOnlyWhatItMustButEndsTheSame_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 4; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Each band move changes only the lights whose state changes; clearing and selecting again
// by the rules at every move is the plain way. Both canvases see the same random bands
// (plain, Control, Shift, Alt lines, across tile borders) and must agree after every move on
// the order of the selection, the effect's selection and every square's fill, the fast one
// telling no more lights than the plain one.
void TestCanvasEditing::bandChangesOnlyWhatItMustButEndsTheSame()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    QList<QPointF> places;
    for (int i = 0; i < 60; ++i)
        places << QPointF(120 + 12 * random.bounded(20), 120 + 12 * random.bounded(20));
    BandRig fast(places), plain(places);
    plain.view.setBandClearsFirst(true);
    const Qt::KeyboardModifiers kinds[] = {Qt::NoModifier, Qt::ControlModifier, Qt::ShiftModifier,
                                           Qt::AltModifier};
    QStringList steps;
    auto point = [&random] {
        return QPointF(100 + random.bounded(300), 100 + random.bounded(300));
    };
    for (int band = 0; band < 12; ++band) {
        const Qt::KeyboardModifiers m = kinds[random.bounded(4)];
        // Bands start beside the lights so that the press hits none.
        const QPointF from(random.bounded(2) ? 101 : 398, 100 + random.bounded(300));
        steps << QStringLiteral("band %1 from %2,%3").arg(int(m)).arg(from.x()).arg(from.y());
        for (BandRig *rig : {&fast, &plain})
            rig->send(QEvent::MouseButtonPress, from, Qt::LeftButton, m);
        const int moves = 1 + int(random.bounded(5));
        QPointF to;
        for (int i = 0; i < moves; ++i) {
            to = point();
            steps << QStringLiteral("to %1,%2").arg(to.x()).arg(to.y());
            const int fastTold = fast.told, plainTold = plain.told;
            for (BandRig *rig : {&fast, &plain})
                rig->send(QEvent::MouseMove, to, Qt::LeftButton, m);
            const QString where = steps.join(QStringLiteral("; "));
            QVERIFY2(fast.selection() == plain.selection(), qPrintable(where));
            QList<int> listed = fast.selection();
            std::sort(listed.begin(), listed.end());
            QVERIFY2(listed == fast.selectedInEffect(), qPrintable(where));
            QVERIFY2(fast.selectedInEffect() == plain.selectedInEffect(), qPrintable(where));
            QVERIFY2(fast.fills() == plain.fills(), qPrintable(where));
            QVERIFY2(fast.told - fastTold <= plain.told - plainTold, qPrintable(where));
        }
        for (BandRig *rig : {&fast, &plain})
            rig->send(QEvent::MouseButtonRelease, to, Qt::NoButton, m);
    }
}

void TestCanvasEditing::rotateAndFlipKeepHeightAndRotation()
{
    Light *a = light("A", 120, 120), *b = light("B", 144, 120), *c = light("C", 130, 300);
    click({122, 122});
    click({146, 122}, Qt::ControlModifier);
    trigger("Rotate Selection CW"); // about the pair's centre (132, 120)
    QCOMPARE(QPointF(a->pose().x, a->pose().y), QPointF(132, 108));
    QCOMPARE(QPointF(b->pose().x, b->pose().y), QPointF(132, 132));
    trigger("Rotate Selection CCW");
    QCOMPARE(QPointF(a->pose().x, a->pose().y), QPointF(120, 120));
    trigger("Flip Selection Horizontally");
    QCOMPARE(a->pose().x, 144.0);
    QCOMPARE(b->pose().x, 120.0);
    trigger("Flip Selection Vertically"); // one shared y: nothing moves vertically
    QCOMPARE(a->pose().y, 120.0);
    QCOMPARE(a->pose().z, 7.5);
    QCOMPARE(b->pose().q3, 0.5);
    QCOMPARE(m_undo->undoCount(), 4);
    click({132, 302}); // one light on the grid turns about itself and stays
    trigger("Rotate Selection CW");
    QCOMPARE(QPointF(c->pose().x, c->pose().y), QPointF(132, 300));
}

void TestCanvasEditing::turnsSnapBeforeTheyAreChecked_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<QPointF>("first");
    QTest::addColumn<QPointF>("second");
    QTest::newRow("clockwise") << "Rotate Selection CW" << QPointF(12, 0) << QPointF(12, 12);
    QTest::newRow("counter-clockwise")
        << "Rotate Selection CCW" << QPointF(12, 12) << QPointF(12, 0);
}

// Lights at (0, 0) and (12, 0) turn about (6, 0): one lands 6 units above the canvas's top
// edge, which the grid of 12 puts back on it. Snapped first, the turn is within bounds.
void TestCanvasEditing::turnsSnapBeforeTheyAreChecked()
{
    QFETCH(QString, turn);
    QFETCH(QPointF, first);
    QFETCH(QPointF, second);
    Light *a = light("A", 0, 0), *b = light("B", 12, 0);
    click({2, 2});
    click({14, 2}, Qt::ControlModifier);
    trigger(turn);
    QCOMPARE(QPointF(a->pose().x, a->pose().y), first);
    QCOMPARE(QPointF(b->pose().x, b->pose().y), second);
    QCOMPARE(m_view->getLayoutViewLight(a->uid())->pos(), first);
    QCOMPARE(a->pose().z, 7.5);
    QCOMPARE(m_undo->undoCount(), 1);
}

void TestCanvasEditing::deleteAsksAndCancelKeepsTheRest()
{
    ScriptedPrompt prompt;
    QList<Light *> lights;
    for (int i = 0; i < 4; ++i)
        lights << light(QString::number(i), 100 + 24 * i, 100);
    drag({50, 50}, {250, 150});
    QCOMPARE(m_view->selectionList().size(), 4);
    trigger("Delete Selection"); // answered No
    QCOMPARE(prompt.titles, QStringList({"Confirm Light Deletion"}));
    QCOMPARE(m_map->lights().size(), 4);

    prompt.answers << QMessageBox::Yes;
    const QList<quint64> order = m_view->selectionList();
    int deleted = 0;
    QObject scope; // the counter goes with this test
    connect(m_map, &MapModel::deletedLight, &scope, [this, &deleted] {
        if (++deleted == 2)
            m_view->findChild<QProgressDialog *>()->cancel();
    });
    trigger("Delete Selection");
    QCOMPARE(m_map->lights().size(), 2);
    QCOMPARE(m_view->selectionList(), order.mid(2)); // the lights left stay selected
    QVERIFY(m_selection->isLightSelected(order.at(3)));
    QVERIFY(!m_view->getUpdatePaused());
}

// The deletion serves its progress dialog, but the canvas paints nothing until the command
// ends: then every deleted square is gone at once.
void TestCanvasEditing::deleteHoldsTheCanvasUntilItEnds()
{
    ScriptedPrompt prompt;
    prompt.answers << QMessageBox::Yes;
    for (int i = 0; i < 6; ++i)
        light(QString::number(i), 100 + 24 * i, 100);
    const QColor empty = shownAt({300, 300});
    drag({50, 50}, {300, 150});
    QCoreApplication::processEvents();
    EventCounter paints(m_view->viewport(), QEvent::Paint);
    int before = -1;
    int servedDialog = 0;
    QObject scope;
    connect(m_map, &MapModel::deletedLight, &scope, [&] {
        if (before < 0)
            before = paints.count;
        // As the command's loop serves the dialog when a deletion takes long.
        QCoreApplication::processEvents();
        servedDialog += m_view->findChild<QProgressDialog *>()->isVisible();
    });
    trigger("Delete Selection");
    QCOMPARE(m_map->lights().size(), 0);
    QCOMPARE(servedDialog, 6);
    QCOMPARE(paints.count, before);
    QCoreApplication::processEvents();
    QVERIFY(paints.count > before);
    QCOMPARE(shownAt({103, 103}), empty);
    QCOMPARE(shownAt({223, 103}), empty);
}

void TestCanvasEditing::lineMakesAnOrderedGroup()
{
    Light *left = light("L", 100, 200), *low = light("Low", 300, 260);
    Light *high = light("High", 300, 140), *right = light("R", 500, 200);
    // The group editor opens on the new group: accepted it keeps the group, rejected it
    // takes the group out again.
    ModalDriver driver;
    driver.then([](QWidget *editor) { qobject_cast<QDialog *>(editor)->accept(); });
    driver.then([](QWidget *editor) { qobject_cast<QDialog *>(editor)->reject(); });
    for (int run = 0; run < 2; ++run) {
        trigger("Create Group Interactively...");
        press({50, 203});
        moveTo({300, 203});
        release({600, 203});
    }
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(m_map->groups().size() - m_map->lights().size(), 1); // own groups aside
    Group *group = nullptr;
    for (Group *g : m_map->groups())
        group = g->name() == "New Group" ? g : group;
    QVERIFY(group);
    QCOMPARE(group->type(), int(Group::Chasing));
    QCOMPARE(group->children(), uids({left, low, high, right}));
}

void TestCanvasEditing::newMapClearsTheUndoStacks()
{
    ScriptedPrompt prompt;
    MetaTool window;
    QAction *undo = window.form().undoAction;
    emit window.layoutView()->addUndoActionList(new UndoActionList); // empty: no step
    QVERIFY(!undo->isEnabled());
    auto *steps = new UndoActionList;
    steps->append(new UndoAction{UndoAction::LightPosition, 1, LightPose()});
    emit window.layoutView()->addUndoActionList(steps);
    QVERIFY(undo->isEnabled());
    window.handleNewMapAction();
    QVERIFY(!undo->isEnabled());
    QVERIFY(!window.form().redoAction->isEnabled());
}

QTEST_MAIN(TestCanvasEditing)
#include "tst_canvasediting.moc"
