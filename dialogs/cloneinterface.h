#ifndef CLONEINTERFACE_H
#define CLONEINTERFACE_H

#include <QDialog>

#include <memory>

namespace Ui {
class CloneInterface;
}
class MapModel;
class QAbstractButton;
class QButtonGroup;

// Copies one interface with all its lights into a row, a column or a grid of copies below
// everything on the canvas. pauseUpdate and updateNow frame each copy, so the canvas redraws
// once per copy instead of once per light.
class CloneInterface : public QDialog
{
    Q_OBJECT
public:
    CloneInterface(quint64 interfaceUid, MapModel *map, QWidget *parent = nullptr);
    ~CloneInterface() override;

signals:
    void pauseUpdate(bool pause);
    void updateNow();

public slots:
    virtual void handleOrderSelected(QAbstractButton *button);
    virtual void handleOkSelected();

private:
    std::unique_ptr<Ui::CloneInterface> ui;
    quint64 m_uid;
    MapModel *m_map;
    QButtonGroup *m_layoutButtons;
};

#endif // CLONEINTERFACE_H
