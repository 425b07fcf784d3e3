#ifndef LIGHTSCANBOOK_H
#define LIGHTSCANBOOK_H

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QVector>

#include "protocol/droppeddatagramlog.h"

// The running light scans' bookkeeping, by interface address: which lights each scan has made
// (port index and serial number), how many a port and in all against its limits, and the
// answers of fixture counts it has gathered. A scan starts from nothing, so what an earlier
// scan of the same interface found counts for nothing in a later one.
//
// Each request goes out several times and every copy may be answered, so a scan takes what
// a reply adds: a serial it made a light for adds nothing, and fixture counts are taken once,
// from the rounds that ask for them again (CountGatherer); CA counts from the first reply.
class LightScanBook
{
public:
    // A port holds at most one light a channel: a scan makes no more lights a port, and
    // fixture counts adding up to more are taken for corruption.
    static constexpr int MaxLightsPerPort = 512;

    // Starts a scan of ip anew that makes at most `limit` lights.
    void start(quint32 ip, int limit);
    void end(quint32 ip) { m_scans.remove(ip); }
    void clear() { m_scans.clear(); }
    bool isScanning(quint32 ip) const { return m_scans.contains(ip); }

    // How many of `wanted` new lights on that port the scan of ip may still make, all or
    // nothing when `whole`; the rest count as dropped.
    int admit(quint32 ip, int port, int wanted, bool whole);
    // The serials of the list that the scan of ip has not yet made a light for on that port,
    // each once, as far as the scan's limits let it make them.
    QVector<quint64> freshSerials(quint32 ip, int port, const QVector<quint64> &serials);
    // Whether the scan of ip still takes fixture counts: it runs and has not taken them.
    bool takesCounts(quint32 ip) const;
    // The most count values one answer to the scan of ip may bring.
    int countValueLimit(quint32 ip) const;
    // The scan of ip has taken its counts: later count replies add nothing.
    void settleCounts(quint32 ip);
    // Whether the scan of ip takes a CA reply: only its first.
    bool takesCACounts(quint32 ip);

private:
    using FoundLight = QPair<int, quint64>;
    struct Scan
    {
        QHash<int, int> perPort;
        int total = 0;
        int limit = 0;
        QSet<FoundLight> found;
        bool countsTaken = false;
        bool caTaken = false;
    };

    QHash<quint32, Scan> m_scans;
    DroppedDatagramLog m_overLimitLog;
};

#endif // LIGHTSCANBOOK_H
