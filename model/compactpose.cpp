#include "model/compactpose.h"

#include <cstring>

const CompactPose::Rest &CompactPose::defaultRest()
{
    static const Rest rest = [] {
        const LightPose pose;
        return Rest{pose.z, pose.q0, pose.q1, pose.q2, pose.q3};
    }();
    return rest;
}

LightPose CompactPose::value() const
{
    const Rest &rest = m_rest ? *m_rest : defaultRest();
    LightPose pose;
    pose.x = m_x;
    pose.y = m_y;
    pose.z = rest[0];
    pose.q0 = rest[1];
    pose.q1 = rest[2];
    pose.q2 = rest[3];
    pose.q3 = rest[4];
    return pose;
}

void CompactPose::set(const LightPose &pose)
{
    m_x = pose.x;
    m_y = pose.y;
    storeRest(Rest{pose.z, pose.q0, pose.q1, pose.q2, pose.q3});
}

void CompactPose::setField(Field field, double value)
{
    if (field == X) {
        m_x = value;
    } else if (field == Y) {
        m_y = value;
    } else if (field > Y && field < FieldCount) {
        Rest rest = m_rest ? *m_rest : defaultRest();
        rest[size_t(field - Z)] = value;
        storeRest(rest);
    }
}

void CompactPose::storeRest(const Rest &rest)
{
    if (std::memcmp(rest.data(), defaultRest().data(), sizeof(Rest)) == 0) {
        m_rest.reset();
        return;
    }
    if (m_rest)
        *m_rest = rest;
    else
        m_rest = std::make_unique<Rest>(rest);
}
