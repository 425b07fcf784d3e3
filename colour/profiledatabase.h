#ifndef PROFILEDATABASE_H
#define PROFILEDATABASE_H

#include <QMap>

class Profile;
class QIODevice;

// The fixture colour-profile database: per profile id (a fixture-type id) two value sets.
// Filled from a built-in table, then from ":/FixtureProfiles.xml". Process-wide, never freed.
class ProfileDatabase
{
public:
    static constexpr int builtInCount = 55;

    static ProfileDatabase *instance();

    // Never null. colourType is only read for id 0; set is 0 or 1 (anything else reads set 1).
    Profile *profile(int id, int colourType, int set);

    void load();
    // Reads profile XML into the database; load() uses it for the resource. Returns the
    // reader's result.
    bool readProfiles(QIODevice *device);

private:
    ProfileDatabase();
    Profile *createProfile(int id, int set);

    QMap<int, Profile *> m_sets[2];
    // Ids 0..54 are asked for on every conversion; this spares them the map lookup.
    Profile *m_builtIn[2][builtInCount] = {};
};

#endif // PROFILEDATABASE_H
