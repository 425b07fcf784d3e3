#ifndef COMMLIBRARY_H
#define COMMLIBRARY_H

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpSocket;
class WindowTimer;
class QUdpSocket;

// The controller-pause link: announces this client by UDP, connects by TCP to every show
// controller that answers within the reply window, registers with it and then keeps it paused
// with a pause command on every repeat. Ports, targets and intervals come from NetworkSettings.
// Nothing the controllers send back is used; it is read and dropped so a chatty or hostile
// peer cannot grow our buffers. Connections are made without blocking: an answer naming an
// address that never completes the handshake holds its slot for the connect wait at most.
class CommLibrary : public QObject
{
    Q_OBJECT
public:
    // An installation has a handful of controllers; beyond this many, answers are ignored so a
    // flood of answers cannot exhaust our file descriptors.
    static constexpr int MaxControllers = 64;

    explicit CommLibrary(const QString &clientName, QObject *parent = nullptr);
    ~CommLibrary() override;

    QString clientName() const { return m_clientName; }
    // Addresses of the controllers currently in the table, connected or still connecting.
    QStringList controllerAddresses() const { return m_controllers.keys(); }

public slots:
    void handleReadReady();
    void handlePauseControllers();

private:
    void announce();
    void closeAllControllers();
    bool removeController(const QString &address);
    void handleAnswer(const QByteArray &datagram);
    void connectController(const QString &address, quint16 port);
    void handleConnected(QTcpSocket *socket);
    void reportIgnoredAnswers();

    QString m_clientName;
    WindowTimer *m_replyWindowTimer = nullptr;
    WindowTimer *m_pauseTimer = nullptr;
    QUdpSocket *m_udpSocket = nullptr;
    QHash<QString, QTcpSocket *> m_controllers;
    int m_ignoredAnswers = 0;
};

#endif // COMMLIBRARY_H
