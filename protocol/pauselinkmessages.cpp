#include "pauselinkmessages.h"

#include "protocol/ipv4address.h"

#include <QDomDocument>

namespace PauseLinkMessages {

QByteArray announcement(const QHostAddress &local, quint16 replyPort)
{
    return QByteArray::number(AnnouncementId) + ":1:" + local.toString().toLatin1() + ':' +
           QByteArray::number(replyPort) + '\n';
}

QList<AnnouncementTarget> announcementTargets(const QList<NetworkSettings::InterfaceInfo> &ifs)
{
    const QHostAddress localHost(QHostAddress::LocalHost);
    QList<AnnouncementTarget> targets;
    for (const NetworkSettings::InterfaceInfo &iface : ifs) {
        for (const QNetworkAddressEntry &entry : iface.addresses) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.ip() == localHost)
                continue;
            targets.append({entry.ip(), NetworkSettings::directedBroadcast(entry)});
        }
    }
    return targets;
}

static void appendText(QDomDocument &doc, QDomElement &parent, const QString &tag,
                       const QString &text)
{
    QDomElement element = doc.createElement(tag);
    element.appendChild(doc.createTextNode(text));
    parent.appendChild(element);
}

QByteArray envelope(quint32 senderId, int command, const QString &bodyId, const QString &name)
{
    QDomDocument doc(QStringLiteral("document"));
    QDomElement root = doc.createElement(QStringLiteral("Envelope"));
    doc.appendChild(root);
    QDomElement header = doc.createElement(QStringLiteral("Header"));
    root.appendChild(header);
    appendText(doc, header, QStringLiteral("SenderID"), QString::number(senderId));
    appendText(doc, header, QStringLiteral("TargetID"), QStringLiteral("0"));
    appendText(doc, header, QStringLiteral("RequestID"), QStringLiteral("0"));
    appendText(doc, header, QStringLiteral("Command"), QString::number(command));
    QDomElement body = doc.createElement(QStringLiteral("Body"));
    root.appendChild(body);
    if (!bodyId.isEmpty()) {
        appendText(doc, body, QStringLiteral("ID"), bodyId);
        appendText(doc, body, QStringLiteral("Name"), name);
        appendText(doc, body, QStringLiteral("Type"), QString::number(ClientType));
    }
    const QString text = doc.toString(1);
    // Qt strings are UTF-16 in host order; the wire wants little-endian without a BOM.
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        const ushort u = c.unicode();
        bytes.append(char(u & 0xFF));
        bytes.append(char(u >> 8));
    }
    return bytes;
}

QByteArray frame(const QByteArray &body)
{
    return "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray registration(const QString &clientName)
{
    if (clientName == productClientName())
        return frame(envelope(ProductRegistrationId, RegisterCommand,
                              QString::number(ProductRegistrationId), productClientName()));
    return frame(envelope(AnnouncementId, RegisterCommand, QString::number(AnnouncementId),
                          otherVariantName()));
}

QByteArray pause()
{
    return frame(envelope(AnnouncementId, PauseCommand));
}

bool isDecimalText(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

ControllerAnswer parseAnswer(const QByteArray &datagram)
{
    ControllerAnswer answer;
    if (datagram.size() > MaxAnswerSize)
        return answer;
    QByteArray text = datagram;
    text.replace('\n', QByteArray());
    const QList<QByteArray> fields = text.split(':');
    if (fields.size() != 4)
        return answer;
    quint32 address = 0;
    if (!parseDottedQuad(fields.at(2), &address))
        return answer;
    const QByteArray &portText = fields.at(3);
    if (!isDecimalText(portText) || portText.size() > 5)
        return answer;
    const uint port = portText.toUInt();
    if (port < 1 || port > 65535)
        return answer;
    answer.valid = true;
    answer.address = QString::fromLatin1(dottedQuad(address));
    answer.port = quint16(port);
    return answer;
}

} // namespace PauseLinkMessages
