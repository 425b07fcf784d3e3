#ifndef LIGHTPOSE_H
#define LIGHTPOSE_H

// Where a light sits on the canvas: position and rotation quaternion (q3 the scalar part,
// so the default is the identity rotation).
struct LightPose
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double q0 = 0.0;
    double q1 = 0.0;
    double q2 = 0.0;
    double q3 = 1.0;

    bool operator==(const LightPose &other) const
    {
        return x == other.x && y == other.y && z == other.z && q0 == other.q0 && q1 == other.q1 &&
               q2 == other.q2 && q3 == other.q3;
    }
    bool operator!=(const LightPose &other) const { return !(*this == other); }
};

#endif // LIGHTPOSE_H
