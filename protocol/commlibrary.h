#ifndef COMMLIBRARY_H
#define COMMLIBRARY_H

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpSocket;
class QTimer;
class QUdpSocket;

// The controller-pause link: announces this client by UDP, connects by TCP to every show
// controller that answers within the reply window, registers with it and then keeps it paused
// with a pause command on every repeat. Ports, targets and intervals come from NetworkSettings.
// Nothing the controllers send back is used; it is read and dropped so a chatty or hostile
// peer cannot grow our buffers.
class CommLibrary : public QObject
{
    Q_OBJECT
public:
    explicit CommLibrary(const QString &clientName, QObject *parent = nullptr);
    ~CommLibrary() override;

    QString clientName() const { return m_clientName; }
    // Addresses of the controllers currently in the table.
    QStringList controllerAddresses() const { return m_controllers.keys(); }

public slots:
    void handleReadReady();
    void handlePauseControllers();

private:
    void announce();
    void closeAllControllers();
    bool removeController(const QString &address);
    void handleAnswer(const QByteArray &datagram);
    QTcpSocket *connectController(const QString &address, quint16 port);

    QString m_clientName;
    QTimer *m_replyWindowTimer = nullptr;
    QTimer *m_pauseTimer = nullptr;
    QUdpSocket *m_udpSocket = nullptr;
    QHash<QString, QTcpSocket *> m_controllers;
};

#endif // COMMLIBRARY_H
