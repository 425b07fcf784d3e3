#pragma once

#include "model/dmxport.h"
#include "model/interfaceframeoutput.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QRect>
#include <QSet>
#include <QString>
#include <QVector>
#include <QtNetwork/QHostAddress>

#include <vector>

class QDomDocument;
class QDomElement;
class QMetaMethod;
class XmlTextWriter;
class DeviceDictionary;
class Light;
struct LightFrameState;
class MapModel;
class PropertyMapper;

// One interface of the map: an Orvex controller or power/data supply, or a streaming-protocol
// output, with numbered ports of one DMX universe each and the uids of the lights wired to it.
// Aligned to a cache line, so that the lines prefetchFrameFields asks for are the object's
// first ones wherever the heap puts it.
class alignas(64) DataSupply : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxPorts = 255;

    explicit DataSupply(int type, QDomElement *element = nullptr);
    ~DataSupply() override;

    static void initTagTable();
    // The interface types a map file's record may name: an Orvex interface by address (2) or
    // by broadcast (3), and the two streaming outputs (6, 7).
    static bool isLoadableType(int type);

    bool connectToMap(MapModel *map);
    MapModel *map() const { return m_map; }
    virtual bool lessThan(const DataSupply *other) const;

    int type() const { return m_type; }
    quint64 uid() const { return m_uid; }
    void setUid(quint64 uid) { m_uid = uid; }
    QString name() const { return m_name; }
    void setName(const QString &name);
    quint64 serialNumber() const { return m_serialNumber; }
    void setSerialNumber(quint64 serial) { m_serialNumber = serial; }
    QString ipAddress() const;
    // Inline so the model itself needs no network library; callers that hold a QHostAddress
    // link it anyway.
    void setIpAddress(const QHostAddress &address)
    {
        setIpAddressText(address.isNull() ? QString() : address.toString());
    }
    // Dotted IPv4 text; anything else counts as the null address.
    void setIpAddressText(const QString &text);
    // The address as a host-order number, 0 when there is none.
    quint32 ipv4Value() const { return m_ipv4; }
    bool hasIpAddress() const { return m_hasIpAddress; }
    QString macAddress() const { return m_macAddress; }
    void setMacAddress(const quint8 *mac);
    bool isMissing() const { return m_missing; }
    void setMissing(bool missing) { m_missing = missing; }
    quint32 universe() const { return m_universe; }
    void setUniverse(quint32 universe) { m_universe = universe; }
    quint16 protocolVersion() const { return m_protocolVersion; }
    void setProtocolVersion(quint16 version) { m_protocolVersion = version; }
    QString versionString() const { return m_versionString; }
    void setVersionString(const QString &text) { m_versionString = text; }
    void setVersionString(const char *text);
    QString family() const { return m_family; }
    void setFamily(const QString &text) { m_family = text; }
    void setFamily(const char *text);
    int dmxBufSize() const { return m_dmxBufSize; }
    bool isCloneable() const { return true; }

    // Filled from the map loader's defaults; nothing in the interface reads them.
    QString auxiliaryAddress() const { return m_auxAddress; }
    void setAuxiliaryAddress(const QString &text) { m_auxAddress = text; }
    QString auxiliaryText1() const { return m_auxText1; }
    void setAuxiliaryText1(const QString &text) { m_auxText1 = text; }
    QString auxiliaryText2() const { return m_auxText2; }
    void setAuxiliaryText2(const QString &text) { m_auxText2 = text; }

    // Ports
    quint8 portCount() const { return quint8(m_ports.size()); }
    void setPortCount(quint8 count);
    quint8 portNumber(int index) const;
    void setPortNumber(int index, quint8 number);
    quint8 portType(int index) const;
    void setPortType(int index, quint8 type);
    quint16 portStartCode(int index) const;
    quint32 portFlags(int index) const;
    void setPortFlags(int index, quint32 flags);
    int portUsedSize(int index) const;
    QByteArray portBuffer(int index) const;
    // Entry (port number - 1) holds the index of the port bearing that number.
    QVector<quint8> portIndexTable() const { return m_portIndex; }
    void rebuildPortIndex();
    // Takes the other interface's port count, port numbers and types, and its port index.
    void copyPortsFrom(const DataSupply &other);
    bool allPortsType3() const;
    void updateBufferSizes();

    // Everything of the interface itself that its frames depend on, appended as words: two
    // calls give equal words only when a frame would send what the one before sent, given
    // equal lights and colours.
    void appendFrameInputs(std::vector<quint64> *words) const;
    // A frame walks every interface, and over many of them it would wait on memory for each:
    // the walk asks ahead for the interface's own fields, and a little later (once those
    // arrived) for what they point at.
    static constexpr int FrameFieldLines = 4;
    void prefetchFrameFields() const
    {
#if defined(__GNUC__)
        const char *self = reinterpret_cast<const char *>(this);
        for (int line = 0; line < FrameFieldLines; ++line)
            __builtin_prefetch(self + 64 * line);
#endif
    }
    void prefetchFrameData() const;

    // Lights
    QList<quint64> lights() const
    {
        return m_lightUids;
    }
    QList<Light *> lightObjects() const;
    void rebuildLightMap();
    // The map calls this for every light that leaves it: resolved lights are dropped only
    // when this interface lists the light.
    void forgetLeavingLight(quint64 uid);
    int lastChannelOnPort(quint8 port);
    void renumberLights();
    QRect boundingRect() const;

    // Properties
    QString property(const QString &name) const
    {
        return m_properties.value(name);
    }
    bool hasProperty(const QString &name) const
    {
        return m_properties.contains(name);
    }
    QHash<QString, QString> properties() const
    {
        return m_properties;
    }
    void setProperty(const QString &name, const QString &value);
    quint32 dmxAddress() const;
    QString sftVersion() const;
    void copyProperties(const DataSupply *other);
    // Puts back properties the interface had before, as a whole: unlike setProperty it moves no
    // light, since the lights are put back on their own.
    void restoreProperties(const QHash<QString, QString> &properties);

    // Returns the copy that was added to the map, or null without a map.
    DataSupply *cloneWithLights(int x, int y);

    // Map file element "c"
    void toXml(QDomElement *element, QDomDocument *document) const;
    // The same element "c" as text, for a map written without a document.
    void writeXml(XmlTextWriter &writer) const;
    void fromXml(QDomElement *element);

public slots:
    void addLight(quint64 uid);
    void removeLight(quint64 uid);
    void setDMXBufSize(int size);
    // Puts the size back to one it had before, smaller or not: setDMXBufSize only grows it.
    void restoreDMXBufSize(int size)
    {
        m_dmxBufSize = size;
    }
    bool updateLights();
    // How many lights the last updateLights wrote that no interface had written before it in
    // the same map frame.
    quint32 lightsFirstWritten() const
    {
        return m_output.firstWrites;
    }
    // Sends what the last updateLights sent, as it sent it; for a frame in which nothing the
    // output depends on has changed (see appendFrameInputs).
    void repeatLastFrame();
    // Whether the last whole frame left this interface so that lights can be written one by
    // one: it was this map frame's, and no two lights share a byte.
    bool takesSingleLightWrites() const;
    // Writes just these lights (written by this interface in the last whole frame) over the
    // last frame's bytes and sends the frame.
    void rewriteLights(LightFrameState *const *states, size_t count);
    void lightsOn();
    void lightsOff();

signals:
    void msg(const QString &s);
    void updatedDataSupply(quint64 uid);
    void updatedDataSupplyProperty(quint64 uid, QString name, QString value);
    void updatedLightProperty(quint64 uid, QString propertyName, QString propertyValue);
    void signalSendDmxFrame(QString ip, quint16 startCode, quint16 timerVal, QByteArray dmxData);
    void signalSendBroadcastDmxFrame(quint32 universe, quint16 startCode, quint16 timerVal,
                                     QByteArray dmxData);
    void signalSendPortOut(QString ip, quint32 universe, quint8 port, quint16 flags,
                           quint16 startCode, QByteArray dmxData);
    void signalSendBroadcastPortOut(quint32 universe, quint8 port, quint16 flags, quint16 startCode,
                                    QByteArray dmxData);
    void signalSendSACNData(QString ip, QByteArray dmxData);
    void signalSendArtNetData(QString ip, QByteArray dmxData);
    void signalSendBufferByUSBPortIndex(quint64 serialNumber, int portIndex, QByteArray dmxData);
    void signalSendSetValue(QString ipAddress, quint64 serialNumber, QString propertyName,
                            QString propertyValue);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    bool lightTableCurrent() const;
    void sendDmxFrame(const QString &ip, const QByteArray &data);
    void sendPortOut(const QString &ip, const DmxPort &port, const QByteArray &data);
    void invalidateLightTable();
    int portIndexOfLight(const Light *light) const;
    // Inline: the frame asks it for every light.
    int portIndexOfPort(int port) const
    {
        if (port >= m_portIndex.size())
            return -1;
        const int index = m_portIndex[port];
        return index < portCount() ? index : -1;
    }
    void sendLevels(quint8 level);
    void emitFrames(bool rebuild);
    void readPortList(const QDomElement &list);
    void readProperties(const QDomElement &element);
    void writeProperties(QDomElement &parent, QDomDocument *document) const;
    // The saved properties as tag and text, in file order.
    QList<QPair<QString, QString>> propertyEntries() const;
    void moveLightChannels(const QString &name, const QString &value, quint32 base);

    // What every frame reads comes first, up to m_ipText, so that a frame over many interfaces
    // loads a few adjacent lines of each (see prefetchFrameFields). A field the frame reads
    // belongs here and in the check beside prefetchFrameData, which names each one.
    int m_type;
    quint16 m_protocolVersion = 1;
    bool m_hasIpAddress = false;
    bool m_missing = false;
    quint64 m_uid = 0xFFFFFFFF;
    quint32 m_ipv4 = 0;
    quint32 m_universe = 0;
    MapModel *m_map = nullptr;
    std::vector<DmxPort> m_ports;
    QVector<quint8> m_portIndex;
    // The same lights' frame states as m_lightTable, in the same order: the frame walks only
    // these.
    std::vector<LightFrameState *> m_frameTable;
    bool m_lightTableValid = false;
    quint64 m_lightTableGeneration = 0;
    // Drawn from one process-wide count on every change of the light list, so no two lists
    // ever share a value, not even those of an interface deleted and one made in its place.
    quint64 m_lightListRevision = 0;
    InterfaceFrameOutput m_output;
    // While the map's own forwarding is all that listens to the frame signals, a frame emits
    // the map's signals itself: this interface's connection lists, cold at every interface of
    // a large frame, are then never read. Once anything else listens it stays off.
    bool m_sendsThroughMap = false;
    bool m_framesHaveOtherListeners = false;
    bool m_connectingToMap = false;
    QString m_ipText = QStringLiteral("0.0.0.0");

    QString m_name = QStringLiteral("New DataSupply");
    quint64 m_serialNumber = 0xFFFFFFFF;
    QString m_macAddress = QStringLiteral("FF:FF:FF:FF:FF:FF");
    QString m_versionString;
    QString m_family;
    int m_dmxBufSize = 12;
    QString m_auxAddress = QStringLiteral("0.0.0.0");
    QString m_auxText1;
    QString m_auxText2;

    QList<quint64> m_lightUids;
    QSet<quint64> m_lightUidSet; // keeps duplicate checks constant-time on big interfaces
    // Resolved lights; trusted while no light entered the map (one may resolve a listed uid)
    // and none that this interface lists left it (forgetLeavingLight).
    std::vector<Light *> m_lightTable;

    QHash<QString, QString> m_properties;
    PropertyMapper *m_propertyMapper = nullptr;
    DeviceDictionary *m_deviceDictionary = nullptr;
};
