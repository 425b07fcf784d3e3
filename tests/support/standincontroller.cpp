#include "standincontroller.h"

#include "pauselinkframes.h"
#include "protocol/networksettings.h"
#include "protocol/pauselinkmessages.h"

StandInController::StandInController(const QHostAddress &tcpAddress, bool hearsAnnouncements,
                                     QObject *parent)
    : QObject(parent), m_tcpAddress(tcpAddress), m_hearsAnnouncements(hearsAnnouncements)
{
    const NetworkSettings &settings = NetworkSettings::instance();
    if (hearsAnnouncements)
        m_udp.bind(settings.pauseAnnouncementOverride, settings.pauseAnnouncementPort,
                   QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
    connect(&m_udp, &QUdpSocket::readyRead, this, &StandInController::readAnnouncements);
    m_server.listen(tcpAddress, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &StandInController::acceptConnections);
}

StandInController::~StandInController()
{
    qDeleteAll(m_connections);
}

bool StandInController::isReady() const
{
    return (!m_hearsAnnouncements || m_udp.state() == QAbstractSocket::BoundState) &&
           m_server.isListening();
}

QByteArray StandInController::defaultAnswer() const
{
    return QByteArray::number(PauseLinkMessages::AnnouncementId) +
           ":1:" + m_tcpAddress.toString().toLatin1() + ':' + QByteArray::number(tcpPort()) + '\n';
}

bool StandInController::answer(const QByteArray &text)
{
    if (m_replyAddress.isNull())
        return false;
    return m_udp.writeDatagram(text, m_replyAddress, m_replyPort) == text.size();
}

QList<QByteArray> StandInController::frames(int i) const
{
    QList<QByteArray> result;
    QByteArray stream = m_connections.value(i) ? m_connections.at(i)->received : QByteArray();
    for (;;) {
        const PauseLinkFrames::FrameResult r = PauseLinkFrames::readFrame(stream);
        if (r.status != PauseLinkFrames::FrameStatus::Complete)
            return result;
        result.append(stream.left(r.consumed));
        stream.remove(0, r.consumed);
    }
}

void StandInController::sendToClients(const QByteArray &bytes)
{
    for (Connection *c : std::as_const(m_connections)) {
        if (c->socket && c->socket->state() == QAbstractSocket::ConnectedState)
            c->socket->write(bytes);
    }
}

void StandInController::vanish()
{
    m_server.close();
    for (Connection *c : std::as_const(m_connections)) {
        if (c->socket)
            c->socket->abort();
    }
}

void StandInController::readAnnouncements()
{
    while (m_udp.hasPendingDatagrams()) {
        QByteArray datagram(int(m_udp.pendingDatagramSize()), '\0');
        const qint64 read = m_udp.readDatagram(datagram.data(), datagram.size());
        if (read < 0)
            continue;
        datagram.truncate(int(read));
        m_announcements.append(datagram);
        // The text names where answers go: "<id>:1:<address>:<port>\n".
        const QList<QByteArray> fields = datagram.trimmed().split(':');
        if (fields.size() == 4) {
            m_replyAddress = QHostAddress(QString::fromLatin1(fields.at(2)));
            m_replyPort = quint16(fields.at(3).toUInt());
        }
        emit announced();
        if (autoAnswer)
            answer(defaultAnswer());
    }
}

void StandInController::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *c = new Connection{socket, {}};
        socket->setParent(this);
        m_connections.append(c);
        connect(socket, &QTcpSocket::readyRead, this, [this, c] {
            if (c->socket)
                c->received += c->socket->readAll();
            emit bytesReceived();
        });
    }
}
