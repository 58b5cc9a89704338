// libWendrath driven by render-event records: each input decodes into device events for any
// renderer, EGL and GL ES failures of every kind the recording stand-in offers, and render events
// whose records carry any counts, sizes, arrays and event ids. After the device shuts down, GL and
// EGL must not have been misused and nothing the renderer made may be left.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "RecordingGl.h"
#include "RenderHwBuffersEventArgs.h"
#include "TraceRecorder.h"
#include "UnityXRTrace.h"
#include "WendrathPlugin.h"

namespace {

using quenra::simgl::RecordingGl;

// The engine outlives every input: the plug-in has no unload entry.
struct Engine {
    Engine()
    {
        trace.SetKeeping(false);
        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityGraphics>(graphics.Interface());
        UnityPluginLoad(registry.Interfaces());
    }
    quenra::simengine::TraceRecorder trace;
    quenra::simengine::EngineRegistry registry;
    quenra::simengine::FakeGraphics graphics;
};

constexpr std::array<UnityGfxRenderer, 5> kRenderers = {kUnityGfxRendererOpenGLES30, kUnityGfxRendererVulkan,
                                                        kUnityGfxRendererOpenGLES20, kUnityGfxRendererD3D11,
                                                        kUnityGfxRendererNull};
constexpr std::array<const char*, 8> kFunctions = {
    "eglCreateImageKHR", "eglDestroyImageKHR", "eglGetNativeClientBufferANDROID", "glEGLImageTargetTexture2DOES",
    "glGenTextures",     "glGenBuffers",       "glGenFramebuffers",               "glCreateProgram"};
constexpr std::array<GLenum, 4> kGlErrors = {GL_OUT_OF_MEMORY, GL_INVALID_VALUE, GL_INVALID_OPERATION, GL_NO_ERROR};
constexpr std::array<GLenum, 3> kFramebufferStatuses = {GL_FRAMEBUFFER_COMPLETE, GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT,
                                                        GL_FRAMEBUFFER_UNSUPPORTED};

AHardwareBuffer* Buffer(uint8_t index)
{
    return reinterpret_cast<AHardwareBuffer*>(0x5000 + 0x100 * static_cast<uintptr_t>(index));
}

void RenderEvent(FuzzedDataProvider& input)
{
    int32_t count = input.ConsumeIntegralInRange<int32_t>(-2, 12);
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
        count = -input.ConsumeIntegralInRange<int32_t>(0, INT32_MAX);
    }
    const size_t entries = count > 0 ? static_cast<size_t>(count) : input.ConsumeIntegralInRange<size_t>(0, 2);
    std::vector<AHardwareBuffer*> buffers(entries);
    std::vector<uint32_t> targets(entries);
    for (size_t i = 0; i < entries; ++i) {
        buffers[i] = input.ConsumeBool() ? nullptr : Buffer(input.ConsumeIntegralInRange<uint8_t>(0, 7));
        targets[i] = input.ConsumeIntegralInRange<uint32_t>(0, 8);
    }
    wendrath::RenderHwBuffersEventArgs args{count, input.ConsumeIntegral<int32_t>(), input.ConsumeIntegral<int32_t>(),
                                            input.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : buffers.data(),
                                            input.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : targets.data()};
    // Scripts pass records from memory of any alignment.
    std::vector<unsigned char> script(sizeof(args) + 8);
    const size_t offset = input.ConsumeIntegralInRange<size_t>(0, 7);
    std::memcpy(script.data() + offset, &args, sizeof(args));
    const int eventId = input.ConsumeIntegralInRange<int>(0, 5) == 0 ? input.ConsumeIntegral<int>()
                                                                     : wendrath::kRenderHwBuffersEventId;
    GetRenderEventFuncPtr()(eventId, input.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : script.data() + offset);
}

void Step(FuzzedDataProvider& input, Engine& engine, RecordingGl& gl)
{
    switch (input.ConsumeIntegralInRange<int>(0, 8)) {
    case 0:
        engine.graphics.SetRenderer(kRenderers[input.ConsumeIntegralInRange<size_t>(0, kRenderers.size() - 1)]);
        engine.graphics.FireDeviceEvent(static_cast<UnityGfxDeviceEventType>(input.ConsumeIntegralInRange<int>(0, 3)));
        break;
    case 1:
        gl.Withhold(kFunctions[input.ConsumeIntegralInRange<size_t>(0, 3)]);
        break;
    case 2:
        gl.RefuseClientBuffer(Buffer(input.ConsumeIntegralInRange<uint8_t>(0, 7)));
        break;
    case 3:
        gl.FailImages(input.ConsumeBool() ? EGL_BAD_ALLOC : EGL_BAD_PARAMETER);
        break;
    case 4:
        gl.FailTextureGeneration(input.ConsumeIntegralInRange<int>(0, 4),
                                 kGlErrors[input.ConsumeIntegralInRange<size_t>(0, kGlErrors.size() - 1)]);
        break;
    case 5:
        gl.SetFramebufferStatus(
            input.ConsumeIntegralInRange<GLuint>(0, 8),
            kFramebufferStatuses[input.ConsumeIntegralInRange<size_t>(0, kFramebufferStatuses.size() - 1)]);
        break;
    case 6:
        gl.FailShaderCompilation(input.ConsumeBool() ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER,
                                 input.ConsumeRandomLengthString(64));
        break;
    case 7:
        gl.ThrowFrom(kFunctions[input.ConsumeIntegralInRange<size_t>(4, kFunctions.size() - 1)]);
        break;
    default:
        if (input.ConsumeBool()) {
            LockMutex();
            UnlockMutex();
        }
        RenderEvent(input);
        break;
    }
}

template <typename Set> void CheckNoneLeft(const char* what, const Set& live)
{
    if (!live.empty()) {
        std::fprintf(stderr, "%zu %s left after the device shut down\n", static_cast<size_t>(live.size()), what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Engine engine;
    FuzzedDataProvider input(data, size);
    RecordingGl gl;
    for (int step = 0; step < 48 && input.remaining_bytes() > 0; ++step) {
        Step(input, engine, gl);
    }
    engine.graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
    for (const std::string& misuse : gl.Misuses()) {
        std::fprintf(stderr, "GL misuse: %s\n", misuse.c_str());
    }
    if (!gl.Misuses().empty()) {
        std::abort();
    }
    CheckNoneLeft("textures", gl.LiveTextures());
    CheckNoneLeft("buffers", gl.LiveBuffers());
    CheckNoneLeft("framebuffers", gl.LiveFramebuffers());
    CheckNoneLeft("programs", gl.LivePrograms());
    CheckNoneLeft("shaders", gl.LiveShaders());
    if (gl.LiveImages() != 0) {
        std::fprintf(stderr, "%zu EGL images left after the device shut down\n", gl.LiveImages());
        std::abort();
    }
    return 0;
}
