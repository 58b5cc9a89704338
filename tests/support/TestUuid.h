// Scene component ids for tests: the leading bytes given, the rest zero.
#pragma once

#include <openxr/openxr.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace quenra::test {

inline XrUuidMSFT Uuid(std::initializer_list<uint8_t> leadingBytes)
{
    XrUuidMSFT uuid{};
    std::copy(leadingBytes.begin(), leadingBytes.end(), uuid.bytes);
    return uuid;
}

} // namespace quenra::test
