#ifndef CREATEGROUPDIALOG_H
#define CREATEGROUPDIALOG_H

#include <QDialog>
#include <QList>

#include <QPointF>
#include <memory>

class Light;
class MapModel;
namespace Ui {
class CreateGroup;
}
class QButtonGroup;
class QRadioButton;

// Makes a chasing group of the lights selected on the canvas, in their click order or swept
// from a start position, optionally with one synchronized subgroup per line. The ordering
// and naming rules live in GroupBuilder.
class CreateGroupDialog : public QDialog
{
    Q_OBJECT
public:
    CreateGroupDialog(MapModel *map, QList<quint64> clickOrder, bool selectAll, QWidget *parent);
    ~CreateGroupDialog() override;

    // (u, v) of light for start position start, over the bounding box of the click order.
    QPointF rotatedPosition(int start, const Light *light) const;

public slots:
    void handleOkButtonClicked();

private:
    int checkedStart() const;

    std::unique_ptr<Ui::CreateGroup> ui;
    MapModel *m_map;
    QList<quint64> m_clickOrder;
    bool m_selectAll;
    QList<QRadioButton *> m_startButtons; // in start-position order
};

#endif // CREATEGROUPDIALOG_H
