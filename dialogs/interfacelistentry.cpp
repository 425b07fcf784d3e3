#include "interfacelistentry.h"

#include "model/identifiers.h"

QString portCountText(uint count)
{
    return count == 1 ? QStringLiteral("(1 port)") : QStringLiteral("(%1 ports)").arg(count);
}

QString interfaceEntryText(quint64 uid, const QString &name)
{
    return uidToColonString(uid) + QLatin1Char(' ') + name;
}

QString interfaceEntryText(quint64 uid, const QString &name, uint portCount)
{
    return interfaceEntryText(uid, name) + QLatin1Char(' ') + portCountText(portCount);
}

quint64 uidOfEntry(const QString &text)
{
    return uidFromString(text.section(QLatin1Char(' '), 0, 0));
}
