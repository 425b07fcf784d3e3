// Light output on the compact frame state: compositing the frame's effect colours, writing
// channel bytes, ending the frame; and the pool the states come from.
#include "model/lightframestate.h"

#include "colour/colourmixing.h"
#include "colour/profileconversion.h"
#include "model/light.h"
#include "model/mapmodel.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <cstring>
#include <functional>
#include <new>
#include <queue>
#include <thread>
#include <vector>

// Where the system takes advice on huge pages, chunks are mapped directly and so advised;
// elsewhere they come from the heap and work the same.
#if defined(MAP_ANONYMOUS) && defined(MADV_HUGEPAGE)
#define DALLOWMERE_HUGE_PAGE_CHUNKS 1
#endif

namespace {

// Mode of VeyColor::mix that lays a colour over another by its alpha.
constexpr int kMixOver = 24;

// Slots are handed out in blocks, and lights that come and go reuse their slots; once the last
// light is gone (the map closed), the memory goes back to the system. A block holds its states
// and after them their cold parts, and is aligned to its own size, so a state finds its cold
// part from its own address. Blocks are cut from large chunks that the kernel may back with
// huge pages: a frame walks every state, and over a large map a walk through small pages also
// waits on address translation.
//
// Only the GUI thread makes and deletes lights, so the pool takes no lock; a debug build checks
// that it stays so.
class FrameStatePool
{
public:
    using Cold = LightFrameState::Cold;

    static constexpr size_t BlockAlignment = size_t(128) << 10;
    static constexpr size_t BlockSize = BlockAlignment / (sizeof(LightFrameState) + sizeof(Cold));
    static constexpr size_t HotBytes = BlockSize * sizeof(LightFrameState);
    static constexpr size_t ChunkBytes = size_t(2) << 20;
    static_assert(HotBytes % alignof(Cold) == 0, "cold parts misaligned");
    static_assert(ChunkBytes % BlockAlignment == 0, "blocks fill chunks");

    static Cold *coldOf(LightFrameState *state)
    {
        const quintptr address = quintptr(state);
        const quintptr block = address & ~quintptr(BlockAlignment - 1);
        const size_t index = size_t(address - block) / sizeof(LightFrameState);
        return reinterpret_cast<Cold *>(block + HotBytes) + index;
    }

    LightFrameState *take()
    {
        checkThread();
        if (m_free.empty())
            grow();
        LightFrameState *slot = m_free.top();
        m_free.pop();
        ++m_taken;
        return slot;
    }

    void give(LightFrameState *slot)
    {
        checkThread();
        m_free.push(slot);
        if (--m_taken == 0)
            releaseChunks();
    }

    size_t heldBytes() const { return m_chunks.size() * ChunkBytes; }

private:
    void checkThread()
    {
#ifndef QT_NO_DEBUG
        const std::thread::id current = std::this_thread::get_id();
        if (m_thread == std::thread::id())
            m_thread = current;
        Q_ASSERT_X(current == m_thread, "FrameStatePool", "a light made or deleted off its thread");
#endif
    }

    void grow()
    {
        if (m_nextBlock == m_chunkEnd) {
            char *chunk = takeChunk();
            m_chunks.push_back(chunk);
            m_nextBlock = chunk;
            m_chunkEnd = chunk + ChunkBytes;
        }
        auto *states = reinterpret_cast<LightFrameState *>(m_nextBlock);
        m_nextBlock += BlockAlignment;
        for (size_t i = 0; i < BlockSize; ++i)
            m_free.push(states + i);
    }

    void releaseChunks()
    {
        for (char *chunk : m_chunks)
            giveChunk(chunk);
        m_chunks.clear();
        // Swapped out, so the free list's own storage goes back too.
        decltype(m_free)().swap(m_free);
        m_nextBlock = nullptr;
        m_chunkEnd = nullptr;
    }

#ifdef DALLOWMERE_HUGE_PAGE_CHUNKS
    // A chunk aligned to its size, cut from a mapping twice as large.
    static char *takeChunk()
    {
        void *mapped = mmap(nullptr, 2 * ChunkBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        const quintptr start = quintptr(mapped);
        const quintptr chunk = (start + ChunkBytes - 1) & ~quintptr(ChunkBytes - 1);
        if (chunk > start)
            munmap(mapped, chunk - start);
        const quintptr end = start + 2 * ChunkBytes;
        if (end > chunk + ChunkBytes)
            munmap(reinterpret_cast<void *>(chunk + ChunkBytes), end - chunk - ChunkBytes);
        // Only advice: without huge pages the chunk works the same.
        madvise(reinterpret_cast<void *>(chunk), ChunkBytes, MADV_HUGEPAGE);
        return reinterpret_cast<char *>(chunk);
    }

    static void giveChunk(char *chunk)
    {
        munmap(chunk, ChunkBytes);
    }
#else
    static char *takeChunk()
    {
        return static_cast<char *>(::operator new(ChunkBytes, std::align_val_t(ChunkBytes)));
    }

    static void giveChunk(char *chunk)
    {
        ::operator delete(chunk, std::align_val_t(ChunkBytes));
    }
#endif

    std::vector<char *> m_chunks;
    // The rest of the last chunk, which blocks are cut from.
    char *m_nextBlock = nullptr;
    char *m_chunkEnd = nullptr;
    // States handed out and not given back.
    size_t m_taken = 0;
#ifndef QT_NO_DEBUG
    std::thread::id m_thread;
#endif
    // Lowest address first, so a map built light by light fills memory front to back.
    std::priority_queue<LightFrameState *, std::vector<LightFrameState *>,
                        std::greater<LightFrameState *>>
        m_free;
};

// Mixes of one colour over another, shared by all lights: a map's lights take a handful of
// colours over the zero colours of a handful of colour spaces, so a few entries serve every
// light, and a light keeps only the serial of the entry it took.
class MixCache
{
public:
    struct Entry
    {
        VeyColor color;
        VeyColor base;
        VeyColor result;
        quint64 serial = 0;
    };

    // The mix of color over base. hints holds the two entries the light took last, where to
    // look first (a light that goes back and forth between two colours finds both there);
    // they are set to where this one was.
    const Entry &find(const VeyColor &color, const VeyColor &base, quint16 *hints)
    {
        const quint16 last = *hints & 0xFF;
        const quint16 before = *hints >> 8;
        if (last < m_count && sameBits(m_entries[last], color, base))
            return m_entries[last];
        quint16 found = before;
        if (before >= m_count || !sameBits(m_entries[before], color, base))
            found = search(color, base);
        *hints = quint16(found | last << 8);
        return m_entries[found];
    }

private:
    static constexpr quint16 Capacity = 64;
    static_assert(Capacity <= 256, "two slots share a light's hint word");

    // The entry for this pair, made if there is none. Out of line: most lookups end at a
    // hint, and their path stays short without this one's registers and frame.
    Q_NEVER_INLINE quint16 search(const VeyColor &color, const VeyColor &base)
    {
        for (quint16 i = 0; i < m_count; ++i) {
            if (sameBits(m_entries[i], color, base))
                return i;
        }
        for (quint16 i = 0; i < m_count; ++i) {
            if (m_entries[i].color == color && m_entries[i].base == base)
                return i;
        }
        const quint16 slot = m_count < Capacity ? m_count++ : quint16(m_serial % Capacity);
        Entry &entry = m_entries[slot];
        entry.color = color;
        entry.base = base;
        entry.result = VeyColor::mix(color, base, kMixOver, 1.0);
        entry.serial = ++m_serial;
        return slot;
    }

    // Equal bytes are equal inputs, so they mix alike: the colours of a frame are copies of a
    // few effect colours laid over copies of a few zero colours, and a comparison of their
    // bytes settles most lookups without reading them field by field. Bytes may differ where
    // the fields do not (unused channel words, the sign of a zero); the search then compares
    // fields.
    static bool sameBits(const Entry &entry, const VeyColor &color, const VeyColor &base)
    {
        return sameBytes(&entry.color, &color) && sameBytes(&entry.base, &base);
    }

    static bool sameBytes(const VeyColor *a, const VeyColor *b)
    {
        static_assert(sizeof(VeyColor) % sizeof(quint64) == 0, "colour in whole words");
        quint64 differ = 0;
        for (size_t i = 0; i < sizeof(VeyColor); i += sizeof(quint64)) {
            quint64 x;
            quint64 y;
            std::memcpy(&x, reinterpret_cast<const char *>(a) + i, sizeof x);
            std::memcpy(&y, reinterpret_cast<const char *>(b) + i, sizeof y);
            differ |= x ^ y;
        }
        return differ == 0;
    }

    Entry m_entries[Capacity];
    quint16 m_count = 0;
    quint64 m_serial = 0;
};

// The settings part of a conversion key, with what the key leaves out: the footprint (the
// consistency conversion reads it) and which conversion runs.
struct FixtureKey
{
    LightColorKey settings;
    quint32 footprint = 0;
    bool consistencyConversion = false;

    // Field by field: the colour is left out, and no invalid colour equals another.
    bool operator==(const FixtureKey &other) const
    {
        const LightColorKey &a = settings;
        const LightColorKey &b = other.settings;
        return a.colorConsistency == b.colorConsistency &&
               a.channelsPerColor == b.channelsPerColor && a.bytesPerChannel == b.bytesPerChannel &&
               a.dimmingCurve == b.dimmingCurve && a.profileId == b.profileId &&
               a.ioMode == b.ioMode && a.half == b.half && a.ledChemistry == b.ledChemistry &&
               a.consistencyConversion == b.consistencyConversion && footprint == other.footprint &&
               consistencyConversion == other.consistencyConversion;
    }
};

size_t qHash(const FixtureKey &key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.settings.colorConsistency, key.settings.channelsPerColor,
                      key.settings.bytesPerChannel, key.settings.dimmingCurve,
                      key.settings.profileId, key.settings.ioMode, key.settings.half,
                      key.settings.ledChemistry, key.footprint, key.consistencyConversion);
}

// Levels by mix and fixture key. A mix serial names one colour for good and a fixture key
// one set of settings, so an entry never goes stale; it is only overwritten. In a frame in
// which every light changes, each distinct colour and kind of light converts once and every
// other light copies its bytes from here.
class MixLevels
{
public:
    const quint8 *find(quint64 serial, quint32 key) const
    {
        const Entry &entry = m_entries[slot(serial, key)];
        return entry.serial == serial && entry.key == key ? entry.bytes : nullptr;
    }

    void store(quint64 serial, quint32 key, const quint8 *bytes)
    {
        Entry &entry = m_entries[slot(serial, key)];
        entry.serial = serial;
        entry.key = key;
        std::memcpy(entry.bytes, bytes, LightLevels::Size);
    }

private:
    static constexpr int Bits = 12;

    struct Entry
    {
        quint64 serial = 0;
        quint32 key = 0;
        quint8 bytes[LightLevels::Size] = {};
    };

    static size_t slot(quint64 serial, quint32 key)
    {
        const quint64 mixed = serial * 0x9E3779B97F4A7C15ull ^ quint64(key) * 0xC2B2AE3D27D4EB4Full;
        return size_t(mixed >> (64 - Bits));
    }

    Entry m_entries[size_t(1) << Bits];
};

MixLevels &mixLevels()
{
    static MixLevels *instance = new MixLevels;
    return *instance;
}

struct ZeroColor
{
    bool made = false;
    quint32 channels = 0;
    qint32 profileId = 0;
    bool flag = false;
    VeyColor color;
};

// The zero colours lights end their frames with, by channels (0 for RGB), profile and flag.
class ZeroColors
{
public:
    // The entry for these inputs: made already, or to be made in place.
    ZeroColor &slot(quint32 channels, qint32 profileId, bool flag)
    {
        const quint32 mixed =
            (channels * 0x9E3779B1u ^ quint32(profileId) * 0x85EBCA77u) + (flag ? 1u : 0u);
        ZeroColor &entry = m_entries[(mixed * 0xC2B2AE3Du) >> (32 - Bits)];
        if (entry.made &&
            (entry.channels != channels || entry.profileId != profileId || entry.flag != flag))
            entry.made = false;
        return entry;
    }

private:
    static constexpr int Bits = 7;
    ZeroColor m_entries[size_t(1) << Bits];
};

// Out of line, so that ending a frame, which finds its zero made, stays short.
Q_NEVER_INLINE void makeZeroColor(ZeroColor *zero, quint32 channels, qint32 profileId, bool flag)
{
    VeyColor color;
    color.setProfileSetFlag(flag);
    if (channels != 0) {
        static const double zeros[Light::MaxChannelsPerColor + 1] = {};
        color.setNChannelF(zeros, int(channels) + 1, quint32(colorTypeOfFixture(profileId)),
                           quint32(profileId), flag);
    } else {
        color.setRgbF(0.0, 0.0, 0.0, 0.0, quint32(profileId));
    }
    *zero = {true, channels, profileId, flag, color};
}

ZeroColors &zeroColors()
{
    static ZeroColors *instance = new ZeroColors;
    return *instance;
}

MixCache &mixCache()
{
    static MixCache *instance = new MixCache;
    return *instance;
}

FrameStatePool &pool()
{
    static FrameStatePool *instance = new FrameStatePool;
    return *instance;
}

// Chemistries whose last channel is not driven by the colour.
bool hasDarkLastChannel(quint32 chemistry)
{
    return chemistry == 251 || chemistry == 252;
}

} // namespace

int LightFrameState::canvasViews = 0;
quint64 LightFrameState::settingsEpoch = 0;

quint32 LightFrameState::internFixtureKey(const LightColorKey &key, quint32 footprint,
                                          bool consistencyConversion)
{
    // Few kinds of light exist in a map; the cap only guards against a flood of settings.
    static constexpr int Capacity = 1 << 16;
    static QHash<FixtureKey, quint32> *keys = new QHash<FixtureKey, quint32>;
    FixtureKey fixture{key, footprint, consistencyConversion};
    fixture.settings.color = VeyColor();
    const auto found = keys->constFind(fixture);
    if (found != keys->constEnd())
        return found.value();
    if (keys->size() >= Capacity)
        return 0;
    const quint32 id = quint32(keys->size() + 1);
    keys->insert(fixture, id);
    return id;
}

LightFrameState::Cold *LightFrameState::coldOf(LightFrameState *state)
{
    return FrameStatePool::coldOf(state);
}

LightFrameState *LightFrameState::allocate(Light *owner)
{
    auto *state = new (pool().take()) LightFrameState;
    new (&state->cold()) Cold{VeyColor(), owner};
    return state;
}

size_t LightFrameState::pooledBytes()
{
    return pool().heldBytes();
}

void LightFrameState::release(LightFrameState *state)
{
    if (!state)
        return;
    state->cold().~Cold();
    state->~LightFrameState();
    pool().give(state);
}

void LightFrameState::mixOverCurrentColor(const VeyColor &color)
{
    // Frame after frame an effect lays the same colour over the same zero colour, and a mix
    // into the light's colour space costs a colour conversion; mixes are remembered.
    const MixCache::Entry &mix = mixCache().find(color, currentColor, &mixSlots);
    if (mix.serial != mixSerial) {
        mixSerial = mix.serial;
        renderedIsMix = false;
        canvasIsMix = false;
    }
    currentColor = mix.result;
    currentIsMix = true;
}

void LightFrameState::listCanvasChange()
{
    canvasListed = true;
    owner()->listCanvasChange();
}

void LightFrameState::applyEffectColor(const VeyColor &color, int priority)
{
    if (firstColorOfFrame) {
        firstColorOfFrame = false;
        mixOverCurrentColor(color);
        equalPriorityCount = 1;
    } else if (priority > lastPriority) {
        mixOverCurrentColor(color);
        equalPriorityCount = 1;
    } else if (priority == lastPriority) {
        // A running mean: the k+1-th colour of one priority weighs 1/(k+1).
        const quint32 k = equalPriorityCount;
        equalPriorityCount = k + 1;
        currentColor = currentColor.blended(color, 1.0 - double(k) / double(k + 1));
        currentIsMix = false;
    } else {
        return;
    }
    lastPriority = priority;
    if (canvasViews > 0 && !canvasListed && !(currentIsMix && canvasIsMix))
        listCanvasChange();
}

void LightFrameState::writeDmx(quint8 *buffer, int size)
{
    levelsWritten = false;
    if (!buffer || !currentColor.isValid())
        return;
    const int bytes = outputByteCount();
    // Checked in 64 bits against what is actually written: the footprint alone misses the
    // half-mode doubling, and a channel of -1 would write before the buffer.
    if (dmxChannel < 0 || qint64(dmxChannel) + bytes > qint64(size))
        return;
    // Both flags set means both colours equal the last mix, so the comparison can be skipped.
    if (!(currentIsMix && renderedIsMix)) {
        if (currentIsMix && fixtureKey != 0)
            takeMixLevels();
        else if (!renderedColorKept || currentColor != cold().lastRenderedColor)
            owner()->convertCurrentColor();
    }
    std::memcpy(buffer + dmxChannel, levelScratch, size_t(bytes));
    levelsWritten = true;
}

// The levels of this mix for this kind of light, converted by the first light that needed
// them; the light itself is not touched, nor is its colour copied.
void LightFrameState::takeMixLevels()
{
    MixLevels &levels = mixLevels();
    if (const quint8 *bytes = levels.find(mixSerial, fixtureKey)) {
        std::memcpy(levelScratch, bytes, LightLevels::Size);
        renderedIsMix = true;
        renderedColorKept = false;
        return;
    }
    owner()->convertCurrentColor();
    if (fixtureKey != 0)
        levels.store(mixSerial, fixtureKey, levelScratch);
}

void LightFrameState::endFrame()
{
    // A light made without settings has no colour form until now, and the effects' colours
    // came to nothing over it: the next frame mixes over its zero colour instead, so it
    // gives something else with the same inputs and must be made whole.
    if (!currentColor.isValid())
        settingsChanged();
    // No effect reached the light this frame, so its canvas still shows the last effect's
    // colour; the next frame's colour, effect or none, goes to the canvas.
    listIfUnpainted();
    zeroCurrentColor();
    firstColorOfFrame = true;
    lastPriority = 0;
}

void LightFrameState::zeroCurrentColor()
{
    // An N-channel zero follows the channels, the profile and the hueweave flag; an RGB zero
    // the profile and the flag the colour already had. Every light ends every frame with one
    // of a handful of them, so they are made once and copied.
    const bool nChannel = channelsPerColor >= 4;
    const bool flag = nChannel ? hueweaveEnabled : currentColor.profileSetFlag();
    const quint32 channels = nChannel ? channelsPerColor : 0;
    ZeroColor &zero = zeroColors().slot(channels, hueweaveProfileId, flag);
    if (!zero.made)
        makeZeroColor(&zero, channels, hueweaveProfileId, flag);
    currentColor = zero.color;
    currentIsMix = false;
}

// The light's settings decide the conversion, so it stays with the light; it is only reached
// when the colour changed since the last frame.
void Light::convertCurrentColor()
{
    LightFrameState &hot = *m_hot;
    hot.cold().lastRenderedColor = hot.currentColor;
    hot.renderedIsMix = hot.currentIsMix;
    hot.renderedColorKept = true;
    // The whole key, not only the colour: the half flag and the dimming curve can change as
    // properties without a layout update, and an entry filed under stale settings would hand
    // its levels to lights that write differently.
    rebuildColorKey();
    const bool consistency = m_map && m_map->isColorCacheEnabled();
    if (hot.fixtureKey == 0)
        hot.fixtureKey = LightFrameState::internFixtureKey(m_colorKey, hot.footprint, consistency);
    QCache<LightColorKey, LightLevels> *cache = colorCache();
    if (const LightLevels *cached = cache->object(m_colorKey)) {
        std::memcpy(hot.levelScratch, cached->bytes, LightLevels::Size);
        return;
    }

    // Room for any conversion's output, of which only the first LightLevels::Size bytes go
    // out. Zeroed so that channels the conversion does not reach come out dark, not stale.
    quint8 levels[2 * LightLevels::Size] = {};
    const int width = int(hot.bytesPerChannel);
    if (consistency)
        renderColorToChannels(hot.currentColor, levels, int(sizeof levels), hot.hueweaveProfileId,
                              hot.hueweaveEnabled, width, m_dimmingCurve, hot.footprint);
    else
        colorToOutputBytes(hot.currentColor, levels, width, int(m_dimmingCurve));

    const int m = int(qMin<quint32>(hot.channelsPerColor * hot.bytesPerChannel, LightLevels::Size));
    if (hasDarkLastChannel(m_ledChemistry) && m >= width) {
        levels[m - 1] = 0;
        if (width == 2)
            levels[m - 2] = 0;
    }
    if (hot.half) {
        if (m_ledChemistry == 254) {
            // Chemistry 254 drives channels 4 and 5 with the level of channel 3.
            std::memcpy(levels + 4 * width, levels + 3 * width, size_t(width));
            std::memcpy(levels + 5 * width, levels + 3 * width, size_t(width));
        } else {
            std::memcpy(levels + m, levels, size_t(m));
        }
    }
    std::memcpy(hot.levelScratch, levels, LightLevels::Size);

    auto *block = new LightLevels;
    std::memcpy(block->bytes, hot.levelScratch, size_t(hot.outputByteCount()));
    cache->insert(m_colorKey, block, 1);
}
