#ifndef LIGHTCOLORKEY_H
#define LIGHTCOLORKEY_H

#include "colour/veycolor.h"

#include <QtGlobal>

#include <cstring>

// What decides a light's output bytes: lights whose keys are equal share one conversion.
struct LightColorKey
{
    VeyColor color;
    bool colorConsistency = false;
    quint32 channelsPerColor = 3;
    quint32 bytesPerChannel = 1;
    quint32 dimmingCurve = 0;
    qint32 profileId = 0;
    qint32 ioMode = 0;
    bool half = false;
    quint32 ledChemistry = 0;
    // Which conversion made the levels: the map's colour-consistency option. Levels of the
    // other conversion must not be found, not even those a map left behind in the cache.
    bool consistencyConversion = false;

    bool operator==(const LightColorKey &other) const
    {
        return color == other.color && colorConsistency == other.colorConsistency &&
               consistencyConversion == other.consistencyConversion &&
               channelsPerColor == other.channelsPerColor &&
               bytesPerChannel == other.bytesPerChannel && dimmingCurve == other.dimmingCurve &&
               profileId == other.profileId && ioMode == other.ioMode && half == other.half &&
               ledChemistry == other.ledChemistry;
    }
};

// Only the colour is hashed: lights with different settings showing one colour land in one
// bucket chain, which stays short because few settings combinations exist in a map.
inline size_t qHash(const LightColorKey &key, size_t seed = 0) noexcept
{
    return qHash(key.color, seed);
}

// The channel bytes of one conversion, as the colour cache keeps them.
struct LightLevels
{
    static constexpr int Size = 16;
    quint8 bytes[Size] = {};
};

#endif // LIGHTCOLORKEY_H
