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
#else
#include <cmath>
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
// x, y, z from memory with lane w zero; reads those three floats only.
inline FloatLanes LoadXYZ(const float* xyz)
{
    const __m128 xy = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(xyz)));
    return {_mm_movelh_ps(xy, _mm_load_ss(xyz + 2))};
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
inline FloatLanes Sqrt(FloatLanes a)
{
    return {_mm_sqrt_ps(a.v)};
}
inline FloatLanes Negate(FloatLanes a)
{
    return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))};
}
// All bits set in the lanes where the comparison holds; false for NaN, as the scalar comparison.
struct LaneMask {
    __m128 m;
};
inline LaneMask operator>(FloatLanes a, FloatLanes b)
{
    return {_mm_cmpgt_ps(a.v, b.v)};
}
inline LaneMask operator<=(FloatLanes a, FloatLanes b)
{
    return {_mm_cmple_ps(a.v, b.v)};
}
inline LaneMask operator&(LaneMask a, LaneMask b)
{
    return {_mm_and_ps(a.m, b.m)};
}
inline FloatLanes Select(LaneMask mask, FloatLanes ifTrue, FloatLanes ifFalse)
{
    return {_mm_or_ps(_mm_and_ps(mask.m, ifTrue.v), _mm_andnot_ps(mask.m, ifFalse.v))};
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
inline FloatLanes LoadXYZ(const float* xyz)
{
    return {vcombine_f32(vld1_f32(xyz), vld1_lane_f32(xyz + 2, vdup_n_f32(0.0f), 0))};
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
inline FloatLanes Sqrt(FloatLanes a)
{
    return {vsqrtq_f32(a.v)};
}
inline FloatLanes Negate(FloatLanes a)
{
    return {vnegq_f32(a.v)};
}
struct LaneMask {
    uint32x4_t m;
};
inline LaneMask operator>(FloatLanes a, FloatLanes b)
{
    return {vcgtq_f32(a.v, b.v)};
}
inline LaneMask operator<=(FloatLanes a, FloatLanes b)
{
    return {vcleq_f32(a.v, b.v)};
}
inline LaneMask operator&(LaneMask a, LaneMask b)
{
    return {vandq_u32(a.m, b.m)};
}
inline FloatLanes Select(LaneMask mask, FloatLanes ifTrue, FloatLanes ifFalse)
{
    return {vbslq_f32(mask.m, ifTrue.v, ifFalse.v)};
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
inline FloatLanes Sqrt(FloatLanes a)
{
    return {{std::sqrt(a.v.x), std::sqrt(a.v.y), std::sqrt(a.v.z), std::sqrt(a.v.w)}};
}
inline FloatLanes Negate(FloatLanes a)
{
    return {{-a.v.x, -a.v.y, -a.v.z, -a.v.w}};
}
struct LaneMask {
    bool m[4];
};
inline LaneMask operator>(FloatLanes a, FloatLanes b)
{
    return {{a.v.x > b.v.x, a.v.y > b.v.y, a.v.z > b.v.z, a.v.w > b.v.w}};
}
inline LaneMask operator<=(FloatLanes a, FloatLanes b)
{
    return {{a.v.x <= b.v.x, a.v.y <= b.v.y, a.v.z <= b.v.z, a.v.w <= b.v.w}};
}
inline LaneMask operator&(LaneMask a, LaneMask b)
{
    return {{a.m[0] && b.m[0], a.m[1] && b.m[1], a.m[2] && b.m[2], a.m[3] && b.m[3]}};
}
inline FloatLanes Select(LaneMask mask, FloatLanes ifTrue, FloatLanes ifFalse)
{
    return {{mask.m[0] ? ifTrue.v.x : ifFalse.v.x, mask.m[1] ? ifTrue.v.y : ifFalse.v.y,
             mask.m[2] ? ifTrue.v.z : ifFalse.v.z, mask.m[3] ? ifTrue.v.w : ifFalse.v.w}};
}
#endif

// x, y and z of four vertices, one lane per vertex. LoadColumns reads them from four quads;
// StoreTriples writes them as twelve packed floats (x0 y0 z0 x1 …), with no alignment needed.
struct LaneColumns {
    FloatLanes x, y, z;
};

#if defined(KELBRIN_LANES_SSE2)
inline LaneColumns LoadColumns(const LaneQuad* quads)
{
    __m128 x = _mm_load_ps(&quads[0].x);
    __m128 y = _mm_load_ps(&quads[1].x);
    __m128 z = _mm_load_ps(&quads[2].x);
    __m128 w = _mm_load_ps(&quads[3].x);
    _MM_TRANSPOSE4_PS(x, y, z, w);
    return {{x}, {y}, {z}};
}
inline void StoreTriples(const LaneColumns& columns, float* xyz)
{
    const __m128 xyLow = _mm_unpacklo_ps(columns.x.v, columns.y.v);                  // x0 y0 x1 y1
    const __m128 xyHigh = _mm_unpackhi_ps(columns.x.v, columns.y.v);                 // x2 y2 x3 y3
    const __m128 yzLow = _mm_unpacklo_ps(columns.y.v, columns.z.v);                  // y0 z0 y1 z1
    const __m128 yzHigh = _mm_unpackhi_ps(columns.y.v, columns.z.v);                 // y2 z2 y3 z3
    const __m128 zxLow = _mm_unpacklo_ps(columns.z.v, columns.x.v);                  // z0 x0 z1 x1
    const __m128 zxHigh = _mm_unpackhi_ps(columns.z.v, columns.x.v);                 // z2 x2 z3 x3
    _mm_storeu_ps(xyz, _mm_shuffle_ps(xyLow, zxLow, _MM_SHUFFLE(3, 0, 1, 0)));       // x0 y0 z0 x1
    _mm_storeu_ps(xyz + 4, _mm_shuffle_ps(yzLow, xyHigh, _MM_SHUFFLE(1, 0, 3, 2)));  // y1 z1 x2 y2
    _mm_storeu_ps(xyz + 8, _mm_shuffle_ps(zxHigh, yzHigh, _MM_SHUFFLE(3, 2, 3, 0))); // z2 x3 y3 z3
}
#elif defined(KELBRIN_LANES_NEON)
inline LaneColumns LoadColumns(const LaneQuad* quads)
{
    const float32x4x4_t columns = vld4q_f32(&quads[0].x);
    return {{columns.val[0]}, {columns.val[1]}, {columns.val[2]}};
}
inline void StoreTriples(const LaneColumns& columns, float* xyz)
{
    vst3q_f32(xyz, float32x4x3_t{{columns.x.v, columns.y.v, columns.z.v}});
}
#else
inline LaneColumns LoadColumns(const LaneQuad* quads)
{
    return {{{quads[0].x, quads[1].x, quads[2].x, quads[3].x}},
            {{quads[0].y, quads[1].y, quads[2].y, quads[3].y}},
            {{quads[0].z, quads[1].z, quads[2].z, quads[3].z}}};
}
inline void StoreTriples(const LaneColumns& columns, float* xyz)
{
    const LaneQuad* lanes[3] = {&columns.x.v, &columns.y.v, &columns.z.v};
    for (int axis = 0; axis < 3; ++axis) {
        xyz[axis] = lanes[axis]->x;
        xyz[3 + axis] = lanes[axis]->y;
        xyz[6 + axis] = lanes[axis]->z;
        xyz[9 + axis] = lanes[axis]->w;
    }
}
#endif

} // namespace kelbrin
