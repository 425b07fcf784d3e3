#include "support/apptestsupport.h"

#include "app/groupview.h"
#include "app/groupviewgroup.h"
#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

namespace {
QAction *entry(QMenu *menu, const QString &prefix)
{
    for (QAction *a : menu->actions())
        if (!a->isSeparator() && a->text().startsWith(prefix))
            return a;
    return nullptr;
}
} // namespace

class TestGroupView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void rowsOnlyForChasingAndSynchronized();
    void menuForOneGroupAndForSeveral();
    void deleteSeveralGroups();
    void batchListsTheSameRows_data();
    void batchListsTheSameRows();

private:
    Group *addGroup(int type, const QString &name, const QList<quint64> &members = {});
    QStringList rowNames() const;

    MapModel *m_map = nullptr;
    SelectionEffect *m_selection = nullptr;
    GroupView *m_panel = nullptr;
    QList<quint64> m_lights;
};

void TestGroupView::init()
{
    m_map = new MapModel;
    m_selection = new SelectionEffect(m_map, 0xFFFFFFFF, nullptr);
    m_selection->reset();
    connect(m_map, &MapModel::newLight, m_selection, &SelectionEffect::handleNewLight);
    m_panel = new GroupView(m_map, m_selection, nullptr);
    DataSupply *ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
    m_lights.clear();
    for (int i = 0; i < 5; ++i)
        m_lights << addLight(m_map, ds, QString("L%1").arg(i), 0, 3 * i, QPointF())->uid();
}

void TestGroupView::cleanup()
{
    delete m_panel;
    delete m_selection;
    delete m_map;
}

Group *TestGroupView::addGroup(int type, const QString &name, const QList<quint64> &members)
{
    auto *g = new Group(type, m_map->nextUid(), name);
    if (!m_map->addGroup(g)) {
        delete g;
        return nullptr;
    }
    if (!members.isEmpty())
        g->addChildren(members);
    return g;
}

QStringList TestGroupView::rowNames() const
{
    QStringList names;
    for (int i = 0; i < m_panel->topLevelItemCount(); ++i)
        names << m_panel->topLevelItem(i)->text(0);
    return names;
}

void TestGroupView::rowsOnlyForChasingAndSynchronized()
{
    // Five lights brought five own groups and no row.
    QCOMPARE(m_panel->topLevelItemCount(), 0);
    QSignalSpy dirty(m_panel, &GroupView::setDirty);
    Group *g = addGroup(1, "Chase", m_lights);
    QCOMPARE(m_panel->topLevelItemCount(), 1);
    QVERIFY(dirty.count() >= 1);
    GroupViewGroup *row = m_panel->groupItem(g->uid());
    QCOMPARE(row->type(), 2004);
    QCOMPARE(row->uid(), g->uid());
    QCOMPARE(row->text(2), QString::number(g->uid()));
    QCOMPARE(row->groupType(), 1u);
    g->setName("Renamed");
    QCOMPARE(row->text(0), QString("Renamed"));
    m_map->deleteGroup(g->uid());
    QCOMPARE(m_panel->topLevelItemCount(), 0);
}

void TestGroupView::menuForOneGroupAndForSeveral()
{
    Group *a = addGroup(1, "A", m_lights.mid(0, 2));
    Group *b = addGroup(2, "B", m_lights.mid(2, 2));
    QMenu *menu = m_panel->popupMenu();
    m_panel->groupItem(a->uid())->setSelected(true);
    m_panel->prepareMenu(m_panel->groupItem(a->uid()));
    QCOMPARE(entry(menu, "Delete")->text(), QString("Delete Group"));
    QVERIFY(entry(menu, "Duplicate Group")->isEnabled());
    QVERIFY(entry(menu, "Highlight Group")->isEnabled());
    QVERIFY(entry(menu, "Edit Group...")->isEnabled());
    entry(menu, "Highlight Group")->trigger();
    QVERIFY(m_selection->isHighlighting());

    m_panel->groupItem(b->uid())->setSelected(true);
    m_panel->prepareMenu(m_panel->groupItem(a->uid()));
    QCOMPARE(entry(menu, "Delete")->text(), QString("Delete Groups"));
    QVERIFY(!entry(menu, "Duplicate Group")->isEnabled());
    QVERIFY(!entry(menu, "Highlight Group")->isEnabled());
    QVERIFY(!entry(menu, "Edit Group...")->isEnabled());
}

void TestGroupView::deleteSeveralGroups()
{
    Group *a = addGroup(1, "A", m_lights.mid(0, 2));
    Group *b = addGroup(2, "B", m_lights.mid(2, 2));
    Group *outer = addGroup(1, "Outer", {a->uid(), m_lights[4]});
    const quint64 ua = a->uid(), ub = b->uid(), uo = outer->uid();
    m_panel->groupItem(ua)->setSelected(true);
    m_panel->groupItem(ub)->setSelected(true);
    m_panel->prepareMenu(m_panel->groupItem(ua));
    entry(m_panel->popupMenu(), "Delete")->trigger();
    // Deferred to the event loop.
    QVERIFY(m_map->group(ua));
    QTRY_VERIFY(!m_map->group(ua) && !m_map->group(ub));
    QCOMPARE(rowNames(), QStringList({"Outer"}));
    QCOMPARE(m_map->group(uo)->children(), QList<quint64>({m_lights[4]}));
    for (quint64 uid : m_lights)
        QVERIFY(!m_selection->isLightSelected(uid));
}

void TestGroupView::batchListsTheSameRows_data()
{
    QTest::addColumn<bool>("batch");
    QTest::newRow("one group at a time") << false;
    QTest::newRow("one batch") << true;
}

// Rows of a batch enter the list at its end; a deletion or a repeated announcement during the
// batch works on the rows made so far.
void TestGroupView::batchListsTheSameRows()
{
    QFETCH(bool, batch);
    addGroup(2, "Sync 10", m_lights);
    if (batch)
        m_map->beginBatch();
    addGroup(1, "Chase 9", m_lights);
    const quint64 gone = addGroup(2, "Gone", m_lights)->uid();
    Group *again = addGroup(1, "Chase 10", {m_lights.first()});
    addGroup(3, "Own", {m_lights.first()});
    if (batch)
        QCOMPARE(rowNames(), QStringList({"Sync 10"}));
    m_map->deleteGroup(gone);
    emit m_map->newGroup(again->uid());
    addGroup(2, "Sync 2", m_lights);
    if (batch)
        m_map->endBatch();
    QCOMPARE(rowNames(), QStringList({"Chase 9", "Chase 10", "Sync 2", "Sync 10"}));
    QVERIFY(!m_panel->groupItem(gone));
    QCOMPARE(m_panel->groupItem(again->uid())->text(0), QString("Chase 10"));

    // Clearing the map in a batch drops the rows still waiting.
    m_map->beginBatch();
    addGroup(1, "Waiting", m_lights);
    m_map->clearMap();
    m_map->endBatch();
    QCOMPARE(m_panel->topLevelItemCount(), 0);
}

QTEST_MAIN(TestGroupView)
#include "tst_groupview.moc"
