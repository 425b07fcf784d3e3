#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include "app/layoutview.h"
#include "app/lightview.h"
#include "app/lightviewlight.h"
#include "devices/propertymapper.h"
#include "dialogs/deviceview.h"
#include "dialogs/editlightscommand.h"
#include "dialogs/editlightsdialog.h"
#include "dialogs/editlightslight.h"
#include "dialogs/editlightsstate.h"
#include "dialogs/lightpropertytable.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QComboBox>
#include <QGraphicsScene>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

namespace {
const QString Curve = QStringLiteral("DIMMING_CURVE");
constexpr quint64 Generic = 0x00100001;  // "Generic 3-Ch"
constexpr quint64 Corlend = 0x00150001;  // "Corlend Flex Strip"
constexpr quint64 QuyCove = 0x000D0001;  // its properties follow the light's chemistry
constexpr quint64 Keltrane = 0x00120001; // has "Half / Full Mode"

QString curveText(int raw)
{
    return PropertyMapper::instance()->toDisplayValue(Curve, QString::number(raw));
}

QComboBox *optionsOf(QWidget *dialog, const QString &name)
{
    auto *table = widgetNamed<QTableWidget>(dialog, "m_propertyTable");
    for (int i = 0; i < table->rowCount(); ++i)
        if (table->item(i, 0)->text() == name)
            return qobject_cast<QComboBox *>(table->cellWidget(i, 2));
    return nullptr;
}

void click(QWidget *dialog, const char *name)
{
    widgetNamed<QPushButton>(dialog, name)->click();
}
} // namespace

class TestLightEditor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void tokenSetsFollowTheDevice();
    void rowsForMixedSelections();
    void chemistryChoicesFollowHalfFullMode();
    void commandEditsAppliesAndUndoes();
    void deviceViewGroupsAndSorts();
    void serialTextForFixtureType_data();
    void serialTextForFixtureType();
    void singleLightFieldsAndQuestions();
    void modelChoiceSurvivesLaterEdits();
    void productCodeRangeTypeApplies();
    void choiceReachesSelectedLightsOnlyAndSurvivesSaving();
    void channelAndPortReachTheFrameSafely();
    void lightDeletedWhileOpenIsLeftAlone();
    void treeAndCanvasOpenTheEditor();

private:
    Light *fixture(const QString &name, quint64 serial, int channel, int port = 0)
    {
        Light *light = addLight(m_map, m_ds, name, port, channel, QPointF(30 * channel, 0));
        light->setSerialNumber(serial);
        return light;
    }

    MapModel *m_map = nullptr;
    DataSupply *m_ds = nullptr;
};

void TestLightEditor::init()
{
    m_map = new MapModel;
    m_ds = addInterface(m_map, "Facade", QHostAddress("127.0.0.2"));
}

void TestLightEditor::cleanup()
{
    delete m_map;
}

void TestLightEditor::tokenSetsFollowTheDevice()
{
    LightPropertyTable table(m_map);
    const QSet<QString> generic{Curve, "INPUT_RESOLUTION", "LED_CHEMISTRY", "QUY_INPUT_MODE"};
    QCOMPARE(table.tokensForLight(fixture("G", Generic, 0)), generic);
    // A Quy cove light shows its input mode only with a chemistry other than 0, also after a
    // light of the same model filled the cache.
    Light *white = fixture("W", QuyCove, 3);
    white->setLedChemistry(6);
    QVERIFY(table.tokensForLight(white).contains("QUY_INPUT_MODE"));
    QVERIFY(!table.tokensForLight(fixture("Q", QuyCove, 6)).contains("QUY_INPUT_MODE"));
    // Half / Full Mode brings LED Chemistry along.
    QVERIFY(table.tokensForLight(fixture("K", Keltrane, 9)).contains("LED_CHEMISTRY"));
    // Behind a supply whose ports are all of type 3 the supply's node model decides.
    m_ds->setSerialNumber(0x00A00001); // "PDS-TQ52hx"
    for (int i = 0; i < m_ds->portCount(); ++i)
        m_ds->setPortType(i, 3);
    LightPropertyTable behindSupply(m_map);
    QVERIFY(behindSupply.tokensForLight(fixture("N", Generic, 12)).contains("CORLEND_INPUT_MODE"));
}

void TestLightEditor::rowsForMixedSelections()
{
    Light *a = fixture("A", Generic, 0);
    Light *b = fixture("B", Generic, 3);
    Light *c = fixture("C", Corlend, 6);
    b->setDimmingCurve(1);
    EditLightsState pa(a), pb(b), pc(c);
    const QHash<quint64, EditLightsState *> pending{
        {a->uid(), &pa}, {b->uid(), &pb}, {c->uid(), &pc}};
    LightPropertyTable table(m_map);

    table.refresh({a, b});
    LightPropertyTable::Row row = table.row(Curve, {a, b}, pending);
    QCOMPARE(row.currentText, QStringLiteral("Various"));
    QCOMPARE(row.entries.first().text, QStringLiteral("No Change"));
    QCOMPARE(row.entries.size(), PropertyMapper::instance()->valueMap("Dimming Curve").size() + 1);
    QVERIFY(row.enabled);
    QCOMPARE(pa.value(Curve), 0); // the row fill gives pending states the current value
    // One value: it is shown and is no choice; a pending value other than it is preselected.
    pa.setValue(Curve, 2);
    row = table.row(Curve, {a}, pending);
    QCOMPARE(row.currentText, curveText(0));
    for (const auto &entry : std::as_const(row.entries))
        QVERIFY(entry.data != QVariant(0));
    QCOMPARE(row.entries.at(row.currentIndex).data, QVariant(2));
    // Pending and unchanged lights together are "Various".
    QCOMPARE(table.row(Curve, {a, b}, pending).entries.first().text, QStringLiteral("Various"));
    // A property only some lights have is listed but cannot be chosen.
    const QStringList shown = table.refresh({a, c});
    QVERIFY(shown.contains("QUY_INPUT_MODE") && shown.contains("CORLEND_INPUT_MODE"));
    QVERIFY(!table.row("QUY_INPUT_MODE", {a, c}, pending).enabled);
    QVERIFY(table.row(Curve, {a, c}, pending).enabled);
}

void TestLightEditor::chemistryChoicesFollowHalfFullMode()
{
    Light *light = fixture("K", Keltrane, 0);
    EditLightsState pending(light);
    const QHash<quint64, EditLightsState *> states{{light->uid(), &pending}};
    LightPropertyTable table(m_map);
    table.refresh({light});
    const auto chemistry = [](int raw) {
        return PropertyMapper::instance()->toDisplayValue("LED_CHEMISTRY", QString::number(raw));
    };
    // Full mode: plain RGB only, which the light already has, so there is nothing to choose.
    LightPropertyTable::Row row = table.row("LED_CHEMISTRY", {light}, states);
    QCOMPARE(row.entries.size(), 1);
    QVERIFY(!row.enabled);
    light->setHalfFullMode(true);
    row = table.row("LED_CHEMISTRY", {light}, states);
    QCOMPARE(row.currentText, chemistry(253));
    QCOMPARE(row.entries.size(), 2);
    QCOMPARE(row.entries.at(1).text, chemistry(254));
}

void TestLightEditor::commandEditsAppliesAndUndoes()
{
    Light *a = fixture("A", Generic, 0);
    Light *b = fixture("B", Generic, 3);
    DeviceView view;
    view.setLights({a, b}, m_map);
    QSet<Light *> modified;
    EditLightsState pa(a), pb(b);
    pa.setValue(Curve, 0);
    const QHash<quint64, EditLightsState *> pending{{a->uid(), &pa}, {b->uid(), &pb}};
    const auto italic = [&view](Light *l) { return view.lightRow(l->uid())->font(0).italic(); };
    const auto edit = [&](const EditLightsState &after) {
        auto *s = new EditLightsState(after);
        return new EditLightsCommand(EditLightsCommand::Edit, {a}, &view, &modified, pending,
                                     {{a->uid(), new EditLightsState(pa)}}, {{a->uid(), s}});
    };
    QUndoStack stack;
    EditLightsState chosen(pa);
    chosen.setValue(Curve, 1);
    stack.push(edit(chosen));
    QCOMPARE(modified, QSet<Light *>{a});
    QVERIFY(italic(a));
    QCOMPARE(pa.value(Curve), 1);
    QCOMPARE(a->dimmingCurve(), 0u);
    stack.undo();
    QVERIFY(modified.isEmpty() && !italic(a));
    QCOMPARE(pa.value(Curve), 0);
    stack.redo();

    // Apply: an after-state for a only, also a new device; b has none and is left alone.
    pa.serialNumber = Corlend;
    auto *before = new EditLightsState(a);
    before->setValue(Curve, 0);
    stack.push(new EditLightsCommand(EditLightsCommand::Apply, {a, b}, &view, &modified, pending,
                                     {{a->uid(), before}}, {{a->uid(), new EditLightsState(pa)}}));
    QCOMPARE(a->dimmingCurve(), 1u);
    QCOMPARE(a->serialNumber(), Corlend);
    QVERIFY(modified.isEmpty() && !italic(a));
    QCOMPARE(b->name(), QStringLiteral("B"));
    QCOMPARE(view.lightRow(a->uid())->parent(), view.modelRow("Corlend Flex Strip"));
    stack.undo();
    QCOMPARE(a->dimmingCurve(), 0u);
    QCOMPARE(a->serialNumber(), Generic);
    QVERIFY(modified.contains(a) && italic(a));
    QCOMPARE(pa.value(Curve), 1); // the applied edit is pending again
    QCOMPARE(view.lightRow(a->uid())->parent(), view.modelRow("Generic 3-Ch"));
    QVERIFY(!view.modelRow("Corlend Flex Strip"));
    stack.redo();
    QCOMPARE(a->dimmingCurve(), 1u);
}

void TestLightEditor::deviceViewGroupsAndSorts()
{
    Light *ten = fixture("Light 10", Generic, 8);
    Light *two = fixture("Light 2", Generic, 9);
    Light *unknown = fixture("Other", 0xFFFFFFFF, 0);
    DeviceView view;
    view.setLights({ten, two, unknown}, m_map);
    QTreeWidgetItem *generic = view.modelRow("Generic 3-Ch");
    QCOMPARE(generic->child(0)->text(0), QStringLiteral("Light 2"));
    QCOMPARE(view.lightRow(unknown->uid())->parent(), view.modelRow("Vey Fixture"));
    view.sortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(generic->child(0)->text(1), QStringLiteral("9"));
    QCOMPARE(generic->child(1)->text(1), QStringLiteral("10"));

    QSignalSpy changed(&view, &DeviceView::lightSelectionChanged);
    generic->setSelected(true);
    QCOMPARE(view.selectedLights(), (QSet<Light *>{ten, two}));
    QVERIFY(!view.hasSingleSelection());
    view.clearSelection();
    QVERIFY(view.selectedLights().isEmpty() && !view.hasSingleSelection());
    QCOMPARE(changed.count(), 2);
    // A light whose serial changes model moves; the emptied model row goes.
    unknown->setSerialNumber(Corlend);
    QCOMPARE(view.lightRow(unknown->uid())->parent(), view.modelRow("Corlend Flex Strip"));
    QVERIFY(!view.modelRow("Vey Fixture"));
}

void TestLightEditor::serialTextForFixtureType_data()
{
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("expected");
    QTest::newRow("short") << "00150000"
                           << "00100001"
                           << "00150001";
    QTest::newRow("long") << "5651:A0000000"
                          << "5652:B0001234"
                          << "5651:A0001234";
    QTest::newRow("long over short") << "5651:A0000000"
                                     << "00100001"
                                     << "5651:A0000001";
    QTest::newRow("no unit") << "00150000"
                             << ""
                             << "00150000";
}

void TestLightEditor::serialTextForFixtureType()
{
    QFETCH(QString, typeText);
    QFETCH(QString, current);
    QTEST(::serialTextForFixtureType(typeText, current), "expected");
}

void TestLightEditor::singleLightFieldsAndQuestions()
{
    Light *light = fixture("Cove", Generic, 0);
    EditLightsDialog dialog(m_map, {light});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Light Editor"));
    QVERIFY(!widgetNamed<QWidget>(&dialog, "m_devices")->isVisibleTo(&dialog));
    QVERIFY(widgetNamed<QWidget>(&dialog, "m_lightName")->isVisibleTo(&dialog));
    for (const char *name : {"m_applyButton", "m_okButton", "m_resetButton"})
        QVERIFY2(!widgetNamed<QWidget>(&dialog, name)->isEnabled(), name);
    auto *serial = widgetNamed<QLineEdit>(&dialog, "m_serialNumber");
    QCOMPARE(serial->text(), QStringLiteral("00100001"));

    widgetNamed<QLineEdit>(&dialog, "m_lightName")->setText("Cove 1");
    QVERIFY(widgetNamed<QWidget>(&dialog, "m_applyButton")->isEnabled());
    QCOMPARE(light->name(), QStringLiteral("Cove"));
    click(&dialog, "m_applyButton");
    QCOMPARE(light->name(), QStringLiteral("Cove 1"));
    QVERIFY(!widgetNamed<QWidget>(&dialog, "m_applyButton")->isEnabled());
    dialog.undoAction()->trigger();
    QCOMPARE(light->name(), QStringLiteral("Cove"));
    QCOMPARE(widgetNamed<QLineEdit>(&dialog, "m_lightName")->text(), QStringLiteral("Cove 1"));
    click(&dialog, "m_resetButton");
    QVERIFY(dialog.modifiedLights().isEmpty());
    QCOMPARE(widgetNamed<QLineEdit>(&dialog, "m_lightName")->text(), QStringLiteral("Cove"));

    // Another fixture type keeps the unit digits; OK then asks about the device change, and
    // declining that leaves the dialog behind the exit question.
    widgetNamed<QComboBox>(&dialog, "m_fixtureTypeComboBox")->setCurrentText("Corlend Flex Strip");
    QCOMPARE(serial->text(), QStringLiteral("00150001"));
    serial->setText("00100002"); // a Generic serial switches the type back, in one step
    QCOMPARE(widgetNamed<QComboBox>(&dialog, "m_fixtureTypeComboBox")->currentText(),
             QStringLiteral("Generic 3-Ch"));
    QCOMPARE(dialog.undoStack()->count(), 4);
    ScriptedPrompt prompt;
    click(&dialog, "m_okButton");
    QCOMPARE(prompt.titles, (QStringList{"Warning", "Dallowmere"}));
    QCOMPARE(prompt.texts.last(),
             QStringLiteral("Are you sure you want to exit without saving?\n"));
    QCOMPARE(light->serialNumber(), Generic);
    prompt.answers = {QMessageBox::Yes};
    click(&dialog, "m_applyButton");
    QCOMPARE(light->serialNumber(), quint64(0x00100002));
}

void TestLightEditor::modelChoiceSurvivesLaterEdits()
{
    // Two RDM models share one serial range; only "Device Info" tells them apart.
    Light *light = fixture("Cove", 0x5651A0000007, 0);
    light->setModelName("Skyvale RDM Cove");
    light->setProperty("Device Info", "D.0038-P.0509-F.0001");
    EditLightsDialog dialog(m_map, {light});
    auto *types = widgetNamed<QComboBox>(&dialog, "m_fixtureTypeComboBox");
    QCOMPARE(types->currentText(), QStringLiteral("Skyvale RDM Cove"));
    types->setCurrentText("Tessary RDM Graze");
    widgetNamed<QLineEdit>(&dialog, "m_lightName")->setText("Graze");
    QCOMPARE(types->currentText(), QStringLiteral("Tessary RDM Graze"));
    click(&dialog, "m_applyButton");
    QCOMPARE(light->name(), QStringLiteral("Graze"));
    QCOMPARE(light->modelName(), QStringLiteral("Tessary RDM Graze"));
    QCOMPARE(light->property("Device Info"), QStringLiteral("D.0039-P.0509-F.0004"));
    QCOMPARE(types->currentText(), QStringLiteral("Tessary RDM Graze"));
}

// "XMX Cove Node" has serial numbers only in a range of its product code.
void TestLightEditor::productCodeRangeTypeApplies()
{
    Light *light = fixture("Cove", Generic, 0);
    {
        EditLightsDialog dialog(m_map, {light});
        widgetNamed<QComboBox>(&dialog, "m_fixtureTypeComboBox")->setCurrentText("XMX Cove Node");
        QCOMPARE(widgetNamed<QLineEdit>(&dialog, "m_serialNumber")->text(),
                 QStringLiteral("5A4D:00000001"));
        QVERIFY(widgetNamed<QWidget>(&dialog, "m_applyButton")->isEnabled());
        ScriptedPrompt prompt;
        prompt.answers = {QMessageBox::Yes};
        click(&dialog, "m_okButton");
        QCOMPARE(prompt.titles, QStringList{"Warning"});
    }
    QCOMPARE(light->serialNumber(), quint64(0x5A4D00000001));
    QCOMPARE(light->modelName(), QStringLiteral("XMX Cove Node"));
    QCOMPARE(light->property("Device Info"), QStringLiteral("D.0101-P.0509-F.0004"));
    EditLightsDialog reopened(m_map, {light});
    QCOMPARE(widgetNamed<QComboBox>(&reopened, "m_fixtureTypeComboBox")->currentText(),
             QStringLiteral("XMX Cove Node"));
}

void TestLightEditor::choiceReachesSelectedLightsOnlyAndSurvivesSaving()
{
    Light *a = fixture("A", Generic, 0);
    Light *b = fixture("B", Generic, 3);
    Light *c = fixture("C", Generic, 6);
    EditLightsDialog dialog(m_map, {a, b, c});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Lights Editor"));
    QVERIFY(!widgetNamed<QWidget>(&dialog, "m_lightName")->isVisibleTo(&dialog));
    auto *view = widgetNamed<DeviceView>(&dialog, "m_devices");
    view->lightRow(a->uid())->setSelected(true);
    view->lightRow(b->uid())->setSelected(true);
    QComboBox *curves = optionsOf(&dialog, "Dimming Curve");
    curves->setCurrentText(curveText(1));
    curves->setCurrentText("No Change"); // back to each light's own value
    QVERIFY(dialog.modifiedLights().isEmpty());
    curves->setCurrentText(curveText(2));
    QCOMPARE(dialog.modifiedLights(), (QSet<Light *>{a, b}));
    click(&dialog, "m_applyButton");
    QCOMPARE(a->dimmingCurve(), 2u);
    QCOMPARE(b->dimmingCurve(), 2u);
    QCOMPARE(c->dimmingCurve(), 0u);

    QTemporaryDir dir;
    const QString path = dir.filePath("edited.map");
    QVERIFY(m_map->saveMap(path));
    MapModel loaded;
    QVERIFY(loaded.loadMap(path, {}));
    QCOMPARE(loaded.light(a->uid())->dimmingCurve(), 2u);
    QCOMPARE(loaded.light(c->uid())->dimmingCurve(), 0u);
}

void TestLightEditor::channelAndPortReachTheFrameSafely()
{
    m_ds->setProtocolVersion(2);
    Light *light = fixture("A", Generic, 0);
    Light *edge = fixture("B", Generic, 500);
    const auto frame = [this](Light *l) {
        QSignalSpy outs(m_ds, &DataSupply::signalSendPortOut);
        for (Light *each : m_map->lights())
            each->applyEffectColor(VeyColor::fromRgbF(1, 1, 1), 1);
        m_ds->updateLights();
        Q_UNUSED(l);
        return outs.isEmpty() ? QByteArray() : outs.first().at(5).toByteArray();
    };
    EditLightsDialog dialog(m_map, {light});
    widgetNamed<QSpinBox>(&dialog, "m_dmxSpinBox")->setValue(11);
    click(&dialog, "m_applyButton");
    QByteArray bytes = frame(light);
    QCOMPARE(bytes.mid(10, 3), QByteArray(3, char(0xFF)));
    QCOMPARE(bytes.at(0), char(0));
    // Past the last channel or on a port the interface lacks, a light writes nothing.
    EditLightsDialog second(m_map, {edge});
    widgetNamed<QSpinBox>(&second, "m_dmxSpinBox")->setValue(512);
    click(&second, "m_applyButton");
    QCOMPARE(edge->dmxChannel(), 511);
    widgetNamed<QSpinBox>(&dialog, "m_portSpinBox")->setValue(9);
    click(&dialog, "m_applyButton");
    QCOMPARE(light->port(), quint8(8));
    bytes = frame(light);
    QVERIFY(bytes.isEmpty() || !bytes.contains(char(0xFF)));
}

void TestLightEditor::lightDeletedWhileOpenIsLeftAlone()
{
    Light *a = fixture("A", Generic, 0);
    Light *b = fixture("B", Generic, 3);
    const quint64 gone = b->uid();
    EditLightsDialog dialog(m_map, {a, b});
    optionsOf(&dialog, "Dimming Curve")->setCurrentText(curveText(1));
    QCOMPARE(dialog.modifiedLights().size(), 2);
    m_map->deleteLight(gone);
    click(&dialog, "m_applyButton");
    QCOMPARE(a->dimmingCurve(), 1u);
    dialog.undoAction()->trigger();
    dialog.undoAction()->trigger();
    QCOMPARE(a->dimmingCurve(), 0u);
    QVERIFY(!m_map->light(gone));
}

void TestLightEditor::treeAndCanvasOpenTheEditor()
{
    Light *a = fixture("A", Generic, 0);
    Light *b = fixture("B", Generic, 3);
    SelectionEffect effect(m_map, 0xFFFFFFFF);
    effect.reset();
    LightView tree(m_map, nullptr, nullptr, "Light View");
    tree.setSelectionEffect(&effect);
    tree.handleNewController(m_ds->uid());
    for (Light *l : {a, b})
        tree.handleNewLight(l->uid());
    tree.lightItem(a->uid())->setSelected(true);
    tree.lightItem(b->uid())->setSelected(true);
    tree.prepareMenu(tree.lightItem(a->uid()));
    QSignalSpy dirty(&tree, &LightView::setDirty);

    QStringList titles;
    ModalDriver driver;
    const auto rename = [&titles](QWidget *modal) {
        titles << modal->windowTitle();
        if (auto *name = widgetNamed<QLineEdit>(modal, "m_lightName"))
            name->setText("Renamed");
        click(modal, "m_okButton");
    };
    driver.then(rename);
    for (QAction *action : tree.lightMenu()->actions())
        if (action->text() == "Edit Light(s)...")
            action->trigger();
    QGraphicsScene scene;
    LayoutView canvas(m_map, &effect, &scene, nullptr, "Layout View");
    effect.clearSelection();
    effect.setLightSelected(b->uid(), true);
    driver.then(rename);
    for (QAction *action : canvas.popupMenu()->actions())
        if (action->text() == "Edit Light(s)...") {
            QVERIFY(action->isEnabled());
            action->trigger();
        }
    QCOMPARE(titles, (QStringList{"Lights Editor", "Light Editor"}));
    QCOMPARE(b->name(), QStringLiteral("Renamed"));
    QCOMPARE(tree.lightItem(b->uid())->text(0), QStringLiteral("Renamed"));
    QVERIFY(!dirty.isEmpty()); // an applied edit marks the map changed
    QCOMPARE(driver.pending(), 0);
}

QTEST_MAIN(TestLightEditor)
#include "tst_lighteditor.moc"
