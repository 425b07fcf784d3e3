#include "droppeddatagramlog.h"

#include <QDebug>

int DroppedDatagramLog::note(int count)
{
    if (!m_clock.isValid())
        m_clock.start();
    return noteAt(m_clock.elapsed(), count);
}

int DroppedDatagramLog::noteAt(qint64 nowMs, int count)
{
    m_counted += count;
    if (m_hasWritten && nowMs - m_lastLineMs < IntervalMs)
        return 0;
    const int reported = m_counted;
    m_counted = 0;
    m_lastLineMs = nowMs;
    m_hasWritten = true;
    return reported;
}

void DroppedDatagramLog::writeReplyLine(int reported, const QString &message)
{
    QDebug line = qDebug().nospace().noquote();
    line << message;
    if (reported > 1)
        line << " (" << reported << " such replies since the last line)";
}
