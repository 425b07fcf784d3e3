#include "commlibrary.h"

#include "protocol/networksettings.h"
#include "protocol/pauselinkmessages.h"
#include "protocol/windowtimer.h"

#include <QDebug>
#include <QTcpSocket>
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
    m_replyWindowTimer = new WindowTimer(this);
    m_replyWindowTimer->setInterval(settings.pauseReplyWindowMs);
    connect(m_replyWindowTimer, &WindowTimer::timeout, this, &CommLibrary::handlePauseControllers);
    m_pauseTimer = new WindowTimer(this);
    m_pauseTimer->setInterval(settings.pauseRepeatMs);
    connect(m_pauseTimer, &WindowTimer::timeout, this, &CommLibrary::handlePauseControllers);

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
    // May be called from the socket's own error signal, and a queued event of the socket may
    // still be pending: it goes once control is back in the event loop.
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
    if (m_controllers.size() >= MaxControllers) {
        ++m_ignoredAnswers;
        return;
    }
    connectController(answer.address, answer.port);
}

// The socket joins the table before it connects, so a repeated answer finds it and a failure
// reported at once, inside connectToHost, already has an entry to remove.
void CommLibrary::connectController(const QString &address, quint16 port)
{
    auto *socket = new QTcpSocket(this);
    socket->setReadBufferSize(PauseLinkMessages::MaxFrameBodySize);
    m_controllers.insert(address, socket);
    // The controllers' answers carry nothing we use; dropping them keeps memory flat.
    connect(socket, &QTcpSocket::readyRead, this,
            [socket] { socket->skip(socket->bytesAvailable()); });
    connect(socket, &QTcpSocket::connected, this, [this, socket] { handleConnected(socket); });
    auto dropIfStill = [this, socket, address] {
        if (m_controllers.value(address) == socket &&
            socket->state() != QAbstractSocket::ConnectedState)
            removeController(address);
    };
    connect(socket, &QAbstractSocket::errorOccurred, this, dropIfStill);
    WindowTimer::singleShot(NetworkSettings::instance().pauseConnectWaitMs, socket, dropIfStill);
    socket->connectToHost(QHostAddress(address), port, QIODevice::ReadWrite);
}

// A controller that connects after the reply window has closed is paused at once rather than
// on the next repeat.
void CommLibrary::handleConnected(QTcpSocket *socket)
{
    socket->write(PauseLinkMessages::registration(m_clientName));
    if (!m_replyWindowTimer->isActive())
        socket->write(PauseLinkMessages::pause());
    socket->flush();
}

void CommLibrary::reportIgnoredAnswers()
{
    if (m_ignoredAnswers == 0)
        return;
    qDebug().noquote() << "CommLibrary ignored" << m_ignoredAnswers
                       << "controller answers beyond the limit of" << MaxControllers
                       << "controllers";
    m_ignoredAnswers = 0;
}

void CommLibrary::handlePauseControllers()
{
    const QByteArray message = PauseLinkMessages::pause();
    reportIgnoredAnswers();
    const QStringList addresses = m_controllers.keys();
    for (const QString &address : addresses) {
        QTcpSocket *socket = m_controllers.value(address);
        // Still connecting: its own timeout decides; it is paused once connected.
        if (socket->state() == QAbstractSocket::ConnectingState ||
            socket->state() == QAbstractSocket::HostLookupState)
            continue;
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
