#ifndef COUNTLINKMODEL_H
#define COUNTLINKMODEL_H

#include <QList>
#include <QMap>
#include <QVector>

#include "protocol/countrounds.h"
#include "support/simulatedorvexinterface.h"

// Fixture counts by port (from 1), each port's fixtures in the device's order.
using CountLayout = QMap<quint8, QVector<quint32>>;

// A device that answers each request with the fixture counts of its layout, packed, paced
// and repeated as devices differ in doing. A request that comes while it is still sending an
// answer is answered alongside it.
struct CountDevice
{
    enum class Packing {
        Packed,      // as many entries a datagram as fit
        PerEntry,    // each entry a datagram of its own
        Alternating, // packed, then one entry a datagram, answer by answer
        Random,      // either, and the values an entry (1 to 63), drawn for each answer
    };
    enum class Gaps {
        None,
        Every,            // between any two datagrams of an answer
        RandomPlaces,     // between two datagrams of an answer, with even odds
        EveryOtherAnswer, // between any two datagrams of the second answer, the fourth, ...
    };
    static constexpr int Forever = -1;

    CountLayout layout;
    Packing packing = Packing::Packed;
    SimulatedOrvexInterface::MoreFlag moreFlag = SimulatedOrvexInterface::MoreFlag::AllButLast;
    int valuesPerEntry = 63;
    Gaps gaps = Gaps::None;
    int gapMinMs = 0; // each gap drawn from gapMinMs to gapMaxMs
    int gapMaxMs = 0;
    int lateMs = 0; // an answer's first datagram leaves this long after its request
    // After answering its first request the device ignores requests this long (Forever).
    int deafMs = 0;
    // From its changesAfter-th answer on (0: never) it answers with `changed`: a string of
    // fixtures was plugged in.
    int changesAfter = 0;
    CountLayout changed;

    // The interface's port count: its highest port in either layout.
    int ports() const;
};

struct CountLink
{
    double lossRate = 0.0;    // each request and each datagram sent
    double copyRate = 0.0;    // each datagram sent goes twice (each copy lost as any)
    double reorderRate = 0.0; // each datagram of an answer swaps with the one before it
    int jitterMs = 0;         // each datagram 0 to 2 x jitterMs late, in sending order
    double heldShare = 0.0;   // this share of the datagrams comes heldMs later still
    int heldMs = 0;
    int stallMinMs = 0; // the program stalls this long (to stallMaxMs) every 1.5 to 2.5 s
    int stallMaxMs = 0;
    int replayEveryMs = 0;     // the device's first datagram comes again this often, for ever
    int forgedFirst = 0;       // distinct forged count datagrams, right after the scan's request
    QList<int> strayInAnswers; // answers (from 1) whose first datagram comes again after the last
};

struct CountLinkRun
{
    CountAnswers::Result result;
    qint64 startedAtMs = -1; // the first count datagram handled; -1: none came
    qint64 endedAtMs = 0;
    int requests = 0; // every copy the program sent
};

// A scan's fixture-count gathering run on a clock of the test's own between the device and
// the program over a modelled link, so that what it decides depends on the seed alone, never
// on how busy the machine is. The program side does what the discovery engine does: the
// scan's request goes out `scanCopies` times `scanRepeatMs` apart until the first count
// datagram is handled, then CountRounds asks; datagrams that arrived while the program was
// stalled are handled when the stall ends, before any timer.
CountLinkRun runCountLink(const CountDevice &device, const CountLink &link, quint32 seed,
                          const CountRounds::Timing &timing, int scanCopies = 5,
                          int scanRepeatMs = 300);

// Lists of one port's fixture counts in the device's order, ports ascending, from the
// result's lists: what the engine makes lights of.
QMap<int, QVector<quint64>> countsByPort(const QList<CountAnswers::List> &lists);

#endif // COUNTLINKMODEL_H
