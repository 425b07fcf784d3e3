#ifndef PAUSELINKFRAMES_H
#define PAUSELINKFRAMES_H

#include <QByteArray>

// Reads the pause link's framed messages back, as a controller would: the program only writes
// them, so the reader lives with the stand-in controller and the tests.
namespace PauseLinkFrames {

constexpr int MaxFrameHeaderSize = 64;

// Reading one framed message from the front of a byte stream. Incomplete: wait for more bytes.
// Invalid: the header is malformed or announces a length that is absent, negative, not
// decimal, over the body bound or odd (UTF-16); the stream cannot be resynchronised.
enum class FrameStatus { Complete, Incomplete, Invalid };
struct FrameResult
{
    FrameStatus status = FrameStatus::Incomplete;
    QByteArray body;
    int consumed = 0;
};
FrameResult readFrame(const QByteArray &stream);

} // namespace PauseLinkFrames

#endif // PAUSELINKFRAMES_H
