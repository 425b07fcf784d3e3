#include "lightpropertytable.h"

#include "editlightsstate.h"

#include "devices/devicedictionary.h"
#include "devices/propertymapper.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
const QString LedChemistry = QStringLiteral("LED Chemistry");
const QString LedChemistryToken = QStringLiteral("LED_CHEMISTRY");
const QString XmxLedChemistryToken = QStringLiteral("XMX_LED_CHEMISTRY");
const QString VorlethToken = QStringLiteral("VORLETH_MULTI_CH_ENABLE");
const QString QuyInputModeToken = QStringLiteral("QUY_INPUT_MODE");
const QString DeviceInfo = QStringLiteral("Device Info");
const QString UnknownDevice = QStringLiteral("Unknown Device");
// Supplies whose lights all take the properties of one node model.
constexpr quint64 NodeDeviceKey = 0xFDAC0000u;

// Lights of this range have properties that depend on their own LED chemistry.
bool chemistryDependent(quint64 serial)
{
    return serial >= 0xD0000u && serial <= 0xDFFFFu;
}

bool isChemistryToken(const QString &token)
{
    return token == LedChemistryToken || token == XmxLedChemistryToken;
}

QString deviceInfoOf(const Light *light)
{
    return light->property(DeviceInfo);
}
} // namespace

LightPropertyTable::LightPropertyTable(MapModel *map)
    : m_map(map), m_dictionary(DeviceDictionary::instance()), m_mapper(PropertyMapper::instance())
{
    for (const QString &name : editableNames()) {
        const QStringList tokens = m_mapper->entriesByName(name);
        for (const QString &token : tokens)
            m_allowed.insert(token);
    }
    resetChemistryChoices();
}

const QStringList &LightPropertyTable::editableNames()
{
    static const QStringList names{"Resolution",       "Dimming Curve",      "LED Chemistry",
                                   "Hueweave",         "Color Control Mode", "Corlend Mode",
                                   "Half / Full Mode", "Quy Input Mode",     "Quy/Zyr Input Mode",
                                   "DMX Personality"};
    return names;
}

const QStringList &LightPropertyTable::headerLabels()
{
    static const QStringList labels{"Property", "Current Value", "Options"};
    return labels;
}

const QString &LightPropertyTable::noChangeText()
{
    static const QString text = QStringLiteral("No Change");
    return text;
}

const QString &LightPropertyTable::variousText()
{
    static const QString text = QStringLiteral("Various");
    return text;
}

void LightPropertyTable::resetChemistryChoices()
{
    m_chemistryChoices = m_mapper->valueMap(LedChemistry).keys();
}

QSet<QString> LightPropertyTable::allowedOf(const QStringList &tokens) const
{
    QSet<QString> result;
    for (const QString &token : tokens)
        if (m_allowed.contains(token))
            result.insert(token);
    return result;
}

quint64 LightPropertyTable::deviceKey(const Light *light) const
{
    MapModel *map = m_map ? m_map : light->map();
    const DataSupply *ds = map ? map->dataSupply(light->dataSupplyUid()) : nullptr;
    if (!ds || !ds->allPortsType3())
        return m_dictionary->rangeStartForSerial(light->serialNumber());
    static const QRegularExpression nodeSupplies(QStringLiteral("TQ52hx|TQ410|RM-90hx|LV-220"));
    const QString name = m_dictionary->deviceName(ds->serialNumber());
    if (name.compare(UnknownDevice, Qt::CaseInsensitive) == 0)
        return 0;
    if (nodeSupplies.match(name).hasMatch())
        return NodeDeviceKey;
    return m_dictionary->rangeStartForSerial(ds->serialNumber());
}

QSet<QString> LightPropertyTable::computeTokens(const Light *light, quint64 key) const
{
    const quint64 serial = light->serialNumber();
    QSet<QString> tokens = allowedOf(m_dictionary->memoryMapTokens(key));
    QSet<QString> names;
    for (const QString &token : std::as_const(tokens))
        names.insert(m_mapper->stringName(token));
    // The light's own device adds what the device key lacks, but never a second token for a
    // property already shown.
    for (const QString &token : m_dictionary->memoryMapTokens(serial, deviceInfoOf(light)))
        if (m_allowed.contains(token) && !names.contains(m_mapper->stringName(token)))
            tokens.insert(token);
    tokens.unite(allowedOf(m_dictionary->staticValueNames(serial)));
    if (tokens.contains(VorlethToken))
        tokens.insert(LedChemistryToken);
    if (chemistryDependent(serial) && light->ledChemistry() == 0)
        tokens.remove(QuyInputModeToken);
    return tokens;
}

QSet<QString> LightPropertyTable::tokensForLight(const Light *light)
{
    const quint64 key = deviceKey(light);
    // Keyed by everything the set depends on, so lights of one range with different
    // product codes do not share a set.
    const CacheKey cacheKey{key, m_dictionary->rangeStartForSerial(light->serialNumber()),
                            deviceInfoOf(light)};
    if (!chemistryDependent(light->serialNumber())) {
        const auto it = m_cache.constFind(cacheKey);
        if (it != m_cache.constEnd())
            return *it;
    }
    const QSet<QString> tokens = computeTokens(light, key);
    m_cache.insert(cacheKey, tokens);
    return tokens;
}

QSet<QString> LightPropertyTable::selectionTokens(const Light *light)
{
    const auto it = m_selectionTokens.constFind(light);
    return it != m_selectionTokens.constEnd() ? *it : tokensForLight(light);
}

int LightPropertyTable::currentValue(const Light *light, const QString &token)
{
    return valueByName(light, PropertyMapper::instance()->stringName(token));
}

int LightPropertyTable::valueByName(const Light *light, const QString &name)
{
    PropertyMapper *mapper = PropertyMapper::instance();
    if (name == LedChemistry)
        return int(light->ledChemistry());
    if (name == QLatin1String("Dimming Curve"))
        return int(light->dimmingCurve());
    if (name == QLatin1String("Hueweave"))
        return light->hueweaveEnabled();
    if (name == QLatin1String("Color Control Mode") || name == QLatin1String("Corlend Mode"))
        return int(light->colorControlMode());
    if (name == QLatin1String("DMX Personality"))
        return mapper->toRawValueByName(name, light->property(name)).toInt();
    if (name == QLatin1String("Resolution"))
        return int(light->resolution());
    if (name == QLatin1String("Half / Full Mode"))
        return light->halfFullMode();
    if (name == QLatin1String("Quy Input Mode"))
        return light->whiteInputMode() == 0 ? 1 : 0;
    if (name == QLatin1String("Quy/Zyr Input Mode"))
        return int(light->whiteInputMode());
    return 0;
}

bool LightPropertyTable::hasSideEffects(const QString &token)
{
    const QString name = PropertyMapper::instance()->stringName(token);
    return name == LedChemistry || name == QLatin1String("Corlend Mode") ||
           name == QLatin1String("DMX Personality");
}

bool LightPropertyTable::isEditableToken(const QString &token)
{
    return editableNames().contains(PropertyMapper::instance()->stringName(token));
}

int LightPropertyTable::readValue(const Light *light, const QString &token)
{
    const QString name = m_mapper->stringName(token);
    if (name == LedChemistry)
        narrowChemistry(light);
    return valueByName(light, name);
}

void LightPropertyTable::narrowChemistry(const Light *light)
{
    const quint64 serial = light->serialNumber();
    const QString info = deviceInfoOf(light);
    QStringList own = m_dictionary->hueweaveLedChemistries(serial, info);
    const quint32 chemistry = light->ledChemistry();
    if (m_dictionary->hasToken(serial, info, VorlethToken) &&
        (chemistry == 0 || chemistry == 253 || chemistry == 254)) {
        const auto text = [this](int raw) {
            return m_mapper->toDisplayValue(LedChemistryToken, QString::number(raw));
        };
        own = light->halfFullMode() == 0 ? QStringList{text(0)} : QStringList{text(253), text(254)};
    }
    if (own.isEmpty())
        return;
    m_chemistryChoices.erase(std::remove_if(m_chemistryChoices.begin(), m_chemistryChoices.end(),
                                            [&own](const QString &c) { return !own.contains(c); }),
                             m_chemistryChoices.end());
}

void LightPropertyTable::writeValue(Light *light, const QString &token, int value)
{
    PropertyMapper *mapper = PropertyMapper::instance();
    const QString name = mapper->stringName(token);
    const quint32 raw = quint32(value);
    if (name == LedChemistry) {
        DeviceDictionary *dictionary = DeviceDictionary::instance();
        light->setLedChemistry(raw);
        const QString chemistry =
            mapper->toDisplayValue(LedChemistryToken, QString::number(light->ledChemistry()));
        light->setHueweaveProfileId(quint32(
            dictionary->hueweaveProfileId(light->serialNumber(), deviceInfoOf(light), chemistry)));
        light->setHueweaveIoMode(quint32(dictionary->hueweaveIoMode(
            light->serialNumber(), chemistry, int(light->colorControlMode()))));
    } else if (name == QLatin1String("Dimming Curve")) {
        light->setDimmingCurve(raw);
    } else if (name == QLatin1String("Hueweave")) {
        light->setHueweaveEnabled(value);
    } else if (name == QLatin1String("Color Control Mode")) {
        light->setColorControlMode(raw);
    } else if (name == QLatin1String("DMX Personality")) {
        light->setProperty(name, mapper->toDisplayValueByName(name, QString::number(value)));
    } else if (name == QLatin1String("Corlend Mode")) {
        light->setColorControlMode(raw);
        light->setProperty(name, mapper->toDisplayValueByName(name, QString::number(value)));
        light->removeProperty(QStringLiteral("Color Control Mode"));
    } else if (name == QLatin1String("Resolution")) {
        light->setResolution(raw);
    } else if (name == QLatin1String("Half / Full Mode")) {
        light->setHalfFullMode(value != 0);
    } else if (name == QLatin1String("Quy Input Mode")) {
        light->setWhiteInputMode(value == 0 ? 1 : 0);
    } else if (name == QLatin1String("Quy/Zyr Input Mode")) {
        light->setWhiteInputMode(value);
    }
}

QStringList LightPropertyTable::refresh(const QList<Light *> &selection)
{
    m_shown.clear();
    m_common = m_allowed;
    m_selectionTokens.clear();
    m_selectionTokens.reserve(selection.size());
    for (const Light *light : selection) {
        const QSet<QString> tokens = tokensForLight(light);
        m_selectionTokens.insert(light, tokens);
        m_shown.unite(tokens);
        m_common.intersect(tokens);
    }
    QStringList shown(m_shown.cbegin(), m_shown.cend());
    shown.sort();
    return shown;
}

LightPropertyTable::Row LightPropertyTable::row(const QString &token,
                                                const QList<Light *> &selection,
                                                const QHash<quint64, EditLightsState *> &pending)
{
    resetChemistryChoices();
    QSet<int> current;
    QSet<int> pendingValues;
    bool unchangedLight = false;
    int shared = 0;
    const QString name = m_mapper->stringName(token);
    const bool chemistry = name == LedChemistry;
    for (const Light *light : selection) {
        const auto known = m_selectionTokens.constFind(light);
        if (known != m_selectionTokens.constEnd() ? !known->contains(token)
                                                  : !tokensForLight(light).contains(token))
            continue;
        if (chemistry)
            narrowChemistry(light);
        const int v = valueByName(light, name);
        current.insert(v);
        shared = v;
        EditLightsState *state = pending.value(light->uid());
        if (!state)
            continue;
        if (!state->hasValue(token))
            state->setValue(token, v);
        if (state->value(token) == v)
            unchangedLight = true;
        else
            pendingValues.insert(state->value(token));
    }

    Row r;
    r.token = token;
    r.displayName = name;
    const bool various = current.size() >= 2;
    r.currentText =
        various ? variousText() : m_mapper->toDisplayValue(token, QString::number(shared));
    const QStringList options =
        isChemistryToken(token) ? m_chemistryChoices : m_mapper->valueMap(r.displayName).keys();
    for (const QString &option : options) {
        const int raw = int(m_mapper->toRawValue(token, option));
        // The value every light already has is no choice.
        if (!various && raw == shared)
            continue;
        r.entries.append({option, raw});
    }
    QVariant chosen;
    if (!pendingValues.isEmpty() && (pendingValues.size() > 1 || unchangedLight)) {
        r.entries.prepend({variousText(), QVariant()});
    } else {
        r.entries.prepend({noChangeText(), QVariant()});
        if (pendingValues.size() == 1)
            chosen = *pendingValues.cbegin();
    }
    for (int i = 1; chosen.isValid() && i < r.entries.size(); ++i) {
        if (r.entries.at(i).data == chosen) {
            r.currentIndex = i;
            break;
        }
    }
    r.enabled = m_common.contains(token) && r.entries.size() > 1;
    return r;
}

void LightPropertyTable::fillCurrentValues(const Light *light, EditLightsState &state)
{
    const QSet<QString> tokens = selectionTokens(light);
    for (const QString &token : tokens)
        state.setValue(token, currentValue(light, token));
}

void LightPropertyTable::prepareDeviceChange(const Light *light, EditLightsState &before,
                                             EditLightsState &after)
{
    const quint64 serial = after.serialNumber;
    const QString info = after.deviceInfo;
    QSet<QString> next = allowedOf(m_dictionary->memoryMapTokens(serial));
    next.unite(allowedOf(m_dictionary->memoryMapTokens(serial, info)));
    // Undo has to restore what the new device's values overwrite.
    const QSet<QString> own = tokensForLight(light);
    for (const QString &token : std::as_const(next))
        if (!own.contains(token))
            before.setValue(token, currentValue(light, token));
    for (const QString &name : m_dictionary->staticValueNames(light->serialNumber()))
        before.setValue(name, currentValue(light, name));
    if (next.contains(VorlethToken))
        next.insert(LedChemistryToken);

    const QHash<QString, qint32> old = after.values();
    after.clearPropertyValues();
    for (const QString &token : std::as_const(next)) {
        if (isChemistryToken(token)) {
            const QStringList choices = m_dictionary->hueweaveLedChemistries(serial, info);
            const int v = old.contains(LedChemistryToken) ? old.value(LedChemistryToken)
                                                          : int(light->ledChemistry());
            if (choices.contains(m_mapper->toDisplayValue(token, QString::number(v))))
                after.setValue(token, v);
            else if (!choices.isEmpty())
                after.setValue(token, qint32(m_mapper->toRawValue(token, choices.first())));
        } else if (old.contains(token)) {
            after.setValue(token, old.value(token));
        }
    }
    for (const QString &name : m_dictionary->staticValueNames(serial, info))
        after.setValue(name, m_dictionary->staticValue(name, serial, info));
}
