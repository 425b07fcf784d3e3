#include "discoveryengine.h"

#include "devices/devicedictionary.h"
#include "devices/deviceentry.h"
#include "devices/propertymapper.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/framerelay.h"
#include "protocol/ipv4address.h"
#include "protocol/lightscanbook.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/orvexdatagrams.h"
#include "protocol/osocket.h"
#include "protocol/requestrepeater.h"
#include "protocol/windowtimer.h"

#include <QHostAddress>
#include <QMap>
#include <QSignalBlocker>
#include <QThread>

#include <algorithm>
#include <limits>
#include <numeric>

DiscoveryEngine::DiscoveryEngine(MapModel *map, EffectEngine *effectEngine)
    : m_map(map), m_effectEngine(effectEngine)
{
    if (!map || !effectEngine)
        qWarning() << "DiscoveryEngine needs a map model and an effect engine";
    if (m_effectEngine) {
        m_effectEngineWasPaused = m_effectEngine->isPaused();
        m_effectEngine->setPaused(true);
    }
    m_clock.start();
    m_orvex = new Orvex(this);
    m_discoverRepeats = new RequestRepeater(
        [this] {
            return m_orvex->sendDiscover(NetworkSettings::instance().discoverCarriedAddress);
        },
        this);
    m_counts = new CountGatherer([this] { return now(); }, [this] { readArrivedReplies(); }, this);
    connect(m_counts, &CountGatherer::askAgain, this, &DiscoveryEngine::askForCountsAgain);
    connect(m_counts, &CountGatherer::counted, this, &DiscoveryEngine::takeCounts);
    m_propertyMapper = PropertyMapper::instance();
    m_deviceDictionary = DeviceDictionary::instance();
    connectOrvexSignals();
    fillPropertyNames();
}

DiscoveryEngine::~DiscoveryEngine()
{
    // setPaused(false) restarts the frame clock; only do it if it was running before us.
    if (m_effectEngine && m_effectEngine->isPaused() != m_effectEngineWasPaused)
        m_effectEngine->setPaused(m_effectEngineWasPaused);
    deleteUnclaimedDataSupplies();
    deleteUnclaimedLights();
}

void DiscoveryEngine::connectOrvexSignals()
{
    connect(m_orvex, &Orvex::signalDiscoverResponse, this,
            &DiscoveryEngine::handleOrvexDiscoverResponse);
    connect(m_orvex, &Orvex::signalDiscoverPortsResponse, this,
            &DiscoveryEngine::handleDiscoverPortsResponse);
    connect(m_orvex, &Orvex::signalBlinkScanResponse, this,
            &DiscoveryEngine::handleBlinkScanResponse);
    connect(m_orvex, &Orvex::signalCAScanResponse, this, &DiscoveryEngine::handleCAScanResponse);
    connect(m_orvex, &Orvex::signalBlinkScan2SNResponse, this,
            &DiscoveryEngine::handleBlinkScan2SNResponse);
    connect(m_orvex, &Orvex::signalBlinkScan2Reply, this, &DiscoveryEngine::handleBlinkScan2Reply);
    connect(m_orvex, &Orvex::signalBlinkEEReadResponse, this,
            &DiscoveryEngine::handleBlinkEEReadResponse);
    connect(m_orvex, &Orvex::signalDeviceVariableReply, this,
            &DiscoveryEngine::handleDeviceVariableReply);
    connect(m_orvex, &Orvex::signalDiscoverResponseV3, this,
            &DiscoveryEngine::handleOrvexDiscoverV3Response);
    connect(m_orvex, &Orvex::signalBlinkScan2ORDMResponse, this,
            &DiscoveryEngine::handleBlinkScan2ORDMResponse);
    connect(m_orvex, &Orvex::signalRDMGetReply, this, &DiscoveryEngine::handleRDMGetReply);
}

void DiscoveryEngine::fillPropertyNames()
{
    m_propertyNames = {
        QStringLiteral("Hueweave"),
        QStringLiteral("Color Control Mode"),
        QStringLiteral("Corlend Mode"),
        QStringLiteral("Resolution"),
        QStringLiteral("Dimming Curve"),
        QStringLiteral("LED Chemistry"),
        QStringLiteral("Half / Full Mode"),
        QStringLiteral("Quy Input Mode"),
        QStringLiteral("Quy/Zyr Input Mode"),
        QStringLiteral("DMX Address"),
        QStringLiteral("Device Info"),
        QStringLiteral("Device Model Description"),
        QStringLiteral("DMX Personality"),
        QStringLiteral("Pixel Cell Count"),
        QStringLiteral("Physical Pixel Count"),
        QStringLiteral("Maximum Number of Serial Numbers"),
    };
}

void DiscoveryEngine::deleteUnclaimedDataSupplies()
{
    for (const QPointer<DataSupply> &ds : std::as_const(m_created)) {
        // Connected to a map or given a parent: someone has taken it.
        if (ds && !ds->parent() && !ds->map())
            delete ds.data();
    }
    m_created.clear();
}

void DiscoveryEngine::deleteUnclaimedLights()
{
    for (const QPointer<Light> &light : std::as_const(m_createdLights)) {
        if (light && !light->parent() && !light->map())
            delete light.data();
    }
    m_createdLights.clear();
}

void DiscoveryEngine::discoverControllers()
{
    m_discoverRepeats->start();
    m_dataSupplyByIp.clear();
    m_dataSupplyByUid.clear();
    for (const quint64 serial : m_interfaceReads.keys())
        endReading(m_interfaceReads, serial);
    m_caLightLists.clear();
    m_caLightOwners.clear();
    m_interfaceValues.clear();
    m_lights.clear();
    m_scans.clear();
    stopAllRepeats(m_scanRepeats);
    m_counts->stopAll();
    m_interfacesThisDiscovery = 0;
    stopAllRepeats(m_portRepeats);
    m_portRequests.clear();
}

bool DiscoveryEngine::startRepeats(Repeats &repeats, quint32 ip, std::function<bool()> send)
{
    stopRepeats(repeats, ip);
    auto *repeater = new RequestRepeater(std::move(send), this);
    repeats.insert(ip, repeater);
    if (repeater->start())
        return true;
    // A request that never went out is not outstanding.
    stopRepeats(repeats, ip);
    return false;
}

void DiscoveryEngine::stopRepeats(Repeats &repeats, quint32 ip)
{
    RequestRepeater *repeater = repeats.take(ip);
    if (!repeater)
        return;
    repeater->stop();
    repeater->deleteLater();
}

void DiscoveryEngine::stopAllRepeats(Repeats &repeats)
{
    for (const quint32 ip : repeats.keys())
        stopRepeats(repeats, ip);
}

void DiscoveryEngine::discoverPorts(DataSupply *ds)
{
    if (!ds)
        return;
    switch (ds->protocolVersion()) {
    case 1:
        emit discoveredPorts(ds->uid(), 1);
        break;
    case 2:
    case 3: {
        const QByteArray address = ds->ipAddress().toLatin1();
        if (startRepeats(m_portRepeats, ds->ipv4Value(),
                         [this, address] { return m_orvex->sendDiscoverPorts(address); }))
            m_portRequests.insert(ds->ipv4Value());
        break;
    }
    default:
        break;
    }
}

DataSupply *DiscoveryEngine::controllerForUid(quint64 uid) const
{
    return m_dataSupplyByUid.value(uid).data();
}

Light *DiscoveryEngine::lightForSerial(quint64 serial) const
{
    return m_lights.value(serial).data();
}

void DiscoveryEngine::removeLight(quint64 serial)
{
    if (!m_lights.contains(serial))
        return;
    QPointer<Light> light = m_lights.value(serial);
    forgetLight(serial);
    if (!light)
        return;
    if (MapModel *map = light->map(); map && map->light(light->uid()) == light)
        map->deleteLight(light->uid());
    else
        delete light.data();
}

void DiscoveryEngine::forgetLight(quint64 serial)
{
    const QPointer<Light> light = m_lights.take(serial);
    if (light) {
        m_createdLights.removeAll(light);
        for (QList<QList<QPointer<Light>>> &batches : m_caLightLists) {
            for (QList<QPointer<Light>> &batch : batches)
                batch.removeAll(light);
        }
    }
    endReading(m_lightReads, serial);
}

void DiscoveryEngine::dropLight(Light *light)
{
    if (!light || !m_createdLights.contains(light))
        return;
    const quint64 serial = light->serialNumber();
    if (m_lights.value(serial) == light) {
        forgetLight(serial);
    } else {
        m_createdLights.removeAll(light);
        for (QList<QList<QPointer<Light>>> &batches : m_caLightLists) {
            for (QList<QPointer<Light>> &batch : batches)
                batch.removeAll(light);
        }
    }
    if (MapModel *map = light->map(); map && map->light(light->uid()) == light)
        map->deleteLight(light->uid());
    else
        delete light;
}

bool DiscoveryEngine::isKnownId(quint32 id) const
{
    return m_knownIds.contains(id);
}

DataSupply *DiscoveryEngine::dataSupplyForIp(quint32 ip) const
{
    return m_dataSupplyByIp.value(ip).data();
}

void DiscoveryEngine::handleOrvexDiscoverResponse(char *mac, quint32 ip, quint32 sn, quint16 ver,
                                                  quint32 uni, char *verstring, char *idstring)
{
    handleDiscover(mac, ip, sn, ver, uni, verstring, idstring);
}

void DiscoveryEngine::handleOrvexDiscoverV3Response(char *mac, quint32 ip, quint64 sn, quint16 ver,
                                                    quint32 uni, char *verstring, char *idstring)
{
    handleDiscover(mac, ip, sn, ver, uni, verstring, idstring);
}

void DiscoveryEngine::handleDiscover(const char *mac, quint32 ip, quint64 sn, quint16 ver,
                                     quint32 uni, const char *verstring, const char *idstring)
{
    // An entry whose interface was deleted meanwhile counts as absent.
    if (dataSupplyForIp(ip))
        return;
    if (m_interfacesThisDiscovery >= MaxInterfacesPerDiscovery) {
        if (const int dropped = m_interfaceLimitLog.note()) {
            qDebug().nospace().noquote()
                << "Discovery: dropped " << dropped << " discover replies beyond "
                << MaxInterfacesPerDiscovery << " interfaces, counted since the last line";
        }
        emit interfaceLimitReached();
        return;
    }
    ++m_interfacesThisDiscovery;
    auto *ds = new DataSupply(2);
    ds->setUid(sn);
    ds->setName(QString::fromUtf8(idstring ? idstring : ""));
    ds->setSerialNumber(sn);
    ds->setUniverse(uni);
    ds->setIpAddress(QHostAddress(ip));
    ds->setMacAddress(reinterpret_cast<const quint8 *>(mac));
    ds->setProtocolVersion(ver);
    ds->setVersionString(verstring);
    ds->setFamily(idstring);
    m_created.append(ds);
    m_dataSupplyByIp.insert(ip, ds);
    m_dataSupplyByUid.insert(sn, ds);
    connect(ds, &DataSupply::signalSendDmxFrame, this, &DiscoveryEngine::handleSendDMXFrame);
    connect(ds, &DataSupply::signalSendPortOut, this, &DiscoveryEngine::handleSendPortOut);
    emit discoveredController(ds);
}

void DiscoveryEngine::handleDiscoverPortsResponse(unsigned int ip, unsigned char portcount,
                                                  unsigned char *portnums, unsigned char *porttypes)
{
    // Unasked, repeated or late: whoever sent it, it must not rewrite the interface's ports.
    // Taken once: the request's copies stop with it, and a later reply finds none outstanding.
    stopRepeats(m_portRepeats, ip);
    if (!m_portRequests.remove(ip)) {
        if (const int dropped = m_unaskedPortsLog.note()) {
            DroppedDatagramLog::writeReplyLine(
                dropped, QStringLiteral("Port discovery: dropped a reply for %1, which has no "
                                        "port request outstanding")
                             .arg(QHostAddress(ip).toString()));
        }
        return;
    }
    DataSupply *ds = dataSupplyForIp(ip);
    if (!ds || (portcount > 0 && (!portnums || !porttypes)))
        return;
    if (ds->portCount() != portcount)
        ds->setPortCount(portcount);
    for (int i = 0; i < portcount; ++i) {
        ds->setPortNumber(i, portnums[i]);
        ds->setPortType(i, porttypes[i]);
    }
    ds->rebuildPortIndex();
    emit discoveredPorts(ds->uid(), portcount);
}

void DiscoveryEngine::handleSendDMXFrame(QString ip, quint16 startCode, quint16 timerVal,
                                         QByteArray dmxData)
{
    Q_UNUSED(startCode)
    Q_UNUSED(timerVal)
    if (!m_orvex)
        return;
    FrameRelay::sendDmxFrame(*m_orvex, ip.toLatin1(), dmxData);
}

void DiscoveryEngine::handleSendPortOut(QString ip, quint32 universe, quint8 port, quint16 flags,
                                        quint16 startCode, QByteArray dmxData)
{
    Q_UNUSED(universe)
    Q_UNUSED(flags)
    if (!m_orvex)
        return;
    FrameRelay::sendPortOut(*m_orvex, ip.toLatin1(), port, startCode, dmxData);
}

// ---------------------------------------------------------------------------------------------
// Light scans

namespace {

// Interfaces in this serial range report CA counts that stand for no lights.
bool dropsCAScans(quint64 serial)
{
    return serial >= 0x39000000u && serial <= 0x3900FFFFu;
}

QString numberText(quint64 value)
{
    return QString::number(value);
}

// How many lights a list of fixture counts stands for.
quint64 countedLights(const QVector<quint64> &counts)
{
    return std::accumulate(counts.cbegin(), counts.cend(), quint64(0));
}

} // namespace

void DiscoveryEngine::discoverLights(DataSupply *ds)
{
    if (!ds)
        return;
    const quint32 ip = QHostAddress(ds->ipAddress()).toIPv4Address();
    if (!dataSupplyForIp(ip))
        m_dataSupplyByIp.insert(ip, ds);
    if (!controllerForUid(ds->uid()))
        m_dataSupplyByUid.insert(ds->uid(), ds);
    m_lights.clear();
    endScan(ip);
    m_scans.start(ip, lightLimitForScan(ds));
    const QByteArray address = ds->ipAddress().toLatin1();
    switch (ds->protocolVersion()) {
    case 1:
        startRepeats(m_scanRepeats, ip,
                     [this, address] { return m_orvex->sendBlinkScan(address); });
        break;
    case 2:
    case 3:
        startRepeats(m_scanRepeats, ip,
                     [this, address] { return m_orvex->sendBlinkScan2(address); });
        break;
    default:
        break;
    }
}

void DiscoveryEngine::endLightScan(const DataSupply *ds)
{
    if (ds)
        endScan(QHostAddress(ds->ipAddress()).toIPv4Address());
}

void DiscoveryEngine::endScan(quint32 ip)
{
    m_scans.end(ip);
    stopRepeats(m_scanRepeats, ip);
    m_counts->stop(ip);
    // The interface's own values are read for the scan's counted lights: a scan left behind
    // asks for none, and its lights are not handed on.
    if (const DataSupply *ds = dataSupplyForIp(ip)) {
        const quint64 serial = quint32(ds->serialNumber());
        if (m_caLightOwners.value(serial) == ds->uid()) {
            endReading(m_interfaceReads, serial);
            m_caLightLists.remove(serial);
            m_caLightOwners.remove(serial);
        }
    }
}

bool DiscoveryEngine::isScanning(const DataSupply *ds) const
{
    return ds && m_scans.isScanning(QHostAddress(ds->ipAddress()).toIPv4Address());
}

bool DiscoveryEngine::isGatheringCounts(const DataSupply *ds)
{
    if (!ds || !isScanning(ds))
        return false;
    // Taken, but waiting on the interface's values.
    if (m_caLightLists.contains(quint32(ds->serialNumber())))
        return true;
    return m_counts->isGathering(QHostAddress(ds->ipAddress()).toIPv4Address());
}

int DiscoveryEngine::lightLimitForScan(const DataSupply *ds)
{
    return MaxLightsPerPort * std::max(1, ds ? int(ds->portCount()) : 0);
}

DataSupply *DiscoveryEngine::scannedSupply(quint32 ip)
{
    DataSupply *ds = m_scans.isScanning(ip) ? dataSupplyForIp(ip) : nullptr;
    if (ds)
        return ds;
    // Anyone on the network can send these: no line of its own for each.
    if (const int dropped = m_unscannedLog.note()) {
        DroppedDatagramLog::writeReplyLine(
            dropped,
            QStringLiteral("Light scan: dropped a reply for %1, which is not being scanned")
                .arg(QHostAddress(ip).toString()));
    }
    return nullptr;
}

void DiscoveryEngine::reportLights(quint64 owner, int port, const QVector<quint64> &serials)
{
    if (!m_map)
        return;
    for (const quint64 serial : serials) {
        Light *light = makeLight(m_map->nextUid(), serial, owner, quint8(port));
        m_lights.insert(serial, light);
        emit discoveredLight(light);
    }
}

Light *DiscoveryEngine::makeLight(quint64 uid, quint64 serial, quint64 owner, quint8 port)
{
    auto *light = new Light;
    light->setUid(uid);
    light->setSerialNumber(serial);
    light->setDataSupplyUid(owner);
    light->setPort(port);
    m_createdLights.append(light);
    return light;
}

Light *DiscoveryEngine::makeBatchLight(quint64 uid, quint64 serial, const DataSupply *ds,
                                       quint8 port, int channel, quint64 fixture)
{
    auto *light = new Light;
    {
        const QSignalBlocker blocker(light);
        light->setUid(uid);
        light->setSerialNumber(serial);
        light->setDataSupplyUid(ds->uid());
        if (fixture)
            light->setFixture(fixture);
        light->setPort(port);
        light->setDmxChannel(channel);
    }
    emit light->updatedLight(uid);
    m_createdLights.append(light);
    return light;
}

void DiscoveryEngine::handleBlinkScanResponse(unsigned int ip, unsigned int sn)
{
    DataSupply *ds = scannedSupply(ip);
    if (!ds || !m_map)
        return;
    reportLights(ds->uid(), 0, m_scans.freshSerials(ip, 0, {sn}));
}

void DiscoveryEngine::handleBlinkScan2SNResponse(unsigned int ip, unsigned char portNum,
                                                 unsigned char snCount, QVector<quint64> sn)
{
    DataSupply *ds = scannedSupply(ip);
    if (!ds || !m_map)
        return;
    // A ragged entry carries a last value made of the bytes left over: no serial number.
    sn.resize(std::min<int>(snCount, sn.size()));
    const int port = portNum - 1;
    reportLights(ds->uid(), port, m_scans.freshSerials(ip, port, sn));
}

void DiscoveryEngine::handleBlinkScan2ORDMResponse(uint ip, unsigned char portNum,
                                                   QVector<quint64> sn)
{
    const DataSupply *ds = scannedSupply(ip);
    if (!ds || !m_map)
        return;
    QVector<quint64> unknown;
    for (const quint64 uid : std::as_const(sn)) {
        if (!lightForSerial(uid))
            unknown.append(uid);
    }
    const int port = portNum - 1;
    reportLights(ds->uid(), port, m_scans.freshSerials(ip, port, unknown));
}

void DiscoveryEngine::handleCAScanResponse(unsigned int ip, unsigned char port1,
                                           unsigned char port2)
{
    DataSupply *ds = scannedSupply(ip);
    // CA counts describe the whole interface: the first reply of a scan holds for it.
    if (!ds || !m_map || dropsCAScans(ds->serialNumber()) || !m_scans.takesCACounts(ip))
        return;
    if (port1 + port2 > 0 && m_scans.admit(ip, 0, port1 + port2, true) == 0)
        return;
    QList<Light *> batch;
    for (int i = 0; i < port1 + port2; ++i) {
        const quint64 uid = m_map->nextUid();
        Light *light = makeBatchLight(uid, uid, ds, 0, 3 * i);
        batch.append(light);
        m_lights.insert(uid, light);
    }
    handOnCounts(ds, {batch});
}

void DiscoveryEngine::handleBlinkScan2Reply(unsigned int ip,
                                            const OrvexDatagrams::BlinkScan2ReplyData &reply)
{
    // Serial numbers and UIDs are taken list by list; fixture counts by CountGatherer, since
    // only several answers tell a copy of a list from a list of its own.
    const QList<CountAnswers::List> lists = CountRounds::countLists(reply);
    if (lists.isEmpty())
        return;
    const DataSupply *ds = scannedSupply(ip);
    if (!ds || !m_scans.takesCounts(ip))
        return;
    if (!m_counts->isGathering(ip))
        startCounting(ds, ip);
    m_counts->datagram(ip, lists);
}

void DiscoveryEngine::startCounting(const DataSupply *ds, quint32 ip)
{
    const RequestRepeater *copies = m_scanRepeats.value(ip);
    const bool firstIsOneAnswer = copies && copies->sent() <= 1;
    // The answers to the scan's copies overlap: from here on the rounds ask, one at a time.
    stopRepeats(m_scanRepeats, ip);
    m_countDoubts.remove(ds->uid());
    m_counts->start(ip, countTiming(), firstIsOneAnswer, MaxLightsPerPort,
                    m_scans.countValueLimit(ip));
    emit lightCountRound(ds->uid(), 0);
}

void DiscoveryEngine::askForCountsAgain(quint32 ip, int round)
{
    const DataSupply *ds = dataSupplyForIp(ip);
    if (!ds || !m_scans.isScanning(ip)) {
        m_counts->stop(ip);
        return;
    }
    m_orvex->sendBlinkScan2(ds->ipAddress().toLatin1());
    emit lightCountRound(ds->uid(), round);
}

CountRounds::Timing DiscoveryEngine::countTiming()
{
    const NetworkSettings &settings = NetworkSettings::instance();
    CountRounds::Timing timing;
    timing.quietMs = settings.countQuietMs;
    timing.answerWaitMs = settings.countAnswerWaitMs;
    timing.roundMs = settings.countRoundMs;
    timing.settleMs = settings.countSettleMs;
    timing.gatherMs = settings.countGatherMs;
    timing.maxRounds = settings.countMaxRounds;
    return timing;
}

void DiscoveryEngine::readArrivedReplies()
{
    // Bounded, so that a flood cannot hold the window here either.
    for (int pass = 0; pass < 64 && m_orvex->socket() && m_orvex->socket()->hasPendingDatagrams();
         ++pass)
        m_orvex->checkSocket();
}

void DiscoveryEngine::takeCounts(quint32 ip, const CountAnswers::Result &result)
{
    DataSupply *ds = dataSupplyForIp(ip);
    if (!ds || !m_map || !m_scans.takesCounts(ip))
        return;
    m_scans.settleCounts(ip);
    QHash<int, CountAnswers::Doubt> &doubts = m_countDoubts[ds->uid()];
    doubts.clear();
    for (auto it = result.unsettled.cbegin(); it != result.unsettled.cend(); ++it)
        doubts.insert(quint8(it.key() - 1), it.value());
    QList<QList<Light *>> batches;
    for (const CountAnswers::List &list : result.lists) {
        const int port = quint8(list.port - 1);
        // The scan's limits hold for counted lights too: a port's fixtures whole or not at all.
        if (m_scans.admit(ip, port, int(countedLights(list.counts)), true) == 0) {
            doubts.insert(port, CountAnswers::Doubt::TooManyLights);
            continue;
        }
        batches.append(makeFixtures(ds, port, list.counts));
    }
    if (!doubts.isEmpty()) {
        QList<int> ports = doubts.keys();
        std::sort(ports.begin(), ports.end());
        qDebug() << "Light scan: the fixture counts of" << ds->ipAddress() << "ports" << ports
                 << "could not be settled";
        emit lightCountsUnsettled(ds->uid(), ports);
    }
    if (!result.unchecked.isEmpty()) {
        QList<int> ports;
        for (const int port : result.unchecked)
            ports.append(quint8(port - 1));
        emit lightCountsUnchecked(ds->uid(), ports);
    }
    handOnCounts(ds, batches);
}

QList<Light *> DiscoveryEngine::makeFixtures(const DataSupply *ds, int port,
                                             const QVector<quint64> &counts)
{
    QList<Light *> lights;
    for (const quint64 count : counts) {
        const quint64 fixture = m_map->nextUid();
        for (quint64 j = 0; j < count; ++j) {
            const quint64 uid = j == 0 ? fixture : m_map->nextUid();
            Light *light =
                makeBatchLight(uid, ds->serialNumber(), ds, quint8(port), int(3 * j), fixture);
            lights.append(light);
            m_lights.insert(ds->serialNumber(), light);
        }
    }
    return lights;
}

void DiscoveryEngine::handOnCounts(DataSupply *ds, const QList<QList<Light *>> &batches)
{
    const quint64 serial = quint32(ds->serialNumber());
    const QSet<QString> tokens =
        m_deviceDictionary->isKnownSerial(serial)
            ? readableTokens(serial, m_deviceDictionary->memoryMapTokens(serial), nullptr)
            : QSet<QString>();
    QList<QList<QPointer<Light>>> &lists = m_caLightLists[serial];
    for (const QList<Light *> &batch : batches)
        lists.append(QList<QPointer<Light>>(batch.cbegin(), batch.cend()));
    m_caLightOwners.insert(serial, ds->uid());
    // Nothing to read from the interface: the lights go out as they were made.
    if (tokens.isEmpty()) {
        finishInterfaceRead(serial, false);
        return;
    }
    Reading &reading = startReading(m_interfaceReads, serial, nullptr);
    reading.pending = tokens;
    if (!sendNextToken(reading, ReadMethod::OGet, ds->ipAddress().toLatin1(), serial))
        finishInterfaceRead(serial);
}

void DiscoveryEngine::handleDeviceVariableReply(uint ip, quint16 valueID, quint32 value)
{
    DataSupply *ds = dataSupplyForIp(ip);
    if (!ds)
        return;
    const quint64 serial = quint32(ds->serialNumber());
    // An unasked or late reply would rewrite the interface, and one arriving before the real
    // answer would be the value its lights take.
    Reading *reading = readingAnswered(m_interfaceReads, serial, ReadMethod::OGet, valueID, ip);
    if (!reading)
        return;
    const QByteArray replyIp = ds->ipAddress().toLatin1();
    const QString token = m_deviceDictionary->tokenForName(serial, valueID);
    if (token != QLatin1String("Unknown Token")) {
        QHash<QString, quint32> &values = m_interfaceValues[serial];
        if (!values.contains(token))
            values.insert(token, value);
        ds->setProperty(m_propertyMapper->stringName(token),
                        m_propertyMapper->toDisplayValue(token, numberText(value)));
    }
    consumeAnswer(*reading, serial, valueID);
    if (!sendNextToken(*reading, ReadMethod::OGet, replyIp, serial))
        finishInterfaceRead(serial);
}

void DiscoveryEngine::finishInterfaceRead(quint64 serial, bool valuesRead)
{
    endReading(m_interfaceReads, serial);
    const QList<QList<QPointer<Light>>> batches = m_caLightLists.take(serial);
    const quint64 owner = m_caLightOwners.take(serial);
    const QHash<QString, quint32> values = m_interfaceValues.value(serial);
    // In the device's order: a port's later lists follow its earlier ones on the wire.
    for (const QList<QPointer<Light>> &batch : batches)
        emitBatch(batch, valuesRead ? &values : nullptr);
    emit lightCountsComplete(owner);
}

void DiscoveryEngine::emitBatch(const QList<QPointer<Light>> &batch,
                                const QHash<QString, quint32> *values)
{
    QList<Light *> lights;
    int channel = 0;
    for (const QPointer<Light> &light : batch) {
        // Deleted by the receiver of an earlier batch meanwhile.
        if (!light)
            continue;
        if (values) {
            // The values read may change the footprint, so the lights are packed anew.
            for (auto v = values->cbegin(); v != values->cend(); ++v)
                setLightProperty(m_propertyMapper->stringName(v.key()), numberText(v.value()),
                                 light);
            light->setDmxChannel(channel);
            channel = int(light->lastChannel()) + 1;
        }
        lights.append(light);
    }
    emit discoveredLights(lights);
}

// ---------------------------------------------------------------------------------------------
// Reading light and interface data

QSet<QString> DiscoveryEngine::readableTokens(quint64 serial, const QStringList &tokens,
                                              Light *staticTo)
{
    QSet<QString> readable;
    for (const QString &name : std::as_const(m_propertyNames)) {
        const QString token = m_propertyMapper->tokenName(name, tokens);
        if (token.contains(QLatin1String("Unsupported Property")))
            continue;
        if (staticTo && m_deviceDictionary->hasStaticValue(token, serial)) {
            setLightProperty(name, numberText(m_deviceDictionary->staticValue(token, serial)),
                             staticTo);
            continue;
        }
        // One request reads one address: a value spread over several addresses has no read
        // here, and left pending it would hold up every token after it.
        const QList<quint16> addresses = m_deviceDictionary->tokenAddresses(serial, token);
        if (addresses.size() == 1 && addresses.first() != 0)
            readable.insert(token);
    }
    return readable;
}

DiscoveryEngine::Reading &DiscoveryEngine::startReading(Readings &readings, quint64 serial,
                                                        Light *light)
{
    endReading(readings, serial);
    Reading &reading = readings[serial];
    reading.light = light;
    reading.retryTimer = new WindowTimer(this);
    connect(reading.retryTimer, &WindowTimer::timeout, this, &DiscoveryEngine::handleTimeout);
    return reading;
}

void DiscoveryEngine::endReading(Readings &readings, quint64 serial)
{
    const auto it = readings.find(serial);
    if (it == readings.end())
        return;
    // A read that fails ends inside its own timer's timeout.
    it->retryTimer->dismiss();
    readings.erase(it);
}

bool DiscoveryEngine::send(const ReadRequest &request)
{
    switch (request.method) {
    case ReadMethod::EERead:
        return m_orvex->sendEERead(request.ip, quint32(request.sn), request.address);
    case ReadMethod::ORDMGet:
        return m_orvex->sendRdmGet(request.ip, request.sn, request.address);
    case ReadMethod::OGet:
        m_orvex->sendGetDeviceVariable(request.ip, request.address);
        return true;
    }
    return false;
}

bool DiscoveryEngine::sendAndArm(Reading &reading, const ReadRequest &request)
{
    reading.inFlight = request;
    reading.inFlight.target = 0;
    parseDottedQuad(request.ip, &reading.inFlight.target);
    reading.retries = 0;
    reading.retryTimer->start(NetworkSettings::instance().discoveryRetryMs);
    return send(request);
}

bool DiscoveryEngine::sendNextToken(Reading &reading, ReadMethod method, const QByteArray &ip,
                                    quint64 serial)
{
    while (!reading.pending.isEmpty()) {
        const QString token = *reading.pending.cbegin();
        const QList<quint16> addresses = m_deviceDictionary->tokenAddresses(serial, token);
        if (addresses.size() == 1) {
            sendAndArm(reading, {method, ip, serial, addresses.first(), token});
            return true;
        }
        reading.pending.remove(token);
    }
    return false;
}

void DiscoveryEngine::consumeAnswer(Reading &reading, quint64 serial, quint16 address)
{
    // The answer settles the token asked for, applied or not: left pending, the same read
    // would go out again at once, and again, for ever.
    reading.retryTimer->stop();
    reading.pending.remove(reading.inFlight.token);
    reading.pending.remove(m_deviceDictionary->tokenForName(serial, address));
}

DiscoveryEngine::Reading *DiscoveryEngine::readingAnswered(Readings &readings, quint64 serial,
                                                           ReadMethod method, quint16 address,
                                                           quint32 from)
{
    const auto it = readings.find(serial);
    if (it == readings.end() || it->inFlight.method != method || it->inFlight.address != address ||
        it->inFlight.target != from)
        return nullptr;
    return &*it;
}

bool DiscoveryEngine::readLightData(Light *light, const QString &ip)
{
    if (!light)
        return false;
    const quint64 serial = light->serialNumber();
    light->setModelName(
        m_deviceDictionary->deviceName(serial).remove(QStringLiteral("Unknown Device")));
    QSet<QString> pending;
    if (m_deviceDictionary->isKnownSerial(serial)) {
        const QStringList tokens = m_deviceDictionary->memoryMapTokens(serial) +
                                   m_deviceDictionary->staticValueNames(serial);
        pending = readableTokens(serial, tokens, light);
    }
    Reading &reading = startReading(m_lightReads, serial, light);
    reading.pending = pending;
    const QByteArray address = ip.toLatin1();
    bool sent = false;
    if (serial <= 0xFFFFFFFFu) {
        // Armed like every later read: a lost answer would otherwise end the read for ever.
        sent = sendAndArm(reading, {ReadMethod::EERead, address, serial, DmxAddressHigh, {}});
    } else {
        QThread::msleep(ulong(NetworkSettings::instance().rdmPauseMs));
        sent = sendAndArm(
            reading, {ReadMethod::ORDMGet, address, serial, OrvexDatagrams::RdmDeviceInfo,
                      m_deviceDictionary->tokenForName(serial, OrvexDatagrams::RdmDeviceInfo)});
    }
    if (!sent)
        endReading(m_lightReads, serial);
    return sent;
}

void DiscoveryEngine::handleBlinkEEReadResponse(unsigned int ip, unsigned int sn,
                                                unsigned char addr, unsigned char b)
{
    Reading *reading = readingAnswered(m_lightReads, sn, ReadMethod::EERead, addr, ip);
    if (!reading)
        return;
    const QPointer<Light> light = reading->light;
    if (!light) {
        endReading(m_lightReads, sn);
        return;
    }
    const QByteArray replyIp = QHostAddress(ip).toString().toLatin1();
    if (addr == DmxAddressHigh) {
        reading->retryTimer->stop();
        sendAndArm(*reading, {ReadMethod::EERead, replyIp, sn, DmxAddressLow, {}});
        light->setDmxChannel((light->dmxChannel() & 0x00FF) + b * 256);
        return;
    }
    consumeAnswer(*reading, sn, addr);
    quint32 value = b;
    if (addr == DmxAddressLow) {
        light->setDmxChannel((light->dmxChannel() & 0xFF00) + b);
        value = quint32(light->dmxChannel());
    }
    const QString token = m_deviceDictionary->tokenForName(sn, addr);
    setLightProperty(m_propertyMapper->stringName(token), numberText(value), light);
    continueLightRead(sn, replyIp, ReadMethod::EERead);
}

void DiscoveryEngine::handleRDMGetReply(quint32 ip, quint64 sn, quint16 pid, QString value)
{
    Reading *reading = readingAnswered(m_lightReads, sn, ReadMethod::ORDMGet, pid, ip);
    if (!reading)
        return;
    const QPointer<Light> light = reading->light;
    if (!light) {
        endReading(m_lightReads, sn);
        return;
    }
    consumeAnswer(*reading, sn, pid);
    QThread::msleep(ulong(NetworkSettings::instance().rdmPauseMs));
    const QString name = m_propertyMapper->stringName(m_deviceDictionary->tokenForName(sn, pid));
    if (name.compare(QLatin1String("DMX Address"), Qt::CaseInsensitive) == 0) {
        // RDM addresses count from 1, channels from 0.
        value = numberText(quint16(value.toUInt() - 1u));
    } else if (name.compare(QLatin1String("Device Model Description"), Qt::CaseInsensitive) == 0) {
        value = m_propertyMapper->toDisplayValueByName(name, value);
    } else if (name.compare(QLatin1String("Device Info"), Qt::CaseInsensitive) == 0) {
        // Only now is the model known, and with it what else there is to read.
        reading->pending.unite(
            readableTokens(sn, m_deviceDictionary->memoryMapTokens(sn, value), nullptr));
        reading->pending.remove(reading->inFlight.token);
    }
    setLightProperty(name, value, light);
    continueLightRead(sn, QHostAddress(ip).toString().toLatin1(), ReadMethod::ORDMGet);
}

void DiscoveryEngine::continueLightRead(quint64 serial, const QByteArray &ip, ReadMethod method)
{
    // Looked up again: applying a value runs the light's receivers, which may have ended or
    // restarted this read.
    const auto it = m_lightReads.find(serial);
    if (it == m_lightReads.end() || it->retryTimer->isActive())
        return;
    if (sendNextToken(*it, method, ip, serial))
        return;
    endReading(m_lightReads, serial);
    emit lightDataReadComplete(serial);
}

void DiscoveryEngine::handleTimeout()
{
    const auto *timer = qobject_cast<WindowTimer *>(sender());
    for (Readings *readings : {&m_lightReads, &m_interfaceReads}) {
        for (auto it = readings->begin(); it != readings->end(); ++it) {
            if (it->retryTimer == timer) {
                retry(*readings, it.key(), *it);
                return;
            }
        }
    }
}

void DiscoveryEngine::retry(Readings &readings, quint64 serial, Reading &reading)
{
    const ReadRequest request = reading.inFlight;
    qInfo() << "No response received from device";
    qInfo() << "ip: " << request.ip << "sn : " << request.sn << "read address: " << request.address;
    if (reading.retries >= NetworkSettings::instance().lightReadMaxRetries) {
        qInfo() << "Read failed after" << reading.retries << "retries";
        // An interface read still hands its lights on, with the values it got.
        if (&readings == &m_interfaceReads) {
            finishInterfaceRead(serial);
            return;
        }
        endReading(readings, serial);
        emit lightDataReadFailed(serial);
        return;
    }
    // The same socket: a fresh one would lose the answers still on their way to this one,
    // to this read's earlier tries and to every other read.
    qInfo() << "Retry read";
    ++reading.retries;
    reading.retryTimer->start(NetworkSettings::instance().discoveryRetryMs);
    send(request);
}

int DiscoveryEngine::deviceTypeOf(const Light *light) const
{
    const quint64 serial = light->serialNumber();
    if (m_deviceDictionary->isKnownSerial(serial))
        return m_deviceDictionary->deviceType(serial);
    // RDM devices are known by the model their DEVICE_INFO names.
    const DeviceEntry *entry = m_deviceDictionary->entryForSerialAndName(
        serial, light->property(QStringLiteral("Device Info")));
    return entry ? entry->deviceType() : DeviceType::UNKNOWN;
}

bool DiscoveryEngine::setLightProperty(const QString &name, const QString &value, Light *light)
{
    if (!light)
        return false;
    const quint32 v = value.toUInt();
    if (name == QLatin1String("Resolution")) {
        light->setResolution(v);
    } else if (name == QLatin1String("Dimming Curve")) {
        light->setDimmingCurve(v);
    } else if (name == QLatin1String("Color Control Mode") ||
               name == QLatin1String("Corlend Mode")) {
        light->setColorControlMode(v);
        light->setProperty(name, m_propertyMapper->toDisplayValueByName(name, numberText(v)));
    } else if (name == QLatin1String("DMX Personality")) {
        light->setProperty(name, m_propertyMapper->toDisplayValueByName(name, numberText(v / 255)));
    } else if (name == QLatin1String("LED Chemistry")) {
        light->setLedChemistry(v);
    } else if (name == QLatin1String("Hueweave")) {
        light->setHueweaveEnabled(int(v));
    } else if (name == QLatin1String("Half / Full Mode")) {
        light->setHalfFullMode(v != 0);
    } else if (name == QLatin1String("Quy Input Mode")) {
        light->setWhiteInputMode(v == 0 ? 1 : 0);
    } else if (name == QLatin1String("Quy/Zyr Input Mode")) {
        light->setWhiteInputMode(int(v));
    } else if (name == QLatin1String("DMX Address")) {
        light->setDmxChannel(int(v));
    } else if (name == QLatin1String("Device Info")) {
        light->setProperty(name, value);
        const quint64 serial = light->serialNumber();
        const DeviceEntry *entry = m_deviceDictionary->entryForSerialAndName(serial, value);
        if (entry && DeviceDictionary::isXmxDeviceType(entry->deviceType()))
            light->setModelName(entry->deviceName());
    } else if (name == QLatin1String("Device Model Description")) {
        light->setModelName(value);
    } else if (name == QLatin1String("Pixel Cell Count")) {
        quint32 cells = DeviceDictionary::isRdmFixtureType(deviceTypeOf(light)) ? v / 256 : v;
        light->setProperty(name, numberText(cells == 0 ? 1 : cells));
    } else if (name == QLatin1String("Physical Pixel Count")) {
        light->setProperty(name, value);
    } else {
        return false;
    }
    return true;
}

CountAnswers::Doubt DiscoveryEngine::countDoubt(quint64 interfaceUid, int port) const
{
    return m_countDoubts.value(interfaceUid).value(port, CountAnswers::Doubt::Disagreed);
}
