#include "colour/fixturetypedescriptor.h"

FixtureTypeDescriptor::FixtureTypeDescriptor(const QString &name, int colourType, int curveType,
                                             const QList<int> &modes, int primaryMode,
                                             int secondaryMode)
    : m_name(name), m_colourType(colourType), m_curveType(curveType), m_primaryMode(primaryMode),
      m_secondaryMode(secondaryMode), m_modes(modes)
{}

void FixtureTypeDescriptor::setModeFlag(int mode, bool flag)
{
    m_modeFlags.insert(mode, flag);
}
