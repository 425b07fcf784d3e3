#include "editlightsstate.h"

#include "lightpropertytable.h"

#include "model/light.h"

namespace {
const QString DeviceInfo = QStringLiteral("Device Info");
}

EditLightsState::EditLightsState(const Light *light)
    : name(light->name()), serialNumber(light->serialNumber()), port(light->port()),
      dmxChannel(light->dmxChannel()), deviceInfo(light->property(DeviceInfo)), uid(light->uid()),
      modelName(light->modelName())
{}

void EditLightsState::mergeFrom(const EditLightsState &other)
{
    name = other.name;
    serialNumber = other.serialNumber;
    port = other.port;
    dmxChannel = other.dmxChannel;
    deviceInfo = other.deviceInfo;
    modelName = other.modelName;
    for (auto it = other.m_values.cbegin(); it != other.m_values.cend(); ++it)
        m_values.insert(it.key(), it.value());
}

bool EditLightsState::differsFrom(const Light *light) const
{
    if (!light)
        return false;
    if (name != light->name() || serialNumber != light->serialNumber() || port != light->port() ||
        dmxChannel != light->dmxChannel() || modelName != light->modelName() ||
        deviceInfo != light->property(DeviceInfo))
        return true;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        // A device's static values ride along in the state but no light field holds them.
        if (!it.key().isEmpty() && LightPropertyTable::isEditableToken(it.key()) &&
            it.value() != LightPropertyTable::currentValue(light, it.key()))
            return true;
    }
    return false;
}
