#include "ScriptedKelbrinSession.h"

#include "Application.h"
#include "FrameLoop.h"
#include "KelbrinSession.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"

namespace quenra::test {
namespace {

using harness::KelbrinSession;

// A room of one mesh and one plane with a mesh of its own.
simruntime::SimWorld Room()
{
    simruntime::SimWorld world;
    world.buffers[1] = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, false};
    world.buffers[2] = {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {0, 1, 2, 2, 3, 0}, false};
    simruntime::SimVisualMesh mesh;
    mesh.id.bytes[0] = 1;
    mesh.meshBufferId = 1;
    world.meshes.push_back(mesh);
    simruntime::SimPlane plane;
    plane.id.bytes[0] = 2;
    plane.meshBufferId = 2;
    world.planes.push_back(plane);
    return world;
}

} // namespace

SessionOutcome ScriptedKelbrinSession::Run(const std::function<void(simruntime::Runtime&)>& arm)
{
    simruntime::Runtime runtime;
    simruntime::FrameLoop frameLoop{runtime};
    simruntime::ReferenceSpaces spaces{runtime};
    simruntime::SceneUnderstanding scene{runtime};
    scene.SetWorld(Room());
    harness::Engine engine;
    KelbrinSession kelbrin(plugin.Exports(), engine);

    kelbrin.Load();
    harness::Application app(kelbrin.Chain(&simruntime::Runtime::GetInstanceProcAddr),
                             harness::OnFailure::Count);
    const size_t armedAt = runtime.Calls().size();
    arm(runtime);

    app.CreateInstance();
    app.CreateSession();
    kelbrin.StartMeshing(app.instance, app.session, app.space);
    kelbrin.RegisterScript();
    KelbrinSession::Tally tally;
    for (int frame = 0; frame < 4; ++frame) {
        app.WaitFrame();
        kelbrin.UpdateMeshes(tally, KelbrinSession::Acquire::Listed, false);
        kelbrin.StepScript();
        kelbrin.ReadPlanes(tally);
    }
    kelbrin.StopMeshing();

    SessionOutcome outcome = Outcome(runtime, armedAt);
    kelbrin.Unload();
    outcome.leftAlive = LeftAlive(runtime, app.Handles(), armedAt);
    app.Teardown();
    outcome.ranToEnd = true;
    outcome.worked = tally.meshesAcquired > 0 && tally.planeOutlinesRead > 0 && app.AllSucceeded();
    return outcome;
}

} // namespace quenra::test
