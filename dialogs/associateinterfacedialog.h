#ifndef ASSOCIATEINTERFACEDIALOG_H
#define ASSOCIATEINTERFACEDIALOG_H

#include <QDialog>
#include <QHash>
#include <QMap>
#include <QPointer>

#include <memory>

namespace Ui {
class AssociateInterfaceDialog;
}
class DataSupply;
class DiscoveryEngine;
class EffectEngine;
class MapModel;

// Moves the lights of one of the map's interfaces onto an interface found on the network; the
// old interface then leaves the map. The light tree follows through lightMoved and
// interfaceRemoved, since moving a light between interfaces is not a change the map reports.
class AssociateInterfaceDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *ShowAssociatedKey =
        "/AssociateInterfaceDialog/showassociatedinterfaces";

    AssociateInterfaceDialog(MapModel *map, EffectEngine *effectEngine, DataSupply *interface,
                             QWidget *parent = nullptr);
    ~AssociateInterfaceDialog() override;

    DiscoveryEngine *engine() const { return m_engine; }

signals:
    void lightMoved(quint64 lightUid, quint64 interfaceUid);
    void interfaceRemoved(quint64 interfaceUid);

public slots:
    void refreshButtonClicked();
    void okButtonClicked();
    void handleDiscoverSelectionChanged();
    void handleDiscoveredController(DataSupply *ds);
    void handleDiscoveredPorts(quint64 uid, unsigned int portCount);

private:
    DataSupply *takeTarget(quint64 uid);
    void moveLights(DataSupply *target);

    std::unique_ptr<Ui::AssociateInterfaceDialog> ui;
    MapModel *m_map;
    QPointer<DataSupply> m_selected;
    DiscoveryEngine *m_engine;
    QHash<quint64, QPointer<DataSupply>> m_found;
    QMap<quint64, int> m_rows;
};

#endif // ASSOCIATEINTERFACEDIALOG_H
