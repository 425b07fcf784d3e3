// DM_TEST_SANITIZE
#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include "app/lightview.h"
#include "app/lightviewinterface.h"
#include "app/metatool.h"
#include "dialogs/clonelayout.h"
#include "dialogs/editcontrollerdialog.h"
#include "dialogs/interfacelistentry.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

namespace {
void edit(DataSupply *ds, const QMap<QString, QString> &fields, const char *button = "buttonOk")
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
    widgetNamed<QPushButton>(&dialog, button)->click();
}
} // namespace

class TestInterfaceEditors : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void listRowsAndFieldTexts();
    void editorWritesFieldsThatSurviveSaving();
    void loweringPortsKeepsFramesOnTheRemainingPorts();
    void clonePlaces_data();
    void clonePlaces();
    void cloneThroughTheTree();
    void addInterfaceFromMainWindow();
};

void TestInterfaceEditors::listRowsAndFieldTexts()
{
    QCOMPARE(portCountText(1), QString("(1 port)"));
    QCOMPARE(portCountText(0), QString("(0 ports)"));
    QCOMPARE(uidOfEntry(interfaceEntryText(0xABCD12345678, "Wide", 4)), quint64(0xABCD12345678));
    QCOMPARE(uidOfEntry("not-hex Name"), quint64(0));
    QCOMPARE(uidOfEntry(""), quint64(0));
    QCOMPARE(protocolVersionFromText("orvex V3"), quint16(3));
    QCOMPARE(protocolVersionFromText("Orvex v4"), quint16(0));
    QCOMPARE(versionRow(7), 0);
    QCOMPARE(universeFromText("abc"), quint32(0));
}

void TestInterfaceEditors::editorWritesFieldsThatSurviveSaving()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Gate", QHostAddress("127.0.0.5"), 2);
    ds->setFamily("Family");
    ds->setSerialNumber(0xABCD12345678);
    ds->setPortType(1, 3);
    DataSupply *planned = addInterface(&map, "Planned", QHostAddress(), 1);
    planned->setProtocolVersion(7);
    {
        EditControllerDialog dialog(&map, ds);
        QCOMPARE(widgetNamed<QLabel>(&dialog, "m_typeLabel")->text(), QString("Orvex Interface"));
        QCOMPARE(widgetNamed<QLineEdit>(&dialog, "m_serialLineEdit")->text(),
                 QString("ABCD:12345678"));
    }
    edit(ds, {});
    edit(planned, {});
    // Untouched: nothing lost, and an interface without address does not gain 0.0.0.0.
    QCOMPARE(ds->family(), QString("Family"));
    QCOMPARE(ds->portType(1), quint8(3));
    QVERIFY(!planned->hasIpAddress());
    QCOMPARE(planned->protocolVersion(), quint16(1));

    edit(ds, {{"m_nameLineEdit", "Gate 2"}, {"ipBox", "10.0.0.300"}, {"uniBox", "abc"}},
         "buttonCancel");
    QCOMPARE(ds->name(), QString("Gate"));
    edit(ds, {{"m_nameLineEdit", "Gate 2"},
              {"ipBox", "10.0.0.300"},
              {"uniBox", "abc"},
              {"numPortsBox", "3"},
              {"version", "Orvex v3"},
              {"m_serialLineEdit", "1234:00000001"}});
    QCOMPARE(ds->ipAddress(), QString("0.0.0.0"));
    QCOMPARE(ds->family(), QString());

    QTemporaryDir dir;
    QVERIFY(map.saveMap(dir.filePath("e.map")));
    MapModel reloaded;
    QVERIFY(reloaded.loadMap(dir.filePath("e.map"), {}));
    const DataSupply *back = reloaded.dataSupply(ds->uid());
    QCOMPARE(back->name(), QString("Gate 2"));
    QCOMPARE(back->universe(), quint32(0));
    QCOMPARE(back->portCount(), quint8(3));
    QCOMPARE(back->protocolVersion(), quint16(3));
    QCOMPARE(back->serialNumber(), quint64(0x123400000001));
    QVERIFY(!back->hasIpAddress());
}

void TestInterfaceEditors::loweringPortsKeepsFramesOnTheRemainingPorts()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Gate", QHostAddress("127.0.0.5"), 4);
    ds->setProtocolVersion(2);
    addLight(&map, ds, "First", 0, 0, QPointF());
    addLight(&map, ds, "Last", 3, 509, QPointF());
    QSignalSpy frames(&map, &MapModel::signalSendPortOut);
    map.updateLights();
    QCOMPARE(frames.size(), 2);
    edit(ds, {{"numPortsBox", "2"}});
    frames.clear();
    map.updateLights();
    QCOMPARE(frames.size(), 1); // the light on the dropped port is not sent anywhere
    QCOMPARE(frames.first().at(2).value<quint8>(), quint8(1));
}

void TestInterfaceEditors::clonePlaces_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<bool>("hole");
    QTest::addColumn<QList<int>>("numbers");
    QTest::newRow("row ignores rows and hole")
        << int(CloneLayout::Row) << true << QList<int>{1, 2, 3};
    QTest::newRow("column") << int(CloneLayout::Column) << true << QList<int>{1, 2};
    QTest::newRow("grid with hole") << int(CloneLayout::Grid) << true << QList<int>{2, 3, 4, 5, 6};
    QTest::newRow("grid") << int(CloneLayout::Grid) << false << QList<int>{1, 2, 3, 4, 5, 6};
}

void TestInterfaceEditors::clonePlaces()
{
    QFETCH(int, layout);
    QFETCH(bool, hole);
    QFETCH(QList<int>, numbers);
    // Rows 2, columns 3; an interface without lights is spaced by 2g - 1.
    const auto places =
        ::clonePlaces(cloneGrid(CloneLayout(layout), 2, 3, hole), QRect(), QRect(0, 0, 1, 41), 12);
    const int columns = layout == int(CloneLayout::Column) ? 1 : 3;
    QList<int> got;
    for (const ClonePlace &p : places) {
        got << p.index + 1;
        QCOMPARE(p.x, 12 + 23 * (p.index % columns));
        QCOMPARE(p.y, 64 + 23 * (p.index / columns));
    }
    QCOMPARE(got, numbers);
}

void TestInterfaceEditors::cloneThroughTheTree()
{
    QSettings().setValue("/grid", 5); // counts as 12
    MapModel map;
    EffectEngine effects(&map, 100);
    LightView tree(&map, &effects, nullptr, "Light View");
    DataSupply *src = addInterface(&map, "Src", QHostAddress("127.0.0.5"), 1);
    addLight(&map, src, "A", 0, 0, QPointF(100, 100));
    addLight(&map, src, "B", 0, 3, QPointF(160, 130));
    addLight(&map, addInterface(&map, "Low", QHostAddress(), 1), "C", 0, 0, QPointF(0, 400));
    tree.prepareMenu(tree.interfaceItem(src->uid()));
    QSignalSpy pauses(&tree, &LightView::pauseUpdate);
    ModalDriver driver;
    driver.then([](QWidget *dialog) {
        QVERIFY(!widgetNamed<QSpinBox>(dialog, "m_rowSpin")->isEnabled());
        widgetNamed<QAbstractButton>(dialog, "m_gridButton")->click();
        QVERIFY(widgetNamed<QCheckBox>(dialog, "m_includeBox")->isEnabled());
        widgetNamed<QSpinBox>(dialog, "m_rowSpin")->setValue(2);
        widgetNamed<QSpinBox>(dialog, "m_columnSpin")->setValue(2);
        widgetNamed<QPushButton>(dialog, "buttonOk")->click();
    });
    for (QAction *a : tree.interfaceMenu()->actions())
        if (a->text() == "Clone Interface...")
            a->trigger();
    QCOMPARE(pauses.size(), 6);
    // Places 2 (row 0, column 1), 3 and 4: w = 59, h = 29 (inclusive edges), g = 12, and
    // top = 399 + 24 (the map's rectangle ends one above 400).
    QHash<QString, QPointF> corners;
    for (DataSupply *ds : map.dataSupplies()) {
        QCOMPARE(ds->lights().size(), ds->name() == "Low" ? 1 : 2);
        corners.insert(ds->name(), ds->boundingRect().topLeft());
    }
    QCOMPARE(corners.value("Src - clone 2"), QPointF(95, 423));
    QCOMPARE(corners.value("Src - clone 3"), QPointF(12, 476));
    QCOMPARE(corners.value("Src - clone 4"), QPointF(95, 476));
    QCOMPARE(corners.size(), 5);
}

void TestInterfaceEditors::addInterfaceFromMainWindow()
{
    MetaTool w;
    ModalDriver driver;
    driver.then([](QWidget *chooser) {
        QCOMPARE(chooser->windowTitle(), QString("Interface Type"));
        static_cast<QDialog *>(chooser)->reject();
    });
    w.form().addInterfaceAction->trigger();
    QVERIFY(w.mapModel()->dataSupplies().isEmpty());
    QVERIFY(!w.getDirty());
    driver.then([](QWidget *chooser) { static_cast<QDialog *>(chooser)->accept(); });
    driver.then([](QWidget *editor) {
        QCOMPARE(widgetNamed<QLineEdit>(editor, "m_nameLineEdit")->text(),
                 QString("New Orvex Interface"));
        widgetNamed<QPushButton>(editor, "buttonCancel")->click();
    });
    w.form().addInterfaceAction->trigger();
    QCOMPARE(driver.pending(), 0);
    const QList<DataSupply *> added = w.mapModel()->dataSupplies().values();
    QCOMPARE(added.size(), 1); // kept although the editor was cancelled
    QCOMPARE(added.first()->protocolVersion(), quint16(2));
    QVERIFY(w.getDirty());
}

QTEST_MAIN(TestInterfaceEditors)
#include "tst_interfaceeditors.moc"
