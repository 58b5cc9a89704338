// Four single-precision lanes computed together. Each operation is the same correctly
// rounded IEEE operation on every lane, so a result is bit-for-bit what the scalar
// operation gives. SSE2 on x86-64, NEON on arm64, plain floats elsewhere.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KELBRIN_LANES_SSE2 1
#elif defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#define KELBRIN_LANES_NEON 1
#endif

namespace kelbrin {

// Storage the lanes load from and store to whole: 16 bytes, 16-byte aligned.
struct alignas(16) LaneQuad {
    float x, y, z, w;
};

#if defined(KELBRIN_LANES_SSE2)
struct FloatLanes {
    __m128 v;
};
inline FloatLanes Load(const LaneQuad& quad)
{
    return {_mm_load_ps(&quad.x)};
}
inline void Store(const FloatLanes& lanes, LaneQuad& quad)
{
    _mm_store_ps(&quad.x, lanes.v);
}
inline FloatLanes Lanes(float x, float y, float z, float w)
{
    return {_mm_setr_ps(x, y, z, w)};
}
// x, y, z from memory with lane w zero; a fourth float must be readable after them.
inline FloatLanes LoadXYZ(const float* xyz)
{
    return {_mm_and_ps(_mm_loadu_ps(xyz), _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0)))};
}
// (y, x, x, w) and (z, z, y, w): the operand orders of a cross product.
inline FloatLanes YXX(FloatLanes a)
{
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(3, 0, 0, 1))};
}
inline FloatLanes ZZY(FloatLanes a)
{
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(3, 1, 2, 2))};
}
inline FloatLanes NegateY(FloatLanes a)
{
    return {_mm_xor_ps(a.v, _mm_castsi128_ps(_mm_setr_epi32(0, static_cast<int>(0x80000000u), 0, 0)))};
}
inline FloatLanes Splat(float value)
{
    return {_mm_set1_ps(value)};
}
inline FloatLanes operator+(FloatLanes a, FloatLanes b)
{
    return {_mm_add_ps(a.v, b.v)};
}
inline FloatLanes operator-(FloatLanes a, FloatLanes b)
{
    return {_mm_sub_ps(a.v, b.v)};
}
inline FloatLanes operator*(FloatLanes a, FloatLanes b)
{
    return {_mm_mul_ps(a.v, b.v)};
}
inline FloatLanes operator/(FloatLanes a, FloatLanes b)
{
    return {_mm_div_ps(a.v, b.v)};
}
#elif defined(KELBRIN_LANES_NEON)
struct FloatLanes {
    float32x4_t v;
};
inline FloatLanes Load(const LaneQuad& quad)
{
    return {vld1q_f32(&quad.x)};
}
inline void Store(const FloatLanes& lanes, LaneQuad& quad)
{
    vst1q_f32(&quad.x, lanes.v);
}
inline FloatLanes Lanes(float x, float y, float z, float w)
{
    const float values[4] = {x, y, z, w};
    return {vld1q_f32(values)};
}
inline FloatLanes LoadXYZ(const float* xyz)
{
    return {vsetq_lane_f32(0.0f, vld1q_f32(xyz), 3)};
}
inline FloatLanes YXX(FloatLanes a)
{
    const float32x4_t yxxx = vcopyq_laneq_f32(vdupq_laneq_f32(a.v, 0), 0, a.v, 1);
    return {vcopyq_laneq_f32(yxxx, 3, a.v, 3)};
}
inline FloatLanes ZZY(FloatLanes a)
{
    const float32x4_t zzyz = vcopyq_laneq_f32(vdupq_laneq_f32(a.v, 2), 2, a.v, 1);
    return {vcopyq_laneq_f32(zzyz, 3, a.v, 3)};
}
inline FloatLanes NegateY(FloatLanes a)
{
    const uint32x4_t sign = vsetq_lane_u32(0x80000000u, vdupq_n_u32(0), 1);
    return {vreinterpretq_f32_u32(veorq_u32(vreinterpretq_u32_f32(a.v), sign))};
}
inline FloatLanes Splat(float value)
{
    return {vdupq_n_f32(value)};
}
inline FloatLanes operator+(FloatLanes a, FloatLanes b)
{
    return {vaddq_f32(a.v, b.v)};
}
inline FloatLanes operator-(FloatLanes a, FloatLanes b)
{
    return {vsubq_f32(a.v, b.v)};
}
inline FloatLanes operator*(FloatLanes a, FloatLanes b)
{
    return {vmulq_f32(a.v, b.v)};
}
inline FloatLanes operator/(FloatLanes a, FloatLanes b)
{
    return {vdivq_f32(a.v, b.v)};
}
#else
struct FloatLanes {
    LaneQuad v;
};
inline FloatLanes Load(const LaneQuad& quad)
{
    return {quad};
}
inline void Store(const FloatLanes& lanes, LaneQuad& quad)
{
    quad = lanes.v;
}
inline FloatLanes Lanes(float x, float y, float z, float w)
{
    return {{x, y, z, w}};
}
inline FloatLanes LoadXYZ(const float* xyz)
{
    return {{xyz[0], xyz[1], xyz[2], 0.0f}};
}
inline FloatLanes YXX(FloatLanes a)
{
    return {{a.v.y, a.v.x, a.v.x, a.v.w}};
}
inline FloatLanes ZZY(FloatLanes a)
{
    return {{a.v.z, a.v.z, a.v.y, a.v.w}};
}
inline FloatLanes NegateY(FloatLanes a)
{
    return {{a.v.x, -a.v.y, a.v.z, a.v.w}};
}
inline FloatLanes Splat(float value)
{
    return {{value, value, value, value}};
}
inline FloatLanes operator+(FloatLanes a, FloatLanes b)
{
    return {{a.v.x + b.v.x, a.v.y + b.v.y, a.v.z + b.v.z, a.v.w + b.v.w}};
}
inline FloatLanes operator-(FloatLanes a, FloatLanes b)
{
    return {{a.v.x - b.v.x, a.v.y - b.v.y, a.v.z - b.v.z, a.v.w - b.v.w}};
}
inline FloatLanes operator*(FloatLanes a, FloatLanes b)
{
    return {{a.v.x * b.v.x, a.v.y * b.v.y, a.v.z * b.v.z, a.v.w * b.v.w}};
}
inline FloatLanes operator/(FloatLanes a, FloatLanes b)
{
    return {{a.v.x / b.v.x, a.v.y / b.v.y, a.v.z / b.v.z, a.v.w / b.v.w}};
}
#endif

} // namespace kelbrin
