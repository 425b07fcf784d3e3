#ifndef DISCOVERINTERFACESWIZARD_H
#define DISCOVERINTERFACESWIZARD_H

#include <QHash>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QWizard>

#include <memory>

namespace Ui {
class DiscoverInterfaces;
}
class DataSupply;
class DiscoveryEngine;
class EffectEngine;
class MapModel;
class QListWidgetItem;

// Finds the Orvex interfaces on the network and lets the user pick those that join the map.
// The picks join when the wizard closes, by Finish or by Cancel alike: moving an interface to
// the add list is the decision, the closing button is not. A serial number that several
// addresses answered with joins from none of them, and a line under the lists says so.
class DiscoverInterfacesWizard : public QWizard
{
    Q_OBJECT
public:
    DiscoverInterfacesWizard(MapModel *map, EffectEngine *effectEngine, QWidget *parent = nullptr);
    ~DiscoverInterfacesWizard() override;

    DiscoveryEngine *engine() const { return m_engine; }

public slots:
    void refreshButtonClicked();
    void addButtonClicked();
    void removeButtonClicked();
    void finishButtonClicked();
    void handleDiscoveredController(DataSupply *ds);
    void handleDiscoveredPorts(quint64 uid, unsigned int portCount);
    void handleDiscoverSelectionChanged();
    void handleDiscoverDoubleClicked();
    void handleAddDoubleClicked();
    // More interfaces answered than the list holds: the window says so.
    void handleInterfaceLimitReached();

private:
    // Lists ds, or hands its row over to it; false when it stays out of the list.
    bool list(quint64 uid, DataSupply *ds);
    // A new query makes a new object for an interface already listed: its row and its place in
    // the add list go over to that object, which keeps the ports the row shows until its own
    // answer comes.
    void adopt(quint64 uid, DataSupply *ds);
    QString rowText(quint64 uid, const DataSupply *ds) const;
    void showRow(QListWidgetItem *row, quint64 uid, const DataSupply *ds);
    void noteClaimant(quint64 uid, const QString &address);
    // Whether several addresses answered with the serial number: none of them joins the map.
    bool isContested(quint64 uid) const;
    void showContested();
    // A contested row: it stays listed, with its reason, but cannot be chosen.
    void markUnaddable(QListWidgetItem *row, const QString &reason);

    std::unique_ptr<Ui::DiscoverInterfaces> ui;
    DiscoveryEngine *m_engine;
    MapModel *m_map;
    // Guarded: the engine deletes the interfaces nobody took when it goes.
    QHash<quint64, QPointer<DataSupply>> m_discovered;
    QMap<quint64, int> m_rows;
    QHash<quint64, QPointer<DataSupply>> m_chosen;
    QHash<quint64, uint> m_portCounts; // of the interfaces whose ports were reported
    // Every address that answered with a listed serial number, the listed one first.
    QHash<quint64, QStringList> m_claimants;
};

#endif // DISCOVERINTERFACESWIZARD_H
