// The application's view: one picture size for its projection layer and the composed frames, and
// the engine camera they are seen from.
#pragma once

#include <cmath>
#include <cstdint>

#include "DeliveredRoom.h"
#include "PoseMath.h"

namespace quenra::sim {

constexpr uint32_t kViewWidth = 480;
constexpr uint32_t kViewHeight = 360;
constexpr float kHalfWidthAngle = 0.87f;

// Standing near the back wall, looking ahead at the table and the front wall, a little to the left
// and up, so that the open top of the room (no ceiling is scanned) shows.
inline EngineCamera ViewCamera()
{
    const float halfHeight = std::atan(std::tan(kHalfWidthAngle) * kViewHeight / kViewWidth);
    const XrQuaternionf yaw = simruntime::AxisAngle({0, 1, 0}, -0.15f);
    const XrQuaternionf pitch = simruntime::AxisAngle({1, 0, 0}, -0.2f);
    return {{0.3f, 1.55f, -1.4f},
            simruntime::operator*(yaw, pitch),
            {-kHalfWidthAngle, kHalfWidthAngle, halfHeight, -halfHeight}};
}

} // namespace quenra::sim
