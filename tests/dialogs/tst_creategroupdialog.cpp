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

// Lights at (0,0), (10,0), (0,10), (10,10): l[0] top left ... l[3] bottom right.
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
    void keepsClickOrderUnchecked();
    void cancelCreatesNothing();
    void sharedNamesSurviveSaveAndLoad();

private:
    // Fills the form and presses OK; start < 0 keeps the click order.
    Group *create(const QList<quint64> &clickOrder, bool selectAll, const QString &name, int start,
                  bool subgroups);
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
                                     const QString &name, int start, bool subgroups)
{
    static const char *const buttons[] = {
        "m_startLeftRadioButton",       "m_startRightRadioButton",
        "m_startTopRadioButton",        "m_startBottomRadioButton",
        "m_startTopLeftRadioButton",    "m_startTopRightRadioButton",
        "m_startBottomLeftRadioButton", "m_startBottomRightRadioButton"};
    const QList<quint64> before = m_map->groups().keys();
    CreateGroupDialog dialog(m_map, clickOrder, selectAll, nullptr);
    auto *startGroup = widgetNamed<QGroupBox>(&dialog, "m_startButtonGroup");
    if (!widgetNamed<QCheckBox>(&dialog, "m_cbKeepClickOrder")->isChecked() ||
        startGroup->isEnabled())
        return nullptr;
    widgetNamed<QLineEdit>(&dialog, "m_nameLineEdit")->setText(name);
    if (start >= 0) {
        QTest::mouseClick(widgetNamed<QCheckBox>(&dialog, "m_cbReorderLights"), Qt::LeftButton);
        if (!startGroup->isEnabled())
            return nullptr;
        widgetNamed<QRadioButton>(&dialog, buttons[start])->setChecked(true);
    }
    widgetNamed<QCheckBox>(&dialog, "m_subgroupCheckBox")->setChecked(subgroups);
    widgetNamed<QPushButton>(&dialog, "buttonOk")->click();
    if (dialog.result() != QDialog::Accepted)
        return nullptr;
    for (Group *g : m_map->groups())
        if (!before.contains(g->uid()) && g->type() == Group::Chasing)
            return g;
    return nullptr;
}

void TestCreateGroupDialog::rotatedPosition_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QRectF>("box"); // min x, min y, width, height
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<QPointF>("uv");
    const QRectF square(0, 0, 10, 10);
    // -5 + 0.5 truncates towards zero to -4.
    QTest::newRow("top, left end") << 2 << square << QPointF(0, 0) << QPointF(0, -4);
    QTest::newRow("top, far corner") << 2 << square << QPointF(10, 10) << QPointF(10, 5);
    QTest::newRow("left") << 0 << square << QPointF(10, 10) << QPointF(10, -4);
    QTest::newRow("right") << 1 << square << QPointF(0, 0) << QPointF(10, -4);
    QTest::newRow("bottom") << 3 << square << QPointF(0, 0) << QPointF(10, 5);
    QTest::newRow("top left, diagonal") << 4 << square << QPointF(10, 10) << QPointF(14, 0);
    QTest::newRow("top left, lower") << 4 << square << QPointF(0, 10) << QPointF(7, -6);
    QTest::newRow("bottom right") << 7 << square << QPointF(0, 0) << QPointF(14, 0);
    QTest::newRow("index out of range is left")
        << 9 << square << QPointF(10, 10) << QPointF(10, -4);
    // Lines: 0.4 and -0.7 both give 0, so do -1.2; -1.6 gives -1.
    const QRectF at2(2, 0, 0, 0);
    QTest::newRow("0.4") << 0 << at2 << QPointF(2.4, 0) << QPointF(0, 0);
    QTest::newRow("-0.7") << 0 << at2 << QPointF(1.3, 0) << QPointF(0, 0);
    QTest::newRow("-1.2") << 0 << at2 << QPointF(0.8, 0) << QPointF(0, 0);
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
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<QList<int>>>("lines");
    QTest::addColumn<QStringList>("names"); // main group, then subgroups
    QTest::newRow("top, rows") << false << 2 << "Row" << QList<QList<int>>{{0, 1}, {2, 3}}
                               << QStringList{"Row", "Row Subgroup 1", "Row Subgroup 2"};
    // Columns from the left, each from the bottom up.
    QTest::newRow("left, columns") << false << 0 << "C" << QList<QList<int>>{{2, 0}, {3, 1}}
                                   << QStringList{"C", "C Subgroup 1", "C Subgroup 2"};
    QTest::newRow("top left, diagonals")
        << false << 4 << "D" << QList<QList<int>>{{0}, {2, 1}, {3}}
        << QStringList{"D", "D Subgroup 1", "D Subgroup 2", "D Subgroup 3"};
    // A select-all has no click order: swept from the top; an empty name takes the default.
    QTest::newRow("select all, unnamed")
        << true << -1 << "" << QList<QList<int>>{{0, 1}, {2, 3}}
        << QStringList{"Default Group", "Default Group Subgroup 1", "Default Group Subgroup 2"};
}

void TestCreateGroupDialog::reorders()
{
    QFETCH(bool, selectAll);
    QFETCH(int, start);
    QFETCH(QString, name);
    QFETCH(QList<QList<int>>, lines);
    QFETCH(QStringList, names);
    const QList<quint64> gone = {m_map->nextUid()}; // skipped: not a light of the map
    Group *main = create(at({3, 0, 2, 1}) + gone, selectAll, name, start, true);
    QVERIFY(main);
    QCOMPARE(main->name(), names.first());
    QCOMPARE(main->children().size(), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        Group *sub = m_map->group(main->children().at(i));
        QVERIFY(sub);
        QCOMPARE(sub->type(), int(Group::Synchronized));
        QCOMPARE(sub->name(), names.at(i + 1));
        QCOMPARE(sub->children(), at(lines.at(i)));
    }
    // Without subgroups the same order goes straight into the main group.
    QList<quint64> flat;
    for (const QList<int> &line : lines)
        flat += at(line);
    QCOMPARE(create(at({3, 0, 2, 1}), selectAll, name, start, false)->children(), flat);
}

void TestCreateGroupDialog::keepsClickOrderUnchecked()
{
    const quint64 gone = m_map->nextUid();
    Group *g = create(at({3, 0}) + QList<quint64>{gone} + at({1}), false, "Chase", -1, true);
    QVERIFY(g);
    QCOMPARE(g->name(), QString("Chase"));
    QCOMPARE(g->children(), at({3, 0}) + QList<quint64>{gone} + at({1}));
    Group *empty = create({}, false, "Nothing", -1, false);
    QVERIFY(empty && empty->children().isEmpty());
}

void TestCreateGroupDialog::cancelCreatesNothing()
{
    const int groups = int(m_map->groups().size());
    CreateGroupDialog dialog(m_map, m_l, false, nullptr);
    widgetNamed<QPushButton>(&dialog, "buttonCancel")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(int(m_map->groups().size()), groups);
}

void TestCreateGroupDialog::sharedNamesSurviveSaveAndLoad()
{
    Group *a = create(at({0, 1}), false, "Same", 2, true);
    Group *b = create(at({2, 3}), false, "Same", -1, false);
    QVERIFY(a && b && a->uid() != b->uid());
    QTemporaryDir dir;
    const QString path = dir.filePath("groups.map");
    QVERIFY(m_map->saveMap(path));
    MapModel loaded;
    QVERIFY(loaded.loadMap(path, {}));
    QCOMPARE(loaded.groups().size(), m_map->groups().size());
    for (Group *g : m_map->groups()) {
        Group *back = loaded.group(g->uid());
        QVERIFY(back);
        QCOMPARE(back->name(), g->name());
        QCOMPARE(back->type(), g->type());
        QCOMPARE(back->children(), g->children());
    }
    QCOMPARE(loaded.group(b->uid())->orderedLightUids(), at({2, 3}));
}

QTEST_MAIN(TestCreateGroupDialog)
#include "tst_creategroupdialog.moc"
