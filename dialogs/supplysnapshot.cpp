#include "supplysnapshot.h"

#include "model/datasupply.h"
#include "model/light.h"
#include "model/mapmodel.h"

SupplySnapshot::SupplySnapshot(const DataSupply &ds, const MapModel &map)
    : m_properties(ds.properties()), m_protocolVersion(ds.protocolVersion()),
      m_dmxBufSize(ds.dmxBufSize())
{
    for (const quint64 uid : ds.lights()) {
        if (const Light *light = map.light(uid)) {
            auto copy = std::make_shared<Light>();
            copy->applyDiscovered(light);
            m_lights.insert(uid, copy);
        }
    }
}

void SupplySnapshot::restore(DataSupply &ds, const MapModel &map) const
{
    ds.restoreProperties(m_properties);
    ds.setProtocolVersion(m_protocolVersion);
    for (auto it = m_lights.cbegin(); it != m_lights.cend(); ++it) {
        Light *light = map.light(it.key());
        if (light && light->dataSupplyUid() == ds.uid())
            light->applyDiscovered(it->get());
    }
    // Last: the lights' channels may have grown the buffer while they were moved.
    ds.restoreDMXBufSize(m_dmxBufSize);
}
