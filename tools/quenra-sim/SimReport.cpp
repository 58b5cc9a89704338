#include "SimReport.h"

#include <iomanip>
#include <string>
#include <vector>

namespace quenra::sim {
namespace {

void PrintPlanes(const PlaneRead& planes, std::ostream& out)
{
    out << planes.Planes() << " (" << planes.horizontal << " horizontal, " << planes.vertical << " vertical, "
        << planes.nonOrthogonal << " non-orthogonal)";
}

void PrintScene(const SceneStats& scene, std::ostream& out)
{
    if (scene.number == 0) {
        out << "  before the first scene  ";
    } else {
        out << "  scene " << std::setw(3) << scene.number << " (frame " << std::setw(5) << scene.firstFrame << ")";
    }
    out << std::setw(8) << scene.meshesListed << std::setw(9) << scene.meshesUpdated << std::setw(10) << scene.vertices
        << std::setw(11) << scene.triangles << std::setw(12) << scene.transforms << "   ";
    if (scene.planesRead) {
        PrintPlanes(scene.planes, out);
    } else {
        out << "not read";
    }
    if (scene.acquireFailures != 0) {
        out << "   (" << scene.acquireFailures << " acquisitions failed)";
    }
    out << '\n';
}

void PrintTrace(const TraceCounts& trace, std::ostream& out)
{
    out << trace.errors << " errors, " << trace.warnings << " warnings, " << trace.notices << " notices\n";
    for (const TraceCounts::Repeated& message : trace.named) {
        out << "    " << (message.error ? "error   " : "warning ") << message.text << " (\u00d7" << message.count
            << ")\n";
    }
}

// What a plug-in's trace shows as failed: its errors, by text.
void AddTraceFailures(const char* plugin, const TraceCounts& trace, std::vector<std::string>& failures)
{
    for (const TraceCounts::Repeated& message : trace.named) {
        if (message.error) {
            failures.push_back(std::string(plugin) + " traced an error: " + message.text + " (\u00d7" +
                               std::to_string(message.count) + ")");
        }
    }
}

void PrintSkelder(const SkelderStats& skelder, std::ostream& out)
{
    out << "\nquenra-sim: Skelder adding layers to the application's frames\n";
    out << "  library            " << skelder.library << '\n';
    out << "  layers created     " << skelder.layersCreated << " (quad, cylinder, equirect)\n";
    out << "  layers per frame   frames  beneath  above  cut   arrangement\n";
    for (const LayerFrames& frames : skelder.layerFrames) {
        out << "                     " << std::setw(6) << frames.frames << std::setw(9) << frames.beneath
            << std::setw(7) << frames.above << std::setw(5) << frames.cut << "   " << frames.arrangement << '\n';
    }
    out << "  images             " << skelder.imagesAcquired << " acquired (" << skelder.acquireFailures << " failed), "
        << skelder.imagesReleased << " released\n";
    out << "  callbacks          " << skelder.frameStateCallbacks << " frame states, " << skelder.swapchainCallbacks
        << " swapchains created\n";
    out << "  trace messages     ";
    PrintTrace(skelder.trace, out);
}

void PrintWendrath(const WendrathStats& wendrath, std::ostream& out)
{
    out << "\nquenra-sim: libWendrath drawing camera frames into engine textures\n";
    out << "  library            " << wendrath.library << '\n';
    out << "  render events      " << wendrath.eventsQueued << " queued, " << wendrath.eventsRun << " run\n";
    out << "  frames drawn       " << wendrath.framesDrawn << '\n';
    out << "  textures written   " << wendrath.texturesWritten << '\n';
    out << "  lock               the script held it " << wendrath.scriptLockSeconds * 1000
        << " ms; the render thread waited " << wendrath.lockWaitSeconds * 1000 << " ms for it\n";
    out << "  GL misuses         " << wendrath.glMisuses << '\n';
    out << "  trace messages     ";
    PrintTrace(wendrath.trace, out);
}

void PrintKelbrin(const SimReport& report, std::ostream& out)
{
    size_t acquired = 0;
    size_t vertices = 0;
    size_t triangles = 0;
    size_t transforms = 0;
    size_t acquireFailures = 0;
    const PlaneRead* lastPlanes = nullptr;
    for (const SceneStats& scene : report.scenes) {
        acquired += scene.meshesAcquired;
        vertices += scene.vertices;
        triangles += scene.triangles;
        transforms += scene.transforms;
        acquireFailures += scene.acquireFailures;
        if (scene.planesRead) {
            lastPlanes = &scene.planes;
        }
    }

    out << std::fixed << std::setprecision(2);
    out << "\nquenra-sim: libKelbrin in a synthetic room (floor, four walls, a table; later a chair and a leaning "
           "board)\n";
    out << "  library            " << report.library << '\n';
    out << "  frames             " << report.frames << " at " << std::setprecision(0) << report.fps
        << " Hz: " << std::setprecision(2) << report.frames / report.fps << " s of simulated time, "
        << report.wallSeconds << " s on the wall clock\n";

    out << "\nCompute cycle\n";
    out << "  computes started   " << report.computesStarted << '\n';
    out << "  computes completed " << report.computesCompleted << '\n';
    out << "  scenes created     " << report.scenesCreated << '\n';
    out << "  mesh lists         " << report.meshInfoFrames << " of " << report.frames << " frames\n";

    out << "\nPer scene                   listed  updated  vertices  triangles  transforms   planes (last read)\n";
    for (const SceneStats& scene : report.scenes) {
        if (scene.number != 0 || scene.meshesListed != 0 || scene.transforms != 0) {
            PrintScene(scene, out);
        }
    }

    out << "\nDelivered to the engine\n";
    out << "  meshes acquired    " << acquired << " (" << acquireFailures << " failed)\n";
    out << "  vertices           " << vertices << '\n';
    out << "  triangles          " << triangles << '\n';
    out << "  transforms         " << transforms << '\n';

    out << "\nPlanes read by the script (filter " << report.planeFilter << ")\n";
    out << "  reads              " << report.planeReads << " (" << report.planeReadFailures << " failed)\n";
    if (lastPlanes != nullptr) {
        out << "  last read          ";
        PrintPlanes(*lastPlanes, out);
        out << "; " << lastPlanes->vertices << " vertices, " << lastPlanes->triangles << " triangles";
        if (lastPlanes->meshFailures != 0) {
            out << "; " << lastPlanes->meshFailures << " meshes not read";
        }
        out << '\n';
    }

    out << "\nTrace messages       ";
    PrintTrace(report.trace, out);
    out << "Scene objects left   " << report.sceneObjectsLeft << " after unload\n";
}

} // namespace

void TraceCounts::Add(bool error, const std::string& text)
{
    for (Repeated& message : named) {
        if (message.error == error && message.text == text) {
            ++message.count;
            return;
        }
    }
    named.push_back({error, text, 1});
}

void PrintReport(const SimReport& report, std::ostream& out)
{
    if (report.kelbrin) {
        PrintKelbrin(report, out);
    }
    out << std::fixed << std::setprecision(1);
    if (report.skelder) {
        PrintSkelder(report.skelderStats, out);
    }
    if (report.wendrath) {
        PrintWendrath(report.wendrathStats, out);
    }
    if (report.validation) {
        out << "\nValidation           " << report.validation->errors << " errors, " << report.validation->warnings
            << " warnings (" << report.validation->file << "); " << report.validation->unexplained.size()
            << " not explained by the allowlist\n";
        out << "  frames refused     " << report.framesRefused << " of " << report.frames
            << " (the layer's refusals never reach the runtime, nor the pictures)\n";
    }
    if (!report.pictures.empty()) {
        out << "\nPictures\n";
        for (const auto& [path, what] : report.pictures) {
            out << "  " << path << "   " << what << '\n';
        }
    }
}

std::vector<std::string> Failures(const SimReport& report)
{
    std::vector<std::string> failures;
    const bool validated = report.validation.has_value();
    const auto fail = [&failures](bool failed, const std::string& what) {
        if (failed) {
            failures.push_back(what);
        }
    };
    if (report.kelbrin) {
        size_t acquireFailures = 0;
        for (const SceneStats& scene : report.scenes) {
            acquireFailures += scene.acquireFailures;
        }
        if (!validated) {
            AddTraceFailures("libKelbrin", report.trace, failures);
            fail(acquireFailures != 0, "libKelbrin: " + std::to_string(acquireFailures) + " mesh acquisitions failed");
        }
        fail(report.planeReadFailures != 0,
             "libKelbrin: " + std::to_string(report.planeReadFailures) + " plane reads failed");
        fail(report.sceneObjectsLeft != 0,
             "libKelbrin: " + std::to_string(report.sceneObjectsLeft) + " scene objects left after unload");
    }
    if (report.skelder) {
        AddTraceFailures("Skelder", report.skelderStats.trace, failures);
        fail(report.skelderStats.acquireFailures != 0,
             "Skelder: " + std::to_string(report.skelderStats.acquireFailures) + " swapchain images not acquired");
    }
    if (validated) {
        for (const std::string& finding : report.validation->unexplained) {
            failures.push_back("validation finding the allowlist does not explain: " + finding);
        }
    }
    if (report.wendrath) {
        AddTraceFailures("libWendrath", report.wendrathStats.trace, failures);
        fail(report.wendrathStats.glMisuses != 0,
             "libWendrath: " + std::to_string(report.wendrathStats.glMisuses) + " GL misuses");
    }
    return failures;
}

} // namespace quenra::sim
