#ifndef FIXTURETYPETABLE_H
#define FIXTURETYPETABLE_H

#include <QMap>

class FixtureTypeDescriptor;

// Fixture-type id (0..54) to its descriptor. Process-wide, built on first use, never freed.
class FixtureTypeTable
{
public:
    static constexpr int typeCount = 55;

    static FixtureTypeTable *instance();

    // Ids without an entry answer with the descriptor of id 0.
    const FixtureTypeDescriptor *find(int id) const;
    void build();

private:
    FixtureTypeTable() = default;

    QMap<int, FixtureTypeDescriptor *> m_types;
    const FixtureTypeDescriptor *m_byId[typeCount] = {};
};

#endif // FIXTURETYPETABLE_H
