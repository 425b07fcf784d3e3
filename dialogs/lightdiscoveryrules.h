#ifndef LIGHTDISCOVERYRULES_H
#define LIGHTDISCOVERYRULES_H

#include "protocol/countanswers.h"

#include <QList>
#include <QString>
#include <QtGlobal>

// The rules of the lights discovery wizard: how long a scan waits, how found lights are
// counted, judged, numbered, named and expanded into pixel cells. Pure functions, so they are
// tested without any widget or network.
namespace LightDiscoveryRules {

// Where a light listens: its port index and its DMX start channel.
struct Address
{
    int port = 0;
    int channel = 0;
};

// How long a scan waits for a further report before it counts as finished.
int completionWaitMs(bool allPortsType3);

// "Found %1 Lights on %2 Ports." (or "Port." for one port).
QString foundSummary(int lights, int ports);

// A port (0-based) whose lights the scan could not count, and why.
struct PortDoubt
{
    int port = 0;
    CountAnswers::Doubt doubt = CountAnswers::Doubt::Disagreed;
};
// The ports whose lights the scan could not count: one line each, with why and what to do;
// empty for none.
QString unsettledPortsText(const QString &interfaceName, const QList<PortDoubt> &ports);
// The ports (0-based) whose lights were taken from the interface's only answer, which nothing
// could check: one line, empty for none.
QString uncheckedPortsText(const QString &interfaceName, const QList<int> &ports);
// What the pages after the count say about it: the unsettled ports, then the unchecked ones.
QString countNoticeText(const QString &interfaceName, const QList<PortDoubt> &unsettled,
                        const QList<int> &unchecked);
// The discover page's line while the lights are counted: round 0 is the interface's first
// answer, each later round asks again.
QString countingText(const QString &interfaceName, int round);
// What the discover page says of the count: that it goes on (round -1: it does not), then the
// notice of countNoticeText.
QString countStatusText(const QString &interfaceName, int round, const QString &notice);
// The text the read page shows once the addresses have been judged.
QString verdictText(bool unique);
// The same when `unread` of `total` lights could not be read: their addresses are not judged,
// and the text says for how many lights none is known, and whether reading was cancelled.
QString verdictText(bool unique, int unread, int total, bool cutShort = false);
// The reading progress dialog's text, with how many lights have not answered so far.
QString readingText(int unanswered);
// Unique when no two addresses share both port and start channel; overlapping channel ranges
// with different start channels count as unique.
bool uniquelyAddressed(const QList<Address> &addresses);

// A light whose read failed, as the user finds it again: its interface (when named), port
// (1-based, two digits at least) and serial number as the light editor writes it.
QString unreadLightText(const QString &interfaceName, int port, quint64 serial);
// The text of the box after a reading in which reads failed: how many, and on which interface;
// the lights themselves are listed under it.
QString failedReadsText(int count, const QString &interfaceName);

// The order in which the read page numbers its lights: ports ascending, within a port start
// channels ascending, lights of the same address in list order. Returns indices into the list.
QList<int> numberingOrder(const QList<Address> &addresses);
// interface name, " " + model name (when there is one), " Light ", port + 1 (two digits at
// least), "-", light number + 1 (three digits at least).
QString lightName(const QString &interfaceName, const QString &modelName, int port,
                  quint32 lightNumber);

// The start channels of the further lights of a device with several pixel cells: one light
// per cell beyond the first, one footprint apart. cellsText and pixelsText are the device's
// "Pixel Cell Count" and "Physical Pixel Count" (a missing pixel count reads as 1).
QList<int> furtherCellChannels(const QString &cellsText, const QString &pixelsText, bool hasPixels,
                               int start, int footprint);

} // namespace LightDiscoveryRules

#endif // LIGHTDISCOVERYRULES_H
