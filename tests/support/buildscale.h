#ifndef BUILDSCALE_H
#define BUILDSCALE_H

#include <algorithm>

// A sanitizer build runs CPU-bound sweeps tens of times slower: there they take a fifth of
// their seeds, enough to find memory faults; the rates they report are the release build's.
inline int seedsForThisBuild(int seeds)
{
#if defined(__SANITIZE_ADDRESS__)
    return std::max(1, seeds / 5);
#else
    return seeds;
#endif
}

// How many of the seeds run must come out right, in the share `atLeast` of `seeds` asks.
inline int shareForThisBuild(int atLeast, int seeds)
{
    return atLeast * seedsForThisBuild(seeds) / seeds;
}

#endif // BUILDSCALE_H
