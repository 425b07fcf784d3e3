#include "model/mapmodel.h"
#include "model/posebounds.h"

#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"

#include <QTime>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <mutex>

namespace {

constexpr int ReservedEntries = 15000;

int progressStep(int total)
{
    return std::max(total / 100, 1);
}

// One counter per process, shared by every model: uids never go back within a run.
quint64 &uidCounter()
{
    static quint64 counter = 0;
    return counter;
}

} // namespace

MapModel::MapModel()
{
    m_lights.reserve(ReservedEntries);
    m_groups.reserve(ReservedEntries);
    m_dataSupplies.reserve(ReservedEntries);
    std::srand(unsigned(QTime::currentTime().msec()));
}

MapModel::~MapModel()
{
    // Lights go first so nothing they relay reaches a half-destroyed group.
    qDeleteAll(m_lights);
    m_lights.clear();
    ++m_lightGeneration;
    ++m_lightEntryGeneration;
    qDeleteAll(m_groups);
    m_groups.clear();
    m_changedGroups.clear();
    qDeleteAll(m_dataSupplies);
    m_dataSupplies.clear();
    m_interfaceOrderValid = false;
}

bool MapModel::isEmpty() const
{
    return m_lights.isEmpty() && m_groups.isEmpty() && m_dataSupplies.isEmpty();
}

quint64 MapModel::nextUid()
{
    static std::once_flag seeded;
    // The runtime's generator ranges wider than the classic 15 bits; the start stays in
    // 0..32767 so the first uid of a run lies in 1..32768.
    std::call_once(seeded, [] { uidCounter() = quint64(std::rand() & 0x7FFF); });
    quint64 &counter = uidCounter();
    for (;;) {
        ++counter;
        if (!m_dataSupplies.contains(counter) && !m_lights.contains(counter) &&
            !m_groups.contains(counter))
            return counter;
    }
}

QRect MapModel::lightsBoundingRect() const
{
    PoseBounds bounds;
    for (const Light *light : m_lights)
        bounds.add(light->pose());
    return bounds.rect();
}

// ---------------------------------------------------------------------------------------------
// Entering objects

bool MapModel::loadDataSupply(DataSupply *dataSupply)
{
    if (!dataSupply)
        return false;
    if (m_dataSupplies.contains(dataSupply->uid())) {
        emit msg(QStringLiteral("loadDataSupply: uid already exists"));
        return false;
    }
    dataSupply->connectToMap(this);
    m_dataSupplies.insert(dataSupply->uid(), dataSupply);
    m_interfaceOrderValid = false;
    return true;
}

bool MapModel::loadGroup(Group *group)
{
    if (!group)
        return false;
    if (m_groups.contains(group->uid())) {
        emit msg(QStringLiteral("loadGroup: uid already exists"));
        return false;
    }
    // An own group read from a file holds a copy of its light's name; sharing the light's
    // text instead saves one string per light.
    if (group->type() == Group::OwnLight) {
        const Light *own = light(group->uid());
        if (own && own->name() == group->name())
            group->setName(own->name());
    }
    // Every light has a group of its own, so a few spare bytes per member list add up.
    group->squeezeChildren();
    group->setModel(this);
    m_groups.insert(group->uid(), group);
    m_memberIndexValid = false;
    return true;
}

bool MapModel::loadLight(Light *light)
{
    if (!light)
        return false;
    const quint64 uid = light->uid();
    const bool taken = !m_lights.contains(uid);
    if (taken) {
        light->connectToMap(this);
        m_lights.insert(uid, light);
        ++m_lightGeneration;
        ++m_lightEntryGeneration;
    } else {
        emit msg(QStringLiteral("loadLight: uid already exists"));
    }
    emit updatedLightProperty(uid, QStringLiteral("DMX Address"),
                              QString::number(qint64(light->dmxChannel()) + 1));
    return taken;
}

bool MapModel::addDataSupply(DataSupply *dataSupply)
{
    if (!loadDataSupply(dataSupply))
        return false;
    emit newDataSupply(dataSupply->uid());
    return true;
}

bool MapModel::addGroup(Group *group)
{
    if (!loadGroup(group))
        return false;
    emit newGroup(group->uid());
    return true;
}

bool MapModel::addLight(Light *light)
{
    if (!loadLight(light))
        return false;
    const quint64 uid = light->uid();
    auto *own = new Group(Group::OwnLight, uid, light->name());
    own->addChild(uid);
    if (loadGroup(own))
        emit newGroup(uid);
    else
        delete own;
    emit newLight(uid);
    return true;
}

DataSupply *MapModel::createDataSupply(int type)
{
    if (type != 2 && type != 3 && type != 6 && type != 7)
        return nullptr;
    return new DataSupply(type);
}

// ---------------------------------------------------------------------------------------------
// Removing objects

void MapModel::deleteLight(quint64 uid)
{
    removeLight(uid, &cachedMemberIndex());
    m_memberIndexCache.remove(uid);
}

void MapModel::deleteGroup(quint64 gid)
{
    removeGroup(gid, &cachedMemberIndex());
    m_memberIndexCache.remove(gid);
}

const MapModel::MemberIndex &MapModel::cachedMemberIndex()
{
    if (!m_memberIndexValid || m_memberIndexGeneration != Group::additionsGeneration()) {
        m_memberIndexCache = memberIndex();
        m_memberIndexGeneration = Group::additionsGeneration();
        m_memberIndexValid = true;
    }
    return m_memberIndexCache;
}

MapModel::MemberIndex MapModel::memberIndex() const
{
    MemberIndex index;
    for (auto it = m_groups.cbegin(); it != m_groups.cend(); ++it) {
        for (quint64 member : it.value()->children()) {
            QList<quint64> &holders = index[member];
            if (holders.isEmpty() || holders.last() != it.key())
                holders.append(it.key());
        }
    }
    return index;
}

QList<Group *> MapModel::groupsListing(quint64 member, const MemberIndex *index) const
{
    if (!index)
        return m_groups.values();
    QList<Group *> result;
    for (quint64 gid : index->value(member)) {
        if (Group *group = m_groups.value(gid))
            result.append(group);
    }
    return result;
}

void MapModel::removeLight(quint64 uid, const MemberIndex *index)
{
    emit deletedLight(uid);
    Light *light = m_lights.take(uid);
    if (!light)
        return;
    noteLightLeaving(light);
    const quint64 dataSupplyUid = light->dataSupplyUid();
    delete light;

    for (Group *group : groupsListing(uid, index)) {
        if (group->removeChild(uid) && group->uid() != uid)
            m_changedGroups.insert(group);
    }
    removeGroup(uid, index);
    if (DataSupply *dataSupply = m_dataSupplies.value(dataSupplyUid))
        dataSupply->removeLight(uid);
}

// What a light leaving alone costs the light lists of the frame: its frame state is struck
// from the frame order at the next frame, and only the interfaces that list the light resolve
// their lights again, so deleting many lights never redoes the whole map per light.
void MapModel::noteLightLeaving(const Light *light)
{
    if (m_frameOrderValid && m_frameOrderGeneration == m_lightGeneration) {
        m_leftFrameStates.push_back(light->frameState());
        ++m_frameOrderGeneration;
    }
    ++m_lightGeneration;
    // Every interface is asked, not only the light's own: a list may still name a light that
    // was moved to another interface.
    for (DataSupply *dataSupply : std::as_const(m_dataSupplies))
        dataSupply->forgetLeavingLight(light->uid());
}

void MapModel::removeGroup(quint64 gid, const MemberIndex *index)
{
    Group *group = m_groups.take(gid);
    if (!group)
        return;
    m_changedGroups.remove(group);
    delete group;
    for (Group *other : groupsListing(gid, index)) {
        if (other->removeChild(gid))
            m_changedGroups.insert(other);
    }
    emit deletedGroup(gid);
}

void MapModel::deleteDataSupply(quint64 uid, bool withLights)
{
    DataSupply *dataSupply = m_dataSupplies.value(uid);
    if (!dataSupply)
        return;
    if (withLights) {
        const QList<quint64> lights = dataSupply->lights();
        const int n = int(lights.size());
        emit progressStarted(0, n, QStringLiteral("Deleting DataSupply"));
        const int step = progressStep(n);
        const MemberIndex index = memberIndex();
        for (int i = 1; i <= n; ++i) {
            removeLight(lights.at(i - 1), &index);
            if (i % step == 0)
                emit progressUpdated(i);
        }
        emit progressUpdated(n);
    }
    flushChangedGroups();
    // Looked up again: nothing above removes interfaces, but the pointer must not be trusted
    // across signals that reach arbitrary receivers.
    dataSupply = m_dataSupplies.take(uid);
    m_interfaceOrderValid = false;
    delete dataSupply;
}

bool MapModel::clearMap()
{
    const int total = int(m_lights.size() + m_groups.size() + m_dataSupplies.size());
    const int step = progressStep(total);
    emit progressStarted(0, total, QStringLiteral("Clearing Map..."));
    int counter = 0;
    auto count = [&] {
        ++counter;
        if (counter % step == 0)
            emit progressUpdated(counter);
    };

    const QList<quint64> lightUids = m_lights.keys();
    ++m_lightEntryGeneration;
    for (quint64 uid : lightUids) {
        delete m_lights.take(uid);
        ++m_lightGeneration;
        emit deletedLight(uid);
        count();
    }
    m_canvasChanges.clear();
    const QList<quint64> groupUids = m_groups.keys();
    for (quint64 gid : groupUids) {
        Group *group = m_groups.take(gid);
        m_changedGroups.remove(group);
        delete group;
        emit deletedGroup(gid);
        count();
    }
    const QList<quint64> dataSupplyUids = m_dataSupplies.keys();
    for (quint64 uid : dataSupplyUids) {
        delete m_dataSupplies.take(uid);
        m_interfaceOrderValid = false;
        count();
    }
    m_changedGroups.clear();
    m_imageFile.clear();
    emit progressUpdated(total);
    emit clearedMap();
    return true;
}

void MapModel::flushChangedGroups()
{
    const QSet<Group *> changed = m_changedGroups;
    m_changedGroups.clear();
    for (Group *group : changed) {
        // A receiver of an earlier compile's signals may have deleted a later group.
        if (m_groups.value(group->uid()) == group)
            group->compile();
    }
}

void MapModel::beginBatch()
{
    if (m_batchDepth++ == 0)
        emit batchStarted();
}

void MapModel::endBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0)
        emit batchFinished();
}

// ---------------------------------------------------------------------------------------------
// Output

namespace {

// The interfaces in the kept order, each visited after what it reads was asked for a few
// places ahead, in two stages: its fields, then what they point at. The second stage reads
// only what the first brought, so neither waits on memory; without them every interface of a
// large map would start by waiting for both in turn.
template <typename Iterator, typename Visit>
void walkInterfaces(Iterator begin, Iterator end, Visit &&visit)
{
    constexpr std::ptrdiff_t FieldsAhead = 4;
    constexpr std::ptrdiff_t DataAhead = 3;
    const std::ptrdiff_t count = end - begin;
    auto at = [begin, count](std::ptrdiff_t i, auto &&ask) {
        if (i >= 0 && i < count)
            ask(begin[i]);
    };
    for (std::ptrdiff_t i = -FieldsAhead; i < count; ++i) {
        at(i + FieldsAhead, [](auto *item) { item->prefetchFrameFields(); });
        at(i + DataAhead, [](auto *item) { item->prefetchFrameData(); });
        at(i, visit);
    }
}

} // namespace

void MapModel::updateLights()
{
    // Never 0, which is what a light that no frame wrote holds.
    if (++m_frameSerial == 0)
        m_frameSerial = 1;
    if (m_livePlayDisabled) {
        const std::vector<FrameOrderEntry> &order = lightsInFrameOrder();
        const size_t count = order.size();
        for (size_t i = 0; i < count; ++i) {
            // Ending a frame is a store or two per light: without asking ahead the walk waits
            // on memory for every light of a large map.
            if (i + LightFrameState::PrefetchDistance < count)
                LightFrameState::prefetch(order[i + LightFrameState::PrefetchDistance].state);
            order[i].state->endFrame();
        }
        return;
    }
    qint64 written = 0;
    const std::vector<DataSupply *> &interfaces = interfacesInOrder();
    walkInterfaces(interfaces.cbegin(), interfaces.cend(), [&written](DataSupply *item) {
        item->updateLights();
        written += item->lightsFirstWritten();
    });
    if (written < m_lights.size())
        endUnwrittenFrames();
    if (m_portOutSyncEnabled && m_postSync && !m_dataSupplies.isEmpty())
        emit signalSendPortOutSync();
}

// A light that no interface writes (its interface is not in the map, or lacks its port) ends
// its frame as the others do. Otherwise its effect colours would go on compositing from frame
// to frame, and the colour it shows once it is written would depend on how many frames were
// built whole before, which repeated and partial frames are not.
void MapModel::endUnwrittenFrames()
{
    for (const FrameOrderEntry &entry : lightsInFrameOrder()) {
        if (entry.state->writtenInFrame != m_frameSerial)
            entry.state->endFrame();
    }
}

void MapModel::listUnpaintedLights()
{
    if (LightFrameState::canvasViews == 0)
        return;
    for (const FrameOrderEntry &entry : lightsInFrameOrder())
        entry.state->listIfUnpainted();
}

void MapModel::appendFrameInputs(std::vector<quint64> *words) const
{
    words->push_back(m_lightGeneration);
    words->push_back(LightFrameState::settingsEpoch);
    words->push_back(quint64(m_livePlayDisabled) | quint64(m_colorCacheEnabled) << 1 |
                     quint64(m_postSync) << 2 | quint64(m_portOutSyncEnabled) << 3);
    words->push_back(quint64(m_dataSupplies.size()));
    const std::vector<DataSupply *> &interfaces = interfacesInOrder();
    walkInterfaces(interfaces.cbegin(), interfaces.cend(),
                   [words](const DataSupply *item) { item->appendFrameInputs(words); });
}

const std::vector<DataSupply *> &MapModel::interfacesInOrder() const
{
    if (!m_interfaceOrderValid) {
        m_interfaceOrder.assign(m_dataSupplies.cbegin(), m_dataSupplies.cend());
        // Back to front through memory rather than in the hash's order, which differs from run
        // to run. The effect walk just went front to back over every light's frame state, so
        // the last ones it touched are the ones still in the caches: interfaces made one after
        // another with their lights start from there, where a walk in the same direction would
        // find the front evicted and then evict the back before it got there.
        std::sort(m_interfaceOrder.begin(), m_interfaceOrder.end(), std::greater<DataSupply *>());
        m_interfaceOrderValid = true;
    }
    return m_interfaceOrder;
}

void MapModel::repeatLastFrame()
{
    if (m_livePlayDisabled)
        return;
    for (DataSupply *dataSupply : interfacesInOrder())
        dataSupply->repeatLastFrame();
    if (m_portOutSyncEnabled && m_postSync && !m_dataSupplies.isEmpty())
        emit signalSendPortOutSync();
}

bool MapModel::prepareLightsOnly(const std::vector<quint64> &uids)
{
    m_preparedLights.clear();
    if (m_livePlayDisabled)
        return false;
    for (quint64 uid : uids) {
        const Light *light = m_lights.value(uid, nullptr);
        if (!light)
            return false;
        LightFrameState *state = light->frameState();
        if (state->writtenInFrame != m_frameSerial || state->writes != 1 || !state->writer ||
            !state->writer->takesSingleLightWrites())
            return false;
        m_preparedLights.emplace_back(state->writer, state);
    }
    std::sort(m_preparedLights.begin(), m_preparedLights.end());
    return true;
}

void MapModel::updatePreparedLights()
{
    std::vector<LightFrameState *> states;
    for (DataSupply *dataSupply : interfacesInOrder()) {
        const auto first =
            std::lower_bound(m_preparedLights.begin(), m_preparedLights.end(),
                             std::make_pair(dataSupply, static_cast<LightFrameState *>(nullptr)));
        states.clear();
        for (auto it = first; it != m_preparedLights.end() && it->first == dataSupply; ++it)
            states.push_back(it->second);
        if (states.empty())
            dataSupply->repeatLastFrame();
        else
            dataSupply->rewriteLights(states.data(), states.size());
    }
    m_preparedLights.clear();
    if (m_portOutSyncEnabled && m_postSync && !m_dataSupplies.isEmpty())
        emit signalSendPortOutSync();
}

const std::vector<MapModel::FrameOrderEntry> &MapModel::lightsInFrameOrder()
{
    if (m_frameOrderValid && m_frameOrderGeneration == m_lightGeneration) {
        if (!m_leftFrameStates.empty())
            strikeLeftLights();
        return m_frameOrder;
    }
    m_leftFrameStates.clear();
    m_frameOrder.clear();
    m_frameOrder.reserve(size_t(m_lights.size()));
    for (auto it = m_lights.cbegin(); it != m_lights.cend(); ++it)
        m_frameOrder.push_back({it.value()->frameState(), it.key()});
    // Front to back through memory rather than in hash order: the hardware streams it.
    std::sort(m_frameOrder.begin(), m_frameOrder.end(),
              [](const FrameOrderEntry &a, const FrameOrderEntry &b) {
                  return std::less<const LightFrameState *>()(a.state, b.state);
              });
    m_frameOrderGeneration = m_lightGeneration;
    m_frameOrderValid = true;
    return m_frameOrder;
}

// The order and the departed states are both sorted by address, so one merging pass strikes
// them all and keeps the rest in order.
void MapModel::strikeLeftLights()
{
    std::less<const LightFrameState *> before;
    std::sort(m_leftFrameStates.begin(), m_leftFrameStates.end(), before);
    auto left = m_leftFrameStates.cbegin();
    const auto leftEnd = m_leftFrameStates.cend();
    const auto kept =
        std::remove_if(m_frameOrder.begin(), m_frameOrder.end(), [&](const FrameOrderEntry &entry) {
            while (left != leftEnd && before(*left, entry.state))
                ++left;
            return left != leftEnd && *left == entry.state;
        });
    m_frameOrder.erase(kept, m_frameOrder.end());
    m_leftFrameStates.clear();
}

void MapModel::setColorCacheEnabled(bool enabled)
{
    if (enabled == m_colorCacheEnabled)
        return;
    m_colorCacheEnabled = enabled;
    Light::colorCache()->clear();
    for (Light *light : std::as_const(m_lights))
        light->forgetRenderedColor();
}
