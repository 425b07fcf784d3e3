// The light and string creation dialogs through their forms: new and existing interfaces,
// remembered inputs, the wizard's discovered lights, strings past one universe and the main
// window's commands.
#include "app/metatool.h"
#include "colour/veycolor.h"
#include "dialogs/createlights.h"
#include "dialogs/createstringdialog.h"
#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "support/apptestsupport.h"
#include "support/laptopscreen.h"
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

// "<channel> <name>" of every light, keyed by canvas position.
QMap<QPair<int, int>, QString> byPosition(const MapModel &map)
{
    QMap<QPair<int, int>, QString> out;
    for (const Light *light : map.lights())
        out.insert({at(light).x(), at(light).y()},
                   QString::number(light->dmxChannel()) + ' ' + light->name());
    return out;
}

// What a saved map keeps of a light (the model name is derived again on loading).
QString describe(const Light *l)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8,%9")
        .arg(l->name())
        .arg(l->dmxChannel())
        .arg(l->port())
        .arg(l->footprint())
        .arg(l->serialNumber())
        .arg(l->fixture())
        .arg(l->dataSupplyUid())
        .arg(l->pose().x)
        .arg(l->pose().y);
}
} // namespace

class TestCreationDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QSettings().clear(); }
    void lightsInARowOnNewInterface();
    void lightsBesideTheMapRememberInputs();
    void unknownInterfaceCreatesNothing_data();
    void unknownInterfaceCreatesNothing();
    void tileStringSurvivesSaveAndReopen();
    void verticalStringBelowTheMap();
    void discoveredLightsFollowTheirInterface();
    void interfaceThatIsItsOwnFixtureType();
    void stringPastTheUniverseStaysInsideFrames();
    void mainWindowCommands();
    void createStringFitsALaptopScreen();
};

void TestCreationDialogs::initTestCase()
{
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("Dallowmere");
    isolateTestEnvironment();
}

void TestCreationDialogs::lightsInARowOnNewInterface()
{
    MapModel map;
    CreateLights d(&map);
    QVERIFY(!child<QRadioButton>(d, "m_existingInterfaceRadioButton")->isEnabled());
    QVERIFY(child<QRadioButton>(d, "m_newInterfaceRadioButton")->isChecked());
    child<QSpinBox>(d, "m_countSpinBox")->setValue(3);
    child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(2);
    child<QSpinBox>(d, "m_dmxAddressSpinBox")->setValue(4);
    child<QPushButton>(d, "buttonOk")->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));

    DataSupply *ds = map.dataSupplies().value(map.dataSupplies().keys().value(0));
    QVERIFY(ds);
    QCOMPARE(ds->name(), QString("Light  Interface"));
    QCOMPARE(ds->protocolVersion(), quint16(2));
    QCOMPARE(ds->lights().size(), 3);
    // Below an empty map; base address 4 with three channels a light starts at number 002.
    const auto lights = byPosition(map);
    QCOMPARE(lights.value({12, 24}), QString("3 Light Generic 3-Ch 02-002"));
    QCOMPARE(lights.value({36, 24}), QString("9 Light Generic 3-Ch 02-004"));
    for (const Light *light : map.lights()) {
        QCOMPARE(map.group(light->uid())->name(), light->name());
        QCOMPARE(light->port(), quint8(1));
        QCOMPARE(light->fixture(), light->uid());
    }
}

void TestCreationDialogs::lightsBesideTheMapRememberInputs()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Lobby", QHostAddress(), 2);
    addLight(&map, ds, "a", 0, 27, QPointF(0, 0)); // port 1 ends at channel 29
    addLight(&map, ds, "b", 0, 0, QPointF(300, 100));
    {
        CreateLights d(&map);
        QVERIFY(child<QRadioButton>(d, "m_existingInterfaceRadioButton")->isChecked());
        child<QCheckBox>(d, "m_dmxAutoSetCheckBox")->setChecked(true);
        QCOMPARE(child<QSpinBox>(d, "m_dmxAddressSpinBox")->value(), 31);
        child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(2);
        QCOMPARE(child<QLineEdit>(d, "m_dmxAutoSetValue")->text(), QString("1"));
        child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(1);
        child<QRadioButton>(d, "m_verticalRadioButton")->setChecked(true);
        child<QSpinBox>(d, "m_countSpinBox")->setValue(2);
        child<QCheckBox>(d, "m_portNumberAutoIncrement")->setChecked(true);
        child<QPushButton>(d, "buttonOk")->click();
    }
    // A column right of the lights (x up to 300), numbered on from channel 30.
    const auto lights = byPosition(map);
    QCOMPARE(lights.value({324, 12}), QString("30 Light Generic 3-Ch 01-011"));
    QCOMPARE(lights.value({324, 24}), QString("33 Light Generic 3-Ch 01-012"));
    QCOMPARE(ds->lights().size(), 4);

    // The next opening proposes the next port, and auto-set follows it.
    CreateLights again(&map);
    QVERIFY(child<QRadioButton>(again, "m_verticalRadioButton")->isChecked());
    QCOMPARE(child<QSpinBox>(again, "m_countSpinBox")->value(), 2);
    QCOMPARE(child<QComboBox>(again, "m_controllerComboBox")->currentText(),
             QString::number(ds->uid(), 16).toUpper() + " Lobby");
    QCOMPARE(child<QSpinBox>(again, "m_portNumberSpinBox")->value(), 2);
    QCOMPARE(child<QSpinBox>(again, "m_dmxAddressSpinBox")->value(), 1);
}

void TestCreationDialogs::unknownInterfaceCreatesNothing_data()
{
    QTest::addColumn<bool>("string");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<QString>("title");
    QTest::newRow("lights, entry is no uid") << false << false << "Parse Error";
    QTest::newRow("lights, interface gone") << false << true << "Find Failure";
    QTest::newRow("string, interface gone") << true << true << "Find Failure";
}

void TestCreationDialogs::unknownInterfaceCreatesNothing()
{
    QFETCH(bool, string);
    QFETCH(bool, deleted);
    QFETCH(QString, title);
    MapModel map;
    DataSupply *ds = addInterface(&map, "Lobby", QHostAddress(), 1);
    std::unique_ptr<QDialog> d;
    if (string)
        d = std::make_unique<CreateStringDialog>(&map);
    else
        d = std::make_unique<CreateLights>(&map);
    if (deleted)
        map.deleteDataSupply(ds->uid(), true);
    else
        child<QComboBox>(*d, "m_controllerComboBox")->setItemText(0, "Lobby");
    ScriptedPrompt prompt;
    child<QPushButton>(*d, string ? "buttonAddRight" : "buttonOk")->click();
    QCOMPARE(prompt.titles, QStringList{title});
    QCOMPARE(d->result(), 0);
    QVERIFY(map.lights().isEmpty());
    QCOMPARE(map.dataSupplies().size(), deleted ? 0 : 1);
    // The inputs were stored before the check.
    const QString group = string ? "/CreateString/" : "/CreateLights/";
    QCOMPARE(QSettings().value(group + "basename").toString(), QString("Light"));
}

void TestCreationDialogs::tileStringSurvivesSaveAndReopen()
{
    MapModel map;
    {
        CreateStringDialog d(&map);
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
    DataSupply *ds = map.dataSupplies().value(map.dataSupplies().keys().value(0));
    QVERIFY(ds);
    QCOMPARE(ds->portCount(), quint8(4));
    QCOMPARE(ds->lights().size(), 6);
    // Right of an empty map, the top-left light at (24, 12); serpentine from the top left.
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
    QVERIFY(map.saveMap(dir.filePath("string.map")));
    MapModel loaded;
    QVERIFY(loaded.loadMap(dir.filePath("string.map"), {}));
    QCOMPARE(loaded.lights().size(), 6);
    for (const Light *light : map.lights())
        QCOMPARE(describe(loaded.light(light->uid())), describe(light));

    CreateStringDialog again(&map);
    QVERIFY(child<QToolButton>(again, "m_tileButton")->isChecked());
    QCOMPARE(child<QSpinBox>(again, "m_numColumnsSpinBox")->value(), 3);
    QVERIFY(child<QPushButton>(again, "buttonAddRight")->isDefault());
}

void TestCreationDialogs::verticalStringBelowTheMap()
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
    // 100 columns leave room for 650 rows.
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

    // Below the lights from x 100, numbered from the bottom on from channel 10.
    const auto lights = byPosition(map);
    QCOMPARE(lights.value({100, 274}), QString("16 Generic 3-Ch 02-006"));
    QCOMPARE(lights.value({100, 298}), QString("10 Generic 3-Ch 02-004"));
    QCOMPARE(ds->lights().size(), 5);
}

void TestCreationDialogs::discoveredLightsFollowTheirInterface()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Facade", QHostAddress(), 2);
    ds->setSerialNumber(0x00A00010); // a supply whose strings are all of one fixture type
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

    child<QToolButton>(d, "m_tileButton")->click();
    rows->setValue(3);
    columns->setValue(5);
    auto *addBelow = child<QPushButton>(d, "buttonAddBelow");
    QVERIFY(!addBelow->isEnabled());
    QVERIFY(child<QLabel>(d, "m_labelNote")->isVisible());
    columns->setValue(4);
    QVERIFY(addBelow->isEnabled());
    addBelow->click();

    QCOMPARE(ds->lights().size(), 12);
    for (const Light *light : found) {
        QCOMPARE(map.light(light->uid()), light);
        QVERIFY(light->name().startsWith("Facade Veylight Fernrow Cove RGB Light 02-"));
    }
    // Lights are taken row by row; serpentine numbering turns the tile's second row back.
    const int footprint = int(found.first()->footprint());
    QCOMPARE(found.at(0)->dmxChannel(), 9);
    QCOMPARE(found.at(4)->dmxChannel(), 9 + 7 * footprint);
}

void TestCreationDialogs::interfaceThatIsItsOwnFixtureType()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Node", QHostAddress(), 1);
    ds->setSerialNumber(0xFDAC0001);
    Light light;
    light.setProperty("Dimming Curve", "Tungsten");
    CreateStringDialog d(&map);
    d.setDiscoveredLights({&light});
    d.setController(ds->uid() + 1); // not in the map: changes nothing
    QCOMPARE(child<QComboBox>(d, "m_fixtureType")->currentText(), QString("Generic 3-Ch"));
    d.setController(ds->uid());
    QCOMPARE(child<QComboBox>(d, "m_fixtureType")->currentText(), QString("Trevan Keltrane Node"));
    QCOMPARE(child<QComboBox>(d, "m_dimmingCurve")->currentText(), QString("Tungsten"));
}

void TestCreationDialogs::stringPastTheUniverseStaysInsideFrames()
{
    MapModel map;
    CreateStringDialog d(&map);
    child<QSpinBox>(d, "m_numColumnsSpinBox")->setValue(200);
    child<QSpinBox>(d, "m_dmxAddressSpinBox")->setValue(4);
    child<QPushButton>(d, "buttonAddRight")->click();
    DataSupply *ds = map.dataSupplies().value(map.dataSupplies().keys().value(0));
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
    // The light at 507..509 fits and is lit; the one at 510..512 would cross the end and is
    // left out whole.
    QVERIFY(data.at(507) != 0 && data.at(509) != 0);
    QVERIFY(data.size() <= 510 || (data.at(510) == 0 && data.at(511) == 0));
}

void TestCreationDialogs::mainWindowCommands()
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

// On a 1366 x 768 screen "Create String" opens at its form's size and its buttons stay clear
// of a desktop's panel along the bottom edge; what does not fit scrolls.
void TestCreationDialogs::createStringFitsALaptopScreen()
{
    using LaptopScreen::PanelHeight;
    MapModel map;
    CreateStringDialog dialog(&map);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.screen()->geometry(), LaptopScreen::Geometry);
    QCOMPARE(dialog.size(), QSize(477, 561));
    for (const char *name : {"buttonAddBelow", "buttonAddRight", "buttonCancel"}) {
        const auto *button = child<QPushButton>(dialog, name);
        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
        QVERIFY2(dialog.geometry().contains(onScreen) &&
                     onScreen.bottom() < LaptopScreen::Geometry.height() - PanelHeight,
                 name);
    }
    // The form scrolls only up and down, and its last group comes into view whole.
    auto *lastGroup = child<QWidget>(dialog, "m_fixturePropertiesGroup");
    auto *scroll = child<QScrollArea>(dialog, "m_formScrollArea");
    QCOMPARE(scroll->horizontalScrollBar()->maximum(), 0);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    QCOMPARE(lastGroup->visibleRegion().boundingRect(), lastGroup->rect());
    // Widened by its size grip, the form follows.
    const int width = lastGroup->width();
    dialog.resize(677, 561);
    QTRY_COMPARE(lastGroup->width(), width + 200);
}

DM_LAPTOP_SCREEN_MAIN(TestCreationDialogs)
#include "tst_creationdialogs.moc"
