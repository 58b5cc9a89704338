// Vector and pose arithmetic on OpenXR's own types, for the compositor and the simulated
// application's renderer. Right-handed, metres, quaternions (x, y, z, w) of unit length.
#pragma once

#include <openxr/openxr.h>

#include <cmath>

namespace quenra::simruntime {

inline XrVector3f operator+(XrVector3f a, XrVector3f b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline XrVector3f operator-(XrVector3f a, XrVector3f b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline XrVector3f operator*(XrVector3f a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
inline float Dot(XrVector3f a, XrVector3f b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline XrVector3f Cross(XrVector3f a, XrVector3f b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(XrVector3f a)
{
    return std::sqrt(Dot(a, a));
}
inline XrVector3f Normalised(XrVector3f a)
{
    const float length = Length(a);
    return length > 0 ? a * (1.0f / length) : a;
}

inline XrQuaternionf Conjugate(XrQuaternionf q)
{
    return {-q.x, -q.y, -q.z, q.w};
}
inline XrQuaternionf operator*(XrQuaternionf a, XrQuaternionf b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
inline XrVector3f Rotate(XrQuaternionf q, XrVector3f v)
{
    const XrVector3f u{q.x, q.y, q.z};
    const XrVector3f t = Cross(u, v) * 2.0f;
    return v + t * q.w + Cross(u, t);
}
// The rotation by `angle` radians about a unit axis.
inline XrQuaternionf AxisAngle(XrVector3f axis, float angle)
{
    const float s = std::sin(angle / 2);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2)};
}

// A point given in `pose`'s frame, in the frame the pose is given in.
inline XrVector3f Transform(const XrPosef& pose, XrVector3f point)
{
    return Rotate(pose.orientation, point) + pose.position;
}
// The inverse: a point of the outer frame in `pose`'s frame.
inline XrVector3f InverseTransform(const XrPosef& pose, XrVector3f point)
{
    return Rotate(Conjugate(pose.orientation), point - pose.position);
}
// `inner` (given in `outer`'s frame) in the frame `outer` is given in.
inline XrPosef ComposePoses(const XrPosef& outer, const XrPosef& inner)
{
    return {outer.orientation * inner.orientation, Transform(outer, inner.position)};
}

} // namespace quenra::simruntime
