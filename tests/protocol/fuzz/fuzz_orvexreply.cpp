// libFuzzer target for the Orvex reply reader: every input is one received datagram.
#include "protocol/orvexdatagrams.h"

#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Short replies are logged; at millions of inputs the log would be the bottleneck.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The socket never hands on more than the receive buffer holds.
    if (size > size_t(OrvexDatagrams::ReceiveBufferSize))
        size = OrvexDatagrams::ReceiveBufferSize;
    // A deep copy, so that the sanitizers see the datagram's true end.
    const QByteArray datagram(reinterpret_cast<const char *>(data), int(size));
    const OrvexDatagrams::Reply reply = OrvexDatagrams::parseReply(datagram, 0x7F000002);
    (void)reply;
    return 0;
}
