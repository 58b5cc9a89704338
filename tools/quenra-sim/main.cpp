// quenra-sim: tries the three plug-ins the way an application would, without a headset. It
// loads each library by file name, plays the engine (interface registry, trace, meshing
// lifecycle, a frame loop that lists and acquires meshes, a render thread) and the scripts
// (planes, composition layers, camera frames), around a simulated OpenXR runtime that scans a
// synthetic room and composes each frame, prints what each plug-in delivered, and draws it.
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "Simulation.h"

namespace {

using quenra::sim::SimOptions;

const char* const kUsage = R"(usage: quenra-sim [options]

  --seconds S          simulated time to run, in seconds (default 6)
  --frames N           number of frames to run instead of --seconds
  --fps F              frame rate of the simulated display (default 60)
  --trace-level L      show the plug-in's trace messages of level L or more severe as they
                       arrive: 0 failures, 2 and warnings (default), 5 and notices; -1 none
  --plane-filter F     plane alignments the script asks for: 1 horizontal, 2 vertical,
                       4 non-orthogonal, or a sum of them (default 7)
  --plane-interval N   frames between two plane reads of the script (default 30)
  --plugins LIST       the plug-ins to load, comma-separated: kelbrin, skelder, wendrath
                       (default: all three)
  --out DIR            where the pictures go (default build/demo, made if missing)
  --no-pictures        write no pictures
  --library PATH       the libKelbrin to load (default: the one of this build)
  --skelder PATH       the Skelder to load (default: the one of this build)
  --wendrath PATH      the libWendrath to load (default: the one of this build)
  --loader             go through the Khronos OpenXR loader to the simulated runtime built
                       as a library, as an application does
  --validate           --loader with the core validation layer; prints how many
                       errors and warnings it reported
  --api-dump FILE      --loader with the API dump layer: every OpenXR call the
                       plug-in and the application make, written to FILE
  --help               this text

The run takes as long on the wall clock as the simulated time: libKelbrin starts a scene
compute at most every 1.5 s of wall-clock time, so the frames are paced in real time.

Pictures: frame-NNN.png, the left eye as the runtime composes it at three frames (the room as
the engine received it, Skelder's layers beneath and above it); camera-N.png, the engine
textures libWendrath drew the last camera frames into; room-top.png, the delivered meshes from
above with the planes outlined by alignment; room.obj, the delivered meshes for a 3D viewer.
)";

struct Arguments {
    SimOptions options;
    double seconds = 6;
    bool pictures = true;
    std::string out = "build/demo";
    long long frames = -1;
};

// The whole text as a number, or nothing.
template <typename Number, typename Convert> bool ParseNumber(const std::string& text, Convert convert, Number& value)
{
    try {
        size_t used = 0;
        value = convert(text, &used);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

double PositiveNumber(const std::string& name, const std::string& text)
{
    double value = 0;
    const auto convert = [](const std::string& number, size_t* used) { return std::stod(number, used); };
    if (!ParseNumber(text, convert, value) || !std::isfinite(value) || value <= 0) {
        throw std::invalid_argument(name + " needs a positive number, not " + text);
    }
    return value;
}

long long WholeNumber(const std::string& name, const std::string& text, long long lowest, long long highest)
{
    long long value = 0;
    const auto convert = [](const std::string& number, size_t* used) { return std::stoll(number, used); };
    if (!ParseNumber(text, convert, value) || value < lowest || value > highest) {
        throw std::invalid_argument(name + " needs a whole number from " + std::to_string(lowest) + " to " +
                                    std::to_string(highest) + ", not " + text);
    }
    return value;
}

void ParsePlugins(const std::string& list, SimOptions& options)
{
    options.kelbrin = options.skelder = options.wendrath = false;
    std::istringstream names(list);
    std::string name;
    while (std::getline(names, name, ',')) {
        if (name == "kelbrin") {
            options.kelbrin = true;
        } else if (name == "skelder") {
            options.skelder = true;
        } else if (name == "wendrath") {
            options.wendrath = true;
        } else {
            throw std::invalid_argument("--plugins takes kelbrin, skelder and wendrath, not " + name);
        }
    }
}

// Returns false when only the usage was asked for.
bool Parse(int argc, char** argv, Arguments& arguments)
{
    SimOptions& options = arguments.options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            return false;
        }
        if (name == "--no-pictures") {
            arguments.pictures = false;
            continue;
        }
        if (name == "--loader" || name == "--validate") {
            options.connection.loader = true;
            options.connection.validate = options.connection.validate || name == "--validate";
            continue;
        }
        if (i + 1 >= argc) {
            throw std::invalid_argument("unknown option or missing value: " + name);
        }
        const std::string value = argv[++i];
        if (name == "--seconds") {
            arguments.seconds = PositiveNumber(name, value);
        } else if (name == "--frames") {
            arguments.frames = WholeNumber(name, value, 1, 10'000'000);
        } else if (name == "--fps") {
            options.fps = PositiveNumber(name, value);
        } else if (name == "--trace-level") {
            options.traceLevel = static_cast<int>(WholeNumber(name, value, -1, 5));
        } else if (name == "--plane-filter") {
            options.planeFilter = static_cast<uint32_t>(WholeNumber(name, value, 0, 0xFFFFFFFFLL));
        } else if (name == "--plane-interval") {
            options.planeInterval = static_cast<uint32_t>(WholeNumber(name, value, 1, 1'000'000));
        } else if (name == "--library") {
            options.kelbrinLibrary = value;
        } else if (name == "--skelder") {
            options.skelderLibrary = value;
        } else if (name == "--wendrath") {
            options.wendrathLibrary = value;
        } else if (name == "--out") {
            arguments.out = value;
        } else if (name == "--plugins") {
            ParsePlugins(value, options);
        } else if (name == "--api-dump") {
            options.connection.loader = true;
            options.connection.apiDumpFile = value;
        } else {
            throw std::invalid_argument("unknown option: " + name);
        }
    }
    const double frames =
        arguments.frames > 0 ? static_cast<double>(arguments.frames) : std::ceil(arguments.seconds * options.fps);
    if (frames > 10'000'000) {
        throw std::invalid_argument("the run would be longer than 10,000,000 frames");
    }
    options.frames = static_cast<uint32_t>(frames);
    if (arguments.pictures) {
        options.pictureDirectory = arguments.out;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    arguments.options.kelbrinLibrary = QUENRA_SIM_KELBRIN_LIBRARY;
    arguments.options.skelderLibrary = QUENRA_SIM_SKELDER_LIBRARY;
    arguments.options.wendrathLibrary = QUENRA_SIM_WENDRATH_LIBRARY;
    // Without a camera plug-in in this build, the default is the other two.
    arguments.options.wendrath = QUENRA_SIM_CAMERA != 0;
    try {
        if (!Parse(argc, argv, arguments)) {
            std::cout << kUsage;
            return 0;
        }
    } catch (const std::exception& error) {
        std::cerr << "quenra-sim: " << error.what() << "\n\n" << kUsage;
        return 2;
    }
    try {
        if (!arguments.options.pictureDirectory.empty()) {
            std::filesystem::create_directories(arguments.options.pictureDirectory);
        }
        arguments.options.progress = isatty(STDOUT_FILENO) != 0;
        const quenra::sim::SimReport report = quenra::sim::RunSimulation(arguments.options, std::cout);
        quenra::sim::PrintReport(report, std::cout);
    } catch (const std::exception& error) {
        std::cerr << "quenra-sim: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
