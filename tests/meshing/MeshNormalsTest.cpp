#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "MeshNormals.h"
#include "PlainNormals.h"

namespace kelbrin::test {
namespace {

// The normals pass alone, on scratch kept across meshes as an acquisition keeps it.
class Normals : public ::testing::Test {
protected:
    void Calculate(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                   std::vector<XrVector3f>& out)
    {
        out.assign(vertices.size(), XrVector3f{0, 0, 0});
        ASSERT_TRUE(normals.Prepare(vertices.size()));
        normals.Compute(vertices, indices, &out.data()->x, false,
                        [this](uint32_t firstCorner) { invalidTriangles.push_back(firstCorner); });
    }

    MeshNormals normals;
    std::vector<uint32_t> invalidTriangles;
};

TEST_F(Normals, LaneComputationIsBitForBitThePlainFormulaOnALargeRandomMesh)
{
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f);
    // Few vertices for many triangles: long running means, repeated corners, some unused vertices.
    const uint32_t vertexCount = 3000;
    std::uniform_int_distribution<uint32_t> corner(0, vertexCount - 1);
    std::vector<XrVector3f> vertices(vertexCount);
    for (XrVector3f& vertex : vertices) {
        vertex = {coordinate(random), coordinate(random), coordinate(random)};
    }
    std::vector<uint32_t> indices(3 * 120000);
    for (uint32_t& index : indices) {
        index = corner(random);
    }
    // Exercises the running mean far past small counts.
    for (size_t i = 0; i < 3000; ++i) {
        indices[3 * i] = 17;
    }

    std::vector<XrVector3f> normals(vertexCount, XrVector3f{0, 0, 0});
    Calculate(vertices, indices, normals);

    const std::vector<XrVector3f> expected = PlainNormals(vertices, indices);
    ASSERT_EQ(normals.size(), expected.size());
    size_t differing = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
        differing += std::memcmp(&normals[k], &expected[k], sizeof(XrVector3f)) != 0;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_TRUE(invalidTriangles.empty());
}

TEST_F(Normals, AMeshComputedAfterALargerOneOwesNothingToIt)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
    std::vector<XrVector3f> large(1001);
    for (XrVector3f& vertex : large) {
        vertex = {coordinate(random), coordinate(random), coordinate(random)};
    }
    std::vector<uint32_t> largeIndices;
    for (uint32_t i = 0; i + 2 < 1000; ++i) {
        largeIndices.insert(largeIndices.end(), {i, i + 1, i + 2});
    }
    std::vector<XrVector3f> normals;
    Calculate(large, largeIndices, normals);

    // Vertex 3 is in no triangle and vertex 4 in one only: neither may see the larger mesh's means or counts.
    const std::vector<XrVector3f> small{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {0, 0, 1}};
    const std::vector<uint32_t> smallIndices{0, 1, 2, 0, 4, 1};
    Calculate(small, smallIndices, normals);

    const std::vector<XrVector3f> expected = PlainNormals(small, smallIndices);
    ASSERT_EQ(normals.size(), small.size());
    for (size_t k = 0; k < small.size(); ++k) {
        EXPECT_EQ(std::memcmp(&normals[k], &expected[k], sizeof(XrVector3f)), 0) << "vertex " << k;
    }
    EXPECT_EQ(normals[3].y, 1.0f);
    EXPECT_EQ(normals[4].y, 1.0f);
}

TEST_F(Normals, NoVertexEverGetsANonFiniteNormal)
{
    const float huge = 3e38f;
    // A face whose cross product overflows, a degenerate face, and a vertex in no face.
    const std::vector<XrVector3f> vertices{{0, 0, 0}, {huge, 0, 0}, {0, huge, 0}, {1, 1, 1}, {2, 2, 2}, {9, 9, 9}};
    const std::vector<uint32_t> indices{0, 1, 2, 0, 3, 4};
    std::vector<XrVector3f> normals(vertices.size(), XrVector3f{0, 0, 0});
    Calculate(vertices, indices, normals);
    for (const XrVector3f& n : normals) {
        EXPECT_TRUE(std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z));
    }
    EXPECT_EQ(normals[5].y, 1.0f);
}

TEST_F(Normals, TrailingPartialTriangleIsIgnored)
{
    const std::vector<XrVector3f> vertices{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    std::vector<XrVector3f> normals(vertices.size(), XrVector3f{0, 0, 0});
    Calculate(vertices, {0, 1, 2, 3, 0}, normals);
    EXPECT_EQ(normals[3].y, 1.0f);
    EXPECT_EQ(normals[0].z, 1.0f);
    EXPECT_TRUE(invalidTriangles.empty());
}

} // namespace
} // namespace kelbrin::test
