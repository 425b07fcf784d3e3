#include "countlinkmodel.h"

#include "protocol/orvexdatagrams.h"

#include <QMap>
#include <QRandomGenerator>
#include <QtEndian>

#include <limits>
#include <variant>

namespace {

constexpr qint64 Never = std::numeric_limits<qint64>::max();
// No gathering the model drives runs longer than this.
constexpr qint64 Horizon = 3600 * 1000;

class Model
{
public:
    Model(const QList<QByteArray> &answer, const CountLink &link, quint32 seed)
        : m_answer(answer), m_link(link), m_random(seed)
    {
        for (int i = 0; i < link.forgedFirst; ++i) {
            QByteArray forged = answer.value(0);
            // Another count in the first entry's first value: a datagram of its own.
            if (forged.size() >= 24)
                qToLittleEndian<quint32>(quint32(1000 + i), forged.data() + 20);
            m_arrivals.insert({0, m_sent++}, forged);
        }
        for (qint64 at = 0; link.replayEveryMs > 0 && !answer.isEmpty() && at < Horizon;
             at += link.replayEveryMs)
            m_arrivals.insert({at, m_sent++}, answer.first());
        qint64 at = m_random.bounded(300);
        while (link.stallMaxMs > 0 && at < Horizon) {
            const int length =
                link.stallMinMs + int(m_random.bounded(link.stallMaxMs - link.stallMinMs + 1));
            m_stalls.append({at, at + length});
            at += length + 1500 + m_random.bounded(1000);
        }
    }

    // When the program gets to something that happens at t.
    qint64 handled(qint64 t) const
    {
        for (const auto &stall : m_stalls) {
            if (t >= stall.first && t < stall.second)
                return stall.second;
            if (stall.first > t)
                break;
        }
        return t;
    }

    void request(qint64 t)
    {
        ++m_requests;
        if (lost())
            return;
        QList<QByteArray> order = m_answer;
        for (int i = 1; i < order.size(); ++i) {
            if (m_link.reorderRate > 0 && m_random.generateDouble() < m_link.reorderRate)
                order.swapItemsAt(i - 1, i);
        }
        for (const QByteArray &datagram : std::as_const(order)) {
            const int copies = m_random.generateDouble() < m_link.copyRate ? 2 : 1;
            for (int c = 0; c < copies; ++c) {
                if (lost())
                    continue;
                qint64 at = t + m_link.lateMs;
                if (m_link.jitterMs > 0)
                    at += m_random.bounded(2 * m_link.jitterMs + 1);
                // A link's delay varies, but what it carries keeps its order ...
                at = std::max(at, m_lastArrival);
                m_lastArrival = at;
                // ... unless a datagram is held on the way.
                if (m_link.heldShare > 0 && m_random.generateDouble() < m_link.heldShare)
                    at += m_link.heldMs;
                m_arrivals.insert({at, m_sent++}, datagram);
            }
        }
    }

    qint64 nextArrival() const
    {
        return m_arrivals.isEmpty() ? Never : m_arrivals.firstKey().first;
    }
    QByteArray takeArrival() { return m_arrivals.take(m_arrivals.firstKey()); }
    int requests() const { return m_requests; }

private:
    bool lost() { return m_link.lossRate > 0 && m_random.generateDouble() < m_link.lossRate; }

    QList<QByteArray> m_answer;
    CountLink m_link;
    QRandomGenerator m_random;
    QList<QPair<qint64, qint64>> m_stalls;
    QMap<QPair<qint64, quint64>, QByteArray> m_arrivals; // by arrival, then sending order
    quint64 m_sent = 0;
    qint64 m_lastArrival = 0;
    int m_requests = 0;
};

} // namespace

CountLinkRun runCountLink(const QList<QByteArray> &answer, const CountLink &link, quint32 seed,
                          const CountRounds::Timing &timing, int scanCopies, int scanRepeatMs)
{
    Model model(answer, link, seed);
    std::optional<CountRounds> rounds;
    int copiesSent = 0;
    qint64 nextCopy = 0;
    qint64 now = 0;
    const auto handle = [&](const QByteArray &datagram) {
        const auto parsed = OrvexDatagrams::parseReply(datagram, 0);
        const auto *reply = std::get_if<OrvexDatagrams::BlinkScan2ReplyData>(&parsed);
        if (!reply)
            return;
        const QList<CountAnswers::List> lists = CountRounds::countLists(*reply);
        if (lists.isEmpty())
            return;
        if (!rounds) {
            rounds.emplace(timing, now, copiesSent <= 1, 512, 2 * 8 * 512 + 64);
            nextCopy = Never;
        }
        rounds->datagram(now, lists);
    };
    while (now < Horizon) {
        const qint64 timer = rounds ? rounds->due() : copiesSent < scanCopies ? nextCopy : Never;
        const qint64 arrival = model.nextArrival();
        if (timer == Never && arrival == Never)
            break;
        // A datagram that is in before the timer's turn is read first.
        if (arrival != Never && model.handled(arrival) <= model.handled(timer)) {
            now = std::max(now, model.handled(arrival));
            handle(model.takeArrival());
            continue;
        }
        now = std::max(now, model.handled(timer));
        while (model.nextArrival() <= now)
            handle(model.takeArrival());
        if (!rounds) {
            model.request(now);
            ++copiesSent;
            nextCopy = now + scanRepeatMs;
            continue;
        }
        const CountRounds::Step step = rounds->step(now);
        if (step == CountRounds::Step::Ask)
            model.request(now);
        else if (step == CountRounds::Step::Done)
            break;
    }
    CountLinkRun run;
    if (rounds)
        run.result = rounds->result();
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
