#include "lightdiscoveryrig.h"

#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "protocol/discoveryengine.h"
#include "protocol/networksettings.h"
#include "protocol/orvex.h"
#include "protocol/osocket.h"
#include "support/simulatedorvexnetwork.h"

#include <algorithm>

#include <QTest>

LightDiscoveryRig::LightDiscoveryRig()
{
    NetworkSettings &settings = NetworkSettings::instance();
    settings.restoreDefaults();
    SimulatedOrvexNetwork::useLoopback();
    settings.discoveryRetryMs = 200;
    settings.rdmPauseMs = 0;
    settings.requestRepeatMs = 20;
    useShortCountRounds();
    net = std::make_unique<SimulatedOrvexNetwork>();
    device = net->addInterface(QHostAddress(QStringLiteral("127.0.0.2")));
    map = std::make_unique<MapModel>();
    effects = std::make_unique<EffectEngine>(map.get(), 100);
    engine = std::make_unique<DiscoveryEngine>(map.get(), effects.get());
    QObject::connect(engine.get(), &DiscoveryEngine::discoveredLight,
                     [this](Light *light) { found.append(light); });
    QObject::connect(engine.get(), &DiscoveryEngine::discoveredLights,
                     [this](QList<Light *> &list) { batches.append(list); });
    QObject::connect(engine.get(), &DiscoveryEngine::lightCountsComplete,
                     [this](quint64 uid) { countsComplete.append(uid); });
    QObject::connect(engine.get(), &DiscoveryEngine::lightCountsUnsettled,
                     [this](quint64, const QList<int> &ports) { unsettledPorts += ports; });
    QObject::connect(engine.get(), &DiscoveryEngine::lightDataReadComplete,
                     [this](quint64 serial) { completed.append(serial); });
}

LightDiscoveryRig::~LightDiscoveryRig()
{
    engine.reset();
    effects.reset();
    map.reset();
    supplies.clear();
    net.reset();
    NetworkSettings::instance().restoreDefaults();
}

DataSupply *LightDiscoveryRig::supply(quint64 serial, quint16 version)
{
    auto ds = std::make_unique<DataSupply>(2);
    ds->setUid(serial);
    ds->setSerialNumber(serial);
    ds->setProtocolVersion(version);
    ds->setIpAddress(device->address());
    supplies.push_back(std::move(ds));
    return supplies.back().get();
}

bool LightDiscoveryRig::scan(DataSupply *ds, int lights, int batchCount)
{
    engine->discoverLights(ds);
    return QTest::qWaitFor([&] { return found.size() >= lights && batches.size() >= batchCount; },
                           5000);
}

void LightDiscoveryRig::useShortCountRounds()
{
    NetworkSettings &settings = NetworkSettings::instance();
    settings.countQuietMs = 40;
    settings.countAnswerWaitMs = 250;
    settings.countRoundMs = 1000;
    settings.countSettleMs = 20;
    settings.countGatherMs = 4000;
}

void LightDiscoveryRig::waitOutCounts()
{
    const NetworkSettings &settings = NetworkSettings::instance();
    QTest::qWait((settings.requestSends + 2) * settings.requestRepeatMs + 50);
    const auto gathering = [this] {
        return std::any_of(supplies.cbegin(), supplies.cend(),
                           [this](const auto &ds) { return engine->isGatheringCounts(ds.get()); });
    };
    if (!QTest::qWaitFor([&] { return !gathering(); },
                         settings.countGatherMs + settings.countRoundMs))
        qWarning() << "The fixture counts are still being gathered";
    QTest::qWait(2 * settings.countQuietMs);
}

QHash<quint64, Light *>
LightDiscoveryRig::scanLights(const QList<SimulatedOrvexInterface::Light> &lights)
{
    device->lights = lights;
    QHash<quint64, Light *> bySerial;
    if (scan(supply(0x990001, 2), int(lights.size()))) {
        for (Light *light : std::as_const(found))
            bySerial.insert(light->serialNumber(), light);
    }
    return bySerial;
}

bool LightDiscoveryRig::read(Light *light)
{
    const qsizetype before = completed.size();
    return engine->readLightData(light, QStringLiteral("127.0.0.2")) &&
           QTest::qWaitFor([&] { return completed.size() > before; }, 5000);
}

bool LightDiscoveryRig::sendToEngine(SimulatedOrvexInterface *from, const QByteArray &datagram)
{
    const OSocket *socket = engine->orvex()->socket();
    return from->sendRawTo(datagram, socket->localAddress(), socket->localPort());
}
