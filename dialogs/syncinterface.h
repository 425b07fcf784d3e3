#ifndef SYNCINTERFACE_H
#define SYNCINTERFACE_H

#include "syncrules.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QSet>

#include <memory>

namespace Ui {
class SyncInterface;
}
class DataSupply;
class DeviceDictionary;
class DiscoveryEngine;
class EffectEngine;
class Light;
class MapModel;
class QProgressDialog;
class WindowTimer;

// Brings a map in line with the network: the map's interfaces meet the discovered ones (by
// IPv4 address or serial number) and take their data and ports, then the lights behind them
// meet the discovered lights (by DMX address or serial number) and take theirs; the lights of
// the matched interfaces are renamed and renumbered, and overlapping DMX channels are reported.
//
// Every copy is whole: interfaces take their identity and ports when the interface window
// ends, once every answer is in (ports only from a port reply), a light its data only once it
// has been read completely, a multi-cell device all its cells at once. A sync that is
// cancelled or waits on a silent device keeps what was copied so far and nothing half-done.
// The report names, besides the conflicts, every light whose read failed, every map light that
// no scan reported, every one whose serial number answered elsewhere, every interface asked
// that did not answer, every one that could not be matched, and every matched one whose serial
// number other addresses answered with.
class SyncInterface : public QDialog
{
    Q_OBJECT
public:
    // interfaceUids: the interfaces the sync covers (those the light tree shows).
    SyncInterface(MapModel *map, EffectEngine *effectEngine, const QList<quint64> &interfaceUids,
                  QWidget *parent = nullptr);
    ~SyncInterface() override;

    DiscoveryEngine *engine() const { return m_engine; }

    void done(int result) override;

public slots:
    void handleDiscoveryComplete();
    void handleDiscoveredLight(Light *light);
    void handleLightDataReadComplete(quint64 serialNumber);
    void handleCancelClicked();
    void handleDiscoveredLights(QList<Light *> &list);
    void handleDiscoveredController(DataSupply *ds);
    void handleSyncButtonClicked();
    void handleControllerDiscoveryTimeout();
    void handleDiscoveredPorts(quint64 uid, unsigned int portCount);
    // The device stopped answering: the light is passed over, as one whose read is refused.
    void handleLightDataReadFailed(quint64 serialNumber);
    void handleLightCountsComplete(quint64 interfaceUid);

private:
    QString interfaceKey(const DataSupply *ds) const;
    void buildInterfaceIndex();
    quint64 mapUidOf(quint64 discoveredUid) const { return m_uidMap.value(discoveredUid); }
    // Matches the interfaces that answered within the window with those of the map.
    void matchInterfaces();
    void copyInterface(const DataSupply *from, DataSupply *to);
    // Where a discovered light answered: its serial number was reported on its interface.
    void noteAnswer(const Light *discovered);
    void buildLightIndex();
    void startLightDiscovery();
    void syncChainedAddresses(const DataSupply *ds, const QList<Light *> &list);
    void syncReadLight(Light *discovered);
    // Ends the interface's light window (timer: its window's timer, when it still runs) and
    // lets its lights be read after the pause.
    void closeLightWindow(quint64 interfaceUid, WindowTimer *timer);
    // Starts the next read of every interface whose lights may be read and that reads none.
    void readPendingLights();
    void readNextLight(quint64 interfaceUid);
    // A pending light of the interface whose serial number no running read holds: the engine
    // reads one light of a serial number at a time, and a second read would end the first.
    Light *nextLightToRead(quint64 interfaceUid) const;
    void endLightWindow(quint64 interfaceUid);
    void passOver(Light *light);
    // Takes the light off the lights still to be read, leaving it with the engine.
    void forgetPending(Light *light);
    // The light whose running read has that serial number, no longer counted as being read;
    // null when no read of that serial number runs.
    Light *takeLightBeingRead(quint64 serialNumber);
    bool lightsOutstanding() const;
    void checkEnd();
    // Ends the sync from the event loop, never from inside an engine signal: the engine goes.
    void scheduleCompletion();
    void completeSync();
    void finish();
    QList<SyncRules::ConflictEntry> renameAndCheck();
    // What the sync did not reach; after the renaming, so that lights go by their new names.
    SyncRules::SyncGaps gaps() const;
    // The map lights of the matched interfaces left unmatched: those whose serial number no
    // scan reported, and those whose serial number answered elsewhere; the counterparts of
    // failed reads are named as such.
    void addUnmatchedLights(SyncRules::SyncGaps &gaps) const;
    // Pauses the effect engine for the dialog's life and returns whether it was paused.
    static bool holdEffects(EffectEngine *effects);
    void releaseEffects();

    std::unique_ptr<Ui::SyncInterface> ui;
    MapModel *m_map;
    DeviceDictionary *m_dictionary;
    QList<quint64> m_interfaceUids;
    // Live output stays off until the report is read, after the engine has gone.
    QPointer<EffectEngine> m_effects;
    bool m_effectsWerePaused;
    DiscoveryEngine *m_engine;
    QProgressDialog *m_progress = nullptr;
    WindowTimer *m_controllerTimer = nullptr;

    bool m_matchByAddress = true;
    bool m_ending = false;
    SyncLightIndex m_lightIndex;
    QHash<quint64, QSet<Light *>> m_pendingLights;
    // The light each interface is reading (one at a time), and the interfaces whose lights may
    // be read (their window and the pause after it are over); by discovered interface uid.
    QHash<quint64, Light *> m_reading;
    QSet<quint64> m_readable;
    QHash<quint64, WindowTimer *> m_lightTimers;
    // Interfaces whose ports are all counted (port type 3): their window closes once their
    // counted lights are complete.
    QSet<quint64> m_closeOnCounts;
    // By map interface: ports (0-based) whose lights its scan could not count, and why.
    QMap<quint64, QMap<int, CountAnswers::Doubt>> m_uncountedPorts;
    QHash<QString, QPointer<DataSupply>> m_interfaceIndex;
    // Map interfaces that another with the same key took out of the index: never matched.
    QList<quint64> m_shadowedInterfaces;
    QList<QPointer<DataSupply>> m_interfacesToScan;
    QList<quint64> m_matchedInterfaces;
    QList<QPointer<DataSupply>> m_discovered;
    // By discovered uid: the map interface it matched, and the discovered interface scanned
    // and read for it (its uid is its serial number, which another address may answer with).
    QHash<quint64, quint64> m_uidMap;
    QHash<quint64, QPointer<DataSupply>> m_scanned;
    // The addresses that answered with each serial number, and the discovered interfaces whose
    // ports were reported (by uid): matching waits for the end of the window.
    QHash<quint64, QStringList> m_claims;
    QSet<quint64> m_portsReported;
    // Map interfaces whose counterpart's serial number answered from several addresses: by
    // serial number left unmatched (every claimant), by address matched (the other claimants).
    struct Contest
    {
        quint64 serial = 0;
        QStringList addresses;
    };
    QHash<quint64, Contest> m_contested;
    // By map interface: the light serial numbers its scans reported, and where each answered.
    QHash<quint64, QSet<quint64>> m_reportedSerials;
    QHash<QPair<quint64, quint64>, QList<SyncRules::Address>> m_answeredAt;
    // The serial numbers that the renaming replaced, by light uid.
    QHash<quint64, quint64> m_serialsBefore;
    // Lights whose read failed: the map interface and port, and the map light when known.
    struct UnreadLight
    {
        quint64 interfaceUid = 0;
        int port = 0;
        quint64 serial = 0;
        QPointer<Light> counterpart;
    };
    QList<UnreadLight> m_unread;
};

#endif // SYNCINTERFACE_H
