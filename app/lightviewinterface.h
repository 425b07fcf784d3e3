#ifndef LIGHTVIEWINTERFACE_H
#define LIGHTVIEWINTERFACE_H

#include <QTreeWidgetItem>

class DataSupply;

// The light tree's row of one interface; its lights hang under it.
class LightViewInterface : public QTreeWidgetItem
{
public:
    enum { Type = 2002 };

    explicit LightViewInterface(DataSupply *dataSupply);

    DataSupply *dataSupply() const { return m_dataSupply; }
    quint64 uid() const;
    void refresh();
    QString checkedName() const;

    bool operator<(const QTreeWidgetItem &other) const override;

private:
    DataSupply *m_dataSupply;
};

#endif // LIGHTVIEWINTERFACE_H
