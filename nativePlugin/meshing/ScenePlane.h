// The plane record handed to engine scripts. Scripts read it field by field, so its
// layout is fixed: 80 bytes, natural alignment, everything in the OpenXR convention.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>
#include <cstdint>

#include "UnityXRMeshing.h"

struct ScenePlane {
    // The plane component's identifier; the key by which its mesh is found again.
    UnityXRMeshId id;
    XrScenePlaneAlignmentTypeMSFT alignment;
    XrExtent2Df size;
    XrSpaceLocationFlags locationFlags;
    // In the base space, at the predicted display time of the last plane update.
    XrPosef pose;
    // What the plane's mesh held when the record was fetched: room the script provides.
    uint32_t vertexCount;
    uint32_t indexCount;
};

static_assert(sizeof(XrScenePlaneAlignmentTypeMSFT) == 4, "alignment crosses as a 32-bit value");
static_assert(offsetof(ScenePlane, id) == 0, "id first");
static_assert(offsetof(ScenePlane, alignment) == 16, "alignment follows the id");
static_assert(offsetof(ScenePlane, size) == 20, "size follows the alignment");
static_assert(offsetof(ScenePlane, locationFlags) == 32, "location flags after four bytes of padding");
static_assert(offsetof(ScenePlane, pose) + offsetof(XrPosef, orientation) == 40, "orientation x, y, z, w");
static_assert(offsetof(ScenePlane, pose) + offsetof(XrPosef, position) == 56, "position x, y, z");
static_assert(offsetof(ScenePlane, vertexCount) == 68, "vertex count follows the pose");
static_assert(offsetof(ScenePlane, indexCount) == 72, "index count follows the vertex count");
static_assert(sizeof(ScenePlane) == 80, "arrays of planes are 80 bytes per element");
