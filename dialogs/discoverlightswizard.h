#ifndef DISCOVERLIGHTSWIZARD_H
#define DISCOVERLIGHTSWIZARD_H

// Complete types: the signals and slots carry these pointers.
#include "lightdiscoveryrules.h"
#include "model/datasupply.h"
#include "model/light.h"
#include "supplysnapshot.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QWizard>

class DiscoverLightsControllerPage;
class DiscoverLightsDiscoverPage;
class DiscoverLightsLightPage;
class DiscoverLightsReadPage;
class DiscoveryEngine;
class EffectEngine;
class MapModel;
class QProgressDialog;
class WindowTimer;
class SelectionEffect;

// Finds the lights behind one interface of the map and brings them in. Lights reported one by
// one enter the map as they arrive, then have their settings read and their addresses judged
// (read page); lights reported as per-port counts are laid out as strings (light page). Cancel
// takes every light this wizard put into the map out again, and puts the scanned interface and
// the lights it held before back as they were.
class DiscoverLightsWizard : public QWizard
{
    Q_OBJECT
public:
    enum PageId { ControllerPageId = 0, DiscoverPageId = 1, LightPageId = 2, ReadPageId = 3 };
    // The ending pages take turns at this id; the discover page leads to whichever holds it.
    static constexpr int EndingPageId = 3;

    DiscoverLightsWizard(MapModel *map, EffectEngine *effectEngine, SelectionEffect *selection,
                         QWidget *parent = nullptr);
    ~DiscoverLightsWizard() override;

    // Opens the wizard on the discover page with this interface chosen.
    void setController(quint64 uid);

    DiscoveryEngine *engine() const { return m_engine; }
    DataSupply *controller() const { return m_controller; }
    bool isDiscovering() const { return m_completionTimer != nullptr; }
    bool isReading() const { return m_reading; }

public slots:
    void handleControllerSelectionChanged(DataSupply *ds);
    void handleDiscoveryStarting();
    void handleDiscoveryComplete();
    void handleDiscoveredLight(Light *light);
    void handleDiscoveredLights(QList<Light *> &lights);
    // Every counted light of the interface has come: nothing is left to wait for.
    void handleLightCountsComplete(quint64 interfaceUid);
    void handleLightCountsUnsettled(quint64 interfaceUid, const QList<int> &ports);
    void handleLightCountsUnchecked(quint64 interfaceUid, const QList<int> &ports);
    void handleLightCountRound(quint64 interfaceUid, int round);
    void finishButtonClicked();
    void cancelButtonClicked();
    void handleReadAddressesStarting();
    void handleLightDataQueryComplete(quint64 serialNumber);
    // The device stopped answering: the others are read all the same, and the verdict and the
    // box that names every such light come once they are.
    void handleLightDataQueryFailed(quint64 serialNumber);
    void handleProgressDialogCanceled();
    void handleReadStarting();

private:
    void placeCentred(QWidget *parent);
    void connectScan(bool on);
    // Whether a report is of the current run: about the interface it scans.
    bool isOfTheRun(quint64 interfaceUid) const;
    bool isOfTheRun(const Light *light) const;
    void routeTo(QWizardPage *ending);
    void restartCompletionTimer(int ms);
    // Says on every page what the count of the run has come to.
    void showCountNotices();
    void stopDiscovery();
    void cleanUp();
    void recordLight(Light *light);
    void deleteFoundLight(Light *light);
    void readNextLight();
    bool startReadingLight(quint64 uid);
    void expandCells(Light *original);
    // Whether the light's address is not known from this reading: its read failed, or
    // reading was cut short before it ended.
    bool isUnread(quint64 uid) const;
    // cutShort: the user cancelled reading; the lights read so far are judged all the same.
    void judgeAddresses(bool cutShort = false);
    // unread of total lights could not be read (0: none, or reading ended without a verdict).
    void endReading(bool unique, int unread = 0, int total = 0, bool cutShort = false);
    // The engine refused to start a read: reading ends there.
    void failReading(quint64 uid);
    // One box for the reads that failed, led by the refused light when there is one.
    void reportFailedReads(const QString &refused = QString());
    // The light whose read runs, when its serial number is this one.
    Light *lightBeingRead(quint64 serialNumber) const;
    void restoreSupplies();

    DiscoverLightsControllerPage *m_controllerPage;
    DiscoverLightsDiscoverPage *m_discoverPage;
    DiscoverLightsLightPage *m_lightPage;
    DiscoverLightsReadPage *m_readPage;
    QPointer<DataSupply> m_controller; // the interface picked
    // The interface of the current (or last) run: its lights and notices are this one's alone,
    // and the light and read pages name it, whatever is picked meanwhile.
    QPointer<DataSupply> m_scanned;
    WindowTimer *m_completionTimer = nullptr;
    // The count of the run: its round while the lights are counted (-1 else), the ports it
    // could not count and those taken from the interface's only answer.
    int m_countRound = -1;
    QList<LightDiscoveryRules::PortDoubt> m_unsettled;
    QList<int> m_unchecked;
    int m_completionWaitMs = 0;
    MapModel *m_map;
    SelectionEffect *m_selection;
    // Guarded: the map owns these lights once they are in it.
    QHash<quint64, QPointer<Light>> m_discoveredLights;
    // Lights made here for the further cells of multi-cell devices (never read), and the
    // devices already expanded, so that a second reading adds no second set.
    QSet<quint64> m_derived;
    QSet<quint64> m_expanded;
    // The serial numbers of the lights reported in this run, to take a repeated report once.
    QSet<quint64> m_serials;
    QSet<quint64> m_pendingReads;
    // The lights of this reading whose devices stopped answering, by port and serial number.
    QList<QPair<int, quint64>> m_failedReads;
    QSet<quint64> m_failedUids;
    int m_readsStarted = 0;
    bool m_savedLivePlayDisabled = false;
    bool m_reading = false;
    quint64 m_readingUid = 0; // the light whose read runs; 0 between reads
    DiscoveryEngine *m_engine;
    QPointer<QProgressDialog> m_progress;
    // Each interface scanned as it was before the first run on it: reading the interface's
    // values sets its properties, some of which move its lights, and reading the found lights'
    // addresses raises its DMX buffer size, which never shrinks by itself.
    QHash<quint64, SupplySnapshot> m_savedSupplies;
};

#endif // DISCOVERLIGHTSWIZARD_H
