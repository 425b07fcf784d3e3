#include "support/apptestsupport.h"

#include "app/lightview.h"
#include "app/lightviewinterface.h"
#include "app/lightviewlight.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

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

QTEST_MAIN(TestLightView)
#include "tst_lightview.moc"
