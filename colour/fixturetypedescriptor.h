#ifndef FIXTURETYPEDESCRIPTOR_H
#define FIXTURETYPEDESCRIPTOR_H

#include <QList>
#include <QMap>
#include <QString>

class Profile;

// One fixture type: its colour type (hence channel count), curve type and modes, linked to
// the set-0 profile of the same id.
class FixtureTypeDescriptor
{
public:
    FixtureTypeDescriptor(const QString &name, int colourType, int curveType,
                          const QList<int> &modes, int primaryMode, int secondaryMode);

    void setModeFlag(int mode, bool flag);
    void setProfile(Profile *profile) { m_profile = profile; }

    const QString &name() const { return m_name; }
    Profile *profile() const { return m_profile; }
    int colourType() const { return m_colourType; }
    int curveType() const { return m_curveType; }
    int primaryMode() const { return m_primaryMode; }
    int secondaryMode() const { return m_secondaryMode; }
    const QMap<int, bool> &modeFlags() const { return m_modeFlags; }
    const QList<int> &modes() const { return m_modes; }

private:
    QString m_name;
    Profile *m_profile = nullptr;
    int m_colourType;
    int m_curveType;
    int m_primaryMode;
    int m_secondaryMode;
    QMap<int, bool> m_modeFlags;
    QList<int> m_modes;
};

#endif // FIXTURETYPEDESCRIPTOR_H
