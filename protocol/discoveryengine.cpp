#include "discoveryengine.h"

#include "devices/devicedictionary.h"
#include "devices/propertymapper.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/framerelay.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"

#include <QHostAddress>
#include <QTimer>

DiscoveryEngine::DiscoveryEngine(MapModel *map, EffectEngine *effectEngine)
    : m_map(map), m_effectEngine(effectEngine)
{
    if (!map || !effectEngine)
        qWarning() << "DiscoveryEngine needs a map model and an effect engine";
    if (m_effectEngine) {
        m_effectEngineWasPaused = m_effectEngine->isPaused();
        m_effectEngine->setPaused(true);
    }
    m_orvex = new Orvex(this);
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &DiscoveryEngine::handleTimeout);
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
    connect(m_orvex, &Orvex::signalBlinkScan2CAResponse, this,
            &DiscoveryEngine::handleBlinkScan2CAResponse);
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

void DiscoveryEngine::discoverControllers()
{
    m_orvex->sendDiscover(NetworkSettings::instance().discoverCarriedAddress);
    m_dataSupplyByIp.clear();
    m_dataSupplyByUid.clear();
    m_pendingInterfaceReads.clear();
    m_caLightLists.clear();
    m_interfaceValues.clear();
    m_lights.clear();
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
    case 3:
        m_orvex->sendDiscoverPorts(ds->ipAddress().toLatin1());
        break;
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
    const auto it = m_lights.find(serial);
    if (it == m_lights.end())
        return;
    Light *light = it->data();
    m_lights.erase(it);
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

// Light scans and reading light data are not built yet; their entry points exist so that
// callers compile against the final interface.

void DiscoveryEngine::discoverLights(DataSupply *ds)
{
    Q_UNUSED(ds)
}

bool DiscoveryEngine::readLightData(Light *light, const QString &ip)
{
    Q_UNUSED(light)
    Q_UNUSED(ip)
    return false;
}

bool DiscoveryEngine::setLightProperty(const QString &name, const QString &value, Light *light)
{
    Q_UNUSED(name)
    Q_UNUSED(value)
    Q_UNUSED(light)
    return false;
}

void DiscoveryEngine::handleTimeout() {}

void DiscoveryEngine::handleBlinkScanResponse(unsigned int ip, unsigned int sn)
{
    Q_UNUSED(ip)
    Q_UNUSED(sn)
}

void DiscoveryEngine::handleBlinkScan2SNResponse(unsigned int ip, unsigned char portNum,
                                                 unsigned char snCount, QVector<quint64> sn)
{
    Q_UNUSED(ip)
    Q_UNUSED(portNum)
    Q_UNUSED(snCount)
    Q_UNUSED(sn)
}

void DiscoveryEngine::handleCAScanResponse(unsigned int ip, unsigned char port1,
                                           unsigned char port2)
{
    Q_UNUSED(ip)
    Q_UNUSED(port1)
    Q_UNUSED(port2)
}

void DiscoveryEngine::handleBlinkScan2CAResponse(unsigned int ip, unsigned char portNum,
                                                 unsigned char fixtureCount, QVector<quint64> sn)
{
    Q_UNUSED(ip)
    Q_UNUSED(portNum)
    Q_UNUSED(fixtureCount)
    Q_UNUSED(sn)
}

void DiscoveryEngine::handleBlinkEEReadResponse(unsigned int ip, unsigned int sn,
                                                unsigned char addr, unsigned char b)
{
    Q_UNUSED(ip)
    Q_UNUSED(sn)
    Q_UNUSED(addr)
    Q_UNUSED(b)
}

void DiscoveryEngine::handleDeviceVariableReply(uint ip, quint16 valueID, quint32 value)
{
    Q_UNUSED(ip)
    Q_UNUSED(valueID)
    Q_UNUSED(value)
}

void DiscoveryEngine::handleBlinkScan2ORDMResponse(uint ip, unsigned char portNum,
                                                   QVector<quint64> sn)
{
    Q_UNUSED(ip)
    Q_UNUSED(portNum)
    Q_UNUSED(sn)
}

void DiscoveryEngine::handleRDMGetReply(quint32 ip, quint64 sn, quint16 pid, QString value)
{
    Q_UNUSED(ip)
    Q_UNUSED(sn)
    Q_UNUSED(pid)
    Q_UNUSED(value)
}
