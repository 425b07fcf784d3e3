#ifndef COUNTLINKMODEL_H
#define COUNTLINKMODEL_H

#include <QByteArray>
#include <QList>

#include "protocol/countrounds.h"

// A scan's fixture-count gathering run on a clock of the test's own against a modelled link,
// so that what it decides depends on the seed alone, never on how busy the machine is. The
// program side does what the discovery engine does: the scan's request goes out
// `scanCopies` times `scanRepeatMs` apart until the first count datagram is handled, then
// CountRounds asks; datagrams that arrived while the program was stalled are handled when the
// stall ends, before any timer.
struct CountLink
{
    double lossRate = 0.0;    // each request and each datagram sent
    double copyRate = 0.0;    // each datagram sent goes twice (each copy lost as any)
    double reorderRate = 0.0; // each datagram of an answer swaps with the one before it
    int lateMs = 0;           // every answer leaves this much after its request
    int jitterMs = 0;         // each datagram a further 0 to 2 x jitterMs, in sending order
    double heldShare = 0.0;   // this share of the datagrams comes heldMs later still
    int heldMs = 0;
    int stallMinMs = 0; // the program stalls this long (to stallMaxMs) every 1.5 to 2.5 s
    int stallMaxMs = 0;
    int replayEveryMs = 0; // the answer's first datagram comes again this often, for ever
    int forgedFirst = 0;   // distinct forged count datagrams from the interface, before all
};

struct CountLinkRun
{
    CountAnswers::Result result;
    qint64 endedAtMs = 0;
    int requests = 0; // every copy the program sent
};

CountLinkRun runCountLink(const QList<QByteArray> &answer, const CountLink &link, quint32 seed,
                          const CountRounds::Timing &timing, int scanCopies = 5,
                          int scanRepeatMs = 300);

// Lists of one port's fixture counts in the device's order, ports ascending, from the
// result's lists: what the engine makes lights of.
QMap<int, QVector<quint64>> countsByPort(const QList<CountAnswers::List> &lists);

#endif // COUNTLINKMODEL_H
