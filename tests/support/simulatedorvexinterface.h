#ifndef SIMULATEDORVEXINTERFACE_H
#define SIMULATEDORVEXINTERFACE_H

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QRandomGenerator>
#include <QSet>
#include <QUdpSocket>
#include <QVector>

#include <functional>
#include <optional>

// One simulated Orvex interface for tests: a UDP socket bound to its own loopback address
// (127.0.0.x) on the Orvex port of NetworkSettings. It answers the requests a real interface
// answers, from that address, with replies built from the wire layouts (OrvexReplies), and it
// records every datagram it receives so that tests can check frames and requests.
//
// Answers (each only while `answering` is true):
//   discover 0x0001        -> one discover reply in `identity.form` (0x0002, 0x000D or 0x000F)
//   port discovery 0x000A  -> 0x000B listing `ports`
//   blink scan 0x0201      -> one 0x0202 per light whose serial fits in 32 bits, then one
//                             0x0206 with `caCounts` when set
//   blink scan 2 0x0207    -> 0x0208s with type-1 entries per port for 32-bit lights and then
//                             type-2 entries per port of `fixtureCounts` (at most 63 values an
//                             entry), as many entries a datagram as fit `maxReplyBytes` (with
//                             `countsReplyPerEntry` each type-2 entry in a 0x0208 of its own),
//                             then one 0x0208 per port with a single RDM entry (type
//                             `rdmUidForm`) for lights with wider serials; the more flag as
//                             `moreFlag` says
//   EEPROM read 0x0203     -> 0x0204 with the light's `eeprom` byte (0 when unset); no answer
//                             for an unknown serial
//   get device var 0x0105  -> 0x0106 when `deviceVariables` holds the id, else no answer
//   RDM GET 0x0303         -> 0x0304 with the light's `rdm` parameter data when it holds the
//                             parameter id, else no answer
// DMX out, port out and sync are only recorded. Broadcasts reach an interface through the
// SimulatedOrvexNetwork that owns it. `faults` make answers go missing, late, twice or wrong.
// Reads every datagram waiting on the socket, each at its own length, and hands it on with
// its sender.
template <typename Handler> void forEachPendingDatagram(QUdpSocket &socket, Handler handle)
{
    while (socket.hasPendingDatagrams()) {
        QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
        QHostAddress sender;
        quint16 port = 0;
        const qint64 read = socket.readDatagram(datagram.data(), datagram.size(), &sender, &port);
        if (read < 0)
            continue;
        datagram.resize(int(read));
        handle(datagram, sender, port);
    }
}

class SimulatedOrvexInterface : public QObject
{
    Q_OBJECT
public:
    enum class DiscoverForm { Classic, SecondForm, Version3 };

    struct Identity
    {
        DiscoverForm form = DiscoverForm::Classic;
        QByteArray mac = QByteArray::fromHex("00A0B1C2D3E4");
        quint64 serial = 0x12345678;
        quint16 protocolVersion = 1;
        quint32 universe = 0;
        QByteArray versionText = "1.2.3";
        QByteArray idText = "Simulated Interface";
    };

    struct Port
    {
        quint8 number = 1;
        quint8 type = 1;
    };

    struct Light
    {
        quint64 serial = 0; // fits 32 bits: EEPROM reads; wider: an RDM UID
        quint8 port = 1;    // 1-based, as the blink scan 2 reports it
        QHash<quint16, quint8> eeprom;
        QHash<quint16, QByteArray> rdm; // parameter id -> parameter data
    };

    struct CACounts
    {
        quint8 port1 = 0;
        quint8 port2 = 0;
    };

    // What goes wrong with the answers to one request code (0: every code without an entry).
    struct AnswerFaults
    {
        int drop = 0;    // the next `drop` answers are not sent
        int delayMs = 0; // every answer leaves this much later
        int copies = 1;  // every answer is sent this many times
        std::function<QByteArray(const QByteArray &)> corrupt; // rewrites every answer
    };

    // A light whose memory is laid out by its model's device definition file: every token of
    // the model's memory map holds values[token], else the token's default value, else 0. A
    // light with a 32-bit serial keeps it at the token's EEPROM read addresses (a value over
    // several addresses most significant byte first). A wider serial is an RDM UID: the model
    // is the one the catalogue selects by `productCode`; the light answers DEVICE_INFO with the
    // product code's model, category and footprint, DEVICE_MODEL_DESCRIPTION with the model's
    // name and every other parameter id of the memory map with the token's value.
    static Light catalogueLight(quint64 serial, quint8 port,
                                const QHash<QString, quint32> &values = {},
                                const QString &productCode = QString());

    struct Received
    {
        quint16 code = 0;
        QByteArray datagram;
        QHostAddress sender;
        quint16 senderPort = 0;
        bool broadcast = false;
    };

    explicit SimulatedOrvexInterface(const QHostAddress &address, QObject *parent = nullptr);

    bool isListening() const;
    QHostAddress address() const { return m_address; }

    Identity identity;
    QVector<Port> ports;
    QVector<Light> lights;
    QHash<quint16, quint32> deviceVariables;
    quint8 rdmUidForm = 4;
    // Fixture counts per 1-based port, each port's counts one type-2 blink scan 2 entry.
    QMap<quint8, QVector<quint32>> fixtureCounts;
    bool countsReplyPerEntry = false;
    // The longest blink scan 2 answer datagram (an entry alone may be longer).
    int maxReplyBytes = 1400;
    // What the blink scan 2 answer's more flag says: devices differ.
    enum class MoreFlag { AllButLast, Never, Always, Alternating };
    MoreFlag moreFlag = MoreFlag::AllButLast;
    // When not empty, the n-th blink scan 2 is answered with these datagrams instead, n
    // counted modulo their number: a device whose answers differ from request to request.
    QList<QList<QByteArray>> blinkScan2Answers;
    // When not empty, the n-th blink scan 2 is answered this many times over (0: not at all),
    // the last entry for every later one: requests lost, or answers copied whole.
    QList<int> blinkScan2Times;
    std::optional<CACounts> caCounts;
    QHash<quint16, AnswerFaults> faults;
    bool answering = true;
    // Serial numbers of lights that scans report but that never answer a read (EEPROM or RDM).
    QSet<quint64> deafLights;

    // A blink scan 2 answer as a device at `address` sends it, datagram by datagram.
    struct BlinkScan2Layout
    {
        QVector<Light> lights;
        QMap<quint8, QVector<quint32>> fixtureCounts;
        bool countsReplyPerEntry = false;
        int maxReplyBytes = 1400;
        quint8 rdmUidForm = 4;
        MoreFlag moreFlag = MoreFlag::AllButLast;
        int valuesPerEntry = 63; // an entry's payload length is one byte: 63 at the most
    };
    static QList<QByteArray> blinkScan2Answer(quint32 address, const BlinkScan2Layout &layout);

    const QList<Received> &received() const { return m_received; }
    QList<QByteArray> receivedWithCode(quint16 code) const;
    void clearReceived() { m_received.clear(); }

    // Sends any datagram from this interface's address: to the sender of the last request,
    // or to the given address and port.
    bool sendRaw(const QByteArray &datagram);
    bool sendRawTo(const QByteArray &datagram, const QHostAddress &to, quint16 port);

    // Handles one datagram as if it had arrived; the network calls it for broadcasts.
    void handleDatagram(const QByteArray &datagram, const QHostAddress &sender, quint16 port,
                        bool broadcast);

    // Random loss on this interface's link: each datagram it receives (broadcasts included)
    // and each answer it sends (each copy) is lost with probability `rate`. Every direction and
    // packet code draws from a generator of its own, seeded from `seed` and the interface's
    // address, so that a seed loses the same datagrams however the streams interleave.
    void setLoss(double rate, quint32 seed);
    int lostDatagrams() const { return m_lost; }
    // Random duplication on this interface's link: each answer it sends is sent once more with
    // probability `rate` (each copy lost as any datagram), from a generator seeded by `seed`.
    void setDuplication(double rate, quint32 seed);
    int duplicatedDatagrams() const { return m_duplicated; }

signals:
    void datagramReceived(quint16 code, const QByteArray &datagram);

private slots:
    void readPending();

private:
    void answer(quint16 code, const QByteArray &datagram);
    void answerBlinkScan2();
    // Sends one answer to the request being handled, through that request code's faults.
    void deliver(const QByteArray &answer);
    const Light *findLight(quint64 serial) const;
    quint32 address32() const { return m_address.toIPv4Address(); }

    QHostAddress m_address;
    QUdpSocket m_socket;
    QHostAddress m_peer;
    quint16 m_peerPort = 0;
    quint16 m_answering = 0; // the code of the request being answered
    QList<Received> m_received;

    // Whether the next datagram of that direction and code is lost.
    bool loses(bool inbound, quint16 code);
    void sendUnlessLost(const QByteArray &datagram, const QHostAddress &to, quint16 port);
    double m_lossRate = 0.0;
    quint32 m_lossSeed = 0;
    QHash<quint32, QRandomGenerator> m_lossStreams;
    int m_lost = 0;
    bool duplicates();
    double m_duplicationRate = 0.0;
    QRandomGenerator m_duplication;
    int m_duplicated = 0;
};

#endif // SIMULATEDORVEXINTERFACE_H
