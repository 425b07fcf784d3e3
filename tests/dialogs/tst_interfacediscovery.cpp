// DM_TEST_SANITIZE
#include "support/apptestsupport.h"
#include "support/modaldriver.h"
#include "support/simulatedorvexnetwork.h"

#include "app/lightview.h"
#include "app/lightviewinterface.h"
#include "app/metatool.h"
#include "dialogs/associateinterfacedialog.h"
#include "dialogs/discoverinterfaceswizard.h"
#include "dialogs/interfacelistentry.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
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

void selectRow(QListWidget *list, const QString &prefix, bool on)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().startsWith(prefix))
            list->item(i)->setSelected(on);
}

// The level of the last frame a device received: DMX out for version 1, port out otherwise.
int lastLevel(Iface *dev, quint16 code)
{
    const QList<QByteArray> frames = dev->receivedWithCode(code);
    return frames.isEmpty() ? -1 : quint8(frames.last().at(code == 0x0101 ? 21 : 24));
}
} // namespace

class TestInterfaceDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        isolateTestEnvironment();
        qRegisterMetaType<DataSupply *>();
    }
    void init();
    void cleanup();
    void wizardListsSwitchesAndAddsOnce();
    void mainWindowRunsWizard();
    void associateMovesLightsThroughTheTree_data();
    void associateMovesLightsThroughTheTree();
    void associateMergesButNeverOffersItself();

private:
    Iface *device(const char *ip, Iface::DiscoverForm form, quint64 serial, quint16 version,
                  int ports, const QByteArray &name)
    {
        Iface *dev = m_net->addInterface(QHostAddress(QLatin1String(ip)));
        dev->identity = {form, dev->identity.mac, serial, version, 0, "1.0", name};
        for (int i = 0; i < ports; ++i)
            dev->ports.append({quint8(i + 1), 1});
        return dev;
    }

    SimulatedOrvexNetwork *m_net = nullptr;
    MapModel *m_map = nullptr;
    EffectEngine *m_effects = nullptr;
};

void TestInterfaceDiscovery::init()
{
    m_net = new SimulatedOrvexNetwork;
    QVERIFY(m_net->isListening());
    m_map = new MapModel;
    m_effects = new EffectEngine(m_map, 100);
}

void TestInterfaceDiscovery::cleanup()
{
    delete m_effects;
    delete m_map;
    delete m_net;
}

void TestInterfaceDiscovery::wizardListsSwitchesAndAddsOnce()
{
    Iface *one = device("127.0.0.2", Iface::DiscoverForm::Classic, 0x11, 1, 0, "One");
    Iface *four = device("127.0.0.3", Iface::DiscoverForm::Classic, 0x22, 2, 4, "Four");
    device("127.0.0.4", Iface::DiscoverForm::Version3, 0xABCD12345678, 3, 0, "None");
    const QStringList rows = {"00000011 One (1 port)", "00000022 Four (4 ports)",
                              "ABCD:12345678 None (0 ports)"};
    auto *wizard = new DiscoverInterfacesWizard(m_map, m_effects);
    auto *found = widgetNamed<QListWidget>(wizard, "m_discoverListBox");
    QTRY_COMPARE(sortedTexts(found), rows);
    // A second query lists nobody twice and replaces the port texts.
    QSignalSpy ports(wizard->engine(), &DiscoveryEngine::discoveredPorts);
    widgetNamed<QPushButton>(wizard, "m_refreshButton")->click();
    QTRY_COMPARE(ports.size(), 3);
    QCOMPARE(sortedTexts(found), rows);

    selectRow(found, "00000011", true);
    selectRow(found, "00000022", true);
    selectRow(found, "00000011", false);
    QTRY_COMPARE(lastLevel(one, 0x0101), 0);
    QTRY_COMPARE(lastLevel(four, 0x0108), 255);
    QCOMPARE(four->receivedWithCode(0x0108).size() % 4, 0); // one port out per port

    auto *chosen = widgetNamed<QListWidget>(wizard, "m_addListBox");
    found->selectAll();
    widgetNamed<QPushButton>(wizard, "m_addButton")->click();
    widgetNamed<QPushButton>(wizard, "m_addButton")->click();
    QCOMPARE(chosen->count(), 3);
    selectRow(chosen, "ABCD", true);
    widgetNamed<QPushButton>(wizard, "m_removeButton")->click();
    wizard->reject(); // Cancel adds the picks as well
    delete wizard;
    QCOMPARE(m_map->dataSupplies().size(), 2);
    QCOMPARE(m_map->dataSupply(0x22)->portCount(), 4);
    QTRY_COMPARE(lastLevel(four, 0x0108), 0);

    DiscoverInterfacesWizard again(m_map, m_effects);
    found = widgetNamed<QListWidget>(&again, "m_discoverListBox");
    QTRY_COMPARE(found->count(), 3);
    found->selectAll();
    widgetNamed<QPushButton>(&again, "m_addButton")->click();
    again.accept();
    QCOMPARE(m_map->dataSupplies().size(), 3); // the two already in the map are refused
}

void TestInterfaceDiscovery::mainWindowRunsWizard()
{
    device("127.0.0.2", Iface::DiscoverForm::Classic, 0x11, 1, 0, "One");
    MetaTool w;
    ModalDriver driver;
    driver.then([](QWidget *wizard) {
        auto *found = widgetNamed<QListWidget>(wizard, "m_discoverListBox");
        QTRY_COMPARE(found->count(), 1);
        found->selectAll();
        widgetNamed<QPushButton>(wizard, "m_addButton")->click();
        static_cast<QDialog *>(wizard)->accept();
    });
    w.form().discoverInterfacesAction->trigger();
    QCOMPARE(driver.pending(), 0);
    QVERIFY(w.lightView()->interfaceItem(0x11));
    QVERIFY(w.getDirty());
}

void TestInterfaceDiscovery::associateMovesLightsThroughTheTree_data()
{
    QTest::addColumn<bool>("keepName");
    QTest::newRow("discovered name") << false;
    QTest::newRow("original name") << true;
}

void TestInterfaceDiscovery::associateMovesLightsThroughTheTree()
{
    QFETCH(bool, keepName);
    device("127.0.0.3", Iface::DiscoverForm::Classic, 0x22, 2, 2, "Found");
    LightView tree(m_map, m_effects, nullptr, "Light View");
    DataSupply *planned = addInterface(m_map, "Planned", QHostAddress(), 2);
    const quint64 plannedUid = planned->uid();
    addLight(m_map, planned, "A", 0, 0, QPointF(0, 0));
    addLight(m_map, planned, "B", 1, 509, QPointF(40, 0));
    tree.prepareMenu(tree.interfaceItem(plannedUid));
    ModalDriver driver;
    driver.then([keepName](QWidget *dialog) {
        widgetNamed<QPushButton>(dialog, "m_refreshButton")->click();
        auto *found = widgetNamed<QListWidget>(dialog, "m_discoverListBox");
        QTRY_COMPARE(sortedTexts(found), QStringList("00000022 Found (2 ports)"));
        found->item(0)->setSelected(true);
        QCOMPARE(widgetNamed<QLabel>(dialog, "m_newNameLabel")->text(), QString("Found"));
        if (keepName)
            widgetNamed<QRadioButton>(dialog, "m_originalNameRadioButton")->setChecked(true);
        widgetNamed<QPushButton>(dialog, "buttonOk")->click();
    });
    for (QAction *a : tree.interfaceMenu()->actions())
        if (a->text() == "Associate with Discovered Interface...")
            a->trigger();
    QCOMPARE(driver.pending(), 0);

    DataSupply *target = m_map->dataSupply(0x22);
    QVERIFY(target && !m_map->dataSupply(plannedUid) && !tree.interfaceItem(plannedUid));
    QCOMPARE(target->name(), QString(keepName ? "Planned" : "Found"));
    QCOMPARE(tree.interfaceItem(0x22)->childCount(), 2);
    QVERIFY(target->dmxBufSize() >= 512);

    QTemporaryDir dir;
    QVERIFY(m_map->saveMap(dir.filePath("a.map")));
    MapModel reloaded;
    QVERIFY(reloaded.loadMap(dir.filePath("a.map"), {}));
    QCOMPARE(reloaded.dataSupply(0x22)->lights().size(), 2);
    for (quint64 uid : reloaded.dataSupply(0x22)->lights())
        QCOMPARE(reloaded.light(uid)->dataSupplyUid(), quint64(0x22));
}

void TestInterfaceDiscovery::associateMergesButNeverOffersItself()
{
    DataSupply *planned = addInterface(m_map, "Planned", QHostAddress(), 2);
    DataSupply *other = addInterface(m_map, "Other", QHostAddress("127.0.0.3"), 2);
    addLight(m_map, planned, "A", 0, 0, QPointF(0, 0));
    addLight(m_map, other, "B", 0, 3, QPointF(0, 0));
    const quint64 plannedUid = planned->uid(), otherUid = other->uid();
    device("127.0.0.2", Iface::DiscoverForm::Version3, plannedUid, 3, 1, "Self");
    device("127.0.0.3", Iface::DiscoverForm::Version3, otherUid, 3, 1, "Otherdev");

    AssociateInterfaceDialog dialog(m_map, m_effects, planned);
    QSignalSpy answers(dialog.engine(), &DiscoveryEngine::discoveredController);
    auto *found = widgetNamed<QListWidget>(&dialog, "m_discoverListBox");
    widgetNamed<QPushButton>(&dialog, "m_refreshButton")->click();
    QTRY_COMPARE(answers.size(), 2);
    QCOMPARE(found->count(), 0); // both are in the map already
    widgetNamed<QCheckBox>(&dialog, "m_showAssociatedInterfaces")->setChecked(true);
    widgetNamed<QPushButton>(&dialog, "m_refreshButton")->click();
    QTRY_COMPARE(answers.size(), 4);
    QCOMPARE(found->count(), 1);
    QCOMPARE(uidOfEntry(found->item(0)->text()), otherUid);

    found->item(0)->setSelected(true);
    widgetNamed<QPushButton>(&dialog, "buttonOk")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!m_map->dataSupply(plannedUid));
    QCOMPARE(other->name(), QString("Other"));
    QCOMPARE(other->lights().size(), 2);
    QVERIFY(QSettings().value(AssociateInterfaceDialog::ShowAssociatedKey).toBool());
}

QTEST_MAIN(TestInterfaceDiscovery)
#include "tst_interfacediscovery.moc"
