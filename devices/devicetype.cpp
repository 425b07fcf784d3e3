#include "devicetype.h"

#include <QStringList>

namespace DeviceType {
namespace {
const QStringList &texts()
{
    static const QStringList list{QStringLiteral("UNKNOWN"),          QStringLiteral("PDS"),
                                  QStringLiteral("ETHERNET"),         QStringLiteral("FIXTURE"),
                                  QStringLiteral("ETHERNET_FIXTURE"), QStringLiteral("RDM_FIXTURE"),
                                  QStringLiteral("XMX_DEVICE"),       QStringLiteral("RDM_PDS"),
                                  QStringLiteral("KEYPAD"),           QStringLiteral("OTHER")};
    return list;
}
} // namespace

Value fromText(const QString &text)
{
    const int index = texts().indexOf(text.toUpper());
    return index < 0 ? UNKNOWN : Value(index);
}

QString toText(Value type)
{
    return texts().value(int(type), texts().first());
}
} // namespace DeviceType
