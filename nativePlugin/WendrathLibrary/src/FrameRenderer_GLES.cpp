#include "FrameRenderer_GLES.h"

#include <cstdint>
#include <vector>

#include "GlesShaders.h"
#include "TraceLog.h"

namespace wendrath {
namespace {

// Position (x, y) and texture coordinate (u, v) per vertex. v runs opposite to y, so the
// first row of the camera image lands at the top of the target.
constexpr GLfloat kQuadVertices[] = {
    -1.0f, -1.0f, 0.0f, 1.0f, //
    1.0f,  -1.0f, 1.0f, 1.0f, //
    1.0f,  1.0f,  1.0f, 0.0f, //
    -1.0f, 1.0f,  0.0f, 0.0f, //
};
constexpr GLuint kQuadIndices[] = {0, 1, 2, 2, 3, 0};
constexpr GLsizei kVertexStride = 4 * sizeof(GLfloat);
constexpr uintptr_t kTexCoordOffset = 2 * sizeof(GLfloat);

static_assert(sizeof(kQuadVertices) == 64, "four vertices of four floats");
static_assert(sizeof(kQuadIndices) == 24, "six 32-bit indices");

bool IsWellFormed(const RenderHwBuffersEventArgs& args)
{
    if (args.bufferCount < 0 || args.width < 0 || args.height < 0) {
        return false;
    }
    return args.bufferCount == 0 || (args.hardwareBuffers != nullptr && args.targetTextures != nullptr);
}

} // namespace

FrameRenderer_GLES::FrameRenderer_GLES(IUnityXRTrace* trace) : FrameRenderer(trace), _cameraTextures(trace)
{
    BindEGLFunction("eglCreateImageKHR", eglCreateImageKHR);
    BindEGLFunction("eglDestroyImageKHR", eglDestroyImageKHR);
    BindEGLFunction("eglGetNativeClientBufferANDROID", eglGetNativeClientBufferANDROID);
    BindEGLFunction("glEGLImageTargetTexture2DOES", glEGLImageTargetTexture2DOES);
    display = eglGetCurrentDisplay();
    try {
        program = CreateProgram(VertexShader, FragmentShader);
        glGenFramebuffers(1, &framebuffer);
        CreateQuad();
    } catch (...) {
        // No destructor runs for a constructor that throws: release what was made before
        // the caller reports the failure.
        DeleteGlObjects();
        throw;
    }
}

FrameRenderer_GLES::~FrameRenderer_GLES()
{
    DeleteGlObjects();
}

void FrameRenderer_GLES::DeleteGlObjects()
{
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
    }
    if (indexBuffer != 0) {
        glDeleteBuffers(1, &indexBuffer);
    }
    if (framebuffer != 0) {
        glDeleteFramebuffers(1, &framebuffer);
    }
    if (program != 0) {
        glDeleteProgram(program);
    }
}

template <typename Function> void FrameRenderer_GLES::BindEGLFunction(const char* name, Function& function)
{
    function = reinterpret_cast<Function>(eglGetProcAddress(name));
    if (function == nullptr) {
        TraceLog(trace, kXRTraceLevelNotice, "Wendrath: FrameRenderer_GLES::BindEGLFunction - %s function not found",
                 name);
    }
}

bool FrameRenderer_GLES::HasEGLFunctions() const
{
    return eglCreateImageKHR != nullptr && eglDestroyImageKHR != nullptr &&
           eglGetNativeClientBufferANDROID != nullptr && glEGLImageTargetTexture2DOES != nullptr;
}

GLuint FrameRenderer_GLES::CompileShader(GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_FALSE) {
        return shader;
    }
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    // One more than asked for, so the log is terminated even if the driver counts without it.
    std::vector<GLchar> log(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    glGetShaderInfoLog(shader, static_cast<GLsizei>(log.size()), nullptr, log.data());
    TraceLog(trace, kXRTraceLevelNotice, "Wendrath: GL_ERROR: Shader compilation error");
    TraceLog(trace, kXRTraceLevelNotice, "Wendrath: GL_ERROR: %s", log.data());
    glDeleteShader(shader);
    return 0;
}

GLuint FrameRenderer_GLES::CreateProgram(const char* vertexSource, const char* fragmentSource)
{
    const GLuint program = glCreateProgram();
    const GLuint shaders[] = {CompileShader(GL_VERTEX_SHADER, vertexSource),
                              CompileShader(GL_FRAGMENT_SHADER, fragmentSource)};
    for (GLuint shader : shaders) {
        // Attaching 0 is a GL error the engine would find later; the program just fails to link.
        if (shader != 0) {
            glAttachShader(program, shader);
        }
    }
    glLinkProgram(program);
    glValidateProgram(program);
    for (GLuint shader : shaders) {
        if (shader != 0) {
            glDeleteShader(shader);
        }
    }
    return program;
}

void FrameRenderer_GLES::CreateQuad()
{
    glGenBuffers(1, &vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kQuadVertices), kQuadVertices, GL_STATIC_DRAW);
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(kQuadIndices), kQuadIndices, GL_STATIC_DRAW);
}

void FrameRenderer_GLES::RenderHwBuffers(const RenderHwBuffersEventArgs& args)
{
    // A missing function was reported once at construction; never call through it.
    if (!HasEGLFunctions()) {
        return;
    }
    if (!IsWellFormed(args)) {
        TraceLog(trace, kXRTraceLevelNotice,
                 "Wendrath: FrameRenderer_GLES::RenderHwBuffers - invalid record (bufferCount %d, width %d, height %d, "
                 "hardwareBuffers %p, targetTextures %p)",
                 args.bufferCount, args.width, args.height, static_cast<const void*>(args.hardwareBuffers),
                 static_cast<const void*>(args.targetTextures));
        return;
    }
    const size_t count = static_cast<size_t>(args.bufferCount);
    if (_cameraTextures.Size() != count) {
        _cameraTextures.Allocate(count);
        if (_cameraTextures.Size() != count) {
            TraceLog(trace, kXRTraceLevelNotice, "Wendrath: _cameraTextures allocation failed");
            return;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        DrawFrame(args.hardwareBuffers[i], _cameraTextures[i], args.targetTextures[i], args.width, args.height);
    }
}

void FrameRenderer_GLES::DrawFrame(AHardwareBuffer* buffer, GLuint texture, GLuint target, GLsizei width,
                                   GLsizei height)
{
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_EXTERNAL_OES, texture);
    const EGLImageKHR image = BindCameraImage(buffer);
    // Also without an image: the external texture then draws what it last held.
    RenderToTexture(target, width, height);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_EXTERNAL_OES, 0);
    if (image != EGL_NO_IMAGE_KHR) {
        eglDestroyImageKHR(display, image);
    }
}

EGLImageKHR FrameRenderer_GLES::BindCameraImage(AHardwareBuffer* buffer)
{
    const EGLClientBuffer clientBuffer = eglGetNativeClientBufferANDROID(buffer);
    if (clientBuffer == nullptr) {
        TraceLog(trace, kXRTraceLevelNotice, "Wendrath: could not create eglYUVClientBuffer");
        return EGL_NO_IMAGE_KHR;
    }
    const EGLImageKHR image =
        eglCreateImageKHR(display, EGL_NO_CONTEXT, EGL_NATIVE_BUFFER_ANDROID, clientBuffer, nullptr);
    if (image != EGL_NO_IMAGE_KHR) {
        glEGLImageTargetTexture2DOES(GL_TEXTURE_EXTERNAL_OES, image);
        return image;
    }
    const EGLint error = eglGetError();
    if (error != EGL_SUCCESS) {
        TraceLog(trace, kXRTraceLevelNotice, "Wendrath: eglYUVImage OpenGL error (0x%x) at %s:%d\n", error, __FILE__,
                 __LINE__);
    }
    return EGL_NO_IMAGE_KHR;
}

void FrameRenderer_GLES::RenderToTexture(GLuint texture, GLsizei width, GLsizei height)
{
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glBindTexture(GL_TEXTURE_2D, texture);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        TraceLog(trace, kXRTraceLevelNotice,
                 "Wendrath: FrameRenderer_GLES::RenderToTexture - !GL_FRAMEBUFFER_COMPLETE - (0x%x)", status);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return;
    }
    const GLenum drawBuffers[] = {GL_COLOR_ATTACHMENT0};
    glDrawBuffers(1, drawBuffers);
    glUseProgram(program);
    glViewport(0, 0, width, height);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glFrontFace(GL_CCW);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, kVertexStride, nullptr);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kVertexStride, reinterpret_cast<const void*>(kTexCoordOffset));
    glEnableVertexAttribArray(1);
    glProgramUniform1i(program, glGetUniformLocation(program, "sampler"), 0);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glUseProgram(0);
}

} // namespace wendrath
