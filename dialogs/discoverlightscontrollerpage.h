#ifndef DISCOVERLIGHTSCONTROLLERPAGE_H
#define DISCOVERLIGHTSCONTROLLERPAGE_H

// Complete types: the signals and slots carry these pointers.
#include "model/datasupply.h"
#include "model/light.h"

#include <QWizardPage>

#include <memory>

namespace Ui {
class DiscoverLightsControllerPage;
}
class MapModel;
class QListWidgetItem;

// The lights wizard's first page: the user picks the map interface whose lights are wanted.
class DiscoverLightsControllerPage : public QWizardPage
{
    Q_OBJECT
public:
    // The chosen uid while none is chosen: the 32-bit all-ones value.
    static constexpr quint64 NoneChosen = 0xFFFFFFFFu;

    explicit DiscoverLightsControllerPage(MapModel *map, QWidget *parent = nullptr);
    ~DiscoverLightsControllerPage() override;

    bool isComplete() const override;

signals:
    void controllerSelectionChanged(DataSupply *ds);

public slots:
    void handleControllerSelectionChanged(QListWidgetItem *item);
    void handleControllerDoubleClicked(QListWidgetItem *item);

private:
    std::unique_ptr<Ui::DiscoverLightsControllerPage> ui;
    MapModel *m_map;
    quint64 m_chosenUid = NoneChosen;
};

#endif // DISCOVERLIGHTSCONTROLLERPAGE_H
