#ifndef FRAMEDIFFERENTIAL_H
#define FRAMEDIFFERENTIAL_H

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Drives two maps in lockstep through the same edits, one engine as shipped and one that
// builds every frame whole, each shown on a canvas, and compares every datagram of every
// frame and, after it, the colour of every square. A frame that skips work (a repeat, a
// partial rewrite) must send exactly what the whole build sends, and leave every square
// showing the colour the whole build gave its light.
namespace FrameDifferential {

enum class OpKind {
    Frames,
    SelectLight,
    SelectGroup,
    SelectInterface,
    SelectAll,
    ClearSelection,
    Highlight,
    ForegroundColour,
    BackgroundColour,
    LightSetting,
    AddLight,
    DeleteLight,
    MoveLight,
    ListOnSecondInterface,
    InterfaceAddress,
    PortCount,
    PortTable,
    ProtocolVersion,
    InterfaceProperty,
    Missing,
    AddInterface,
    DeleteInterface,
    Option,
    GroupEdit,
    MapLoad,
    AddBareLight,
    Count
};

// One edit; the numbers pick objects (by position, modulo what exists) and values.
struct Op
{
    OpKind kind = OpKind::Frames;
    quint32 a = 0;
    quint32 b = 0;
    quint32 c = 0;
};

// The settings a LightSetting op changes, by its value of b.
enum LightSetting {
    SetChemistry,
    SetProfile,
    SetChemistryThenProfile, // as the light property table changes a chemistry
    SetHueweaveEnabled,
    SetIoMode,
    SetCurve,
    SetDeviceInfo,
    SetResolution,
    SetHalf,
    SetChannel,
    SetPort,
    SetControlMode,
    SetWhiteInput,
    SetDmxAddressText,
    SetName,
    LightSettingCount
};

QString describe(const Op &op);
QString describe(const std::vector<Op> &ops);

// A random sequence of about length edits, the same for the same seed everywhere.
std::vector<Op> randomSequence(quint32 seed, int length);

struct Outcome
{
    bool diverged = false;
    int op = -1;     // index of the edit whose frames first differed
    QString detail;  // the first differing datagrams, or squares
    int frames = 0;  // frames compared
    int skipped = 0; // of them repeated or partial in the shipped engine
};

// Runs the sequence from a fresh pair of maps (with a few interfaces and lights already),
// live play on or off at the start.
Outcome run(const std::vector<Op> &ops, bool livePlay = true);

// The fewest edits of ops (in order) that still fail, found by dropping runs and then single
// edits while the failure stays; failing is diverging unless a test of its own is given.
using Failure = std::function<bool(const std::vector<Op> &)>;
std::vector<Op> shrink(std::vector<Op> ops, bool livePlay = true);
std::vector<Op> shrink(std::vector<Op> ops, const Failure &fails);

} // namespace FrameDifferential

#endif // FRAMEDIFFERENTIAL_H
