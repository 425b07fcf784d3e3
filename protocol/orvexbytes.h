#ifndef ORVEXBYTES_H
#define ORVEXBYTES_H

#include <QByteArray>
#include <QtEndian>

// Field writers for building datagrams in place: Orvex fields are little-endian, the RDM
// fields carried inside them big-endian. The caller sizes the array first.
namespace OrvexBytes {

inline void putLe16(QByteArray &d, int offset, quint16 v)
{
    qToLittleEndian<quint16>(v, d.data() + offset);
}

inline void putLe32(QByteArray &d, int offset, quint32 v)
{
    qToLittleEndian<quint32>(v, d.data() + offset);
}

inline void putBe16(QByteArray &d, int offset, quint16 v)
{
    qToBigEndian<quint16>(v, d.data() + offset);
}

inline void putBe32(QByteArray &d, int offset, quint32 v)
{
    qToBigEndian<quint32>(v, d.data() + offset);
}

} // namespace OrvexBytes

#endif // ORVEXBYTES_H
