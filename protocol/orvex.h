#ifndef ORVEX_H
#define ORVEX_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QVector>

#include "protocol/droppeddatagramlog.h"
#include "protocol/orvexdatagrams.h"

class OSocket;

// The Orvex protocol object: one request operation per packet kind and one signal per reply
// kind. Addresses in signals are host-order IPv4. Signals are meant for direct connections:
// pointer arguments are valid only during the emission.
class Orvex : public QObject
{
    Q_OBJECT
public:
    static constexpr int SyncDatagramsAtStart = 5;
    // Datagrams read in one pass of the reply reader; more wait for the next pass of the event
    // loop, so that a flood cannot hold the window or a Cancel click.
    static constexpr int MaxDatagramsPerPass = 64;

    explicit Orvex(QObject *parent = nullptr);

    // ip is dotted IPv4 text (Latin-1).
    bool sendDiscover(const QByteArray &ip);
    bool sendDiscoverPorts(const QByteArray &ip);
    bool sendBlinkScan(const QByteArray &ip);
    bool sendBlinkScan2(const QByteArray &ip);
    bool sendEERead(const QByteArray &ip, quint32 serial, quint16 address);
    void sendGetDeviceVariable(const QByteArray &ip, quint16 valueId);
    bool sendRdmGet(const QByteArray &ip, quint64 serial, quint16 parameterId);
    // Data above 512 bytes is cut off: the first 512 go out and the result is false.
    bool sendDmxFrame(const QByteArray &ip, quint8 startCode, quint16 timerValue,
                      const unsigned char *data, int length);
    bool sendPortOut(const QByteArray &ip, quint32 universe, quint8 port, quint16 flags,
                     quint32 length, quint16 startCode, const unsigned char *data);
    void resetSocket();

    OSocket *socket() const { return m_socket; }

public slots:
    void checkSocket();
    void handleSyncPacketRequest();
    void handleSendPortOutRequest(const char *ip, unsigned int universe, unsigned char port,
                                  unsigned int flags, unsigned int length, unsigned int startCode,
                                  const unsigned char *data);

signals:
    void signalDiscoverResponse(char *mac, quint32 ip, quint32 sn, quint16 ver, quint32 uni,
                                char *verstring, char *idstring);
    void signalDiscoverEOResponse(char *mac, quint32 ip, quint32 sn, quint16 ver, quint32 uni,
                                  char *verstring, char *idstring);
    void signalDiscoverPortsResponse(unsigned int ip, unsigned char portcount,
                                     unsigned char *portnums, unsigned char *porttypes);
    void signalBlinkScanResponse(unsigned int ip, unsigned int sn);
    // Declared for completeness; no reply raises it.
    void signalBlinkScan2Response(unsigned int ip, unsigned char entryCount, unsigned char more,
                                  QByteArray entryArray);
    // A blink scan 2 reply whole, raised before its lists: what it holds as received (which
    // tells it from any other reply), its more flag and its lists.
    void signalBlinkScan2Reply(unsigned int ip, const OrvexDatagrams::BlinkScan2ReplyData &reply);
    void signalBlinkScan2SNResponse(unsigned int ip, unsigned char portNum, unsigned char snCount,
                                    QVector<quint64> sn);
    void signalBlinkScan2CAResponse(unsigned int ip, unsigned char portNum,
                                    unsigned char fixtureCount, QVector<quint64> sn);
    void signalBlinkScan2ORDMResponse(uint ip, unsigned char portNum, QVector<quint64> sn);
    void signalCAScanResponse(unsigned int ip, unsigned char port1, unsigned char port2);
    // serial: the 6 bytes with their wire order reversed.
    void signalBEBlinkScanResponse(uint ip, uchar port, QByteArray serial);
    void signalBlinkEEReadResponse(unsigned int ip, unsigned int sn, unsigned char addr,
                                   unsigned char b);
    void signalPixelTokenByteReadResponse(uint ip, uint sn, uchar pixel, uchar token,
                                          uchar byteVal);
    void signalTelemetryByteReadResponse(uint ip, uint sn, quint16 telemetryID, uchar byteVal);
    void signalExtPromTokenReadResponse(uint ip, uint sn, quint16 token, uchar byteVal);
    void signalDeviceVariableReply(uint ip, quint16 valueID, quint32 value);
    void signalGetArrayReply(uint ip, quint16 valueID, QList<quint32> getValues);
    void signalGetByteArrayReply(uint ip, quint16 valueID, QByteArray getValues);
    void signalDiscoverResponseV3(char *mac, quint32 ip, quint64 sn, quint16 ver, quint32 uni,
                                  char *verstring, char *idstring);
    void signalRDMGetReply(quint32 ip, quint64 sn, quint16 pid, QString value);
    void requestSyncPacket();
    void requestSendPortOut(const char *ip, unsigned int universe, unsigned char port,
                            unsigned int flags, unsigned int length, unsigned int startCode,
                            const unsigned char *data);

private:
    void createSocket();
    void dispatch(const OrvexDatagrams::Reply &reply);
    // Discover, port discovery and scan replies name the interface they speak for; one that
    // another host sent is forged.
    bool isMisaddressed(const OrvexDatagrams::Reply &reply, quint32 sender);
    void emitDiscover(const OrvexDatagrams::DiscoverReplyData &reply);
    void emitPortDiscovery(const OrvexDatagrams::PortDiscoveryReplyData &reply);
    void emitMemoryRead(const OrvexDatagrams::MemoryReadReplyData &reply);
    void emitBlinkScan2(const OrvexDatagrams::BlinkScan2ReplyData &reply);

    OSocket *m_socket = nullptr;
    DroppedDatagramLog m_misaddressedLog;
};

#endif // ORVEX_H
