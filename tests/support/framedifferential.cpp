#include "framedifferential.h"

#include "app/layoutview.h"
#include "app/layoutviewlight.h"
#include "model/datasupply.h"
#include "model/effectengine.h"
#include "model/group.h"
#include "model/light.h"
#include "model/lightframestate.h"
#include "model/mapmodel.h"
#include "model/selectioneffect.h"

#include <QDateTime>
#include <QGraphicsScene>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace FrameDifferential {

namespace {

struct LightKind
{
    quint32 chemistry;
    quint32 profile;
    quint32 resolution; // 1 is 8 bit, 0 is 16 bit
    bool half;
    quint32 curve = 0; // 0 linear, 1 normal (ends at 65520), 2 tungsten
};

// Three to eight channels, both resolutions, a half light, a dark last channel, two-channel
// white, the chemistry whose zero colour is five channels of profile 28, and 16-bit lights
// alike but for their dimming curves, which share mixes but not levels.
const LightKind kKinds[] = {{0, 0, 1, false},    {1, 3, 1, false},    {3, 1, 1, false},
                            {4, 28, 1, false},   {0, 0, 0, false},    {251, 0, 1, false},
                            {0, 0, 1, true},     {5, 0, 1, false},    {4, 28, 0, false},
                            {0, 0, 0, false, 1}, {0, 0, 1, false, 2}, {4, 28, 0, false, 1}};
const quint32 kChemistries[] = {0, 1, 2, 3, 4, 5, 7, 13, 251, 252, 253, 254};
const quint32 kProfiles[] = {0, 1, 3, 12, 28, 40, 45};
const quint32 kIoModes[] = {0, 16, 22, 23};
const int kFootprints[] = {0, 1, 3, 4, 5, 8, 9};
const quint32 kControlModes[] = {0, 1, 2, 5, 6};
const quint8 kPortTypes[] = {1, 2, 3, 6, 7};
const char *const kAddresses[] = {"10.0.0.7", "10.0.0.9", "0.0.0.0", "no address", "10.0.0.8"};
constexpr quint64 kAbsentInterface = 0xABCDEF01;

template <typename T, size_t N> T pick(const T (&values)[N], quint32 n)
{
    return values[n % N];
}

VeyColor levelColour(quint32 c)
{
    // A colour at a level: the hue from the low bits, the level from the high ones.
    const uint level = (c >> 24) & 0xFF;
    VeyColor colour;
    colour.setRgb8((c & 0xFF) * level / 255, ((c >> 8) & 0xFF) * level / 255,
                   ((c >> 16) & 0xFF) * level / 255);
    return colour;
}

QString hex(const QByteArray &data)
{
    return QString::fromLatin1(data.toHex());
}

QString rgbText(QRgb rgb)
{
    return QColor(rgb).name();
}

// One map with its selection effect, engine and canvas, wired as the main window wires them;
// the datagrams its frames ask for, and the colour each light had when the canvas read.
class World
{
public:
    World(bool incremental, bool livePlay)
    {
        engine.setPaused(true);
        engine.setIncrementalFrames(incremental);
        effect.followMap();
        canvas = std::make_unique<LayoutView>(&map, &effect, &scene, nullptr, "Layout View");
        QObject::connect(&engine, &EffectEngine::propertiesCompiled, canvas.get(),
                         &LayoutView::handlePropertiesCompiled);
        QObject::connect(&engine, &EffectEngine::propertiesCompiled, &map,
                         [this] { readColours(); });
        record();
        effect.setFgColor(levelColour(0xFFC89664));
        effect.setBgColor(levelColour(0xFF0A1428));
        effect.enabled = livePlay;
        map.setLivePlayDisabled(!livePlay);
        engine.addEffect(&effect);
        buildStartingMap();
        effect.reset();
    }

    QStringList frame()
    {
        sent.clear();
        clockMs += 100;
        engine.tick(QDateTime::fromMSecsSinceEpoch(clockMs), clockMs);
        // The wire order between interfaces follows a hash; only what goes out counts.
        sent.sort();
        return sent;
    }

    int skippedFrames() const
    {
        return int(engine.repeatedFrameCount() + engine.partialFrameCount());
    }

    // Whether the light's square shows this colour, inside and out.
    bool squareShows(quint64 uid, QRgb rgb) const
    {
        const LayoutViewLight *item = canvas->getLayoutViewLight(uid);
        if (!item)
            return false;
        const QPen pen = item->pen();
        return item->brush().color().rgb() == rgb && pen.style() != Qt::NoPen &&
               pen.color().rgb() == rgb;
    }
    QString squareText(quint64 uid) const
    {
        const LayoutViewLight *item = canvas->getLayoutViewLight(uid);
        if (!item)
            return QStringLiteral("no square");
        const QPen pen = item->pen();
        return QStringLiteral("%1 outlined %2")
            .arg(rgbText(item->brush().color().rgb()),
                 pen.style() == Qt::NoPen ? QStringLiteral("nowhere") : rgbText(pen.color().rgb()));
    }
    // The colour each light had when the last frame handed the canvas its colours: what its
    // square shows once the frame is painted, whatever the frame skipped.
    const std::vector<std::pair<quint64, QRgb>> &coloursRead() const { return read; }

    void apply(const Op &op);

    MapModel map;
    SelectionEffect effect{&map, 4294967295u};
    EffectEngine engine{&map, 100};
    QGraphicsScene scene;
    // After the model it shows: a canvas goes before the map and the effect it borrows.
    std::unique_ptr<LayoutView> canvas;

private:
    void record();
    void readColours();
    void buildStartingMap();
    quint64 addInterface(int type, quint16 version, int ports);
    quint64 addLight(quint64 supplyUid, quint8 port, int channel, const LightKind &kind);
    quint64 addBareLight(quint64 supplyUid, quint8 port);
    Light *lightAt(quint32 n) const
    {
        return lights.empty() ? nullptr : map.light(lights[n % lights.size()]);
    }
    DataSupply *supplyAt(quint32 n) const
    {
        return supplies.empty() ? nullptr : map.dataSupply(supplies[n % supplies.size()]);
    }
    // An interface of the map, or now and then one it lacks.
    quint64 supplyOrAbsent(quint32 n) const
    {
        return n % (supplies.size() + 1) < supplies.size() ? supplies[n % (supplies.size() + 1)]
                                                           : kAbsentInterface;
    }
    quint64 groupAt(quint32 n) const { return groups.empty() ? 0 : groups[n % groups.size()]; }
    void setLight(Light *light, quint32 setting, quint32 c);
    void editGroup(quint32 a, quint32 b, quint32 c);
    void setOption(quint32 b, quint32 c);
    void loadOwnMap();

    std::vector<quint64> lights;
    std::vector<quint64> supplies;
    std::vector<quint64> groups;
    // Both worlds issue the same uids, so their hash tables hold the same keys.
    quint64 nextId = 0x7000;
    QStringList sent;
    std::vector<std::pair<quint64, QRgb>> read;
    qint64 clockMs = 0;
    int loads = 0;
};

// The colour as the canvas turns it into a square's: black without one.
void World::readColours()
{
    read.clear();
    for (const MapModel::FrameOrderEntry &entry : map.lightsInFrameOrder()) {
        const VeyColor &colour = entry.state->currentColor;
        const QRgb rgb = colour.isValid()
                             ? qRgb(int(colour.red8()), int(colour.green8()), int(colour.blue8()))
                             : qRgb(0, 0, 0);
        read.emplace_back(entry.uid, rgb);
    }
}

void World::record()
{
    QObject::connect(&map, &MapModel::signalSendDmxFrame, &map,
                     [this](QString ip, quint16 startCode, quint16 timer, QByteArray data) {
                         sent << QStringLiteral("dmx %1 %2 %3 %4")
                                     .arg(ip)
                                     .arg(startCode)
                                     .arg(timer)
                                     .arg(hex(data));
                     });
    QObject::connect(&map, &MapModel::signalSendBroadcastDmxFrame, &map,
                     [this](quint32 universe, quint16 startCode, quint16, QByteArray data) {
                         sent << QStringLiteral("broadcast-dmx %1 %2 %3")
                                     .arg(universe)
                                     .arg(startCode)
                                     .arg(hex(data));
                     });
    QObject::connect(&map, &MapModel::signalSendPortOut, &map,
                     [this](QString ip, quint32 universe, quint8 port, quint16 flags,
                            quint16 startCode, QByteArray data) {
                         sent << QStringLiteral("port-out %1 %2 %3 %4 %5 %6")
                                     .arg(ip)
                                     .arg(universe)
                                     .arg(port)
                                     .arg(flags)
                                     .arg(startCode)
                                     .arg(hex(data));
                     });
    QObject::connect(
        &map, &MapModel::signalSendBroadcastPortOut, &map,
        [this](quint32 universe, quint8 port, quint16 flags, quint16 startCode, QByteArray data) {
            sent << QStringLiteral("broadcast-port-out %1 %2 %3 %4 %5")
                        .arg(universe)
                        .arg(port)
                        .arg(flags)
                        .arg(startCode)
                        .arg(hex(data));
        });
    QObject::connect(&map, &MapModel::signalSendSACNData, &map, [this](QString ip, QByteArray d) {
        sent << QStringLiteral("sacn %1 %2").arg(ip, hex(d));
    });
    QObject::connect(&map, &MapModel::signalSendArtNetData, &map, [this](QString ip, QByteArray d) {
        sent << QStringLiteral("artnet %1 %2").arg(ip, hex(d));
    });
}

quint64 World::addInterface(int type, quint16 version, int ports)
{
    DataSupply *supply = map.createDataSupply(type);
    supply->setUid(++nextId);
    supply->setIpAddressText(QStringLiteral("10.0.0.%1").arg(20 + supplies.size()));
    supply->setProtocolVersion(version);
    supply->setPortCount(quint8(ports));
    map.addDataSupply(supply);
    supplies.push_back(supply->uid());
    return supply->uid();
}

quint64 World::addLight(quint64 supplyUid, quint8 port, int channel, const LightKind &kind)
{
    auto *light = new Light();
    light->setUid(++nextId);
    light->setDataSupplyUid(supplyUid);
    light->setPort(port);
    light->setResolution(kind.resolution);
    light->setLedChemistry(kind.chemistry);
    light->setHueweaveProfileId(kind.profile);
    if (kind.curve != 0)
        light->setDimmingCurve(kind.curve);
    if (kind.half)
        light->setHalfFullMode(true);
    light->setDmxChannel(channel);
    if (DataSupply *supply = map.dataSupply(supplyUid))
        supply->addLight(light->uid());
    map.addLight(light);
    lights.push_back(light->uid());
    return light->uid();
}

// As a light scan's reply makes a light: no settings, so no colour form, until its
// properties are read.
quint64 World::addBareLight(quint64 supplyUid, quint8 port)
{
    auto *light = new Light();
    light->setUid(++nextId);
    light->setSerialNumber(0x100000 + nextId);
    light->setDataSupplyUid(supplyUid);
    light->setPort(port);
    map.addLight(light);
    if (DataSupply *supply = map.dataSupply(supplyUid))
        supply->addLight(light->uid());
    lights.push_back(light->uid());
    return light->uid();
}

// Two unicast interfaces of versions 2 and 1, a broadcast one; lights of every kind, two
// sharing bytes, one listed by two interfaces, one whose interface is not in the map, one
// on a port its interface lacks and two that differ only in their dimming curves; a chase
// and a synchronized group.
void World::buildStartingMap()
{
    const quint64 a = addInterface(2, 2, 2);
    const quint64 b = addInterface(2, 1, 1);
    const quint64 c = addInterface(3, 3, 2);
    for (int i = 0; i < 9; ++i)
        addLight(i < 6 ? a : b, quint8(i % 2), 12 * (i / 2), kKinds[i]);
    addLight(a, 0, 2, kKinds[0]); // shares bytes with the first light
    const quint64 shared = addLight(b, 0, 60, kKinds[1]);
    map.dataSupply(a)->addLight(shared); // listed by both a and b
    addLight(c, 1, 0, kKinds[3]);
    addLight(kAbsentInterface, 0, 0, kKinds[3]); // no interface writes it
    addLight(a, 4, 0, kKinds[2]);                // port a lacks
    addLight(a, 1, 40, kKinds[9]);               // light 4's kind and colour, the normal curve
    for (quint64 uid : supplies)
        map.dataSupply(uid)->updateBufferSizes();
    auto *chase = new Group(Group::Chasing, ++nextId, QStringLiteral("chase"));
    chase->addChildren({lights[0], lights[3], lights[10], lights[12]});
    map.addGroup(chase);
    chase->compile();
    groups.push_back(chase->uid());
    auto *together = new Group(Group::Synchronized, ++nextId, QStringLiteral("together"));
    together->addChildren({lights[1], lights[2]});
    map.addGroup(together);
    together->compile();
    groups.push_back(together->uid());
}

void World::setLight(Light *light, quint32 setting, quint32 c)
{
    switch (LightSetting(setting % LightSettingCount)) {
    case SetChemistry:
        light->setLedChemistry(pick(kChemistries, c));
        break;
    case SetProfile:
        light->setHueweaveProfileId(pick(kProfiles, c));
        break;
    case SetChemistryThenProfile:
        light->setLedChemistry(pick(kChemistries, c));
        light->setHueweaveProfileId(pick(kProfiles, c >> 4));
        break;
    case SetHueweaveEnabled:
        light->setHueweaveEnabled(c % 2 ? 4 : 0);
        break;
    case SetIoMode:
        light->setHueweaveIoMode(pick(kIoModes, c));
        break;
    case SetCurve:
        light->setDimmingCurve(c % 3);
        break;
    case SetDeviceInfo:
        light->setProperty(QStringLiteral("Device Info"),
                           QStringLiteral("D.0038-P.0509-F.%1")
                               .arg(pick(kFootprints, c), 4, 10, QLatin1Char('0')));
        break;
    case SetResolution:
        light->setResolution(c % 2);
        break;
    case SetHalf:
        light->setHalfFullMode(c % 2);
        break;
    case SetChannel:
        // Now and then before the universe or at its very end.
        light->setDmxChannel(c % 11 == 0 ? -1 : c % 13 == 0 ? int(505 + c % 7) : int(c % 64));
        break;
    case SetPort:
        light->setPort(quint8(c % 4));
        break;
    case SetControlMode:
        light->setColorControlMode(pick(kControlModes, c));
        break;
    case SetWhiteInput:
        light->setWhiteInputMode(int(c % 2));
        break;
    case SetDmxAddressText:
        light->setProperty(QStringLiteral("DMX Address"), QString::number(c % 70));
        break;
    case SetName:
        light->setName(QStringLiteral("light %1").arg(c));
        break;
    case LightSettingCount:
        break;
    }
}

void World::editGroup(quint32 a, quint32 b, quint32 c)
{
    switch (b % 4) {
    case 0: {
        auto *group =
            new Group(c % 2 ? Group::Chasing : Group::Synchronized, ++nextId, QStringLiteral("g"));
        QList<quint64> members;
        for (size_t i = 0; i < lights.size() && i < 32; ++i) {
            if (c >> i & 1)
                members << lights[i];
        }
        group->addChildren(members);
        map.addGroup(group);
        group->compile();
        groups.push_back(group->uid());
        break;
    }
    case 1:
    case 2:
        if (Group *group = map.group(groupAt(a))) {
            if (Light *light = lightAt(c)) {
                if (b % 4 == 1)
                    group->addChild(light->uid());
                else
                    group->removeChild(light->uid());
                group->compile();
            }
        }
        break;
    default:
        if (const quint64 gid = groupAt(a)) {
            map.deleteGroup(gid);
            map.flushChangedGroups();
            groups.erase(std::find(groups.begin(), groups.end(), gid));
        }
        break;
    }
}

void World::setOption(quint32 b, quint32 c)
{
    switch (b % 5) {
    case 0:
        map.setColorCacheEnabled(c % 2);
        break;
    case 1:
        map.setLivePlayDisabled(c % 2);
        effect.enabled = !(c % 2);
        break;
    case 2:
        engine.setFrameInterval(1000 / int(c % 30 + 1));
        break;
    case 3:
        // Paused and resumed between two frames; the test ticks the engine itself.
        engine.setPaused(false);
        engine.setPaused(true);
        break;
    default:
        // As the map loader leaves them.
        for (quint64 uid : supplies)
            map.dataSupply(uid)->updateBufferSizes();
        break;
    }
}

void World::loadOwnMap()
{
    static QTemporaryDir directory;
    const QString file =
        directory.filePath(QStringLiteral("world-%1-%2.map").arg(quintptr(this)).arg(++loads));
    if (!map.saveMap(file))
        return;
    map.clearMap();
    map.loadMap(file, MapLoadDefaults());
    effect.reset();
    // Lights and interfaces the file does not carry are gone.
    auto gone = [this](std::vector<quint64> &uids, auto lookup) {
        uids.erase(
            std::remove_if(uids.begin(), uids.end(), [&](quint64 uid) { return !lookup(uid); }),
            uids.end());
    };
    gone(lights, [this](quint64 uid) { return map.light(uid) != nullptr; });
    gone(supplies, [this](quint64 uid) { return map.dataSupply(uid) != nullptr; });
    gone(groups, [this](quint64 uid) { return map.group(uid) != nullptr; });
}

void World::apply(const Op &op)
{
    Light *light = lightAt(op.a);
    DataSupply *supply = supplyAt(op.b);
    switch (op.kind) {
    case OpKind::Frames:
    case OpKind::Count:
        break;
    case OpKind::SelectLight:
        if (light)
            effect.setLightSelected(light->uid(), op.c % 2);
        break;
    case OpKind::SelectGroup:
        effect.setGroupSelected(groupAt(op.a), op.c % 2);
        break;
    case OpKind::SelectInterface:
        if (supply)
            effect.setDataSupplySelected(supply->uid(), op.c % 2);
        break;
    case OpKind::SelectAll:
        effect.selectAll();
        break;
    case OpKind::ClearSelection:
        effect.clearSelection();
        break;
    case OpKind::Highlight:
        effect.highlightGroup(groupAt(op.a));
        break;
    case OpKind::ForegroundColour:
        effect.setFgColor(levelColour(op.c));
        break;
    case OpKind::BackgroundColour:
        effect.setBgColor(levelColour(op.c));
        break;
    case OpKind::LightSetting:
        if (light)
            setLight(light, op.b, op.c);
        break;
    case OpKind::AddLight:
        addLight(supplyOrAbsent(op.a), quint8(op.c % 3), int((op.c >> 2) % 40), pick(kKinds, op.b));
        break;
    case OpKind::AddBareLight:
        addBareLight(supplyOrAbsent(op.a), quint8(op.c % 3));
        break;
    case OpKind::DeleteLight:
        if (light) {
            const quint64 uid = light->uid();
            map.deleteLight(uid);
            map.flushChangedGroups();
            lights.erase(std::find(lights.begin(), lights.end(), uid));
        }
        break;
    case OpKind::MoveLight:
        if (light && supply) {
            if (DataSupply *from = map.dataSupply(light->dataSupplyUid()))
                from->removeLight(light->uid());
            supply->addLight(light->uid());
            light->setDataSupplyUid(supply->uid());
        }
        break;
    case OpKind::ListOnSecondInterface:
        if (light && supply)
            supply->addLight(light->uid());
        break;
    case OpKind::InterfaceAddress:
        if (supply)
            supply->setIpAddressText(QString::fromLatin1(pick(kAddresses, op.c)));
        break;
    case OpKind::PortCount:
        if (supply)
            supply->setPortCount(op.c % 2 ? supply->portCount() : quint8(op.c / 2 % 4));
        break;
    case OpKind::PortTable:
        if (supply && supply->portCount() > 0) {
            const int index = int(op.c % supply->portCount());
            switch ((op.c >> 4) % 3) {
            case 0:
                supply->setPortNumber(index, quint8(op.c >> 8) % 4);
                supply->rebuildPortIndex();
                break;
            case 1:
                supply->setPortType(index, pick(kPortTypes, op.c >> 8));
                break;
            default:
                supply->setPortFlags(index, op.c >> 8);
                break;
            }
        }
        break;
    case OpKind::ProtocolVersion:
        if (supply)
            supply->setProtocolVersion(quint16(op.c % 5));
        break;
    case OpKind::InterfaceProperty:
        if (supply) {
            switch (op.c % 3) {
            case 0:
                supply->setProperty(QStringLiteral("DMX Address"), QString::number(op.c / 3 % 40));
                break;
            case 1:
                supply->setProperty(QStringLiteral("Resolution"), op.c / 3 % 2
                                                                      ? QStringLiteral("16 bit")
                                                                      : QStringLiteral("8 bit"));
                break;
            default:
                supply->setProperty(QStringLiteral("Base Light Number"),
                                    QString::number(op.c / 3 % 4));
                break;
            }
        }
        break;
    case OpKind::Missing:
        if (supply)
            supply->setMissing(op.c % 2);
        break;
    case OpKind::AddInterface:
        addInterface(op.c % 2 ? 3 : 2, quint16(op.c / 2 % 4), int(op.c / 8 % 3 + 1));
        break;
    case OpKind::DeleteInterface:
        if (supply) {
            const quint64 uid = supply->uid();
            map.deleteDataSupply(uid, op.c % 2);
            supplies.erase(std::find(supplies.begin(), supplies.end(), uid));
            lights.erase(std::remove_if(lights.begin(), lights.end(),
                                        [this](quint64 id) { return !map.light(id); }),
                         lights.end());
        }
        break;
    case OpKind::Option:
        setOption(op.b, op.c);
        break;
    case OpKind::GroupEdit:
        editGroup(op.a, op.b, op.c);
        break;
    case OpKind::MapLoad:
        loadOwnMap();
        break;
    }
}

const char *kindName(OpKind kind)
{
    static const char *const names[] = {"frames",
                                        "select light",
                                        "select group",
                                        "select interface",
                                        "select all",
                                        "clear selection",
                                        "highlight",
                                        "foreground colour",
                                        "background colour",
                                        "light setting",
                                        "add light",
                                        "delete light",
                                        "move light",
                                        "list on second interface",
                                        "interface address",
                                        "port count",
                                        "port table",
                                        "protocol version",
                                        "interface property",
                                        "missing",
                                        "add interface",
                                        "delete interface",
                                        "option",
                                        "group edit",
                                        "map load",
                                        "add bare light"};
    static_assert(sizeof names / sizeof *names == size_t(OpKind::Count), "a name per kind");
    return names[int(kind)];
}

// How often each edit comes up: frames and selections most, as in live use.
OpKind randomKind(QRandomGenerator &random)
{
    const quint32 roll = random.bounded(100u);
    if (roll < 30)
        return OpKind::Frames;
    if (roll < 45)
        return OpKind::SelectLight;
    if (roll < 60)
        return OpKind::LightSetting;
    return OpKind(2 + random.bounded(int(OpKind::Count) - 2));
}

} // namespace

QString describe(const Op &op)
{
    return QStringLiteral("{%1, %2, %3, %4}")
        .arg(QLatin1String(kindName(op.kind)))
        .arg(op.a)
        .arg(op.b)
        .arg(op.c);
}

QString describe(const std::vector<Op> &ops)
{
    QStringList lines;
    for (const Op &op : ops)
        lines << describe(op);
    return lines.join(QLatin1Char('\n'));
}

std::vector<Op> randomSequence(quint32 seed, int length)
{
    QRandomGenerator random(seed);
    std::vector<Op> ops;
    ops.reserve(size_t(length));
    for (int i = 0; i < length; ++i) {
        Op op;
        op.kind = randomKind(random);
        op.a = random.generate();
        op.b = random.generate();
        op.c = random.generate();
        if (op.kind == OpKind::LightSetting)
            op.b %= LightSettingCount;
        ops.push_back(op);
    }
    return ops;
}

namespace {

// The first datagram that differs, if any.
QString differingDatagram(const QStringList &fast, const QStringList &plain)
{
    for (int i = 0; i < std::max(fast.size(), plain.size()); ++i) {
        const QString f = fast.value(i, QStringLiteral("(nothing)"));
        const QString p = plain.value(i, QStringLiteral("(nothing)"));
        if (f != p)
            return QStringLiteral("sent %1\nwhole %2").arg(f, p);
    }
    return QString();
}

// The first light, by uid, whose square on either canvas does not show the colour the whole
// build gave it, if any.
QString differingSquare(const World &shipped, const World &whole)
{
    const std::pair<quint64, QRgb> *first = nullptr;
    for (const std::pair<quint64, QRgb> &light : whole.coloursRead()) {
        if ((!first || light.first < first->first) &&
            !(shipped.squareShows(light.first, light.second) &&
              whole.squareShows(light.first, light.second)))
            first = &light;
    }
    if (!first)
        return QString();
    return QStringLiteral("light %1 read %2; square shows %3, whole %4")
        .arg(first->first, 0, 16)
        .arg(rgbText(first->second), shipped.squareText(first->first),
             whole.squareText(first->first));
}

} // namespace

Outcome run(const std::vector<Op> &ops, bool livePlay)
{
    Outcome outcome;
    auto shipped = std::make_unique<World>(true, livePlay);
    auto whole = std::make_unique<World>(false, livePlay);
    auto compare = [&](int index) {
        const QStringList fast = shipped->frame();
        const QStringList plain = whole->frame();
        ++outcome.frames;
        outcome.detail = differingDatagram(fast, plain);
        if (outcome.detail.isEmpty())
            outcome.detail = differingSquare(*shipped, *whole);
        if (outcome.detail.isEmpty())
            return true;
        outcome.diverged = true;
        outcome.op = index;
        return false;
    };
    if (!compare(-1))
        return outcome;
    for (size_t i = 0; i < ops.size(); ++i) {
        shipped->apply(ops[i]);
        whole->apply(ops[i]);
        const int frames = ops[i].kind == OpKind::Frames ? int(ops[i].c % 3 + 1) : 1;
        for (int f = 0; f < frames; ++f) {
            if (!compare(int(i)))
                return outcome;
        }
    }
    outcome.skipped = shipped->skippedFrames();
    return outcome;
}

std::vector<Op> shrink(std::vector<Op> ops, bool livePlay)
{
    const Outcome outcome = run(ops, livePlay);
    if (!outcome.diverged)
        return ops;
    // Everything after the edit that diverged cannot matter.
    if (outcome.op >= 0)
        ops.resize(size_t(outcome.op) + 1);
    return shrink(ops,
                  [livePlay](const std::vector<Op> &some) { return run(some, livePlay).diverged; });
}

std::vector<Op> shrink(std::vector<Op> ops, const Failure &fails)
{
    if (!fails(ops))
        return ops;
    for (size_t chunk = std::max<size_t>(ops.size() / 2, 1);; chunk /= 2) {
        for (size_t start = 0; start < ops.size();) {
            std::vector<Op> fewer = ops;
            fewer.erase(fewer.begin() + long(start),
                        fewer.begin() + long(std::min(start + chunk, fewer.size())));
            if (fails(fewer))
                ops = fewer;
            else
                start += chunk;
        }
        if (chunk <= 1)
            break;
    }
    return ops;
}

} // namespace FrameDifferential
