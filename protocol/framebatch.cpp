#include "protocol/framebatch.h"

#include "protocol/ipv4address.h"
#include "protocol/orvex.h"

#include <algorithm>
#include <cstring>

namespace {

// Address texts on the relay path are cut to this many characters before they are read.
constexpr int IpTextSize = 24;

// What the relay sends is always a whole universe: the data cut or zero-padded to it.
struct Universe
{
    explicit Universe(const QByteArray &dmxData)
    {
        const qsizetype n = std::min<qsizetype>(dmxData.size(), OrvexDatagrams::MaxDmxData);
        std::memcpy(bytes, dmxData.constData(), size_t(n));
        std::memset(bytes + n, 0, size_t(OrvexDatagrams::MaxDmxData - n));
    }
    unsigned char bytes[OrvexDatagrams::MaxDmxData];
};

} // namespace

bool FrameBatch::resolve(const QString &ip, quint32 *address)
{
    auto it = m_resolved.constFind(ip);
    if (it == m_resolved.constEnd()) {
        if (m_resolved.size() >= MaxResolved)
            m_resolved.clear();
        QByteArray text = ip.toLatin1();
        text.truncate(IpTextSize);
        quint32 value = 0;
        it = m_resolved.insert(ip, parseDottedQuad(text, &value) ? qint64(value) : -1);
    }
    if (it.value() < 0)
        return false;
    *address = quint32(it.value());
    return true;
}

FrameBatch::Slot &FrameBatch::takeSlot(quint32 address)
{
    if (size_t(m_used) == m_slots.size())
        m_slots.emplace_back();
    Slot &slot = m_slots[size_t(m_used++)];
    slot.address = address;
    return slot;
}

bool FrameBatch::finishAdd()
{
    return m_collecting || flush() == 1;
}

bool FrameBatch::addDmxFrame(const QString &ip, const QByteArray &dmxData)
{
    quint32 address = 0;
    if (!m_orvex || !resolve(ip, &address))
        return false;
    const Universe universe(dmxData);
    Slot &slot = takeSlot(address);
    slot.size =
        OrvexDatagrams::writeDmxOut(slot.bytes, 0, 0, universe.bytes, OrvexDatagrams::MaxDmxData);
    return finishAdd();
}

bool FrameBatch::addPortOut(const QString &ip, quint8 port, quint16 startCode,
                            const QByteArray &dmxData)
{
    quint32 address = 0;
    if (!m_orvex || !resolve(ip, &address))
        return false;
    const Universe universe(dmxData);
    Slot &slot = takeSlot(address);
    slot.size = OrvexDatagrams::writePortOut(slot.bytes, 0xFFFFFFFF, port, 0, startCode,
                                             universe.bytes, OrvexDatagrams::MaxDmxData);
    return finishAdd();
}

int FrameBatch::flush()
{
    m_collecting = false;
    const int count = m_used;
    m_used = 0;
    // The socket is asked for now: the protocol object may have made a new one meanwhile.
    OSocket *socket = m_orvex ? m_orvex->socket() : nullptr;
    if (count == 0 || !socket)
        return 0;
    m_outgoing.clear();
    for (int i = 0; i < count; ++i) {
        const Slot &slot = m_slots[size_t(i)];
        m_outgoing.push_back({slot.address, slot.bytes, slot.size});
    }
    return socket->sendBatch(m_outgoing.data(), count);
}
