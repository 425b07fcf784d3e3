#include "model/light.h"

#include "colour/colourmixing.h"
#include "devices/devicedictionary.h"
#include "devices/propertymapper.h"
#include "model/datasupply.h"
#include "model/mapmodel.h"

#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <climits>

namespace {

const QString kDmxAddress = QStringLiteral("DMX Address");
const QString kResolution = QStringLiteral("Resolution");
const QString kDimmingCurve = QStringLiteral("Dimming Curve");
const QString kColorControlMode = QStringLiteral("Color Control Mode");
const QString kCorlendMode = QStringLiteral("Corlend Mode");
const QString kLedChemistry = QStringLiteral("LED Chemistry");
const QString kHalfFullMode = QStringLiteral("Half / Full Mode");
const QString kWhiteInputMode = QStringLiteral("Quy/Zyr Input Mode");
const QString kDeviceInfo = QStringLiteral("Device Info");
const QString kStartupChannel = QStringLiteral("Startup Channel");
const QString kStartupColors = QStringLiteral("Startup Colors");
const QString kModelId = QStringLiteral("Model ID");
const QString kProductCategory = QStringLiteral("Product Category");
const QString kUnknownDevice = QStringLiteral("Unknown Device");

// Names whose change alters the channel layout when set through setProperty.
const QStringList &layoutPropertyNames()
{
    static const QStringList names{kLedChemistry,   QStringLiteral("Quy Input Mode"),
                                   kWhiteInputMode, kColorControlMode,
                                   kResolution,     QStringLiteral("Hueweave"),
                                   kCorlendMode,    QStringLiteral("Pixel Cell Count"),
                                   kStartupColors};
    return names;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

quint32 unsignedOrZero(const QString &text)
{
    bool ok = false;
    const quint32 value = text.toUInt(&ok);
    return ok ? value : 0;
}

// Dotted IPv4 text as an unsigned number, 0 for text that is no address.
quint32 ipv4Value(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    quint32 value = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint byte = part.toUInt(&ok);
        if (!ok || byte > 255)
            return 0;
        value = (value << 8) | byte;
    }
    return value;
}

int clampToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, INT_MIN, INT_MAX));
}

quint32 channelsForChemistry(quint32 chemistry)
{
    switch (chemistry) {
    case 1:
    case 2:
    case 13:
    case 15:
        return 4;
    case 3:
    case 4:
        return 5;
    case 5:
        return 2;
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
        return 1;
    default:
        return 3;
    }
}

quint32 channelsForControlMode(quint32 mode, quint32 channels)
{
    switch (mode) {
    case 1:
    case 2:
    case 4:
    case 5:
        return 3;
    case 6:
        return 1;
    default:
        return channels;
    }
}

} // namespace

Light::Light(const QDomElement *element)
{
    // Process-wide, so not kept per light (a map holds hundreds of thousands); still made by
    // the first light, before its element is read.
    PropertyMapper::instance();
    DeviceDictionary::instance();
    colorCache();
    fromXml(element);
}

Light::~Light()
{
    // An invalid colour never equals a key, so only a laid-out light can own an entry.
    if (m_colorKey.color.isValid())
        colorCache()->remove(m_colorKey);
    LightFrameState::release(m_hot);
    m_hot = nullptr;
}

QCache<LightColorKey, LightLevels> *Light::colorCache()
{
    // Kept for the life of the process: lights come and go with every map load.
    static QCache<LightColorKey, LightLevels> *cache =
        new QCache<LightColorKey, LightLevels>(10000);
    return cache;
}

bool Light::lessThan(const Light *other) const
{
    if (!m_map || !other)
        return false;
    const DataSupply *mine = m_map->dataSupply(m_dataSupplyUid);
    const DataSupply *theirs = m_map->dataSupply(other->m_dataSupplyUid);
    if (!mine || !theirs)
        return false;
    const quint32 ipA = ipv4Value(mine->ipAddress());
    const quint32 ipB = ipv4Value(theirs->ipAddress());
    if (ipA != ipB)
        return ipA < ipB;
    if (m_hot->port != other->m_hot->port)
        return m_hot->port < other->m_hot->port;
    const quint32 addressA = unsignedOrZero(property(kDmxAddress));
    const quint32 addressB = unsignedOrZero(other->property(kDmxAddress));
    if (addressA != addressB)
        return addressA < addressB;
    return m_serialNumber < other->m_serialNumber;
}

// The map relays every signal of its lights under the same name. It is told directly rather
// than through four connections a light: on a large map those cost more than the light.
void Light::connectToMap(MapModel *map)
{
    m_map = map;
    // The map decides which conversion runs.
    forgetRenderedColor();
}

// Whatever changed may change what the light sends: its levels are converted again with the
// settings it has now, and frames stop repeating the last one.
void Light::notifyUpdatedLight(quint64 uid)
{
    forgetRenderedColor();
    emit updatedLight(uid);
    if (m_map)
        emit m_map->updatedLight(uid);
}

void Light::notifyUpdatedLightPosition(quint64 uid)
{
    emit updatedLightPosition(uid);
    if (m_map)
        emit m_map->updatedLightPosition(uid);
}

void Light::notifyUpdatedLightProperty(quint64 uid, const QString &name, const QString &value)
{
    forgetRenderedColor();
    emit updatedLightProperty(uid, name, value);
    if (m_map)
        emit m_map->updatedLightProperty(uid, name, value);
}

quint32 Light::lastChannel()
{
    updateChannelLayout();
    return quint32(m_hot->dmxChannel) + m_hot->footprint - 1u;
}

bool Light::hasDmxFootprint() const
{
    const auto it = m_properties.constFind(kDeviceInfo);
    if (it == m_properties.constEnd())
        return true;
    return !it->contains(QLatin1String("F.0000"), Qt::CaseInsensitive);
}

void Light::setUid(quint64 uid)
{
    m_uid = uid;
    // A canvas change listed under the old uid would be lost, and the light never listed again.
    if (m_hot->canvasListed)
        listCanvasChange();
    notifyUpdatedLight(m_uid);
}

void Light::setDataSupplyUid(quint64 uid)
{
    m_dataSupplyUid = uid;
    notifyUpdatedLight(m_uid);
}

void Light::setPort(quint8 port)
{
    m_hot->port = port;
    notifyUpdatedLight(m_uid);
}

void Light::setDmxChannel(int channel)
{
    m_hot->dmxChannel = channel;
    updateChannelLayout();
    if (m_map) {
        if (DataSupply *supply = m_map->dataSupply(m_dataSupplyUid))
            supply->setDMXBufSize(clampToInt(qint64(m_hot->dmxChannel) + m_hot->footprint - 1));
    }
    notifyUpdatedLight(m_uid);
}

void Light::setSerialNumber(quint64 serialNumber)
{
    m_serialNumber = serialNumber;
    notifyUpdatedLight(m_uid);
}

void Light::setLightNumber(quint32 lightNumber)
{
    m_lightNumber = lightNumber;
    notifyUpdatedLight(m_uid);
}

void Light::setName(const QString &name)
{
    m_name = name;
    notifyUpdatedLight(m_uid);
}

void Light::setModelName(const QString &modelName)
{
    m_modelName = modelName;
    notifyUpdatedLight(m_uid);
}

void Light::setFixture(quint64 fixture)
{
    m_fixture = fixture;
    notifyUpdatedLight(m_uid);
}

void Light::setFixtureCode(qint32 fixtureCode)
{
    m_fixtureCode = fixtureCode;
    notifyUpdatedLight(m_uid);
}

void Light::setHueweaveIoMode(quint32 ioMode)
{
    m_hueweaveIoMode = qint32(ioMode);
    notifyUpdatedLight(m_uid);
}

void Light::setHueweaveProfileId(quint32 profileId)
{
    m_hot->hueweaveProfileId = qint32(profileId);
    notifyUpdatedLight(m_uid);
}

void Light::storeModeProperty(const QString &name, quint32 raw)
{
    m_properties.insert(
        name, PropertyMapper::instance()->toDisplayValueByName(name, QString::number(raw)));
}

void Light::setResolution(quint32 resolution)
{
    m_resolution = resolution;
    storeModeProperty(kResolution, resolution);
    updateChannelLayout();
    notifyUpdatedLight(m_uid);
}

void Light::setDimmingCurve(quint32 curve)
{
    m_dimmingCurve = curve;
    storeModeProperty(kDimmingCurve, curve);
    notifyUpdatedLight(m_uid);
}

void Light::setColorControlMode(quint32 mode)
{
    m_colorControlMode = mode;
    storeModeProperty(kColorControlMode, mode);
    updateChannelLayout();
    notifyUpdatedLight(m_uid);
}

void Light::setLedChemistry(quint32 chemistry)
{
    m_ledChemistry = chemistry;
    storeModeProperty(kLedChemistry, chemistry);
    // Chemistry 5 is the two-channel warm/cool white, which only takes the two-channel input.
    if (chemistry == 5)
        m_whiteInputMode = 0;
    updateChannelLayout();
    notifyUpdatedLight(m_uid);
}

void Light::setWhiteInputMode(int mode)
{
    m_whiteInputMode = quint32(mode);
    m_properties.insert(kWhiteInputMode, PropertyMapper::instance()->toDisplayValueByName(
                                             kWhiteInputMode, QString::number(mode)));
    updateChannelLayout();
    notifyUpdatedLight(m_uid);
}

void Light::setHalfFullMode(bool half)
{
    m_hot->half = half;
    storeModeProperty(kHalfFullMode, half ? 1 : 0);
    // 253 and 254 are the half-fixture chemistries of plain RGB; other chemistries know their
    // own half layout.
    if (half && m_ledChemistry == 0) {
        m_ledChemistry = 253;
        storeModeProperty(kLedChemistry, m_ledChemistry);
    } else if (!half && (m_ledChemistry == 253 || m_ledChemistry == 254)) {
        m_ledChemistry = 0;
        storeModeProperty(kLedChemistry, m_ledChemistry);
    }
    updateChannelLayout();
    notifyUpdatedLight(m_uid);
}

void Light::setHueweaveEnabled(int value)
{
    m_hot->hueweaveEnabled = value == 4;
    forgetRenderedColor();
}

void Light::setPose(const LightPose &pose)
{
    const bool moved = pose.x != m_pose.x() || pose.y != m_pose.y();
    m_pose.set(pose);
    if (moved)
        notifyUpdatedLightPosition(m_uid);
}

void Light::setProperty(const QString &name, const QString &value)
{
    m_properties.insert(name, value);
    applyProperty(name);
    if (layoutPropertyNames().contains(name, Qt::CaseInsensitive))
        updateChannelLayout();
    notifyUpdatedLightProperty(m_uid, name, value);
}

bool Light::removeProperty(const QString &name)
{
    return m_properties.remove(name) > 0;
}

void Light::resetModeProperties()
{
    m_resolution = 1;
    m_hot->hueweaveEnabled = false;
    m_dimmingCurve = 0;
    m_ledChemistry = 0;
    m_whiteInputMode = 1;
    m_hot->half = false;
    m_hot->channelsPerColor = 3;
    m_hot->footprint = 3;
    m_hot->hueweaveProfileId = 0;
    storeModeProperty(kResolution, 1);
    storeModeProperty(kDimmingCurve, 0);
    storeModeProperty(kColorControlMode, 0);
    storeModeProperty(kLedChemistry, 0);
    storeModeProperty(kHalfFullMode, 0);
    storeModeProperty(kWhiteInputMode, 1);
    forgetRenderedColor();
}

void Light::applyProperty(const QString &name)
{
    const QString value = m_properties.value(name);
    const auto raw = [&]() {
        return unsignedOrZero(PropertyMapper::instance()->toRawValueByName(name, value));
    };
    if (sameName(name, kDmxAddress)) {
        // A huge address must not wrap into a plausible channel: clamp instead.
        m_hot->dmxChannel = clampToInt(qint64(unsignedOrZero(value)) - 1);
    } else if (sameName(name, kResolution)) {
        m_resolution = raw();
    } else if (sameName(name, kDimmingCurve)) {
        m_dimmingCurve = raw();
    } else if (sameName(name, kColorControlMode) || sameName(name, kCorlendMode)) {
        m_colorControlMode = raw();
    } else if (sameName(name, kLedChemistry)) {
        m_ledChemistry = raw();
    } else if (sameName(name, kHalfFullMode)) {
        m_hot->half = raw() != 0;
    } else if (sameName(name, kWhiteInputMode)) {
        m_whiteInputMode = raw();
    } else if (sameName(name, kDeviceInfo)) {
        applyDeviceInfo(value);
    } else if (name.startsWith(kStartupChannel)) {
        mergeStartupChannel(name);
    }
}

void Light::applyDeviceInfo(const QString &value)
{
    // The footprint is the last dotted piece, as in "D.0038-P.0509-F.0004". A device that
    // claims more channels than any light has would make the light write past its level
    // block, so such a claim leaves the layout as it was.
    bool ok = false;
    int channels = value.split(QLatin1Char('.')).constLast().toInt(&ok);
    if (!ok)
        channels = 0;
    if (channels < 0 || channels > MaxChannelsPerColor)
        return;
    m_hot->channelsPerColor = quint8(channels);
    m_hot->footprint = quint8(channels);
}

void Light::mergeStartupChannel(const QString &name)
{
    const auto colors = m_properties.constFind(kStartupColors);
    if (colors == m_properties.constEnd())
        return;
    const quint32 channel = unsignedOrZero(name.mid(kStartupChannel.size() + 1));
    const quint32 value = unsignedOrZero(m_properties.value(name));
    const quint32 old = unsignedOrZero(*colors);
    const quint32 payload = PropertyMapper::instance()->payloadSize(kStartupColors);
    // Unsigned on purpose: a channel beyond the payload wraps instead of shifting by a
    // negative count.
    const quint32 shift = ((payload - channel) * 8u) % 32u;
    const quint32 merged = ((value & 0xFFu) << shift) | (old & ~(0xFFu << shift));
    m_properties.insert(kStartupColors, QString::number(merged));
}

void Light::applyDiscovered(const Light *other)
{
    if (!other || other == this)
        return;
    m_name = other->m_name;
    m_serialNumber = other->m_serialNumber;
    m_hot->dmxChannel = other->m_hot->dmxChannel;
    m_hot->port = other->m_hot->port;
    m_dimmingCurve = other->m_dimmingCurve;
    m_resolution = other->m_resolution;
    m_colorControlMode = other->m_colorControlMode;
    m_ledChemistry = other->m_ledChemistry;
    m_hot->half = other->m_hot->half;
    m_whiteInputMode = other->m_whiteInputMode;
    m_hot->hueweaveProfileId = other->m_hot->hueweaveProfileId;
    m_hot->currentColor = other->m_hot->currentColor;
    m_hot->currentIsMix = false;
    m_modelName = other->m_modelName;
    m_properties.clear();
    const QHash<QString, QString> properties = other->m_properties;
    for (auto it = properties.constBegin(); it != properties.constEnd(); ++it)
        setProperty(it.key(), it.value());
    m_additionalData = other->m_additionalData;
    updateChannelLayout();
    notifyUpdatedLight(m_uid);
}

void Light::copyModeSettingsTo(Light *copy) const
{
    copy->setResolution(m_resolution);
    copy->setDimmingCurve(m_dimmingCurve);
    copy->setColorControlMode(m_colorControlMode);
    copy->setLedChemistry(m_ledChemistry);
    copy->setHueweaveProfileId(quint32(m_hot->hueweaveProfileId));
    copy->setHueweaveIoMode(quint32(m_hueweaveIoMode));
    copy->setWhiteInputMode(int(m_whiteInputMode));
}

Light *Light::assignProperties() const
{
    if (!m_map)
        return nullptr;
    auto *copy = new Light();
    copy->setUid(m_map->nextUid());
    copy->setDmxChannel(m_hot->dmxChannel);
    copy->setSerialNumber(m_serialNumber);
    copy->setName(m_name);
    copy->setLightNumber(m_lightNumber);
    copy->setPort(m_hot->port);
    copy->setPose(m_pose.value());
    copyModeSettingsTo(copy);
    copy->setModelName(m_modelName);
    copy->setFixtureCode(m_fixtureCode);
    copy->setFixture(copy->uid());
    for (auto it = m_properties.constBegin(); it != m_properties.constEnd(); ++it)
        copy->setProperty(it.key(), it.value());
    copy->updateChannelLayout();
    return copy;
}

void Light::assignNodeId()
{
    m_additionalData.insert(QStringLiteral("node_id"), QUuid::createUuid().toString());
}

void Light::removeUnusedStartupChannels()
{
    for (quint32 k = m_hot->footprint + 1; k <= 7; ++k)
        m_properties.remove(kStartupChannel + QLatin1Char(' ') + QString::number(k));
}

QString Light::renameFromModelProperties()
{
    const QString deviceInfo = property(kDeviceInfo);
    if (!hasProperty(kModelId) || !hasProperty(kProductCategory))
        return deviceInfo;
    const quint16 model = quint16(property(kModelId).toInt());
    const quint16 category = quint16(property(kProductCategory).toInt());
    QString productCode;
    if (model != 0 && category != 0) {
        productCode = QStringLiteral("D.%1-P.%2-F.0004")
                          .arg(model, 4, 16, QLatin1Char('0'))
                          .arg(category, 4, 16, QLatin1Char('0'));
        m_properties.insert(kDeviceInfo, productCode);
    }
    const QString deviceName =
        DeviceDictionary::instance()->deviceName(m_serialNumber, productCode);
    // The catalogue answers "Unknown Device" for a model it lacks; that is no name, and the
    // user's own name is worth more.
    if (!deviceName.isEmpty() && !sameName(deviceName, kUnknownDevice)) {
        m_name = deviceName;
        notifyUpdatedLight(m_uid);
    }
    return deviceInfo;
}

void Light::rebuildColorKey()
{
    m_colorKey.color = m_hot->currentColor;
    m_colorKey.colorConsistency = m_hot->hueweaveEnabled;
    m_colorKey.channelsPerColor = m_hot->channelsPerColor;
    m_colorKey.bytesPerChannel = m_hot->bytesPerChannel;
    m_colorKey.dimmingCurve = m_dimmingCurve;
    m_colorKey.profileId = m_hot->hueweaveProfileId;
    m_colorKey.ioMode = m_whiteInputMode == 0 ? 16 : m_hueweaveIoMode;
    m_colorKey.half = m_hot->half;
    m_colorKey.ledChemistry = m_ledChemistry;
    m_colorKey.consistencyConversion = m_map && m_map->isColorCacheEnabled();
}

void Light::updateChannelLayout()
{
    quint32 channels = channelsForChemistry(m_ledChemistry);
    channels = channelsForControlMode(m_colorControlMode, channels);
    if (m_whiteInputMode == 0)
        channels = 2;
    // At most eight channels of two bytes, doubled in half mode: a byte holds the footprint.
    m_hot->channelsPerColor = quint8(channels);
    m_hot->bytesPerChannel = m_resolution != 0 ? 1 : 2;
    m_hot->footprint = quint8(channels * m_hot->bytesPerChannel * (m_hot->half ? 2 : 1));
    if (m_hot->footprint < 7)
        removeUnusedStartupChannels();
    m_hot->hueweaveEnabled = m_colorControlMode >= 2;

    const QString deviceInfo = renameFromModelProperties();
    const QString chemistry = property(kLedChemistry);
    if (!chemistry.isEmpty())
        m_hot->hueweaveProfileId =
            DeviceDictionary::instance()->hueweaveProfileId(m_serialNumber, deviceInfo, chemistry);
    if (m_hot->hueweaveProfileId == 40) {
        if (m_colorControlMode == 0)
            m_hueweaveIoMode = 22;
        else if (m_colorControlMode == 5)
            m_hueweaveIoMode = 23;
    }

    m_hot->zeroCurrentColor();
    m_hot->currentColor.setProfileSetFlag(m_hot->hueweaveEnabled);
    forgetRenderedColor();
    rebuildColorKey();
}

void Light::forgetRenderedColor()
{
    m_hot->cold().lastRenderedColor = VeyColor();
    m_hot->renderedIsMix = false;
    m_hot->renderedColorKept = false;
    m_hot->fixtureKey = 0;
    // Between frames the colour is the zero colour the next frame mixes over, and its form
    // follows the settings (profile, channels, hueweave): made again now, the next frame
    // mixes over the zero colour a whole frame after it would, not over the old one.
    if (m_hot->firstColorOfFrame && m_hot->currentColor.isValid())
        m_hot->zeroCurrentColor();
    LightFrameState::settingsChanged();
}
