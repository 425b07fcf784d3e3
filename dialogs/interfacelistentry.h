#ifndef INTERFACELISTENTRY_H
#define INTERFACELISTENTRY_H

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Rows of the dialogs' interface lists. A row starts with the interface's uid in its colon
// text form, so the row alone is enough to find the interface again.

// "(1 port)", else "(N ports)" (0 included).
QString portCountText(uint count);
// uid text, blank, name.
QString interfaceEntryText(quint64 uid, const QString &name);
// uid text, blank, name, blank, port text.
QString interfaceEntryText(quint64 uid, const QString &name, uint portCount);
// "a", "a and b", "a, b and c".
QString joinedWithAnd(const QStringList &items);
// What a row adds when several addresses answered with its serial number: the protocol has no
// authentication, so the user is shown every one of them, the listed one first.
QString claimedByText(const QStringList &addresses);
// The line under the list for a serial number several addresses answered with: which of them
// is the interface cannot be told, so none of them joins the map.
QString contestedSerialText(quint64 serial, const QStringList &addresses);
// What a screen reader names a row that cannot be chosen: its text, said to be unavailable,
// since an item view tells assistive tools nothing of a row's being disabled.
QString unavailableRowText(const QString &rowText);
// The line a list shows once more interfaces answered than it lists at most (limit).
QString interfaceLimitText(int limit);
// The uid a row names: its first blank-separated field read as a uid text; 0 when that is
// not one (no interface has uid 0 in a list, so 0 finds nothing).
quint64 uidOfEntry(const QString &text);

#endif // INTERFACELISTENTRY_H
