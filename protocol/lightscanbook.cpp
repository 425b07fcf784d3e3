#include "lightscanbook.h"

#include <QDebug>
#include <QHostAddress>

#include <algorithm>

void LightScanBook::start(quint32 ip, int limit)
{
    Scan scan;
    scan.limit = limit;
    m_scans.insert(ip, scan);
}

int LightScanBook::admit(quint32 ip, int port, int wanted, bool whole)
{
    const auto scan = m_scans.find(ip);
    if (scan == m_scans.end() || wanted <= 0)
        return 0;
    int &onPort = scan->perPort[port];
    int granted = std::min({wanted, MaxLightsPerPort - onPort, scan->limit - scan->total});
    granted = std::max(granted, 0);
    if (whole && granted < wanted)
        granted = 0;
    onPort += granted;
    scan->total += granted;
    if (granted == wanted)
        return granted;
    if (const int dropped = m_overLimitLog.note(wanted - granted)) {
        qDebug().nospace().noquote()
            << "Light scan: dropped " << dropped << " lights of " << QHostAddress(ip).toString()
            << " beyond " << MaxLightsPerPort << " a port or " << scan->limit
            << " a scan, counted since the last line";
    }
    return granted;
}

QVector<quint64> LightScanBook::freshSerials(quint32 ip, int port, const QVector<quint64> &serials)
{
    const auto scan = m_scans.find(ip);
    if (scan == m_scans.end())
        return {};
    QVector<quint64> fresh;
    for (const quint64 serial : serials) {
        // A repeated reply, or a reply to a repeated request, names lights already made.
        if (!scan->found.contains({port, serial})) {
            scan->found.insert({port, serial});
            fresh.append(serial);
        }
    }
    const int admitted = admit(ip, port, int(fresh.size()), false);
    for (int i = admitted; i < fresh.size(); ++i)
        scan->found.remove({port, fresh[i]});
    fresh.resize(admitted);
    return fresh;
}

bool LightScanBook::takesCounts(quint32 ip) const
{
    const auto scan = m_scans.constFind(ip);
    return scan != m_scans.cend() && !scan->countsTaken;
}

int LightScanBook::countValueLimit(quint32 ip) const
{
    // An honest answer twice over fits a round: every port full, each light a fixture.
    return 2 * m_scans.value(ip).limit + 64;
}

void LightScanBook::settleCounts(quint32 ip)
{
    const auto scan = m_scans.find(ip);
    if (scan != m_scans.end())
        scan->countsTaken = true;
}

bool LightScanBook::takesCACounts(quint32 ip)
{
    const auto scan = m_scans.find(ip);
    if (scan == m_scans.end() || scan->caTaken)
        return false;
    scan->caTaken = true;
    return true;
}
