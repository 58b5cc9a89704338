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
#include <vector>

#include <getopt.h>
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

Options take their value as "--name value" or "--name=value". The exit status is 0 when the
report shows no failure, 1 when it does (each is named on standard error; under --validate,
only what the validation allowlist does not explain), 2 for a usage error.

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

// Returns false when only the usage was asked for. Takes "--name value" and "--name=value".
bool Parse(int argc, char** argv, Arguments& arguments)
{
    enum Option { kHelp = 'h', kSeconds = 256, kFrames, kFps, kTraceLevel, kPlaneFilter, kPlaneInterval, kPlugins,
                  kOut, kNoPictures, kLibrary, kSkelder, kWendrath, kLoader, kValidate, kApiDump };
    static const option kOptions[] = {
        {"help", no_argument, nullptr, kHelp},
        {"seconds", required_argument, nullptr, kSeconds},
        {"frames", required_argument, nullptr, kFrames},
        {"fps", required_argument, nullptr, kFps},
        {"trace-level", required_argument, nullptr, kTraceLevel},
        {"plane-filter", required_argument, nullptr, kPlaneFilter},
        {"plane-interval", required_argument, nullptr, kPlaneInterval},
        {"plugins", required_argument, nullptr, kPlugins},
        {"out", required_argument, nullptr, kOut},
        {"no-pictures", no_argument, nullptr, kNoPictures},
        {"library", required_argument, nullptr, kLibrary},
        {"skelder", required_argument, nullptr, kSkelder},
        {"wendrath", required_argument, nullptr, kWendrath},
        {"loader", no_argument, nullptr, kLoader},
        {"validate", no_argument, nullptr, kValidate},
        {"api-dump", required_argument, nullptr, kApiDump},
        {nullptr, 0, nullptr, 0},
    };
    SimOptions& options = arguments.options;
    opterr = 0;
    optind = 1;
    for (int index = 0, code; (code = getopt_long(argc, argv, "+h", kOptions, &index)) != -1; index = 0) {
        const std::string name = code == '?' ? std::string() : std::string("--") + kOptions[index].name;
        const std::string value = optarg != nullptr ? optarg : "";
        switch (code) {
        case kHelp:
            return false;
        case kSeconds:
            arguments.seconds = PositiveNumber(name, value);
            break;
        case kFrames:
            arguments.frames = WholeNumber(name, value, 1, 10'000'000);
            break;
        case kFps:
            options.fps = PositiveNumber(name, value);
            break;
        case kTraceLevel:
            options.traceLevel = static_cast<int>(WholeNumber(name, value, -1, 5));
            break;
        case kPlaneFilter:
            options.planeFilter = static_cast<uint32_t>(WholeNumber(name, value, 0, 0xFFFFFFFFLL));
            break;
        case kPlaneInterval:
            options.planeInterval = static_cast<uint32_t>(WholeNumber(name, value, 1, 1'000'000));
            break;
        case kPlugins:
            ParsePlugins(value, options);
            break;
        case kOut:
            arguments.out = value;
            break;
        case kNoPictures:
            arguments.pictures = false;
            break;
        case kLibrary:
            options.kelbrinLibrary = value;
            break;
        case kSkelder:
            options.skelderLibrary = value;
            break;
        case kWendrath:
            options.wendrathLibrary = value;
            break;
        case kValidate:
            options.connection.validate = true;
            options.connection.loader = true;
            break;
        case kLoader:
            options.connection.loader = true;
            break;
        case kApiDump:
            options.connection.loader = true;
            options.connection.apiDumpFile = value;
            break;
        default:
            // getopt_long leaves the option it could not take at optind - 1.
            throw std::invalid_argument("unknown option or missing value: " + std::string(argv[optind - 1]));
        }
    }
    if (optind < argc) {
        throw std::invalid_argument(std::string("unexpected argument: ") + argv[optind]);
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
        // A report that shows a failure fails the run, so that scripts and CI notice it.
        const std::vector<std::string> failures = quenra::sim::Failures(report);
        if (!failures.empty()) {
            std::cerr << "\nquenra-sim: the run failed:\n";
            for (const std::string& failure : failures) {
                std::cerr << "  " << failure << '\n';
            }
            return 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "quenra-sim: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
