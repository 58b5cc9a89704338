// The GLES renderer on a real driver: Mesa's llvmpipe through a surfaceless EGL display.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "CameraEvent.h"
#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FrameRenderer_GLES.h"
#include "PlatformGraphics.h"
#include "TraceRecorder.h"
#include "WendrathPlugin.h"

using namespace quenra::simengine;
using testing::HasSubstr;
using testing::IsEmpty;

namespace wendrath::test {
namespace {

const std::string kMissingClientBufferFunction =
    "Wendrath: FrameRenderer_GLES::BindEGLFunction - eglGetNativeClientBufferANDROID function not found";

bool HasExtension(const char* extensions, const char* name)
{
    if (extensions == nullptr) {
        return false;
    }
    const std::string list = std::string(" ") + extensions + " ";
    return list.find(std::string(" ") + name + " ") != std::string::npos;
}

// Names the driver reports as live objects of one kind, among the first few.
template <typename IsObject> int CountLive(IsObject isObject)
{
    int live = 0;
    for (GLuint name = 1; name <= 64; ++name) {
        live += isObject(name) == GL_TRUE ? 1 : 0;
    }
    return live;
}

class MesaRendererTest : public testing::Test {
protected:
    // The display is made once and kept for the process, as an application keeps it: terminating
    // it unloads the driver, whose own small allocations would then read as leaks.
    static void SetUpTestSuite()
    {
        if (HasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless")) {
            display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        }
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr) == EGL_FALSE) {
            display = EGL_NO_DISPLAY;
        }
    }

    void SetUp() override
    {
        if (display == EGL_NO_DISPLAY) {
            GTEST_SKIP() << "no surfaceless EGL display (EGL_MESA_platform_surfaceless) can be created here";
        }
        ASSERT_TRUE(HasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"));
        ASSERT_TRUE(HasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_no_config_context"));
        ASSERT_EQ(eglBindAPI(EGL_OPENGL_ES_API), EGL_TRUE);
        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 2, EGL_NONE};
        context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
        ASSERT_NE(context, EGL_NO_CONTEXT) << "EGL error " << std::hex << eglGetError();
        ASSERT_EQ(eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context), EGL_TRUE);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        registry.Provide<IUnityXRTrace>(trace.Interface());
        registry.Provide<IUnityGraphics>(graphics.Interface());
        UnityPluginLoad(registry.Interfaces());
    }

    void TearDown() override
    {
        if (context == EGL_NO_CONTEXT) {
            return;
        }
        graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }

    static EGLDisplay display;
    EGLContext context = EGL_NO_CONTEXT;
    TraceRecorder trace;
    EngineRegistry registry;
    FakeGraphics graphics{kUnityGfxRendererOpenGLES30};
};

EGLDisplay MesaRendererTest::display = EGL_NO_DISPLAY;

TEST_F(MesaRendererTest, RendererComesUpWithoutAGlErrorAndShutdownFreesEverything)
{
    graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Mesa binds the image functions but has no Android client buffers. It lacks GL_EXT_YUV_target
    // too, so the fragment shader fails (with the driver's log) while the vertex shader compiles.
    EXPECT_TRUE(trace.Contains(kXRTraceLevelNotice, kMissingClientBufferFunction));
    EXPECT_EQ(trace.Count("Wendrath: GL_ERROR: Shader compilation error"), 1u);
    EXPECT_EQ(trace.Size(), 3u);
    EXPECT_EQ(CountLive(glIsProgram), 1);
    EXPECT_EQ(CountLive(glIsBuffer), 2);

    // Events never call through the missing function, draw nothing and add no message.
    CameraEvent event = Frames(2);
    for (int i = 0; i < 3; ++i) {
        RenderHwBuffersEventArgs args = event.Args();
        GetRenderEventFuncPtr()(kRenderHwBuffersEventId, &args);
    }
    EXPECT_EQ(trace.Size(), 3u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    graphics.FireDeviceEvent(kUnityGfxDeviceEventShutdown);
    EXPECT_EQ(CountLive(glIsProgram), 0);
    // The vertex shader, flagged for deletion, lived as long as the program it was attached to.
    EXPECT_EQ(CountLive(glIsShader), 0);
    EXPECT_EQ(CountLive(glIsBuffer), 0);
    EXPECT_EQ(CountLive(glIsTexture), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MesaRendererTest, RenderToTextureCompletesTheFramebufferOfARealTexture)
{
    auto renderer = std::make_unique<FrameRenderer_GLES>(trace.Interface());
    GLuint target = 0;
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, 64, 32);
    glGetError();
    trace.Clear();

    renderer->RenderToTexture(target, 64, 32);
    // The driver accepted the attachment: no incomplete-framebuffer notice.
    EXPECT_THAT(trace.Messages(), IsEmpty());
    // Using the program Mesa could not link is refused by the driver; that is all it refuses.
    GLenum error = glGetError();
    while (error != GL_NO_ERROR) {
        EXPECT_EQ(error, static_cast<GLenum>(GL_INVALID_OPERATION));
        error = glGetError();
    }

    // The state the engine finds afterwards, as the driver reports it.
    GLint value = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_CURRENT_PROGRAM, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, static_cast<GLint>(target));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_THAT(viewport, testing::ElementsAre(0, 0, 64, 32));
    EXPECT_EQ(glIsEnabled(GL_CULL_FACE), GL_FALSE);
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), GL_FALSE);
    glGetIntegerv(GL_FRONT_FACE, &value);
    EXPECT_EQ(value, GL_CCW);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &value);
    ASSERT_NE(value, 0);
    const GLuint vertexBuffer = static_cast<GLuint>(value);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &value);
    EXPECT_EQ(value, 64);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &value);
    ASSERT_NE(value, 0);
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &value);
    EXPECT_EQ(value, 24);
    for (GLuint attribute : {0u, 1u}) {
        glGetVertexAttribiv(attribute, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &value);
        EXPECT_EQ(value, GL_TRUE);
        glGetVertexAttribiv(attribute, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &value);
        EXPECT_EQ(value, 16);
    }
    EXPECT_EQ(CountLive(glIsFramebuffer), 1);

    renderer.reset();
    EXPECT_EQ(glIsBuffer(vertexBuffer), GL_FALSE);
    EXPECT_EQ(CountLive(glIsFramebuffer), 0);
    EXPECT_EQ(CountLive(glIsProgram), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &target);
}

TEST_F(MesaRendererTest, TextureWithoutStorageIsReportedAsAnIncompleteFramebuffer)
{
    FrameRenderer_GLES renderer(trace.Interface());
    GLuint target = 0;
    glGenTextures(1, &target);
    trace.Clear();

    renderer.RenderToTexture(target, 64, 64);
    EXPECT_TRUE(trace.Contains(kXRTraceLevelNotice, "Wendrath: FrameRenderer_GLES::RenderToTexture - "
                                                    "!GL_FRAMEBUFFER_COMPLETE - (0x8cd6)"));
    GLint binding = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &binding);
    EXPECT_EQ(binding, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &target);
}

} // namespace
} // namespace wendrath::test
