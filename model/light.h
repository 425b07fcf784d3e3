#ifndef LIGHT_H
#define LIGHT_H

#include "colour/veycolor.h"
#include "model/compactpose.h"
#include "model/lightcolorkey.h"
#include "model/lightframestate.h"
#include "model/lightpose.h"

#include <QCache>
#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class DeviceDictionary;
class MapModel;
class PropertyMapper;
class XmlTextWriter;

// One light of the map: one fixture wired to an output port of an interface. The map model
// owns it; every change is announced by a signal that the map model relays under the same
// name.
class Light : public QObject
{
    Q_OBJECT
public:
    // Codes of the light element's tags, short and long form alike.
    enum Tag {
        TagLight = 1,
        TagName = 2,
        TagDataSupply = 3,
        TagFixtureCode = 4,
        TagFixture = 5,
        TagSelf = 6,
        TagPort = 7,
        TagLightNumber = 8,
        TagX = 9,
        TagY = 10,
        TagZ = 11,
        TagQ0 = 12,
        TagQ1 = 13,
        TagQ2 = 14,
        TagQ3 = 15,
        TagChannel = 16,
        TagSerialNumber = 17,
        TagHueweaveProfileId = 21,
        TagHueweaveIoMode = 22,
        TagProperties = 26,
        TagAdditionalData = 27,
        TagNodeId = 28
    };

    static constexpr quint64 NoSerialNumber = 0xFFFFFFFFu;
    // The largest channel count a light can have, and so the largest "Device Info" footprint.
    static constexpr int MaxChannelsPerColor = 8;

    explicit Light(const QDomElement *element = nullptr);
    ~Light() override;

    // Needs connectToMap first: the interfaces are looked up through the map.
    virtual bool lessThan(const Light *other) const;

    void connectToMap(MapModel *map);
    MapModel *map() const { return m_map; }

    quint64 uid() const { return m_uid; }
    quint64 dataSupplyUid() const { return m_dataSupplyUid; }
    quint8 port() const { return m_hot->port; }
    int dmxChannel() const { return m_hot->dmxChannel; }
    quint32 lastChannel();
    quint32 footprint() const { return m_hot->footprint; }
    quint32 channelsPerColor() const { return m_hot->channelsPerColor; }
    quint32 bytesPerChannel() const { return m_hot->bytesPerChannel; }
    quint64 serialNumber() const { return m_serialNumber; }
    quint32 lightNumber() const { return m_lightNumber; }
    QString name() const { return m_name; }
    QString modelName() const { return m_modelName; }
    quint64 fixture() const { return m_fixture; }
    qint32 fixtureCode() const { return m_fixtureCode; }
    LightPose pose() const { return m_pose.value(); }
    const VeyColor &currentColor() const { return m_hot->currentColor; }
    bool hasCurrentColor() const { return m_hot->currentColor.isValid(); }

    quint32 resolution() const { return m_resolution; }
    quint32 dimmingCurve() const { return m_dimmingCurve; }
    quint32 colorControlMode() const { return m_colorControlMode; }
    quint32 ledChemistry() const { return m_ledChemistry; }
    quint32 whiteInputMode() const { return m_whiteInputMode; }
    int halfFullMode() const { return m_hot->half ? 1 : 0; }
    int hueweaveEnabled() const { return m_hot->hueweaveEnabled ? 4 : 0; }
    qint32 hueweaveProfileId() const { return m_hot->hueweaveProfileId; }
    qint32 hueweaveIoMode() const { return m_hueweaveIoMode; }

    QString property(const QString &name) const { return m_properties.value(name); }
    bool hasProperty(const QString &name) const { return m_properties.contains(name); }
    const QHash<QString, QString> &properties() const { return m_properties; }
    const QHash<QString, QString> &additionalData() const { return m_additionalData; }
    bool hasDmxFootprint() const;

    void setUid(quint64 uid);
    void setDataSupplyUid(quint64 uid);
    void setPort(quint8 port);
    void setDmxChannel(int channel);
    void setSerialNumber(quint64 serialNumber);
    void setLightNumber(quint32 lightNumber);
    void setName(const QString &name);
    void setModelName(const QString &modelName);
    void setFixture(quint64 fixture);
    void setFixtureCode(qint32 fixtureCode);
    void setHueweaveIoMode(quint32 ioMode);
    void setHueweaveProfileId(quint32 profileId);
    void setResolution(quint32 resolution);
    void setDimmingCurve(quint32 curve);
    void setColorControlMode(quint32 mode);
    void setLedChemistry(quint32 chemistry);
    void setWhiteInputMode(int mode);
    void setHalfFullMode(bool half);
    void setHueweaveEnabled(int value);
    void setPose(const LightPose &pose);

    void setProperty(const QString &name, const QString &value);
    bool removeProperty(const QString &name);
    void resetModeProperties();
    void applyProperty(const QString &name);

    void applyDiscovered(const Light *other);
    Light *assignProperties() const;
    void assignNodeId();

    QDomElement toXml(QDomDocument &doc) const;
    // The same element "l" as text, for a map written without a document.
    void writeXml(XmlTextWriter &writer) const;
    void fromXml(const QDomElement *element);
    // fromXml in steps, for a reader that does not hold the element: each child's tag code,
    // the child (needed for the property lists only) and the text of its first child node; then
    // the finish. A light made without an element and read this way equals one made from it.
    void readXmlField(int code, const QDomElement &child, const QString &text);
    void finishXmlRead();
    // One child of the field "properties" or "additional_data": its tag and its text.
    void readXmlProperty(const QString &token, const QString &text);
    void readXmlAdditionalDatum(const QString &tag, const QString &text);
    static void initTagTable();
    static const QHash<QString, int> &tagTable();

    void updateChannelLayout();
    // Makes the next write convert the colour again, as after a change of conversion.
    void forgetRenderedColor();

    // Live output, once per effect-engine frame.
    void applyEffectColor(const VeyColor &color, int priority);
    void writeDmx(quint8 *buffer, int size);
    void endFrame();
    // Bytes writeDmx puts into a port buffer: channels x bytes, doubled in half mode, never
    // more than the cached level block holds.
    int outputByteCount() const;
    // The light's per-frame state, for walkers that run a frame over many lights without
    // touching the rest of each light. Lives exactly as long as the light.
    LightFrameState *frameState() const { return m_hot; }

    // Puts the light on its map's list of lights whose canvas colour may have changed.
    void listCanvasChange();

    // Shared by every light; made by the first light constructed.
    static QCache<LightColorKey, LightLevels> *colorCache();

signals:
    void msg(const QString &text);
    void updatedLight(quint64 uid);
    void updatedLightPosition(quint64 uid);
    void updatedLightProperty(quint64 uid, const QString &propertyName,
                              const QString &propertyValue);

private:
    friend struct LightFrameState;

    void notifyUpdatedLight(quint64 uid);
    void notifyUpdatedLightPosition(quint64 uid);
    void notifyUpdatedLightProperty(quint64 uid, const QString &name, const QString &value);
    void storeModeProperty(const QString &name, quint32 raw);
    void removeUnusedStartupChannels();
    QString renameFromModelProperties();
    void rebuildColorKey();
    void mergeStartupChannel(const QString &name);
    void applyDeviceInfo(const QString &value);
    void readXmlProperties(const QDomElement &element);
    void readXmlAdditionalData(const QDomElement &element);
    // The saved properties and additional data as tag and text, in file order.
    QList<QPair<QString, QString>> xmlPropertyEntries() const;
    QList<QPair<QString, QString>> xmlAdditionalDataEntries() const;
    QStringList propertyTokenCandidates() const;
    void convertCurrentColor();
    void copyModeSettingsTo(Light *copy) const;

    // First, so that it exists before any other initialiser or the XML read touches it.
    LightFrameState *m_hot = LightFrameState::allocate(this);
    quint64 m_uid = 0;
    MapModel *m_map = nullptr;
    QString m_name = QStringLiteral("Default Light");
    quint64 m_dataSupplyUid = 0;
    quint64 m_fixture = 0;
    // Side by side, so that no padding follows either.
    quint32 m_lightNumber = 0;
    qint32 m_fixtureCode = 0;
    CompactPose m_pose;
    quint32 m_dimmingCurve = 0;
    quint32 m_resolution = 1;
    quint32 m_colorControlMode = 0;
    quint32 m_ledChemistry = 0;
    QString m_modelName;
    QHash<QString, QString> m_properties;
    QHash<QString, QString> m_additionalData;
    quint64 m_serialNumber = NoSerialNumber;
    qint32 m_hueweaveIoMode = 0;
    quint32 m_whiteInputMode = 1;
    LightColorKey m_colorKey;
};

#endif // LIGHT_H
