#ifndef COMPACTPOSE_H
#define COMPACTPOSE_H

#include "model/lightpose.h"

#include <array>
#include <memory>

// A light's pose in little room: x and y always, height and rotation only while one of them
// differs from its default bit for bit (so -0 is kept as written), which nearly every light
// of a flat map never does. A map holds hundreds of thousands of lights.
class CompactPose
{
public:
    enum Field { X, Y, Z, Q0, Q1, Q2, Q3, FieldCount };

    double x() const { return m_x; }
    double y() const { return m_y; }
    LightPose value() const;
    void set(const LightPose &pose);
    void setField(Field field, double value);

private:
    using Rest = std::array<double, 5>; // z, q0, q1, q2, q3
    static const Rest &defaultRest();
    void storeRest(const Rest &rest);

    double m_x = 0.0;
    double m_y = 0.0;
    std::unique_ptr<Rest> m_rest;
};

#endif // COMPACTPOSE_H
