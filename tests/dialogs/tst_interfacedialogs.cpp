#include "support/apptestsupport.h"
#include "support/laptopscreen.h"
#include "support/modaldriver.h"
#include "support/simulatedorvexnetwork.h"

#include "app/lightview.h"
#include "app/lightviewinterface.h"
#include "app/metatool.h"
#include "dialogs/associateinterfacedialog.h"
#include "dialogs/clonelayout.h"
#include "dialogs/discoverinterfaceswizard.h"
#include "dialogs/editcontrollerdialog.h"
#include "dialogs/interfacelistentry.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QSpinBox>
#include <QToolTip>
#include <QtTest>

using Iface = SimulatedOrvexInterface;

namespace {
QStringList sortedTexts(QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    texts.sort();
    return texts;
}

void select(QListWidget *list, const QString &prefix, bool on)
{
    list->findItems(prefix, Qt::MatchStartsWith).first()->setSelected(on);
}

void click(QWidget *dialog, const char *button)
{
    widgetNamed<QAbstractButton>(dialog, button)->click();
}

void triggerEntry(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text)
            a->trigger();
}

// The level of the last frame a device received: DMX out for version 1, else port out.
int lastLevel(Iface *dev, quint16 code)
{
    const QList<QByteArray> frames = dev->receivedWithCode(code);
    return frames.isEmpty() ? -1 : quint8(frames.last().at(code == 0x0101 ? 21 : 24));
}

// Fills the editor's fields by object name and presses OK.
void edit(DataSupply *ds, const QMap<QString, QString> &fields)
{
    EditControllerDialog dialog(ds->map(), ds);
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        if (auto *line = widgetNamed<QLineEdit>(&dialog, it.key()))
            line->setText(it.value());
        else if (auto *spin = widgetNamed<QSpinBox>(&dialog, it.key()))
            spin->setValue(it.value().toInt());
        else
            widgetNamed<QComboBox>(&dialog, it.key())->setCurrentText(it.value());
    }
    click(&dialog, "buttonOk");
}
} // namespace

class TestInterfaceDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rules();
    void wizardListsSwitchesAndAddsOnce();
    void wizardAddsWhatItsRowShowsAfterAnotherQuery_data();
    void wizardAddsWhatItsRowShowsAfterAnotherQuery();
    void wizardKeepsAListedInterfaceFromAnotherHost_data();
    void wizardKeepsAListedInterfaceFromAnotherHost();
    void wizardListsAtMostTheCapAndSaysSo_data();
    void wizardListsAtMostTheCapAndSaysSo();
    void associateThroughTheTree();
    void editorWritesFieldsAndFramesFollow();
    void cloneThroughTheTree();
    void addInterfaceFromMainWindow();

private:
    Iface *device(const char *ip, quint64 serial, quint16 version, int ports, const char *name)
    {
        Iface *dev = m_net->addInterface(QHostAddress(QLatin1String(ip)));
        const auto form =
            serial >> 32 ? Iface::DiscoverForm::Version3 : Iface::DiscoverForm::Classic;
        dev->identity = {form, dev->identity.mac, serial, version, 0, "1.0", name};
        for (int i = 0; i < ports; ++i)
            dev->ports.append({quint8(i + 1), 1});
        return dev;
    }

    SimulatedOrvexNetwork *m_net = nullptr;
    MapModel *m_map = nullptr;
    EffectEngine *m_effects = nullptr;
};

void TestInterfaceDialogs::initTestCase()
{
    isolateTestEnvironment();
    qRegisterMetaType<DataSupply *>();
}

void TestInterfaceDialogs::init()
{
    m_net = new SimulatedOrvexNetwork;
    QVERIFY(m_net->isListening());
    m_map = new MapModel;
    m_effects = new EffectEngine(m_map, 100);
}

void TestInterfaceDialogs::cleanup()
{
    delete m_effects;
    delete m_map;
    delete m_net;
}

void TestInterfaceDialogs::rules()
{
    QCOMPARE(uidOfEntry("not-hex Name"), quint64(0));
    // Rows 2, columns 3: a row ignores the rows and the hole, a column the columns.
    auto places = [](CloneLayout layout, bool hole) {
        return clonePlaces(cloneGrid(layout, 2, 3, hole), QRect(), QRect(), 12).size();
    };
    QCOMPARE(places(CloneLayout::Row, true), 3);
    QCOMPARE(places(CloneLayout::Column, true), 2);
    QCOMPARE(places(CloneLayout::Grid, false), 6);
}

void TestInterfaceDialogs::wizardListsSwitchesAndAddsOnce()
{
    Iface *one = device("127.0.0.2", 0x11, 1, 0, "One");
    Iface *four = device("127.0.0.3", 0x22, 2, 4, "Four");
    device("127.0.0.4", 0xABCD12345678, 3, 0, "None");
    const QStringList rows = {"00000011 One (1 port)", "00000022 Four (4 ports)",
                              "ABCD:12345678 None (0 ports)"};
    MetaTool w;
    auto *wizard = new DiscoverInterfacesWizard(w.mapModel(), w.effectEngine());
    auto *found = widgetNamed<QListWidget>(wizard, "m_discoverListBox");
    QTRY_COMPARE(sortedTexts(found), rows);
    // A second query lists nobody twice and replaces the port texts.
    QSignalSpy ports(wizard->engine(), &DiscoveryEngine::discoveredPorts);
    click(wizard, "m_refreshButton");
    QTRY_COMPARE(ports.size(), 3);
    QCOMPARE(sortedTexts(found), rows);

    select(found, "00000022", true);
    QTRY_COMPARE(lastLevel(one, 0x0101), 0);
    QTRY_COMPARE(lastLevel(four, 0x0108), 255);

    found->selectAll();
    click(wizard, "m_addButton");
    click(wizard, "m_addButton");
    auto *chosen = widgetNamed<QListWidget>(wizard, "m_addListBox");
    QCOMPARE(chosen->count(), 3);
    select(chosen, "ABCD", true);
    click(wizard, "m_removeButton");
    wizard->reject(); // Cancel adds the picks as well
    delete wizard;
    QCOMPARE(w.mapModel()->dataSupplies().size(), 2);
    QCOMPARE(w.mapModel()->dataSupply(0x22)->portCount(), 4);
    QTRY_COMPARE(lastLevel(four, 0x0108), 0);

    // Again from the menu: the two the map holds are refused, the third joins.
    ModalDriver driver;
    driver.then([](QWidget *again) {
        auto *found = widgetNamed<QListWidget>(again, "m_discoverListBox");
        QTRY_COMPARE(found->count(), 3);
        found->selectAll();
        click(again, "m_addButton");
        static_cast<QDialog *>(again)->accept();
    });
    w.form().discoverInterfacesAction->trigger();
    QCOMPARE(w.mapModel()->dataSupplies().size(), 3);
    QVERIFY(w.getDirty());
}

void TestInterfaceDialogs::wizardAddsWhatItsRowShowsAfterAnotherQuery_data()
{
    QTest::addColumn<bool>("firstAnswered");
    QTest::addColumn<bool>("secondAnswered");
    QTest::addColumn<bool>("addedBeforeQuery");
    QTest::newRow("first port answer lost") << false << true << false;
    QTest::newRow("second port answer lost") << true << false << false;
    QTest::newRow("both answered, added before") << true << true << true;
    QTest::newRow("second lost, added before") << true << false << true;
}

void TestInterfaceDialogs::wizardAddsWhatItsRowShowsAfterAnotherQuery()
{
    QFETCH(bool, firstAnswered);
    QFETCH(bool, secondAnswered);
    QFETCH(bool, addedBeforeQuery);
    Iface *dev = device("127.0.0.2", 0x33, 2, 3, "Three");
    dev->ports[1].type = 3;
    dev->faults[0x000A].drop = firstAnswered ? 0 : 1;
    MetaTool w;
    auto *wizard = new DiscoverInterfacesWizard(w.mapModel(), w.effectEngine());
    auto *found = widgetNamed<QListWidget>(wizard, "m_discoverListBox");
    QTRY_COMPARE(dev->receivedWithCode(0x000A).size(), 1);
    QTRY_COMPARE(found->count(), 1);
    if (firstAnswered)
        QTRY_COMPARE(found->item(0)->text(), QStringLiteral("00000033 Three (3 ports)"));
    select(found, "00000033", true);
    if (addedBeforeQuery)
        click(wizard, "m_addButton");

    dev->faults[0x000A].drop = secondAnswered ? 0 : 1;
    dev->identity.idText = "Renamed";
    const DataSupply *first = wizard->engine()->controllerForUid(0x33);
    click(wizard, "m_refreshButton");
    QTRY_COMPARE(dev->receivedWithCode(0x000A).size(), 2);
    QVERIFY(wizard->engine()->controllerForUid(0x33) != first);
    QTRY_COMPARE(found->item(0)->text(), QStringLiteral("00000033 Renamed (3 ports)"));
    if (!addedBeforeQuery)
        click(wizard, "m_addButton");
    QCOMPARE(widgetNamed<QListWidget>(wizard, "m_addListBox")->item(0)->text(),
             QStringLiteral("00000033 Renamed"));
    wizard->accept();
    delete wizard;
    const DataSupply *added = w.mapModel()->dataSupply(0x33);
    QVERIFY(added);
    QCOMPARE(added->name(), QStringLiteral("Renamed"));
    QCOMPARE(int(added->portCount()), 3);
    QCOMPARE(int(added->portType(1)), 3);
    QCOMPARE(added->portIndexTable().value(2), quint8(2));
}

void TestInterfaceDialogs::wizardKeepsAListedInterfaceFromAnotherHost_data()
{
    QTest::addColumn<bool>("afterRefresh");
    QTest::addColumn<bool>("forgerFirst"); // the forger answers 20 ms before the device
    QTest::newRow("same query") << false << false;
    QTest::newRow("after a Refresh, row added") << true << false;
    QTest::newRow("same query, forger first") << false << true;
}

// Another host answering with a listed serial number does not take the row over from the
// interface listed first; which of them is genuine cannot be told, so the row names both
// addresses, a line under the lists says so whole on a small screen, and neither joins the map,
// even when the row was added before the other host answered.
void TestInterfaceDialogs::wizardKeepsAListedInterfaceFromAnotherHost()
{
    QFETCH(bool, afterRefresh);
    QFETCH(bool, forgerFirst);
    Iface *real = device("127.0.0.2", 0x22, 2, 2, "Real");
    Iface *forger = device("127.0.0.3", 0x22, 2, 5, "Forged");
    forger->answering = !afterRefresh;
    if (forgerFirst)
        real->faults[0x0001].delayMs = 20;
    auto *wizard = new DiscoverInterfacesWizard(m_map, m_effects);
    wizard->show();
    auto *found = widgetNamed<QListWidget>(wizard, "m_discoverListBox");
    auto *contested = widgetNamed<QLabel>(wizard, "m_contestedLabel");
    const QString row = forgerFirst
                            ? "00000022 Forged (5 ports) - answered from 127.0.0.3 and 127.0.0.2"
                            : "00000022 Real (2 ports) - answered from 127.0.0.2 and 127.0.0.3";
    if (afterRefresh) {
        QTRY_COMPARE(found->count(), 1);
        QTRY_COMPARE(found->item(0)->text(), QString("00000022 Real (2 ports)"));
        QVERIFY(!contested->isVisible());
        QVERIFY(found->item(0)->flags() & Qt::ItemIsEnabled);
        found->setCurrentItem(found->item(0)); // clicked, as the user picks it
        click(wizard, "m_addButton");
        forger->answering = true;
        click(wizard, "m_refreshButton");
    }
    QTRY_COMPARE(found->count() == 1 ? found->item(0)->text() : QString(), row);
    QCOMPARE(contested->text(),
             QString("Serial 00000022 answered from %1: left out of the map, since which is "
                     "the interface cannot be told.")
                 .arg(forgerFirst ? "127.0.0.3 and 127.0.0.2" : "127.0.0.2 and 127.0.0.3"));
    QVERIFY(contested->isVisible());
    QVERIFY(contested->height() >= contested->heightForWidth(contested->width()));
    QVERIFY(wizard->screen()->availableGeometry().contains(wizard->frameGeometry()));
    // The row itself is greyed out and tells why when the pointer rests on it; neither "-->"
    // nor a double click adds it.
    QListWidgetItem *item = found->item(0);
    QVERIFY(!(item->flags() & Qt::ItemIsEnabled));
    const QPoint at = found->visualItemRect(item).center();
    QHelpEvent hover(QEvent::ToolTip, at, found->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(found->viewport(), &hover);
    QCOMPARE(QToolTip::text(), contested->text());
    // A screen reader hears it as unavailable, and why, with no hover; the list does not start
    // on it when it takes the focus.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(found, &focusIn);
    QAccessibleInterface *cell = QAccessible::queryAccessibleInterface(found)->child(0);
    QVERIFY(cell);
    const QAccessible::State state = cell->state();
    QVERIFY(!state.selectable && !state.focusable && !state.focused);
    QCOMPARE(cell->text(QAccessible::Description), contested->text());
    QCOMPARE(cell->text(QAccessible::Name), row + " (unavailable)");
    select(found, "00000022", true);
    click(wizard, "m_addButton");
    QTest::mouseDClick(found->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(widgetNamed<QListWidget>(wizard, "m_addListBox")->count(), afterRefresh ? 1 : 0);
    wizard->accept();
    delete wizard;
    QVERIFY(!m_map->dataSupply(0x22));
}

void TestInterfaceDialogs::wizardListsAtMostTheCapAndSaysSo_data()
{
    QTest::addColumn<int>("flood"); // forged interfaces answering each query
    QTest::addColumn<int>("queries");
    const int cap = DiscoveryEngine::MaxInterfacesPerDiscovery;
    QTest::newRow("clean") << 0 << 1;
    QTest::newRow("one query, exactly the cap") << cap - 1 << 1;
    QTest::newRow("one query, beyond the cap") << cap + 76 << 1;
    QTest::newRow("five queries under a flood") << 300 << 5;
}

// However many interfaces answer, and however often the user queries, the list holds at most
// the cap, and a line in the window says when more answered than it lists.
void TestInterfaceDialogs::wizardListsAtMostTheCapAndSaysSo()
{
    QFETCH(int, flood);
    QFETCH(int, queries);
    const int cap = DiscoveryEngine::MaxInterfacesPerDiscovery;
    device("127.0.0.2", 0x22, 2, 2, "Real"); // answers before the flood
    m_net->floodDiscoverReplies(flood);
    auto *wizard = new DiscoverInterfacesWizard(m_map, m_effects);
    wizard->show();
    auto *found = widgetNamed<QListWidget>(wizard, "m_discoverListBox");
    for (int query = 1; query <= queries; ++query) {
        if (query > 1)
            click(wizard, "m_refreshButton");
        // At least: a discovery may broadcast more than once, and each broadcast is flooded.
        QTRY_VERIFY_WITH_TIMEOUT(m_net->floodRepliesSent() >= query * flood, 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(found->count(), std::min(cap, 1 + flood * queries), 10000);
    QCOMPARE(found->findItems("00000022 Real", Qt::MatchStartsWith).size(), 1);
    auto *notice = widgetNamed<QLabel>(wizard, "m_interfaceLimitLabel");
    QVERIFY(notice);
    QTRY_COMPARE(notice->isVisibleTo(wizard), 1 + flood * queries > cap);
    QVERIFY(notice->text().contains("1,024"));
    delete wizard;
}

void TestInterfaceDialogs::associateThroughTheTree()
{
    LightView tree(m_map, m_effects, nullptr, "Light View");
    DataSupply *planned = addInterface(m_map, "Planned", QHostAddress(), 2);
    const quint64 plannedUid = planned->uid();
    addLight(m_map, planned, "A", 0, 0, QPointF(0, 0));
    addLight(m_map, planned, "B", 1, 509, QPointF(40, 0));
    const quint64 otherUid = addInterface(m_map, "Other", QHostAddress("127.0.0.4"), 1)->uid();
    device("127.0.0.2", plannedUid, 3, 1, "Self"); // never offered: it is the one to replace
    device("127.0.0.3", 0x22, 2, 2, "Found");
    device("127.0.0.4", otherUid, 3, 1, "Other"); // offered only when asked for
    tree.prepareMenu(tree.interfaceItem(plannedUid));
    ModalDriver driver;
    driver.then([](QWidget *dialog) {
        auto *found = widgetNamed<QListWidget>(dialog, "m_discoverListBox");
        QSignalSpy answers(static_cast<AssociateInterfaceDialog *>(dialog)->engine(),
                           &DiscoveryEngine::discoveredController);
        click(dialog, "m_refreshButton");
        QTRY_COMPARE(answers.size(), 3);
        QTRY_COMPARE(sortedTexts(found), QStringList("00000022 Found (2 ports)"));
        widgetNamed<QAbstractButton>(dialog, "m_showAssociatedInterfaces")->setChecked(true);
        click(dialog, "m_refreshButton");
        QTRY_COMPARE(answers.size(), 6);
        QCOMPARE(found->count(), 2);
        select(found, "00000022", true);
        QCOMPARE(widgetNamed<QLabel>(dialog, "m_newNameLabel")->text(), QString("Found"));
        widgetNamed<QAbstractButton>(dialog, "m_originalNameRadioButton")->setChecked(true);
        click(dialog, "buttonOk");
    });
    triggerEntry(tree.interfaceMenu(), "Associate with Discovered Interface...");
    QCOMPARE(driver.pending(), 0);

    DataSupply *target = m_map->dataSupply(0x22);
    QVERIFY(target && !m_map->dataSupply(plannedUid) && !tree.interfaceItem(plannedUid));
    QCOMPARE(target->name(), QString("Planned"));
    QCOMPARE(tree.interfaceItem(0x22)->childCount(), 2);
    QCOMPARE(m_map->light(target->lights().last())->dataSupplyUid(), quint64(0x22));
    QVERIFY(QSettings().value(AssociateInterfaceDialog::ShowAssociatedKey).toBool());
}

void TestInterfaceDialogs::editorWritesFieldsAndFramesFollow()
{
    DataSupply *ds = addInterface(m_map, "Gate", QHostAddress("127.0.0.5"), 4);
    ds->setFamily("Family");
    ds->setSerialNumber(0xABCD12345678);
    ds->setPortType(1, 3);
    addLight(m_map, ds, "First", 0, 0, QPointF());
    addLight(m_map, ds, "Last", 3, 509, QPointF());
    DataSupply *planned = addInterface(m_map, "Planned", QHostAddress(), 1);
    planned->setProtocolVersion(7);
    edit(ds, {});
    edit(planned, {});
    // Untouched: nothing lost, and an interface without address does not gain 0.0.0.0.
    QCOMPARE(ds->family(), QString("Family"));
    QCOMPARE(ds->serialNumber(), quint64(0xABCD12345678));
    QCOMPARE(ds->portType(1), quint8(3));
    QVERIFY(!planned->hasIpAddress());
    QCOMPARE(planned->protocolVersion(), quint16(1));
    edit(ds, {{"uniBox", "12"}});
    QCOMPARE(ds->universe(), quint32(12));

    edit(ds, {{"m_nameLineEdit", "Gate 2"},
              {"ipBox", "10.0.0.300"},
              {"uniBox", "abc"},
              {"numPortsBox", "2"},
              {"version", "Orvex v3"},
              {"m_serialLineEdit", "1234:00000001"}});
    QCOMPARE(ds->ipAddress(), QString("0.0.0.0"));
    QCOMPARE(ds->family(), QString());
    // The light left on a dropped port is sent nowhere.
    QSignalSpy frames(m_map, &MapModel::signalSendPortOut);
    m_map->updateLights();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().at(2).value<quint8>(), quint8(1));

    QTemporaryDir dir;
    QVERIFY(m_map->saveMap(dir.filePath("e.map")));
    MapModel reloaded;
    QVERIFY(reloaded.loadMap(dir.filePath("e.map"), {}));
    const DataSupply *back = reloaded.dataSupply(ds->uid());
    QCOMPARE(back->name(), QString("Gate 2"));
    QCOMPARE(back->universe(), quint32(0));
    QCOMPARE(back->portCount(), quint8(2));
    QCOMPARE(back->protocolVersion(), quint16(3));
    QCOMPARE(back->serialNumber(), quint64(0x123400000001));
    QVERIFY(!back->hasIpAddress());
}

void TestInterfaceDialogs::cloneThroughTheTree()
{
    QSettings().setValue("/grid", 5); // counts as 12
    LightView tree(m_map, m_effects, nullptr, "Light View");
    DataSupply *src = addInterface(m_map, "Src", QHostAddress("127.0.0.5"), 1);
    addLight(m_map, src, "A", 0, 0, QPointF(100, 100));
    addLight(m_map, src, "B", 0, 3, QPointF(160, 130));
    addLight(m_map, addInterface(m_map, "Low", QHostAddress(), 1), "C", 0, 0, QPointF(0, 400));
    tree.prepareMenu(tree.interfaceItem(src->uid()));
    QSignalSpy pauses(&tree, &LightView::pauseUpdate);
    ModalDriver driver;
    driver.then([](QWidget *dialog) {
        QVERIFY(!widgetNamed<QSpinBox>(dialog, "m_rowSpin")->isEnabled());
        click(dialog, "m_gridButton");
        QVERIFY(widgetNamed<QWidget>(dialog, "m_includeBox")->isEnabled());
        widgetNamed<QSpinBox>(dialog, "m_rowSpin")->setValue(2);
        widgetNamed<QSpinBox>(dialog, "m_columnSpin")->setValue(2);
        click(dialog, "buttonOk");
    });
    triggerEntry(tree.interfaceMenu(), "Clone Interface...");
    QCOMPARE(pauses.size(), 6);
    // Places 2 (row 0, column 1), 3 and 4: w = 59, h = 29 (inclusive edges), g = 12, and
    // top = 399 + 24 (the map's rectangle ends one above 400).
    QHash<QString, QPointF> corners;
    for (DataSupply *ds : m_map->dataSupplies()) {
        QCOMPARE(ds->lights().size(), ds->name() == "Low" ? 1 : 2);
        corners.insert(ds->name(), ds->boundingRect().topLeft());
    }
    QCOMPARE(corners.value("Src - clone 2"), QPointF(95, 423));
    QCOMPARE(corners.value("Src - clone 3"), QPointF(12, 476));
    QCOMPARE(corners.value("Src - clone 4"), QPointF(95, 476));
    QCOMPARE(corners.size(), 5);
}

void TestInterfaceDialogs::addInterfaceFromMainWindow()
{
    MetaTool w;
    ModalDriver driver;
    driver.then([](QWidget *chooser) { static_cast<QDialog *>(chooser)->reject(); });
    w.form().addInterfaceAction->trigger();
    QVERIFY(w.mapModel()->dataSupplies().isEmpty());
    QVERIFY(!w.getDirty());
    driver.then([](QWidget *chooser) { static_cast<QDialog *>(chooser)->accept(); });
    driver.then([](QWidget *editor) { click(editor, "buttonCancel"); });
    w.form().addInterfaceAction->trigger();
    QCOMPARE(driver.pending(), 0);
    const QList<DataSupply *> added = w.mapModel()->dataSupplies().values();
    QCOMPARE(added.size(), 1); // kept although the editor was cancelled
    QCOMPARE(added.first()->name(), QString("New Orvex Interface"));
    QCOMPARE(added.first()->protocolVersion(), quint16(2));
    QVERIFY(w.getDirty());
}

DM_LAPTOP_SCREEN_MAIN(TestInterfaceDialogs)
#include "tst_interfacedialogs.moc"
