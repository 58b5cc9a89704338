// Recording stand-in for the platform's EGL and GL ES, linked into the unit tests (and exported by
// the simulator) in place of libEGL and libGLESv2. It defines the entry points the camera renderer
// calls, records each call with its arguments, tracks the objects made and deleted, and can be told
// to fail in each way the renderer handles. Asked to, it also executes the renderer's draws: indexed triangles
// from the bound buffers into the texture attached to the bound framebuffer, within the viewport,
// sampling the external image of a hardware buffer whose content it was given and converting it as
// the renderer's fragment shader says (BT.601 full range, then its gamma). One instance at a time is
// live; the entry points talk to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "PlatformGraphics.h"
#include "RgbaImage.h"
#include "YuvFrame.h"

namespace quenra::simgl {

class RecordingGl {
public:
    // Answers of the stand-in that tests compare against.
    static const EGLDisplay kDisplay;
    static constexpr GLint kSamplerLocation = 3;

    RecordingGl();
    ~RecordingGl();
    RecordingGl(const RecordingGl&) = delete;
    RecordingGl& operator=(const RecordingGl&) = delete;

    // Set-up of the world the renderer meets.
    // eglGetProcAddress answers null for this name.
    void Withhold(const std::string& function);
    // eglGetNativeClientBufferANDROID answers null for this buffer.
    void RefuseClientBuffer(const AHardwareBuffer* buffer);
    // eglCreateImageKHR makes no image; eglGetError then reports error.
    void FailImages(EGLint error);
    // The texture generation after `succeeding` good ones leaves error for glGetError, once.
    void FailTextureGeneration(int succeeding, GLenum error);
    // The engine left these errors on its context unread: glGetError reports them, one per call.
    void LeavePendingErrors(std::initializer_list<GLenum> errors);
    // glCheckFramebufferStatus answers status while texture is attached.
    void SetFramebufferStatus(GLuint texture, GLenum status);
    // Shaders of this type do not compile and carry infoLog.
    void FailShaderCompilation(GLenum type, const std::string& infoLog);
    // The next call of this function throws std::bad_alloc.
    void ThrowFrom(const std::string& function);
    // Runs at each glDrawElements, outside the recorder's lock.
    void OnDraw(std::function<void()> hook);
    // From now on draws are executed, not only recorded (a test of calls alone need not pay for pixels).
    void ExecuteDraws();
    // The content of a hardware buffer, which draws sample once it is bound as an external image;
    // the frame must outlive its use. Buffers without content sample as black YUV (0, 0, 0).
    void ProvideFrame(const AHardwareBuffer* buffer, const YuvFrame* frame);

    // What the renderer did. Calls read like "glBindTexture(0x8d65, 1)": enumerants in hexadecimal,
    // names, counts and offsets in decimal, pointers as addresses or "null".
    std::vector<std::string> Calls() const;
    // The calls recorded since the given position of Calls().
    std::vector<std::string> CallsSince(size_t position) const;
    size_t CallCount() const;
    size_t Count(const std::string& function) const;
    // Wrong uses of GL and EGL (deleting what does not exist, attaching shader 0, ...): each is a fault.
    std::vector<std::string> Misuses() const;

    std::vector<uint8_t> BufferData(GLuint buffer) const;
    GLenum BufferUsage(GLuint buffer) const;
    std::string ShaderSource(GLenum type) const;
    std::set<GLuint> LiveTextures() const;
    std::set<GLuint> LiveBuffers() const;
    std::set<GLuint> LiveFramebuffers() const;
    std::set<GLuint> LivePrograms() const;
    std::set<GLuint> LiveShaders() const;
    size_t LiveImages() const;
    GLuint BoundFramebuffer() const;
    GLuint CurrentProgram() const;
    GLuint BoundTexture(GLenum target) const;
    // What draws wrote into a texture, rows from the bottom as GL stores them, sized by the viewport
    // of the first draw into it; empty for a texture never drawn into.
    simruntime::RgbaImage TexturePixels(GLuint texture) const;
    // Draws that wrote pixels.
    size_t ExecutedDraws() const;

    // The state the entry points work on; defined with them.
    struct State;
    static State& LiveState();

private:
    std::unique_ptr<State> state;
};

// Argument formatting shared by the stand-in and the tests' expected call lists.
std::string Enum(GLenum value);
std::string Address(const void* pointer);

} // namespace quenra::simgl
