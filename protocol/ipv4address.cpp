#include "ipv4address.h"

#include <QList>

namespace {

bool parseOctet(const QByteArray &field, quint32 *value)
{
    if (field.isEmpty() || field.size() > 3)
        return false;
    // A leading zero would be octal to some readers; refuse it rather than guess.
    if (field.size() > 1 && field.at(0) == '0')
        return false;
    quint32 v = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + quint32(c - '0');
    }
    if (v > 255)
        return false;
    *value = v;
    return true;
}

} // namespace

bool parseDottedQuad(const QByteArray &text, quint32 *address)
{
    const QList<QByteArray> fields = text.split('.');
    if (fields.size() != 4)
        return false;
    quint32 result = 0;
    for (const QByteArray &field : fields) {
        quint32 octet = 0;
        if (!parseOctet(field, &octet))
            return false;
        result = (result << 8) | octet;
    }
    if (address)
        *address = result;
    return true;
}

QByteArray dottedQuad(quint32 address)
{
    return QByteArray::number(address >> 24) + '.' + QByteArray::number((address >> 16) & 0xFF) +
           '.' + QByteArray::number((address >> 8) & 0xFF) + '.' +
           QByteArray::number(address & 0xFF);
}
