// The string creation dialog through its form: new and existing interfaces, the wizard's
// discovered lights, strings that run past one universe, and the main window's command.
// DM_TEST_SANITIZE: the frame check below writes port buffers.
#include "app/metatool.h"
#include "colour/veycolor.h"
#include "dialogs/createstringdialog.h"
#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include <QtTest>
#include <QtWidgets>

namespace {
template <class T> T *child(QWidget &d, const char *name)
{
    return widgetNamed<T>(&d, QString::fromLatin1(name));
}

QPoint at(const Light *light)
{
    return QPoint(int(light->pose().x), int(light->pose().y));
}

// "channel name" of every light, keyed by canvas position.
QMap<QPair<int, int>, QString> byPosition(const MapModel &map)
{
    QMap<QPair<int, int>, QString> out;
    for (const Light *light : map.lights())
        out.insert({at(light).x(), at(light).y()},
                   QString::number(light->dmxChannel()) + ' ' + light->name());
    return out;
}

// Everything of a light a saved map keeps (the model name is derived again on loading).
QString describe(const Light *l)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
        .arg(l->name())
        .arg(l->dmxChannel())
        .arg(l->port())
        .arg(l->footprint())
        .arg(l->serialNumber())
        .arg(l->fixture())
        .arg(l->dataSupplyUid())
        .arg(QString::number(l->pose().x) + ',' + QString::number(l->pose().y));
}
} // namespace

class TestCreateStringDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QSettings().clear(); }
    void tileOnNewInterfaceSurvivesSaveAndReopen();
    void verticalBelowLightsOnExistingInterface();
    void discoveredLightsFollowTheirInterface();
    void missingInterfaceCreatesNothing();
    void stringPastTheUniverseStaysInsideFrames();
    void mainWindowCommands();
};

void TestCreateStringDialog::initTestCase()
{
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("Dallowmere");
    isolateTestEnvironment();
}

void TestCreateStringDialog::tileOnNewInterfaceSurvivesSaveAndReopen()
{
    MapModel map;
    {
        CreateStringDialog d(&map);
        QVERIFY(child<QRadioButton>(d, "m_newInterfaceRadioButton")->isChecked());
        QVERIFY(child<QSpinBox>(d, "m_numPortsSpinBox")->isEnabled());
        child<QSpinBox>(d, "m_numPortsSpinBox")->setValue(4);
        child<QToolButton>(d, "m_tileButton")->click();
        QCOMPARE(child<QStackedWidget>(d, "m_widgetStack")->currentIndex(), 2);
        child<QSpinBox>(d, "m_numRowsSpinBox")->setValue(2);
        child<QSpinBox>(d, "m_numColumnsSpinBox")->setValue(3);
        child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(2);
        child<QPushButton>(d, "buttonAddRight")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }
    QCOMPARE(map.dataSupplies().size(), 1);
    DataSupply *ds = map.dataSupplies().begin().value();
    QCOMPARE(ds->portCount(), quint8(4));
    QCOMPARE(ds->lights().size(), 6);
    // Added right of an empty map: the top-left light at (24, 12); serpentine from top left.
    const QString prefix = "Light  Interface Generic 3-Ch Light 02-";
    const auto lights = byPosition(map);
    QCOMPARE(lights.value({24, 12}), "0 " + prefix + "001");
    QCOMPARE(lights.value({48, 12}), "6 " + prefix + "003");
    QCOMPARE(lights.value({48, 24}), "9 " + prefix + "004");
    QCOMPARE(lights.value({24, 24}), "15 " + prefix + "006");
    // Every light carries the string's first light's uid as its fixture id.
    const quint64 first = ds->lights().first();
    QCOMPARE(at(map.light(first)), QPoint(24, 12));
    for (const Light *light : map.lights()) {
        QCOMPARE(map.group(light->uid())->name(), light->name());
        QCOMPARE(light->fixture(), first);
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("string.map");
    QVERIFY(map.saveMap(path));
    MapModel loaded;
    QVERIFY(loaded.loadMap(path, {}));
    QCOMPARE(loaded.lights().size(), 6);
    for (const Light *light : map.lights())
        QCOMPARE(describe(loaded.light(light->uid())), describe(light));

    // The next opening shows the choices made.
    CreateStringDialog again(&map);
    QVERIFY(child<QToolButton>(again, "m_tileButton")->isChecked());
    QCOMPARE(child<QSpinBox>(again, "m_numRowsSpinBox")->value(), 2);
    QCOMPARE(child<QSpinBox>(again, "m_numColumnsSpinBox")->value(), 3);
    QVERIFY(child<QPushButton>(again, "buttonAddRight")->isDefault());
    QVERIFY(child<QRadioButton>(again, "m_newInterfaceRadioButton")->isChecked());
}

void TestCreateStringDialog::verticalBelowLightsOnExistingInterface()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "", QHostAddress(), 3);
    addLight(&map, ds, "a", 1, 7, QPointF(100, 50)); // port 2 ends at channel 9
    addLight(&map, ds, "b", 0, 0, QPointF(400, 250));
    QSettings().setValue("/CreateString/numberingtb", 1);
    QSettings().setValue("/CreateString/defaultaddbutton", 1);
    CreateStringDialog d(&map);
    QVERIFY(child<QRadioButton>(d, "m_bottomToTop")->isChecked());
    QVERIFY(child<QPushButton>(d, "buttonAddBelow")->isDefault());
    QCOMPARE(child<QSpinBox>(d, "m_numPortsSpinBox")->value(), 3);
    QVERIFY(!child<QSpinBox>(d, "m_numPortsSpinBox")->isEnabled());
    // 1000 rows leave room for 65 columns.
    child<QSpinBox>(d, "m_numRowsSpinBox")->setValue(1000);
    child<QSpinBox>(d, "m_numColumnsSpinBox")->setValue(100);
    QCOMPARE(child<QSpinBox>(d, "m_numRowsSpinBox")->value(), 650);

    child<QToolButton>(d, "m_verticalButton")->click();
    QVERIFY(!child<QSpinBox>(d, "m_numColumnsSpinBox")->isEnabled());
    child<QSpinBox>(d, "m_numRowsSpinBox")->setValue(3);
    child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(2);
    child<QCheckBox>(d, "m_dmxAutoSetCheckBox")->setChecked(true);
    QCOMPARE(child<QSpinBox>(d, "m_dmxAddressSpinBox")->value(), 11);
    child<QLineEdit>(d, "m_nameLineEdit")->clear();
    child<QPushButton>(d, "buttonAddBelow")->click();

    // Below the lights (y up to 250) from x 100; numbered from the bottom, starting at
    // channel 10: numbers 004, 005, 006.
    const auto lights = byPosition(map);
    QCOMPARE(lights.value({100, 274}), QString("16 Generic 3-Ch 02-006"));
    QCOMPARE(lights.value({100, 298}), QString("10 Generic 3-Ch 02-004"));
    QCOMPARE(ds->lights().size(), 5);
    QCOMPARE(map.dataSupplies().size(), 1);
}

void TestCreateStringDialog::discoveredLightsFollowTheirInterface()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Facade", QHostAddress(), 2);
    ds->setSerialNumber(0x00A00010); // a supply model whose strings are of one fixture type
    QList<Light *> found;
    for (int i = 0; i < 12; ++i) {
        auto *light = new Light;
        light->setUid(0x5000 + i);
        light->setPort(1);
        light->setDataSupplyUid(ds->uid());
        light->setResolution(0);
        found << light;
    }
    CreateStringDialog d(&map);
    d.setDiscoveredLights(found);
    d.setController(ds->uid());
    d.setBaseDmxAddress(10);
    d.setTitle("Facade port 2");
    QCOMPARE(child<QComboBox>(d, "m_fixtureType")->currentText(),
             QString("Veylight Fernrow Cove RGB"));
    QCOMPARE(child<QComboBox>(d, "m_inputResolution")->currentText(), QString("16 bit"));
    d.show();
    auto *rows = child<QSpinBox>(d, "m_numRowsSpinBox");
    auto *columns = child<QSpinBox>(d, "m_numColumnsSpinBox");
    QCOMPARE(columns->value(), 12);
    QVERIFY(!rows->isEnabled() && !columns->isEnabled());
    QVERIFY(!child<QComboBox>(d, "m_controllerComboBox")->isEnabled());
    QVERIFY(!child<QSpinBox>(d, "m_dmxAddressSpinBox")->isEnabled());
    QCOMPARE(child<QSpinBox>(d, "m_portNumberSpinBox")->value(), 2);

    child<QToolButton>(d, "m_tileButton")->click();
    rows->setValue(3);
    columns->setValue(5);
    auto *addBelow = child<QPushButton>(d, "buttonAddBelow");
    QVERIFY(!addBelow->isEnabled());
    QVERIFY(child<QLabel>(d, "m_labelNote")->isVisible());
    columns->setValue(4);
    QVERIFY(addBelow->isEnabled());
    addBelow->click();

    QCOMPARE(map.lights().size(), 12);
    const int footprint = int(found.first()->footprint());
    for (int i = 0; i < 12; ++i) {
        const Light *light = map.light(0x5000 + i);
        QVERIFY(light);
        QCOMPARE(light->modelName(), QString("Veylight Fernrow Cove RGB"));
        QVERIFY(light->name().startsWith("Facade Veylight Fernrow Cove RGB Light 02-"));
        QCOMPARE(light->resolution(), quint32(0));
    }
    // Creation order walks the tile's rows; serpentine numbering turns the second row back.
    QCOMPARE(map.light(0x5000)->dmxChannel(), 9);
    QCOMPARE(map.light(0x5004)->dmxChannel(), 9 + 7 * footprint);
    QCOMPARE(ds->lights().size(), 12);
}

void TestCreateStringDialog::missingInterfaceCreatesNothing()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Lobby", QHostAddress(), 1);
    CreateStringDialog d(&map);
    map.deleteDataSupply(ds->uid(), true);
    ScriptedPrompt prompt;
    child<QPushButton>(d, "buttonAddRight")->click();
    QCOMPARE(prompt.titles, QStringList{"Find Failure"});
    QCOMPARE(prompt.texts, QStringList{"Unable to find specified controller in map"});
    QVERIFY(map.lights().isEmpty() && map.dataSupplies().isEmpty());
    QCOMPARE(d.result(), 0);
    QVERIFY(!child<QPushButton>(d, "buttonAddBelow")->isEnabled());
    QCOMPARE(QSettings().value("/CreateString/basename").toString(), QString("Light"));
}

void TestCreateStringDialog::stringPastTheUniverseStaysInsideFrames()
{
    MapModel map;
    CreateStringDialog d(&map);
    child<QSpinBox>(d, "m_numColumnsSpinBox")->setValue(200);
    child<QSpinBox>(d, "m_dmxAddressSpinBox")->setValue(4);
    child<QPushButton>(d, "buttonAddRight")->click();
    DataSupply *ds = map.dataSupplies().begin().value();
    int last = 0;
    for (Light *light : map.lights()) {
        last = std::max(last, light->dmxChannel());
        light->applyEffectColor(VeyColor::fromRgbF(1.0, 1.0, 1.0), 1);
    }
    QCOMPARE(last, 3 + 199 * 3);

    QSignalSpy frames(ds, &DataSupply::signalSendPortOut);
    QVERIFY(ds->updateLights());
    QCOMPARE(frames.size(), 1);
    const QByteArray data = frames.at(0).at(5).toByteArray();
    QVERIFY(data.size() <= 512);
    // The light at 507..509 fits and is lit; the one at 510..512 would cross the buffer's end
    // and is left out whole.
    QVERIFY(data.at(507) != 0 && data.at(509) != 0);
    QVERIFY(data.size() <= 510 || (data.at(510) == 0 && data.at(511) == 0));
}

void TestCreateStringDialog::mainWindowCommands()
{
    MetaTool w;
    auto *addString = w.findChild<QAction *>("addStringAction");
    auto *addLights = w.findChild<QAction *>("addLightsAction");
    QVERIFY(addString->isEnabled() && addLights->isEnabled());
    ModalDriver driver;
    driver.then([](QWidget *modal) { widgetNamed<QPushButton>(modal, "buttonAddBelow")->click(); });
    addString->trigger();
    QCOMPARE(w.mapModel()->lights().size(), 50);
    QVERIFY(w.getDirty());

    // Cancelling leaves the earlier unsaved change marked.
    driver.then([](QWidget *modal) { widgetNamed<QPushButton>(modal, "buttonCancel")->click(); });
    addLights->trigger();
    QCOMPARE(driver.pending(), 0);
    QVERIFY(w.getDirty());
    QCOMPARE(w.mapModel()->lights().size(), 50);
}

QTEST_MAIN(TestCreateStringDialog)
#include "tst_createstringdialog.moc"
