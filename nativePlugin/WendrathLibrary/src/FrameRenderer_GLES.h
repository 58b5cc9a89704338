// Draws each camera frame (an Android hardware buffer in a YUV layout) into its engine texture:
// the buffer becomes an EGL image bound to an external texture, and a full-screen quad is drawn
// through the YUV shader into the texture's framebuffer.
#pragma once

#include "FrameRenderer.h"
#include "PlatformGraphics.h"
#include "TextureArray.h"

namespace wendrath {

class FrameRenderer_GLES final : public FrameRenderer {
public:
    // Needs the engine's GL context current.
    explicit FrameRenderer_GLES(IUnityXRTrace* trace);
    ~FrameRenderer_GLES() override;

    void RenderHwBuffers(const RenderHwBuffersEventArgs& args) override;
    void RenderToTexture(GLuint texture, GLsizei width, GLsizei height);

private:
    template <typename Function> void BindEGLFunction(const char* name, Function& function);
    bool HasEGLFunctions() const;
    GLuint CompileShader(GLenum type, const char* source);
    GLuint CreateProgram(const char* vertexSource, const char* fragmentSource);
    void CreateQuad();
    void DeleteGlObjects();
    void DrawFrame(AHardwareBuffer* buffer, GLuint texture, GLuint target, GLsizei width, GLsizei height);
    // The buffer as an image bound to the active external texture, or EGL_NO_IMAGE_KHR.
    EGLImageKHR BindCameraImage(AHardwareBuffer* buffer);

    // The Android entry points are bound by name so the library also loads where they are missing.
    PFNEGLCREATEIMAGEKHRPROC eglCreateImageKHR = nullptr;
    PFNEGLDESTROYIMAGEKHRPROC eglDestroyImageKHR = nullptr;
    PFNEGLGETNATIVECLIENTBUFFERANDROIDPROC eglGetNativeClientBufferANDROID = nullptr;
    PFNGLEGLIMAGETARGETTEXTURE2DOESPROC glEGLImageTargetTexture2DOES = nullptr;
    GLuint program = 0;
    GLuint framebuffer = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    // One external texture per camera frame of an event, kept while the frame count stays the same.
    TextureArray _cameraTextures;
    EGLDisplay display = EGL_NO_DISPLAY;
};

} // namespace wendrath
