// The one order of every table keyed by a mesh identifier, and so of every list
// handed to the engine: first word, then second word, both unsigned.
#pragma once

#include "UnityXRMeshing.h"

namespace kelbrin {

struct UnityXRMeshIdComparer {
    bool operator()(const UnityXRMeshId& a, const UnityXRMeshId& b) const
    {
        return a.idPart[0] < b.idPart[0] || (a.idPart[0] == b.idPart[0] && a.idPart[1] < b.idPart[1]);
    }
};

} // namespace kelbrin
