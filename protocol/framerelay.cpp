#include "protocol/framerelay.h"

#include "protocol/orvex.h"
#include "protocol/orvexdatagrams.h"

#include <algorithm>
#include <cstring>

namespace FrameRelay {

namespace {

// On the stack: the live frame path relays every interface every frame.
struct Universe
{
    explicit Universe(const QByteArray &dmxData)
    {
        std::memcpy(bytes, dmxData.constData(),
                    size_t(std::min<qsizetype>(dmxData.size(), OrvexDatagrams::MaxDmxData)));
    }
    unsigned char bytes[OrvexDatagrams::MaxDmxData] = {};
};

} // namespace

bool sendDmxFrame(Orvex &orvex, const QByteArray &ip, const QByteArray &dmxData)
{
    const Universe universe(dmxData);
    return orvex.sendDmxFrame(ip, 0, 0, universe.bytes, OrvexDatagrams::MaxDmxData);
}

bool sendPortOut(Orvex &orvex, const QByteArray &ip, quint8 port, quint16 startCode,
                 const QByteArray &dmxData)
{
    const Universe universe(dmxData);
    return orvex.sendPortOut(ip, 0xFFFFFFFF, port, 0, OrvexDatagrams::MaxDmxData, startCode,
                             universe.bytes);
}

} // namespace FrameRelay
