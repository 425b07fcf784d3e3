// Light output: the light's own entry points; the work is done on its frame state.
#include "model/light.h"
#include "model/mapmodel.h"

void Light::applyEffectColor(const VeyColor &color, int priority)
{
    m_hot->applyEffectColor(color, priority);
}

int Light::outputByteCount() const
{
    return m_hot->outputByteCount();
}

void Light::writeDmx(quint8 *buffer, int size)
{
    m_hot->writeDmx(buffer, size);
}

void Light::endFrame()
{
    m_hot->endFrame();
}

void Light::listCanvasChange()
{
    if (m_map)
        m_map->listCanvasChange(m_uid);
}
