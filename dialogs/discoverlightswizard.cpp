#include "discoverlightswizard.h"

#include "discoverlightscontrollerpage.h"
#include "discoverlightsdiscoverpage.h"
#include "discoverlightslightpage.h"
#include "discoverlightsreadpage.h"
#include "lightdiscoveryrules.h"
#include "userprompt.h"

#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/windowtimer.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

namespace {
constexpr int NoPageId = -1; // no page ever has it
constexpr Qt::WindowFlags ProgressFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
} // namespace

DiscoverLightsWizard::DiscoverLightsWizard(MapModel *map, EffectEngine *effectEngine,
                                           SelectionEffect *selection, QWidget *parent)
    : QWizard(parent), m_map(map), m_selection(selection),
      m_engine(new DiscoveryEngine(map, effectEngine))
{
    setWindowTitle(tr("Discover Lights Wizard"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    placeCentred(parent);
    m_controllerPage = new DiscoverLightsControllerPage(map, this);
    m_discoverPage = new DiscoverLightsDiscoverPage(this);
    m_lightPage = new DiscoverLightsLightPage(map, this);
    m_readPage = new DiscoverLightsReadPage(map, this);
    setPage(ControllerPageId, m_controllerPage);
    setPage(DiscoverPageId, m_discoverPage);
    setPage(LightPageId, m_lightPage);
    setPage(ReadPageId, m_readPage);

    connect(m_controllerPage, &DiscoverLightsControllerPage::controllerSelectionChanged, this,
            &DiscoverLightsWizard::handleControllerSelectionChanged);
    connect(m_discoverPage, &DiscoverLightsDiscoverPage::startDiscovery, this,
            &DiscoverLightsWizard::handleDiscoveryStarting);
    connect(m_discoverPage, &DiscoverLightsDiscoverPage::startRead, this,
            &DiscoverLightsWizard::handleReadStarting);
    connect(this, &QWizard::finished, this, &DiscoverLightsWizard::finishButtonClicked);
    connect(this, &QWizard::rejected, this, &DiscoverLightsWizard::cancelButtonClicked);
    setWizardStyle(QWizard::ModernStyle);
}

DiscoverLightsWizard::~DiscoverLightsWizard()
{
    stopDiscovery();
    endReading(false);
    for (QWizardPage *page :
         {static_cast<QWizardPage *>(m_controllerPage), static_cast<QWizardPage *>(m_discoverPage),
          static_cast<QWizardPage *>(m_lightPage), static_cast<QWizardPage *>(m_readPage)})
        page->deleteLater();
    // Restores the effect engine, and deletes the counted lights no string dialog took.
    delete m_engine;
}

void DiscoverLightsWizard::placeCentred(QWidget *parent)
{
    if (!parent)
        return;
    const QPoint centre = parent->window()->geometry().center();
    setGeometry(centre.x() - 368, centre.y() - 235, 737, 471);
}

void DiscoverLightsWizard::setController(quint64 uid)
{
    DataSupply *ds = m_map->dataSupply(uid);
    if (!ds)
        return;
    handleControllerSelectionChanged(ds);
    removePage(ControllerPageId);
}

void DiscoverLightsWizard::handleControllerSelectionChanged(DataSupply *ds)
{
    if (!ds)
        return;
    // A run belongs to the interface it scans: whatever it would still bring must not land
    // under another's name, so picking another ends it, and entering the discover page starts
    // the new interface's own. Its lights stay until then, as after any run.
    if (ds != m_controller && (isDiscovering() || m_reading)) {
        stopDiscovery();
        endReading(false);
        m_discoverPage->handleDiscoveryComplete();
    }
    m_controller = ds;
    m_discoverPage->handleSelectedControllerChanged(ds);
}

// ---- discovery ------------------------------------------------------------------------------

void DiscoverLightsWizard::handleDiscoveryStarting()
{
    if (!m_controller)
        return;
    // The previous run goes first, with no report of it landing while its lights are deleted.
    stopDiscovery();
    endReading(false);
    cleanUp();
    m_scanned = m_controller;
    if (!m_savedSupplies.contains(m_scanned->uid()))
        m_savedSupplies.insert(m_scanned->uid(), SupplySnapshot(*m_scanned, *m_map));
    m_discoveredLights.clear();
    m_serials.clear();
    m_derived.clear();
    m_expanded.clear();
    m_unsettled.clear();
    m_unchecked.clear();
    connectScan(true);

    m_discoverPage->handleDiscoveryStarting();
    m_readPage->handleSelectedControllerChanged(m_scanned);
    m_readPage->handleDiscoveryStarting();
    m_lightPage->handleSelectedControllerChanged(m_scanned);
    m_lightPage->handleDiscoveryStarting();
    // Until the interface reports something, the discover page leads to the light page alone,
    // whose Finish closes the wizard: never on to a read page that has nothing to read.
    routeTo(m_lightPage);
    m_completionWaitMs = LightDiscoveryRules::completionWaitMs(m_scanned->allPortsType3());
    m_completionTimer = new WindowTimer(this);
    connect(m_completionTimer, &WindowTimer::timeout, this,
            &DiscoverLightsWizard::handleDiscoveryComplete);
    m_completionTimer->start(m_completionWaitMs);
    m_engine->discoverLights(m_scanned);
}

void DiscoverLightsWizard::connectScan(bool on)
{
    if (on) {
        connect(m_engine, &DiscoveryEngine::discoveredLight, this,
                &DiscoverLightsWizard::handleDiscoveredLight, Qt::UniqueConnection);
        connect(m_engine, &DiscoveryEngine::discoveredLights, this,
                &DiscoverLightsWizard::handleDiscoveredLights, Qt::UniqueConnection);
        connect(m_engine, &DiscoveryEngine::lightCountsComplete, this,
                &DiscoverLightsWizard::handleLightCountsComplete, Qt::UniqueConnection);
        connect(m_engine, &DiscoveryEngine::lightCountsUnsettled, this,
                &DiscoverLightsWizard::handleLightCountsUnsettled, Qt::UniqueConnection);
        connect(m_engine, &DiscoveryEngine::lightCountsUnchecked, this,
                &DiscoverLightsWizard::handleLightCountsUnchecked, Qt::UniqueConnection);
        connect(m_engine, &DiscoveryEngine::lightCountRound, this,
                &DiscoverLightsWizard::handleLightCountRound, Qt::UniqueConnection);
    } else {
        disconnect(m_engine, &DiscoveryEngine::discoveredLight, this,
                   &DiscoverLightsWizard::handleDiscoveredLight);
        disconnect(m_engine, &DiscoveryEngine::discoveredLights, this,
                   &DiscoverLightsWizard::handleDiscoveredLights);
        disconnect(m_engine, &DiscoveryEngine::lightCountsComplete, this,
                   &DiscoverLightsWizard::handleLightCountsComplete);
        disconnect(m_engine, &DiscoveryEngine::lightCountsUnsettled, this,
                   &DiscoverLightsWizard::handleLightCountsUnsettled);
        disconnect(m_engine, &DiscoveryEngine::lightCountsUnchecked, this,
                   &DiscoverLightsWizard::handleLightCountsUnchecked);
        disconnect(m_engine, &DiscoveryEngine::lightCountRound, this,
                   &DiscoverLightsWizard::handleLightCountRound);
    }
}

void DiscoverLightsWizard::restartCompletionTimer(int ms)
{
    if (m_completionTimer)
        m_completionTimer->start(ms);
}

void DiscoverLightsWizard::stopDiscovery()
{
    connectScan(false);
    // Whatever still answers the scan now is dropped by the engine, at no cost to us.
    m_engine->endLightScan(m_scanned);
    if (m_countRound >= 0) {
        m_countRound = -1;
        showCountNotices();
    }
    if (!m_completionTimer)
        return;
    // This may run inside the timer's own timeout.
    m_completionTimer->stop();
    m_completionTimer->disconnect(this);
    m_completionTimer->deleteLater();
    m_completionTimer = nullptr;
}

void DiscoverLightsWizard::handleDiscoveryComplete()
{
    if (!m_engine)
        return;
    // Counts the interface is still answering with are no quiet: they come as one answer.
    if (m_engine->isGatheringCounts(m_scanned)) {
        restartCompletionTimer(m_completionWaitMs);
        return;
    }
    stopDiscovery();
    m_discoverPage->handleDiscoveryComplete();
}

void DiscoverLightsWizard::routeTo(QWizardPage *ending)
{
    QWizardPage *other = ending == m_readPage ? static_cast<QWizardPage *>(m_lightPage)
                                              : static_cast<QWizardPage *>(m_readPage);
    const QList<int> ids = pageIds();
    for (const int id : ids) {
        if (page(id) == other)
            removePage(id);
    }
    bool present = false;
    for (const int id : pageIds())
        present = present || page(id) == ending;
    if (!present)
        setPage(EndingPageId, ending);
    // QWizard works out whether the current page leads anywhere when a page is entered or
    // removed, not when one is added: without this the discover page would keep the Finish
    // button of the moment between the removal and the addition. Removing no page makes it
    // look again.
    removePage(NoPageId);
}

bool DiscoverLightsWizard::isOfTheRun(quint64 interfaceUid) const
{
    return m_scanned && interfaceUid == m_scanned->uid();
}

bool DiscoverLightsWizard::isOfTheRun(const Light *light) const
{
    // A light that names no interface is taken as the scanned one's.
    return !light || light->dataSupplyUid() == 0 || isOfTheRun(light->dataSupplyUid());
}

void DiscoverLightsWizard::handleDiscoveredLight(Light *light)
{
    if (!isOfTheRun(light))
        return;
    if (m_completionTimer)
        m_completionTimer->stop();
    routeTo(m_readPage);
    if (light && !m_discoveredLights.contains(light->uid())) {
        const quint64 serial = light->serialNumber();
        if (!m_serials.contains(serial)) {
            m_serials.insert(serial);
            recordLight(light);
        } else if (m_engine->lightForSerial(serial) == light) {
            // A repeated answer made a second object for a device already taken.
            m_engine->removeLight(serial);
        }
    }
    restartCompletionTimer(m_completionWaitMs);
}

void DiscoverLightsWizard::recordLight(Light *light)
{
    const quint64 uid = light->uid();
    m_discoveredLights.insert(uid, light);
    if (m_map->light(uid))
        m_map->deleteLight(uid);
    m_map->addLight(light);
    if (m_scanned)
        m_scanned->addLight(uid);
    m_discoverPage->handleDiscoveredLight(light);
    m_readPage->handleDiscoveredLight(light);
}

void DiscoverLightsWizard::handleDiscoveredLights(QList<Light *> &lights)
{
    if (!std::all_of(lights.cbegin(), lights.cend(), [this](Light *l) { return isOfTheRun(l); }))
        return;
    if (m_completionTimer)
        m_completionTimer->stop();
    if (!lights.isEmpty()) {
        routeTo(m_lightPage);
        m_discoverPage->handleDiscoveredLights(lights);
        m_lightPage->handleDiscoveredLights(lights);
    }
    restartCompletionTimer(m_completionWaitMs);
}

void DiscoverLightsWizard::handleLightCountsUnsettled(quint64 interfaceUid, const QList<int> &ports)
{
    if (!isOfTheRun(interfaceUid))
        return;
    m_unsettled.clear();
    for (const int port : ports)
        m_unsettled.append({port, m_engine->countDoubt(interfaceUid, port)});
    showCountNotices();
}

void DiscoverLightsWizard::handleLightCountsUnchecked(quint64 interfaceUid, const QList<int> &ports)
{
    if (!isOfTheRun(interfaceUid))
        return;
    m_unchecked = ports;
    showCountNotices();
}

void DiscoverLightsWizard::handleLightCountRound(quint64 interfaceUid, int round)
{
    if (!isOfTheRun(interfaceUid))
        return;
    m_countRound = round;
    showCountNotices();
}

void DiscoverLightsWizard::showCountNotices()
{
    // Said on the discover page, where the user waits, and on whichever page comes next.
    const QString name = m_scanned ? m_scanned->name() : QString();
    const QString notice = LightDiscoveryRules::countNoticeText(name, m_unsettled, m_unchecked);
    m_discoverPage->showCountStatus(
        LightDiscoveryRules::countStatusText(name, m_countRound, notice));
    m_lightPage->showCountNotice(notice);
    m_readPage->showCountNotice(notice);
}

void DiscoverLightsWizard::handleLightCountsComplete(quint64 interfaceUid)
{
    // The interface's whole answer is in: end on the next pass of the loop.
    if (!isOfTheRun(interfaceUid))
        return;
    m_countRound = -1;
    showCountNotices();
    restartCompletionTimer(0);
}

void DiscoverLightsWizard::finishButtonClicked() {}

void DiscoverLightsWizard::cancelButtonClicked()
{
    stopDiscovery();
    endReading(false);
    cleanUp();
}

void DiscoverLightsWizard::cleanUp()
{
    const QList<QPointer<Light>> lights = m_discoveredLights.values();
    QProgressDialog progress(tr("Cleaning Up..."), tr("Cancel"), 0, int(lights.size()), this,
                             ProgressFlags);
    progress.show();
    int done = 0;
    for (const QPointer<Light> &light : lights) {
        if (light)
            deleteFoundLight(light);
        progress.setValue(++done);
        QCoreApplication::processEvents();
    }
    m_map->flushChangedGroups();
    restoreSupplies();
    progress.setValue(progress.maximum());
    progress.close();
}

void DiscoverLightsWizard::restoreSupplies()
{
    for (auto it = m_savedSupplies.cbegin(); it != m_savedSupplies.cend(); ++it) {
        if (DataSupply *ds = m_map->dataSupply(it.key()))
            it->restore(*ds, *m_map);
    }
}

void DiscoverLightsWizard::deleteFoundLight(Light *light)
{
    const quint64 uid = light->uid();
    const quint64 owner = light->dataSupplyUid();
    // The engine must neither read (nor retry) nor later delete a light that goes now.
    m_engine->forgetLight(light->serialNumber());
    if (m_map->light(uid) == light)
        m_map->deleteLight(uid);
    else
        delete light;
    // A light without an owning interface was still listed by the scanned one.
    if (m_scanned && owner != m_scanned->uid())
        m_scanned->removeLight(uid);
}

// ---- reading --------------------------------------------------------------------------------

void DiscoverLightsWizard::handleReadStarting()
{
    for (const int id : pageIds()) {
        if (page(id) == m_lightPage)
            return;
    }
    handleReadAddressesStarting();
}

void DiscoverLightsWizard::handleReadAddressesStarting()
{
    endReading(false); // a new pass replaces one still running
    m_readPage->handleReadAddressesStarting();
    const int count = int(m_discoveredLights.size());
    m_pendingReads.clear();
    m_failedReads.clear();
    m_failedUids.clear();
    for (auto it = m_discoveredLights.cbegin(); it != m_discoveredLights.cend(); ++it) {
        // Further cells carry their device's values; they are not read themselves.
        if (!m_derived.contains(it.key()))
            m_pendingReads.insert(it.key());
    }
    m_readsStarted = 0;
    m_savedLivePlayDisabled = m_map->isLivePlayDisabled();
    m_map->setLivePlayDisabled(true);
    m_reading = true;
    connect(m_engine, &DiscoveryEngine::lightDataReadComplete, this,
            &DiscoverLightsWizard::handleLightDataQueryComplete, Qt::UniqueConnection);
    connect(m_engine, &DiscoveryEngine::lightDataReadFailed, this,
            &DiscoverLightsWizard::handleLightDataQueryFailed, Qt::UniqueConnection);
    m_progress = new QProgressDialog(tr("Reading Existing Addresses..."), tr("Cancel"), 0, count,
                                     this, ProgressFlags);
    connect(m_progress, &QProgressDialog::canceled, this,
            &DiscoverLightsWizard::handleProgressDialogCanceled);
    m_progress->show();
    readNextLight();
}

void DiscoverLightsWizard::readNextLight()
{
    while (m_reading && !m_pendingReads.isEmpty()) {
        const quint64 uid = *m_pendingReads.cbegin();
        m_pendingReads.erase(m_pendingReads.cbegin());
        Light *light = m_discoveredLights.value(uid);
        if (!light || m_map->light(uid) != light)
            continue;
        if (!startReadingLight(uid))
            return;
        if (m_progress)
            m_progress->setValue(++m_readsStarted);
        QCoreApplication::processEvents();
        return;
    }
    if (!m_reading)
        return;
    judgeAddresses();
    reportFailedReads();
}

bool DiscoverLightsWizard::startReadingLight(quint64 uid)
{
    Light *light = m_discoveredLights.value(uid);
    // A light reported without an interface the map knows has no address to be read at.
    const DataSupply *ds = m_map->dataSupply(light->dataSupplyUid());
    m_readingUid = uid;
    if (ds && m_engine->readLightData(light, ds->ipAddress()))
        return true;
    m_readingUid = 0;
    failReading(uid);
    return false;
}

void DiscoverLightsWizard::failReading(quint64 uid)
{
    endReading(false);
    reportFailedReads(QString::number(uid, 16));
}

void DiscoverLightsWizard::reportFailedReads(const QString &refused)
{
    // A light the engine refused to read, alone, is named by its uid.
    if (m_failedReads.isEmpty() && !refused.isEmpty()) {
        UserPrompt::instance()->message(this, QMessageBox::Critical, tr("Error"),
                                        tr("Failed to read light data for %1").arg(refused));
        return;
    }
    QStringList lights;
    if (!refused.isEmpty())
        lights.append(refused);
    std::sort(m_failedReads.begin(), m_failedReads.end());
    for (const auto &[port, serial] : std::as_const(m_failedReads))
        lights.append(LightDiscoveryRules::unreadLightText(QString(), port, serial));
    m_failedReads.clear();
    if (lights.isEmpty())
        return;
    UserPrompt::instance()->listMessage(
        this, QMessageBox::Critical, tr("Error"),
        LightDiscoveryRules::failedReadsText(int(lights.size()),
                                             m_scanned ? m_scanned->name() : QString()),
        lights);
}

Light *DiscoverLightsWizard::lightBeingRead(quint64 serialNumber) const
{
    if (!m_reading || m_readingUid == 0)
        return nullptr;
    Light *light = m_discoveredLights.value(m_readingUid);
    return light && light->serialNumber() == serialNumber ? light : nullptr;
}

void DiscoverLightsWizard::handleLightDataQueryComplete(quint64 serialNumber)
{
    // Only the read in progress counts, once: a late or repeated completion is not a new one.
    Light *light = lightBeingRead(serialNumber);
    if (!light)
        return;
    m_readingUid = 0;
    expandCells(light);
    readNextLight();
}

void DiscoverLightsWizard::handleLightDataQueryFailed(quint64 serialNumber)
{
    Light *light = lightBeingRead(serialNumber);
    if (!light)
        return;
    m_readingUid = 0;
    m_failedReads.append({light->port(), light->serialNumber()});
    m_failedUids.insert(light->uid());
    // Said as they come, so that the user can give up on a device that does not answer.
    if (m_progress)
        m_progress->setLabelText(LightDiscoveryRules::readingText(int(m_failedUids.size())));
    readNextLight();
}

void DiscoverLightsWizard::expandCells(Light *original)
{
    const QString cells = QStringLiteral("Pixel Cell Count");
    const QString pixels = QStringLiteral("Physical Pixel Count");
    if (m_expanded.contains(original->uid()) || !original->hasProperty(cells))
        return;
    m_expanded.insert(original->uid());
    const QList<int> channels = LightDiscoveryRules::furtherCellChannels(
        original->property(cells), original->property(pixels), original->hasProperty(pixels),
        original->dmxChannel(), int(original->footprint()));
    for (const int channel : channels) {
        auto *light = new Light;
        light->applyDiscovered(original);
        light->setDataSupplyUid(original->dataSupplyUid());
        light->setUid(m_map->nextUid());
        light->assignNodeId();
        light->setDmxChannel(channel);
        m_derived.insert(light->uid());
        routeTo(m_readPage);
        recordLight(light);
    }
}

bool DiscoverLightsWizard::isUnread(quint64 uid) const
{
    // Cancel leaves the light being read and those still to be read unread as well.
    return m_failedUids.contains(uid) || m_pendingReads.contains(uid) || uid == m_readingUid;
}

void DiscoverLightsWizard::judgeAddresses(bool cutShort)
{
    QList<LightDiscoveryRules::Address> addresses;
    int unread = 0;
    const QHash<quint64, QPointer<Light>> lights = m_discoveredLights;
    for (auto it = lights.cbegin(); it != lights.cend(); ++it) {
        Light *light = it.value();
        // A light whose address was not read has none to judge.
        if (light && isUnread(it.key())) {
            ++unread;
            continue;
        }
        if (light && light->hasDmxFootprint()) {
            addresses.append({light->port(), light->dmxChannel()});
            continue;
        }
        m_discoveredLights.remove(it.key());
        m_derived.remove(it.key());
        if (!light)
            continue;
        m_discoverPage->handleRemoveLight(light);
        m_readPage->handleRemoveLight(light);
        deleteFoundLight(light);
    }
    endReading(LightDiscoveryRules::uniquelyAddressed(addresses), unread,
               int(addresses.size()) + unread, cutShort);
}

void DiscoverLightsWizard::endReading(bool unique, int unread, int total, bool cutShort)
{
    if (!m_reading)
        return;
    m_reading = false;
    disconnect(m_engine, &DiscoveryEngine::lightDataReadComplete, this,
               &DiscoverLightsWizard::handleLightDataQueryComplete);
    disconnect(m_engine, &DiscoveryEngine::lightDataReadFailed, this,
               &DiscoverLightsWizard::handleLightDataQueryFailed);
    // No retries may go on for a read whose answer nobody waits for any more.
    if (Light *light = m_discoveredLights.value(m_readingUid))
        m_engine->forgetLight(light->serialNumber());
    m_readingUid = 0;
    if (m_progress) {
        disconnect(m_progress, nullptr, this, nullptr);
        m_progress->setValue(m_progress->maximum());
        m_progress->deleteLater();
        m_progress = nullptr;
    }
    m_pendingReads.clear();
    m_readPage->handleReadAddressesCompleted(unique, unread, total, cutShort);
    m_map->setLivePlayDisabled(m_savedLivePlayDisabled);
}

void DiscoverLightsWizard::handleProgressDialogCanceled()
{
    // What was read is judged as after failed reads; the rest is said to be unread.
    if (m_reading)
        judgeAddresses(true);
}
