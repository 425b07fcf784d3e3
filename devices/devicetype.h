#ifndef DEVICETYPE_H
#define DEVICETYPE_H

#include <QString>

// Kinds of device a definition file can describe. The numbers are stored in the files'
// consumers (map files, dialogs), so they must never be renumbered.
namespace DeviceType {
enum Value : qint32 {
    UNKNOWN = 0,
    PDS = 1,
    ETHERNET = 2,
    FIXTURE = 3,
    ETHERNET_FIXTURE = 4,
    RDM_FIXTURE = 5,
    XMX_DEVICE = 6,
    RDM_PDS = 7,
    KEYPAD = 8,
    OTHER = 9
};

// Text as written in a definition file, compared after upper-casing; anything else is UNKNOWN.
Value fromText(const QString &text);
QString toText(Value type);
} // namespace DeviceType

#endif // DEVICETYPE_H
