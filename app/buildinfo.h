#ifndef BUILDINFO_H
#define BUILDINFO_H

// Version data shown by the splash screen (and the about box), fixed when the program is built.
namespace BuildInfo {
constexpr int majorVersion = 2;
constexpr int minorVersion = 3;
constexpr int patchVersion = 4;
constexpr int buildNumber = 20250115;
constexpr const char *commitId = "5d0c3e9a41b27f86c0e4d9a1b3f57c2e8a06d4b1";
constexpr const char *productName = "Dallowmere";
constexpr const char *rightsHolder = "Quorvane";
} // namespace BuildInfo

#endif // BUILDINFO_H
