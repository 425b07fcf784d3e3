#include "model/datasupply.h"

#include "devices/devicedictionary.h"
#include "devices/propertymapper.h"
#include "model/interfaceframeoutput.h"
#include "model/light.h"
#include "model/mapmodel.h"
#include "model/posebounds.h"
#include "model/xmltextwriter.h"

#include <QDebug>
#include <QDomDocument>
#include <QDomElement>
#include <QMap>
#include <QMetaMethod>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// Positions are doubles that callers may set to anything; a rectangle or offset built from them
// must stay in int range.
int saturatedInt(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(value, double(INT_MIN), double(INT_MAX)));
}

enum Tag {
    TagType = 1,
    TagSelfElement = 2,
    TagName = 3,
    TagUid = 4,
    TagLight = 5,
    TagMissing = 6,
    TagSerialNumber = 7,
    TagUniverse = 8,
    TagIpAddress = 9,
    TagMacAddress = 10,
    TagBufferSize = 11,
    TagVersion = 12,
    TagVersionString = 13,
    TagFamily = 14,
    TagPortList = 15,
    TagPort = 16,
    TagPortNumber = 17,
    TagPortType = 18,
    TagPortFlags = 19,
    TagProperties = 20
};

QHash<QString, int> &tagTable()
{
    static QHash<QString, int> table;
    return table;
}

int tagCode(const QString &tag)
{
    return tagTable().value(tag, 0);
}

// Strict dotted-quad IPv4; anything else is no address.
bool parseIpv4(const QString &text, quint32 *value)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 result = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint octet = part.toUInt(&ok, 10);
        if (!ok || octet > 255 || part.isEmpty() || part.size() > 3)
            return false;
        result = (result << 8) | octet;
    }
    *value = result;
    return true;
}

QString ipv4Text(quint32 value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xFF)
        .arg((value >> 8) & 0xFF)
        .arg(value & 0xFF);
}

// A port number or type from the file: text that is no number, 0, or does not fit a byte
// gives 1.
quint8 readPortByte(const QString &text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value == 0 || value > 255)
        return 1;
    return quint8(value);
}

QDomElement appendTextElement(QDomElement &parent, QDomDocument *document, const QString &tag,
                              const QString &text)
{
    QDomElement child = document->createElement(tag);
    child.appendChild(document->createTextNode(text));
    parent.appendChild(child);
    return child;
}

QString hexText(quint64 value)
{
    return QString::number(value, 16).toUpper();
}

} // namespace

DataSupply::DataSupply(int type, QDomElement *element)
    : m_type(type), m_propertyMapper(PropertyMapper::instance()),
      m_deviceDictionary(DeviceDictionary::instance())
{
    initTagTable();
    m_ports.resize(1);
    rebuildPortIndex();
    if (element)
        fromXml(element);
}

DataSupply::~DataSupply() = default;

bool DataSupply::isLoadableType(int type)
{
    return type == 2 || type == 3 || type == 6 || type == 7;
}

void DataSupply::initTagTable()
{
    QHash<QString, int> &table = tagTable();
    if (!table.isEmpty())
        return;
    const struct
    {
        const char *tag;
        int code;
    } entries[] = {{"t", TagType},
                   {"type", TagType},
                   {"c", TagSelfElement},
                   {"DataSupply", TagSelfElement},
                   {"n", TagName},
                   {"name", TagName},
                   {"s", TagUid},
                   {"self", TagUid},
                   {"l", TagLight},
                   {"light", TagLight},
                   {"m", TagMissing},
                   {"missing", TagMissing},
                   {"sn", TagSerialNumber},
                   {"serialnumber", TagSerialNumber},
                   {"u", TagUniverse},
                   {"universenumber", TagUniverse},
                   {"ip", TagIpAddress},
                   {"ipaddress", TagIpAddress},
                   {"mac", TagMacAddress},
                   {"macaddress", TagMacAddress},
                   {"d", TagBufferSize},
                   {"dmxbuffersize", TagBufferSize},
                   {"v", TagVersion},
                   {"version", TagVersion},
                   {"vs", TagVersionString},
                   {"versionstring", TagVersionString},
                   {"family", TagFamily},
                   {"pl", TagPortList},
                   {"portlist", TagPortList},
                   {"p", TagPort},
                   {"port", TagPort},
                   {"pn", TagPortNumber},
                   {"portnum", TagPortNumber},
                   {"pt", TagPortType},
                   {"porttype", TagPortType},
                   {"pf", TagPortFlags},
                   {"portflags", TagPortFlags},
                   {"properties", TagProperties}};
    for (const auto &entry : entries)
        table.insert(QString::fromLatin1(entry.tag), entry.code);
}

bool DataSupply::connectToMap(MapModel *map)
{
    if (!map)
        return false;
    // The frame signals reach only one map directly: a second one is served the usual way.
    if (m_map && m_map != map)
        m_framesHaveOtherListeners = true;
    m_map = map;
    invalidateLightTable();
    m_connectingToMap = true;
    connect(this, &DataSupply::updatedDataSupply, map, &MapModel::updatedDataSupply,
            Qt::UniqueConnection);
    connect(this, &DataSupply::updatedLightProperty, map, &MapModel::updatedLightProperty,
            Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendDmxFrame, map, &MapModel::signalSendDmxFrame,
            Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendBroadcastDmxFrame, map,
            &MapModel::signalSendBroadcastDmxFrame, Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendPortOut, map, &MapModel::signalSendPortOut,
            Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendBufferByUSBPortIndex, map,
            &MapModel::signalSendBufferByUSBPortIndex, Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendBroadcastPortOut, map,
            &MapModel::signalSendBroadcastPortOut, Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendSetValue, map, &MapModel::signalSendSetValue,
            Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendSACNData, map, &MapModel::signalSendSACNData,
            Qt::UniqueConnection);
    connect(this, &DataSupply::signalSendArtNetData, map, &MapModel::signalSendArtNetData,
            Qt::UniqueConnection);
    connect(this, &DataSupply::msg, map, &MapModel::msg, Qt::UniqueConnection);
    m_connectingToMap = false;
    connect(map, &QObject::destroyed, this, [this] {
        m_sendsThroughMap = false;
        m_framesHaveOtherListeners = true;
    });
    m_sendsThroughMap = !m_framesHaveOtherListeners;
    return true;
}

void DataSupply::connectNotify(const QMetaMethod &signal)
{
    if (m_connectingToMap)
        return;
    if (signal == QMetaMethod::fromSignal(&DataSupply::signalSendDmxFrame) ||
        signal == QMetaMethod::fromSignal(&DataSupply::signalSendPortOut)) {
        m_framesHaveOtherListeners = true;
        m_sendsThroughMap = false;
    }
}

bool DataSupply::lessThan(const DataSupply *) const
{
    return false;
}

void DataSupply::setName(const QString &name)
{
    m_name = name;
    emit updatedDataSupply(m_uid);
}

QString DataSupply::ipAddress() const
{
    return m_ipText;
}

void DataSupply::setIpAddressText(const QString &text)
{
    quint32 value = 0;
    // As with a host address, 0.0.0.0 is an address; only text that is none is not.
    m_hasIpAddress = parseIpv4(text, &value);
    m_ipv4 = m_hasIpAddress ? value : 0;
    // Kept as text: every frame sends it.
    m_ipText = ipv4Text(m_ipv4);
    emit updatedDataSupply(m_uid);
}

void DataSupply::setMacAddress(const quint8 *mac)
{
    if (!mac)
        return;
    m_macAddress = QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                                     mac[3], mac[4], mac[5]);
}

void DataSupply::setVersionString(const char *text)
{
    if (text)
        m_versionString = QString::fromUtf8(text);
}

void DataSupply::setFamily(const char *text)
{
    if (text)
        m_family = QString::fromUtf8(text);
}

// ---------------------------------------------------------------------------------------------
// Ports

void DataSupply::setPortCount(quint8 count)
{
    // Fresh ports have sent nothing, even where the count stays the same.
    m_output.forgetSentFrames();
    m_ports.clear();
    m_ports.resize(count);
    for (int i = 0; i < count; ++i)
        m_ports[size_t(i)].number = quint8(i + 1);
    rebuildPortIndex();
}

quint8 DataSupply::portNumber(int index) const
{
    return index >= 0 && index < portCount() ? m_ports[size_t(index)].number : 0;
}

void DataSupply::setPortNumber(int index, quint8 number)
{
    if (index >= 0 && index < portCount())
        m_ports[size_t(index)].number = number == 0 ? 1 : number;
}

quint8 DataSupply::portType(int index) const
{
    return index >= 0 && index < portCount() ? m_ports[size_t(index)].type : 0;
}

void DataSupply::setPortType(int index, quint8 type)
{
    if (index < 0 || index >= portCount())
        return;
    DmxPort &port = m_ports[size_t(index)];
    switch (type) {
    case 1:
        port.type = 1;
        port.startCode = 0;
        break;
    case 3:
        port.type = 3;
        port.startCode = 0xFFF0;
        break;
    case 6:
    case 7:
        port.type = type;
        break;
    default:
        port.type = 2;
        port.startCode = 0;
        break;
    }
}

quint16 DataSupply::portStartCode(int index) const
{
    return index >= 0 && index < portCount() ? m_ports[size_t(index)].startCode : 0;
}

quint32 DataSupply::portFlags(int index) const
{
    return index >= 0 && index < portCount() ? m_ports[size_t(index)].flags : 0;
}

void DataSupply::setPortFlags(int index, quint32 flags)
{
    if (index >= 0 && index < portCount())
        m_ports[size_t(index)].flags = flags;
}

int DataSupply::portUsedSize(int index) const
{
    return index >= 0 && index < portCount() ? m_ports[size_t(index)].usedSize : 0;
}

QByteArray DataSupply::portBuffer(int index) const
{
    return index >= 0 && index < portCount() ? m_ports[size_t(index)].buffer : QByteArray();
}

void DataSupply::rebuildPortIndex()
{
    int largest = 0;
    for (const DmxPort &port : m_ports)
        largest = std::max<int>(largest, port.number);
    m_portIndex.fill(0, largest);
    for (int i = 0; i < portCount(); ++i) {
        if (m_ports[size_t(i)].number > 0)
            m_portIndex[m_ports[size_t(i)].number - 1] = quint8(i);
    }
}

bool DataSupply::allPortsType3() const
{
    if (m_ports.empty())
        return false;
    return std::all_of(m_ports.begin(), m_ports.end(),
                       [](const DmxPort &port) { return port.type == 3; });
}

// The port index a light writes into, by its port number; -1 when it has none.
int DataSupply::portIndexOfLight(const Light *light) const
{
    return portIndexOfPort(light->port());
}

namespace {

// By footprint: what writeDmx writes can pass the footprint (a "Device Info" footprint on a
// 16-bit or half light) but never by more than 15 bytes, since it writes at most
// LightLevels::Size and a footprint is at least one channel when anything is written; the
// 16 bytes frameUsedSize adds past the last channel therefore always cover it.
qint64 lastChannelOf(const Light *light)
{
    return light->frameState()->lastFootprintChannel();
}

} // namespace

void DataSupply::updateBufferSizes()
{
    if (!lightTableCurrent())
        rebuildLightMap();
    std::vector<qint64> last(m_ports.size(), -1);
    std::vector<bool> used(m_ports.size(), false);
    for (const Light *light : m_lightTable) {
        const int index = portIndexOfLight(light);
        if (index < 0)
            continue;
        used[size_t(index)] = true;
        last[size_t(index)] = std::max(last[size_t(index)], lastChannelOf(light));
    }
    for (size_t i = 0; i < m_ports.size(); ++i)
        m_ports[i].usedSize = frameUsedSize(used[i], last[i]);
}

void DataSupply::setDMXBufSize(int size)
{
    if (size > m_dmxBufSize)
        m_dmxBufSize = size;
}

// ---------------------------------------------------------------------------------------------
// Lights

void DataSupply::addLight(quint64 uid)
{
    if (!m_lightUidSet.contains(uid)) {
        m_lightUids.append(uid);
        m_lightUidSet.insert(uid);
        invalidateLightTable();
    }
    emit updatedDataSupply(m_uid);
}

void DataSupply::removeLight(quint64 uid)
{
    if (m_lightUids.removeOne(uid))
        m_lightUidSet.remove(uid);
    invalidateLightTable();
    emit updatedDataSupply(m_uid);
}

QList<Light *> DataSupply::lightObjects() const
{
    QList<Light *> result;
    if (!m_map)
        return result;
    result.reserve(m_lightUids.size());
    for (quint64 uid : m_lightUids) {
        if (Light *light = m_map->light(uid))
            result.append(light);
    }
    return result;
}

void DataSupply::invalidateLightTable()
{
    static quint64 revisions = 0;
    m_lightTableValid = false;
    m_lightListRevision = ++revisions;
}

bool DataSupply::lightTableCurrent() const
{
    return m_lightTableValid && m_map && m_lightTableGeneration == m_map->lightEntryGeneration();
}

void DataSupply::rebuildLightMap()
{
    m_lightTable.clear();
    m_frameTable.clear();
    if (!m_map) {
        m_lightTableValid = false;
        return;
    }
    m_lightTable.reserve(size_t(m_lightUids.size()));
    m_frameTable.reserve(size_t(m_lightUids.size()));
    for (quint64 uid : m_lightUids) {
        if (Light *light = m_map->light(uid)) {
            m_lightTable.push_back(light);
            m_frameTable.push_back(light->frameState());
        }
    }
    // An unresolved uid can only resolve after a light enters the map, which moves the
    // generation, so the table stays trustworthy until then.
    m_lightTableGeneration = m_map->lightEntryGeneration();
    m_lightTableValid = true;
}

void DataSupply::forgetLeavingLight(quint64 uid)
{
    if (m_lightUidSet.contains(uid))
        invalidateLightTable();
}

int DataSupply::lastChannelOnPort(quint8 port)
{
    if (!lightTableCurrent())
        rebuildLightMap();
    int last = -1;
    for (Light *light : m_lightTable) {
        if (light->port() == port)
            last = std::max(last, int(light->lastChannel()));
    }
    return last;
}

void DataSupply::renumberLights()
{
    QMap<int, QList<Light *>> byPort;
    for (Light *light : lightObjects())
        byPort[light->port()].append(light);
    for (QList<Light *> &lights : byPort) {
        std::stable_sort(lights.begin(), lights.end(), [](const Light *a, const Light *b) {
            return a->dmxChannel() < b->dmxChannel();
        });
        quint32 number = 0;
        for (Light *light : lights)
            light->setLightNumber(number++);
    }
}

QRect DataSupply::boundingRect() const
{
    PoseBounds bounds;
    for (const Light *light : lightObjects())
        bounds.add(light->pose());
    return bounds.rect();
}

// ---------------------------------------------------------------------------------------------
// Properties

quint32 DataSupply::dmxAddress() const
{
    if (!hasProperty(QStringLiteral("DMX Address")))
        return 1;
    return property(QStringLiteral("DMX Address")).toUInt();
}

QString DataSupply::sftVersion() const
{
    if (hasProperty(QStringLiteral("SFT Version")))
        return property(QStringLiteral("SFT Version"));
    QString text = m_versionString;
    text.remove(QLatin1Char('\n'));
    static const QRegularExpression separator(QStringLiteral(".[:]"));
    const QStringList parts = text.split(separator, Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return QString();
    QString result = parts.at(1);
    if (parts.size() >= 4)
        result += QStringLiteral(" V") + parts.at(3);
    return result;
}

void DataSupply::setProperty(const QString &name, const QString &value)
{
    const auto existing = m_properties.constFind(name);
    if (existing != m_properties.constEnd() && existing.value() == value)
        return;
    const quint32 base = hasProperty(QStringLiteral("DMX Address"))
                             ? property(QStringLiteral("DMX Address")).toUInt() - 1
                             : 0;
    moveLightChannels(name, value, base);
    m_properties.insert(name, value);
    if (name.compare(QLatin1String("SFT Version"), Qt::CaseInsensitive) == 0)
        emit updatedDataSupply(m_uid);
    emit updatedDataSupplyProperty(m_uid, name, value);
}

// The interface-wide settings that shift every light's start channel.
void DataSupply::moveLightChannels(const QString &name, const QString &value, quint32 base)
{
    auto is = [&name](const char *key) {
        return name.compare(QLatin1String(key), Qt::CaseInsensitive) == 0;
    };
    auto same = [](const QString &a, const char *b) {
        return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
    };
    auto move = [this](Light *light, int channel) {
        light->setDmxChannel(channel);
        emit updatedLightProperty(light->uid(), QStringLiteral("DMX Address"),
                                  QString::number(qint64(light->dmxChannel()) + 1));
    };
    const QString stored = property(name);
    if (is("DMX Address")) {
        const quint32 a = value.toUInt();
        for (Light *light : lightObjects())
            move(light, quint16(light->dmxChannel() - base) + quint16(a - 1));
    } else if (is("Base Light Number")) {
        const quint32 oldBase = stored.toUInt();
        const quint32 newBase = value.toUInt();
        for (Light *light : lightObjects())
            move(light, quint16(light->dmxChannel() - 3 * oldBase) + 3 * quint16(newBase));
    } else if (is("Resolution")) {
        const QList<Light *> lights = lightObjects();
        for (Light *light : lights) {
            if (stored == value)
                continue;
            const quint16 offset = quint16(light->dmxChannel() - base);
            if (value == QLatin1String("16 bit"))
                move(light, int(base + 2 * offset));
            else if (same(stored, "16 bit") && same(value, "8 bit"))
                move(light, int(base + (offset >> 1)));
        }
        for (Light *light : lights)
            light->setProperty(QStringLiteral("Resolution"), value);
    } else if (is("Corlend Mode")) {
        for (Light *light : lightObjects()) {
            light->setProperty(QStringLiteral("Corlend Mode"), value);
            if (stored == value)
                continue;
            const quint16 offset = quint16(light->dmxChannel() - base);
            if (same(stored, "3-Ch In/4-Ch Out") && same(value, "4-Ch In/Out"))
                move(light, int(base + (offset / 3) * 4));
            else if (same(stored, "4-Ch In/Out") && same(value, "3-Ch In/4-Ch Out"))
                move(light, int(base + (offset >> 2) * 3));
        }
    } else if (is("Protocol Version")) {
        const QString raw =
            m_propertyMapper->toRawValueByName(QStringLiteral("Protocol Version"), value);
        m_protocolVersion = raw.toUShort();
    }
}

void DataSupply::copyProperties(const DataSupply *other)
{
    if (!other)
        return;
    const QHash<QString, QString> properties = other->m_properties;
    for (auto it = properties.constBegin(); it != properties.constEnd(); ++it)
        setProperty(it.key(), it.value());
}

void DataSupply::restoreProperties(const QHash<QString, QString> &properties)
{
    const QHash<QString, QString> before = std::exchange(m_properties, properties);
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        if (!properties.contains(it.key()))
            emit updatedDataSupplyProperty(m_uid, it.key(), QString());
    }
    for (auto it = properties.constBegin(); it != properties.constEnd(); ++it) {
        if (before.value(it.key()) != it.value() || !before.contains(it.key()))
            emit updatedDataSupplyProperty(m_uid, it.key(), it.value());
    }
    emit updatedDataSupply(m_uid);
}

// ---------------------------------------------------------------------------------------------
// Clone

void DataSupply::copyPortsFrom(const DataSupply &other)
{
    setPortCount(other.portCount());
    for (int i = 0; i < other.portCount(); ++i) {
        setPortNumber(i, other.portNumber(i));
        setPortType(i, other.portType(i));
    }
    rebuildPortIndex();
}

DataSupply *DataSupply::cloneWithLights(int x, int y)
{
    if (!m_map)
        return nullptr;
    DataSupply *copy = m_map->createDataSupply(m_type);
    if (!copy)
        return nullptr;
    copy->setUid(m_map->nextUid());
    if (!m_map->addDataSupply(copy)) {
        delete copy;
        return nullptr;
    }
    copy->setProtocolVersion(m_protocolVersion);
    copy->setUniverse(m_universe);
    copy->setDMXBufSize(m_dmxBufSize);
    copy->copyPortsFrom(*this);
    for (auto it = m_properties.constBegin(); it != m_properties.constEnd(); ++it)
        copy->setProperty(it.key(), it.value());

    const QRect bounds = boundingRect();
    QHash<quint32, quint64> fixtures;
    for (quint64 uid : m_lightUids) {
        const Light *source = m_map->light(uid);
        if (!source)
            continue;
        Light *light = source->assignProperties();
        if (!light)
            continue;
        light->setDataSupplyUid(copy->uid());
        LightPose pose = source->pose();
        pose.x = x + saturatedInt(pose.x - bounds.left());
        pose.y = y + saturatedInt(pose.y - bounds.top());
        light->setPose(pose);
        const quint32 sourceFixture = quint32(source->fixture());
        if (!fixtures.contains(sourceFixture))
            fixtures.insert(sourceFixture, m_map->nextUid() & 0xFFFFFFFFu);
        light->setFixture(fixtures.value(sourceFixture));
        const quint64 lightUid = light->uid();
        if (!m_map->addLight(light)) {
            qWarning() << "Failed to add light to map!";
            delete light;
            continue;
        }
        copy->addLight(lightUid);
    }
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Map file element "c"

void DataSupply::toXml(QDomElement *element, QDomDocument *document) const
{
    if (!element || !document)
        return;
    if (element->isNull())
        *element = document->createElement(QStringLiteral("c"));
    QDomElement &c = *element;
    appendTextElement(c, document, QStringLiteral("t"), QString::number(m_type));
    appendTextElement(c, document, QStringLiteral("s"), hexText(m_uid));
    appendTextElement(c, document, QStringLiteral("n"), m_name);
    appendTextElement(c, document, QStringLiteral("sn"), hexText(m_serialNumber));
    appendTextElement(c, document, QStringLiteral("ip"), ipAddress());
    appendTextElement(c, document, QStringLiteral("mac"), m_macAddress.toUpper());
    appendTextElement(c, document, QStringLiteral("u"), QString::number(m_universe));
    appendTextElement(c, document, QStringLiteral("d"), QString::number(m_dmxBufSize));
    appendTextElement(c, document, QStringLiteral("v"), QString::number(m_protocolVersion));
    appendTextElement(c, document, QStringLiteral("vs"), m_versionString);
    appendTextElement(c, document, QStringLiteral("family"), m_family);

    QDomElement list = document->createElement(QStringLiteral("pl"));
    for (const DmxPort &port : m_ports) {
        QDomElement p = document->createElement(QStringLiteral("p"));
        appendTextElement(p, document, QStringLiteral("pn"), QString::number(port.number));
        appendTextElement(p, document, QStringLiteral("pt"), QString::number(port.type));
        appendTextElement(p, document, QStringLiteral("pf"),
                          QString::number(port.flags & 0xFFFB, 16));
        list.appendChild(p);
    }
    c.appendChild(list);

    for (quint64 uid : m_lightUids)
        appendTextElement(c, document, QStringLiteral("l"), hexText(uid));
    writeProperties(c, document);
}

QList<QPair<QString, QString>> DataSupply::propertyEntries() const
{
    QList<QPair<QString, QString>> entries;
    const QStringList candidates = m_deviceDictionary->memoryMapTokens(m_serialNumber) +
                                   m_deviceDictionary->memoryMapTokensByName(m_serialNumber) +
                                   m_deviceDictionary->staticValueNames(m_serialNumber);
    QStringList names = m_properties.keys();
    names.sort(); // a stable file for a stable map
    for (const QString &name : names) {
        const QString token = m_propertyMapper->tokenName(name, candidates);
        if (token.contains(QLatin1String("Unsupported Property"), Qt::CaseInsensitive) ||
            token.contains(QLatin1String("DMX_OFFSET")))
            continue;
        entries.append({token, m_propertyMapper->toRawValueByName(name, m_properties.value(name))});
    }
    return entries;
}

void DataSupply::writeProperties(QDomElement &parent, QDomDocument *document) const
{
    QDomElement properties = document->createElement(QStringLiteral("properties"));
    const QList<QPair<QString, QString>> entries = propertyEntries();
    for (const auto &entry : entries)
        appendTextElement(properties, document, entry.first, entry.second);
    parent.appendChild(properties);
}

void DataSupply::writeXml(XmlTextWriter &writer) const
{
    writer.startElement(QLatin1String("c"));
    writer.numberElement(QLatin1String("t"), m_type);
    writer.unsignedHexElement(QLatin1String("s"), m_uid);
    writer.textElement(QLatin1String("n"), m_name);
    writer.unsignedHexElement(QLatin1String("sn"), m_serialNumber);
    writer.textElement(QLatin1String("ip"), ipAddress());
    writer.textElement(QLatin1String("mac"), m_macAddress.toUpper());
    writer.unsignedElement(QLatin1String("u"), m_universe);
    writer.numberElement(QLatin1String("d"), m_dmxBufSize);
    writer.unsignedElement(QLatin1String("v"), m_protocolVersion);
    writer.textElement(QLatin1String("vs"), m_versionString);
    writer.textElement(QLatin1String("family"), m_family);
    writer.startElement(QLatin1String("pl"));
    for (const DmxPort &port : m_ports) {
        writer.startElement(QLatin1String("p"));
        writer.unsignedElement(QLatin1String("pn"), port.number);
        writer.unsignedElement(QLatin1String("pt"), port.type);
        writer.textElement(QLatin1String("pf"), QString::number(port.flags & 0xFFFB, 16));
        writer.endElement();
    }
    writer.endElement();
    for (quint64 uid : m_lightUids)
        writer.unsignedHexElement(QLatin1String("l"), uid);
    writer.startElement(QLatin1String("properties"));
    const QList<QPair<QString, QString>> entries = propertyEntries();
    for (const auto &entry : entries)
        writer.textElement(entry.first, entry.second);
    writer.endElement();
    writer.endElement();
}

void DataSupply::fromXml(QDomElement *element)
{
    if (!element)
        return;
    for (QDomElement child = element->firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString text = child.text();
        bool ok = false;
        switch (tagCode(child.tagName())) {
        case TagType: {
            // Only a type the map can load counts: a record naming two types, one of them
            // unknown, would otherwise load and then be saved as a type no load accepts.
            const int type = text.toInt(&ok);
            if (ok && isLoadableType(type))
                m_type = type;
            break;
        }
        case TagUid: {
            const quint64 uid = text.toULongLong(&ok, 16);
            m_uid = ok ? uid : 0xFFFFFFFF;
            break;
        }
        case TagName:
            m_name = text;
            break;
        case TagSerialNumber: {
            const quint64 serial = text.toULongLong(&ok, 16);
            m_serialNumber = ok ? serial : 0xFFFFFFFF;
            break;
        }
        case TagIpAddress: {
            quint32 value = 0;
            if (!parseIpv4(text, &value))
                setIpAddressText(QStringLiteral("10.0.0.0"));
            else if (value != 0)
                setIpAddressText(text);
            // else: 0.0.0.0 is what an interface without an address writes, so it reads back
            // as still having none rather than as associated with the null address.
            break;
        }
        case TagMacAddress:
            m_macAddress = text.split(QLatin1Char(':')).size() == 6
                               ? text
                               : QStringLiteral("00:00:00:00:00:00");
            break;
        case TagUniverse: {
            const quint32 universe = text.toUInt(&ok);
            m_universe = ok ? universe : 0;
            break;
        }
        case TagBufferSize: {
            const int size = text.toInt(&ok);
            m_dmxBufSize = ok ? size : 512;
            break;
        }
        case TagVersion: {
            const quint16 version = text.toUShort(&ok);
            m_protocolVersion = ok ? version : 1;
            break;
        }
        case TagVersionString:
            m_versionString = text;
            break;
        case TagFamily:
            m_family = text;
            break;
        case TagPortList:
            readPortList(child);
            break;
        case TagLight: {
            const quint64 uid = text.toULongLong(&ok, 16);
            // A list that names one light twice keeps it once.
            if (ok && !m_lightUidSet.contains(uid)) {
                m_lightUids.append(uid);
                m_lightUidSet.insert(uid);
                invalidateLightTable();
            }
            break;
        }
        case TagProperties:
            readProperties(child);
            break;
        case TagMissing: {
            const int missing = text.toInt(&ok);
            m_missing = !ok || missing != 0;
            break;
        }
        default:
            break;
        }
    }
    emit updatedDataSupply(m_uid);
}

void DataSupply::readPortList(const QDomElement &list)
{
    const QDomNodeList nodes = list.childNodes();
    // The port count is one byte: further entries are ignored.
    const int count = std::min(nodes.size(), MaxPorts);
    if (count != portCount())
        setPortCount(quint8(count));
    for (int i = 0; i < count; ++i) {
        const QDomElement p = nodes.at(i).toElement();
        if (p.isNull())
            continue;
        DmxPort &port = m_ports[size_t(i)];
        for (QDomElement field = p.firstChildElement(); !field.isNull();
             field = field.nextSiblingElement()) {
            const int code = tagCode(field.tagName());
            if (code == TagPortNumber) {
                port.number = readPortByte(field.text());
            } else if (code == TagPortType) {
                port.type = readPortByte(field.text());
                port.startCode = port.type == 3 ? 0xFFF0 : 0;
            } else if (code == TagPortFlags) {
                bool ok = false;
                const quint32 flags = field.text().toUInt(&ok, 16);
                port.flags = ok ? flags : 0;
            }
        }
    }
    rebuildPortIndex();
}

void DataSupply::readProperties(const QDomElement &element)
{
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString tag = child.tagName();
        if (m_properties.contains(tag))
            continue;
        const QString name = m_propertyMapper->stringName(tag);
        if (m_properties.contains(name))
            continue;
        m_properties.insert(name, m_propertyMapper->toDisplayValueByName(name, child.text()));
    }
}
