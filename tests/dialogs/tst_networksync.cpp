#include "support/apptestsupport.h"
#include "support/laptopscreen.h"
#include "support/lightdiscoveryrig.h"
#include "support/modaldriver.h"
#include "support/simulatedorvexnetwork.h"

#include "app/metatool.h"
#include "dialogs/syncinterface.h"
#include "dialogs/syncrules.h"
#include "dialogs/syncwarning.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/orvexdatagrams.h"
#include "protocol/osocket.h"
#include "support/orvexreplies.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

using Iface = SimulatedOrvexInterface;
using SyncRules::ChannelSpan;

namespace {
constexpr quint64 SupplySerial = 0x00A50001; // "Supply Q-150"
constexpr quint64 FirstLight = 0x00100001;   // "Generic 3-Ch"
constexpr quint64 SecondLight = 0x00100002;
} // namespace

class TestNetworkSync : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rules();
    void cells_data();
    void cells();
    void longReportOpensAtItsFirstLine();
    void init();
    void cleanup();
    void wholeSync_data();
    void wholeSync();
    void fixtureCountListIsCopiedWhole_data();
    void fixtureCountListIsCopiedWhole();
    void uncountedPortIsNamed();
    void cancelWhileADeviceIsSilent();
    void silentLightIsPassedOver();
    void everyPendingLightIsRead_data();
    void everyPendingLightIsRead();
    void windowsNeverEndEarly_data();
    void windowsNeverEndEarly();
    void reportNamesWhatTheSyncDidNotReach_data();
    void reportNamesWhatTheSyncDidNotReach();
    void reportNamesUnreportedLightsAndOnlyAskedInterfaces_data();
    void reportNamesUnreportedLightsAndOnlyAskedInterfaces();
    void floodDuringSyncIsBoundedAndCancelActsAtOnce();
    void fromTheMainWindow();

private:
    Iface *device(const char *ip, quint64 serial = SupplySerial, int ports = 3, quint8 type = 1)
    {
        Iface *dev = m_net->addInterface(QHostAddress(QLatin1String(ip)));
        dev->identity.serial = serial;
        dev->identity.protocolVersion = 2;
        dev->identity.idText = "Site Supply";
        for (int i = 0; i < ports; ++i)
            dev->ports.append({quint8(i + 1), type});
        return dev;
    }
    DataSupply *mapInterface(const char *ip, quint64 serial)
    {
        DataSupply *ds = addInterface(m_map, "Office", QHostAddress(QLatin1String(ip)), 2);
        ds->setSerialNumber(serial);
        return ds;
    }
    Light *mapLight(DataSupply *ds, int port, int channel, quint64 serial)
    {
        Light *light = addLight(m_map, ds, "Drawn", port, channel, QPointF(0, 0));
        light->setSerialNumber(serial);
        return light;
    }
    // Starts the sync and waits for the dialog's end; the warning, if any, is read and closed.
    int sync(SyncInterface &dialog, QString *warning = nullptr, QString *heading = nullptr)
    {
        ModalDriver driver(10000);
        driver.then([this, warning, heading](QWidget *modal) {
            m_pausedAtWarning = m_effects->isPaused();
            auto *edit = widgetNamed<QPlainTextEdit>(modal, "m_textEdit");
            if (warning)
                *warning = edit->toPlainText();
            // One entry a line, read whole on a small screen: the resizable box takes the width
            // of its lines, within the screen; a line wider than that scrolls sideways.
            const QRect screen = modal->screen()->availableGeometry();
            QVERIFY(screen.contains(modal->frameGeometry()));
            QVERIFY(modal->minimumSize() != modal->maximumSize());
            int widest = 0;
            for (const QString &line : edit->toPlainText().split('\n'))
                widest = std::max(widest, edit->fontMetrics().horizontalAdvance(line));
            if (widest < screen.width() - 100)
                QCOMPARE(edit->horizontalScrollBar()->maximum(), 0);
            else
                QVERIFY(edit->horizontalScrollBar()->maximum() > 0);
            if (edit->document()->lineCount() * edit->fontMetrics().lineSpacing() <
                screen.height() - 200)
                QCOMPARE(edit->verticalScrollBar()->maximum(), 0);
            if (heading)
                *heading = widgetNamed<QLabel>(modal, "label")->text();
            widgetNamed<QAbstractButton>(modal, "m_ok")->click();
        });
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        widgetNamed<QAbstractButton>(&dialog, "m_syncButton")->click();
        if (!finished.wait(10000))
            return -1;
        return finished.first().first().toInt();
    }

    // Syncs the interfaces and compares the report and its heading with report.
    void syncAndReport(const QList<quint64> &covered, bool bySerial, const QString &report)
    {
        SyncInterface dialog(m_map, m_effects, covered);
        if (bySerial)
            widgetNamed<QRadioButton>(&dialog, "m_serialRadioButton")->setChecked(true);
        QString warning, heading;
        QCOMPARE(sync(dialog, &warning, &heading), int(QDialog::Accepted));
        QCOMPARE(warning, report);
        QCOMPARE(heading, report.isEmpty()
                              ? QString()
                              : QString("The network sync did not reach everything :"));
    }

    Light *light(int channel, quint64 serial)
    {
        m_lights.push_back(std::make_unique<Light>());
        m_lights.back()->setDmxChannel(channel);
        m_lights.back()->setSerialNumber(serial);
        return m_lights.back().get();
    }

    std::vector<std::unique_ptr<Light>> m_lights;
    SimulatedOrvexNetwork *m_net = nullptr;
    MapModel *m_map = nullptr;
    EffectEngine *m_effects = nullptr;
    bool m_pausedAtWarning = false;
};

void TestNetworkSync::initTestCase()
{
    isolateTestEnvironment();
}

// The rules without network or widgets.
void TestNetworkSync::rules()
{
    QCOMPARE(SyncRules::lightName("Lobby", "Generic 3-Ch", 0, 0),
             QString("Lobby Generic 3-Ch Light 01-001"));
    QCOMPARE(SyncRules::lightName("", "", 99, 1233), QString(" Light 100-1234"));
    QCOMPARE(SyncRules::interfaceKey("10.0.0.7", 0x00A50001, true), QString("10.0.0.7"));
    QCOMPARE(SyncRules::interfaceKey("10.0.0.7", 0x00A50001, false), QString("10813441"));
    QCOMPARE(SyncRules::lightKey(12, 0x70140001, false), quint64(0x70140001));
    QVERIFY(SyncRules::getsFixedSerial("PDS-TQ410"));
    QVERIFY(!SyncRules::getsFixedSerial("PDS-tq410"));
    QVERIFY(SyncRules::hasChainedAddresses("Trevan Compact 24"));
    QCOMPARE(SyncRules::macBytes("zz:A0:b1"), QByteArray::fromHex("00A0B1000000"));
    QCOMPARE(SyncRules::extraCells("4", "16"), 3);
    QCOMPARE(SyncRules::extraCells("4", ""), 0);
    // A channel is the newer light's: the third light meets the second, not the first.
    const QList<ChannelSpan> spans = {
        {1, 0, 0, 3}, {2, 0, 0, 3}, {3, 0, 2, 1}, {4, 0, 3, 3}, {5, 1, 0, 3}};
    QCOMPARE(SyncRules::conflictingLights(spans), QSet<quint64>({1, 2, 3}));
    QCOMPARE(SyncRules::uncountedPortText("Lobby", 2, CountAnswers::Doubt::TooManyLights),
             QString("Lobby port 3 (more than 512 lights)"));
    QCOMPARE(SyncRules::uncountedPortText("Lobby", 0, CountAnswers::Doubt::Endless),
             QString("Lobby port 1 (its answers never went quiet)"));
    QCOMPARE(SyncRules::conflictReport({{"North", {"A", "B"}}, {"South", {"C"}}}),
             QString("North : \n    A\n    B\n\nSouth : \n    C\n\n"));
}

void TestNetworkSync::cells_data()
{
    QTest::addColumn<bool>("byAddress");
    QTest::addColumn<QList<int>>("channels"); // map lights, serial 9 unless negative (serial 8)
    QTest::addColumn<QList<int>>("taken");    // k of each cell taken
    QTest::newRow("address, all cells") << true << QList<int>{0, 3, 6, 9} << QList<int>{1, 2, 3};
    QTest::newRow("address, gap skipped") << true << QList<int>{0, 6} << QList<int>{2};
    QTest::newRow("address, other serial stops") << true << QList<int>{0, -3, 6} << QList<int>{};
    QTest::newRow("serial, in turn") << false << QList<int>{0, 40, 80} << QList<int>{1, 2};
    QTest::newRow("serial, more than cells")
        << false << QList<int>{0, 1, 2, 3, 4} << QList<int>{1, 2, 3};
}

// A device of 4 cells of footprint 3 whose first cell matched at channel 0 (or serial 9).
void TestNetworkSync::cells()
{
    QFETCH(bool, byAddress);
    QFETCH(QList<int>, channels);
    QFETCH(QList<int>, taken);
    SyncLightIndex index(byAddress);
    for (const int channel : std::as_const(channels))
        index.add(1, 0, light(std::abs(channel), channel < 0 ? 8 : 9));
    QList<int> ks;
    for (const auto &cell : index.takeCells(1, 0, byAddress ? 0 : 9, 0, 3, 9, 3)) {
        QCOMPARE(cell.first->serialNumber(), quint64(9));
        ks << cell.second;
    }
    QCOMPARE(ks, taken);
}

// The report is read from its first heading down, with the keys; Enter still answers Ok.
void TestNetworkSync::longReportOpensAtItsFirstLine()
{
    SyncRules::SyncGaps gaps;
    for (int i = 0; i < 500; ++i)
        gaps.unreadLights << SyncRules::unreadLightText("Lobby", i % 4, 0x00100000 + i);
    const QString report = SyncRules::syncReport(gaps, {});
    SyncWarning warning(report, nullptr, SyncRules::reportHeading(gaps));
    ModalDriver driver;
    driver.then([](QWidget *modal) {
        auto *edit = widgetNamed<QPlainTextEdit>(modal, "m_textEdit");
        QVERIFY(edit->verticalScrollBar()->maximum() > 0);
        QCOMPARE(edit->cursorForPosition(QPoint(0, 0)).block().text(),
                 QString("Lights whose data could not be read :"));
        QCOMPARE(modal->focusWidget(), edit);
        QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(edit->verticalScrollBar()->value(), edit->verticalScrollBar()->maximum());
        QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(edit->verticalScrollBar()->value(), 0);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QCOMPARE(warning.exec(), int(QDialog::Accepted));
    QCOMPARE(driver.pending(), 0);
}

void TestNetworkSync::init()
{
    NetworkSettings &settings = NetworkSettings::instance();
    settings.restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
    settings.discoveryRetryMs = 100;
    settings.rdmPauseMs = 0;
    settings.syncControllerWindowMs = 300;
    settings.syncLightWindowMs = 400;
    settings.syncReadPauseMs = 10;
    LightDiscoveryRig::useShortCountRounds();
    m_net = new SimulatedOrvexNetwork;
    QVERIFY(m_net->isListening());
    m_map = new MapModel;
    m_effects = new EffectEngine(m_map, 100);
}

void TestNetworkSync::cleanup()
{
    delete m_effects;
    delete m_map;
    delete m_net;
    NetworkSettings::instance().restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
}

void TestNetworkSync::wholeSync_data()
{
    QTest::addColumn<bool>("bySerial");
    QTest::addColumn<bool>("faulty");
    QTest::addColumn<bool>("portReply"); // the device answers the port request
    QTest::newRow("by address") << false << false << true;
    QTest::newRow("by address, answers lost and repeated") << false << true << true;
    QTest::newRow("by serial") << true << false << true;
    // Ports come only from a port reply: the interface keeps those it was drawn with.
    QTest::newRow("by address, no port reply") << false << false << false;
}

void TestNetworkSync::wholeSync()
{
    QFETCH(bool, bySerial);
    QFETCH(bool, faulty);
    QFETCH(bool, portReply);
    Iface *dev = device("127.0.0.2");
    if (!portReply)
        dev->faults[0x000A].drop = 1000;
    dev->lights = {Iface::catalogueLight(FirstLight, 1, {{"DMX_OFFSET", 10}}),
                   Iface::catalogueLight(SecondLight, 2, {{"DMX_OFFSET", 0}})};
    if (faulty) {
        dev->faults[0x0203] = {1, 0, 2, {}}; // EEPROM reads: first answer lost, then twice
        dev->faults[0x0001] = {0, 0, 2, {}}; // discover answered twice
    }
    // The map was drawn in the office: other address or serial, two ports, other channels.
    DataSupply *ds =
        mapInterface(bySerial ? "127.0.0.7" : "127.0.0.2", bySerial ? SupplySerial : 4);
    ds->setPortNumber(1, 9);
    ds->setPortType(1, 3);
    ds->rebuildPortIndex();
    Light *first = mapLight(ds, 0, bySerial ? 40 : 10, bySerial ? FirstLight : 5);
    Light *second = mapLight(ds, 1, bySerial ? 5 : 0, bySerial ? SecondLight : 6);
    Light *extra = mapLight(ds, 0, 11, 7); // not on the network, overlaps the first light
    DataSupply *absent = mapInterface("127.0.0.9", 99);
    Light *absentLight = mapLight(absent, 0, 0, 8);

    m_effects->setPaused(false);
    SyncInterface dialog(m_map, m_effects, {ds->uid(), absent->uid()});
    if (bySerial)
        widgetNamed<QRadioButton>(&dialog, "m_serialRadioButton")->setChecked(true);
    QString warning;
    QCOMPARE(sync(dialog, &warning), int(QDialog::Accepted));
    // No live frame while the report is still open; they go on once the dialog is done.
    QVERIFY(m_pausedAtWarning);
    QVERIFY(!m_effects->isPaused());

    QCOMPARE(ds->name(), QString("Site Supply"));
    QCOMPARE(ds->ipAddress(), QString("127.0.0.2"));
    QCOMPARE(ds->serialNumber(), SupplySerial);
    QCOMPARE(ds->macAddress().toUpper(), QString("00:A0:B1:C2:D3:E4"));
    QCOMPARE(ds->portCount(), quint8(portReply ? 3 : 2));
    QCOMPARE(int(ds->portNumber(1)), portReply ? 2 : 9);
    QCOMPARE(int(ds->portType(1)), portReply ? 1 : 3);
    QCOMPARE(first->serialNumber(), FirstLight);
    QCOMPARE(first->dmxChannel(), 10);
    QCOMPARE(first->modelName(), QString("Generic 3-Ch"));
    QCOMPARE(second->serialNumber(), SecondLight);
    QCOMPARE(second->dmxChannel(), 0);
    QCOMPARE(extra->serialNumber(), quint64(7));
    QCOMPARE(first->name(), QString("Site Supply Generic 3-Ch Light 01-001"));
    QCOMPARE(second->name(), QString("Site Supply Generic 3-Ch Light 02-001"));
    QCOMPARE(extra->name(), QString("Site Supply Light 01-002"));
    QCOMPARE(absent->name(), QString("Office"));
    QCOMPARE(absentLight->name(), QString("Drawn"));
    QCOMPARE(warning, QString("Lights that no scan reported :\n    Site Supply port 01, serial "
                              "00000007, Site Supply Light 01-002\n\n"
                              "Interfaces that did not answer :\n    Office\n\n"
                              "Lights with conflicting DMX addresses :\n"
                              "Site Supply : \n    Site Supply Generic 3-Ch Light 01-001\n"
                              "    Site Supply Light 01-002\n\n"));
}

void TestNetworkSync::fixtureCountListIsCopiedWhole_data()
{
    QTest::addColumn<int>("firstPort"); // one-light fixtures on port 1 besides its counted ones
    QTest::addColumn<bool>("replyPerEntry");
    QTest::addColumn<double>("copied"); // share of the device's datagrams the link copies
    QTest::newRow("one port") << 0 << false << 0.0;
    // Port 1's counts come in two replies: port 2's lights still come, and are copied.
    QTest::newRow("a port over two replies, then another") << 64 << true << 0.0;
    QTest::newRow("a port over two replies, then another, 10% copied") << 64 << true << 0.1;
}

void TestNetworkSync::fixtureCountListIsCopiedWhole()
{
    QFETCH(int, firstPort);
    QFETCH(bool, replyPerEntry);
    QFETCH(double, copied);
    // Every light of a fixture-count list carries the interface's serial number.
    constexpr quint64 plainSupply = 0x00990001; // no values to read from it first
    const int port = firstPort > 0 ? 1 : 0;
    Iface *dev = device("127.0.0.2", plainSupply, port + 1, 3);
    if (firstPort > 0)
        dev->fixtureCounts[1] = QVector<quint32>(firstPort, 1);
    dev->fixtureCounts[quint8(port + 1)] = {3};
    dev->countsReplyPerEntry = replyPerEntry;
    dev->setDuplication(copied, 7);
    DataSupply *ds = mapInterface("127.0.0.2", 4);
    QList<Light *> lights;
    for (int i = 0; i < 3; ++i)
        lights << mapLight(ds, port, 3 * i, 100 + i);
    // Ports of type 3 end the light window once they have reported: long before the window.
    NetworkSettings::instance().syncLightWindowMs = 60000;

    SyncInterface dialog(m_map, m_effects, {ds->uid()});
    QString warning;
    QCOMPARE(sync(dialog, &warning), int(QDialog::Accepted));
    QCOMPARE(warning, QString());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(lights[i]->serialNumber(), plainSupply);
        QCOMPARE(lights[i]->dmxChannel(), 3 * i);
        QCOMPARE(lights[i]->name(), QString("Site Supply Light 0%1-00%2").arg(port + 1).arg(i + 1));
    }
}

// A device whose answers disagree from request to request (one datagram of a fixture, then
// two): the port's lights are left as they were and named, each light not again, under the
// heading of a sync that fell short, and the light window, shorter than the rounds, waits for
// them.
void TestNetworkSync::uncountedPortIsNamed()
{
    Iface *dev = device("127.0.0.2", 0x00990001, 1, 3);
    const QByteArray fixture = OrvexReplies::blinkScan2Reply(
        dev->address().toIPv4Address(), 1,
        OrvexReplies::blinkScan2Entry(1, 2, OrvexReplies::serialPayload({1})));
    dev->blinkScan2Answers = {{fixture}, {fixture, fixture}};
    DataSupply *ds = mapInterface("127.0.0.2", 4);
    Light *light = mapLight(ds, 0, 0, 100);
    syncAndReport({ds->uid()}, false,
                  "Ports whose lights could not be counted, left as they were :\n"
                  "    Site Supply port 1 (its answers did not agree)\n\n");
    QCOMPARE(light->serialNumber(), quint64(100));
}

void TestNetworkSync::cancelWhileADeviceIsSilent()
{
    Iface *dev = device("127.0.0.2");
    dev->lights = {Iface::catalogueLight(FirstLight, 1, {{"DMX_OFFSET", 10}})};
    dev->faults[0x0203] = {1000000, 0, 1, {}}; // the light never answers a read
    NetworkSettings::instance().lightReadMaxRetries = 1000;
    DataSupply *ds = mapInterface("127.0.0.2", 4);
    Light *light = mapLight(ds, 0, 10, 5);
    // Live output was paused before the sync, and stays paused after it.
    m_effects->setPaused(true);

    SyncInterface dialog(m_map, m_effects, {ds->uid()});
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    widgetNamed<QAbstractButton>(&dialog, "m_syncButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.engine()->isReadingLight(FirstLight), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(dev->receivedWithCode(0x0203).size() >= 2, 5000);      // retrying
    dialog.findChild<QProgressDialog *>()->findChild<QAbstractButton *>()->click(); // Cancel
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
    QVERIFY(!dialog.engine());
    QVERIFY(m_effects->isPaused());

    // The interface was copied whole; the light being read was not copied at all.
    QCOMPARE(ds->name(), QString("Site Supply"));
    QCOMPARE(ds->portCount(), quint8(3));
    QCOMPARE(light->serialNumber(), quint64(5));
    QCOMPARE(light->name(), QString("Drawn"));
    QCOMPARE(light->modelName(), QString());
    // Nothing is sent for the dead read once the sync is over.
    QTest::qWait(50); // requests already on their way
    const qsizetype reads = dev->receivedWithCode(0x0203).size();
    QTest::qWait(3 * NetworkSettings::instance().discoveryRetryMs);
    QCOMPARE(dev->receivedWithCode(0x0203).size(), reads);
}

// A read that gets no answer ends as failed: the sync goes on without that light.
void TestNetworkSync::silentLightIsPassedOver()
{
    Iface *dev = device("127.0.0.2");
    dev->lights = {Iface::catalogueLight(FirstLight, 1, {{"DMX_OFFSET", 10}})};
    dev->faults[0x0203] = {1000000, 0, 1, {}};
    NetworkSettings::instance().lightReadMaxRetries = 2;
    DataSupply *ds = mapInterface("127.0.0.2", 4);
    Light *light = mapLight(ds, 0, 10, 5);
    SyncInterface dialog(m_map, m_effects, {ds->uid()});
    QCOMPARE(sync(dialog), int(QDialog::Accepted));
    QCOMPARE(dev->receivedWithCode(0x0203).size(), 1 + 2);
    QCOMPARE(light->serialNumber(), quint64(5)); // nothing read, nothing copied
    QCOMPARE(light->name(), QString("Site Supply Light 01-001"));
}

void TestNetworkSync::everyPendingLightIsRead_data()
{
    QTest::addColumn<int>("scanCopies");   // each blink scan 2 reply sent this many times
    QTest::addColumn<QList<int>>("ports"); // 1-based port of each light with FirstLight's serial
    QTest::addColumn<bool>("secondInterface"); // one more interface with the same light
    QTest::addColumn<int>("readCopies");       // each read answer sent this many times, late
    QTest::addColumn<bool>("countsEveryPort"); // ports of type 3, each with fixture counts
    // clang-format off
    QTest::newRow("scan reply twice") << 2 << QList<int>{1} << false << 1 << false;
    QTest::newRow("scan reply thrice, answers twice") << 3 << QList<int>{1} << false << 2 << false;
    QTest::newRow("one serial on two ports") << 1 << QList<int>{1, 2} << false << 1 << false;
    QTest::newRow("one serial behind two interfaces") << 1 << QList<int>{1} << true << 1 << false;
    QTest::newRow("all at once") << 2 << QList<int>{1, 2} << true << 2 << false;
    // The last port's list ends the light window early; the single lights are read all the same.
    QTest::newRow("every port counted") << 2 << QList<int>{1} << false << 1 << true;
    // clang-format on
}

// However the scan replies and read answers come, every light found is read, each into its
// own map light, and the sync ends.
void TestNetworkSync::everyPendingLightIsRead()
{
    QFETCH(int, scanCopies);
    QFETCH(QList<int>, ports);
    QFETCH(bool, secondInterface);
    QFETCH(int, readCopies);
    QFETCH(bool, countsEveryPort);
    if (countsEveryPort)
        NetworkSettings::instance().syncLightWindowMs = 60000;
    QList<DataSupply *> supplies;
    QList<Light *> first, second;
    for (const char *ip : {"127.0.0.2", "127.0.0.3"}) {
        if (ip[8] == '3' && !secondInterface)
            break;
        Iface *dev =
            device(ip, SupplySerial + quint64(supplies.size()), 3, countsEveryPort ? 3 : 1);
        if (countsEveryPort)
            dev->fixtureCounts = {{1, {1}}, {2, {1}}, {3, {1}}};
        for (const int port : std::as_const(ports))
            dev->lights << Iface::catalogueLight(FirstLight, quint8(port), {{"DMX_OFFSET", 10}});
        dev->lights << Iface::catalogueLight(SecondLight, 3, {{"DMX_OFFSET", 20}});
        dev->faults[OrvexDatagrams::BlinkScan2] = {0, 0, scanCopies, {}};
        dev->faults[OrvexDatagrams::EERead] = {0, 5, readCopies, {}};
        supplies << mapInterface(ip, 4);
        for (const int port : std::as_const(ports))
            first << mapLight(supplies.last(), port - 1, 10, 5);
        second << mapLight(supplies.last(), 2, 20, 6);
    }
    QList<quint64> uids;
    for (const DataSupply *ds : std::as_const(supplies))
        uids << ds->uid();
    SyncInterface dialog(m_map, m_effects, uids);
    QCOMPARE(sync(dialog), int(QDialog::Accepted));
    for (const Light *light : std::as_const(first))
        QCOMPARE(light->serialNumber(), FirstLight);
    for (const Light *light : std::as_const(second))
        QCOMPARE(light->serialNumber(), SecondLight);
    for (const DataSupply *ds : std::as_const(supplies))
        QCOMPARE(ds->lights().size(), ports.size() + 1); // no light was added
}

void TestNetworkSync::windowsNeverEndEarly_data()
{
    QTest::addColumn<quint16>("endCode"); // the first request after the windows
    QTest::addColumn<bool>("all");        // interface window only, or all three
    QTest::newRow("interfaces") << quint16(OrvexDatagrams::BlinkScan2) << false;
    QTest::newRow("interfaces, lights and pause") << quint16(OrvexDatagrams::EERead) << true;
}

// Measured from before the click to the request that follows the windows, so lateness counts
// in their favour and an early end shows; a coarse timer ends early about every second time.
void TestNetworkSync::windowsNeverEndEarly()
{
    QFETCH(quint16, endCode);
    QFETCH(bool, all);
    NetworkSettings &settings = NetworkSettings::instance();
    settings.syncControllerWindowMs = 113;
    settings.syncLightWindowMs = 97;
    settings.syncReadPauseMs = 41;
    const int nominal = all ? 113 + 97 + 41 : 113;
    DataSupply *ds = mapInterface("127.0.0.2", 4);
    mapLight(ds, 0, 0, 5);
    for (int run = 0; run < 5; ++run) {
        // A device of its own for each run: a request the last run's sync sent just before it
        // ended may still wait on the old device's socket, and would count as this run's.
        delete m_net;
        m_net = new SimulatedOrvexNetwork;
        QVERIFY(m_net->isListening());
        Iface *dev = device("127.0.0.2");
        dev->lights = {Iface::catalogueLight(FirstLight, 1)};
        QElapsedTimer clock;
        qint64 endedNs = -1;
        const QMetaObject::Connection ends =
            connect(dev, &Iface::datagramReceived, this, [&](quint16 code) {
                if (code == endCode && endedNs < 0)
                    endedNs = clock.nsecsElapsed();
            });
        SyncInterface dialog(m_map, m_effects, {ds->uid()});
        dialog.show();
        clock.start();
        widgetNamed<QAbstractButton>(&dialog, "m_syncButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(endedNs >= 0, 5000);
        dialog.reject();
        disconnect(ends);
        QVERIFY2(endedNs >= qint64(nominal) * 1000000,
                 qPrintable(QStringLiteral("ended after %1 us").arg(endedNs / 1000)));
    }
}

void TestNetworkSync::reportNamesWhatTheSyncDidNotReach_data()
{
    QTest::addColumn<bool>("bySerial");
    QTest::addColumn<bool>("lightSilent");
    QTest::addColumn<bool>("interfaceSilent");
    QTest::addColumn<bool>("fixedSerial"); // the light drawn with the serial an earlier sync gave
    QTest::addColumn<QString>("report");
    const QString unread = "Lights whose data could not be read :\n    %1\n\n";
    const QString silent = "Interfaces that did not answer :\n    Basement\n\n";
    const QString unreported = "Lights that no scan reported :\n    Site Supply port 01, serial "
                               "FDAC0000, Site Supply Light 01-001\n\n";
    // clang-format off
    QTest::newRow("all reached") << false << false << false << false << QString();
    QTest::newRow("light silent, by address") << false << true << false << false << unread.arg("Site Supply port 01, serial 00100001");
    QTest::newRow("light silent, by serial") << true << true << false << false << unread.arg("Site Supply Light 01-001");
    QTest::newRow("interface silent") << false << false << true << false << silent;
    QTest::newRow("both") << true << true << true << false << unread.arg("Site Supply Light 01-001") + silent;
    // A serial every light of the supply carries tells which light went unread no better than
    // an address nobody could read: the unread light is named once.
    QTest::newRow("light silent, by serial, fixed serial") << true << true << false << true << unread.arg("Site Supply port 01, serial 00100001");
    QTest::newRow("light answering, by serial, fixed serial") << true << false << false << true << unreported;
    // clang-format on
}

// A failed read and an interface that never answered leave the map as it was there, and the
// report says so.
void TestNetworkSync::reportNamesWhatTheSyncDidNotReach()
{
    QFETCH(bool, bySerial);
    QFETCH(bool, lightSilent);
    QFETCH(bool, interfaceSilent);
    QFETCH(bool, fixedSerial);
    QFETCH(QString, report);
    constexpr quint64 FixedSerialSupply = 0x00A10001; // its lights all take one serial
    const quint64 supply = fixedSerial ? FixedSerialSupply : SupplySerial;
    Iface *dev = device("127.0.0.2", supply);
    dev->lights = {Iface::catalogueLight(FirstLight, 1, {{"DMX_OFFSET", 10}})};
    if (lightSilent)
        dev->faults[0x0203] = {1000000, 0, 1, {}};
    NetworkSettings::instance().lightReadMaxRetries = 1;
    DataSupply *ds = mapInterface("127.0.0.2", bySerial ? supply : 4);
    mapLight(ds, 0, 10, fixedSerial ? SyncRules::FixedSerial : bySerial ? FirstLight : 5);
    QList<quint64> covered = {ds->uid()};
    if (interfaceSilent) {
        device("127.0.0.9", 0x00A50009)->answering = false;
        DataSupply *basement = mapInterface("127.0.0.9", 0x00A50009);
        basement->setName("Basement");
        covered << basement->uid();
    }
    syncAndReport(covered, bySerial, report);
}

void TestNetworkSync::reportNamesUnreportedLightsAndOnlyAskedInterfaces_data()
{
    QTest::addColumn<bool>("bySerial");
    QTest::addColumn<bool>("unreported"); // a map light that no scan reports
    QTest::addColumn<bool>("twin");       // a map interface with the same address or serial
    QTest::addColumn<QByteArray>("situation");
    QTest::addColumn<QString>("report");
    const QString light = "Lights that no scan reported :\n"
                          "    Site Supply port 02, serial 00100009, Site Supply Light 02-001\n\n";
    const QString twin = "Interfaces left unmatched :\n    Twin (another has the same %1)\n\n";
    const QString moved = "Lights that answered elsewhere :\n    Site Supply port %1, serial "
                          "00100002, Site Supply Light %1-001: answered on port 02 at DMX "
                          "address 21\n\n";
    const QString contested = "Interfaces left unmatched :\n    Office (serial 00A50001 answered "
                              "from 127.0.0.2 and 127.0.0.3)\n\n";
    const QString claimed = "Interfaces whose serial number also answered elsewhere :\n    Site "
                            "Supply (serial 00A50001 also answered from 127.0.0.3)\n\n";
    const QString counted = "Lights that no scan reported :\n    Site Supply port 02, serial "
                            "00A50001, Site Supply Light 02-001\n\n";
    const QByteArray none;
    // clang-format off
    QTest::newRow("clean") << false << false << false << none << QString();
    QTest::newRow("unreported light, by address") << false << true << false << none << light;
    QTest::newRow("unreported light, by serial") << true << true << false << none << light;
    QTest::newRow("twin, by address") << false << false << true << none << twin.arg("IPv4 address");
    QTest::newRow("both, by serial") << true << true << true << none << light + twin.arg("serial number");
    // The serial the light carries, not the one the sync gives every light of such a supply.
    QTest::newRow("unreported light, fixed-serial supply") << false << true << false << QByteArray("fixed serial") << light;
    QTest::newRow("readdressed light, by address") << false << false << false << QByteArray("moved") << moved.arg("02");
    QTest::newRow("light on another port, by serial") << true << false << false << QByteArray("moved") << moved.arg("03");
    // By address the interface at the map's address is matched, read and renamed all the same.
    QTest::newRow("serial from two addresses, by address") << false << false << false << QByteArray("contested") << claimed;
    QTest::newRow("serial from two addresses, by serial") << true << false << false << QByteArray("contested") << contested;
    // Counted lights all carry the interface's serial: it says nothing of where a light is.
    QTest::newRow("drawn light with the interface's serial, counted lights") << false << false << false << QByteArray("counted") << counted;
    // clang-format on
}

// Interfaces the sync never asks (broadcast and streaming ones) are not reported as silent; a
// map light left as drawn because no scan reported its serial number, one whose serial number
// answered elsewhere (with where), an interface that could not be matched because another has
// its key, and one whose serial number answered from two addresses (neither is copied), are.
void TestNetworkSync::reportNamesUnreportedLightsAndOnlyAskedInterfaces()
{
    QFETCH(bool, bySerial);
    QFETCH(bool, unreported);
    QFETCH(bool, twin);
    QFETCH(QByteArray, situation);
    QFETCH(QString, report);
    constexpr quint64 FixedSerialSupply = 0x00A10001; // its lights all take one serial
    // Counted lights come once the interface's whole answer is in, which ends its window.
    const bool counted = situation == "counted";
    if (counted)
        NetworkSettings::instance().syncLightWindowMs = 60000;
    Iface *dev = device("127.0.0.2", situation == "fixed serial" ? FixedSerialSupply : SupplySerial,
                        3, counted ? 3 : 1);
    dev->lights = {Iface::catalogueLight(FirstLight, 1, {{"DMX_OFFSET", 10}})};
    if (situation == "moved")
        dev->lights << Iface::catalogueLight(SecondLight, 2, {{"DMX_OFFSET", 20}});
    if (situation == "contested") // answering last, so that its interface replaces the other
        device("127.0.0.3")->faults[OrvexDatagrams::Discover].delayMs = 20;
    if (counted)
        dev->fixtureCounts = {{2, {3, 3}}};
    QList<quint64> covered;
    if (twin) {
        DataSupply *other = mapInterface(bySerial ? "127.0.0.8" : "127.0.0.2", SupplySerial);
        other->setName("Twin");
        covered << other->uid();
    }
    DataSupply *ds = mapInterface("127.0.0.2", bySerial ? SupplySerial : 4);
    mapLight(ds, 0, 10, bySerial ? FirstLight : 5);
    if (unreported)
        mapLight(ds, 1, 40, 0x00100009);
    if (situation == "moved")
        mapLight(ds, bySerial ? 2 : 1, 40, SecondLight);
    if (counted)
        mapLight(ds, 1, 40, SupplySerial);
    covered << ds->uid();
    for (const int type : {3, 6, 7}) {
        DataSupply *unasked = m_map->createDataSupply(type);
        unasked->setUid(m_map->nextUid());
        unasked->setIpAddress(QHostAddress("127.0.0.77"));
        QVERIFY(m_map->addDataSupply(unasked));
        covered << unasked->uid();
    }
    syncAndReport(covered, bySerial, report);
}

// Serial lists flood in while the lights are scanned, from the interface's own address and
// from another host that names it: no more lights than its one port holds, and Cancel ends
// the sync there and then, with datagrams still arriving.
void TestNetworkSync::floodDuringSyncIsBoundedAndCancelActsAtOnce()
{
    Iface *dev = device("127.0.0.2", SupplySerial, 1);
    Iface *forger = m_net->addInterface(QHostAddress("127.0.0.3"));
    forger->answering = false;
    NetworkSettings::instance().syncLightWindowMs = 60000;
    DataSupply *ds = mapInterface("127.0.0.2", 4);
    mapLight(ds, 0, 10, 5);
    SyncInterface dialog(m_map, m_effects, {ds->uid()});
    QSignalSpy finished(&dialog, &QDialog::finished);
    QSignalSpy made(dialog.engine(), &DiscoveryEngine::discoveredLight);
    dialog.show();
    widgetNamed<QAbstractButton>(&dialog, "m_syncButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        dialog.engine()->isScanning(dialog.engine()->controllerForUid(SupplySerial)), 5000);
    const OSocket *socket = dialog.engine()->orvex()->socket();
    const QHostAddress to = socket->localAddress();
    const quint16 port = socket->localPort();
    quint32 serial = 0x200000;
    const auto flood = [&](int datagrams) {
        for (int i = 0; i < datagrams; ++i) {
            QByteArray entries;
            for (int e = 0; e < 4; ++e) {
                QVector<quint32> serials;
                for (int k = 0; k < 63; ++k)
                    serials << serial++;
                entries +=
                    OrvexReplies::blinkScan2Entry(1, 1, OrvexReplies::serialPayload(serials));
            }
            const QByteArray reply =
                OrvexReplies::blinkScan2Reply(dev->address().toIPv4Address(), 4, entries);
            dev->sendRawTo(reply, to, port);
            forger->sendRawTo(reply, to, port);
        }
    };
    flood(20);
    QTRY_COMPARE_WITH_TIMEOUT(made.size(), DiscoveryEngine::MaxLightsPerPort, 5000);
    flood(100);
    QCoreApplication::processEvents();
    dialog.findChild<QProgressDialog *>()->findChild<QAbstractButton *>()->click(); // Cancel
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
    QVERIFY(!dialog.engine());
    QCOMPARE(made.size(), DiscoveryEngine::MaxLightsPerPort);
    flood(20); // into a closed socket
    QTest::qWait(50);
    QCOMPARE(ds->name(), QString("Site Supply"));
}

void TestNetworkSync::fromTheMainWindow()
{
    device("127.0.0.2");
    MetaTool w;
    DataSupply *ds = addInterface(w.mapModel(), "Office", QHostAddress("127.0.0.2"), 2);
    w.setDirty(false);
    ModalDriver driver(10000);
    driver.then([](QWidget *sync) { widgetNamed<QAbstractButton>(sync, "m_syncButton")->click(); });
    w.form().syncInterfacesAction->trigger();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(ds->name(), QString("Site Supply"));
    QVERIFY(w.getDirty());
}

DM_LAPTOP_SCREEN_MAIN(TestNetworkSync)
#include "tst_networksync.moc"
