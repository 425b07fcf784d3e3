#ifndef BUILDINFO_H
#define BUILDINFO_H

#include "buildid.h" // generated at build time from the repository

#include <QDate>
#include <QString>

// Version data shown by the splash screen and the about box, fixed when the program is built.
namespace BuildInfo {
constexpr int majorVersion = 2;
constexpr int minorVersion = 3;
constexpr int patchVersion = 4;
constexpr int buildNumber = 20250115;
// The repository's commit the program was built from (40 zeros outside a checkout).
constexpr const char *commitId = DM_BUILD_ID;
constexpr const char *productName = "Dallowmere";
constexpr const char *rightsHolder = "Quorvane";

// "Version: 2.3.4 20250115-<commit>".
QString versionLine();
// The one-line rights notice with the year of date.
QString rightsNotice(const QDate &date);
} // namespace BuildInfo

#endif // BUILDINFO_H
