#include "model/selectioneffect.h"

#include "colour/colourmixing.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <algorithm>
#include <functional>

SelectionEffect::SelectionEffect(MapModel *map, quint64 groupUid, QDomElement *element)
    : Effect(map, groupUid), m_fgColor(Qt::red), m_bgColor(Qt::black)
{
    m_typeName = QStringLiteral("Selection");
    m_entries.reserve(ReservedLights);
    m_spaceSlots.fill(-1);
    fromXml(element);
}

QDomElement SelectionEffect::toXml(QDomDocument &document)
{
    QDomElement element = document.createElement(QStringLiteral("effect"));
    saveCommon(element);
    auto append = [&](const QString &key, const QString &text) {
        QDomElement child = document.createElement(key);
        child.appendChild(document.createTextNode(text));
        element.appendChild(child);
    };
    append(QStringLiteral("fgcolor"), m_fgColor.toString());
    append(QStringLiteral("bgcolor"), m_bgColor.toString());
    return element;
}

void SelectionEffect::fromXml(QDomElement *element)
{
    if (!element || element->isNull())
        return;
    loadCommon(element);
    for (QDomElement child = element->firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const int key = keyCode(child.tagName());
        if (key != KeyFgColor && key != KeyBgColor)
            continue;
        VeyColor color(child.firstChild().nodeValue());
        if (key == KeyFgColor)
            setFgColor(color.isValid() ? color : VeyColor(Qt::red));
        else
            setBgColor(color.isValid() ? color : VeyColor(Qt::black));
    }
}

void SelectionEffect::setFgColor(const VeyColor &color)
{
    m_fgColor = color;
    forgetSpaceColors();
    reset();
}

void SelectionEffect::setBgColor(const VeyColor &color)
{
    m_bgColor = color;
    forgetSpaceColors();
    reset();
}

// Deselects every light of the map without telling anyone. The table itself is rebuilt only
// when next needed, so a burst of light updates (each of which resets) costs one rebuild.
void SelectionEffect::reset()
{
    noteAllChanged();
    m_selected.clear();
    ++m_selectionVersion;
    m_tableStale = true;
    m_highlightStep = 0;
    m_highlighting = false;
}

void SelectionEffect::ensureTable()
{
    if (!m_tableStale)
        return;
    m_tableStale = false;
    m_entries.clear();
    if (!m_map)
        return;
    const QHash<quint64, Light *> lights = m_map->lights();
    m_entries.reserve(qMax(qsizetype(ReservedLights), lights.size()));
    for (auto it = lights.cbegin(); it != lights.cend(); ++it)
        m_entries.insert(it.key());
    m_entriesGeneration = m_map->lightGeneration();
    // Views only hear about lights that still exist.
    for (auto it = m_shownSelected.begin(); it != m_shownSelected.end();) {
        if (m_entries.contains(*it))
            ++it;
        else
            it = m_shownSelected.erase(it);
    }
}

bool SelectionEffect::hasEntry(quint64 uid)
{
    ensureTable();
    return m_entries.contains(uid);
}

bool SelectionEffect::isLightSelected(quint64 uid)
{
    ensureTable();
    return m_selected.contains(uid);
}

int SelectionEffect::entryCount()
{
    ensureTable();
    return int(m_entries.size());
}

// The announcement that always follows lists the light for the next frame.
void SelectionEffect::setEntry(quint64 uid, bool s)
{
    ++m_selectionVersion;
    if (s)
        m_selected.insert(uid);
    else
        m_selected.remove(uid);
}

// What the views hear changes what a canvas shows (a selection mark until the next frame
// paints over it), so the next frame must paint the light, whether its state changed or not.
void SelectionEffect::announce(quint64 uid, bool s)
{
    noteChanged(uid);
    if (s)
        m_shownSelected.insert(uid);
    else
        m_shownSelected.remove(uid);
    emit lightSelectionChanged(uid, s);
}

void SelectionEffect::handleNewLight(quint64 uid)
{
    if (!m_map || !m_map->light(uid))
        return;
    noteChanged(uid);
    m_selected.remove(uid);
    ++m_selectionVersion;
    // A stale table picks the light up from the map when it is rebuilt.
    if (!m_tableStale) {
        m_entries.insert(uid);
        followGeneration();
    }
}

// Kept in step light by light: the entries still match the map when they matched it before
// this light came or went.
void SelectionEffect::followGeneration()
{
    if (m_map && m_entriesGeneration != 0 && m_entries.size() == m_map->lights().size())
        m_entriesGeneration = m_map->lightGeneration();
    else
        m_entriesGeneration = 0;
}

void SelectionEffect::handleUpdatedLight(quint64 uid)
{
    Q_UNUSED(uid);
    reset();
}

void SelectionEffect::handleDeletedLight(quint64 uid)
{
    m_entries.remove(uid);
    followGeneration();
    noteChanged(uid);
    m_selected.remove(uid);
    ++m_selectionVersion;
    m_shownSelected.remove(uid);
}

void SelectionEffect::followMap()
{
    MapModel *map = model();
    connect(map, &MapModel::newLight, this, &SelectionEffect::handleNewLight);
    connect(map, &MapModel::updatedLight, this, &SelectionEffect::handleUpdatedLight);
    connect(map, &MapModel::deletedLight, this, &SelectionEffect::handleDeletedLight);
    connect(map, &MapModel::clearedMap, this, &SelectionEffect::handleClearedMap);
}

void SelectionEffect::handleClearedMap()
{
    m_tableStale = false;
    m_entries.clear();
    noteAllChanged();
    m_selected.clear();
    ++m_selectionVersion;
    m_shownSelected.clear();
}

void SelectionEffect::setLightSelected(quint64 uid, bool s)
{
    m_highlighting = false;
    ensureTable();
    if (!m_entries.contains(uid))
        return;
    setEntry(uid, s);
    announce(uid, s);
}

void SelectionEffect::setGroupSelected(quint64 groupUid, bool s)
{
    m_highlighting = false;
    Group *group = m_map ? m_map->group(groupUid) : nullptr;
    if (!group)
        return;
    const GroupLightMatrix matrix = group->lightMatrix();
    for (const QVector<quint64> &step : matrix.stepLightUids) {
        for (quint64 uid : step)
            setLightSelected(uid, s);
    }
}

void SelectionEffect::setDataSupplySelected(quint64 interfaceUid, bool s)
{
    m_highlighting = false;
    DataSupply *dataSupply = m_map ? m_map->dataSupply(interfaceUid) : nullptr;
    if (!dataSupply)
        return;
    const QList<quint64> lights = dataSupply->lights();
    for (quint64 uid : lights)
        setLightSelected(uid, s);
}

// The highlight keeps its own copy of the group's steps: they are uids, so a group or light
// deleted during the highlight leaves nothing dangling, only entries that no longer match.
void SelectionEffect::highlightGroup(quint64 groupUid)
{
    Group *group = m_map ? m_map->group(groupUid) : nullptr;
    if (!group)
        return;
    m_highlightSteps = group->lightMatrix();
    m_hasHighlightSteps = true;
    m_highlightStep = 0;
    m_highlighting = true;
}

// Only lights that were selected change: they alone go to the next frame, and they alone are
// announced, as the views already show every other light deselected. A light counts as
// selected when it is, or when the views last heard so (a silent reset or a highlight step
// may stand between): a canvas marks each light it hears of, so each must be painted again,
// even one whose colour a silent reset changed long ago.
void SelectionEffect::clearSelection()
{
    ensureTable();
    QSet<quint64> deselected;
    deselected.swap(m_selected);
    deselected.unite(m_shownSelected);
    m_shownSelected.clear();
    for (quint64 uid : std::as_const(deselected))
        noteChanged(uid);
    ++m_selectionVersion;
    m_announcingInBulk = true;
    for (quint64 uid : std::as_const(deselected))
        emit lightSelectionChanged(uid, false);
    m_announcingInBulk = false;
    if (!deselected.isEmpty())
        emit lightsSelectionChangedInBulk(deselected, false);
}

void SelectionEffect::selectAll()
{
    ensureTable();
    noteAllChanged();
    m_selected = m_entries;
    ++m_selectionVersion;
    m_shownSelected = m_entries;
    const QSet<quint64> entries = m_entries;
    m_announcingInBulk = true;
    for (quint64 uid : entries)
        emit lightSelectionChanged(uid, true);
    m_announcingInBulk = false;
    if (!entries.isEmpty())
        emit lightsSelectionChangedInBulk(entries, true);
}

// Every light leaves the selection and the views hear that each is deselected; only lights
// they last heard as selected need telling, the rest already show deselected. The lights of
// the current step are then selected silently, for the output only.
void SelectionEffect::showHighlightStep()
{
    if (!m_hasHighlightSteps) {
        m_highlightSteps = GroupLightMatrix();
        m_hasHighlightSteps = true;
    }
    const int steps = int(m_highlightSteps.stepLightUids.size());
    ++m_highlightStep;
    if (m_highlightStep >= steps)
        m_highlightStep = 0;

    for (quint64 uid : std::as_const(m_selected))
        noteChanged(uid);
    m_selected.clear();
    ++m_selectionVersion;
    const QSet<quint64> shown = m_shownSelected;
    for (quint64 uid : shown)
        announce(uid, false);

    if (steps == 0)
        return;
    for (quint64 uid : m_highlightSteps.stepLightUids.at(m_highlightStep)) {
        if (m_entries.contains(uid)) {
            noteChanged(uid);
            m_selected.insert(uid);
        }
    }
    ++m_selectionVersion;
}

namespace {

// The colour that a light's compositing, mixing colour over a colour of the given space,
// takes without converting again: colour carried into that space, padded to the channels the
// mix would use and carrying colour's own alpha. Invalid when that cannot be made exact, so
// the caller hands over the plain colour and the light converts it itself.
VeyColor carriedInto(const VeyColor &color, const VeyColor &space)
{
    if (color.spec() == VeyColor::NChannel || space.spec() != VeyColor::NChannel)
        return VeyColor();
    const VeyColor converted =
        color.convertTo(VeyColor::NChannel, space.colorType(), space.profileId(),
                        profileSetForFlag(space.profileSetFlag()));
    if (converted.spec() != VeyColor::NChannel)
        return VeyColor();
    constexpr quint32 maxLevels = VeyColor::MaxChannels;
    const int size = 1 + int(std::max(std::min(converted.channelCount(), maxLevels),
                                      std::min(space.channelCount(), maxLevels)));
    double levels[1 + VeyColor::MaxChannels] = {};
    converted.getNChannelF(levels);
    levels[0] = color.alphaF();
    VeyColor carried;
    carried.setNChannelF(levels, size, space.colorType(), space.profileId(),
                         space.profileSetFlag());
    double check[1 + VeyColor::MaxChannels] = {};
    carried.getNChannelF(check);
    if (carried.spec() != VeyColor::NChannel || carried.alpha() != color.alpha() ||
        !std::equal(levels + 1, levels + size, check + 1))
        return VeyColor();
    return carried;
}

} // namespace

void SelectionEffect::forgetSpaceColors()
{
    m_spaceColors.clear();
    m_spaceSlots.fill(-1);
}

// Lights show their colours in a handful of colour spaces; converting the two selection
// colours once per space, instead of once per light and frame, is most of a frame's work.
const SelectionEffect::SpaceColors &SelectionEffect::spaceColorsFor(const VeyColor &current)
{
    auto matches = [&current](const SpaceColors &entry) {
        return entry.colorType == current.colorType() && entry.profileId == current.profileId() &&
               entry.profileSetFlag == current.profileSetFlag() &&
               entry.channelCount == current.channelCount();
    };
    const quint32 mixed = (current.colorType() * 0x9E3779B1u ^ current.profileId() * 0x85EBCA77u ^
                           current.channelCount() * 0xC2B2AE3Du) +
                          quint32(current.profileSetFlag());
    int &slot = m_spaceSlots[(mixed * 0x27D4EB2Fu) >> 27];
    if (slot >= 0 && slot < m_spaceColors.size() && matches(m_spaceColors.at(slot)))
        return m_spaceColors.at(slot);
    for (int i = 0; i < m_spaceColors.size(); ++i) {
        if (matches(m_spaceColors.at(i))) {
            slot = i;
            return m_spaceColors.at(i);
        }
    }
    SpaceColors entry;
    entry.colorType = current.colorType();
    entry.profileId = current.profileId();
    entry.profileSetFlag = current.profileSetFlag();
    entry.channelCount = current.channelCount();
    entry.fg = carriedInto(m_fgColor, current);
    entry.bg = carriedInto(m_bgColor, current);
    m_spaceColors.append(entry);
    slot = int(m_spaceColors.size()) - 1;
    return m_spaceColors.last();
}

const VeyColor &SelectionEffect::colorFor(const VeyColor &current, bool selected)
{
    const VeyColor &plain = selected ? m_fgColor : m_bgColor;
    if (current.spec() != VeyColor::NChannel)
        return plain;
    const SpaceColors &space = spaceColorsFor(current);
    const VeyColor &carried = selected ? space.fg : space.bg;
    return carried.isValid() ? carried : plain;
}

// A frame reads one byte per light instead of looking every light up in the selection; the
// flags follow the selection only when it changed, which a highlight does once a frame.
void SelectionEffect::refreshSelectedFlags(const std::vector<MapModel::FrameOrderEntry> &order)
{
    if (m_selectedFlagsValid && m_selectedFlagsVersion == m_selectionVersion &&
        m_selectedFlagsGeneration == m_map->lightGeneration())
        return;
    const size_t count = order.size();
    // The selection is drawn from the entries; while they match the map's lights, as many
    // selected as the map has is all of them (Select All), which needs no lookup per light.
    const bool all = !m_selected.isEmpty() && size_t(m_selected.size()) == count &&
                     m_entriesGeneration == m_map->lightGeneration() &&
                     size_t(m_entries.size()) == count;
    m_selectedFlags.assign(count, all ? 1 : 0);
    if (!all && !m_selected.isEmpty()) {
        for (size_t i = 0; i < count; ++i)
            m_selectedFlags[i] = m_selected.contains(order[i].uid) ? 1 : 0;
    }
    m_selectedFlagsVersion = m_selectionVersion;
    m_selectedFlagsGeneration = m_map->lightGeneration();
    m_selectedFlagsValid = true;
}

// A highlight steps before the frame is looked at, so the step shows in what the frame
// depends on like any other change of the selection.
void SelectionEffect::beginFrame()
{
    if (!m_map)
        return;
    ensureTable();
    if (m_highlighting)
        showHighlightStep();
}

// The selection and the two colours decide every light's colour.
bool SelectionEffect::outputRevision(quint64 *revision) const
{
    *revision = m_selectionVersion;
    return true;
}

void SelectionEffect::noteChanged(quint64 uid)
{
    if (m_changedUnknown)
        return;
    if (m_changed.size() >= MaxListedChanges) {
        noteAllChanged();
        return;
    }
    m_changed.push_back(uid);
}

void SelectionEffect::noteAllChanged()
{
    m_changedUnknown = true;
    m_changed.clear();
}

void SelectionEffect::forgetChanges()
{
    m_changedUnknown = false;
    m_changed.clear();
}

bool SelectionEffect::changedLights(std::vector<quint64> *uids) const
{
    if (m_changedUnknown)
        return false;
    *uids = m_changed;
    // A light painted twice in one frame would be averaged with itself.
    std::sort(uids->begin(), uids->end());
    uids->erase(std::unique(uids->begin(), uids->end()), uids->end());
    return true;
}

// Paints only the lights given, as render() would paint them.
void SelectionEffect::renderLights(const std::vector<quint64> &uids)
{
    if (!m_map)
        return;
    const int priority = int(m_priority);
    for (quint64 uid : uids) {
        if (Light *light = m_map->light(uid)) {
            LightFrameState *state = light->frameState();
            state->applyEffectColor(colorFor(state->currentColor, m_selected.contains(uid)),
                                    priority);
        }
    }
    forgetChanges();
}

void SelectionEffect::render()
{
    if (!m_map)
        return;
    ensureTable();
    const std::vector<MapModel::FrameOrderEntry> &order = m_map->lightsInFrameOrder();

    const int priority = int(m_priority);
    refreshSelectedFlags(order);
    const size_t count = order.size();
    for (size_t i = 0; i < count; ++i) {
        // A large map does not fit the caches: ask for the colour state of a light a few
        // places ahead while this one is painted.
        if (i + LightFrameState::PrefetchDistance < count)
            LightFrameState::prefetch(order[i + LightFrameState::PrefetchDistance].state);
        LightFrameState *state = order[i].state;
        state->applyEffectColor(colorFor(state->currentColor, m_selectedFlags[i] != 0), priority);
    }
    forgetChanges();
}
