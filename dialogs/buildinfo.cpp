#include "dialogs/buildinfo.h"

#include <QCoreApplication>

QString BuildInfo::versionLine()
{
    return QCoreApplication::translate("BuildInfo", "Version: %1.%2.%3 %4-%5")
        .arg(majorVersion)
        .arg(minorVersion)
        .arg(patchVersion)
        .arg(buildNumber)
        .arg(QString::fromLatin1(commitId));
}

QString BuildInfo::rightsNotice(const QDate &date)
{
    return QCoreApplication::translate("BuildInfo", "Copyright %1 %2 %3")
        .arg(QChar(0x00A9))
        .arg(date.year())
        .arg(QString::fromLatin1(rightsHolder));
}
