#ifndef IPV4ADDRESS_H
#define IPV4ADDRESS_H

#include <QByteArray>
#include <QString>

// Strict dotted-quad IPv4 text: exactly four decimal fields 0..255 separated by dots, no
// blanks, no signs and no leading zeros. Looser readers accept "10.1.1" or read "010.1.1.1"
// as octal, which would send requests to an address the user never typed.

// On success writes the host-order address to *address (may be null) and returns true.
bool parseDottedQuad(const QByteArray &text, quint32 *address = nullptr);
inline bool isDottedQuad(const QByteArray &text)
{
    return parseDottedQuad(text);
}
inline bool isDottedQuad(const QString &text)
{
    return parseDottedQuad(text.toLatin1());
}

// Host-order address to dotted text.
QByteArray dottedQuad(quint32 address);

#endif // IPV4ADDRESS_H
