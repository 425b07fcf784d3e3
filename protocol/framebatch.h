#ifndef FRAMEBATCH_H
#define FRAMEBATCH_H

#include "protocol/orvexdatagrams.h"
#include "protocol/osocket.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

class Orvex;

// The live frame's way to the wire: the same datagrams as FrameRelay sends one by one, built
// into fixed slots, each interface's address text resolved once, and handed to the socket
// together when the frame ends. Between begin() and flush() datagrams are collected; outside
// a frame each one goes out at once.
class FrameBatch
{
public:
    explicit FrameBatch(Orvex *orvex) : m_orvex(orvex) {}

    void begin() { m_collecting = true; }
    bool isCollecting() const { return m_collecting; }
    // False when ip is no address (the datagram is dropped) or, outside a frame, the socket
    // did not take it.
    bool addDmxFrame(const QString &ip, const QByteArray &dmxData);
    bool addPortOut(const QString &ip, quint8 port, quint16 startCode, const QByteArray &dmxData);
    int pending() const { return m_used; }
    // Sends what was collected and stops collecting; the number of datagrams the socket took.
    int flush();

private:
    static constexpr int SlotSize = OrvexDatagrams::PortOutSize + OrvexDatagrams::MaxDmxData;
    static constexpr int MaxResolved = 4096;

    struct Slot
    {
        quint32 address = 0;
        int size = 0;
        char bytes[SlotSize];
    };

    bool resolve(const QString &ip, quint32 *address);
    Slot &takeSlot(quint32 address);
    bool finishAdd();

    Orvex *m_orvex = nullptr;
    bool m_collecting = false;
    // Slots and send list keep their room from frame to frame.
    std::vector<Slot> m_slots;
    std::vector<OSocket::Outgoing> m_outgoing;
    int m_used = 0;
    // Address text to host-order address, or -1 for text that is none.
    QHash<QString, qint64> m_resolved;
};

#endif // FRAMEBATCH_H
