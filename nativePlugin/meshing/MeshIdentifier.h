// A scene component's identifier as the engine's mesh identifier: the 16 bytes unchanged,
// bytes 0 to 7 the first word and 8 to 15 the second, each in the platform's byte order.
// A mesh keeps its identifier as long as the runtime keeps the component's.
#pragma once

#include <openxr/openxr.h>

#include <cstring>

#include "UnityXRMeshing.h"

namespace kelbrin {

inline UnityXRMeshId XrUuidMSFTToUnityXRMeshId(const XrUuidMSFT& uuid)
{
    static_assert(sizeof(UnityXRMeshId) == sizeof(uuid.bytes), "both identifiers are 16 bytes");
    UnityXRMeshId id;
    std::memcpy(id.idPart, uuid.bytes, sizeof(uuid.bytes));
    return id;
}

} // namespace kelbrin
