#include "RecordingGl.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

namespace quenra::simgl {

struct RecordingGl::State {
    struct Shader {
        GLenum type;
    };

    mutable std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<std::string> misuses;

    std::set<std::string> withheld;
    std::set<const AHardwareBuffer*> refusedClientBuffers;
    bool failImages = false;
    EGLint imageError = EGL_SUCCESS;
    EGLint pendingEglError = EGL_SUCCESS;
    int goodTextureGenerations = -1;
    GLenum textureGenerationError = GL_NO_ERROR;
    // GL's error flags, one per kind, in the order glGetError reports them.
    std::vector<GLenum> pendingGlErrors;
    std::map<GLuint, GLenum> framebufferStatus;
    std::map<GLenum, std::string> failingShaders;
    std::set<std::string> throwing;
    std::function<void()> drawHook;

    GLuint nextTexture = 1;
    GLuint nextBuffer = 1;
    GLuint nextFramebuffer = 1;
    GLuint nextObject = 1;
    uintptr_t nextImage = 0x1000;
    std::set<GLuint> textures;
    std::map<GLuint, std::pair<GLenum, std::vector<uint8_t>>> buffers;
    std::set<GLuint> framebuffers;
    std::set<GLuint> programs;
    std::map<GLuint, Shader> shaders;
    // The last source given to a shader of each type, kept after the shader is deleted.
    std::map<GLenum, std::string> sources;
    std::set<EGLImageKHR> images;
    std::map<GLenum, GLuint> bufferBindings;
    std::map<GLenum, GLuint> textureBindings;
    GLuint framebufferBinding = 0;
    GLuint attachedTexture = 0;
    GLuint program = 0;

    // What draws need to be executed.
    struct Attribute {
        GLint size = 0;
        GLsizei stride = 0;
        uintptr_t offset = 0;
        GLuint buffer = 0;
        bool enabled = false;
    };
    std::map<const AHardwareBuffer*, const YuvFrame*> frames;
    // The hardware buffer behind each image, and behind each external texture an image was bound to
    // (a texture keeps its content after the image is destroyed).
    std::map<EGLImageKHR, const AHardwareBuffer*> imageBuffers;
    std::map<GLuint, const AHardwareBuffer*> externalBuffers;
    std::map<GLuint, Attribute> attributes;
    GLint viewport[4] = {0, 0, 0, 0};
    std::map<GLuint, simruntime::RgbaImage> texturePixels;
    bool executing = false;
    size_t executedDraws = 0;

    // As GL does: a kind of error already flagged and not yet read is not flagged again.
    void RaiseGlError(GLenum error)
    {
        if (std::find(pendingGlErrors.begin(), pendingGlErrors.end(), error) == pendingGlErrors.end()) {
            pendingGlErrors.push_back(error);
        }
    }

    // Records the call; throws first if the test asked this function to.
    void Record(const std::string& function, const std::vector<std::string>& arguments)
    {
        if (throwing.erase(function) != 0) {
            throw std::bad_alloc();
        }
        std::string call = function + "(";
        for (size_t i = 0; i < arguments.size(); ++i) {
            call += (i == 0 ? "" : ", ") + arguments[i];
        }
        calls.push_back(call + ")");
    }

    void Misuse(const std::string& what) { misuses.push_back(what); }

    template <typename Names> void Delete(Names& live, const char* kind, GLsizei count, const GLuint* names)
    {
        for (GLsizei i = 0; i < count; ++i) {
            if (names[i] != 0 && live.erase(names[i]) == 0) {
                Misuse(std::string("deleted unknown ") + kind + " " + std::to_string(names[i]));
            }
        }
    }

    // The exponent the fragment shader raises its colour to, from "pow(rgb, vec3(g))"; nothing when the
    // current shader is not one the stand-in can execute: a YUV-to-RGB conversion with BT.601 full range.
    std::optional<float> ShaderGamma() const
    {
        auto found = sources.find(GL_FRAGMENT_SHADER);
        if (program == 0 || found == sources.end()) {
            return std::nullopt;
        }
        const std::string& source = found->second;
        const size_t power = source.find("pow(rgb, vec3(");
        if (source.find("__samplerExternal2DY2YEXT") == std::string::npos ||
            source.find("yuv_2_rgb(yuv.rgb, itu_601_full_range)") == std::string::npos || power == std::string::npos) {
            return std::nullopt;
        }
        return std::strtof(source.c_str() + power + std::strlen("pow(rgb, vec3("), nullptr);
    }

    // Texel (u, v) of the external texture bound to unit 0, converted as the shader converts it.
    simruntime::Rgba Shade(float u, float v, float gamma) const
    {
        float yuv[3] = {0, 0, 0};
        auto texture = textureBindings.find(GL_TEXTURE_EXTERNAL_OES);
        auto buffer = texture != textureBindings.end() ? externalBuffers.find(texture->second) : externalBuffers.end();
        auto frame = buffer != externalBuffers.end() ? frames.find(buffer->second) : frames.end();
        if (frame != frames.end()) {
            const YuvFrame& f = *frame->second;
            const uint32_t x = std::min(static_cast<uint32_t>(std::max(0.0f, u) * f.width), f.width - 1);
            const uint32_t y = std::min(static_cast<uint32_t>(std::max(0.0f, v) * f.height), f.height - 1);
            const size_t chroma = size_t(y / 2) * (f.width / 2) + x / 2;
            yuv[0] = f.y[size_t(y) * f.width + x] / 255.0f;
            yuv[1] = f.u[chroma] / 255.0f;
            yuv[2] = f.v[chroma] / 255.0f;
        }
        const float rgb[3] = {yuv[0] + 1.402f * (yuv[2] - 0.5f),
                              yuv[0] - 0.344136f * (yuv[1] - 0.5f) - 0.714136f * (yuv[2] - 0.5f),
                              yuv[0] + 1.772f * (yuv[1] - 0.5f)};
        simruntime::Rgba colour{0, 0, 0, 255};
        for (int c = 0; c < 3; ++c) {
            const float linear = std::pow(std::clamp(rgb[c], 0.0f, 1.0f), gamma);
            colour[c] = static_cast<uint8_t>(std::lround(linear * 255.0f));
        }
        return colour;
    }

    // Vertex `index` of a two-float attribute, from its buffer.
    std::optional<std::array<float, 2>> Fetch(GLuint location, uint32_t index) const
    {
        auto attribute = attributes.find(location);
        if (attribute == attributes.end() || !attribute->second.enabled || attribute->second.size != 2) {
            return std::nullopt;
        }
        auto buffer = buffers.find(attribute->second.buffer);
        const size_t stride = attribute->second.stride != 0 ? attribute->second.stride : 2 * sizeof(float);
        const size_t at = attribute->second.offset + index * stride;
        if (buffer == buffers.end() || at + 2 * sizeof(float) > buffer->second.second.size()) {
            return std::nullopt;
        }
        std::array<float, 2> value;
        std::memcpy(value.data(), buffer->second.second.data() + at, sizeof(value));
        return value;
    }

    // Triangles of 32-bit indices, position at location 0 and texture coordinate at location 1 (as
    // the vertex shader declares them), into the attached texture.
    void Execute(GLenum mode, GLsizei count, GLenum type, uintptr_t offset)
    {
        const std::optional<float> gamma = ShaderGamma();
        auto elements = buffers.find(bufferBindings[GL_ELEMENT_ARRAY_BUFFER]);
        if (mode != GL_TRIANGLES || type != GL_UNSIGNED_INT || !gamma || framebufferBinding == 0 ||
            attachedTexture == 0 || elements == buffers.end() ||
            offset + size_t(count) * sizeof(uint32_t) > elements->second.second.size() || viewport[2] <= 0 ||
            viewport[3] <= 0) {
            Misuse("a draw the stand-in cannot execute");
            return;
        }
        simruntime::RgbaImage& target = texturePixels[attachedTexture];
        const auto width = static_cast<uint32_t>(viewport[0] + viewport[2]);
        const auto height = static_cast<uint32_t>(viewport[1] + viewport[3]);
        if (target.width != width || target.height != height) {
            target = simruntime::RgbaImage(width, height);
        }
        for (GLsizei first = 0; first + 3 <= count; first += 3) {
            std::array<float, 2> window[3];
            std::array<float, 2> uv[3];
            for (int k = 0; k < 3; ++k) {
                uint32_t index = 0;
                std::memcpy(&index, elements->second.second.data() + offset + (first + k) * sizeof(uint32_t),
                            sizeof(index));
                const auto position = Fetch(0, index);
                const auto texture = Fetch(1, index);
                if (!position || !texture) {
                    Misuse("a draw without its vertex attributes");
                    return;
                }
                window[k] = {viewport[0] + ((*position)[0] + 1) / 2 * viewport[2],
                             viewport[1] + ((*position)[1] + 1) / 2 * viewport[3]};
                uv[k] = *texture;
            }
            Fill(target, window, uv, *gamma);
        }
        ++executedDraws;
    }

    // Every pixel whose centre lies in the triangle, its texture coordinate interpolated.
    void Fill(simruntime::RgbaImage& target, const std::array<float, 2> (&p)[3], const std::array<float, 2> (&uv)[3],
              float gamma) const
    {
        const float area = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1]);
        if (area == 0) {
            return;
        }
        const auto low = [](float a, float b, float c) { return std::max(0.0f, std::floor(std::min({a, b, c}))); };
        const auto high = [](float a, float b, float c, uint32_t limit) {
            return std::min(static_cast<float>(limit), std::ceil(std::max({a, b, c})));
        };
        const auto top = static_cast<uint32_t>(high(p[0][1], p[1][1], p[2][1], target.height));
        const auto right = static_cast<uint32_t>(high(p[0][0], p[1][0], p[2][0], target.width));
        for (auto y = static_cast<uint32_t>(low(p[0][1], p[1][1], p[2][1])); y < top; ++y) {
            for (auto x = static_cast<uint32_t>(low(p[0][0], p[1][0], p[2][0])); x < right; ++x) {
                const float cx = x + 0.5f;
                const float cy = y + 0.5f;
                float weight[3];
                for (int k = 0; k < 3; ++k) {
                    const auto& a = p[(k + 1) % 3];
                    const auto& b = p[(k + 2) % 3];
                    weight[k] = ((b[0] - a[0]) * (cy - a[1]) - (cx - a[0]) * (b[1] - a[1])) / area;
                }
                if (weight[0] < 0 || weight[1] < 0 || weight[2] < 0) {
                    continue;
                }
                const float u = weight[0] * uv[0][0] + weight[1] * uv[1][0] + weight[2] * uv[2][0];
                const float v = weight[0] * uv[0][1] + weight[1] * uv[1][1] + weight[2] * uv[2][1];
                target.Set(x, y, Shade(u, v, gamma));
            }
        }
    }
};

namespace {

RecordingGl* live = nullptr;

std::string Number(long long value)
{
    return std::to_string(value);
}

std::string NameList(GLsizei count, const GLuint* names)
{
    std::string list = "[";
    for (GLsizei i = 0; i < count; ++i) {
        list += (i == 0 ? "" : ", ") + Number(names[i]);
    }
    return list + "]";
}

} // namespace

const EGLDisplay RecordingGl::kDisplay = reinterpret_cast<EGLDisplay>(uintptr_t{0xd15b1a});

std::string Enum(GLenum value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", value);
    return text;
}

std::string Address(const void* pointer)
{
    if (pointer == nullptr) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
    return text;
}

RecordingGl::RecordingGl() : state(std::make_unique<State>())
{
    if (live != nullptr) {
        throw std::logic_error("only one RecordingGl may exist at a time");
    }
    live = this;
}

RecordingGl::~RecordingGl()
{
    live = nullptr;
}

RecordingGl::State& RecordingGl::LiveState()
{
    if (live == nullptr) {
        // A GL call with no stand-in is a test set-up fault: stop loudly.
        std::fprintf(stderr, "GL or EGL called without a live RecordingGl\n");
        std::abort();
    }
    return *live->state;
}

void RecordingGl::Withhold(const std::string& function)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->withheld.insert(function);
}

void RecordingGl::RefuseClientBuffer(const AHardwareBuffer* buffer)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->refusedClientBuffers.insert(buffer);
}

void RecordingGl::FailImages(EGLint error)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->failImages = true;
    state->imageError = error;
}

void RecordingGl::FailTextureGeneration(int succeeding, GLenum error)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->goodTextureGenerations = succeeding;
    state->textureGenerationError = error;
}

void RecordingGl::LeavePendingErrors(std::initializer_list<GLenum> errors)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    for (GLenum error : errors) {
        state->RaiseGlError(error);
    }
}

void RecordingGl::SetFramebufferStatus(GLuint texture, GLenum status)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->framebufferStatus[texture] = status;
}

void RecordingGl::FailShaderCompilation(GLenum type, const std::string& infoLog)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->failingShaders[type] = infoLog;
}

void RecordingGl::ThrowFrom(const std::string& function)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->throwing.insert(function);
}

void RecordingGl::OnDraw(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->drawHook = std::move(hook);
}

void RecordingGl::ExecuteDraws()
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->executing = true;
}

void RecordingGl::ProvideFrame(const AHardwareBuffer* buffer, const YuvFrame* frame)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->frames[buffer] = frame;
}

simruntime::RgbaImage RecordingGl::TexturePixels(GLuint texture) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->texturePixels.find(texture);
    return found == state->texturePixels.end() ? simruntime::RgbaImage() : found->second;
}

size_t RecordingGl::ExecutedDraws() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->executedDraws;
}

std::vector<std::string> RecordingGl::Calls() const
{
    return CallsSince(0);
}

std::vector<std::string> RecordingGl::CallsSince(size_t position) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    const auto& calls = state->calls;
    return {calls.begin() + static_cast<std::ptrdiff_t>(std::min(position, calls.size())), calls.end()};
}

size_t RecordingGl::CallCount() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->calls.size();
}

size_t RecordingGl::Count(const std::string& function) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    const std::string prefix = function + "(";
    return static_cast<size_t>(std::count_if(state->calls.begin(), state->calls.end(), [&](const std::string& call) {
        return call.compare(0, prefix.size(), prefix) == 0;
    }));
}

std::vector<std::string> RecordingGl::Misuses() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->misuses;
}

std::vector<uint8_t> RecordingGl::BufferData(GLuint buffer) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->buffers.find(buffer);
    return found == state->buffers.end() ? std::vector<uint8_t>{} : found->second.second;
}

GLenum RecordingGl::BufferUsage(GLuint buffer) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->buffers.find(buffer);
    return found == state->buffers.end() ? GL_NONE : found->second.first;
}

std::string RecordingGl::ShaderSource(GLenum type) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->sources.find(type);
    return found == state->sources.end() ? std::string() : found->second;
}

std::set<GLuint> RecordingGl::LiveTextures() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->textures;
}

std::set<GLuint> RecordingGl::LiveBuffers() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    std::set<GLuint> names;
    for (const auto& entry : state->buffers) {
        names.insert(entry.first);
    }
    return names;
}

std::set<GLuint> RecordingGl::LiveFramebuffers() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->framebuffers;
}

std::set<GLuint> RecordingGl::LivePrograms() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->programs;
}

std::set<GLuint> RecordingGl::LiveShaders() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    std::set<GLuint> names;
    for (const auto& entry : state->shaders) {
        names.insert(entry.first);
    }
    return names;
}

size_t RecordingGl::LiveImages() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->images.size();
}

GLuint RecordingGl::BoundFramebuffer() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->framebufferBinding;
}

GLuint RecordingGl::CurrentProgram() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->program;
}

GLuint RecordingGl::BoundTexture(GLenum target) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->textureBindings.find(target);
    return found == state->textureBindings.end() ? 0 : found->second;
}

} // namespace quenra::simgl

// The entry points. Each takes the live recorder's lock for its whole body.
using quenra::simgl::Address;
using quenra::simgl::Enum;
using quenra::simgl::NameList;
using quenra::simgl::Number;
using quenra::simgl::RecordingGl;
using Lock = std::lock_guard<std::mutex>;

namespace {

EGLImageKHR EGLAPIENTRY FakeCreateImageKHR(EGLDisplay display, EGLContext context, EGLenum target,
                                           EGLClientBuffer buffer, const EGLint* attributes)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("eglCreateImageKHR",
              {Address(display), Address(context), Enum(target), Address(buffer), Address(attributes)});
    if (gl.failImages) {
        gl.pendingEglError = gl.imageError;
        return EGL_NO_IMAGE_KHR;
    }
    const EGLImageKHR image = reinterpret_cast<EGLImageKHR>(gl.nextImage++);
    gl.images.insert(image);
    // The client buffer is the hardware buffer's own address (see eglGetNativeClientBufferANDROID).
    gl.imageBuffers[image] = static_cast<const AHardwareBuffer*>(buffer);
    return image;
}

EGLBoolean EGLAPIENTRY FakeDestroyImageKHR(EGLDisplay display, EGLImageKHR image)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("eglDestroyImageKHR", {Address(display), Address(image)});
    if (gl.images.erase(image) == 0) {
        gl.Misuse("destroyed unknown image " + Address(image));
        return EGL_FALSE;
    }
    gl.imageBuffers.erase(image);
    return EGL_TRUE;
}

EGLClientBuffer EGLAPIENTRY FakeGetNativeClientBufferANDROID(const AHardwareBuffer* buffer)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("eglGetNativeClientBufferANDROID", {Address(buffer)});
    if (buffer == nullptr || gl.refusedClientBuffers.count(buffer) != 0) {
        return nullptr;
    }
    // The buffer's own address stands for its client buffer.
    return const_cast<AHardwareBuffer*>(buffer);
}

void GL_APIENTRY FakeEGLImageTargetTexture2DOES(GLenum target, GLeglImageOES image)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glEGLImageTargetTexture2DOES", {Enum(target), Address(image)});
    if (gl.images.count(image) == 0) {
        gl.Misuse("bound unknown image " + Address(image));
        return;
    }
    gl.externalBuffers[gl.textureBindings[target]] = gl.imageBuffers[image];
}

template <typename Function> __eglMustCastToProperFunctionPointerType Entry(Function function)
{
    return reinterpret_cast<__eglMustCastToProperFunctionPointerType>(function);
}

} // namespace

__eglMustCastToProperFunctionPointerType EGLAPIENTRY eglGetProcAddress(const char* name)
{
    static const std::map<std::string, __eglMustCastToProperFunctionPointerType> entries = {
        {"eglCreateImageKHR", Entry(&FakeCreateImageKHR)},
        {"eglDestroyImageKHR", Entry(&FakeDestroyImageKHR)},
        {"eglGetNativeClientBufferANDROID", Entry(&FakeGetNativeClientBufferANDROID)},
        {"glEGLImageTargetTexture2DOES", Entry(&FakeEGLImageTargetTexture2DOES)},
    };
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("eglGetProcAddress", {name});
    auto found = entries.find(name);
    return found == entries.end() || gl.withheld.count(name) != 0 ? nullptr : found->second;
}

EGLDisplay EGLAPIENTRY eglGetCurrentDisplay()
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("eglGetCurrentDisplay", {});
    return RecordingGl::kDisplay;
}

EGLint EGLAPIENTRY eglGetError()
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("eglGetError", {});
    return std::exchange(gl.pendingEglError, EGL_SUCCESS);
}

void GL_APIENTRY glActiveTexture(GLenum texture)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glActiveTexture", {Enum(texture)});
}

void GL_APIENTRY glAttachShader(GLuint program, GLuint shader)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glAttachShader", {Number(program), Number(shader)});
    if (gl.programs.count(program) == 0 || gl.shaders.count(shader) == 0) {
        gl.Misuse("attached shader " + Number(shader) + " to program " + Number(program));
    }
}

void GL_APIENTRY glBindBuffer(GLenum target, GLuint buffer)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glBindBuffer", {Enum(target), Number(buffer)});
    gl.bufferBindings[target] = buffer;
}

void GL_APIENTRY glBindFramebuffer(GLenum target, GLuint framebuffer)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glBindFramebuffer", {Enum(target), Number(framebuffer)});
    if (framebuffer != 0 && gl.framebuffers.count(framebuffer) == 0) {
        gl.Misuse("bound unknown framebuffer " + Number(framebuffer));
    }
    gl.framebufferBinding = framebuffer;
}

void GL_APIENTRY glBindTexture(GLenum target, GLuint texture)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glBindTexture", {Enum(target), Number(texture)});
    gl.textureBindings[target] = texture;
}

void GL_APIENTRY glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glBufferData", {Enum(target), Number(size), Enum(usage)});
    auto found = gl.buffers.find(gl.bufferBindings[target]);
    if (found == gl.buffers.end()) {
        gl.Misuse("buffer data without a buffer bound to " + Enum(target));
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    found->second = {usage, std::vector<uint8_t>(bytes, bytes + size)};
}

GLenum GL_APIENTRY glCheckFramebufferStatus(GLenum target)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glCheckFramebufferStatus", {Enum(target)});
    auto found = gl.framebufferStatus.find(gl.attachedTexture);
    return found == gl.framebufferStatus.end() ? GL_FRAMEBUFFER_COMPLETE : found->second;
}

void GL_APIENTRY glCompileShader(GLuint shader)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glCompileShader", {Number(shader)});
}

GLuint GL_APIENTRY glCreateProgram()
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glCreateProgram", {});
    gl.programs.insert(gl.nextObject);
    return gl.nextObject++;
}

GLuint GL_APIENTRY glCreateShader(GLenum type)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glCreateShader", {Enum(type)});
    gl.shaders[gl.nextObject] = {type};
    return gl.nextObject++;
}

void GL_APIENTRY glDeleteBuffers(GLsizei n, const GLuint* buffers)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glDeleteBuffers", {Number(n), NameList(n, buffers)});
    gl.Delete(gl.buffers, "buffer", n, buffers);
}

void GL_APIENTRY glDeleteFramebuffers(GLsizei n, const GLuint* framebuffers)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glDeleteFramebuffers", {Number(n), NameList(n, framebuffers)});
    gl.Delete(gl.framebuffers, "framebuffer", n, framebuffers);
}

void GL_APIENTRY glDeleteProgram(GLuint program)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glDeleteProgram", {Number(program)});
    gl.Delete(gl.programs, "program", 1, &program);
}

void GL_APIENTRY glDeleteShader(GLuint shader)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glDeleteShader", {Number(shader)});
    gl.Delete(gl.shaders, "shader", 1, &shader);
}

void GL_APIENTRY glDeleteTextures(GLsizei n, const GLuint* textures)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glDeleteTextures", {Number(n), NameList(n, textures)});
    gl.Delete(gl.textures, "texture", n, textures);
    for (GLsizei i = 0; i < n; ++i) {
        gl.externalBuffers.erase(textures[i]);
        gl.texturePixels.erase(textures[i]);
    }
}

void GL_APIENTRY glDisable(GLenum capability)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glDisable", {Enum(capability)});
}

void GL_APIENTRY glDrawBuffers(GLsizei n, const GLenum* buffers)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    std::vector<std::string> arguments{Number(n)};
    for (GLsizei i = 0; i < n; ++i) {
        arguments.push_back(Enum(buffers[i]));
    }
    gl.Record("glDrawBuffers", arguments);
}

void GL_APIENTRY glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices)
{
    std::function<void()> hook;
    {
        auto& gl = RecordingGl::LiveState();
        Lock lock(gl.mutex);
        gl.Record("glDrawElements", {Enum(mode), Number(count), Enum(type),
                                     Number(static_cast<long long>(reinterpret_cast<uintptr_t>(indices)))});
        hook = gl.drawHook;
        if (gl.executing) {
            gl.Execute(mode, count, type, reinterpret_cast<uintptr_t>(indices));
        }
    }
    if (hook) {
        hook();
    }
}

void GL_APIENTRY glEnableVertexAttribArray(GLuint index)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glEnableVertexAttribArray", {Number(index)});
    gl.attributes[index].enabled = true;
}

void GL_APIENTRY glFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture, GLint level)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glFramebufferTexture2D",
              {Enum(target), Enum(attachment), Enum(textarget), Number(texture), Number(level)});
    if (gl.framebufferBinding == 0) {
        gl.Misuse("attached a texture to the default framebuffer");
    }
    gl.attachedTexture = texture;
}

void GL_APIENTRY glFrontFace(GLenum mode)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glFrontFace", {Enum(mode)});
}

void GL_APIENTRY glGenBuffers(GLsizei n, GLuint* buffers)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glGenBuffers", {Number(n)});
    for (GLsizei i = 0; i < n; ++i) {
        buffers[i] = gl.nextBuffer++;
        gl.buffers[buffers[i]] = {GL_NONE, {}};
    }
}

void GL_APIENTRY glGenFramebuffers(GLsizei n, GLuint* framebuffers)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glGenFramebuffers", {Number(n)});
    for (GLsizei i = 0; i < n; ++i) {
        framebuffers[i] = gl.nextFramebuffer++;
        gl.framebuffers.insert(framebuffers[i]);
    }
}

void GL_APIENTRY glGenTextures(GLsizei n, GLuint* textures)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glGenTextures", {Number(n)});
    for (GLsizei i = 0; i < n; ++i) {
        if (gl.goodTextureGenerations == 0) {
            // Failed generation makes no name.
            gl.goodTextureGenerations = -1;
            gl.RaiseGlError(gl.textureGenerationError);
            textures[i] = 0;
            continue;
        }
        if (gl.goodTextureGenerations > 0) {
            --gl.goodTextureGenerations;
        }
        textures[i] = gl.nextTexture++;
        gl.textures.insert(textures[i]);
    }
}

GLenum GL_APIENTRY glGetError()
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glGetError", {});
    if (gl.pendingGlErrors.empty()) {
        return GL_NO_ERROR;
    }
    const GLenum error = gl.pendingGlErrors.front();
    gl.pendingGlErrors.erase(gl.pendingGlErrors.begin());
    return error;
}

void GL_APIENTRY glGetShaderInfoLog(GLuint shader, GLsizei bufSize, GLsizei* length, GLchar* infoLog)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glGetShaderInfoLog", {Number(shader), Number(bufSize)});
    auto found = gl.shaders.find(shader);
    const std::string log = found == gl.shaders.end() ? std::string() : gl.failingShaders[found->second.type];
    const size_t copied = bufSize > 0 ? std::min(log.size(), static_cast<size_t>(bufSize) - 1) : 0;
    if (bufSize > 0) {
        std::memcpy(infoLog, log.data(), copied);
        infoLog[copied] = '\0';
    }
    if (length != nullptr) {
        *length = static_cast<GLsizei>(copied);
    }
}

void GL_APIENTRY glGetShaderiv(GLuint shader, GLenum pname, GLint* params)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glGetShaderiv", {Number(shader), Enum(pname)});
    auto found = gl.shaders.find(shader);
    if (found == gl.shaders.end()) {
        gl.Misuse("queried unknown shader " + Number(shader));
        return;
    }
    auto failing = gl.failingShaders.find(found->second.type);
    if (pname == GL_COMPILE_STATUS) {
        *params = failing == gl.failingShaders.end() ? GL_TRUE : GL_FALSE;
    } else if (pname == GL_INFO_LOG_LENGTH) {
        // Counts the terminating null, as GL does.
        *params = failing == gl.failingShaders.end() ? 0 : static_cast<GLint>(failing->second.size() + 1);
    }
}

GLint GL_APIENTRY glGetUniformLocation(GLuint program, const GLchar* name)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glGetUniformLocation", {Number(program), name});
    return std::string(name) == "sampler" ? RecordingGl::kSamplerLocation : -1;
}

void GL_APIENTRY glLinkProgram(GLuint program)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glLinkProgram", {Number(program)});
}

void GL_APIENTRY glProgramUniform1i(GLuint program, GLint location, GLint v0)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glProgramUniform1i", {Number(program), Number(location), Number(v0)});
}

void GL_APIENTRY glShaderSource(GLuint shader, GLsizei count, const GLchar* const* strings, const GLint* lengths)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glShaderSource", {Number(shader), Number(count)});
    auto found = gl.shaders.find(shader);
    if (found == gl.shaders.end()) {
        gl.Misuse("source for unknown shader " + Number(shader));
        return;
    }
    std::string& source = gl.sources[found->second.type];
    source.clear();
    for (GLsizei i = 0; i < count; ++i) {
        source += lengths == nullptr || lengths[i] < 0 ? std::string(strings[i]) : std::string(strings[i], lengths[i]);
    }
}

void GL_APIENTRY glUseProgram(GLuint program)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glUseProgram", {Number(program)});
    if (program != 0 && gl.programs.count(program) == 0) {
        gl.Misuse("used unknown program " + Number(program));
    }
    gl.program = program;
}

void GL_APIENTRY glValidateProgram(GLuint program)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glValidateProgram", {Number(program)});
}

void GL_APIENTRY glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                       const void* pointer)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glVertexAttribPointer", {Number(index), Number(size), Enum(type), Number(normalized), Number(stride),
                                        Number(static_cast<long long>(reinterpret_cast<uintptr_t>(pointer)))});
    auto& attribute = gl.attributes[index];
    attribute.size = size;
    attribute.stride = stride;
    attribute.offset = reinterpret_cast<uintptr_t>(pointer);
    attribute.buffer = gl.bufferBindings[GL_ARRAY_BUFFER];
}

void GL_APIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    auto& gl = RecordingGl::LiveState();
    Lock lock(gl.mutex);
    gl.Record("glViewport", {Number(x), Number(y), Number(width), Number(height)});
    gl.viewport[0] = x;
    gl.viewport[1] = y;
    gl.viewport[2] = width;
    gl.viewport[3] = height;
}
