#include "support/apptestsupport.h"
#include "support/lightdiscoveryrig.h"
#include "support/modaldriver.h"
#include "support/orvexreplies.h"
#include "support/simulatedorvexnetwork.h"

#include "app/lightview.h"
#include "app/lightviewinterface.h"
#include "app/metatool.h"
#include "dialogs/discoverlightswizard.h"
#include "dialogs/lightdiscoveryrules.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using Iface = SimulatedOrvexInterface;
Q_DECLARE_METATYPE(Iface::MoreFlag)
using Doubts = QList<LightDiscoveryRules::PortDoubt>;
Q_DECLARE_METATYPE(Doubts)
using DeviceVariables = QHash<quint16, quint32>; // id -> value
using namespace LightDiscoveryRules;

namespace {
using Doubt = CountAnswers::Doubt;
constexpr quint16 BlinkScan2 = 0x0207, EERead = 0x0203;
const QString Unique = "The lights are uniquely addressed.";
const QString NotUnique =
    "The lights are NOT uniquely addressed.\nUse Vantorp Pro to assign them unique addresses.";

QString text(QWidget *w, const char *label)
{
    return widgetNamed<QLabel>(w, label)->text();
}
} // namespace

class TestLightsDiscoveryWizard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void init();
    void cleanup();
    void rules();
    void countNotices_data();
    void countNotices();
    void readRouteFromEmptyMapToSavedMap_data();
    void readRouteFromEmptyMapToSavedMap();
    void countedLightsBecomeStrings_data();
    void countedLightsBecomeStrings();
    void unsettledPortsAreNamedWhereTheUserIs_data();
    void unsettledPortsAreNamedWhereTheUserIs();
    void countingIsShownUntilTheCountsAreIn_data();
    void countingIsShownUntilTheCountsAreIn();
    void scanEndsOnceTheCountsAreComplete();
    void latestRoutingLeadsOn_data();
    void latestRoutingLeadsOn();
    void repeatedAnswersAndUnownedLights();
    void rerunAndCancelMidReadLeaveNothing();
    void silentLightAndCancelLeaveTheInterfaceAsItWas_data();
    void silentLightAndCancelLeaveTheInterfaceAsItWas();
    void deafLightsDoNotStopTheOthersBeingRead_data();
    void deafLightsDoNotStopTheOthersBeingRead();
    void cancelJudgesOnlyTheAddressesRead_data();
    void cancelJudgesOnlyTheAddressesRead();
    void cancelLeavesTheInterfaceAndItsLightsAsTheyWere_data();
    void cancelLeavesTheInterfaceAndItsLightsAsTheyWere();
    void entriesOpenTheWizard();
    void scanNeverEndsEarly();
    void anotherInterfaceMidRunBringsOnlyItsOwnLights_data();
    void anotherInterfaceMidRunBringsOnlyItsOwnLights();
    void backAndAnInterfaceAgainShowsItsOwnRun();
    void leavingARunStopsItsRequests_data();
    void leavingARunStopsItsRequests();
    void lateReportsOfALeftRunChangeNothing_data();
    void lateReportsOfALeftRunChangeNothing();

private:
    // The interface "Lobby" in the map, at the simulated device, with three ports.
    DataSupply *lobby(quint16 version, quint64 serial = 0x990001)
    {
        DataSupply *ds = addInterface(m_map, "Lobby", m_device->address(), 3);
        ds->setProtocolVersion(version);
        ds->setSerialNumber(serial);
        return ds;
    }
    DiscoverLightsWizard *open(DataSupply *ds)
    {
        m_wizard = new DiscoverLightsWizard(m_map, m_effects, nullptr);
        m_wizard->setController(ds->uid());
        m_wizard->show(); // entering the discover page scans
        return m_wizard;
    }
    // A second interface in the map, at a simulated device of its own.
    DataSupply *catSupply(Iface **device)
    {
        *device = m_net->addInterface(QHostAddress("127.0.0.3"));
        DataSupply *ds = addInterface(m_map, "Cat Supply One", (*device)->address(), 3);
        ds->setProtocolVersion(2);
        ds->setSerialNumber(0x990002);
        return ds;
    }
    // Opens the wizard on its interface list.
    void openOnTheList()
    {
        m_wizard = new DiscoverLightsWizard(m_map, m_effects, nullptr);
        m_wizard->show();
    }
    // Clicks the interface's row on the first page.
    void pick(const QString &name)
    {
        auto *list = widgetNamed<QListWidget>(m_wizard, "m_interfaceListBox");
        const QList<QListWidgetItem *> rows = list->findItems(" " + name, Qt::MatchEndsWith);
        QCOMPARE(rows.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(rows.first()).center());
    }
    bool waitForTheRun()
    {
        return QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000);
    }
    bool readAll()
    {
        m_wizard->next();
        return QTest::qWaitFor([&] { return !m_wizard->isReading(); }, 5000);
    }

    SimulatedOrvexNetwork *m_net = nullptr;
    Iface *m_device = nullptr;
    MapModel *m_map = nullptr;
    EffectEngine *m_effects = nullptr;
    DiscoverLightsWizard *m_wizard = nullptr;
    std::optional<NetworkSettings> m_settings;
};

void TestLightsDiscoveryWizard::init()
{
    NetworkSettings &settings = NetworkSettings::instance();
    m_settings = settings;
    settings.discoveryRetryMs = 150;
    settings.rdmPauseMs = 0;
    settings.lightScanQuietMs = settings.lightScanQuietType3Ms = 300;
    LightDiscoveryRig::useShortCountRounds();
    m_net = new SimulatedOrvexNetwork;
    m_device = m_net->addInterface(QHostAddress("127.0.0.2"));
    m_map = new MapModel;
    m_effects = new EffectEngine(m_map, 100);
}

void TestLightsDiscoveryWizard::cleanup()
{
    delete m_wizard;
    m_wizard = nullptr;
    delete m_effects;
    delete m_map;
    delete m_net;
    NetworkSettings::instance() = *m_settings;
}

void TestLightsDiscoveryWizard::rules()
{
    QCOMPARE(lightName("Lobby", "Bar 12", 0, 6), QString("Lobby Bar 12 Light 01-007"));
    QCOMPARE(lightName("Lobby", "", 11, 41), QString("Lobby Light 12-042"));
    QCOMPARE(lightName("Lobby", "", 0, 1000), QString("Lobby Light 01-1001"));
    QCOMPARE(foundSummary(5, 1), QString("Found 5 Lights on 1 Port."));
    QCOMPARE(foundSummary(0, 0), QString("Found 0 Lights on 0 Ports."));
    // Same start channel on another port is unique; overlapping ranges are not compared.
    QVERIFY(uniquelyAddressed({{0, 10}, {1, 10}, {0, 11}}));
    QVERIFY(!uniquelyAddressed({{0, 10}, {1, 3}, {0, 10}}));
    QCOMPARE(numberingOrder({{1, 5}, {0, 9}, {1, 2}, {0, 9}, {0, 1}}), QList<int>({4, 1, 3, 2, 0}));
    QCOMPARE(furtherCellChannels("4", "12", true, 10, 3), QList<int>({13, 16}));
    QVERIFY(furtherCellChannels("4", "", false, 10, 3).isEmpty());
    QVERIFY(furtherCellChannels("x", "12", true, 10, 3).isEmpty());
    QVERIFY(furtherCellChannels("0", "12", true, 10, 3).isEmpty());
    // Reads that failed are said, and their lights' addresses are not judged.
    QCOMPARE(verdictText(true, 0, 3), Unique);
    QCOMPARE(verdictText(false, 2, 5),
             NotUnique + "\nCould not read the DMX address of 2 of 5 lights.");
    QCOMPARE(readingText(0), QString("Reading Existing Addresses..."));
    QCOMPARE(readingText(1), QString("Reading Existing Addresses...\n1 light has not answered."));
    QCOMPARE(readingText(7), QString("Reading Existing Addresses...\n7 lights have not answered."));
}

void TestLightsDiscoveryWizard::countNotices_data()
{
    QTest::addColumn<int>("round"); // -1: no longer counting
    QTest::addColumn<Doubts>("unsettled");
    QTest::addColumn<QList<int>>("unchecked");
    QTest::addColumn<QString>("notice"); // on the light and read pages
    QTest::addColumn<QString>("status"); // on the discover page
    const QString counting = "Counting the lights of Lobby...";
    const QString port = "The lights on port %1 of Lobby could not be counted: ";
    const QString unchecked = "The lights on %1 of Lobby were taken from the interface's only "
                              "answer, which nothing could check. Discover again to have them "
                              "checked.";
    const QString disagreed =
        port.arg(2) + "its answers did not agree. No lights were made for it; discover again.";
    const auto counted = [](const char *name, const Doubts &unsettled, const QList<int> &unchecked,
                            const QString &notice) {
        QTest::newRow(name) << -1 << unsettled << unchecked << notice << notice;
    };
    QTest::newRow("first answer") << 0 << Doubts() << QList<int>() << QString() << counting;
    QTest::newRow("asked again once") << 1 << Doubts() << QList<int>() << QString()
                                      << "Counting the lights of Lobby... (asked again once)";
    QTest::newRow("asked again 12 times")
        << 12 << Doubts() << QList<int>() << QString()
        << "Counting the lights of Lobby... (asked again 12 times)";
    counted("all counted", {}, {}, QString());
    counted("disagreed", {{1, Doubt::Disagreed}}, {}, disagreed);
    counted("too many lights", {{0, Doubt::TooManyLights}}, {},
            port.arg(1) + "its counts add up to more than 512 lights, the most a port holds. No "
                          "lights were made for it; check what is connected to that port, then "
                          "discover again.");
    counted("unanswered", {{2, Doubt::Unanswered}}, {},
            port.arg(3) + "the interface stopped answering before its answers could be "
                          "compared. No lights were made for it; check the interface's network "
                          "connection, then discover again.");
    counted("endless", {{7, Doubt::Endless}}, {},
            port.arg(8) + "its answers never went quiet, as if something kept sending them. No "
                          "lights were made for it; restart the interface, then discover again.");
    counted("one port unchecked", {}, {2}, unchecked.arg("port 3"));
    QTest::newRow("two ports unchecked, one disagreed, still counting")
        << 0 << Doubts{{1, Doubt::Disagreed}} << QList<int>{0, 2}
        << disagreed + "\n" + unchecked.arg("ports 1 and 3")
        << counting + "\n" + disagreed + "\n" + unchecked.arg("ports 1 and 3");
}

// Each port left out says why and what to do; the discover page says that counting goes on.
void TestLightsDiscoveryWizard::countNotices()
{
    QFETCH(int, round);
    QFETCH(Doubts, unsettled);
    QFETCH(QList<int>, unchecked);
    QFETCH(QString, notice);
    QFETCH(QString, status);
    QCOMPARE(countNoticeText("Lobby", unsettled, unchecked), notice);
    QCOMPARE(countStatusText("Lobby", round, notice), status);
}

void TestLightsDiscoveryWizard::readRouteFromEmptyMapToSavedMap_data()
{
    QTest::addColumn<quint16>("version");
    QTest::addColumn<bool>("collide");
    for (const quint16 version : {1, 2, 3}) {
        QTest::addRow("v%d unique", version) << version << false;
        QTest::addRow("v%d colliding", version) << version << true;
    }
}

void TestLightsDiscoveryWizard::readRouteFromEmptyMapToSavedMap()
{
    QFETCH(quint16, version);
    QFETCH(bool, collide);
    // Port indices 0 and 1; version 1 scans report 32-bit serials only, all on port index 0.
    m_device->lights = {
        Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 288}}),
        Iface::catalogueLight(0x140002, 2, {{"DMX_OFFSET", version == 1 ? 300 : 288}}),
        Iface::catalogueLight(
            0x701C0001, 1,
            {{"DMX_OFFSET", 10}, {"PIXEL_CELL_COUNT", 4}, {"PHYSICAL_PIXEL_COUNT", 12}}),
        Iface::catalogueLight(0x5651A0000007, 2, {{"RDM_DMX_ADDRESS", 17}}, "D.0039-P.0509-F.0004"),
        // Occupies no DMX channels: dropped once read.
        Iface::catalogueLight(0x5653A0000001, 2, {}, "D.0301-P.0801-F.0000")};
    if (collide)
        m_device->lights.append(Iface::catalogueLight(0x140003, 1, {{"DMX_OFFSET", 288}}));
    DataSupply *ds = lobby(version);
    open(ds);
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    const int reported = version == 1 ? 3 : 5;
    QCOMPARE(text(m_wizard, "m_lightCountLabel").toInt(), reported + collide);
    QVERIFY(readAll());
    QCOMPARE(m_wizard->currentId(), int(DiscoverLightsWizard::ReadPageId));
    QCOMPARE(text(m_wizard, "m_uniqueLabel"), collide ? NotUnique : Unique);
    const int expected = (version == 1 ? 5 : 6) + collide; // two further cells, one dropped
    QCOMPARE(text(m_wizard, "m_lightCountLabel").toInt(), expected);
    m_wizard->button(QWizard::FinishButton)->click();
    QVERIFY(!m_wizard->isVisible());

    QList<Light *> lights = m_map->lights().values();
    QCOMPARE(lights.size(), expected);
    QCOMPARE(ds->lights().size(), expected);
    std::sort(lights.begin(), lights.end(),
              [](Light *a, Light *b) { return a->lightNumber() < b->lightNumber(); });
    // Ports, then start channels: the pixel device's three cells lead, one footprint apart.
    const int f = int(lights.first()->footprint());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(lights.at(i)->dmxChannel(), 10 + i * f);
        QCOMPARE(lights.at(i)->name(), QString("Lobby Zolbatube Pixel Light 01-00%1").arg(i + 1));
        QCOMPARE(lights.at(i)->pose().y, lights.first()->pose().y + 12 * i);
    }
    QCOMPARE(lights.at(2)->property("Physical Pixel Count"), QString("12"));
    QCOMPARE(lights.last()->name(), QString("Lobby Lumivane Hueweave Graze Light 0%1-%2")
                                        .arg(version == 1 ? 1 : 2)
                                        .arg(expected, 3, 10, QChar('0')));

    QTemporaryDir dir;
    QVERIFY(m_map->saveMap(dir.filePath("found.xml")));
    MapModel loaded;
    QVERIFY(loaded.loadMap(dir.filePath("found.xml"), {}));
    QCOMPARE(loaded.lights().size(), expected);
    for (const Light *light : std::as_const(lights)) {
        const Light *back = loaded.light(light->uid());
        QVERIFY(back);
        QCOMPARE(back->name(), light->name());
        QCOMPARE(back->dmxChannel(), light->dmxChannel());
        QCOMPARE(back->port(), light->port());
        QCOMPARE(back->serialNumber(), light->serialNumber());
        QCOMPARE(back->pose(), light->pose());
        QHash<QString, QString> properties = back->properties();
        properties.remove("DMX Address"); // the loader derives it from the channel
        QCOMPARE(properties, light->properties());
    }
}

void TestLightsDiscoveryWizard::countedLightsBecomeStrings_data()
{
    QTest::addColumn<int>("port1");     // one-light fixtures on port 1, 63 counts a reply
    QTest::addColumn<double>("copied"); // share of the device's datagrams the link copies
    QTest::addColumn<Iface::MoreFlag>("flag");
    QTest::newRow("70 fixtures over two replies") << 70 << 0.0 << Iface::MoreFlag::AllButLast;
    QTest::newRow("126 alike fixtures over two equal replies")
        << 126 << 0.0 << Iface::MoreFlag::AllButLast;
    QTest::newRow("126 alike fixtures, 10% copied") << 126 << 0.1 << Iface::MoreFlag::AllButLast;
    // The more flag means nothing the scan relies on.
    QTest::newRow("126 alike fixtures, more flag never set")
        << 126 << 0.0 << Iface::MoreFlag::Never;
    QTest::newRow("189 alike fixtures, more flag always set")
        << 189 << 0.0 << Iface::MoreFlag::Always;
}

// Each run ends once the interface's counts are complete, the second as the first, long before
// a quiet scan would end; every light comes once, or its port is named.
void TestLightsDiscoveryWizard::countedLightsBecomeStrings()
{
    QFETCH(int, port1);
    QFETCH(double, copied);
    QFETCH(Iface::MoreFlag, flag);
    NetworkSettings &settings = NetworkSettings::instance();
    settings.lightScanQuietMs = settings.lightScanQuietType3Ms = 60000;
    m_device->moreFlag = flag;
    // Port index 1 reports nothing; port 1's fixtures come in several replies.
    m_device->fixtureCounts = {{1, QVector<quint32>(port1, 1)}, {3, {2}}};
    m_device->countsReplyPerEntry = true;
    m_device->setDuplication(copied, 7);
    DataSupply *ds = lobby(2);
    open(ds);
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    widgetNamed<QAbstractButton>(m_wizard, "m_discoverButton")->click();
    QVERIFY(m_wizard->isDiscovering());
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    m_wizard->next();
    QCOMPARE(m_wizard->currentPage()->objectName(), QString("DiscoverLightsLightPage"));
    QVERIFY(!m_wizard->isReading());
    // A copying link may leave a port of alike datagrams in doubt: it is named then, never
    // counted wrong.
    const bool named = !text(m_wizard, "m_unsettledLabel").isEmpty();
    QVERIFY(!named || copied > 0);
    if (named)
        QVERIFY(text(m_wizard, "m_unsettledLabel")
                    .startsWith("The lights on port 1 of Lobby could not be counted"));
    const int counted = named ? 0 : port1;
    QCOMPARE(text(m_wizard, "m_lightCountLabel"), QString::number(counted + 2));
    QCOMPARE(text(m_wizard, "m_foundTintoraLightsLabel"), foundSummary(counted + 2, named ? 1 : 2));
    QStringList titles;
    ModalDriver driver;
    if (!named) {
        driver.then([&](QWidget *d) {
            titles << d->windowTitle();
            widgetNamed<QAbstractButton>(d, "buttonAddRight")->click();
        });
    }
    driver.then([&](QWidget *d) {
        titles << d->windowTitle();
        static_cast<QDialog *>(d)->reject(); // that port's lights stay out
    });
    m_wizard->button(QWizard::FinishButton)->click();
    QCOMPARE(driver.pending(), 0);
    QStringList expected("Found 2 lights on port 3");
    if (!named)
        expected.prepend(QString("Found %1 lights on port 1").arg(port1));
    QCOMPARE(titles, expected);
    QCOMPARE(m_map->lights().size(), counted);
    for (const Light *light : m_map->lights())
        QVERIFY(light->port() == 0 && light->name().startsWith("Lobby "));
}

void TestLightsDiscoveryWizard::unsettledPortsAreNamedWhereTheUserIs_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("summary"); // of the light page; none: the read page follows
    const QString tooMany = "The lights on port 2 of Lobby could not be counted: its counts add "
                            "up to more than 512 lights, the most a port holds. No lights were "
                            "made for it; check what is connected to that port, then discover "
                            "again.";
    QTest::newRow("answers disagree")
        << "disagreeing"
        << "The lights on port 1 of Lobby could not be counted: its answers did not agree. No "
           "lights were made for it; discover again."
        << "Found 0 Lights on 0 Ports.";
    QTest::newRow("more lights than a port holds")
        << "too many" << tooMany << "Found 3 Lights on 1 Port.";
    QTest::newRow("more lights than a port holds, and serial numbers")
        << "too many, serial numbers" << tooMany << QString();
}

// A port whose lights could not be counted makes none, and is named with its true reason on the
// discover page once counting is over and on whichever page follows it.
void TestLightsDiscoveryWizard::unsettledPortsAreNamedWhereTheUserIs()
{
    QFETCH(QString, device);
    QFETCH(QString, notice);
    QFETCH(QString, summary);
    if (device == "disagreeing") {
        const QByteArray fixture = OrvexReplies::blinkScan2Reply(
            m_device->address().toIPv4Address(), 1,
            OrvexReplies::blinkScan2Entry(1, 2, OrvexReplies::serialPayload({1})));
        m_device->blinkScan2Answers = {{fixture}, {fixture, fixture}};
    } else {
        m_device->fixtureCounts = {{2, QVector<quint32>(520, 1)}};
        if (summary.isEmpty())
            m_device->lights = {Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 1}})};
        else
            m_device->fixtureCounts.insert(1, {3});
    }
    DataSupply *ds = lobby(2);
    open(ds);
    QStringList counting; // what the discover page says at each round
    connect(m_wizard->engine(), &DiscoveryEngine::lightCountRound, this,
            [&] { counting << text(m_wizard, "m_countStatusLabel"); });
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 10000));
    QVERIFY(!counting.isEmpty());
    for (const QString &line : std::as_const(counting))
        QVERIFY2(line.startsWith("Counting the lights of Lobby..."), qPrintable(line));
    QCOMPARE(text(m_wizard, "m_countStatusLabel"), notice);
    QVERIFY(widgetNamed<QLabel>(m_wizard, "m_countStatusLabel")->isVisible());
    m_wizard->next();
    ModalDriver driver;
    if (summary.isEmpty()) {
        QCOMPARE(m_wizard->currentPage()->objectName(), QString("DiscoverLightsReadPage"));
        QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isReading(); }, 5000));
        QCOMPARE(text(m_wizard, "m_countNoticeLabel"), notice);
        QVERIFY(widgetNamed<QLabel>(m_wizard, "m_countNoticeLabel")->isVisible());
    } else {
        QCOMPARE(m_wizard->currentPage()->objectName(), QString("DiscoverLightsLightPage"));
        QCOMPARE(text(m_wizard, "m_foundTintoraLightsLabel"), summary);
        QCOMPARE(text(m_wizard, "m_unsettledLabel"), notice);
        QVERIFY(widgetNamed<QLabel>(m_wizard, "m_unsettledLabel")->isVisible());
        if (device != "disagreeing") {
            driver.then([&](QWidget *d) {
                QCOMPARE(d->windowTitle(), QString("Found 3 lights on port 1"));
                widgetNamed<QAbstractButton>(d, "buttonAddRight")->click();
            });
        }
    }
    m_wizard->button(QWizard::FinishButton)->click();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(m_map->lights().size(), device == "disagreeing" ? 0 : summary.isEmpty() ? 1 : 3);
    for (const Light *light : m_map->lights())
        QCOMPARE(light->port(), 0);
}

void TestLightsDiscoveryWizard::countingIsShownUntilTheCountsAreIn_data()
{
    QTest::addColumn<QList<int>>("unchecked");
    QTest::addColumn<QString>("notice");
    QTest::newRow("every port checked") << QList<int>() << QString();
    QTest::newRow("two ports from the only answer")
        << QList<int>{0, 2}
        << "The lights on ports 1 and 3 of Lobby were taken from the interface's only answer, "
           "which nothing could check. Discover again to have them checked.";
}

// While the counts are asked for the discover page says so, round by round; once they are in,
// it says what came of them, and so does the light page.
void TestLightsDiscoveryWizard::countingIsShownUntilTheCountsAreIn()
{
    QFETCH(QList<int>, unchecked);
    QFETCH(QString, notice);
    NetworkSettings &settings = NetworkSettings::instance();
    settings.lightScanQuietMs = settings.lightScanQuietType3Ms = 60000;
    m_device->answering = false;
    DataSupply *ds = lobby(2);
    open(ds);
    auto *status = widgetNamed<QLabel>(m_wizard, "m_countStatusLabel");
    QVERIFY(status && !status->isVisible());
    DiscoveryEngine *engine = m_wizard->engine();
    emit engine->lightCountRound(ds->uid(), 0);
    QCOMPARE(status->text(), QString("Counting the lights of Lobby..."));
    QVERIFY(status->isVisible());
    emit engine->lightCountRound(ds->uid(), 2);
    QCOMPARE(status->text(), QString("Counting the lights of Lobby... (asked again 2 times)"));
    if (!unchecked.isEmpty())
        emit engine->lightCountsUnchecked(ds->uid(), unchecked);
    QVERIFY(m_wizard->isDiscovering());
    emit engine->lightCountsComplete(ds->uid());
    QVERIFY(waitForTheRun());
    QCOMPARE(status->text(), notice);
    QCOMPARE(status->isVisible(), !notice.isEmpty());
    m_wizard->next();
    QCOMPARE(text(m_wizard, "m_unsettledLabel"), notice);
    QCOMPARE(widgetNamed<QLabel>(m_wizard, "m_unsettledLabel")->isVisible(), !notice.isEmpty());
}

// Lists of every port do not end the scan: a port's fixtures may come in several, and only the
// engine knows when the interface's answer is whole. Its word ends the scan at once.
void TestLightsDiscoveryWizard::scanEndsOnceTheCountsAreComplete()
{
    m_device->answering = false;
    DataSupply *ds = lobby(2);
    ds->setPortCount(2);
    open(ds);
    std::vector<std::unique_ptr<Light>> lights;
    auto report = [&](int port) {
        lights.push_back(std::make_unique<Light>());
        lights.back()->setPort(port);
        QList<Light *> list{lights.back().get()};
        m_wizard->handleDiscoveredLights(list);
        QTest::qWait(20);
    };
    report(0);
    report(0);
    report(1);
    QVERIFY(m_wizard->isDiscovering());
    m_wizard->handleLightCountsComplete(ds->uid() + 1);
    QTest::qWait(20);
    QVERIFY(m_wizard->isDiscovering());
    m_wizard->handleLightCountsComplete(ds->uid());
    QTRY_VERIFY_WITH_TIMEOUT(!m_wizard->isDiscovering(), 100);
}

void TestLightsDiscoveryWizard::latestRoutingLeadsOn_data()
{
    QTest::addColumn<QList<int>>("times"); // each request answered so often, the last for all
    QTest::addColumn<QString>("notice");
    QTest::newRow("every request answered once") << QList<int>{1} << QString();
    // Longer than the run's quiet: the run waits for the counts all the same.
    QTest::newRow("two requests in a row unanswered") << QList<int>{1, 0, 0, 1} << QString();
    QTest::newRow("one answer copied whole") << QList<int>{1, 1, 2, 1} << QString();
    QTest::newRow("silent after the scan's answer")
        << QList<int>{1, 0}
        << "The lights on port 3 of Lobby were taken from the interface's only answer, which "
           "nothing could check. Discover again to have them checked.";
}

// Serial numbers and fixture counts in one answer: the scan takes both, whichever requests the
// link loses; the counted port's lights come once, or are said to be unchecked.
void TestLightsDiscoveryWizard::latestRoutingLeadsOn()
{
    QFETCH(QList<int>, times);
    QFETCH(QString, notice);
    // One blink scan reply: serial numbers on ports 1 and 2, then fixture counts on port 3,
    // whose list waits for a read of the interface's "Maximum Number of Serial Numbers".
    m_device->blinkScan2Times = times;
    m_device->lights = {Iface::catalogueLight(0x140001, 1), Iface::catalogueLight(0x140002, 1),
                        Iface::catalogueLight(0x140003, 2), Iface::catalogueLight(0x140004, 2)};
    m_device->fixtureCounts = {{3, {2, 3}}};
    m_device->deviceVariables = {{9, 255}};
    DataSupply *ds = lobby(2, 0xA30001); // an "LV-220 Low Voltage Supply"
    ds->setPortType(2, 3);
    open(ds);
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    QCOMPARE(m_device->receivedWithCode(0x0105).size(), 1);
    QCOMPARE(text(m_wizard, "m_lightCountLabel"), QString("9"));
    QCOMPARE(m_wizard->page(DiscoverLightsWizard::EndingPageId)->objectName(),
             QString("DiscoverLightsLightPage"));
    QAbstractButton *next = m_wizard->button(QWizard::NextButton);
    QVERIFY(next->isVisibleTo(m_wizard) && next->isEnabled());
    QVERIFY(!m_wizard->button(QWizard::FinishButton)->isVisibleTo(m_wizard));
    next->click();
    QCOMPARE(m_wizard->currentPage()->objectName(), QString("DiscoverLightsLightPage"));
    QCOMPARE(text(m_wizard, "m_foundTintoraLightsLabel"), QString("Found 5 Lights on 1 Port."));
    QCOMPARE(text(m_wizard, "m_unsettledLabel"), notice);
    QStringList titles;
    ModalDriver driver;
    driver.then([&](QWidget *d) {
        titles << d->windowTitle();
        widgetNamed<QAbstractButton>(d, "buttonAddRight")->click();
    });
    m_wizard->button(QWizard::FinishButton)->click();
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(titles, QStringList("Found 5 lights on port 3"));
    QCOMPARE(m_map->lights().size(), 9);
    int onPort3 = 0;
    for (const Light *light : m_map->lights())
        onPort3 += light->port() == 2;
    QCOMPARE(onPort3, 5);

    // A single light after a list routes back to the read page, and the buttons follow.
    m_wizard->back();
    QCOMPARE(m_wizard->currentId(), int(DiscoverLightsWizard::DiscoverPageId));
    m_wizard->handleDiscoveredLight(nullptr);
    QCOMPARE(m_wizard->page(DiscoverLightsWizard::EndingPageId)->objectName(),
             QString("DiscoverLightsReadPage"));
    QVERIFY(next->isVisibleTo(m_wizard) && next->isEnabled());
    QList<Light *> list;
    m_wizard->handleDiscoveredLights(list); // an empty list routes nowhere
    QCOMPARE(m_wizard->page(DiscoverLightsWizard::EndingPageId)->objectName(),
             QString("DiscoverLightsReadPage"));
    QVERIFY(next->isVisibleTo(m_wizard) && next->isEnabled());
}

void TestLightsDiscoveryWizard::repeatedAnswersAndUnownedLights()
{
    // The first serial is also reported on a second port: a map light per serial.
    m_device->lights = {Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 100}}),
                        Iface::catalogueLight(
                            0x701C0001, 1, {{"PIXEL_CELL_COUNT", 2}, {"PHYSICAL_PIXEL_COUNT", 4}}),
                        Iface::catalogueLight(0x140001, 2)};
    m_device->faults[BlinkScan2] = {0, 0, 2, {}};
    m_device->faults[EERead] = {3, 0, 2, {}};
    DataSupply *ds = lobby(3);
    open(ds);
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    QCOMPARE(m_map->lights().size(), 2); // every light reported twice, taken once
    QVERIFY(readAll());
    QCOMPARE(text(m_wizard, "m_uniqueLabel"), Unique);
    QCOMPARE(m_map->lights().size(), 3);
    // A completion that comes again, with no read of it running, adds nothing.
    emit m_wizard->engine()->lightDataReadComplete(0x701C0001);
    QCOMPARE(m_map->lights().size(), 3);
    m_wizard->back(); // reading anew does not expand the pixel device a second time
    QVERIFY(readAll());
    QCOMPARE(text(m_wizard, "m_uniqueLabel"), Unique);
    QCOMPARE(m_map->lights().size(), 3);

    // A light with no owning interface cannot be read: reading stops as if refused.
    auto *unowned = new Light;
    unowned->setUid(0xABC123);
    unowned->setSerialNumber(0x140099);
    m_wizard->back();
    m_wizard->handleDiscoveredLight(unowned);
    ScriptedPrompt prompt;
    QVERIFY(readAll());
    QCOMPARE(prompt.texts, QStringList("Failed to read light data for abc123"));
    QCOMPARE(text(m_wizard, "m_uniqueLabel"), NotUnique);
    QCOMPARE(m_map->lights().size(), 4);
    m_wizard->reject();
    QVERIFY(m_map->lights().isEmpty() && ds->lights().isEmpty());
}

void TestLightsDiscoveryWizard::rerunAndCancelMidReadLeaveNothing()
{
    m_device->lights = {Iface::catalogueLight(0x140001, 1), Iface::catalogueLight(0x140002, 2)};
    DataSupply *ds = lobby(2);
    open(ds);
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    const QPointer<Light> first = m_map->lights().values().first();
    m_device->lights.removeFirst(); // taken off site: the second run must not bring it back
    widgetNamed<QAbstractButton>(m_wizard, "m_discoverButton")->click(); // a second run
    QVERIFY(!first);
    QCOMPARE(text(m_wizard, "m_lightCountLabel"), QString("0"));
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    QCOMPARE(text(m_wizard, "m_lightCountLabel"), QString("1"));
    QCOMPARE(m_map->lights().size(), 1);
    QCOMPARE(m_map->lights().values().first()->serialNumber(), quint64(0x140002));

    m_device->faults[EERead].drop = 1000; // the read hangs, retrying
    m_wizard->next();
    QVERIFY(m_wizard->isReading() && m_map->isLivePlayDisabled());
    QTest::qWait(200);
    m_wizard->reject();
    QVERIFY(m_map->lights().isEmpty() && ds->lights().isEmpty());
    QVERIFY(!m_map->isLivePlayDisabled());
    for (const quint64 serial : {0x140001, 0x140002})
        QVERIFY(!m_wizard->engine()->isReadingLight(serial));
    const qsizetype sent = m_device->receivedWithCode(EERead).size();
    QTest::qWait(400); // no retries after the end
    QCOMPARE(m_device->receivedWithCode(EERead).size(), sent);
}

void TestLightsDiscoveryWizard::silentLightAndCancelLeaveTheInterfaceAsItWas_data()
{
    QTest::addColumn<bool>("silent");
    QTest::newRow("answers") << false;
    QTest::newRow("never answers") << true;
}

// A read that never gets an answer ends as failed, like one refused; Cancel puts the
// interface's DMX buffer size back where it was before the lights' addresses were read.
void TestLightsDiscoveryWizard::silentLightAndCancelLeaveTheInterfaceAsItWas()
{
    QFETCH(bool, silent);
    int &retries = NetworkSettings::instance().lightReadMaxRetries;
    const auto restore = qScopeGuard([&retries, was = retries] { retries = was; });
    retries = 2;
    m_device->lights = {Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 288}})};
    if (silent)
        m_device->faults[EERead].drop = 1000;
    DataSupply *ds = lobby(2);
    const int bufferSize = ds->dmxBufSize();
    open(ds);
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    ScriptedPrompt prompt;
    QVERIFY(readAll());
    QCOMPARE(text(m_wizard, "m_uniqueLabel"),
             silent ? QString("Could not read the DMX address of 1 of 1 lights.") : Unique);
    QCOMPARE(prompt.texts, silent ? QStringList("Failed to read light data for 1 light of Lobby:")
                                  : QStringList());
    QCOMPARE(prompt.lists.value(0),
             silent ? QStringList("port 01, serial 00140001") : QStringList());
    if (silent) // the first try and two retries
        QCOMPARE(m_device->receivedWithCode(EERead).size(), 1 + 2);
    QCOMPARE(ds->dmxBufSize() > bufferSize, !silent);
    m_wizard->reject();
    QCOMPARE(ds->dmxBufSize(), bufferSize);
    QVERIFY(m_map->lights().isEmpty());
}

void TestLightsDiscoveryWizard::deafLightsDoNotStopTheOthersBeingRead_data()
{
    QTest::addColumn<QList<quint64>>("deaf");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("none") << QList<quint64>() << QString() << QStringList() << Unique;
    QTest::newRow("one") << QList<quint64>{0x140002}
                         << "Failed to read light data for 1 light of Lobby:"
                         << QStringList("port 02, serial 00140002")
                         << "Could not read the DMX address of 1 of 3 lights.";
    QTest::newRow("two, one of them by RDM")
        << QList<quint64>{0x5651A0000007, 0x140001}
        << "Failed to read light data for 2 lights of Lobby:"
        << QStringList{"port 01, serial 00140001", "port 02, serial 5651:A0000007"}
        << "Could not read the DMX address of 2 of 3 lights.";
    // No address was read: none is judged.
    QTest::newRow("all") << QList<quint64>{0x140001, 0x140002, 0x5651A0000007}
                         << "Failed to read light data for 3 lights of Lobby:"
                         << QStringList{"port 01, serial 00140001", "port 02, serial 00140002",
                                        "port 02, serial 5651:A0000007"}
                         << "Could not read the DMX address of 3 of 3 lights.";
}

// A light that never answers does not keep the others from being read: they all are, and one
// box names the deaf ones as the user can find them, by port and serial number, one a line.
void TestLightsDiscoveryWizard::deafLightsDoNotStopTheOthersBeingRead()
{
    QFETCH(QList<quint64>, deaf);
    QFETCH(QString, box);
    QFETCH(QStringList, listed);
    QFETCH(QString, verdict);
    int &retries = NetworkSettings::instance().lightReadMaxRetries;
    const auto restore = qScopeGuard([&retries, was = retries] { retries = was; });
    retries = 1;
    const QHash<quint64, int> channels = {{0x140001, 10}, {0x140002, 20}, {0x5651A0000007, 30}};
    m_device->lights = {Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 10}}),
                        Iface::catalogueLight(0x140002, 2, {{"DMX_OFFSET", 20}}),
                        Iface::catalogueLight(0x5651A0000007, 2, {{"RDM_DMX_ADDRESS", 31}},
                                              "D.0039-P.0509-F.0004")};
    m_device->deafLights = QSet<quint64>(deaf.cbegin(), deaf.cend());
    open(lobby(2));
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    ScriptedPrompt prompt;
    // While reading, the progress says how many lights have not answered so far.
    QStringList progress;
    connect(
        m_wizard->engine(), &DiscoveryEngine::lightDataReadFailed, this,
        [&] {
            if (auto *dialog = m_wizard->findChild<QProgressDialog *>())
                progress << dialog->labelText();
        },
        Qt::QueuedConnection);
    QVERIFY(readAll());
    // The last failure ends the reading, and its progress with it.
    QTRY_VERIFY(progress.size() >= deaf.size() - 1);
    for (int i = 0; i < progress.size(); ++i)
        QCOMPARE(progress.at(i), LightDiscoveryRules::readingText(i + 1));
    QCOMPARE(text(m_wizard, "m_uniqueLabel"), verdict);
    QCOMPARE(prompt.texts, box.isEmpty() ? QStringList() : QStringList(box));
    QCOMPARE(prompt.lists.value(0), listed);
    QCOMPARE(m_map->lights().size(), 3);
    for (const Light *light : m_map->lights()) {
        if (!deaf.contains(light->serialNumber()))
            QCOMPARE(light->dmxChannel(), channels.value(light->serialNumber()));
    }

    // Back and Next read every light anew: those answering now are judged, none named again.
    m_device->deafLights.clear();
    m_wizard->back();
    QVERIFY(readAll());
    QCOMPARE(text(m_wizard, "m_uniqueLabel"), Unique);
    QCOMPARE(prompt.texts.size(), box.isEmpty() ? 0 : 1);
}

void TestLightsDiscoveryWizard::cancelJudgesOnlyTheAddressesRead_data()
{
    QTest::addColumn<QList<quint64>>("deaf");
    // Whichever lights were read before Cancel are judged: the two alike ones only if both were.
    QTest::newRow("two alike answer, two silent") << QList<quint64>{0x140003, 0x140004};
    QTest::newRow("none answers") << QList<quint64>{0x140001, 0x140002, 0x140003, 0x140004};
}

// Cancel while reads are failing: the page says that reading was cut short and for how many
// lights no address is known, and judges the addresses read until then.
void TestLightsDiscoveryWizard::cancelJudgesOnlyTheAddressesRead()
{
    QFETCH(QList<quint64>, deaf);
    int &retries = NetworkSettings::instance().lightReadMaxRetries;
    const auto restore = qScopeGuard([&retries, was = retries] { retries = was; });
    retries = 1;
    m_device->lights = {Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 10}}),
                        Iface::catalogueLight(0x140002, 1, {{"DMX_OFFSET", 10}}),
                        Iface::catalogueLight(0x140003, 1, {{"DMX_OFFSET", 20}}),
                        Iface::catalogueLight(0x140004, 2, {{"DMX_OFFSET", 30}})};
    m_device->deafLights = QSet<quint64>(deaf.cbegin(), deaf.cend());
    open(lobby(2));
    QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
    ScriptedPrompt prompt;
    QSignalSpy answered(m_wizard->engine(), &DiscoveryEngine::lightDataReadComplete);
    QSignalSpy failed(m_wizard->engine(), &DiscoveryEngine::lightDataReadFailed);
    m_wizard->next();
    // A second silent light is still to fail: reading goes on until Cancel.
    QVERIFY(failed.wait(5000));
    QVERIFY(m_wizard->isReading());
    m_wizard->findChild<QProgressDialog *>()->findChild<QAbstractButton *>()->click();
    QVERIFY(!m_wizard->isReading());
    QSet<quint64> read;
    for (const QList<QVariant> &signal : std::as_const(answered))
        read << signal.at(0).toULongLong();
    const bool alikeRead = read.contains(0x140001) && read.contains(0x140002);
    QCOMPARE(text(m_wizard, "m_uniqueLabel"),
             (alikeRead ? NotUnique + "\n" : QString()) +
                 QString("Reading was cancelled.\nCould not read the DMX address of %1 of 4 "
                         "lights.")
                     .arg(4 - read.size()));
    QVERIFY(m_wizard->button(QWizard::FinishButton)->isEnabled());
    QVERIFY(prompt.texts.isEmpty());
    QCOMPARE(m_map->lights().size(), 4);
}

void TestLightsDiscoveryWizard::cancelLeavesTheInterfaceAndItsLightsAsTheyWere_data()
{
    // The interface's own values (device variable id -> value; every other id answers 0), read
    // before its counted lights are handed on: its resolution and its Corlend mode both move
    // the lights it holds.
    QTest::addColumn<quint64>("serial");
    QTest::addColumn<DeviceVariables>("values");
    QTest::addColumn<bool>("twoRuns");
    QTest::newRow("resolution") << quint64(0x600001) << DeviceVariables{{67, 0}} << false;
    QTest::newRow("corlend mode") << quint64(0x150001) << DeviceVariables{{67, 1}, {69, 0}}
                                  << false;
    QTest::newRow("both, two runs")
        << quint64(0x150001) << DeviceVariables{{67, 0}, {69, 0}} << true;
}

void TestLightsDiscoveryWizard::cancelLeavesTheInterfaceAndItsLightsAsTheyWere()
{
    QFETCH(quint64, serial);
    QFETCH(DeviceVariables, values);
    QFETCH(bool, twoRuns);
    m_device->fixtureCounts = {{1, {2}}};
    for (quint16 id = 0; id < 256; ++id)
        m_device->deviceVariables.insert(id, values.value(id));
    DataSupply *ds = lobby(2, serial); // a fixture with an interface of its own
    ds->setProperty("DMX Address", "5");
    ds->setProperty("Corlend Mode", "3-Ch In/4-Ch Out");
    QList<Light *> held;
    for (int i = 0; i < 3; ++i)
        held << addLight(m_map, ds, QString("Held %1").arg(i), i % 2, 4 + 3 * i, QPointF(i, 0));
    held[1]->setProperty("Resolution", "8 bit");
    const auto state = [&] {
        QStringList lines;
        for (const Light *light : std::as_const(held))
            lines << QString("%1 %2 %3 %4")
                         .arg(light->dmxChannel())
                         .arg(light->footprint())
                         .arg(light->property("Resolution"), light->property("Corlend Mode"));
        return lines;
    };
    const QHash<QString, QString> properties = ds->properties();
    const QStringList before = state();
    open(ds);
    for (int run = 0; run < (twoRuns ? 2 : 1); ++run) {
        if (run > 0)
            widgetNamed<QAbstractButton>(m_wizard, "m_discoverButton")->click();
        QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isDiscovering(); }, 5000));
        QTRY_VERIFY(state() != before && ds->properties() != properties);
        // A protocol version read from the interface arrives as its property, as these did.
        ds->setProperty("Protocol Version", "Version 3");
        QCOMPARE(ds->protocolVersion(), quint16(3));
    }
    m_wizard->reject();
    QCOMPARE(state(), before);
    QCOMPARE(ds->properties(), properties);
    QCOMPARE(ds->protocolVersion(), quint16(2));
    QCOMPARE(m_map->lights().size(), 3);
}

void TestLightsDiscoveryWizard::entriesOpenTheWizard()
{
    MetaTool w;
    DataSupply *ds = addInterface(w.mapModel(), "Lobby", m_device->address(), 2);
    addLight(w.mapModel(), ds, "A", 1, 0, QPointF());
    addLight(w.mapModel(), ds, "B", 0, 3, QPointF());
    ModalDriver driver;
    driver.then([](QWidget *d) {
        QCOMPARE(static_cast<QWizard *>(d)->currentId(),
                 int(DiscoverLightsWizard::ControllerPageId));
        static_cast<QDialog *>(d)->reject();
    });
    driver.then([](QWidget *d) {
        QCOMPARE(static_cast<QWizard *>(d)->currentId(), int(DiscoverLightsWizard::DiscoverPageId));
        QCOMPARE(text(d, "m_controllerNameLabel"), QString("Lobby"));
        static_cast<QDialog *>(d)->reject();
    });
    w.findChild<QAction *>("discoverLightsAction")->trigger();
    QVERIFY(w.getDirty());
    w.lightView()->prepareMenu(w.lightView()->interfaceItem(ds->uid()));
    QVERIFY(w.lightView()->isSortingEnabled());
    w.lightView()->sortByColumn(0, Qt::DescendingOrder);
    w.lightView()->handleDiscoverLights();
    QCOMPARE(driver.pending(), 0);
    // The wizard ran unsorted; the tree ends sorted by "Port #", ascending, and sorted still.
    QVERIFY(w.lightView()->isSortingEnabled());
    QCOMPARE(w.lightView()->sortColumn(), 1);
    QCOMPARE(w.lightView()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(w.lightView()->interfaceItem(ds->uid())->child(0)->text(0), QString("B"));
}

// Measured from before the wizard opens to the end of a scan that nothing answers, so lateness
// counts in its favour and an early end shows; a coarse timer ends early about every second
// time.
void TestLightsDiscoveryWizard::scanNeverEndsEarly()
{
    NetworkSettings::instance().lightScanQuietMs = 131;
    m_device->answering = false;
    DataSupply *ds = lobby(2);
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        qint64 endedNs = -1;
        clock.start();
        open(ds);
        QVERIFY(m_wizard->isDiscovering());
        connect(m_wizard->page(DiscoverLightsWizard::DiscoverPageId), &QWizardPage::completeChanged,
                this, [&] {
                    if (!m_wizard->isDiscovering() && endedNs < 0)
                        endedNs = clock.nsecsElapsed();
                });
        QTRY_VERIFY_WITH_TIMEOUT(endedNs >= 0, 5000);
        delete m_wizard;
        m_wizard = nullptr;
        QVERIFY2(endedNs >= 131 * 1000000LL,
                 qPrintable(QStringLiteral("ended after %1 us").arg(endedNs / 1000)));
    }
}

void TestLightsDiscoveryWizard::anotherInterfaceMidRunBringsOnlyItsOwnLights_data()
{
    QTest::addColumn<bool>("counted");
    QTest::addColumn<bool>("atOnce"); // Back before Lobby answered, else once its answer came
    QTest::addColumn<bool>("catAnswers");
    QTest::newRow("serial numbers, a light came, Cat answers") << false << false << true;
    QTest::newRow("serial numbers, at once, Cat silent") << false << true << false;
    QTest::newRow("counted, counting began, Cat answers") << true << false << true;
    QTest::newRow("counted, at once, Cat silent") << true << true << false;
}

// Back while Lobby is being scanned and Cat Supply One picked: the page, the ending page and
// the map hold Cat Supply One's own lights only, named after it, owned by it and listed under
// it; a run that finds nothing ends on a page whose Finish closes the wizard.
void TestLightsDiscoveryWizard::anotherInterfaceMidRunBringsOnlyItsOwnLights()
{
    QFETCH(bool, counted);
    QFETCH(bool, atOnce);
    QFETCH(bool, catAnswers);
    NetworkSettings &settings = NetworkSettings::instance();
    // Lobby's run goes on until it is left: no quiet ends it, nor does its first count round.
    settings.lightScanQuietMs = settings.lightScanQuietType3Ms = 60000;
    settings.countQuietMs = settings.countRoundMs = 60000;
    Iface *catDevice = nullptr;
    DataSupply *cat = catSupply(&catDevice);
    DataSupply *ds = lobby(2);
    if (counted) {
        m_device->fixtureCounts = {{3, QVector<quint32>(126, 1)}};
        catDevice->fixtureCounts = {{1, {4}}};
    } else {
        m_device->lights = {Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 1}}),
                            Iface::catalogueLight(0x140002, 2, {{"DMX_OFFSET", 1}})};
        catDevice->lights = {Iface::catalogueLight(0x140011, 1, {{"DMX_OFFSET", 20}})};
    }
    catDevice->answering = catAnswers;
    openOnTheList();
    pick("Lobby");
    m_wizard->next();
    QVERIFY(m_wizard->isDiscovering());
    if (!atOnce && counted)
        QTRY_VERIFY(m_wizard->engine()->isGatheringCounts(ds));
    else if (!atOnce)
        QTRY_VERIFY(text(m_wizard, "m_lightCountLabel").toInt() > 0);
    m_wizard->back();
    pick("Cat Supply One");
    LightDiscoveryRig::useShortCountRounds();
    settings.lightScanQuietMs = settings.lightScanQuietType3Ms = 300;
    m_wizard->next();
    QCOMPARE(text(m_wizard, "m_controllerNameLabel"), QString("Cat Supply One"));
    QVERIFY(waitForTheRun());
    const int catLights = catAnswers ? (counted ? 4 : 1) : 0;
    QCOMPARE(text(m_wizard, "m_lightCountLabel"), QString::number(catLights));
    m_wizard->next();
    if (counted || !catAnswers) {
        QCOMPARE(m_wizard->currentPage()->objectName(), QString("DiscoverLightsLightPage"));
        QCOMPARE(text(m_wizard, "m_foundTintoraLightsLabel"),
                 foundSummary(catLights, catLights ? 1 : 0));
        QVERIFY(!m_wizard->button(QWizard::NextButton)->isVisibleTo(m_wizard));
    } else {
        QVERIFY(QTest::qWaitFor([&] { return !m_wizard->isReading(); }, 5000));
        QCOMPARE(text(m_wizard, "m_uniqueLabel"), Unique);
    }
    QAbstractButton *finish = m_wizard->button(QWizard::FinishButton);
    QVERIFY(finish->isVisibleTo(m_wizard) && finish->isEnabled());
    QStringList titles;
    ModalDriver driver;
    if (counted && catAnswers) {
        driver.then([&](QWidget *d) {
            titles << d->windowTitle();
            widgetNamed<QAbstractButton>(d, "buttonAddRight")->click();
        });
    }
    finish->click();
    QVERIFY(!m_wizard->isVisible());
    QCOMPARE(driver.pending(), 0);
    QCOMPARE(titles,
             counted && catAnswers ? QStringList("Found 4 lights on port 1") : QStringList());
    QCOMPARE(m_map->lights().size(), catLights);
    QCOMPARE(cat->lights().size(), catLights);
    QVERIFY(ds->lights().isEmpty());
    for (const Light *light : m_map->lights()) {
        QCOMPARE(light->dataSupplyUid(), cat->uid());
        QVERIFY2(light->name().startsWith("Cat Supply One "), qPrintable(light->name()));
        QVERIFY(cat->lights().contains(light->uid()));
    }
}

// The counter-cases: a run that ended before Back keeps its lights until the next run; Back to
// the first interface shows its own run, and Back with the same one picked again starts anew.
void TestLightsDiscoveryWizard::backAndAnInterfaceAgainShowsItsOwnRun()
{
    Iface *catDevice = nullptr;
    DataSupply *cat = catSupply(&catDevice);
    DataSupply *ds = lobby(2);
    m_device->lights = {Iface::catalogueLight(0x140001, 1, {{"DMX_OFFSET", 1}}),
                        Iface::catalogueLight(0x140002, 2, {{"DMX_OFFSET", 1}})};
    catDevice->lights = {Iface::catalogueLight(0x140011, 1, {{"DMX_OFFSET", 20}})};
    const auto owners = [&] {
        QList<quint64> uids;
        for (const Light *light : m_map->lights())
            uids << light->dataSupplyUid();
        return uids;
    };
    openOnTheList();
    const QList<std::pair<QString, DataSupply *>> picks = {
        {"Lobby", ds}, {"Cat Supply One", cat}, {"Lobby", ds}, {"Lobby", ds}};
    DataSupply *previous = nullptr;
    for (const auto &[name, supply] : picks) {
        if (previous) {
            m_wizard->back();
            pick(name);
            // What the last run found stays, as its own interface's, until the next run.
            QCOMPARE(owners(), QList<quint64>(previous->lights().size(), previous->uid()));
        } else {
            pick(name);
        }
        m_wizard->next();
        QVERIFY(m_wizard->isDiscovering());
        QCOMPARE(text(m_wizard, "m_controllerNameLabel"), name);
        QVERIFY(waitForTheRun());
        const int expected = supply == ds ? 2 : 1;
        QCOMPARE(text(m_wizard, "m_lightCountLabel"), QString::number(expected));
        QCOMPARE(owners(), QList<quint64>(expected, supply->uid()));
        QCOMPARE(supply->lights().size(), expected);
        QCOMPARE((supply == ds ? cat : ds)->lights().size(), 0);
        previous = supply;
    }
    QVERIFY(readAll());
    m_wizard->button(QWizard::FinishButton)->click();
    for (const Light *light : m_map->lights())
        QVERIFY2(light->name().startsWith("Lobby "), qPrintable(light->name()));
}

void TestLightsDiscoveryWizard::leavingARunStopsItsRequests_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("another interface") << "another";
    QTest::newRow("another interface, then Cancel") << "another, cancel";
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("closing the window") << "close";
}

// While a port's counts are still being compared the interface is asked again and again: the
// run left stops asking within one repeat interval.
void TestLightsDiscoveryWizard::leavingARunStopsItsRequests()
{
    QFETCH(QString, how);
    NetworkSettings &settings = NetworkSettings::instance();
    settings.lightScanQuietMs = settings.lightScanQuietType3Ms = 60000;
    settings.requestRepeatMs = 100;
    const QByteArray fixture = OrvexReplies::blinkScan2Reply(
        m_device->address().toIPv4Address(), 1,
        OrvexReplies::blinkScan2Entry(1, 2, OrvexReplies::serialPayload({1})));
    m_device->blinkScan2Answers = {{fixture}, {fixture, fixture}}; // never agreeing
    Iface *catDevice = nullptr;
    catSupply(&catDevice);
    catDevice->answering = false;
    DataSupply *ds = lobby(2);
    openOnTheList();
    pick("Lobby");
    m_wizard->next();
    QTRY_VERIFY(m_wizard->engine()->isGatheringCounts(ds));
    // Asked again: the rounds are under way.
    const qsizetype first = m_device->receivedWithCode(BlinkScan2).size();
    QTRY_VERIFY(m_device->receivedWithCode(BlinkScan2).size() > first);
    if (how.startsWith("another")) {
        m_wizard->back();
        pick("Cat Supply One");
    }
    if (how.endsWith("cancel"))
        m_wizard->reject();
    else if (how == "close")
        m_wizard->close();
    QTest::qWait(settings.requestRepeatMs);
    const qsizetype asked = m_device->receivedWithCode(BlinkScan2).size();
    // Longer than a round takes to ask again when nothing answers.
    QTest::qWait(3 * settings.countAnswerWaitMs);
    QCOMPARE(m_device->receivedWithCode(BlinkScan2).size(), asked);
}

void TestLightsDiscoveryWizard::lateReportsOfALeftRunChangeNothing_data()
{
    QTest::addColumn<QString>("report");
    for (const char *report :
         {"light", "counted lights", "count round", "unsettled", "unchecked", "complete"})
        QTest::newRow(report) << QString(report);
}

// Whatever the engine still hands on about the interface left, while the next one's run goes
// on, reaches no page and not the map.
void TestLightsDiscoveryWizard::lateReportsOfALeftRunChangeNothing()
{
    QFETCH(QString, report);
    NetworkSettings &settings = NetworkSettings::instance();
    settings.lightScanQuietMs = settings.lightScanQuietType3Ms = 60000;
    m_device->answering = false;
    Iface *catDevice = nullptr;
    DataSupply *cat = catSupply(&catDevice);
    catDevice->answering = false;
    DataSupply *ds = lobby(2);
    openOnTheList();
    pick("Lobby");
    m_wizard->next();
    m_wizard->back();
    pick("Cat Supply One");
    m_wizard->next();
    const QStringList labels = {"m_controllerNameLabel", "m_lightCountLabel",
                                "m_foundTintoraLightsLabel", "m_uniqueLabel"};
    const auto shown = [&] {
        QStringList texts;
        for (const QString &label : labels)
            texts << text(m_wizard, qPrintable(label));
        for (QLabel *label : m_wizard->findChildren<QLabel *>())
            texts << (label->isVisibleTo(m_wizard) ? label->text() : QString());
        return texts;
    };
    const QStringList before = shown();
    const QString ending = m_wizard->page(m_wizard->nextId())->objectName();
    auto light = std::make_unique<Light>();
    light->setUid(m_map->nextUid());
    light->setSerialNumber(0x140001);
    light->setDataSupplyUid(ds->uid());
    light->setPort(2);
    DiscoveryEngine *engine = m_wizard->engine();
    if (report == "light") {
        emit engine->discoveredLight(light.get());
    } else if (report == "counted lights") {
        QList<Light *> list{light.get()};
        emit engine->discoveredLights(list);
    } else if (report == "count round") {
        emit engine->lightCountRound(ds->uid(), 2);
    } else if (report == "unsettled") {
        emit engine->lightCountsUnsettled(ds->uid(), {2});
    } else if (report == "unchecked") {
        emit engine->lightCountsUnchecked(ds->uid(), {2});
    } else {
        emit engine->lightCountsComplete(ds->uid());
    }
    QTest::qWait(20);
    if (m_map->light(light->uid()) == light.get())
        light.release(); // the map took it
    QVERIFY(m_wizard->isDiscovering());
    QCOMPARE(shown(), before);
    QCOMPARE(m_wizard->page(m_wizard->nextId())->objectName(), ending);
    QVERIFY(m_map->lights().isEmpty() && cat->lights().isEmpty() && ds->lights().isEmpty());
    emit engine->lightCountsComplete(cat->uid());
    QVERIFY(waitForTheRun());
    m_wizard->next();
    QCOMPARE(text(m_wizard, "m_foundTintoraLightsLabel"), foundSummary(0, 0));
    m_wizard->button(QWizard::FinishButton)->click();
    QVERIFY(m_map->lights().isEmpty());
}

QTEST_MAIN(TestLightsDiscoveryWizard)
#include "tst_lightsdiscoverywizard.moc"
