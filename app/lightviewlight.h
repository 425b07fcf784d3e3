#ifndef LIGHTVIEWLIGHT_H
#define LIGHTVIEWLIGHT_H

#include <QCollator>
#include <QTreeWidgetItem>

class Light;

// The light tree's row of one light: name, 1-based port and 1-based DMX channel.
class LightViewLight : public QTreeWidgetItem
{
public:
    enum { Type = 2003 };

    LightViewLight(QTreeWidgetItem *parent, Light *light);

    Light *light() const { return m_light; }
    quint64 uid() const;
    void refresh();
    int checkedPortNumber() const;
    int checkedDmxChannel() const;

    bool operator<(const QTreeWidgetItem &other) const override;

private:
    Light *m_light;
    QCollator m_collator;
};

#endif // LIGHTVIEWLIGHT_H
