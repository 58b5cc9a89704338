// The engine's coordinates and OpenXR's: the engine is left-handed with +z forward, OpenXR
// right-handed with −z forward; both have +x right, +y up and metres. A script converts a pose
// before it hands it to an OpenXR-facing plug-in, by mirroring z.
#pragma once

#include <openxr/openxr.h>

namespace quenra::simengine {

inline XrVector3f ToOpenXr(XrVector3f position)
{
    return {position.x, position.y, -position.z};
}
// Mirroring z keeps a rotation's z component and turns the sense of the other two.
inline XrQuaternionf ToOpenXr(XrQuaternionf rotation)
{
    return {-rotation.x, -rotation.y, rotation.z, rotation.w};
}

// Mirroring is its own inverse: the same change brings OpenXR's values back.
inline XrVector3f ToEngine(XrVector3f position)
{
    return ToOpenXr(position);
}

} // namespace quenra::simengine
