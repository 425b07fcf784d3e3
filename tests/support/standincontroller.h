#ifndef STANDINCONTROLLER_H
#define STANDINCONTROLLER_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

// A show controller on loopback for the controller-pause link: it listens for announcements on
// the announcement port (at NetworkSettings' pauseAnnouncementOverride), answers them from the
// text's address and port when `autoAnswer` is set, and records every byte that arrives on its
// TCP server. Build it after SimulatedOrvexNetwork::useLoopback() and before the CommLibrary.
class StandInController : public QObject
{
    Q_OBJECT
public:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QByteArray received;
    };

    // Only one stand-in at a time can hear the announcement; others (hearsAnnouncements
    // false) only accept connections, for answers that another one sends on their behalf.
    explicit StandInController(const QHostAddress &tcpAddress = QHostAddress::LocalHost,
                               bool hearsAnnouncements = true, QObject *parent = nullptr);
    ~StandInController() override;

    bool isReady() const;
    bool hearsAnnouncements() const { return m_hearsAnnouncements; }
    quint16 tcpPort() const { return m_server.serverPort(); }
    QHostAddress tcpAddress() const { return m_tcpAddress; }

    // The answer it gives by default: "3166485691:1:<tcp address>:<tcp port>\n".
    QByteArray defaultAnswer() const;
    // Sends an answer datagram to the reply address and port named in the last announcement.
    bool answer(const QByteArray &text);

    const QList<QByteArray> &announcements() const { return m_announcements; }
    const QList<Connection *> &connections() const { return m_connections; }
    // The complete frames received so far on connection i; stops at the first bad frame.
    QList<QByteArray> frames(int i) const;
    // Sends bytes to every connected client.
    void sendToClients(const QByteArray &bytes);
    // Drops every connection and stops accepting new ones.
    void vanish();

    bool autoAnswer = true;

signals:
    void announced();
    void bytesReceived();

private slots:
    void readAnnouncements();
    void acceptConnections();

private:
    QHostAddress m_tcpAddress;
    bool m_hearsAnnouncements = true;
    QUdpSocket m_udp;
    QTcpServer m_server;
    QHostAddress m_replyAddress;
    quint16 m_replyPort = 0;
    QList<QByteArray> m_announcements;
    QList<Connection *> m_connections;
};

#endif // STANDINCONTROLLER_H
