#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include "dialogs/creategroupdialog.h"
#include "dialogs/groupbuilder.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

// Lights at (0,0), (10,0), (0,10), (10,10): m_l[0] top left ... m_l[3] bottom right.
class TestCreateGroupDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup() { delete m_map; }
    void rotatedPosition_data();
    void rotatedPosition();
    void reorders_data();
    void reorders();
    void keepsClickOrderAndSharedNamesSurviveSaveAndLoad();

private:
    // Fills the form and presses OK (or Cancel); start names the start radio button, empty
    // keeps the click order. Returns the new chasing group.
    Group *create(const QList<quint64> &clickOrder, bool selectAll, const QString &name,
                  const QString &start, bool subgroups, const char *button = "buttonOk");
    QList<quint64> at(const QList<int> &indices) const;

    MapModel *m_map = nullptr;
    QList<quint64> m_l;
};

void TestCreateGroupDialog::init()
{
    m_map = new MapModel;
    m_l.clear();
    for (const QPointF &p : {QPointF(0, 0), QPointF(10, 0), QPointF(0, 10), QPointF(10, 10)})
        m_l << addLight(m_map, nullptr, "L", 0, 0, p)->uid();
}

QList<quint64> TestCreateGroupDialog::at(const QList<int> &indices) const
{
    QList<quint64> uids;
    for (int i : indices)
        uids << m_l.at(i);
    return uids;
}

Group *TestCreateGroupDialog::create(const QList<quint64> &clickOrder, bool selectAll,
                                     const QString &name, const QString &start, bool subgroups,
                                     const char *button)
{
    QSignalSpy added(m_map, &MapModel::newGroup); // the main group comes first
    CreateGroupDialog dialog(m_map, clickOrder, selectAll, nullptr);
    widgetNamed<QLineEdit>(&dialog, "m_nameLineEdit")->setText(name);
    if (!start.isEmpty()) {
        QTest::mouseClick(widgetNamed<QCheckBox>(&dialog, "m_cbReorderLights"), Qt::LeftButton);
        widgetNamed<QRadioButton>(&dialog, "m_start" + start + "RadioButton")->setChecked(true);
    }
    // Exactly one ordering box is on; the start positions follow the re-order box.
    if (widgetNamed<QCheckBox>(&dialog, "m_cbKeepClickOrder")->isChecked() != start.isEmpty() ||
        widgetNamed<QGroupBox>(&dialog, "m_startButtonGroup")->isEnabled() == start.isEmpty())
        return nullptr;
    widgetNamed<QCheckBox>(&dialog, "m_subgroupCheckBox")->setChecked(subgroups);
    widgetNamed<QPushButton>(&dialog, button)->click();
    return added.isEmpty() ? nullptr : m_map->group(added.first().first().toULongLong());
}

void TestCreateGroupDialog::rotatedPosition_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QRectF>("box"); // min x, min y, width, height
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<QPointF>("uv");
    const QRectF square(0, 0, 10, 10);
    // -5 + 0.5 truncates towards zero to -4.
    QTest::newRow("top") << 2 << square << QPointF(0, 0) << QPointF(0, -4);
    QTest::newRow("left") << 0 << square << QPointF(10, 10) << QPointF(10, -4);
    QTest::newRow("right") << 1 << square << QPointF(0, 0) << QPointF(10, -4);
    QTest::newRow("bottom") << 3 << square << QPointF(0, 0) << QPointF(10, 5);
    QTest::newRow("beyond a million")
        << 0 << QRectF(2e6, 0, 10, 0) << QPointF(2e6, 0) << QPointF(0, 0);
    QTest::newRow("out of range is left") << 9 << square << QPointF(10, 10) << QPointF(10, -4);
    // Along-coordinates -0.7 gives 0 (like 0.4), -1.6 gives -1.
    const QRectF at2(2, 0, 0, 0);
    QTest::newRow("-0.7") << 0 << at2 << QPointF(1.3, 0) << QPointF(0, 0);
    QTest::newRow("-1.6") << 0 << at2 << QPointF(0.4, 0) << QPointF(-1, 0);
}

void TestCreateGroupDialog::rotatedPosition()
{
    QFETCH(int, start);
    QFETCH(QRectF, box);
    QFETCH(QPointF, pos);
    QFETCH(QPointF, uv);
    GroupBuilder::Bounds bounds;
    bounds.include(box.topLeft());
    bounds.include(box.bottomRight());
    QCOMPARE(GroupBuilder::rotatedPosition(start, bounds, pos), uv);
}

void TestCreateGroupDialog::reorders_data()
{
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<QList<int>>>("lines");
    QTest::addColumn<QStringList>("names"); // main group, then subgroups
    QTest::newRow("top, rows") << false << "Top"
                               << "Row" << QList<QList<int>>{{0, 1}, {2, 3}}
                               << QStringList{"Row", "Row Subgroup 1", "Row Subgroup 2"};
    // Columns from the left, each from the bottom up.
    QTest::newRow("left, columns") << false << "Left"
                                   << "C" << QList<QList<int>>{{2, 0}, {3, 1}}
                                   << QStringList{"C", "C Subgroup 1", "C Subgroup 2"};
    QTest::newRow("top left, diagonals")
        << false << "TopLeft"
        << "D" << QList<QList<int>>{{0}, {2, 1}, {3}}
        << QStringList{"D", "D Subgroup 1", "D Subgroup 2", "D Subgroup 3"};
    // A select-all has no click order: swept from the top; an empty name takes the default.
    QTest::newRow("select all, unnamed")
        << true << ""
        << "" << QList<QList<int>>{{0, 1}, {2, 3}}
        << QStringList{"Default Group", "Default Group Subgroup 1", "Default Group Subgroup 2"};
}

void TestCreateGroupDialog::reorders()
{
    QFETCH(bool, selectAll);
    QFETCH(QString, start);
    QFETCH(QString, name);
    QFETCH(QList<QList<int>>, lines);
    QFETCH(QStringList, names);
    const QList<quint64> gone = {m_map->nextUid()}; // skipped: not a light of the map
    Group *main = create(at({3, 0, 2, 1}) + gone, selectAll, name, start, true);
    QVERIFY(main);
    QCOMPARE(main->name(), names.first());
    QCOMPARE(main->children().size(), lines.size());
    QList<quint64> flat;
    for (int i = 0; i < lines.size(); ++i) {
        Group *sub = m_map->group(main->children().at(i));
        QVERIFY(sub && sub->type() == Group::Synchronized);
        QCOMPARE(sub->name(), names.at(i + 1));
        QCOMPARE(sub->children(), at(lines.at(i)));
        flat += at(lines.at(i));
    }
    // Without subgroups the same order goes straight into the main group.
    QCOMPARE(create(at({3, 0, 2, 1}), selectAll, name, start, false)->children(), flat);
}

void TestCreateGroupDialog::keepsClickOrderAndSharedNamesSurviveSaveAndLoad()
{
    const QList<quint64> order = at({3, 0}) + QList<quint64>{m_map->nextUid()} + at({1});
    const QList<Group *> made = {create(order, false, "Same", {}, true),
                                 create(at({0, 1}), false, "Same", "Top", true)};
    QCOMPARE(made.first()->children(), order); // unchecked, as clicked
    QVERIFY(create({}, false, "Nothing", {}, false)->children().isEmpty());
    QVERIFY(!create(m_l, false, "X", "Top", true, "buttonCancel"));
    QTemporaryDir dir;
    QVERIFY(m_map->saveMap(dir.filePath("groups.map")));
    MapModel loaded;
    QVERIFY(loaded.loadMap(dir.filePath("groups.map"), {}));
    QCOMPARE(loaded.groups().size(), m_map->groups().size());
    for (Group *g : made) {
        Group *back = loaded.group(g->uid());
        QVERIFY(back && back->name() == "Same" && back->type() == g->type());
        QCOMPARE(back->children(), g->children());
    }
}

QTEST_MAIN(TestCreateGroupDialog)
#include "tst_creategroupdialog.moc"
