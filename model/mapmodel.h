#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QRect>
#include <QSet>
#include <QString>

#include <vector>

class DataSupply;
class Group;
class Light;
class MapFileReader;
struct LightFrameState;
class QDomElement;
class QDomNode;
class XmlTextWriter;

// Three texts handed to the map loader; every interface the load adds takes them.
struct MapLoadDefaults
{
    QString text1;
    QString text2;
    QString text3;
};

// The in-memory map: owns every interface, light and group, issues uids, reads and writes the
// map file and relays the signals of the objects it owns, so views connect to one object.
class MapModel : public QObject
{
    Q_OBJECT

public:
    MapModel();
    ~MapModel() override;

    Light *light(quint64 uid) const { return m_lights.value(uid, nullptr); }
    Group *group(quint64 uid) const { return m_groups.value(uid, nullptr); }
    DataSupply *dataSupply(quint64 uid) const { return m_dataSupplies.value(uid, nullptr); }
    QHash<quint64, Light *> lights() const { return m_lights; }
    QHash<quint64, Group *> groups() const { return m_groups; }
    QHash<quint64, DataSupply *> dataSupplies() const { return m_dataSupplies; }
    bool isEmpty() const;

    QString imageFile() const { return m_imageFile; }
    void setImageFile(const QString &fileName) { m_imageFile = fileName; }
    QRect mapExtent() const { return m_mapExtent; }
    QRect lightsBoundingRect() const;
    bool isLivePlayDisabled() const { return m_livePlayDisabled; }
    void setLivePlayDisabled(bool disabled) { m_livePlayDisabled = disabled; }
    bool isPostSync() const { return m_postSync; }
    bool isColorCacheEnabled() const { return m_colorCacheEnabled; }
    // Selects the colour-consistency conversion for every light's output. Off unless a caller
    // turns it on; switching empties the shared colour cache, whose entries were converted
    // the other way.
    void setColorCacheEnabled(bool enabled);
    quint64 nextUid();

    // Rises whenever a light enters or leaves the lights table, so holders of resolved light
    // pointers (interface light tables) know when to resolve again.
    quint64 lightGeneration() const { return m_lightGeneration; }
    // Rises only when a light enters the lights table or the whole table goes: a light that
    // leaves alone is reported to the interfaces that list it instead, so the others keep
    // their resolved lights through a run of deletions.
    quint64 lightEntryGeneration() const { return m_lightEntryGeneration; }
    // Every light's frame state, with its uid, in memory order: the frame's walks over all
    // lights go front to back through it instead of in hash order and never touch the rest of
    // a light. Never holds a deleted light: a light that leaves is struck out at the next
    // call, in one pass however many left; any other change of the lights rebuilds it.
    struct FrameOrderEntry
    {
        LightFrameState *state;
        quint64 uid;
    };
    const std::vector<FrameOrderEntry> &lightsInFrameOrder();

    // Lights whose colour may differ from what a canvas last showed, listed by the frame as
    // it goes; a canvas takes the list and so pays only for what changed.
    void listCanvasChange(quint64 uid) { m_canvasChanges.push_back(uid); }
    bool hasCanvasChanges() const { return !m_canvasChanges.empty(); }
    // Lists the lights that no effect reached in this frame and whose canvas shows another
    // colour, for a frame in which an effect stopped painting.
    void listUnpaintedLights();
    const std::vector<quint64> &canvasChanges() const { return m_canvasChanges; }
    std::vector<quint64> takeCanvasChanges()
    {
        std::vector<quint64> taken;
        taken.swap(m_canvasChanges);
        return taken;
    }

    bool loadDataSupply(DataSupply *dataSupply);
    bool loadGroup(Group *group);
    bool loadLight(Light *light);
    bool addDataSupply(DataSupply *dataSupply);
    bool addGroup(Group *group);
    bool addLight(Light *light);
    DataSupply *createDataSupply(int type);

    void deleteLight(quint64 uid);
    void deleteGroup(quint64 gid);
    void deleteDataSupply(quint64 uid, bool withLights);
    bool clearMap();
    void flushChangedGroups();
    QSet<Group *> changedGroups() const { return m_changedGroups; }

    // Brackets a run of many additions (opening a map): the model still announces every
    // object on its own, and between batchStarted and batchFinished a view may merely note
    // them and build its rows in one pass at the end. Batches nest; only the outermost pair
    // is announced.
    void beginBatch();
    void endBatch();
    bool inBatch() const { return m_batchDepth > 0; }

    bool saveMap(const QString &fileName);
    bool loadMap(const QString &fileName, const MapLoadDefaults &defaults);
    bool loadMapElement(const QDomNode &node, MapLoadDefaults defaults);
    // Loads a map file's bytes as loadMap loads the file. xmlParserOnly sends them through the
    // XML parser even where the plain scanner could read them, so the two can be compared.
    bool loadMapData(const QByteArray &bytes, const MapLoadDefaults &defaults,
                     bool xmlParserOnly = false);
    // The text saveMap writes.
    QByteArray mapText();

    // What the map's own part of a frame depends on (the light generation and settings, the
    // options, every interface), appended as words; see DataSupply::appendFrameInputs.
    void appendFrameInputs(std::vector<quint64> *words) const;
    // Sends the last frame's datagrams again, for a frame whose inputs are unchanged. The
    // lights are left as the last frame ended them, which is where they already are.
    void repeatLastFrame();
    // Counts whole frames (updateLights), so interfaces and lights can tell which one they
    // last took part in.
    quint32 frameSerial() const { return m_frameSerial; }
    // Whether a frame may write only these lights, every other byte staying as the last
    // frame left it: each was written by exactly one interface in the last whole frame, and
    // those interfaces take single-light writes. Then updatePreparedLights sends that frame.
    bool prepareLightsOnly(const std::vector<quint64> &uids);
    void updatePreparedLights();

public slots:
    void updateLights();

signals:
    void msg(const QString &s);
    void newDataSupply(quint64 uid);
    void newGroup(quint64 uid);
    void newLight(quint64 uid);
    void newImageFile();
    void updatedDataSupply(quint64 uid);
    void updatedLight(quint64 uid);
    void updatedLightPosition(quint64 uid);
    void updatedLightProperties(quint64 uid);
    void updatedLightProperty(quint64 uid, QString propertyName, QString propertyValue);
    void updatedGroup(quint64 uid);
    void deletedGroup(quint64 uid);
    void deletedLight(quint64 uid);
    void clearedMap();
    void batchStarted();
    void batchFinished();
    void propertiesCompiled();
    void discoveredDataSupply(DataSupply *dataSupply);
    void progressStarted(int min, int max, QString text);
    void progressUpdated(int value);
    void progressTextChanged(QString text);
    void signalSendDmxFrame(QString ip, quint16 startCode, quint16 timerVal, QByteArray dmxData);
    void signalSendBroadcastDmxFrame(quint32 universe, quint16 startCode, quint16 timerVal,
                                     QByteArray dmxData);
    void signalSendPortOut(QString ip, quint32 universe, quint8 port, quint16 flags,
                           quint16 startCode, QByteArray dmxData);
    void signalSendSACNData(QString ip, QByteArray dmxData);
    void signalSendArtNetData(QString ip, QByteArray dmxData);
    void signalSendBroadcastPortOut(quint32 universe, quint8 port, quint16 flags, quint16 startCode,
                                    QByteArray dmxData);
    void signalSendSetValue(QString ipAddress, quint64 serialNumber, QString propertyName,
                            QString propertyValue);
    void signalSendPortOutSync();
    void signalSendBufferByUSBPortIndex(quint64 serialNumber, int portIndex, QByteArray dmxData);

private:
    // Member uid -> uids of the groups that list it, in table order; lets a batch of
    // deletions visit only the groups concerned instead of every group per light.
    using MemberIndex = QHash<quint64, QList<quint64>>;
    MemberIndex memberIndex() const;
    const MemberIndex &cachedMemberIndex();
    QList<Group *> groupsListing(quint64 member, const MemberIndex *index) const;
    void removeLight(quint64 uid, const MemberIndex *index);
    void removeGroup(quint64 gid, const MemberIndex *index);
    void noteLightLeaving(const Light *light);
    void strikeLeftLights();

    void writeMapText(XmlTextWriter &writer);
    void loadDataSupplyElement(const QDomElement &element, const MapLoadDefaults &defaults,
                               QList<quint64> &newDataSupplies);
    // Reads the bytes into the reader; false, with the error announced, for a file that is
    // not a map.
    bool readMapBytes(MapFileReader &reader, const QByteArray &bytes, bool xmlParserOnly);
    bool loadMapRecords(MapFileReader &reader, const MapLoadDefaults &defaults);
    void loadLightRecord(Light *light, QList<quint64> &newLights);
    void loadGroupRecord(Group *group, QList<quint64> &newGroups);
    void growMapExtent(const Light *light);
    void endUnwrittenFrames();

    QHash<quint64, Light *> m_lights;
    QHash<quint64, Group *> m_groups;
    QHash<quint64, DataSupply *> m_dataSupplies;
    // The interfaces in memory order, for frames: the hash is reserved for far more
    // interfaces than a map has, and stepping through its empty buckets three times a frame
    // cost more than the interfaces themselves. Made again after any change of the hash.
    const std::vector<DataSupply *> &interfacesInOrder() const;
    mutable std::vector<DataSupply *> m_interfaceOrder;
    mutable bool m_interfaceOrderValid = false;
    QSet<Group *> m_changedGroups;
    // Who lists each member, kept across single deletions so that deleting many lights one by
    // one does not walk every group each time. Rebuilt after any member or group is added.
    MemberIndex m_memberIndexCache;
    quint64 m_memberIndexGeneration = 0;
    bool m_memberIndexValid = false;
    QString m_imageFile;
    QRect m_mapExtent;
    bool m_livePlayDisabled = false;
    bool m_postSync = false;
    bool m_portOutSyncEnabled = false;
    bool m_colorCacheEnabled = false;
    quint64 m_lightGeneration = 0;
    quint64 m_lightEntryGeneration = 0;
    int m_batchDepth = 0;
    std::vector<FrameOrderEntry> m_frameOrder;
    quint32 m_frameSerial = 0;
    std::vector<std::pair<DataSupply *, LightFrameState *>> m_preparedLights;
    std::vector<quint64> m_canvasChanges;
    quint64 m_frameOrderGeneration = 0;
    bool m_frameOrderValid = false;
    // Frame states of lights that left since the frame order was last made or struck; only
    // compared as addresses, never followed.
    std::vector<const LightFrameState *> m_leftFrameStates;
};
