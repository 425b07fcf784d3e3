#ifndef DISCOVERYENGINE_H
#define DISCOVERYENGINE_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

class DataSupply;
class DeviceDictionary;
class EffectEngine;
class Light;
class MapModel;
class Orvex;
class PropertyMapper;
class QTimer;

// Turns Orvex replies into interfaces and lights for one dialog or wizard. Each engine has its
// own Orvex object and socket, and keeps the effect engine paused for as long as it lives so
// that live frames do not compete with discovery traffic.
//
// The tables hold guarded pointers: the objects they name belong to the caller or the map
// model, which may delete them while replies are still arriving; a deleted object simply counts
// as gone.
//
// Ownership of discovered interfaces: a DataSupply made from a discover reply has no parent.
// Whoever receives discoveredController takes it by adding it to the map model or giving it a
// parent; the engine deletes, when it is destroyed, every interface it made that is still
// parentless and not held by the map model.
class DiscoveryEngine : public QObject
{
    Q_OBJECT
public:
    DiscoveryEngine(MapModel *map, EffectEngine *effectEngine);
    ~DiscoveryEngine() override;

    void discoverControllers();
    void discoverPorts(DataSupply *ds);
    void discoverLights(DataSupply *ds);
    bool readLightData(Light *light, const QString &ip);

    DataSupply *controllerForUid(quint64 uid) const;
    Light *lightForSerial(quint64 serial) const;
    void removeLight(quint64 serial);
    bool isKnownId(quint32 id) const;

    bool setLightProperty(const QString &name, const QString &value, Light *light);

    // The display names of the properties read from lights.
    const QSet<QString> &propertyNames() const { return m_propertyNames; }
    Orvex *orvex() const { return m_orvex; }

signals:
    void discoveredController(DataSupply *ds);
    void discoveredPorts(quint64 uid, uint portCount);
    void discoveredLight(Light *l);
    void discoveredLights(QList<Light *> &list);
    void lightDataReadComplete(quint64 serialNumber);

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
    void handleBlinkScan2CAResponse(unsigned int ip, unsigned char portNum,
                                    unsigned char fixtureCount, QVector<quint64> sn);
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
    void connectOrvexSignals();
    void fillPropertyNames();
    void handleDiscover(const char *mac, quint32 ip, quint64 sn, quint16 ver, quint32 uni,
                        const char *verstring, const char *idstring);
    DataSupply *dataSupplyForIp(quint32 ip) const;
    void deleteUnclaimedDataSupplies();

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
    QHash<quint64, QSet<QString>> m_pendingLightReads;
    QHash<quint64, QSet<QString>> m_pendingInterfaceReads;
    QHash<quint64, QList<QList<QPointer<Light>>>> m_caLightLists;
    QHash<quint64, QHash<QString, quint32>> m_interfaceValues;
    QSet<quint64> m_knownIds;
    bool m_readInProgress = false;
    QTimer *m_retryTimer = nullptr;

    // Every interface this engine made, for the clean-up at destruction.
    QList<QPointer<DataSupply>> m_created;
};

#endif // DISCOVERYENGINE_H
