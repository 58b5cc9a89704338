// The mesh normals written out plainly, one scalar operation at a time: the reference
// the plug-in's lane computation must match bit for bit.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <vector>

namespace kelbrin::test {

std::vector<XrVector3f> PlainNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices);

} // namespace kelbrin::test
