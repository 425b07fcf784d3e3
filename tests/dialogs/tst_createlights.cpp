// The light creation dialog through its form, on an empty and on a populated map.
#include "devices/devicedictionary.h"
#include "dialogs/createlights.h"
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

// The map's lights in ascending start channel.
QList<Light *> byChannel(MapModel &map)
{
    QList<Light *> lights = map.lights().values();
    std::sort(lights.begin(), lights.end(),
              [](Light *a, Light *b) { return a->dmxChannel() < b->dmxChannel(); });
    return lights;
}

QPoint at(const Light *light)
{
    return QPoint(int(light->pose().x), int(light->pose().y));
}
} // namespace

class TestCreateLights : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QSettings().clear(); }
    void rowOnNewInterface();
    void columnBesideLightsRemembersSettings();
    void unknownInterfaceCreatesNothing_data();
    void unknownInterfaceCreatesNothing();
};

void TestCreateLights::initTestCase()
{
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("Dallowmere");
    isolateTestEnvironment();
}

void TestCreateLights::rowOnNewInterface()
{
    MapModel map;
    CreateLights d(&map);
    QVERIFY(!child<QRadioButton>(d, "m_existingInterfaceRadioButton")->isEnabled());
    QVERIFY(child<QRadioButton>(d, "m_newInterfaceRadioButton")->isChecked());
    QCOMPARE(child<QComboBox>(d, "m_fixtureType")->currentText(), QString("Generic 3-Ch"));
    child<QSpinBox>(d, "m_countSpinBox")->setValue(3);
    child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(2);
    child<QSpinBox>(d, "m_dmxAddressSpinBox")->setValue(4);
    child<QPushButton>(d, "buttonOk")->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));

    QCOMPARE(map.dataSupplies().size(), 1);
    DataSupply *ds = map.dataSupplies().begin().value();
    QCOMPARE(ds->name(), QString("Light  Interface"));
    QCOMPARE(ds->protocolVersion(), quint16(2));
    const QList<Light *> lights = byChannel(map);
    QCOMPARE(lights.size(), 3);
    const quint64 serial = DeviceDictionary::instance()->firstSerialForName("Generic 3-Ch");
    for (int i = 0; i < 3; ++i) {
        const Light *light = lights.at(i);
        QCOMPARE(light->dmxChannel(), 3 + 3 * i);
        QCOMPARE(light->name(), QString("Light Generic 3-Ch 02-00%1").arg(i + 2));
        QCOMPARE(map.group(light->uid())->name(), light->name());
        QCOMPARE(at(light), QPoint(12 * (i + 1), 24));
        QCOMPARE(light->port(), quint8(1));
        QCOMPARE(light->fixture(), light->uid());
        QCOMPARE(light->serialNumber(), serial);
        QCOMPARE(light->modelName(), QString("Generic 3-Ch"));
        QVERIFY(ds->lights().contains(light->uid()));
    }
}

void TestCreateLights::columnBesideLightsRemembersSettings()
{
    MapModel map;
    DataSupply *ds = addInterface(&map, "Lobby", QHostAddress(), 2);
    addLight(&map, ds, "a", 0, 27, QPointF(0, 0)); // port 1 ends at channel 29
    addLight(&map, ds, "b", 0, 0, QPointF(300, 100));
    {
        CreateLights d(&map);
        QVERIFY(child<QRadioButton>(d, "m_existingInterfaceRadioButton")->isChecked());
        child<QCheckBox>(d, "m_dmxAutoSetCheckBox")->setChecked(true);
        QCOMPARE(child<QLineEdit>(d, "m_dmxAutoSetValue")->text(), QString("31"));
        QCOMPARE(child<QSpinBox>(d, "m_dmxAddressSpinBox")->value(), 31);
        child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(2);
        QCOMPARE(child<QLineEdit>(d, "m_dmxAutoSetValue")->text(), QString("1"));
        child<QSpinBox>(d, "m_portNumberSpinBox")->setValue(1);
        child<QRadioButton>(d, "m_verticalRadioButton")->setChecked(true);
        child<QSpinBox>(d, "m_countSpinBox")->setValue(2);
        child<QCheckBox>(d, "m_portNumberAutoIncrement")->setChecked(true);
        child<QPushButton>(d, "buttonOk")->click();
    }
    const QList<Light *> lights = byChannel(map).mid(2);
    QCOMPARE(lights.size(), 2);
    QCOMPARE(lights.at(0)->dmxChannel(), 30);
    QCOMPARE(lights.at(0)->name(), QString("Light Generic 3-Ch 01-011"));
    QCOMPARE(lights.at(1)->name(), QString("Light Generic 3-Ch 01-012"));
    QCOMPARE(at(lights.at(0)), QPoint(324, 12));
    QCOMPARE(at(lights.at(1)), QPoint(324, 24));
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

void TestCreateLights::unknownInterfaceCreatesNothing_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<QString>("title");
    QTest::newRow("entry is no uid") << false << "Parse Error";
    QTest::newRow("interface gone") << true << "Find Failure";
}

void TestCreateLights::unknownInterfaceCreatesNothing()
{
    QFETCH(bool, deleted);
    QFETCH(QString, title);
    MapModel map;
    DataSupply *ds = addInterface(&map, "Lobby", QHostAddress(), 1);
    CreateLights d(&map);
    auto *list = child<QComboBox>(d, "m_controllerComboBox");
    if (deleted)
        map.deleteDataSupply(ds->uid(), true);
    else
        list->setItemText(0, "Lobby");
    ScriptedPrompt prompt;
    child<QPushButton>(d, "buttonOk")->click();
    QCOMPARE(prompt.titles, QStringList{title});
    QCOMPARE(d.result(), 0);
    QVERIFY(map.lights().isEmpty());
    QCOMPARE(map.dataSupplies().size(), deleted ? 0 : 1);
    // The inputs were stored before the check.
    QCOMPARE(QSettings().value("/CreateLights/interface").toString(), list->currentText());
}

QTEST_MAIN(TestCreateLights)
#include "tst_createlights.moc"
