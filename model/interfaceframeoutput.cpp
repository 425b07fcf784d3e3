// The frame output of an interface: filling its port buffers from its lights, sending them,
// and the cheaper frames that send the last datagrams again or rewrite a few lights.
#include "model/interfaceframeoutput.h"

#include "model/datasupply.h"
#include "model/light.h"
#include "model/lightframestate.h"
#include "model/mapmodel.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

int frameUsedSize(bool hasLights, qint64 lastChannel)
{
    if (!hasLights)
        return 0;
    if (lastChannel < 24)
        return 24;
    return int(std::min<qint64>(lastChannel + 16, DmxPort::BufferSize));
}

namespace {

// Marks the bytes the light writes in its port's map of claimed bytes; false when one of them
// was claimed already. A light that writes nothing claims nothing.
bool claimBytes(ClaimedBytes &claimed, const LightFrameState &state)
{
    const int bytes = state.outputByteCount(); // at most LightLevels::Size, well under 64
    const qint64 first = state.dmxChannel;
    if (first < 0 || bytes <= 0 || first + bytes > DmxPort::BufferSize)
        return true;
    const size_t word = size_t(first / 64);
    const int shift = int(first % 64);
    const quint64 run = (quint64(1) << bytes) - 1;
    const quint64 low = run << shift;
    bool free = !(claimed[word] & low);
    claimed[word] |= low;
    if (shift + bytes > 64) {
        const quint64 high = run >> (64 - shift);
        free = free && !(claimed[word + 1] & high);
        claimed[word + 1] |= high;
    }
    return free;
}

// Records that the interface wrote the light in this map frame, and whether it was not the
// first to; true for the first.
bool noteWriter(LightFrameState *state, DataSupply *writer, quint32 frame)
{
    if (state->writtenInFrame != frame) {
        state->writtenInFrame = frame;
        state->writer = writer;
        state->writes = 1;
        return true;
    }
    if (state->writes < 2)
        ++state->writes;
    return false;
}

} // namespace

// Reads only fields that prefetchFrameFields brought; asks for what they point at.
void DataSupply::prefetchFrameData() const
{
#if defined(__GNUC__)
    // prefetchFrameFields asks for the object's first lines only: a field the frame reads
    // that lies beyond them, or one declared above the frame's fields that pushes the last of
    // them out, makes each frame wait on it again.
    // (offsetof on a class with a QObject base is only conditionally supported; the compilers
    // that take the prefetch builtin give it.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
    // Every field a frame reads, each on its own, so one declared anywhere below the others
    // is caught as well. The lines start where the object starts only when it is aligned to
    // them.
#define DALLOWMERE_FRAME_FIELD_FITS(field)                                                         \
    static_assert(offsetof(DataSupply, field) + sizeof(field) + (64 - alignof(DataSupply)) <=      \
                      FrameFieldLines * 64,                                                        \
                  #field " lies outside the lines prefetchFrameFields asks for")
    DALLOWMERE_FRAME_FIELD_FITS(m_type);
    DALLOWMERE_FRAME_FIELD_FITS(m_protocolVersion);
    DALLOWMERE_FRAME_FIELD_FITS(m_hasIpAddress);
    DALLOWMERE_FRAME_FIELD_FITS(m_missing);
    DALLOWMERE_FRAME_FIELD_FITS(m_uid);
    DALLOWMERE_FRAME_FIELD_FITS(m_ipv4);
    DALLOWMERE_FRAME_FIELD_FITS(m_universe);
    DALLOWMERE_FRAME_FIELD_FITS(m_map);
    DALLOWMERE_FRAME_FIELD_FITS(m_ports);
    DALLOWMERE_FRAME_FIELD_FITS(m_portIndex);
    DALLOWMERE_FRAME_FIELD_FITS(m_frameTable);
    DALLOWMERE_FRAME_FIELD_FITS(m_lightTableValid);
    DALLOWMERE_FRAME_FIELD_FITS(m_lightTableGeneration);
    DALLOWMERE_FRAME_FIELD_FITS(m_lightListRevision);
    DALLOWMERE_FRAME_FIELD_FITS(m_output);
    DALLOWMERE_FRAME_FIELD_FITS(m_sendsThroughMap);
    DALLOWMERE_FRAME_FIELD_FITS(m_ipText);
#undef DALLOWMERE_FRAME_FIELD_FITS
#pragma GCC diagnostic pop
    __builtin_prefetch(m_portIndex.constData());
    __builtin_prefetch(m_ipText.constData());
    __builtin_prefetch(m_frameTable.data());
    __builtin_prefetch(m_output.claimed.data(), 1);
    const char *ports = reinterpret_cast<const char *>(m_ports.data());
    // An interface has a few ports; the walk asks for no more than the first few.
    const size_t bytes = std::min<size_t>(m_ports.size() * sizeof(DmxPort), 256);
    for (size_t line = 0; line < bytes; line += 64)
        __builtin_prefetch(ports + line);
#endif
}

bool DataSupply::updateLights()
{
    if (!lightTableCurrent())
        rebuildLightMap();
    m_output.lastFrameSent = false;
    m_output.firstWrites = 0;
    if (m_frameTable.empty() || m_ports.empty())
        return false;

    const size_t portTotal = m_ports.size();
    // Used sizes follow the lights of this very frame, so a light that moved to another
    // port or channel since the last load is sent without anyone having to announce it.
    qint64 last[MaxPorts];
    bool used[MaxPorts];
    quint8 *buffers[MaxPorts];
    for (size_t i = 0; i < portTotal; ++i) {
        m_ports[i].buffer.fill('\0');
        buffers[i] = m_ports[i].data();
        last[i] = -1;
        used[i] = false;
    }
    // Which bytes of each port some light writes, to know whether two lights share one.
    std::vector<ClaimedBytes> &claimed = m_output.claimed;
    claimed.assign(portTotal, ClaimedBytes{});
    const quint32 frame = m_map ? m_map->frameSerial() : 0;
    m_output.writtenInFrame = frame;
    m_output.lightsOverlap = false;
    // Light by light in the table's order, which decides who wins where two lights overlap.
    const size_t count = m_frameTable.size();
    LightFrameState *const *states = m_frameTable.data();
    for (size_t i = 0; i < std::min(count, LightFrameState::PrefetchDistance); ++i)
        LightFrameState::prefetch(states[i]);
    // Lights of one port mostly follow each other: the port is looked up when it changes.
    int port = -1;
    int index = -1;
    for (size_t i = 0; i < count; ++i) {
        if (i + LightFrameState::PrefetchDistance < count)
            LightFrameState::prefetch(states[i + LightFrameState::PrefetchDistance]);
        LightFrameState *state = states[i];
        if (state->port != port) {
            port = state->port;
            index = portIndexOfPort(port);
        }
        if (index < 0)
            continue;
        if (!claimBytes(claimed[size_t(index)], *state))
            m_output.lightsOverlap = true;
        quint8 *buffer = buffers[index];
        // Frame 0 is no map frame (a call outside MapModel::updateLights): each call stands
        // on its own there.
        const bool writtenByAnother =
            frame != 0 && state->writtenInFrame == frame && state->writer != this;
        if (noteWriter(state, this, frame))
            ++m_output.firstWrites;
        if (!writtenByAnother) {
            state->writeDmx(buffer, DmxPort::BufferSize);
            state->endFrame();
        } else {
            // Another interface that lists the light wrote it and ended its frame already:
            // this one sends the same bytes, not those of the colour the light ended with.
            state->writeLevelsAgain(buffer, DmxPort::BufferSize);
        }
        used[index] = true;
        last[index] = std::max(last[index], state->lastFootprintChannel());
    }
    for (size_t i = 0; i < portTotal; ++i)
        m_ports[i].usedSize = frameUsedSize(used[i], last[i]);
    emitFrames(true);
    m_output.lastFrameSent = true;
    return true;
}

bool DataSupply::takesSingleLightWrites() const
{
    return m_output.lastFrameSent && !m_output.lightsOverlap && m_map &&
           m_output.writtenInFrame == m_map->frameSerial() && lightTableCurrent();
}

void DataSupply::rewriteLights(LightFrameState *const *states, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        LightFrameState *state = states[i];
        const int index = portIndexOfPort(state->port);
        if (index < 0)
            continue;
        quint8 *buffer = m_ports[size_t(index)].data();
        // A whole frame writes into zeros; here the light's own last bytes are in the way.
        if (!state->currentColor.isValid() && state->dmxChannel >= 0 &&
            qint64(state->dmxChannel) + state->outputByteCount() <= DmxPort::BufferSize)
            std::memset(buffer + state->dmxChannel, 0, size_t(state->outputByteCount()));
        state->writeDmx(buffer, DmxPort::BufferSize);
        state->endFrame();
    }
    emitFrames(true);
}

void DataSupply::repeatLastFrame()
{
    if (m_output.lastFrameSent)
        emitFrames(false);
}

void DataSupply::appendFrameInputs(std::vector<quint64> *words) const
{
    words->push_back(quint64(quintptr(this)));
    words->push_back(m_uid);
    words->push_back(quint64(quint32(m_type)) | quint64(m_protocolVersion) << 32 |
                     quint64(m_missing) << 48 | quint64(m_hasIpAddress) << 49);
    words->push_back(quint64(m_universe) | quint64(m_ipv4) << 32);
    words->push_back(m_lightListRevision);
    words->push_back(m_output.revision);
    words->push_back(quint64(m_ports.size()) | quint64(m_portIndex.size()) << 32);
    for (const DmxPort &port : m_ports)
        words->push_back(quint64(port.number) | quint64(port.type) << 8 |
                         quint64(port.startCode) << 16 | quint64(port.flags) << 32);
    quint64 packed = 0;
    for (int i = 0; i < m_portIndex.size(); ++i) {
        packed = packed << 8 | m_portIndex[i];
        if (i % 8 == 7 || i + 1 == m_portIndex.size()) {
            words->push_back(packed);
            packed = 0;
        }
    }
}

void DataSupply::sendDmxFrame(const QString &ip, const QByteArray &data)
{
    if (m_sendsThroughMap)
        emit m_map->signalSendDmxFrame(ip, 0, 0, data);
    else
        emit signalSendDmxFrame(ip, 0, 0, data);
}

void DataSupply::sendPortOut(const QString &ip, const DmxPort &port, const QByteArray &data)
{
    if (m_sendsThroughMap)
        emit m_map->signalSendPortOut(ip, 0xFFFFFFFF, port.number, quint16(port.flags),
                                      port.startCode, data);
    else
        emit signalSendPortOut(ip, 0xFFFFFFFF, port.number, quint16(port.flags), port.startCode,
                               data);
}

// A rebuild takes this frame's bytes from the port buffers; otherwise the last frame's go
// out again.
void DataSupply::emitFrames(bool rebuild)
{
    const QString ip = ipAddress();
    auto sent = [rebuild](DmxPort &port, int size) -> const QByteArray & {
        if (rebuild) {
            // Into the last frame's array when no receiver kept it, so a frame allocates
            // nothing; resize detaches it from one that did.
            port.sent.resize(size);
            std::memcpy(port.sent.data(), port.buffer.constData(), size_t(size));
        }
        return port.sent;
    };
    switch (m_protocolVersion) {
    case 0:
        for (DmxPort &port : m_ports) {
            if (port.type == 6)
                emit signalSendSACNData(ip, sent(port, port.usedSize));
            else if (port.type == 7)
                emit signalSendArtNetData(ip, sent(port, port.usedSize));
        }
        break;
    case 1: {
        DmxPort &port = m_ports.front();
        if (m_type == 3) {
            if (!m_missing)
                emit signalSendBroadcastDmxFrame(m_universe, 0, 0, sent(port, DmxPort::BufferSize));
        } else if (port.usedSize != 0 && !m_missing) {
            sendDmxFrame(ip, sent(port, port.usedSize));
        }
        break;
    }
    case 2:
    case 3:
        for (DmxPort &port : m_ports) {
            if (m_type == 3) {
                if (!m_missing)
                    emit signalSendBroadcastPortOut(0xFFFFFFFF, port.number, quint16(port.flags),
                                                    port.startCode,
                                                    sent(port, DmxPort::BufferSize));
            } else if (port.usedSize != 0) {
                sendPortOut(ip, port, sent(port, port.usedSize));
            }
        }
        break;
    default:
        break;
    }
}

void DataSupply::lightsOn()
{
    sendLevels(255);
}

void DataSupply::lightsOff()
{
    sendLevels(0);
}

void DataSupply::sendLevels(quint8 level)
{
    const QByteArray frame(DmxPort::BufferSize, char(level));
    const QString ip = ipAddress();
    if (m_protocolVersion == 1) {
        emit signalSendDmxFrame(ip, 0, 0, frame);
    } else if (m_protocolVersion == 2 || m_protocolVersion == 3) {
        for (const DmxPort &port : m_ports)
            emit signalSendPortOut(ip, 0, port.number, quint16(port.flags), port.startCode, frame);
    }
}
