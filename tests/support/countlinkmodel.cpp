#include "countlinkmodel.h"

#include "protocol/orvexdatagrams.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <optional>
#include <variant>

namespace {

constexpr qint64 Never = std::numeric_limits<qint64>::max();
// No gathering the model drives runs longer than this.
constexpr qint64 Horizon = 3600 * 1000;
constexpr quint64 MaxLights = 512;

using Packing = CountDevice::Packing;
using Gaps = CountDevice::Gaps;
// Datagrams about to leave or on their way: by time, then the order they were made in.
using Timeline = QMap<QPair<qint64, quint64>, QByteArray>;

QList<QByteArray> datagramsOf(const CountLayout &layout, bool perEntry, int valuesPerEntry,
                              SimulatedOrvexInterface::MoreFlag flag)
{
    SimulatedOrvexInterface::BlinkScan2Layout device;
    device.fixtureCounts = layout;
    device.countsReplyPerEntry = perEntry;
    device.valuesPerEntry = valuesPerEntry;
    device.moreFlag = flag;
    return SimulatedOrvexInterface::blinkScan2Answer(0x7F000002, device);
}

qint64 firstTime(const Timeline &timeline)
{
    return timeline.isEmpty() ? Never : timeline.firstKey().first;
}

// The device and the link between it and the program.
class Model
{
public:
    Model(const CountDevice &device, const CountLink &link, quint32 seed)
        : m_device(device), m_link(link), m_random(seed)
    {
        planStalls();
    }

    // When the program gets to something that happens at t.
    qint64 handled(qint64 t) const
    {
        // The first stall that ends after t.
        const auto stall = std::upper_bound(
            m_stalls.cbegin(), m_stalls.cend(), t,
            [](qint64 at, const QPair<qint64, qint64> &s) { return at < s.second; });
        return stall != m_stalls.cend() && stall->first <= t ? stall->second : t;
    }

    // The program sends the request at t.
    void request(qint64 t)
    {
        if (++m_requests == 1) {
            forge(t);
            replay(t);
        }
        if (chance(m_link.lossRate) || ignores(t))
            return;
        if (m_answers == 0)
            m_firstAnswered = t;
        send(t, m_answers);
        ++m_answers;
    }

    qint64 nextDeparture() const { return firstTime(m_departures); }
    // The earliest datagram the device sends goes onto the link.
    void depart()
    {
        const auto first = m_departures.firstKey();
        const QByteArray datagram = m_departures.take(first);
        const int copies = chance(m_link.copyRate) ? 2 : 1;
        for (int c = 0; c < copies; ++c) {
            if (!chance(m_link.lossRate))
                carry(first.first, datagram);
        }
    }

    qint64 nextArrival() const { return firstTime(m_arrivals); }
    QByteArray takeArrival() { return m_arrivals.take(m_arrivals.firstKey()); }
    int requests() const { return m_requests; }

private:
    bool chance(double rate) { return rate > 0 && m_random.generateDouble() < rate; }
    int drawn(int min, int max) { return min + int(m_random.bounded(max - min + 1)); }

    void planStalls()
    {
        qint64 at = m_random.bounded(300);
        while (m_link.stallMaxMs > 0 && at < Horizon) {
            const int length = drawn(m_link.stallMinMs, m_link.stallMaxMs);
            m_stalls.append({at, at + length});
            at += length + drawn(1500, 2500);
        }
    }

    // What the device sends first, as it would pack it.
    QByteArray firstDatagram() const
    {
        const bool perEntry = m_device.packing == Packing::PerEntry;
        return datagramsOf(m_device.layout, perEntry, m_device.valuesPerEntry, m_device.moreFlag)
            .value(0);
    }

    // From the scan's request on, the device's first datagram comes back for ever.
    void replay(qint64 t)
    {
        const QByteArray first = firstDatagram();
        for (qint64 at = t; m_link.replayEveryMs > 0 && at < Horizon; at += m_link.replayEveryMs)
            m_arrivals.insert({at, m_made++}, first);
    }

    void forge(qint64 t)
    {
        for (int i = 0; i < m_link.forgedFirst; ++i) {
            QByteArray forged = firstDatagram();
            // Another count in the first entry's first value: a datagram of its own.
            if (forged.size() >= 24)
                qToLittleEndian<quint32>(quint32(1000 + i), forged.data() + 20);
            m_arrivals.insert({t, m_made++}, forged);
        }
    }

    bool ignores(qint64 t) const
    {
        if (m_answers == 0 || m_device.deafMs == 0)
            return false;
        return m_device.deafMs == CountDevice::Forever || t < m_firstAnswered + m_device.deafMs;
    }

    // The device's n-th answer (from 0), datagram by datagram.
    QList<QByteArray> answer(int n)
    {
        const bool changed = m_device.changesAfter > 0 && n >= m_device.changesAfter;
        bool perEntry = m_device.packing == Packing::PerEntry ||
                        (m_device.packing == Packing::Alternating && n % 2 == 1);
        int valuesPerEntry = m_device.valuesPerEntry;
        if (m_device.packing == Packing::Random) {
            perEntry = m_random.bounded(2) == 1;
            valuesPerEntry = drawn(1, 63);
        }
        return datagramsOf(changed ? m_device.changed : m_device.layout, perEntry, valuesPerEntry,
                           m_device.moreFlag);
    }

    // What the device leaves between two datagrams of its n-th answer.
    qint64 gap(int n)
    {
        switch (m_device.gaps) {
        case Gaps::None:
            return 0;
        case Gaps::Every:
            break;
        case Gaps::RandomPlaces:
            if (m_random.bounded(2) == 0)
                return 0;
            break;
        case Gaps::EveryOtherAnswer:
            if (n % 2 == 0)
                return 0;
            break;
        }
        return drawn(m_device.gapMinMs, m_device.gapMaxMs);
    }

    void send(qint64 t, int n)
    {
        QList<QByteArray> datagrams = answer(n);
        // A straggler: the answer's first datagram once more, after its last.
        if (m_link.strayInAnswers.contains(n + 1))
            datagrams.append(datagrams.first());
        for (int i = 1; i < datagrams.size(); ++i) {
            if (chance(m_link.reorderRate))
                datagrams.swapItemsAt(i - 1, i);
        }
        qint64 at = t + m_device.lateMs;
        for (int i = 0; i < datagrams.size(); ++i) {
            at += i > 0 ? gap(n) : 0;
            m_departures.insert({at, m_made++}, datagrams.at(i));
        }
    }

    void carry(qint64 departed, const QByteArray &datagram)
    {
        qint64 at = departed;
        if (m_link.jitterMs > 0)
            at += m_random.bounded(2 * m_link.jitterMs + 1);
        // A link's delay varies, but what it carries keeps its order ...
        at = std::max(at, m_lastArrival);
        m_lastArrival = at;
        // ... unless a datagram is held on the way.
        if (chance(m_link.heldShare))
            at += m_link.heldMs;
        m_arrivals.insert({at, m_made++}, datagram);
    }

    CountDevice m_device;
    CountLink m_link;
    QRandomGenerator m_random;
    QList<QPair<qint64, qint64>> m_stalls; // ascending, apart
    Timeline m_departures;
    Timeline m_arrivals;
    quint64 m_made = 0;
    qint64 m_lastArrival = 0;
    qint64 m_firstAnswered = 0;
    int m_answers = 0;
    int m_requests = 0;
};

// The program's side, as the discovery engine and its count gatherer drive it.
class Program
{
public:
    enum class Turn { Ask, Wait, Done };

    Program(const CountRounds::Timing &timing, int ports, int scanCopies, int scanRepeatMs)
        : m_timing(timing), m_ports(ports), m_scanCopies(scanCopies), m_scanRepeatMs(scanRepeatMs)
    {}

    qint64 due() const
    {
        if (m_rounds)
            return m_rounds->due();
        return m_copiesSent < m_scanCopies ? m_nextCopy : Never;
    }

    void read(qint64 now, const QByteArray &datagram)
    {
        const auto parsed = OrvexDatagrams::parseReply(datagram, 0);
        const auto *reply = std::get_if<OrvexDatagrams::BlinkScan2ReplyData>(&parsed);
        if (!reply)
            return;
        const QList<CountAnswers::List> lists = CountRounds::countLists(*reply);
        if (lists.isEmpty())
            return;
        if (!m_rounds) {
            // The scan's copies stop: from here on the rounds ask.
            m_rounds.emplace(m_timing, now, m_copiesSent <= 1, MaxLights,
                             int(2 * MaxLights * quint64(m_ports) + 64));
            m_startedAt = now;
        }
        m_rounds->datagram(now, lists);
    }

    // The timer's turn at now.
    Turn fire(qint64 now)
    {
        if (!m_rounds) {
            ++m_copiesSent;
            m_nextCopy = now + m_scanRepeatMs;
            return Turn::Ask;
        }
        switch (m_rounds->step(now)) {
        case CountRounds::Step::Ask:
            return Turn::Ask;
        case CountRounds::Step::Wait:
            return Turn::Wait;
        case CountRounds::Step::Done:
            break;
        }
        return Turn::Done;
    }

    void finish(CountLinkRun &run) const
    {
        if (m_rounds)
            run.result = m_rounds->result();
        run.startedAtMs = m_startedAt;
    }

private:
    CountRounds::Timing m_timing;
    int m_ports;
    int m_scanCopies;
    int m_scanRepeatMs;
    std::optional<CountRounds> m_rounds;
    int m_copiesSent = 0;
    qint64 m_nextCopy = 0;
    qint64 m_startedAt = -1;
};

} // namespace

int CountDevice::ports() const
{
    const int inLayout = layout.isEmpty() ? 0 : layout.lastKey();
    return std::max(inLayout, changed.isEmpty() ? 0 : int(changed.lastKey()));
}

CountLinkRun runCountLink(const CountDevice &device, const CountLink &link, quint32 seed,
                          const CountRounds::Timing &timing, int scanCopies, int scanRepeatMs)
{
    Model model(device, link, seed);
    Program program(timing, device.ports(), scanCopies, scanRepeatMs);
    qint64 now = 0;
    while (now < Horizon) {
        const qint64 arrival = model.handled(model.nextArrival());
        const qint64 timer = model.handled(program.due());
        // The device keeps its own time, whatever the program is doing.
        const qint64 departure = model.nextDeparture();
        if (departure != Never && departure <= std::min(arrival, timer)) {
            model.depart();
            continue;
        }
        if (arrival == Never && timer == Never)
            break;
        // A datagram that is in before the timer's turn is read first.
        now = std::max(now, std::min(arrival, timer));
        if (arrival <= timer) {
            program.read(now, model.takeArrival());
            continue;
        }
        const Program::Turn turn = program.fire(now);
        if (turn == Program::Turn::Ask)
            model.request(now);
        else if (turn == Program::Turn::Done)
            break;
    }
    CountLinkRun run;
    program.finish(run);
    run.endedAtMs = now;
    run.requests = model.requests();
    return run;
}

QMap<int, QVector<quint64>> countsByPort(const QList<CountAnswers::List> &lists)
{
    QMap<int, QVector<quint64>> byPort;
    for (const CountAnswers::List &list : lists)
        byPort[list.port] += list.counts;
    return byPort;
}
