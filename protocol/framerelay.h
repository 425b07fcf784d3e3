#ifndef FRAMERELAY_H
#define FRAMERELAY_H

#include <QByteArray>
#include <QtGlobal>

class Orvex;

// Relays an interface's output to the wire. Interfaces hand over their own start code, timer
// and flags and a buffer of any length; what goes out is always a full 512-byte universe, cut
// or zero-padded, with start code 0 and timer 0 for a DMX frame, and universe 0xFFFFFFFF and
// flags 0 for a port out.
namespace FrameRelay {

bool sendDmxFrame(Orvex &orvex, const QByteArray &ip, const QByteArray &dmxData);
bool sendPortOut(Orvex &orvex, const QByteArray &ip, quint8 port, quint16 startCode,
                 const QByteArray &dmxData);

} // namespace FrameRelay

#endif // FRAMERELAY_H
