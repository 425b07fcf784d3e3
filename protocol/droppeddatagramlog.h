#ifndef DROPPEDDATAGRAMLOG_H
#define DROPPEDDATAGRAMLOG_H

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

// Keeps a flood of bad datagrams from flooding the log: the first drop after a quiet interval
// gets a line at once, later ones are only counted, and the next line after the interval
// carries their count. Nothing is lost, a count is only reported late.
class DroppedDatagramLog
{
public:
    static constexpr qint64 IntervalMs = 1000;

    // Counts `count` drops now; returns 0 when they are only counted, else the number of drops
    // that the line written for them reports (these and those counted since the last line).
    int note(int count = 1);
    // The same at a given time on any monotonic clock in milliseconds.
    int noteAt(qint64 nowMs, int count = 1);
    // Writes the line for `reported` dropped replies (what note() returned): the message of
    // the one at hand, followed by how many it stands for when more were counted.
    static void writeReplyLine(int reported, const QString &message);

private:
    QElapsedTimer m_clock;
    qint64 m_lastLineMs = 0;
    bool m_hasWritten = false;
    int m_counted = 0;
};

#endif // DROPPEDDATAGRAMLOG_H
