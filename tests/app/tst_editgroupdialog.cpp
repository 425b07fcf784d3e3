// DM_TEST_SANITIZE: walks a map file that holds a cycle of groups.
#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include "app/editgroupdialog.h"
#include "app/groupeditrules.h"
#include "app/groupview.h"
#include "app/groupviewgroup.h"
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

// Lights L0..L4; G (edited, synchronized) = [A, L0]; A = [L1, L2]; P = [G]; Q = [P]; B = [L3].
class TestEditGroupDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void offersNoGroupHoldingTheEditedOne();
    void upAndDown_data();
    void upAndDown();
    void addRemoveMarkAndOk();
    void cancelWritesNothing();
    void cycleFromFileLoadsEditsAndCompiles();
    void panelAndCanvasOpenTheDialogs();

private:
    Group *addGroup(int type, const QString &name, const QList<quint64> &members);
    QTreeWidget *list(const char *name) const;
    QStringList names(const char *listName) const;
    void click(const char *button) { widgetNamed<QPushButton>(m_dialog, button)->click(); }

    MapModel *m_map = nullptr;
    SelectionEffect *m_selection = nullptr;
    EditGroupDialog *m_dialog = nullptr;
    QList<quint64> m_l;
    Group *m_g = nullptr, *m_a = nullptr, *m_p = nullptr, *m_q = nullptr, *m_b = nullptr;
};

void TestEditGroupDialog::init()
{
    m_map = new MapModel;
    m_selection = new SelectionEffect(m_map, 0xFFFFFFFF, nullptr);
    connect(m_map, &MapModel::newLight, m_selection, &SelectionEffect::handleNewLight);
    m_l.clear();
    for (int i = 0; i < 5; ++i)
        m_l << addLight(m_map, nullptr, QString("L%1").arg(i), 0, 0, QPointF())->uid();
    m_selection->reset();
    m_a = addGroup(Group::Synchronized, "A", {m_l[1], m_l[2]});
    m_g = addGroup(Group::Synchronized, "G", {m_a->uid(), m_l[0]});
    m_p = addGroup(Group::Chasing, "P", {m_g->uid()});
    m_q = addGroup(Group::Chasing, "Q", {m_p->uid()});
    m_b = addGroup(Group::Synchronized, "B", {m_l[3]});
    m_dialog = new EditGroupDialog(m_map, m_selection, m_g, nullptr);
}

void TestEditGroupDialog::cleanup()
{
    delete m_dialog;
    delete m_selection;
    delete m_map;
}

Group *TestEditGroupDialog::addGroup(int type, const QString &name, const QList<quint64> &members)
{
    auto *g = new Group(type, m_map->nextUid(), name);
    m_map->addGroup(g);
    g->addChildren(members);
    return g;
}

QTreeWidget *TestEditGroupDialog::list(const char *name) const
{
    return widgetNamed<QTreeWidget>(m_dialog, name);
}

QStringList TestEditGroupDialog::names(const char *listName) const
{
    QStringList result;
    for (int i = 0; i < list(listName)->topLevelItemCount(); ++i)
        result << list(listName)->topLevelItem(i)->text(0);
    return result;
}

void TestEditGroupDialog::offersNoGroupHoldingTheEditedOne()
{
    QCOMPARE(m_dialog->windowTitle(), QString("Group Editor"));
    QVERIFY(m_dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(widgetNamed<QLineEdit>(m_dialog, "m_nameLineEdit")->text(), QString("G"));
    QVERIFY(widgetNamed<QRadioButton>(m_dialog, "m_synchronizedRadioButton")->isChecked());
    QCOMPARE(names("m_memberListView"), QStringList({"A", "L0"}));
    // P holds G, Q holds it through P: either would close a cycle.
    QCOMPARE(names("m_groupListView"), QStringList({"B"}));
    QCOMPARE(names("m_lightListView"), QStringList({"L1", "L2", "L3", "L4"}));
    QCOMPARE(GroupEditRules::containingGroups(m_map, m_g->uid()),
             QList<quint64>({m_p->uid(), m_q->uid()}));
    for (const char *b : {"m_upButton", "m_downButton", "m_removeButton"})
        QVERIFY(!widgetNamed<QPushButton>(m_dialog, b)->isEnabled());
}

void TestEditGroupDialog::upAndDown_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QList<int>>("afterUp");
    QTest::addColumn<QList<int>>("afterDown");
    QTest::newRow("run 1-2") << QList<int>{1, 2} << true << QList<int>{1, 2, 0, 3, 4}
                             << QList<int>{0, 3, 1, 2, 4};
    QTest::newRow("run at the top")
        << QList<int>{0, 1} << true << QList<int>{0, 1, 2, 3, 4} << QList<int>{2, 0, 1, 3, 4};
    QTest::newRow("run at the bottom")
        << QList<int>{3, 4} << true << QList<int>{0, 1, 3, 4, 2} << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("broken 1, 3") << QList<int>{1, 3} << false << QList<int>{1, 0, 3, 2, 4}
                                 << QList<int>{0, 2, 1, 4, 3};
}

void TestEditGroupDialog::upAndDown()
{
    QFETCH(QList<int>, selected);
    QFETCH(bool, enabled);
    QFETCH(QList<int>, afterUp);
    QFETCH(QList<int>, afterDown);
    QCOMPARE(GroupEditRules::movedUp(5, selected), afterUp);
    QCOMPARE(GroupEditRules::movedDown(5, selected), afterDown);
    Group *five = addGroup(Group::Chasing, "Five", m_l);
    EditGroupDialog dialog(m_map, m_selection, five, nullptr);
    delete m_dialog;
    m_dialog = nullptr;
    QTreeWidget *members = widgetNamed<QTreeWidget>(&dialog, "m_memberListView");
    for (int row : selected)
        members->topLevelItem(row)->setSelected(true);
    QCOMPARE(widgetNamed<QPushButton>(&dialog, "m_removeButton")->isEnabled(), true);
    QCOMPARE(widgetNamed<QPushButton>(&dialog, "m_upButton")->isEnabled(), enabled);
    QCOMPARE(widgetNamed<QPushButton>(&dialog, "m_downButton")->isEnabled(), enabled);
    if (!enabled)
        return;
    widgetNamed<QPushButton>(&dialog, "m_upButton")->click();
    QList<int> stillSelected;
    for (int i = 0; i < 5; ++i)
        if (members->topLevelItem(i)->isSelected())
            stillSelected << afterUp.at(i);
    QCOMPARE(stillSelected, selected);
    widgetNamed<QPushButton>(&dialog, "buttonOk")->click();
    QList<quint64> expected;
    for (int i : afterUp)
        expected << m_l.at(i);
    QCOMPARE(five->children(), expected);
}

void TestEditGroupDialog::addRemoveMarkAndOk()
{
    m_p->compile();
    m_q->compile();
    QCOMPARE(m_q->lightMatrix().stepCount, 1);
    // Picking an available group marks its lights.
    list("m_groupListView")->topLevelItem(0)->setSelected(true);
    QVERIFY(m_selection->isLightSelected(m_l[3]));
    click("m_addGroupButton");
    emit list("m_lightListView")
        ->itemDoubleClicked(list("m_lightListView")->topLevelItem(3), 0); // L4
    QCOMPARE(names("m_memberListView"), QStringList({"A", "L0", "B", "L4"}));
    QCOMPARE(names("m_groupListView"), QStringList());
    // A selected member marks its lights; a later unselected member sharing none leaves them.
    list("m_memberListView")->topLevelItem(0)->setSelected(true);
    QVERIFY(m_selection->isLightSelected(m_l[1]) && !m_selection->isLightSelected(m_l[3]));
    click("m_removeButton");
    QCOMPARE(names("m_groupListView"), QStringList({"A"}));
    QCOMPARE(names("m_memberListView"), QStringList({"L0", "B", "L4"}));

    widgetNamed<QLineEdit>(m_dialog, "m_nameLineEdit")->clear();
    widgetNamed<QRadioButton>(m_dialog, "m_chasingRadioButton")->setChecked(true);
    QSignalSpy updated(m_map, &MapModel::updatedGroup);
    click("buttonOk");
    QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
    QVERIFY(!updated.isEmpty());
    QCOMPARE(m_g->name(), QString());
    QCOMPARE(m_g->type(), int(Group::Chasing));
    QCOMPARE(m_g->children(), QList<quint64>({m_l[0], m_b->uid(), m_l[4]}));
    QCOMPARE(m_g->lightMatrix().stepCount, 3);
    // The holders one and two levels up were compiled again over the new members.
    QCOMPARE(m_p->lightMatrix().stepCount, 3);
    QCOMPARE(m_q->lightMatrix().stepCount, 3);
}

void TestEditGroupDialog::cancelWritesNothing()
{
    const QList<quint64> before = m_g->children();
    list("m_memberListView")->topLevelItem(1)->setSelected(true);
    click("m_removeButton");
    widgetNamed<QLineEdit>(m_dialog, "m_nameLineEdit")->setText("Changed");
    click("buttonCancel");
    QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
    QCOMPARE(m_g->children(), before);
    QCOMPARE(m_g->name(), QString("G"));
}

void TestEditGroupDialog::cycleFromFileLoadsEditsAndCompiles()
{
    // X = [Y, L0, X], Y = [Z], Z = [X, L1]: only a file can hold this.
    Group *x = addGroup(Group::Chasing, "X", {});
    Group *z = addGroup(Group::Synchronized, "Z", {x->uid(), m_l[1]});
    Group *y = addGroup(Group::Chasing, "Y", {z->uid()});
    x->addChildren({y->uid(), m_l[0], x->uid()});
    QTemporaryDir dir;
    QVERIFY(m_map->saveMap(dir.filePath("cycle.map")));
    MapModel loaded;
    QVERIFY(loaded.loadMap(dir.filePath("cycle.map"), {}));
    Group *lx = loaded.group(x->uid());
    QVERIFY(lx);
    EditGroupDialog dialog(&loaded, nullptr, lx, nullptr);
    QTreeWidget *groups = widgetNamed<QTreeWidget>(&dialog, "m_groupListView");
    auto offered = [groups] {
        QStringList names;
        for (int i = 0; i < groups->topLevelItemCount(); ++i)
            names << groups->topLevelItem(i)->text(0);
        return names;
    };
    QVERIFY(!offered().contains("Z"));
    // Y holds X, X is itself: once removed, neither is offered.
    QTreeWidget *members = widgetNamed<QTreeWidget>(&dialog, "m_memberListView");
    QCOMPARE(members->topLevelItemCount(), 3);
    members->topLevelItem(0)->setSelected(true);
    members->topLevelItem(2)->setSelected(true);
    widgetNamed<QPushButton>(&dialog, "m_removeButton")->click();
    QVERIFY(!offered().contains("Y") && !offered().contains("X"));
    widgetNamed<QPushButton>(&dialog, "buttonOk")->click();
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
    QString title;
    driver.then([&title](QWidget *modal) {
        title = modal->windowTitle();
        widgetNamed<QPushButton>(modal, "buttonCancel")->click();
    });
    edit->trigger();
    QCOMPARE(title, QString("Group Editor"));
    QCOMPARE(driver.pending(), 0);

    QGraphicsScene scene;
    LayoutView canvas(m_map, m_selection, &scene, nullptr, "Layout View");
    m_selection->setLightSelected(m_l[4], true);
    m_selection->setLightSelected(m_l[2], true);
    QSignalSpy dirty(&canvas, &LayoutView::setDirty);
    const QList<quint64> before = m_map->groups().keys();
    driver.then([](QWidget *modal) { widgetNamed<QPushButton>(modal, "buttonOk")->click(); });
    canvas.handleCreateGroupFromSelection();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(dirty.size(), 1);
    QList<quint64> added = m_map->groups().keys();
    for (quint64 uid : before)
        added.removeOne(uid);
    QCOMPARE(added.size(), 1);
    QCOMPARE(m_map->group(added.first())->children(), QList<quint64>({m_l[4], m_l[2]}));
}

QTEST_MAIN(TestEditGroupDialog)
#include "tst_editgroupdialog.moc"
