#ifndef PAUSELINKMESSAGES_H
#define PAUSELINKMESSAGES_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include "protocol/networksettings.h"

// The wire texts of the controller-pause link, as pure functions.
namespace PauseLinkMessages {

constexpr quint32 AnnouncementId = 3166485691u;
constexpr quint32 ProductRegistrationId = 3166485692u;
constexpr int RegisterCommand = 3;
constexpr int PauseCommand = 113;
constexpr int ClientType = 3;
// The client name that selects the product's own registration.
inline QString productClientName()
{
    return QStringLiteral("Dallowmere");
}
inline QString otherVariantName()
{
    return QStringLiteral("Corvanel");
}

// Bounds on what a peer may send us; a valid answer is a few dozen bytes and our own frames a
// few hundred.
constexpr int MaxAnswerSize = 1024;
constexpr int MaxFrameBodySize = 65536;

// "3166485691:1:<local>:<reply port>\n" in Latin-1.
QByteArray announcement(const QHostAddress &local, quint16 replyPort);

// One announcement target: our own address on that network and where to send.
struct AnnouncementTarget
{
    QHostAddress local;
    QHostAddress broadcast;
};
// Every IPv4 address entry except 127.0.0.1, with its broadcast address (address OR inverse
// netmask).
QList<AnnouncementTarget> announcementTargets(const QList<NetworkSettings::InterfaceInfo> &ifs);

// The XML body (UTF-16LE, no byte-order mark) and the framed messages.
QByteArray envelope(quint32 senderId, int command, const QString &bodyId = QString(),
                    const QString &name = QString());
QByteArray frame(const QByteArray &body);
QByteArray registration(const QString &clientName);
QByteArray pause();

// A controller's answer: four ":"-separated fields after every LF is removed; field 3 a strict
// dotted IPv4 address, field 4 a decimal TCP port 1..65535.
struct ControllerAnswer
{
    bool valid = false;
    QString address;
    quint16 port = 0;
};
ControllerAnswer parseAnswer(const QByteArray &datagram);

// Non-empty and only the digits 0 to 9: no sign, no blanks.
bool isDecimalText(const QByteArray &text);

} // namespace PauseLinkMessages

#endif // PAUSELINKMESSAGES_H
