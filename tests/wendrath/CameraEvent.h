// Helpers shared by the camera plug-in's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "RenderHwBuffersEventArgs.h"

namespace wendrath::test {

// A recorded call as the stand-in writes it: Call("glViewport", "0", "0", "64", "64").
inline std::string Call(const std::string& function, std::initializer_list<std::string> arguments = {})
{
    std::string call = function + "(";
    bool first = true;
    for (const std::string& argument : arguments) {
        call += (first ? "" : ", ") + argument;
        first = false;
    }
    return call + ")";
}

// Stand-in hardware buffers: addresses the renderer only hands on to EGL.
inline AHardwareBuffer* FakeHardwareBuffer(uintptr_t address)
{
    return reinterpret_cast<AHardwareBuffer*>(address);
}

// The arrays of one render event and its record, kept alive together.
struct CameraEvent {
    std::vector<AHardwareBuffer*> buffers;
    std::vector<uint32_t> targets;
    int32_t width = 640;
    int32_t height = 480;

    RenderHwBuffersEventArgs Args() const
    {
        return {static_cast<int32_t>(buffers.size()), width, height, buffers.data(), targets.data()};
    }
};

// An event of count frames with distinct buffers (0x5000, 0x5100, ...) and targets (100, 101, ...).
inline CameraEvent Frames(int count)
{
    CameraEvent event;
    for (int i = 0; i < count; ++i) {
        event.buffers.push_back(FakeHardwareBuffer(0x5000 + 0x100 * static_cast<uintptr_t>(i)));
        event.targets.push_back(100 + static_cast<uint32_t>(i));
    }
    return event;
}

} // namespace wendrath::test
