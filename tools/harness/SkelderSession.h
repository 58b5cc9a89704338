// Skelder played as the engine and its scripts play it, through its exports: loaded with layers
// and foveation enabled and its interceptor chained, layers created, placed and given a first
// image, then unloaded.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <string>

#include "Application.h"
#include "Engine.h"
#include "SkelderExportTable.h"

namespace quenra::harness {

class SkelderSession {
public:
    SkelderSession(const SkelderExportTable& exports, Engine& engine, OnFailure onFailure = OnFailure::Throw)
        : exports(exports), engine(engine), onFailure(onFailure)
    {
    }
    ~SkelderSession();
    SkelderSession(const SkelderSession&) = delete;
    SkelderSession& operator=(const SkelderSession&) = delete;

    const SkelderExportTable& Exports() const { return exports; }
    // Loads the plug-in, enables layers (at most `maxLayers` a frame) and foveation, and chains
    // its interceptor in front of `next`.
    PFN_xrGetInstanceProcAddr LoadAndChain(PFN_xrGetInstanceProcAddr next, uint32_t maxLayers = 16);
    // A layer of the session, placed ahead of the head and, unless it is passthrough, with one
    // image cycled so the runtime accepts it; 0 when Skelder made none and failures are counted.
    int32_t CreateLayer(XrInstance instance, XrSession session, SkelderLayer type, int32_t sortingOrder,
                        uint32_t size = 128);
    void Unload();

private:
    int32_t Failed(const std::string& what) const;

    const SkelderExportTable& exports;
    Engine& engine;
    OnFailure onFailure;
    bool loaded = false;
};

} // namespace quenra::harness
