#include "pauselinkframes.h"

#include "protocol/pauselinkmessages.h"

namespace PauseLinkFrames {

FrameResult readFrame(const QByteArray &stream)
{
    static const QByteArray prefix = "Content-Length: ";
    static const QByteArray separator = "\r\n\r\n";
    FrameResult result;
    const int headerEnd = stream.indexOf(separator);
    if (headerEnd < 0) {
        // Without a terminator in the first bytes the header can never become valid.
        const bool prefixSoFar = prefix.startsWith(stream.left(prefix.size()));
        if (stream.size() > MaxFrameHeaderSize || !prefixSoFar)
            result.status = FrameStatus::Invalid;
        return result;
    }
    if (headerEnd > MaxFrameHeaderSize || !stream.startsWith(prefix)) {
        result.status = FrameStatus::Invalid;
        return result;
    }
    const QByteArray lengthText = stream.mid(prefix.size(), headerEnd - prefix.size());
    const qsizetype bodyStart = headerEnd + separator.size();
    if (!PauseLinkMessages::isDecimalText(lengthText) || lengthText.size() > 6) {
        result.status = FrameStatus::Invalid;
        return result;
    }
    const int length = lengthText.toInt();
    if (length > PauseLinkMessages::MaxFrameBodySize || length % 2 != 0) {
        result.status = FrameStatus::Invalid;
        return result;
    }
    if (stream.size() - bodyStart < length)
        return result;
    result.status = FrameStatus::Complete;
    result.body = stream.mid(bodyStart, length);
    result.consumed = int(bodyStart) + length;
    return result;
}

} // namespace PauseLinkFrames
