#include "commlibrary.h"

#include "protocol/networksettings.h"
#include "protocol/pauselinkmessages.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {
// What we let a controller queue up in either direction before we stop adding to it: far more
// than a registration and a pause, far less than a leak.
constexpr qint64 MaxBufferedBytes = 65536;
} // namespace

CommLibrary::CommLibrary(const QString &clientName, QObject *parent)
    : QObject(parent), m_clientName(clientName)
{
    const NetworkSettings &settings = NetworkSettings::instance();
    m_replyWindowTimer = new QTimer(this);
    m_replyWindowTimer->setSingleShot(true);
    m_replyWindowTimer->setInterval(settings.pauseReplyWindowMs);
    connect(m_replyWindowTimer, &QTimer::timeout, this, &CommLibrary::handlePauseControllers);
    m_pauseTimer = new QTimer(this);
    m_pauseTimer->setSingleShot(true);
    m_pauseTimer->setInterval(settings.pauseRepeatMs);
    connect(m_pauseTimer, &QTimer::timeout, this, &CommLibrary::handlePauseControllers);

    m_udpSocket = new QUdpSocket(this);
    if (!m_udpSocket->bind(QHostAddress(QHostAddress::AnyIPv4), settings.pauseReplyPort,
                           QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint))
        qDebug() << "CommLibrary failed to bind to port:" << m_udpSocket->errorString();
    connect(m_udpSocket, &QUdpSocket::readyRead, this, &CommLibrary::handleReadReady);

    announce();
}

CommLibrary::~CommLibrary()
{
    delete m_udpSocket;
    m_udpSocket = nullptr;
    closeAllControllers();
}

void CommLibrary::announce()
{
    if (m_replyWindowTimer->isActive()) {
        m_replyWindowTimer->start();
        return;
    }
    closeAllControllers();

    const NetworkSettings &settings = NetworkSettings::instance();
    QList<PauseLinkMessages::AnnouncementTarget> targets;
    if (!settings.pauseAnnouncementOverride.isNull())
        targets.append({QHostAddress(QHostAddress::LocalHost), settings.pauseAnnouncementOverride});
    else
        targets = PauseLinkMessages::announcementTargets(NetworkSettings::systemInterfaces());
    for (const PauseLinkMessages::AnnouncementTarget &target : targets) {
        m_udpSocket->writeDatagram(
            PauseLinkMessages::announcement(target.local, settings.pauseReplyPort),
            target.broadcast, settings.pauseAnnouncementPort);
    }
    m_replyWindowTimer->start(settings.pauseReplyWindowMs);
}

void CommLibrary::closeAllControllers()
{
    const QList<QTcpSocket *> sockets = m_controllers.values();
    m_controllers.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

bool CommLibrary::removeController(const QString &address)
{
    QTcpSocket *socket = m_controllers.take(address);
    if (!socket)
        return false;
    socket->disconnect(this);
    socket->abort();
    // Called from our own timer, never from the socket's signals, but a queued event of the
    // socket may still be pending.
    socket->deleteLater();
    return true;
}

void CommLibrary::handleReadReady()
{
    while (m_udpSocket->hasPendingDatagrams()) {
        const qint64 size = m_udpSocket->pendingDatagramSize();
        if (size < 0 || size > PauseLinkMessages::MaxAnswerSize ||
            !m_replyWindowTimer->isActive()) {
            // Outside the window, or too long to be an answer: drop it unread.
            m_udpSocket->readDatagram(nullptr, 0);
            continue;
        }
        QByteArray datagram(int(size), '\0');
        const qint64 read = m_udpSocket->readDatagram(datagram.data(), datagram.size());
        if (read < 0)
            continue;
        datagram.truncate(int(read));
        handleAnswer(datagram);
    }
}

void CommLibrary::handleAnswer(const QByteArray &datagram)
{
    const PauseLinkMessages::ControllerAnswer answer = PauseLinkMessages::parseAnswer(datagram);
    if (!answer.valid || m_controllers.contains(answer.address))
        return;
    QTcpSocket *socket = connectController(answer.address, answer.port);
    if (!socket)
        return;
    socket->write(PauseLinkMessages::registration(m_clientName));
    socket->flush();
    m_controllers.insert(answer.address, socket);
}

QTcpSocket *CommLibrary::connectController(const QString &address, quint16 port)
{
    auto *socket = new QTcpSocket(this);
    socket->setReadBufferSize(PauseLinkMessages::MaxFrameBodySize);
    socket->connectToHost(QHostAddress(address), port, QIODevice::ReadWrite);
    if (!socket->waitForConnected(NetworkSettings::instance().pauseConnectWaitMs)) {
        socket->abort();
        delete socket;
        return nullptr;
    }
    // The controllers' answers carry nothing we use; dropping them keeps memory flat.
    connect(socket, &QTcpSocket::readyRead, this,
            [socket] { socket->skip(socket->bytesAvailable()); });
    return socket;
}

void CommLibrary::handlePauseControllers()
{
    const QByteArray message = PauseLinkMessages::pause();
    const QStringList addresses = m_controllers.keys();
    for (const QString &address : addresses) {
        QTcpSocket *socket = m_controllers.value(address);
        if (socket->state() != QAbstractSocket::ConnectedState) {
            removeController(address);
            continue;
        }
        // A controller that stopped reading gets no more queued behind it.
        if (socket->bytesToWrite() < MaxBufferedBytes) {
            socket->write(message);
            socket->flush();
        }
    }
    m_pauseTimer->start(NetworkSettings::instance().pauseRepeatMs);
}
