#include "colour/fixturetypetable.h"

#include "colour/fixturetypedescriptor.h"
#include "colour/profiledatabase.h"

#include <QCoreApplication>

namespace {

struct ModeEntry
{
    int mode;
    bool flag;
};

struct FixtureTypeRow
{
    int id;
    int colourType;
    int curveType;
    std::initializer_list<ModeEntry> modes;
    int primaryMode;
    int secondaryMode;
};

const FixtureTypeRow fixtureTypeRows[] = {
    {0, 1, 0, {{0, false}}, 0, 0},
    {1, 2, 1, {{0, true}, {7, true}, {3, false}}, 7, 7},
    {2, 5, 1, {{0, true}, {8, true}, {4, true}}, 8, 8},
    {3, 3, 0, {{2, false}}, 2, 0},
    {4, 4, 0, {{9, false}}, 9, 9},
    {5, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {6, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {7, 1, 1, {{0, true}}, 0, 0},
    {8, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {9, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {10, 1, 1, {{0, true}}, 0, 0},
    {11, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {12, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {13, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {14, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {15, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {16, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {17, 1, 1, {{0, true}}, 0, 0},
    {18, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {19, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {20, 3, 1, {{0, true}, {10, true}, {11, true}}, 10, 10},
    {21, 6, 1, {{12, false}, {14, false}}, 14, 12},
    {22, 3, 1, {{13, false}, {15, false}}, 15, 13},
    {23, 6, 0, {{1, false}}, 1, 0},
    {24, 2, 0, {{3, false}}, 3, 0},
    {25, 3, 0, {{2, false}}, 2, 0},
    {26, 8, 0, {{17, false}, {16, false}}, 17, 17},
    {27, 7, 0, {{16, false}}, 16, 16},
    {28, 8, 0, {{18, false}}, 18, 18},
    {29, 7, 0, {{20, false}}, 20, 20},
    {30, 10, 0, {{19, false}}, 19, 19},
    {31, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {32, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {33, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {34, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {35, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {36, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {37, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {38, 6, 1, {{12, false}, {14, false}}, 14, 12},
    {39, 3, 1, {{13, false}, {15, false}}, 15, 13},
    {40, 11, 0, {{22, false}, {23, false}}, 22, 23},
    {41, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {42, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {43, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {44, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {45, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {46, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {47, 3, 1, {{2, false}}, 2, 0},
    {48, 1, 0, {{0, false}}, 0, 0},
    {49, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {50, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {51, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
    {52, 6, 1, {{0, true}, {5, true}, {1, true}}, 1, 5},
    {53, 3, 1, {{0, true}, {6, true}, {2, true}}, 2, 6},
    {54, 3, 1, {{0, true}, {10, true}, {11, true}}, 11, 10},
};

FixtureTypeTable *s_instance = nullptr;

} // namespace

FixtureTypeTable *FixtureTypeTable::instance()
{
    if (!s_instance) {
        // Published before building: building links the profiles, and creating the profile
        // database asks this table for colour types while it loads.
        s_instance = new FixtureTypeTable;
        s_instance->build();
    }
    return s_instance;
}

const FixtureTypeDescriptor *FixtureTypeTable::find(int id) const
{
    if (id >= 0 && id < typeCount && m_byId[id])
        return m_byId[id];
    const auto it = m_types.constFind(id);
    if (it != m_types.cend())
        return it.value();
    return m_byId[0] ? m_byId[0] : m_types.value(0);
}

void FixtureTypeTable::build()
{
    // Every row goes in before any profile is linked, so the profile database, which converts
    // colours while it loads and so reads this table back, sees the whole table whichever of
    // the two objects was asked for first.
    for (const FixtureTypeRow &row : fixtureTypeRows) {
        QList<int> modes;
        for (const ModeEntry &entry : row.modes)
            modes.append(entry.mode);
        auto *descriptor = new FixtureTypeDescriptor(
            QCoreApplication::translate("FixtureTypeTable", "Fixture type %1").arg(row.id),
            row.colourType, row.curveType, modes, row.primaryMode, row.secondaryMode);
        for (const ModeEntry &entry : row.modes)
            descriptor->setModeFlag(entry.mode, entry.flag);
        m_types.insert(row.id, descriptor);
        if (row.id >= 0 && row.id < typeCount)
            m_byId[row.id] = descriptor;
    }
    for (const FixtureTypeRow &row : fixtureTypeRows) {
        FixtureTypeDescriptor *descriptor = m_types.value(row.id);
        descriptor->setProfile(ProfileDatabase::instance()->profile(row.id, row.colourType, 0));
    }
}
