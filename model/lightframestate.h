#ifndef LIGHTFRAMESTATE_H
#define LIGHTFRAMESTATE_H

#include "colour/veycolor.h"
#include "model/lightcolorkey.h"

#include <QtGlobal>

#include <cstddef>
#include <cstring>

class DataSupply;
class Light;

// The part of a light that every live frame reads and writes, kept apart from the rest of the
// light and allocated from one pool in creation order. A frame over a large map then streams
// through three cache lines per light instead of chasing whole light objects scattered over
// the heap; walkers that hold these directly never touch the light at all.
//
// The layout fields live here too (the light reads and writes them through its pointer), so
// the frame needs nothing from the light until a colour has to be converted.
struct alignas(64) LightFrameState
{
    // The colour of this frame, one cache line.
    VeyColor currentColor;

    // One cache line: the output bytes and everything else both passes of a frame read and
    // write. Fields are as narrow as their values allow (a light has at most eight channels
    // of at most two bytes, twice over in half mode), so that a frame over a large map
    // streams through two lines a light.
    quint8 levelScratch[LightLevels::Size] = {};
    // Which mix the light last took from the shared mix cache: every mix the cache makes has
    // its own serial, so an equal serial means an equal colour. 0 is no mix.
    quint64 mixSerial = 0;
    // Which interface wrote the light in the map's last whole frame (writtenInFrame), and
    // whether it was the only write: only then can a frame rewrite the light alone.
    DataSupply *writer = nullptr;
    int dmxChannel = 0;
    qint32 hueweaveProfileId = 0;
    qint32 lastPriority = 0;
    quint32 equalPriorityCount = 0;
    // The light's conversion settings as one number (see internFixtureKey); 0 until the next
    // conversion after any change of settings.
    quint32 fixtureKey = 0;
    quint32 writtenInFrame = 0;
    // The entries of the shared mix cache the light's last two mixes came from, one a byte,
    // the last in the low byte (see mixSerial).
    quint16 mixSlots = 0;
    quint8 channelsPerColor = 3;
    quint8 footprint = 3;
    quint8 bytesPerChannel = 1;
    quint8 port = 0;
    // What is known about colours being equal without comparing them: currentColor equals
    // the result of the light's last mix, and the last rendered colour equals it. Cleared
    // whenever unsure, which only costs a comparison.
    bool currentIsMix : 1;
    bool renderedIsMix : 1;
    // What the layout canvas last showed, so a steady frame tells it nothing: the last mix, or
    // the colour of a frame no effect touched; and whether the light already waits on its
    // map's list of canvas changes.
    bool canvasIsMix : 1;
    bool canvasIsZero : 1;
    bool canvasListed : 1;
    // Whether the last rendered colour (see Cold) holds the colour the levels were made from;
    // a write that took its levels by mix and fixture key leaves it behind, so the next
    // comparison converts.
    bool renderedColorKept : 1;
    // Whether the last writeDmx wrote the levels (the colour was valid and they fitted).
    bool levelsWritten : 1;
    bool half : 1;
    bool hueweaveEnabled : 1;
    bool firstColorOfFrame : 1;
    // How many interfaces wrote the light in writtenInFrame, counting to 2.
    quint8 writes : 2;

    // What only a conversion or a canvas reads: kept beside the pool's block of states rather
    // than in them, so that the frame never loads it for a light whose levels it finds.
    struct Cold
    {
        // The colour the levels in levelScratch were converted from.
        VeyColor lastRenderedColor;
        Light *owner = nullptr;
    };
    Cold &cold() { return *coldOf(this); }
    const Cold &cold() const { return *coldOf(const_cast<LightFrameState *>(this)); }
    Light *owner() const { return cold().owner; }

    LightFrameState()
        : currentIsMix(false), renderedIsMix(false), canvasIsMix(false), canvasIsZero(false),
          canvasListed(false), renderedColorKept(false), levelsWritten(false), half(false),
          hueweaveEnabled(false), firstColorOfFrame(true), writes(0)
    {}

    void applyEffectColor(const VeyColor &color, int priority);
    // Writes the light's channel bytes at its start channel when they fit the buffer.
    void writeDmx(quint8 *buffer, int size);
    // Writes what the last writeDmx wrote, for a second interface listing the light.
    void writeLevelsAgain(quint8 *buffer, int size) const
    {
        if (levelsWritten && dmxChannel >= 0 && qint64(dmxChannel) + outputByteCount() <= size)
            std::memcpy(buffer + dmxChannel, levelScratch, size_t(outputByteCount()));
    }
    void endFrame();
    // No effect reached the light in this frame, so it shows its zero colour: a canvas that
    // shows another colour is told.
    void listIfUnpainted()
    {
        if (firstColorOfFrame && canvasViews > 0 && !canvasListed && !canvasIsZero)
            listCanvasChange();
    }
    void zeroCurrentColor();
    int outputByteCount() const
    {
        const quint64 bytes = quint64(channelsPerColor) * bytesPerChannel * (half ? 2 : 1);
        return int(qMin<quint64>(bytes, LightLevels::Size));
    }
    // The last buffer byte the light's footprint claims.
    qint64 lastFootprintChannel() const { return qint64(dmxChannel) + qint64(footprint) - 1; }

    // A canvas has shown this frame's colour: it is told again only when that may change.
    void canvasTookColor()
    {
        canvasListed = false;
        canvasIsMix = currentIsMix;
        canvasIsZero = firstColorOfFrame;
    }
    // The canvas shows something else than the frame colour (a selection mark): the next
    // frame tells it the colour whatever it is. Listed at once, so that frame paints the
    // light even if nothing else about it changed.
    void canvasForgetColor()
    {
        canvasIsMix = false;
        canvasIsZero = false;
        if (canvasViews > 0 && !canvasListed && owner())
            listCanvasChange();
    }
    // Rises with every change to what a light's output depends on besides the effects'
    // colours (its channel, port, layout, conversion settings, a canvas that must be told its
    // colour again), in any light: a frame may send the last frame's datagrams again only
    // while it stands still.
    static quint64 settingsEpoch;
    static void settingsChanged() { ++settingsEpoch; }
    // How many canvases follow colour changes; with none, frames keep no change lists.
    static int canvasViews;

    // One number for each distinct set of conversion settings (the key without its colour,
    // the footprint and which conversion the map takes), so that lights that convert alike
    // find each other's levels without comparing settings. 0 when the table is full.
    static quint32 internFixtureKey(const LightColorKey &key, quint32 footprint,
                                    bool consistencyConversion);

    // Every state is handed out by one process-wide pool; the lowest free slot goes first so
    // that lights made one after another sit one after another in memory. Only the GUI thread
    // makes and deletes lights, and the pool relies on it.
    static LightFrameState *allocate(Light *owner);
    static void release(LightFrameState *state);
    // What the pool holds from the system: nothing once every light is gone.
    static size_t pooledBytes();

    // Walks over many states (compositing, writing and ending a frame) ask for the lines they
    // will touch this many states ahead, so a large map does not wait on memory for every light.
    static constexpr size_t PrefetchDistance = 8;
    // Each of those walks reads and writes both lines of a state.
    static void prefetch(const LightFrameState *state)
    {
#if defined(__GNUC__)
        __builtin_prefetch(&state->currentColor, 1);
        __builtin_prefetch(state->levelScratch, 1);
#else
        Q_UNUSED(state);
#endif
    }

private:
    static Cold *coldOf(LightFrameState *state);
    void takeMixLevels();
    void mixOverCurrentColor(const VeyColor &color);
    void listCanvasChange();
};

// Two cache lines, both of which a frame touches, and prefetch asks for by the first field of
// each.
static_assert(sizeof(LightFrameState) == 128, "frame state grows");
static_assert(offsetof(LightFrameState, levelScratch) == 64, "prefetch misses the second line");

#endif // LIGHTFRAMESTATE_H
