#include "support/apptestsupport.h"

#include "app/lightview.h"
#include "app/lightviewinterface.h"
#include "app/lightviewlight.h"
#include "app/numericcollator.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

#include <algorithm>

namespace {
QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

QStringList childNames(QTreeWidgetItem *item)
{
    QStringList names;
    for (int i = 0; i < item->childCount(); ++i)
        names << item->child(i)->text(0);
    return names;
}

// Every row of the tree, interfaces with their lights in tree order, one line per interface.
QStringList treeShape(const QTreeWidget *tree)
{
    QStringList shape;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        shape << tree->topLevelItem(i)->text(0) + ": " +
                     childNames(tree->topLevelItem(i)).join(QLatin1Char(','));
    return shape;
}

// Names on which a shortcut of the numeric collation would go wrong: digit runs of any length
// and with leading zeros, blanks, case, accents, punctuation, an empty name and names with
// characters the collation ignores.
const QStringList TrickyNames = {"Light 2",
                                 "Light 10",
                                 "Light 02",
                                 "Light 002",
                                 "light 2",
                                 "LIGHT 2",
                                 "Light2",
                                 "Light  2",
                                 " Light 2",
                                 "Light 2a",
                                 "Light 2A",
                                 "Light 2 ",
                                 "Light 1.5",
                                 "Light 1-5",
                                 "Lìght 2",
                                 "Light",
                                 "",
                                 "Éclairage",
                                 "Eclairage",
                                 "eclairage",
                                 "Z 9",
                                 "Z 10",
                                 "Z 9 9",
                                 "Z 99",
                                 "0",
                                 "00",
                                 "9",
                                 "10",
                                 "Façade 3",
                                 "Facade 3",
                                 "façade 3",
                                 "Light 18446744073709551616",
                                 "Light 99999999999",
                                 "Light #1",
                                 "Light_1",
                                 "Light-1",
                                 "Straße 1",
                                 "Strasse 1",
                                 QString(QChar(0x200B)),
                                 QStringLiteral("\u00ADLight 2")};
} // namespace

class TestLightView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void sortsNumerically();
    void interfaceMenuVisibility();
    void deleteLightsAsksFirst();
    void nameOrderMatchesTheCollator_data();
    void nameOrderMatchesTheCollator();
    void batchBuildsTheSameTree_data();
    void batchBuildsTheSameTree();
    void changedRowMovesToItsPlace_data();
    void changedRowMovesToItsPlace();
    void channelChangeMovesRow_data();
    void channelChangeMovesRow();

private:
    LightViewInterface *interfaceRow(const QString &name) const;

    MapModel *m_map = nullptr;
    EffectEngine *m_engine = nullptr;
    SelectionEffect *m_selection = nullptr;
    LightView *m_tree = nullptr;
};

void TestLightView::init()
{
    m_map = new MapModel;
    m_engine = new EffectEngine(m_map, QList<Effect *>(), 100);
    m_engine->setPaused(true);
    m_selection = new SelectionEffect(m_map, 0xFFFFFFFF, nullptr);
    m_selection->reset();
    connect(m_map, &MapModel::newLight, m_selection, &SelectionEffect::handleNewLight);
    connect(m_map, &MapModel::deletedLight, m_selection, &SelectionEffect::handleDeletedLight);
    m_tree = new LightView(m_map, m_engine, nullptr, "Light View");
    m_tree->setSelectionEffect(m_selection);
}

void TestLightView::cleanup()
{
    delete m_tree;
    delete m_engine;
    delete m_selection;
    delete m_map;
}

LightViewInterface *TestLightView::interfaceRow(const QString &name) const
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        if (m_tree->topLevelItem(i)->text(0) == name)
            return static_cast<LightViewInterface *>(m_tree->topLevelItem(i));
    return nullptr;
}

void TestLightView::sortsNumerically()
{
    DataSupply *a = addInterface(m_map, "Facade 10", QHostAddress("127.0.0.2"));
    addInterface(m_map, "Facade 2", QHostAddress("127.0.0.3"));
    const quint64 ten = addLight(m_map, a, "Light 10", 0, 0, QPointF())->uid();
    addLight(m_map, a, "Light 2", 1, 0, QPointF());
    addLight(m_map, a, "Light 1", 1, 9, QPointF());
    m_tree->sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(m_tree->lightItem(ten)->text(1), QString("1")); // ports count from 1
    QCOMPARE(m_tree->topLevelItem(0)->text(0), QString("Facade 2"));
    QCOMPARE(m_tree->topLevelItem(1)->text(0), QString("Facade 10"));
    QCOMPARE(childNames(interfaceRow("Facade 10")),
             QStringList({"Light 1", "Light 2", "Light 10"}));
    m_tree->sortByColumn(1, Qt::AscendingOrder);
    // Port 1 first, then on port 2 channel 1 before channel 10, against the names' order.
    QCOMPARE(childNames(interfaceRow("Facade 10")),
             QStringList({"Light 10", "Light 2", "Light 1"}));
    m_tree->sortByColumn(2, Qt::AscendingOrder);
    QCOMPARE(childNames(interfaceRow("Facade 10")).value(2), QString("Light 1"));
}

void TestLightView::interfaceMenuVisibility()
{
    DataSupply *with = addInterface(m_map, "With", QHostAddress("127.0.0.2"));
    addInterface(m_map, "Without", QHostAddress());
    addLight(m_map, with, "A", 0, 0, QPointF());

    m_tree->prepareMenu(interfaceRow("Without"));
    QMenu *menu = m_tree->interfaceMenu();
    QVERIFY(entry(menu, "Associate with Discovered Interface...")->isVisible());
    QVERIFY(!entry(menu, "Unassociate Interface")->isVisible());
    m_tree->prepareMenu(interfaceRow("With"));
    QVERIFY(!entry(menu, "Associate with Discovered Interface...")->isVisible());
    QVERIFY(entry(menu, "Unassociate Interface")->isVisible());
    QVERIFY(entry(menu, "Unassociate Interface")->isEnabled());
    QVERIFY(entry(menu, "Highlight Interface")->isEnabled());
    QVERIFY(entry(menu, "Delete Interface")->isEnabled());
    QVERIFY(entry(menu, "Discover Lights...")->isVisible());
    QVERIFY(entry(menu, "Discover Lights...")->isEnabled());
    QVERIFY(entry(menu, "Edit All Lights...")->isEnabled());
    QVERIFY(entry(m_tree->lightMenu(), "Edit Light(s)...")->isEnabled());
    QVERIFY(entry(m_tree->lightMenu(), "Delete Light(s)...")->isEnabled());

    // Select All Lights selects the interface's lights in the effect.
    entry(menu, "Select All Lights")->trigger();
    QVERIFY(m_selection->isLightSelected(with->lights().first()));
}

void TestLightView::deleteLightsAsksFirst()
{
    ScriptedPrompt prompt;
    DataSupply *ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
    Light *a = addLight(m_map, ds, "A", 0, 0, QPointF());
    Light *b = addLight(m_map, ds, "B", 0, 3, QPointF());
    addLight(m_map, ds, "C", 0, 6, QPointF());
    const quint64 ua = a->uid(), ub = b->uid();
    m_tree->lightItem(ua)->setSelected(true);
    m_tree->lightItem(ub)->setSelected(true);
    m_tree->prepareMenu(m_tree->lightItem(ua));

    // Before any box a check of the last one fails with a message; it reads no empty list.
    QEXPECT_FAIL("", "no box has been shown yet", Continue);
    QCOMPARE(prompt.lastTitle(), QString("Confirm Light Deletion"));
    QCOMPARE(prompt.lastTitle(), ScriptedPrompt::NoBoxShown);
    QCOMPARE(prompt.lastDefault(), QMessageBox::NoButton);

    prompt.answers << QMessageBox::No;
    entry(m_tree->lightMenu(), "Delete Light(s)...")->trigger();
    QCOMPARE(m_map->lights().size(), 3);
    QCOMPARE(prompt.lastTitle(), QString("Confirm Light Deletion"));
    QCOMPARE(prompt.lastDefault(), QMessageBox::No);

    prompt.answers << QMessageBox::Yes;
    entry(m_tree->lightMenu(), "Delete Light(s)...")->trigger();
    QCOMPARE(m_map->lights().size(), 1);
    QVERIFY(!m_map->light(ua) && !m_map->light(ub));
    QCOMPARE(interfaceRow("Facade")->childCount(), 1);
}

void TestLightView::nameOrderMatchesTheCollator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("system") << QLocale::system();
    // Under the C locale the numeric order comes from a borrowed locale.
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
}

// A sort compares names through keys made for it, a single comparison collates directly; both
// must order every pair as a fresh numeric collator does, the empty name first.
void TestLightView::nameOrderMatchesTheCollator()
{
    QFETCH(QLocale, locale);
    const QLocale before;
    QLocale::setDefault(locale);
    const QCollator collator = makeNumericCollator();
    DataSupply *ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
    QList<LightViewLight *> rows;
    for (const QString &name : TrickyNames)
        rows << m_tree->lightItem(addLight(m_map, ds, name, 0, 0, QPointF())->uid());
    m_tree->sortByColumn(0, Qt::AscendingOrder);
    QStringList wrong;
    for (const LightViewLight *a : std::as_const(rows)) {
        for (const LightViewLight *b : std::as_const(rows)) {
            const bool expected = collator.compare(a->text(0), b->text(0)) < 0;
            if ((*a < *b) != expected)
                wrong << a->text(0) + " < " + b->text(0);
        }
    }
    const auto less = [&](const QString &a, const QString &b) {
        if (a.isEmpty() || b.isEmpty())
            return a.isEmpty() && !b.isEmpty();
        return collator.compare(a, b) < 0;
    };
    // Ties keep the order the rows had, as the tree's stable sort does.
    QStringList ascending = childNames(interfaceRow("Facade"));
    m_tree->sortByColumn(0, Qt::DescendingOrder);
    QStringList descending = childNames(interfaceRow("Facade"));
    QStringList expectedDescending = ascending;
    std::stable_sort(expectedDescending.begin(), expectedDescending.end(),
                     [&](const QString &a, const QString &b) { return less(b, a); });
    QStringList expectedAscending = TrickyNames;
    std::stable_sort(expectedAscending.begin(), expectedAscending.end(), less);
    QLocale::setDefault(before);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(" | ")));
    QCOMPARE(ascending, expectedAscending);
    QCOMPARE(descending, expectedDescending);
    // Numeric in every locale, the C locale included.
    QVERIFY(*m_tree->lightItem(ds->lights().at(0)) < *m_tree->lightItem(ds->lights().at(1)));
}

void TestLightView::batchBuildsTheSameTree_data()
{
    QTest::addColumn<bool>("batch");
    QTest::newRow("one light at a time") << false;
    QTest::newRow("one batch") << true;
}

// Rows of a batch enter the tree at its end, under new and existing interfaces alike; a
// deletion or a light's change during the batch works on the rows made so far.
void TestLightView::batchBuildsTheSameTree()
{
    QFETCH(bool, batch);
    DataSupply *old = addInterface(m_map, "Old 10", QHostAddress("127.0.0.2"));
    addLight(m_map, old, "Light 9", 0, 0, QPointF());
    m_tree->setSortingEnabled(false);
    if (batch)
        m_map->beginBatch();
    DataSupply *fresh = addInterface(m_map, "New 9", QHostAddress());
    const quint64 gone = addLight(m_map, old, "Light 3", 0, 0, QPointF())->uid();
    addLight(m_map, old, "Light 10", 1, 3, QPointF());
    addLight(m_map, fresh, "Light 20", 0, 3, QPointF());
    Light *renamed = addLight(m_map, fresh, "Light 1", 1, 0, QPointF());
    QCOMPARE(m_tree->topLevelItemCount(), batch ? 1 : 2);
    renamed->setName("Light 100");
    addLight(m_map, old, "Light 8", 1, 6, QPointF());
    // Last, so nothing made afterwards takes the place of its row in memory.
    m_map->deleteLight(gone);
    if (batch)
        m_map->endBatch();
    QVERIFY(!m_map->inBatch());
    m_tree->restoreSorting(0);
    QCOMPARE(treeShape(m_tree),
             QStringList({"New 9: Light 20,Light 100", "Old 10: Light 8,Light 9,Light 10"}));
    QVERIFY(!m_tree->lightItem(gone));
    QCOMPARE(m_tree->lightItem(renamed->uid())->parent(), m_tree->interfaceItem(fresh->uid()));

    // Clearing the map in a batch drops the rows still waiting.
    m_map->beginBatch();
    addLight(m_map, addInterface(m_map, "Waiting", QHostAddress()), "Light 5", 0, 0, QPointF());
    m_map->clearMap();
    m_map->endBatch();
    QCOMPARE(m_tree->topLevelItemCount(), 0);
}

void TestLightView::changedRowMovesToItsPlace_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("batch");
    QTest::addColumn<QStringList>("order");
    // Light 1 becomes "Light 30" on port 2 at channel 1, between the others by each column.
    const QStringList byName = {"Light 2", "Light 20", "Light 30"};
    const QStringList byPort = {"Light 2", "Light 30", "Light 20"};
    const QStringList byChannel = {"Light 30", "Light 2", "Light 20"};
    QTest::newRow("name") << 0 << false << byName;
    QTest::newRow("port") << 1 << false << byPort;
    QTest::newRow("channel") << 2 << false << byChannel;
    QTest::newRow("name, in a batch") << 0 << true << byName;
    QTest::newRow("port, in a batch") << 1 << true << byPort;
}

// A sorted tree moves a changed light's row to its place at once, whichever column it is sorted
// by; in a batch, when the batch ends.
void TestLightView::changedRowMovesToItsPlace()
{
    QFETCH(int, column);
    QFETCH(bool, batch);
    QFETCH(QStringList, order);
    DataSupply *ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
    Light *moving = addLight(m_map, ds, "Light 1", 0, 0, QPointF());
    addLight(m_map, ds, "Light 2", 0, 3, QPointF());
    addLight(m_map, ds, "Light 20", 1, 6, QPointF());
    m_tree->sortByColumn(column, Qt::AscendingOrder);
    QCOMPARE(childNames(interfaceRow("Facade")).first(), QString("Light 1"));
    if (batch)
        m_map->beginBatch();
    moving->setPort(1);
    moving->setDmxChannel(0);
    moving->setName("Light 30");
    if (batch)
        m_map->endBatch();
    QCOMPARE(childNames(interfaceRow("Facade")), order);
    QCOMPARE(m_tree->lightItem(moving->uid())->text(1), QString("2"));
}

void TestLightView::channelChangeMovesRow_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("to the end") << 9 << QStringList{"B", "C", "A"};
    QTest::newRow("between") << 4 << QStringList{"B", "A", "C"};
    QTest::newRow("back to the front") << 0 << QStringList{"A", "B", "C"};
}

// Sorted by "DMX Channel", a light whose channel changes outside any dialog (the network sync
// does so with sorting on) moves to its place at once.
void TestLightView::channelChangeMovesRow()
{
    QFETCH(int, channel);
    QFETCH(QStringList, order);
    DataSupply *ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
    Light *a = addLight(m_map, ds, "A", 0, 1, QPointF());
    addLight(m_map, ds, "B", 0, 3, QPointF());
    addLight(m_map, ds, "C", 0, 6, QPointF());
    m_tree->sortByColumn(2, Qt::AscendingOrder);
    QVERIFY(m_tree->isSortingEnabled());
    QCOMPARE(childNames(interfaceRow("Facade")), QStringList({"A", "B", "C"}));
    a->setDmxChannel(channel);
    QCOMPARE(childNames(interfaceRow("Facade")), order);
    QCOMPARE(m_tree->lightItem(a->uid())->text(2), QString::number(channel + 1));
}

QTEST_MAIN(TestLightView)
#include "tst_lightview.moc"
