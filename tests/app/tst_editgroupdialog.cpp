// DM_TEST_SANITIZE: walks a map file that holds a cycle of groups.
#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include "app/editgroupdialog.h"
#include "app/groupeditrules.h"
#include "app/groupview.h"
#include "app/layoutview.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QGraphicsScene>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {
QStringList names(QWidget *dialog, const char *list)
{
    QStringList result;
    auto *tree = widgetNamed<QTreeWidget>(dialog, list);
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        result << tree->topLevelItem(i)->text(0);
    return result;
}

void select(QWidget *dialog, const char *list, const QList<int> &rows)
{
    for (int row : rows)
        widgetNamed<QTreeWidget>(dialog, list)->topLevelItem(row)->setSelected(true);
}

void click(QWidget *dialog, const char *button)
{
    widgetNamed<QPushButton>(dialog, button)->click();
}
} // namespace

// Lights L0..L4; G (edited, synchronized) = [A, L0]; A = [L1, L2]; P = [G]; Q = [P]; B = [L3].
class TestEditGroupDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void upAndDown();
    void fillAddRemoveMarkAndOk();
    void cycleFromFileLoadsEditsAndCompiles();
    void panelAndCanvasOpenTheDialogs();

private:
    Group *addGroup(MapModel *map, int type, const QString &name, const QList<quint64> &members);

    MapModel *m_map = nullptr;
    SelectionEffect *m_selection = nullptr;
    EditGroupDialog *m_dialog = nullptr;
    QList<quint64> m_l;
    Group *m_g = nullptr, *m_p = nullptr, *m_q = nullptr, *m_b = nullptr;
};

void TestEditGroupDialog::init()
{
    m_map = new MapModel;
    m_selection = new SelectionEffect(m_map, 0xFFFFFFFF, nullptr);
    m_l.clear();
    for (int i = 0; i < 5; ++i)
        m_l << addLight(m_map, nullptr, QString("L%1").arg(i), 0, 0, QPointF())->uid();
    m_selection->reset();
    Group *a = addGroup(m_map, Group::Synchronized, "A", {m_l[1], m_l[2]});
    m_g = addGroup(m_map, Group::Synchronized, "G", {a->uid(), m_l[0]});
    m_p = addGroup(m_map, Group::Chasing, "P", {m_g->uid()});
    m_q = addGroup(m_map, Group::Chasing, "Q", {m_p->uid()});
    m_b = addGroup(m_map, Group::Synchronized, "B", {m_l[3]});
    m_dialog = new EditGroupDialog(m_map, m_selection, m_g, nullptr);
}

void TestEditGroupDialog::cleanup()
{
    delete m_dialog;
    delete m_selection;
    delete m_map;
}

Group *TestEditGroupDialog::addGroup(MapModel *map, int type, const QString &name,
                                     const QList<quint64> &members)
{
    auto *g = new Group(type, map->nextUid(), name);
    map->addGroup(g);
    g->addChildren(members);
    return g;
}

void TestEditGroupDialog::upAndDown()
{
    // Rows 1 and 3 are no run: Up and Down stay off, though the rules still move each row.
    QCOMPARE(GroupEditRules::movedUp(5, {1, 3}), QList<int>({1, 0, 3, 2, 4}));
    QCOMPARE(GroupEditRules::movedDown(5, {1, 3}), QList<int>({0, 2, 1, 4, 3}));
    Group *five = addGroup(m_map, Group::Chasing, "Five", m_l);
    EditGroupDialog dialog(m_map, m_selection, five, nullptr);
    select(&dialog, "m_memberListView", {1, 3});
    QVERIFY(!widgetNamed<QPushButton>(&dialog, "m_upButton")->isEnabled());
    select(&dialog, "m_memberListView", {2}); // rows 1-3: one run; the moved rows stay selected
    for (const char *button : {"m_downButton", "m_upButton", "m_upButton", "m_upButton"})
        click(&dialog, button);
    click(&dialog, "buttonOk");
    QCOMPARE(five->children(), QList<quint64>({m_l[1], m_l[2], m_l[3], m_l[0], m_l[4]}));
}

void TestEditGroupDialog::fillAddRemoveMarkAndOk()
{
    QCOMPARE(widgetNamed<QLineEdit>(m_dialog, "m_nameLineEdit")->text(), QString("G"));
    QCOMPARE(names(m_dialog, "m_memberListView"), QStringList({"A", "L0"}));
    // P holds G, Q holds it through P: either would close a cycle.
    QCOMPARE(names(m_dialog, "m_groupListView"), QStringList({"B"}));
    QCOMPARE(names(m_dialog, "m_lightListView"), QStringList({"L1", "L2", "L3", "L4"}));
    m_p->compile();
    m_q->compile();
    select(m_dialog, "m_groupListView", {0}); // an available group marks its lights
    QVERIFY(m_selection->isLightSelected(m_l[3]));
    click(m_dialog, "m_addGroupButton");
    auto *lights = widgetNamed<QTreeWidget>(m_dialog, "m_lightListView");
    emit lights->itemDoubleClicked(lights->topLevelItem(3), 0); // L4
    QCOMPARE(names(m_dialog, "m_memberListView"), QStringList({"A", "L0", "B", "L4"}));
    // A selected member marks its lights; an unselected one marks none.
    select(m_dialog, "m_memberListView", {0, 1});
    QVERIFY(m_selection->isLightSelected(m_l[1]) && !m_selection->isLightSelected(m_l[3]));
    click(m_dialog, "m_upButton"); // at the top: nothing moves, the rows stay selected
    click(m_dialog, "m_removeButton");
    QCOMPARE(names(m_dialog, "m_groupListView"), QStringList({"A"}));
    QCOMPARE(names(m_dialog, "m_lightListView"), QStringList({"L0", "L1", "L2", "L3"}));
    QCOMPARE(names(m_dialog, "m_memberListView"), QStringList({"B", "L4"}));

    widgetNamed<QLineEdit>(m_dialog, "m_nameLineEdit")->clear();
    widgetNamed<QRadioButton>(m_dialog, "m_chasingRadioButton")->setChecked(true);
    click(m_dialog, "buttonOk");
    QCOMPARE(m_g->name(), QString());
    QCOMPARE(m_g->type(), int(Group::Chasing));
    QCOMPARE(m_g->children(), QList<quint64>({m_b->uid(), m_l[4]}));
    // The holders one and two levels up were compiled again over the new members.
    QCOMPARE(m_p->lightMatrix().stepCount, 2);
    QCOMPARE(m_q->lightMatrix().stepCount, 2);
}

void TestEditGroupDialog::cycleFromFileLoadsEditsAndCompiles()
{
    // X = [Y, L0, X], Y = [Z], Z = [X, L1]: only a file can hold this.
    Group *x = addGroup(m_map, Group::Chasing, "X", {});
    Group *z = addGroup(m_map, Group::Synchronized, "Z", {x->uid(), m_l[1]});
    Group *y = addGroup(m_map, Group::Chasing, "Y", {z->uid()});
    x->addChildren({y->uid(), m_l[0], x->uid()});
    QTemporaryDir dir;
    QVERIFY(m_map->saveMap(dir.filePath("cycle.map")));
    MapModel loaded;
    QVERIFY(loaded.loadMap(dir.filePath("cycle.map"), {}));
    Group *lx = loaded.group(x->uid());
    EditGroupDialog dialog(&loaded, nullptr, lx, nullptr);
    // Z holds X and is not offered; Y holds X, X is itself: once removed, neither is offered.
    QCOMPARE(names(&dialog, "m_memberListView"), QStringList({"Y", "L0", "X"}));
    select(&dialog, "m_memberListView", {0, 2});
    click(&dialog, "m_removeButton");
    QCOMPARE(names(&dialog, "m_groupListView"), QStringList({"A", "B", "G", "P", "Q"}));
    click(&dialog, "buttonOk");
    QCOMPARE(lx->children(), QList<quint64>({m_l[0]}));
    QCOMPARE(loaded.group(z->uid())->orderedLightUids(), QList<quint64>({m_l[0], m_l[1]}));
}

void TestEditGroupDialog::panelAndCanvasOpenTheDialogs()
{
    GroupView panel(m_map, m_selection, nullptr);
    panel.handleNewGroup(m_b->uid()); // the panel came after the group
    panel.prepareMenu(panel.groupItem(m_b->uid()));
    QAction *edit = panel.popupMenu()->actions().first();
    QVERIFY(edit->isEnabled());
    ModalDriver driver;
    driver.then([](QWidget *modal) {
        QCOMPARE(modal->windowTitle(), QString("Group Editor"));
        widgetNamed<QLineEdit>(modal, "m_nameLineEdit")->setText("Changed");
        click(modal, "buttonCancel");
    });
    edit->trigger();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(m_b->name(), QString("B")); // Cancel writes nothing

    QGraphicsScene scene;
    LayoutView canvas(m_map, m_selection, &scene, nullptr, "Layout View");
    m_selection->setLightSelected(m_l[4], true);
    m_selection->setLightSelected(m_l[2], true);
    QSignalSpy dirty(&canvas, &LayoutView::setDirty);
    QSignalSpy added(m_map, &MapModel::newGroup);
    driver.then([](QWidget *modal) { click(modal, "buttonOk"); });
    canvas.handleCreateGroupFromSelection();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(dirty.size(), 1);
    QCOMPARE(added.size(), 1);
    Group *made = m_map->group(added.first().first().toULongLong());
    QCOMPARE(made->children(), QList<quint64>({m_l[4], m_l[2]}));
}

QTEST_MAIN(TestEditGroupDialog)
#include "tst_editgroupdialog.moc"
