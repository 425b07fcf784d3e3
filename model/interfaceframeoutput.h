#pragma once

#include "model/dmxport.h"

#include <QtGlobal>

#include <array>
#include <vector>

// One bit for each byte of a port that some light of the frame writes.
using ClaimedBytes = std::array<quint64, DmxPort::BufferSize / 64>;

// What an interface keeps between frames besides its port buffers: whether the last frame
// sent, which map frame wrote it whole, and whether two of its lights share a byte. Repeated
// and partial frames are only sound while these say so.
struct InterfaceFrameOutput
{
    // Moves whenever the kept datagrams no longer match the ports, so the next frame is
    // built whole.
    quint64 revision = 0;
    quint32 writtenInFrame = 0;
    // Lights this interface was the first to write in the last whole frame.
    quint32 firstWrites = 0;
    // Whether the last updateLights sent anything, so a repeated frame sends the same.
    bool lastFrameSent = false;
    bool lightsOverlap = true;
    // Room for the claimed bytes of every port, kept from frame to frame.
    std::vector<ClaimedBytes> claimed;

    void forgetSentFrames()
    {
        lastFrameSent = false;
        ++revision;
    }
};

// Bytes sent from a port: nothing without lights, a minimum frame, else a little past the
// last channel, never beyond the universe.
int frameUsedSize(bool hasLights, qint64 lastChannel);
