#ifndef LIGHTVIEWLIGHT_H
#define LIGHTVIEWLIGHT_H

#include <QCollatorSortKey>
#include <QTreeWidgetItem>

#include <optional>

class Light;

// The light tree's row of one light: name, 1-based port and 1-based DMX channel. The texts are
// read from the light when asked for, not copied into the row: a large map holds hundreds of
// thousands of rows, and a copy of three texts and an icon per row is most of their memory.
class LightViewLight : public QTreeWidgetItem
{
public:
    enum { Type = 2003 };

    // Without a parent the row waits outside the tree until a batch places it.
    explicit LightViewLight(Light *light, QTreeWidgetItem *parent = nullptr);
    LightViewLight(QTreeWidgetItem *parent, Light *light) : LightViewLight(light, parent) {}

    Light *light() const { return m_light; }
    quint64 uid() const;
    // Forgets what the row derived from the light's texts, which may have changed. The tree
    // announces the change to its view: that costs a search for the row among its siblings,
    // which a batch of changes spares.
    void refresh();
    int checkedPortNumber() const;
    int checkedDmxChannel() const;

    QVariant data(int column, int role) const override;
    bool operator<(const QTreeWidgetItem &other) const override;

private:
    // The name's sort key, made on the first comparison by name and dropped when the name may
    // have changed: a sort then compares keys instead of running the collation per pair. The
    // collator puts an empty name before any other, even one of only ignorable characters,
    // whose key equals the empty name's; the flag keeps that rule.
    struct SortName
    {
        QCollatorSortKey key;
        bool empty;
    };
    const SortName &sortName() const;
    int portNumber() const;
    int dmxChannelNumber() const;

    Light *m_light;
    mutable std::optional<SortName> m_sortName;
};

#endif // LIGHTVIEWLIGHT_H
