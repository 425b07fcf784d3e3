#ifndef DISCOVERYENGINE_H
#define DISCOVERYENGINE_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>

#include "protocol/countgatherer.h"
#include "protocol/droppeddatagramlog.h"
#include "protocol/lightscanbook.h"
#include "protocol/orvexdatagrams.h"

class DataSupply;
class DeviceDictionary;
class EffectEngine;
class Light;
class MapModel;
class Orvex;
class PropertyMapper;
class RequestRepeater;
class WindowTimer;

// Turns Orvex replies into interfaces and lights for one dialog or wizard. Each engine has its
// own Orvex object and socket, and keeps the effect engine paused for as long as it lives so
// that live frames do not compete with discovery traffic.
//
// The tables hold guarded pointers: the objects they name belong to the caller or the map
// model, which may delete them while replies are still arriving; a deleted object simply counts
// as gone.
//
// Ownership of discovered interfaces and lights: a DataSupply made from a discover reply and a
// Light made from a scan reply have no parent. Whoever receives the signal takes the object by
// adding it to the map model or giving it a parent (a light can also be taken with
// forgetLight); the engine deletes, when it is destroyed, every object it made that is still
// parentless, not held by the map model and not forgotten.
//
// Interfaces: a discover reply and a port reply count only from the host they name (Orvex drops
// the others). A discovery makes at most MaxInterfacesPerDiscovery interfaces, and a port reply
// counts only while a port request to its host is outstanding: once, and only until the next
// discovery.
//
// Lost datagrams: the discover broadcast, a port request (until answered) and a light scan go
// out several times (NetworkSettings' requestSends, requestRepeatMs apart), and the replies
// are merged: an interface counts once a discovery, a port reply once a request, and a scan
// makes one light per port and serial number. Fixture counts cannot be merged that way (a
// device's alike fixtures send equal datagrams): once they show, the scan asks again one
// request at a time and takes the counts its rounds settle (CountGatherer). Each scan starts
// from nothing: a light that an earlier scan found and this one does not is not reported
// again, so a light taken off site does not come back.
//
// Scans: the protocol has no authentication, so a scan reply counts only while its interface
// is being scanned (from discoverLights to endLightScan), and a scan makes at most
// MaxLightsPerPort lights a port and lightLimitForScan lights in all. Replies that name
// another host than their sender never get here (Orvex drops them). What is dropped is
// counted in a log line at most once a second.
//
// Reads: every running read (of one light's properties, or of the values of an interface whose
// lights came as fixture counts) has its own request in flight and its own retry timer, so
// several reads can run at once. Only a reply from the address the request went to that
// answers the request in flight of a running read counts; any other (a duplicate, a reply
// from another host, a reply for a light that was forgotten or deleted) is dropped. A late
// answer to an earlier try of the same request counts. After NetworkSettings'
// lightReadMaxRetries unanswered retries in a row a read ends as failed.
class DiscoveryEngine : public QObject
{
    Q_OBJECT
public:
    DiscoveryEngine(MapModel *map, EffectEngine *effectEngine);
    ~DiscoveryEngine() override;

    void discoverControllers();
    void discoverPorts(DataSupply *ds);
    // Scans the interface's lights (blink scan for protocol version 1, blink scan 2 for 2 and
    // 3). Lights with a serial number come one by one (discoveredLight); counted lights come
    // as one batch a port (discoveredLights), ports ascending and each port's fixtures in the
    // device's order, after the interface's own values are read when its model has any; then
    // lightCountsComplete. Fixture counts are taken once their rounds are over (CountGatherer);
    // ports whose counts the rounds do not settle make no lights and are named by
    // lightCountsUnsettled first, ports taken from one unchecked answer by lightCountsUnchecked.
    // Empties the light table first. The scan runs, and replies to it count, until endLightScan,
    // discoverControllers or the engine's end; a second call starts it anew.
    void discoverLights(DataSupply *ds);
    // Later scan replies of that interface are dropped.
    void endLightScan(const DataSupply *ds);
    bool isScanning(const DataSupply *ds) const;
    // Whether the scan of the interface has fixture counts it has not handed on yet.
    bool isGatheringCounts(const DataSupply *ds);
    // The most lights one scan of the interface makes: MaxLightsPerPort for each of its ports
    // (for one port when it has none).
    static int lightLimitForScan(const DataSupply *ds);
    // How the fixture counts are asked for again, from NetworkSettings.
    static CountRounds::Timing countTiming();
    // Why the interface's port (0-based) made no lights, once lightCountsUnsettled named it;
    // Disagreed for a port it did not name. Kept until the interface is scanned again.
    CountAnswers::Doubt countDoubt(quint64 interfaceUid, int port) const;
    // Reads the light's properties from the device behind the interface at ip: EEPROM reads
    // for 32-bit serial numbers, RDM GET for wider ones, each answer applied to the light
    // through setLightProperty; lightDataReadComplete(serial) once nothing is left, or
    // lightDataReadFailed(serial) when the device stops answering. False, with no read
    // running, when the first request cannot be sent.
    bool readLightData(Light *light, const QString &ip);

    DataSupply *controllerForUid(quint64 uid) const;
    Light *lightForSerial(quint64 serial) const;
    // Forgets the light (see forgetLight) and deletes it; a light that the map model holds is
    // deleted through the map. Nothing happens for a serial that is not in the light table.
    void removeLight(quint64 serial);
    // Lets go of the light of the light table with that serial number without deleting it: it
    // leaves the table and the fixture-count batches, its read stops without completion, and
    // the engine no longer deletes it. The caller owns it from then on.
    void forgetLight(quint64 serial);
    // Deletes a light this engine made, found by pointer: the lights of a fixture-count batch
    // all carry their interface's serial number, so the light table's entry for that serial
    // is erased only when it names this very light.
    void dropLight(Light *light);
    // Whether the properties of the light with that serial number are being read.
    bool isReadingLight(quint64 serial) const { return m_lightReads.contains(serial); }
    bool isKnownId(quint32 id) const;

    // Applies one property value (decimal text) by its display name; false for a name that
    // no light setting takes.
    bool setLightProperty(const QString &name, const QString &value, Light *light);

    // Discover replies beyond this many in one discovery are dropped: a flood of forged ones
    // must not make an interface, and a row the user could add to the map, for each.
    static constexpr int MaxInterfacesPerDiscovery = 1024;
    // The scans' bound on lights a port, which the scan book holds.
    static constexpr int MaxLightsPerPort = LightScanBook::MaxLightsPerPort;
    // The first EEPROM addresses read from a light: DMX start channel, high then low byte.
    static constexpr quint16 DmxAddressHigh = 0x40;
    static constexpr quint16 DmxAddressLow = 0x41;

    // The display names of the properties read from lights.
    const QSet<QString> &propertyNames() const { return m_propertyNames; }
    Orvex *orvex() const { return m_orvex; }

signals:
    void discoveredController(DataSupply *ds);
    void discoveredPorts(quint64 uid, uint portCount);
    void discoveredLight(Light *l);
    void discoveredLights(QList<Light *> &list);
    // Every counted light of the interface's answer has been handed on: its scan has nothing
    // more to report but single lights that the answer did not hold.
    void lightCountsComplete(quint64 interfaceUid);
    // The scan could not tell how many lights these ports (0-based, ascending) of the
    // interface hold: the rounds disagreed, or the counts add up to more than a port holds.
    void lightCountsUnsettled(quint64 interfaceUid, const QList<int> &ports);
    // These ports' (0-based, ascending) lights were taken from the one answer the device gave:
    // the interface answered no request after it, so nothing could check them. Comes before
    // lightCountsComplete.
    void lightCountsUnchecked(quint64 interfaceUid, const QList<int> &ports);
    // The interface's fixture counts are being asked for: round 0 is the scan's own answer,
    // each later round one request asked again. Counting goes on until lightCountsComplete.
    void lightCountRound(quint64 interfaceUid, int round);
    void lightDataReadComplete(quint64 serialNumber);
    // The device did not answer a request of the read, tries included; the read has ended.
    void lightDataReadFailed(quint64 serialNumber);
    // A discover reply was dropped because this discovery has made MaxInterfacesPerDiscovery
    // interfaces already: more interfaces answered than were reported.
    void interfaceLimitReached();

public slots:
    void handleTimeout();
    void handleOrvexDiscoverResponse(char *mac, quint32 ip, quint32 sn, quint16 ver, quint32 uni,
                                     char *verstring, char *idstring);
    void handleDiscoverPortsResponse(unsigned int ip, unsigned char portcount,
                                     unsigned char *portnums, unsigned char *porttypes);
    void handleBlinkScanResponse(unsigned int ip, unsigned int sn);
    void handleBlinkScan2SNResponse(unsigned int ip, unsigned char portNum, unsigned char snCount,
                                    QVector<quint64> sn);
    void handleCAScanResponse(unsigned int ip, unsigned char port1, unsigned char port2);
    // A blink scan 2 reply whole: its fixture counts join the scan's answers.
    void handleBlinkScan2Reply(unsigned int ip, const OrvexDatagrams::BlinkScan2ReplyData &reply);
    void handleBlinkEEReadResponse(unsigned int ip, unsigned int sn, unsigned char addr,
                                   unsigned char b);
    void handleDeviceVariableReply(uint ip, quint16 valueID, quint32 value);
    void handleOrvexDiscoverV3Response(char *mac, quint32 ip, quint64 sn, quint16 ver, quint32 uni,
                                       char *verstring, char *idstring);
    void handleBlinkScan2ORDMResponse(uint ip, unsigned char portNum, QVector<quint64> sn);
    void handleRDMGetReply(quint32 ip, quint64 sn, quint16 pid, QString value);
    void handleSendDMXFrame(QString ip, quint16 startCode, quint16 timerVal, QByteArray dmxData);
    void handleSendPortOut(QString ip, quint32 universe, quint8 port, quint16 flags,
                           quint16 startCode, QByteArray dmxData);

private:
    enum class ReadMethod { EERead, ORDMGet, OGet };

    // One request of a read: which request went to whom, and the token it reads (empty for
    // the DMX address bytes).
    struct ReadRequest
    {
        ReadMethod method = ReadMethod::EERead;
        QByteArray ip;
        quint64 sn = 0;
        quint16 address = 0;
        QString token;
        quint32 target = 0; // ip as a host-order address, set when the request goes out
    };

    // One running read. Light reads hold the light read; interface reads leave it null.
    struct Reading
    {
        QPointer<Light> light;
        QSet<QString> pending;
        ReadRequest inFlight;
        WindowTimer *retryTimer = nullptr;
        int retries = 0; // of the request in flight
    };
    using Readings = QHash<quint64, Reading>;

    void connectOrvexSignals();
    void fillPropertyNames();
    void handleDiscover(const char *mac, quint32 ip, quint64 sn, quint16 ver, quint32 uni,
                        const char *verstring, const char *idstring);
    DataSupply *dataSupplyForIp(quint32 ip) const;
    void deleteUnclaimedDataSupplies();
    void deleteUnclaimedLights();

    // Requests sent more than once, by host: a host is listed from a request that went out
    // until stopRepeats (for a port request: until its answer). False when the request could
    // not be sent.
    using Repeats = QHash<quint32, RequestRepeater *>;
    bool startRepeats(Repeats &repeats, quint32 ip, std::function<bool()> send);
    void stopRepeats(Repeats &repeats, quint32 ip);
    void stopAllRepeats(Repeats &repeats);

    // Scans.
    void endScan(quint32 ip);
    // The interface at ip when it is being scanned; else null, and the reply counts as dropped.
    DataSupply *scannedSupply(quint32 ip);
    // Makes and reports lights of the owner's (fresh serials).
    void reportLights(quint64 owner, int port, const QVector<quint64> &serials);
    Light *makeLight(quint64 uid, quint64 serial, quint64 owner, quint8 port);
    // A light of a fixture-count or CA batch, set up without a signal per field.
    Light *makeBatchLight(quint64 uid, quint64 serial, const DataSupply *ds, quint8 port,
                          int channel, quint64 fixture = 0);
    qint64 now() const { return m_clock.elapsed(); }
    // Reads every reply that has arrived: the decision a timer brings must see what came
    // before it, however late the window got to it.
    void readArrivedReplies();
    void startCounting(const DataSupply *ds, quint32 ip);
    void askForCountsAgain(quint32 ip, int round);
    void takeCounts(quint32 ip, const CountAnswers::Result &result);
    QList<Light *> makeFixtures(const DataSupply *ds, int port, const QVector<quint64> &counts);
    // Hands the batches on, after the interface's values are read when its model has any,
    // and then says that the interface's counts are complete.
    void handOnCounts(DataSupply *ds, const QList<QList<Light *>> &batches);
    // valuesRead: the interface's values were read, and the lights are packed by them.
    void finishInterfaceRead(quint64 serial, bool valuesRead = true);
    // values: those read from the interface, applied before the lights are packed from channel
    // 0; null when nothing was read.
    void emitBatch(const QList<QPointer<Light>> &batch, const QHash<QString, quint32> *values);

    // Reads.
    QSet<QString> readableTokens(quint64 serial, const QStringList &tokens, Light *staticTo);
    Reading &startReading(Readings &readings, quint64 serial, Light *light);
    void endReading(Readings &readings, quint64 serial);
    bool send(const ReadRequest &request);
    bool sendAndArm(Reading &reading, const ReadRequest &request);
    bool sendNextToken(Reading &reading, ReadMethod method, const QByteArray &ip, quint64 serial);
    void consumeAnswer(Reading &reading, quint64 serial, quint16 address);
    void continueLightRead(quint64 serial, const QByteArray &ip, ReadMethod method);
    // The running read whose request in flight this reply answers; null for any other reply.
    Reading *readingAnswered(Readings &readings, quint64 serial, ReadMethod method, quint16 address,
                             quint32 from);
    void retry(Readings &readings, quint64 serial, Reading &reading);
    int deviceTypeOf(const Light *light) const;

    QPointer<MapModel> m_map;
    QPointer<EffectEngine> m_effectEngine;
    bool m_effectEngineWasPaused = false;
    Orvex *m_orvex = nullptr;
    PropertyMapper *m_propertyMapper = nullptr;
    DeviceDictionary *m_deviceDictionary = nullptr;
    QSet<QString> m_propertyNames;

    QHash<quint32, QPointer<DataSupply>> m_dataSupplyByIp;
    QHash<quint64, QPointer<DataSupply>> m_dataSupplyByUid;
    QHash<quint64, QPointer<Light>> m_lights;
    Readings m_lightReads;
    Readings m_interfaceReads;
    QHash<quint64, QList<QList<QPointer<Light>>>> m_caLightLists;
    QHash<quint64, quint64> m_caLightOwners; // interface serial -> interface uid
    QHash<quint64, QHash<QString, quint32>> m_interfaceValues;
    QSet<quint64> m_knownIds;
    LightScanBook m_scans;
    RequestRepeater *m_discoverRepeats = nullptr;
    Repeats m_portRepeats;
    // Hosts asked for their ports and not yet answered: only their first reply counts. Kept
    // apart from the copies of the request, so that how often it goes out cannot change which
    // replies are taken.
    QSet<quint32> m_portRequests;
    Repeats m_scanRepeats;
    CountGatherer *m_counts = nullptr;
    // By interface uid and 0-based port: why the last scan made no lights there.
    QHash<quint64, QHash<int, CountAnswers::Doubt>> m_countDoubts;
    QElapsedTimer m_clock;
    int m_interfacesThisDiscovery = 0;
    DroppedDatagramLog m_interfaceLimitLog;
    DroppedDatagramLog m_unaskedPortsLog;
    DroppedDatagramLog m_unscannedLog;

    // Every interface and light this engine made, for the clean-up at destruction.
    QList<QPointer<DataSupply>> m_created;
    QList<QPointer<Light>> m_createdLights;
};

#endif // DISCOVERYENGINE_H
