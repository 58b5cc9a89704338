// One libKelbrin session through its exports, as the engine and a plane script make it: the
// application creates its instance, session and space through the plug-in's lookup; the meshing
// subsystem starts; frames list and acquire meshes while the script reads planes and their
// vertices; the subsystem stops, the plug-in is unloaded, and the application tears down.
#pragma once

#include "FaultSweep.h"
#include "KelbrinExportTable.h"

namespace quenra::test {

class ScriptedKelbrinSession : public ScriptedSession {
public:
    explicit ScriptedKelbrinSession(const char* libraryPath) : plugin("libKelbrin", libraryPath) {}
    SessionOutcome Run(const std::function<void(simruntime::Runtime&)>& arm) override;

private:
    harness::OpenedPlugin<harness::KelbrinExportTable> plugin;
};

} // namespace quenra::test
