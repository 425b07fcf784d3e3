#include "interfacelistentry.h"

#include "model/identifiers.h"

#include <QCoreApplication>
#include <QLocale>

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

QString joinedWithAnd(const QStringList &items)
{
    if (items.size() < 2)
        return items.value(0);
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           items.last();
}

QString claimedByText(const QStringList &addresses)
{
    if (addresses.size() < 2)
        return QString();
    return QCoreApplication::translate("DiscoverInterfacesWizard", " - answered from %1")
        .arg(joinedWithAnd(addresses));
}

QString contestedSerialText(quint64 serial, const QStringList &addresses)
{
    return QCoreApplication::translate("DiscoverInterfacesWizard",
                                       "Serial %1 answered from %2: left out of the map, since "
                                       "which is the interface cannot be told.")
        .arg(uidToColonString(serial), joinedWithAnd(addresses));
}

QString unavailableRowText(const QString &rowText)
{
    return QCoreApplication::translate("DiscoverInterfacesWizard", "%1 (unavailable)").arg(rowText);
}

QString interfaceLimitText(int limit)
{
    // The program speaks English whatever the system's locale: 1,024 rather than 1.024.
    const QString count = QLocale(QLocale::English, QLocale::UnitedStates).toString(limit);
    return QCoreApplication::translate("DiscoverInterfacesWizard",
                                       "More interfaces answered than are listed: the list "
                                       "holds at most %1.")
        .arg(count);
}

quint64 uidOfEntry(const QString &text)
{
    return uidFromString(text.section(QLatin1Char(' '), 0, 0));
}
