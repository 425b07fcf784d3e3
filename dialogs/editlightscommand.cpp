#include "editlightscommand.h"

#include "deviceview.h"
#include "editlightsstate.h"
#include "lightpropertytable.h"

#include "model/light.h"
#include "model/mapmodel.h"

namespace {
const QString DeviceInfo = QStringLiteral("Device Info");
}

EditLightsCommand::EditLightsCommand(int kind, const QSet<Light *> &lights, DeviceView *view,
                                     QSet<Light *> *modified,
                                     const QHash<quint64, EditLightsState *> &pending,
                                     const QHash<quint64, EditLightsState *> &before,
                                     const QHash<quint64, EditLightsState *> &after)
    : m_kind(kind), m_view(view), m_modified(modified), m_pending(pending), m_before(before),
      m_after(after)
{
    m_lights.reserve(lights.size());
    for (Light *light : lights) {
        m_lights.append({light->uid(), light});
        if (!m_map)
            m_map = light->map();
    }
    // Only undoing an apply brings pending edits back.
    for (const auto &entry : std::as_const(m_lights)) {
        if (kind != Apply)
            break;
        if (const EditLightsState *state = pending.value(entry.first))
            m_pendingCopies.insert(entry.first, new EditLightsState(*state));
    }
}

EditLightsCommand::~EditLightsCommand()
{
    qDeleteAll(m_before);
    qDeleteAll(m_after);
    qDeleteAll(m_pendingCopies);
}

void EditLightsCommand::redo()
{
    apply(true);
}

void EditLightsCommand::undo()
{
    apply(false);
}

QList<Light *> EditLightsCommand::liveLights() const
{
    QList<Light *> live;
    live.reserve(m_lights.size());
    for (const auto &entry : m_lights) {
        Light *light = m_map ? m_map->light(entry.first) : entry.second;
        if (light == entry.second && light)
            live.append(light);
    }
    return live;
}

void EditLightsCommand::mark(Light *light, bool on)
{
    if (on) {
        m_modified->insert(light);
    } else if (!m_modified->remove(light)) {
        return;
    }
    if (m_view)
        m_view->setLightItalic(light, on);
}

void EditLightsCommand::apply(bool redo)
{
    const QHash<quint64, EditLightsState *> &states = redo ? m_after : m_before;
    const QList<Light *> lights = liveLights();
    if (m_view)
        m_view->setBulkUpdate(true);
    for (Light *light : lights) {
        if (m_kind == Edit)
            applyEdit(light, states);
        else
            applyToLight(light, states, redo);
    }
    if (m_view)
        m_view->setBulkUpdate(false);
}

void EditLightsCommand::applyEdit(Light *light, const QHash<quint64, EditLightsState *> &states)
{
    const EditLightsState *state = states.value(light->uid());
    EditLightsState *pending = m_pending.value(light->uid());
    if (!state || !pending)
        return;
    pending->mergeFrom(*state);
    mark(light, pending->differsFrom(light));
}

void EditLightsCommand::applyToLight(Light *light, const QHash<quint64, EditLightsState *> &states,
                                     bool redo)
{
    const EditLightsState *state = states.value(light->uid());
    if (!state)
        return;
    // Unchanged fields are not written again: each write is an update signal that every view
    // of the map answers, for each of thousands of lights.
    if (light->property(DeviceInfo) != state->deviceInfo)
        light->setProperty(DeviceInfo, state->deviceInfo);
    if (light->name() != state->name)
        light->setName(state->name);
    if (light->port() != state->port)
        light->setPort(quint8(state->port));
    if (light->dmxChannel() != state->dmxChannel)
        light->setDmxChannel(state->dmxChannel);
    if (light->modelName() != state->modelName)
        light->setModelName(state->modelName);
    if (state->serialNumber != light->serialNumber()) {
        if (m_view)
            m_view->moveLightItem(light->uid(), light->serialNumber(), state->serialNumber);
        light->setSerialNumber(state->serialNumber);
    }
    for (auto it = state->values().cbegin(); it != state->values().cend(); ++it) {
        if (LightPropertyTable::hasSideEffects(it.key()) ||
            LightPropertyTable::currentValue(light, it.key()) != it.value())
            LightPropertyTable::writeValue(light, it.key(), it.value());
    }
    mark(light, state->differsFrom(light) || !redo);
    EditLightsState *pending = m_pending.value(light->uid());
    const EditLightsState *source = redo ? state : m_pendingCopies.value(light->uid());
    if (pending && source) {
        pending->clearPropertyValues();
        pending->mergeFrom(*source);
    }
}
