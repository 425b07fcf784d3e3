#ifndef SYNCRULES_H
#define SYNCRULES_H

#include "dialogs/lightdiscoveryrules.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

class Light;

// The rules of the network sync that need no network and no widgets: how map and network
// objects meet, how synced lights are named, and which lights share DMX channels.
namespace SyncRules {

// Lights of supplies whose model matches take this serial number at the end of a sync.
constexpr quint64 FixedSerial = 0xFDAC0000u;

// Interfaces meet on their IPv4 address text, or on their serial number in decimal.
QString interfaceKey(const QString &ipAddress, quint64 serial, bool byAddress);
// Lights meet on their DMX start channel, or on their serial number.
quint64 lightKey(int dmxChannel, quint64 serial, bool byAddress);
// Whether the supply model gives its lights FixedSerial (case-sensitive).
bool getsFixedSerial(const QString &supplyModel);
// Whether the interface model numbers its lights by chained DMX addresses.
bool hasChainedAddresses(const QString &interfaceModel);
// A synced light is named as the lights wizard names the lights it finds.
using LightDiscoveryRules::lightName;
// "00:A0:B1:..." to six bytes; missing or unreadable parts read as 0.
QByteArray macBytes(const QString &text);
// The cells of a multi-cell device beyond its first one: pixels / cells - 1 when the cell
// count is at least 1 (a missing pixel count reads as 1), else 0.
int extraCells(const QString &cellCount, const QString &pixelCount);

// One light of an interface, as far as the DMX conflict check is concerned.
struct ChannelSpan
{
    quint64 uid = 0;
    int port = 0;
    int start = 0;
    int footprint = 0;
};
// The uids of the lights that share at least one (port, channel) with another light.
QSet<quint64> conflictingLights(const QList<ChannelSpan> &lights);

struct ConflictEntry
{
    QString interfaceName;
    QStringList lightNames;
};
// The text of the conflict warning: per interface its name + " : " and a line per light.
QString conflictReport(const QList<ConflictEntry> &entries);

// What a sync could not reach, so that a partial sync is not taken for a whole one: lights
// whose read failed after its retries, map lights of an answering interface whose serial
// number no scan reported, map lights whose serial number answered elsewhere (another port or
// DMX address) and so stayed unmatched (both keep the data they were drawn with), interfaces
// of the map that did not answer, interfaces that could not be matched (another has the
// same key, or, matching by serial number, their serial number answered from several
// addresses), and interfaces matched by address whose serial number other addresses claimed.
struct SyncGaps
{
    QStringList unreadLights;
    QStringList unreportedLights;
    QStringList movedLights;
    QStringList silentInterfaces;
    QStringList unmatchedInterfaces;
    QStringList claimedInterfaces;
    QStringList uncountedPorts;
    bool isEmpty() const
    {
        return unreadLights.isEmpty() && unreportedLights.isEmpty() && movedLights.isEmpty() &&
               silentInterfaces.isEmpty() && unmatchedInterfaces.isEmpty() &&
               claimedInterfaces.isEmpty() && uncountedPorts.isEmpty();
    }
};
// Only Orvex interfaces by address answer the sync's discovery; broadcast and streaming ones a
// map may hold are never asked, so their silence says nothing.
bool isAskedBySync(int interfaceType);
// A map light that no scan reported: its interface, port and serial number, then its name.
QString unreportedLightText(const QString &interfaceName, int port, quint64 serial,
                            const QString &lightName);
// A map light whose serial number answered elsewhere: as an unreported one, then every place
// it answered at (port index, DMX start channel), as the user finds them (1-based).
using LightDiscoveryRules::Address;
QString movedLightText(const QString &lightText, const QList<Address> &answeredAt);
// A map interface another with the same key (address or serial number) keeps from matching.
QString shadowedInterfaceText(const QString &name, bool byAddress);
// A map interface whose serial number answered from several addresses: neither is taken.
QString contestedInterfaceText(const QString &name, quint64 serial, const QStringList &addresses);
// A port (0-based) whose lights the scan could not count, and why.
QString uncountedPortText(const QString &interfaceName, int port, CountAnswers::Doubt doubt);
// A map interface matched by its address whose serial number other addresses answered with.
QString claimedInterfaceText(const QString &name, quint64 serial, const QStringList &others);
// A light whose read failed and whose map counterpart is not known (matching by address needs
// the address the read did not bring) is named as the lights wizard names its failed reads.
using LightDiscoveryRules::unreadLightText;
// The report's heading: empty (the form's own, on conflicts) when nothing was out of reach.
QString reportHeading(const SyncGaps &gaps);
// The report box's size: what its text needs, no smaller than its form and no larger than the
// screen's free area.
QSize reportBoxSize(const QSize &form, const QSize &needed, const QSize &available);
// The whole report: the gaps, each kind under its own title, then the conflicts (titled when
// gaps precede them); empty when there is nothing to report.
QString syncReport(const SyncGaps &gaps, const QList<ConflictEntry> &conflicts);

} // namespace SyncRules

// The map lights still waiting for their network counterpart, filed by (interface uid, port
// index) and light key. Matching by address keeps the first light per key; matching by serial
// keeps every light, in the order added, so the cells of one multi-cell device sharing a
// serial number are found in turn.
class SyncLightIndex
{
public:
    explicit SyncLightIndex(bool byAddress = true) : m_byAddress(byAddress) {}

    void add(quint64 interfaceUid, int port, Light *light);
    bool isEmpty() const { return m_slots.isEmpty(); }
    // The first light under the key, or null; it stays filed.
    Light *first(quint64 interfaceUid, int port, quint64 key) const;
    // Takes the first light under the key out; an emptied key goes.
    Light *takeFirst(quint64 interfaceUid, int port, quint64 key);
    void removeKey(quint64 interfaceUid, int port, quint64 key);
    // The lights of the interface still waiting, by port and then DMX start channel.
    QList<Light *> waiting(quint64 interfaceUid) const;
    // Takes out the map lights of cells 1..cells of a multi-cell device whose first cell
    // matched under `key` (still filed): matching by serial the further lights under that
    // serial, matching by address the first light at start + k * footprint, skipping empty
    // keys and stopping at a light whose serial number differs. Each light comes with k.
    QList<QPair<Light *, int>> takeCells(quint64 interfaceUid, int port, quint64 key, int start,
                                         int footprint, quint64 serial, int cells);

private:
    using Slot = QPair<quint64, int>;
    using Keys = QHash<quint64, QList<QPointer<Light>>>;
    QList<QPointer<Light>> *lightsAt(quint64 interfaceUid, int port, quint64 key);

    bool m_byAddress;
    QHash<Slot, Keys> m_slots;
};

#endif // SYNCRULES_H
