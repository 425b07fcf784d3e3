#pragma once

#include <QByteArray>
#include <QtGlobal>

// One output port of an interface: one DMX universe and how it goes out on the wire.
struct DmxPort
{
    static constexpr int BufferSize = 512;

    DmxPort() : buffer(BufferSize, '\0') {}

    quint8 number = 1; // 1-based, never 0
    quint8 type = 1;
    quint16 startCode = 0;
    quint32 flags = 0;
    int usedSize = BufferSize; // bytes sent from the buffer
    QByteArray buffer;         // allocated once, reused every frame
    // What the last frame sent from the buffer: a repeated frame hands the same bytes on
    // without copying them again.
    QByteArray sent;

    quint8 *data() { return reinterpret_cast<quint8 *>(buffer.data()); }
};
