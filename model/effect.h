#pragma once

#include <QDateTime>
#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class MapModel;

// Base of every effect: the fields all effects share, their XML form and the per-frame entry
// point that the effect engine calls.
class Effect : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int m_begin READ begin WRITE setBegin NOTIFY beginChanged)
    Q_PROPERTY(int m_end READ end WRITE setEnd NOTIFY endChanged)
    Q_PROPERTY(uint m_fadein READ fadeIn WRITE setFadeIn)
    Q_PROPERTY(uint m_fadeout READ fadeOut WRITE setFadeOut)
    Q_PROPERTY(QString m_type READ typeName WRITE setTypeName)

public:
    // Codes of the effect keys, positions 1 to 93 of the key list.
    enum Key {
        KeyEffect = 1,
        KeyType,
        KeyName,
        KeyEid,
        KeyGid,
        KeyTransparency,
        KeyPriority,
        KeyBegin,
        KeyEnd,
        KeyFadeIn,
        KeyFadeOut,
        KeyStartType,
        KeyStartFixedTime,
        KeyStartLinkEid,
        KeyStartLinkStart,
        KeyStartLinkOffset,
        KeyEndType,
        KeyEndFixedTime,
        KeyEndLinkEid,
        KeyEndLinkStart,
        KeyEndLinkOffset,
        KeyEndCycleCount,
        KeyFgColor = 59,
        KeyBgColor = 60,
        KeyLast = 93
    };

    static constexpr quint32 NoId = 4294967295u;

    Effect(MapModel *map, quint64 groupUid);
    ~Effect() override;

    // A frame: render only when asked to, as a frame that repeats the last one needs no colour.
    // Begins the frame first unless startFrame already did.
    void tick(const QDateTime &now, quint32 frame, bool renderFrame = true);
    // Begins the coming frame ahead of tick (see beginFrame), for an engine that looks at
    // the effect in between.
    void startFrame();
    // A number that changes whenever what render() would paint changes, lights aside; false
    // for an effect whose output moves by itself from frame to frame, which is every effect
    // that does not know better.
    virtual bool outputRevision(quint64 *revision) const
    {
        Q_UNUSED(revision);
        return false;
    }
    // Called on an enabled effect before the engine looks at what the frame depends on:
    // whatever moves by itself moves here, so that outputRevision sees it.
    virtual void beginFrame() {}
    // The lights whose colour may differ from the last render's, when the effect knows them
    // (each once); renderLights then paints just those as render() would.
    virtual bool changedLights(std::vector<quint64> *uids) const
    {
        Q_UNUSED(uids);
        return false;
    }
    virtual void renderLights(const std::vector<quint64> &uids) { Q_UNUSED(uids); }

    virtual QDomElement toXml(QDomDocument &document) = 0;
    virtual int typeId() const = 0;
    virtual quint32 defaultCycleTime() const = 0;
    virtual QList<quint64> groups() const;
    virtual void restart();
    virtual void prepare() {}
    virtual void reset() = 0;
    virtual void render() = 0;
    virtual void finish() {}
    virtual void fromXml(QDomElement *element) = 0;

    void saveCommon(QDomElement &element) const;
    void loadCommon(QDomElement *element);

    static void buildKeyTable();
    static int keyCode(const QString &key);

    // The owner writes it directly: the main window copies the live-play flag into it.
    bool enabled = false;

    int begin() const { return m_begin; }
    void setBegin(int begin);
    int end() const { return m_end; }
    void setEnd(int end);
    uint fadeIn() const { return m_fadeIn; }
    void setFadeIn(uint ms) { m_fadeIn = ms; }
    uint fadeOut() const { return m_fadeOut; }
    void setFadeOut(uint ms) { m_fadeOut = ms; }
    QString typeName() const { return m_typeName; }
    void setTypeName(const QString &name) { m_typeName = name; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    quint64 groupUid() const { return m_groupUid; }
    void setGroupUid(quint64 uid) { m_groupUid = uid; }
    double transparency() const { return m_transparency; }
    void setTransparency(double t) { m_transparency = t; }
    quint32 priority() const { return m_priority; }
    void setPriority(quint32 priority) { m_priority = priority; }
    quint32 effectId() const { return m_effectId; }
    void setEffectId(quint32 id) { m_effectId = id; }
    int startType() const { return m_startType; }
    quint32 startLinkEid() const { return m_startLinkEid; }
    quint32 startFixedTime() const { return m_startFixedTime; }
    bool startLinkStart() const { return m_startLinkStart; }
    double startLinkOffset() const { return m_startLinkOffset; }
    int endType() const { return m_endType; }
    quint32 endLinkEid() const { return m_endLinkEid; }
    quint32 endFixedTime() const { return m_endFixedTime; }
    bool endLinkStart() const { return m_endLinkStart; }
    double endLinkOffset() const { return m_endLinkOffset; }
    quint32 endCycleCount() const { return m_endCycleCount; }
    MapModel *model() const { return m_map; }
    QDateTime previousTickTime() const { return m_previousTickTime; }
    QDateTime currentTickTime() const { return m_currentTickTime; }
    quint32 currentFrame() const { return m_currentFrame; }
    QDateTime startTime() const { return m_startTime; }

signals:
    void beginChanged();
    void endChanged();
    void cycleTimeChanged(unsigned int newTime);

protected:
    int m_begin = 0;
    int m_end = 0;
    uint m_fadeIn = 0;
    uint m_fadeOut = 0;
    MapModel *m_map = nullptr;
    QString m_name = QStringLiteral("Unnamed Effect");
    QString m_typeName = QStringLiteral("Generic Effect");
    quint64 m_groupUid = 0;
    double m_transparency = 0.0;
    quint32 m_priority = 0;
    quint32 m_effectId = NoId;
    int m_startType = 0;
    quint32 m_startLinkEid = NoId;
    quint32 m_startFixedTime = 0;
    bool m_startLinkStart = true;
    double m_startLinkOffset = 0.0;
    int m_endType = 0;
    quint32 m_endLinkEid = NoId;
    quint32 m_endFixedTime = 0;
    bool m_endLinkStart = true;
    double m_endLinkOffset = 0.0;
    quint32 m_endCycleCount = 1;
    QDateTime m_previousTickTime;
    QDateTime m_currentTickTime;
    quint32 m_currentFrame = 0;
    QDateTime m_startTime;

private:
    bool m_frameStarted = false;
};
