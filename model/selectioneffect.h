#pragma once

#include "colour/veycolor.h"
#include "model/effect.h"
#include "model/group.h"
#include "model/mapmodel.h"

#include <QHash>
#include <QSet>

#include <array>
#include <vector>

// Shows the lights selected in the views in the foreground colour and every other light in the
// background colour, and can step a highlight through the chase steps of a group.
class Light;
struct LightFrameState;

class SelectionEffect : public Effect
{
    Q_OBJECT
    Q_PROPERTY(VeyColor m_fgColor READ fgColor WRITE setFgColor)
    Q_PROPERTY(VeyColor m_bgColor READ bgColor WRITE setBgColor)

public:
    static constexpr int TypeId = 17;
    static constexpr int ReservedLights = 15000;

    SelectionEffect(MapModel *map, quint64 groupUid, QDomElement *element = nullptr);

    QDomElement toXml(QDomDocument &document) override;
    int typeId() const override { return TypeId; }
    quint32 defaultCycleTime() const override { return 1000; }
    void reset() override;
    void beginFrame() override;
    void render() override;
    bool outputRevision(quint64 *revision) const override;
    bool changedLights(std::vector<quint64> *uids) const override;
    void renderLights(const std::vector<quint64> &uids) override;
    void fromXml(QDomElement *element) override;
    // Keeps the effect's table in step with the map's lights: lights added, changed and
    // deleted, and the map cleared.
    void followMap();

    VeyColor fgColor() const { return m_fgColor; }
    VeyColor bgColor() const { return m_bgColor; }
    void setFgColor(const VeyColor &color);
    void setBgColor(const VeyColor &color);

    bool isHighlighting() const { return m_highlighting; }
    int highlightStep() const { return m_highlightStep; }
    bool hasEntry(quint64 uid);
    bool isLightSelected(quint64 uid);
    int entryCount();
    // True while Select All or a clear announces its lights one by one; a view that takes
    // the whole change from lightsSelectionChangedInBulk may skip those announcements.
    bool isAnnouncingInBulk() const { return m_announcingInBulk; }

signals:
    void lightSelectionChanged(quint64 uid, bool s);
    // Sent after the lights' own announcements: all of them took the selection state s.
    void lightsSelectionChangedInBulk(const QSet<quint64> &uids, bool s);

public slots:
    void handleNewLight(quint64 uid);
    void handleUpdatedLight(quint64 uid);
    void handleDeletedLight(quint64 uid);
    void handleClearedMap();
    void setLightSelected(quint64 uid, bool s);
    void setGroupSelected(quint64 groupUid, bool s);
    void setDataSupplySelected(quint64 interfaceUid, bool s);
    void highlightGroup(quint64 groupUid);
    void clearSelection();
    void selectAll();

private:
    void ensureTable();
    void followGeneration();
    void setEntry(quint64 uid, bool s);
    void announce(quint64 uid, bool s);
    void showHighlightStep();
    const VeyColor &colorFor(const VeyColor &current, bool selected);
    void noteChanged(quint64 uid);
    void noteAllChanged();
    void forgetChanges();

    // The selection colours already carried into one N-channel colour space of the lights.
    struct SpaceColors
    {
        quint32 colorType = 0;
        quint32 profileId = 0;
        bool profileSetFlag = false;
        quint32 channelCount = 0;
        VeyColor fg;
        VeyColor bg;
    };
    const SpaceColors &spaceColorsFor(const VeyColor &current);
    void forgetSpaceColors();

    VeyColor m_fgColor;
    VeyColor m_bgColor;
    bool m_highlighting = false;
    bool m_hasHighlightSteps = false;
    GroupLightMatrix m_highlightSteps;
    int m_highlightStep = 0;

    // Every known light, and the subset that is selected. The table is rebuilt from the map
    // lazily: a reset only marks it stale, so a burst of light updates costs one rebuild.
    QSet<quint64> m_entries;
    QSet<quint64> m_selected;
    bool m_tableStale = false;
    bool m_announcingInBulk = false;
    // Lights whose last lightSelectionChanged said true: during a highlight only these need
    // telling that they are deselected, which keeps the views' state without a signal per
    // light per frame.
    QSet<quint64> m_shownSelected;
    QVector<SpaceColors> m_spaceColors;
    // Where each colour space's entry was last found, by a hash of the space: lights of a few
    // kinds take turns in a frame, and each finds its entry without a search.
    std::array<int, 32> m_spaceSlots;

    // Whether each light of the map's frame order is selected; follows every change of the
    // selection and of the map's lights.
    void refreshSelectedFlags(const std::vector<MapModel::FrameOrderEntry> &order);
    std::vector<quint8> m_selectedFlags;
    // Lights whose selection may have changed since the last render, unless there were too
    // many to list or everything may have changed.
    static constexpr size_t MaxListedChanges = 4096;
    std::vector<quint64> m_changed;
    bool m_changedUnknown = true;
    quint64 m_selectionVersion = 0;
    quint64 m_selectedFlagsVersion = 0;
    quint64 m_selectedFlagsGeneration = 0;
    // The map's light generation the entries were last known to match (the table rebuilt, or
    // a new or deleted light taken in); 0 when unknown.
    quint64 m_entriesGeneration = 0;
    bool m_selectedFlagsValid = false;
};
