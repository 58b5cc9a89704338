// A furnished room as a scene-understanding runtime would scan it: floor, four walls and
// a table as visual meshes, and their flat surfaces as planes. Each scan sees a little
// more than the one before, so the scenes change from one compute to the next.
#pragma once

#include <cstdint>

#include "SceneUnderstanding.h"

namespace quenra::sim {

class SyntheticRoom {
public:
    // The world as the runtime sees it during its scan number `scan` (0 for the first).
    // From one scan to the next:
    //  - one wall in turn is scanned more finely: new mesh buffer, more vertices;
    //  - the table's pose drifts by a few millimetres (tracking refinement), its mesh stays;
    //  - a chair appears from scan 2 on, a board leaning on the front wall (a slanted
    //    plane) from scan 1 on;
    //  - the floor stays exactly as it was.
    static simruntime::SimWorld Scan(uint32_t scan);
};

} // namespace quenra::sim
