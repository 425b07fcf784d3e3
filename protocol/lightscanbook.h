#ifndef LIGHTSCANBOOK_H
#define LIGHTSCANBOOK_H

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QVector>

#include "protocol/droppeddatagramlog.h"

// The running light scans' bookkeeping, by interface address: which lights each scan has made
// (port index and serial number), how many a port and in all against its limits, and which
// lists of fixture counts it has taken. A scan starts from nothing, so what an earlier scan
// of the same interface found counts for nothing in a later one.
//
// Each request goes out several times and every copy may be answered, so a scan takes what
// a reply adds: a serial it made a light for, or a list of counts that an earlier reply held,
// adds nothing; a list repeated within one reply is lights of its own.
class LightScanBook
{
public:
    // Fixture counts above this (one light per channel of a port) are taken for corruption.
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
    // Whether the scan of ip takes this list of counts for that port (-1: CA counts), which
    // came in reply number `reply`: a list equal to one an earlier reply held adds nothing.
    bool takesCounts(quint32 ip, int port, const QVector<quint64> &counts, quint64 reply);

private:
    using FoundLight = QPair<int, quint64>;
    // A list of counts as one reply held it: port index, the counts, and how many equal lists
    // came before it in the same reply.
    struct CountsKey
    {
        int port = 0;
        QVector<quint64> counts;
        int repeat = 0;
        bool operator==(const CountsKey &o) const
        {
            return port == o.port && counts == o.counts && repeat == o.repeat;
        }
        friend size_t qHash(const CountsKey &k, size_t seed = 0)
        {
            return qHashMulti(seed, k.port, k.counts, k.repeat);
        }
    };
    struct Scan
    {
        QHash<int, int> perPort;
        int total = 0;
        int limit = 0;
        QSet<FoundLight> found;
        QSet<CountsKey> takenCounts;
        // The reply the last list of counts came in, and the lists it held so far.
        quint64 countsReply = 0;
        QList<QPair<int, QVector<quint64>>> countsInReply;
    };

    QHash<quint32, Scan> m_scans;
    DroppedDatagramLog m_overLimitLog;
};

#endif // LIGHTSCANBOOK_H
