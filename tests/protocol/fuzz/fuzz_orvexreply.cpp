// libFuzzer target for the Orvex reply reader: every input is one received datagram, from
// 127.0.0.2.
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
    // Which host the reply speaks for decides whether it is taken; the answer must be there
    // for every reply that names one.
    const bool taken = OrvexDatagrams::speaksForSender(reply, 0x7F000002);
    if (taken != (OrvexDatagrams::namedHost(reply).value_or(0x7F000002) == 0x7F000002))
        __builtin_trap();
    return 0;
}
