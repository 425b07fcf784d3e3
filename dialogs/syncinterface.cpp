#include "syncinterface.h"
#include "ui_syncinterface.h"

#include "devices/devicedictionary.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"
#include "protocol/windowtimer.h"
#include "syncwarning.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHostAddress>
#include <QProgressDialog>

#include <algorithm>

namespace {

// Copies what the network knows of a light; a discovered light has no name of its own, so a
// nameless copy keeps the map's name (the renaming at the end gives every synced light its
// name anyway).
void copyLight(Light *to, const Light *from, bool keepName = false)
{
    const QString name = to->name();
    to->applyDiscovered(from);
    if (keepName || from->name().isEmpty())
        to->setName(name);
}

} // namespace

SyncInterface::SyncInterface(MapModel *map, EffectEngine *effectEngine,
                             const QList<quint64> &interfaceUids, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::SyncInterface>()), m_map(map),
      m_dictionary(DeviceDictionary::instance()), m_interfaceUids(interfaceUids),
      m_effects(effectEngine), m_effectsWerePaused(holdEffects(effectEngine)),
      m_engine(new DiscoveryEngine(map, effectEngine))
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->m_syncButton, &QPushButton::clicked, this, &SyncInterface::handleSyncButtonClicked);
}

SyncInterface::~SyncInterface()
{
    finish();
    releaseEffects();
}

bool SyncInterface::holdEffects(EffectEngine *effects)
{
    if (!effects)
        return true;
    const bool wasPaused = effects->isPaused();
    effects->setPaused(true);
    return wasPaused;
}

void SyncInterface::releaseEffects()
{
    if (m_effects && !m_effectsWerePaused)
        m_effects->setPaused(false);
    m_effects = nullptr;
}

void SyncInterface::done(int result)
{
    // The engine, and with it every read, goes before live output may start again.
    finish();
    releaseEffects();
    QDialog::done(result);
}

QString SyncInterface::interfaceKey(const DataSupply *ds) const
{
    return SyncRules::interfaceKey(ds->ipAddress(), ds->serialNumber(), m_matchByAddress);
}

void SyncInterface::handleSyncButtonClicked()
{
    if (!m_engine || m_controllerTimer)
        return;
    ui->m_syncButton->setEnabled(false);
    m_matchByAddress = !ui->m_serialRadioButton->isChecked();
    m_lightIndex = SyncLightIndex(m_matchByAddress);

    m_progress = new QProgressDialog(tr("Syncing in Progress"), tr("Cancel"), 0, 0, this,
                                     Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_progress->setValue(0);
    m_progress->show();
    QCoreApplication::processEvents();

    m_controllerTimer = new WindowTimer(this);
    buildInterfaceIndex();
    connect(m_progress, &QProgressDialog::canceled, this, &SyncInterface::handleCancelClicked);
    connect(m_controllerTimer, &WindowTimer::timeout, this,
            &SyncInterface::handleControllerDiscoveryTimeout);
    connect(m_engine, &DiscoveryEngine::discoveredController, this,
            &SyncInterface::handleDiscoveredController);
    m_controllerTimer->start(NetworkSettings::instance().syncControllerWindowMs);
    m_engine->discoverControllers();
}

void SyncInterface::buildInterfaceIndex()
{
    for (const quint64 uid : std::as_const(m_interfaceUids)) {
        DataSupply *ds = m_map->dataSupply(uid);
        if (!ds)
            continue;
        // A later interface with the same key replaces an earlier one, which no answer reaches.
        const QPointer<DataSupply> earlier = m_interfaceIndex.value(interfaceKey(ds));
        if (earlier && earlier != ds)
            m_shadowedInterfaces.append(earlier->uid());
        m_shadowedInterfaces.removeAll(ds->uid());
        m_interfaceIndex.insert(interfaceKey(ds), ds);
    }
}

void SyncInterface::handleDiscoveredController(DataSupply *ds)
{
    if (!ds)
        return;
    m_discovered.append(ds);
    // The engine makes one interface an address and discovery: a serial number met again came
    // from another address.
    QStringList &claims = m_claims[ds->serialNumber()];
    if (!claims.contains(ds->ipAddress()))
        claims.append(ds->ipAddress());
    if (!m_interfaceIndex.value(interfaceKey(ds)))
        return;
    // Asked now, so that the answer comes within the window; taken when the window ends.
    connect(m_engine, &DiscoveryEngine::discoveredPorts, this,
            &SyncInterface::handleDiscoveredPorts, Qt::UniqueConnection);
    m_engine->discoverPorts(ds);
}

void SyncInterface::matchInterfaces()
{
    // Only once every answer is in can a serial number that several addresses claim be told
    // from one that a single interface answers with: the protocol cannot say which is genuine,
    // so neither is copied into the map.
    for (const QPointer<DataSupply> &ds : std::as_const(m_discovered)) {
        DataSupply *counterpart = ds ? m_interfaceIndex.value(interfaceKey(ds)).data() : nullptr;
        if (!counterpart)
            continue;
        QStringList claims = m_claims.value(ds->serialNumber());
        std::sort(claims.begin(), claims.end(), [](const QString &a, const QString &b) {
            return QHostAddress(a).toIPv4Address() < QHostAddress(b).toIPv4Address();
        });
        // By address, the interface at the map's address is the counterpart whatever else
        // claims its serial number; by serial number, none of the claimants can be told apart.
        if (claims.size() > 1 && !m_matchByAddress) {
            m_contested.insert(counterpart->uid(), {ds->serialNumber(), claims});
            continue;
        }
        claims.removeAll(ds->ipAddress());
        if (!claims.isEmpty())
            m_contested.insert(counterpart->uid(), {ds->serialNumber(), claims});
        // Interfaces share a uid when they share a serial number, and so would their lights:
        // only the first of them is scanned.
        const bool scanned = !m_uidMap.contains(ds->uid());
        if (scanned) {
            m_uidMap.insert(ds->uid(), counterpart->uid());
            m_scanned.insert(ds->uid(), ds);
        }
        copyInterface(ds, counterpart);
        if (m_portsReported.contains(ds->uid()))
            counterpart->copyPortsFrom(*ds);
        if (scanned && !counterpart->lights().isEmpty())
            m_interfacesToScan.append(ds);
        if (!m_matchedInterfaces.contains(counterpart->uid()))
            m_matchedInterfaces.append(counterpart->uid());
    }
}

void SyncInterface::copyInterface(const DataSupply *from, DataSupply *to)
{
    to->setName(from->name());
    to->setSerialNumber(from->serialNumber());
    to->setUniverse(from->universe());
    to->setIpAddressText(from->ipAddress());
    to->setProtocolVersion(from->protocolVersion());
    const QByteArray mac = SyncRules::macBytes(from->macAddress());
    to->setMacAddress(reinterpret_cast<const quint8 *>(mac.constData()));
    to->setVersionString(from->sftVersion());
    to->setFamily(from->family());
}

void SyncInterface::handleDiscoveredPorts(quint64 uid, unsigned int portCount)
{
    Q_UNUSED(portCount) // the engine has set the discovered interface's ports
    if (m_engine && m_engine->controllerForUid(uid))
        m_portsReported.insert(uid);
}

void SyncInterface::handleControllerDiscoveryTimeout()
{
    disconnect(m_engine, &DiscoveryEngine::discoveredController, this,
               &SyncInterface::handleDiscoveredController);
    m_controllerTimer->disconnect(this);
    disconnect(m_engine, &DiscoveryEngine::discoveredPorts, this,
               &SyncInterface::handleDiscoveredPorts);
    matchInterfaces();
    if (m_interfacesToScan.isEmpty()) {
        scheduleCompletion();
        return;
    }
    buildLightIndex();
    connect(m_engine, &DiscoveryEngine::discoveredLight, this,
            &SyncInterface::handleDiscoveredLight);
    connect(m_engine, &DiscoveryEngine::discoveredLights, this,
            &SyncInterface::handleDiscoveredLights);
    connect(m_engine, &DiscoveryEngine::lightCountsComplete, this,
            &SyncInterface::handleLightCountsComplete);
    connect(m_engine, &DiscoveryEngine::lightCountsUnsettled, this,
            [this](quint64 interfaceUid, const QList<int> &ports) {
                if (!m_uidMap.contains(interfaceUid))
                    return;
                for (const int port : ports)
                    m_uncountedPorts[mapUidOf(interfaceUid)].insert(
                        port, m_engine->countDoubt(interfaceUid, port));
            });
    connect(m_engine, &DiscoveryEngine::lightDataReadComplete, this,
            &SyncInterface::handleLightDataReadComplete);
    connect(m_engine, &DiscoveryEngine::lightDataReadFailed, this,
            &SyncInterface::handleLightDataReadFailed);
    startLightDiscovery();
}

void SyncInterface::buildLightIndex()
{
    for (const QPointer<DataSupply> &ds : std::as_const(m_interfaceIndex)) {
        // Chained-address interfaces pair their lights by position instead.
        if (!ds || SyncRules::hasChainedAddresses(m_dictionary->deviceName(ds->serialNumber())))
            continue;
        for (const quint64 uid : ds->lights()) {
            if (Light *light = m_map->light(uid))
                m_lightIndex.add(ds->uid(), light->port(), light);
        }
    }
}

void SyncInterface::startLightDiscovery()
{
    const QList<QPointer<DataSupply>> toScan = std::exchange(m_interfacesToScan, {});
    for (const QPointer<DataSupply> &ds : toScan) {
        if (!ds || m_lightTimers.contains(ds->uid()))
            continue;
        auto *timer = new WindowTimer(this);
        timer->setProperty("cid", ds->uid());
        connect(timer, &WindowTimer::timeout, this, &SyncInterface::handleDiscoveryComplete);
        m_lightTimers.insert(ds->uid(), timer);
        if (ds->allPortsType3())
            m_closeOnCounts.insert(ds->uid());
        timer->start(NetworkSettings::instance().syncLightWindowMs);
        m_engine->discoverLights(ds);
    }
}

void SyncInterface::handleDiscoveredLight(Light *light)
{
    // Only lights behind a matched interface can be read and placed.
    if (!light || !m_uidMap.contains(light->dataSupplyUid()))
        return;
    if (m_pendingLights.contains(light->dataSupplyUid()))
        qDebug() << "inserting light in sync : " << light->serialNumber();
    m_pendingLights[light->dataSupplyUid()].insert(light);
    m_reportedSerials[mapUidOf(light->dataSupplyUid())].insert(light->serialNumber());
}

void SyncInterface::handleDiscoveredLights(QList<Light *> &list)
{
    if (list.isEmpty() || !list.last()) {
        checkEnd();
        return;
    }
    const quint64 uid = list.last()->dataSupplyUid();
    const DataSupply *ds = m_scanned.value(uid);
    if (ds && SyncRules::hasChainedAddresses(m_dictionary->deviceName(ds->serialNumber()))) {
        syncChainedAddresses(ds, list);
    } else {
        // Counted lights all carry their interface's serial number, which tells neither
        // which light answered nor where: none of them is noted as an answer.
        for (const Light *light : std::as_const(list)) {
            if (!light || !m_uidMap.contains(light->dataSupplyUid()))
                continue;
            const quint64 key =
                SyncRules::lightKey(light->dmxChannel(), light->serialNumber(), m_matchByAddress);
            if (Light *counterpart =
                    m_lightIndex.takeFirst(mapUidOf(light->dataSupplyUid()), light->port(), key))
                copyLight(counterpart, light);
        }
    }
    // The lights of a fixture-count list share one serial number: each goes by pointer, once.
    const QList<Light *> lights = list;
    QSet<Light *> dropped;
    for (Light *light : lights) {
        if (light && !dropped.contains(light)) {
            dropped.insert(light);
            m_engine->dropLight(light);
        }
    }
    checkEnd();
}

void SyncInterface::handleLightCountsComplete(quint64 interfaceUid)
{
    // The interface's whole answer is in, every port's lists with it.
    if (m_closeOnCounts.remove(interfaceUid))
        closeLightWindow(interfaceUid, m_lightTimers.value(interfaceUid));
}

void SyncInterface::syncChainedAddresses(const DataSupply *ds, const QList<Light *> &list)
{
    // The matched map interface, whatever its own uid.
    const DataSupply *counterpart = m_map->dataSupply(mapUidOf(ds->uid()));
    if (!m_uidMap.contains(ds->uid()) || !counterpart)
        return;
    const QList<quint64> uids = counterpart->lights();
    if (uids.size() != list.size())
        return;
    QList<Light *> targets;
    for (qsizetype i = 0; i < list.size(); ++i) {
        Light *target = m_map->light(uids.at(uids.size() - 1 - i));
        if (!target || !list.at(i))
            return;
        targets.append(target);
    }
    for (qsizetype i = 0; i < targets.size(); ++i) {
        noteAnswer(list.at(i));
        copyLight(targets.at(i), list.at(i));
        targets.at(i)->setDmxChannel(int(ds->dmxAddress()) - 1 +
                                     int(i) * int(targets.at(i)->footprint()));
    }
}

void SyncInterface::handleDiscoveryComplete()
{
    auto *timer = qobject_cast<WindowTimer *>(sender());
    if (!timer)
        return;
    const quint64 uid = timer->property("cid").toULongLong();
    // Counts still being asked for end within their own bound, and closing now would lose
    // them: the window closes on them instead.
    if (m_engine && m_engine->isGatheringCounts(m_scanned.value(uid))) {
        m_closeOnCounts.insert(uid);
        return;
    }
    closeLightWindow(uid, timer);
}

void SyncInterface::closeLightWindow(quint64 interfaceUid, WindowTimer *timer)
{
    if (timer) {
        if (m_lightTimers.value(interfaceUid) == timer)
            m_lightTimers.remove(interfaceUid);
        timer->disconnect(this);
        timer->deleteLater();
    }
    endLightWindow(interfaceUid);
    // Lets the lights settle after the scan before they are read; on a timer, so that the
    // window and Cancel stay live meanwhile (a cancelled sync has no engine left to read).
    // A window that every port's list closed early may have single lights to read too.
    WindowTimer::singleShot(NetworkSettings::instance().syncReadPauseMs, this,
                            [this, interfaceUid] {
                                m_readable.insert(interfaceUid);
                                readPendingLights();
                            });
}

void SyncInterface::endLightWindow(quint64 interfaceUid)
{
    if (m_engine)
        m_engine->endLightScan(m_scanned.value(interfaceUid));
}

void SyncInterface::readPendingLights()
{
    // Each interface whose lights may be read reads one at a time.
    const QList<quint64> readable(m_readable.cbegin(), m_readable.cend());
    for (const quint64 uid : readable)
        readNextLight(uid);
    checkEnd();
}

void SyncInterface::readNextLight(quint64 interfaceUid)
{
    while (m_engine && !m_reading.contains(interfaceUid)) {
        Light *light = nextLightToRead(interfaceUid);
        if (!light)
            return;
        qDebug() << "Sync next serial : " << light->serialNumber();
        const DataSupply *ds = m_scanned.value(interfaceUid);
        m_reading.insert(interfaceUid, light);
        if (ds && m_engine->readLightData(light, ds->ipAddress()))
            return;
        m_reading.remove(interfaceUid);
        // A read that cannot even be sent would keep the sync waiting for ever.
        passOver(light);
    }
}

Light *SyncInterface::nextLightToRead(quint64 interfaceUid) const
{
    const auto it = m_pendingLights.constFind(interfaceUid);
    if (it == m_pendingLights.cend())
        return nullptr;
    QSet<quint64> busy;
    for (const Light *light : m_reading)
        busy.insert(light->serialNumber());
    for (Light *light : *it) {
        if (!busy.contains(light->serialNumber()))
            return light;
    }
    return nullptr;
}

void SyncInterface::passOver(Light *light)
{
    const quint64 mapUid = mapUidOf(light->dataSupplyUid());
    const int port = light->port();
    const quint64 serial = light->serialNumber();
    // Matching by address needs the start channel, which the failed read did not bring.
    m_unread.append({mapUid, port, serial,
                     m_matchByAddress ? nullptr : m_lightIndex.first(mapUid, port, serial)});
    forgetPending(light);
    m_engine->dropLight(light);
}

void SyncInterface::forgetPending(Light *light)
{
    const auto it = m_pendingLights.find(light->dataSupplyUid());
    if (it != m_pendingLights.end()) {
        it->remove(light);
        if (it->isEmpty())
            m_pendingLights.erase(it);
    }
}

Light *SyncInterface::takeLightBeingRead(quint64 serialNumber)
{
    for (auto it = m_reading.begin(); it != m_reading.end(); ++it) {
        if (it.value()->serialNumber() == serialNumber) {
            Light *light = it.value();
            m_reading.erase(it);
            return light;
        }
    }
    return nullptr;
}

void SyncInterface::handleLightDataReadFailed(quint64 serialNumber)
{
    // Not one of the running reads: those go on, and end, by themselves.
    Light *light = takeLightBeingRead(serialNumber);
    if (!light)
        return;
    passOver(light);
    readPendingLights();
}

void SyncInterface::handleLightDataReadComplete(quint64 serialNumber)
{
    Light *light = takeLightBeingRead(serialNumber);
    if (!light)
        return;
    forgetPending(light);
    syncReadLight(light);
    m_engine->dropLight(light);
    readPendingLights();
}

void SyncInterface::noteAnswer(const Light *discovered)
{
    const quint64 mapUid = mapUidOf(discovered->dataSupplyUid());
    m_reportedSerials[mapUid].insert(discovered->serialNumber());
    m_answeredAt[{mapUid, discovered->serialNumber()}].append(
        {discovered->port(), discovered->dmxChannel()});
}

void SyncInterface::syncReadLight(Light *discovered)
{
    noteAnswer(discovered);
    const quint64 mapUid = mapUidOf(discovered->dataSupplyUid());
    const int port = discovered->port();
    const quint64 key =
        SyncRules::lightKey(discovered->dmxChannel(), discovered->serialNumber(), m_matchByAddress);
    if (Light *counterpart = m_lightIndex.first(mapUid, port, key)) {
        const int start = discovered->dmxChannel();
        const int footprint = int(discovered->footprint());
        const int cells =
            SyncRules::extraCells(discovered->property(QStringLiteral("Pixel Cell Count")),
                                  discovered->property(QStringLiteral("Physical Pixel Count")));
        // Every cell is found before any is written, so a device is copied whole.
        const QList<QPair<Light *, int>> cellLights =
            cells > 0 ? m_lightIndex.takeCells(mapUid, port, key, start, footprint,
                                               discovered->serialNumber(), cells)
                      : QList<QPair<Light *, int>>();
        copyLight(counterpart, discovered);
        for (const auto &[cell, k] : cellLights) {
            copyLight(cell, discovered, true);
            cell->setDmxChannel(start + k * footprint);
        }
    }
    m_lightIndex.removeKey(mapUid, port, key);
}

void SyncInterface::checkEnd()
{
    if (m_pendingLights.isEmpty() && m_interfacesToScan.isEmpty() && m_lightTimers.isEmpty())
        scheduleCompletion();
}

void SyncInterface::scheduleCompletion()
{
    if (m_ending)
        return;
    m_ending = true;
    QMetaObject::invokeMethod(this, &SyncInterface::completeSync, Qt::QueuedConnection);
}

void SyncInterface::completeSync()
{
    if (!m_engine) // cancelled meanwhile
        return;
    finish();
    const QList<SyncRules::ConflictEntry> conflicts = renameAndCheck();
    const SyncRules::SyncGaps missed = gaps();
    const QString report = SyncRules::syncReport(missed, conflicts);
    if (m_progress) {
        m_progress->setValue(m_progress->maximum());
        delete m_progress;
        m_progress = nullptr;
    }
    if (!report.isEmpty()) {
        SyncWarning warning(report, this, SyncRules::reportHeading(missed));
        warning.exec();
    }
    accept();
}

SyncRules::SyncGaps SyncInterface::gaps() const
{
    SyncRules::SyncGaps gaps;
    for (const UnreadLight &unread : m_unread) {
        const DataSupply *ds = m_map->dataSupply(unread.interfaceUid);
        if (unread.counterpart)
            gaps.unreadLights << unread.counterpart->name();
        else
            gaps.unreadLights << SyncRules::unreadLightText(ds ? ds->name() : QString(),
                                                            unread.port, unread.serial);
    }
    addUnmatchedLights(gaps);
    for (auto it = m_uncountedPorts.cbegin(); it != m_uncountedPorts.cend(); ++it) {
        const DataSupply *ds = m_map->dataSupply(it.key());
        for (auto port = it->cbegin(); port != it->cend(); ++port)
            gaps.uncountedPorts << SyncRules::uncountedPortText(ds ? ds->name() : QString(),
                                                                port.key(), port.value());
    }
    for (const quint64 uid : m_interfaceUids) {
        const DataSupply *ds = m_map->dataSupply(uid);
        if (!ds || !SyncRules::isAskedBySync(ds->type()))
            continue;
        const auto contest = m_contested.constFind(uid);
        if (m_matchedInterfaces.contains(uid)) {
            if (contest != m_contested.cend())
                gaps.claimedInterfaces << SyncRules::claimedInterfaceText(
                    ds->name(), contest->serial, contest->addresses);
            continue;
        }
        if (contest != m_contested.cend())
            gaps.unmatchedInterfaces << SyncRules::contestedInterfaceText(
                ds->name(), contest->serial, contest->addresses);
        else if (m_shadowedInterfaces.contains(uid))
            gaps.unmatchedInterfaces
                << SyncRules::shadowedInterfaceText(ds->name(), m_matchByAddress);
        else
            gaps.silentInterfaces << ds->name();
    }
    return gaps;
}

void SyncInterface::addUnmatchedLights(SyncRules::SyncGaps &gaps) const
{
    // A failed read's counterpart is known by serial number, and named among the unread
    // lights; by address, any light waiting on its port may be it, so none there is named.
    QSet<const Light *> unreadCounterparts;
    QSet<QPair<quint64, quint64>> unreadSerials;
    QSet<QPair<quint64, int>> unreadPorts;
    for (const UnreadLight &light : m_unread) {
        unreadCounterparts.insert(light.counterpart.data());
        unreadSerials.insert({light.interfaceUid, light.serial});
        unreadPorts.insert({light.interfaceUid, light.port});
    }
    for (const quint64 uid : m_matchedInterfaces) {
        const DataSupply *ds = m_map->dataSupply(uid);
        const QSet<quint64> reported = m_reportedSerials.value(uid);
        for (const Light *light : ds ? m_lightIndex.waiting(uid) : QList<Light *>()) {
            const quint64 serial = m_serialsBefore.value(light->uid(), light->serialNumber());
            // A serial number that every light of the interface may carry (the one a sync
            // gives a supply's lights, or the interface's own that counted lights carry) tells
            // which light went unread no better than an address nobody could read.
            const bool shared = serial == SyncRules::FixedSerial || serial == ds->serialNumber();
            // A port whose lights could not be counted is named as a whole.
            if (unreadCounterparts.contains(light) || unreadSerials.contains({uid, serial}) ||
                ((m_matchByAddress || shared) && unreadPorts.contains({uid, light->port()})) ||
                m_uncountedPorts.value(uid).contains(light->port()))
                continue;
            const QString text =
                SyncRules::unreportedLightText(ds->name(), light->port(), serial, light->name());
            if (!reported.contains(serial))
                gaps.unreportedLights << text;
            else
                gaps.movedLights << SyncRules::movedLightText(text,
                                                              m_answeredAt.value({uid, serial}));
        }
    }
}

void SyncInterface::handleCancelClicked()
{
    if (!m_engine)
        return;
    finish();
    if (m_progress) {
        m_progress->hide();
        m_progress->deleteLater();
        m_progress = nullptr;
    }
    reject();
}

void SyncInterface::finish()
{
    if (!m_engine)
        return;
    m_engine->disconnect(this);
    delete m_controllerTimer;
    m_controllerTimer = nullptr;
    qDeleteAll(m_lightTimers);
    m_lightTimers.clear();
    m_pendingLights.clear();
    m_reading.clear();
    m_readable.clear();
    m_interfacesToScan.clear();
    // The engine goes first: its retries and late replies must not meet a deleted interface.
    // It deletes the interfaces and lights it made that nobody took.
    delete m_engine;
    m_engine = nullptr;
    for (const QPointer<DataSupply> &ds : std::as_const(m_discovered))
        delete ds.data();
    m_discovered.clear();
}

QList<SyncRules::ConflictEntry> SyncInterface::renameAndCheck()
{
    QList<SyncRules::ConflictEntry> entries;
    for (const quint64 uid : std::as_const(m_matchedInterfaces)) {
        DataSupply *ds = m_map->dataSupply(uid);
        if (!ds)
            continue;
        const bool fixedSerial =
            SyncRules::getsFixedSerial(m_dictionary->deviceName(ds->serialNumber()));
        ds->renumberLights();
        QList<SyncRules::ChannelSpan> spans;
        QList<Light *> lights;
        for (const quint64 lightUid : ds->lights()) {
            Light *light = m_map->light(lightUid);
            if (!light)
                continue;
            if (fixedSerial) {
                // The report names the light by the serial number found on it.
                m_serialsBefore.insert(lightUid, light->serialNumber());
                light->setSerialNumber(SyncRules::FixedSerial);
            }
            light->setName(SyncRules::lightName(ds->name(), light->modelName(), light->port(),
                                                light->lightNumber()));
            spans.append(
                {light->uid(), light->port(), light->dmxChannel(), int(light->footprint())});
            lights.append(light);
        }
        const QSet<quint64> conflicts = SyncRules::conflictingLights(spans);
        if (conflicts.isEmpty())
            continue;
        SyncRules::ConflictEntry entry{ds->name(), {}};
        for (const Light *light : std::as_const(lights)) {
            if (conflicts.contains(light->uid()))
                entry.lightNames.append(light->name());
        }
        entries.append(entry);
    }
    return entries;
}
