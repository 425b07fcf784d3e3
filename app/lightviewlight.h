#ifndef LIGHTVIEWLIGHT_H
#define LIGHTVIEWLIGHT_H

#include <QCollatorSortKey>
#include <QTreeWidgetItem>

#include <unordered_map>

class Light;
class LightViewLight;

// The name sort keys of the rows a sort is comparing. A whole sort compares keys instead of
// collating each pair, but no row keeps its key afterwards: kept, a key cost nearly as much as
// its row. Only rows of one parent are ever compared with each other, so the keys of the
// previous sibling list go when the next one starts.
class LightNameKeys
{
public:
    // Between start and finish, keys are made on first use and kept.
    void start() { m_active = true; }
    void finish();
    bool less(const LightViewLight &a, const LightViewLight &b);

private:
    // The collator puts an empty name before any other, even one of only ignorable
    // characters, whose key equals the empty name's; the flag keeps that rule.
    struct Key
    {
        QCollatorSortKey key;
        bool empty;
    };
    const Key &keyOf(const LightViewLight &row);

    std::unordered_map<const LightViewLight *, Key> m_keys;
    const QTreeWidgetItem *m_parent = nullptr;
    bool m_active = false;
};

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
    int checkedPortNumber() const;
    int checkedDmxChannel() const;

    QVariant data(int column, int role) const override;
    bool operator<(const QTreeWidgetItem &other) const override;
    // By name through the collator, as a sort orders rows; for a single comparison outside a
    // sort.
    bool nameLessThan(const LightViewLight &other) const;

private:
    int portNumber() const;
    int dmxChannelNumber() const;

    Light *m_light;
};

#endif // LIGHTVIEWLIGHT_H
