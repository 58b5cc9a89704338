#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "CameraEvent.h"
#include "FrameRenderer_GLES.h"
#include "FrameRenderer_Vulkan.h"
#include "GlesShaders.h"
#include "RecordingGl.h"
#include "TraceRecorder.h"

using namespace quenra::simengine;
using namespace quenra::simgl;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::MatchesRegex;
using testing::StartsWith;

namespace wendrath::test {
namespace {

constexpr int kNotice = kXRTraceLevelNotice;
const std::string kNoClientBuffer = "Wendrath: could not create eglYUVClientBuffer";
const std::string kAllocationFailed = "Wendrath: _cameraTextures allocation failed";
// Names the stand-in gives in construction order: program 1 (shaders 2 and 3), framebuffer 1,
// vertex buffer 1, index buffer 2; camera textures from 1.
const std::string kProgram = "1";
const std::string kFramebuffer = "1";

class FrameRendererGlesTest : public testing::Test {
protected:
    void TearDown() override
    {
        renderer.reset();
        EXPECT_THAT(gl.Misuses(), IsEmpty());
    }

    FrameRenderer& Renderer()
    {
        if (!renderer) {
            renderer = FrameRenderer::Create(GraphicsAPI::OpenGLES, trace.Interface());
        }
        return *renderer;
    }

    // Runs one event and returns the calls it made.
    std::vector<std::string> Render(const CameraEvent& event)
    {
        FrameRenderer& renderer = Renderer();
        const size_t mark = gl.CallCount();
        renderer.RenderHwBuffers(event.Args());
        return gl.CallsSince(mark);
    }

    std::vector<std::string> CallsNamed(const std::string& function) const
    {
        std::vector<std::string> found;
        for (const std::string& call : gl.Calls()) {
            if (call.rfind(function + "(", 0) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }

    TraceRecorder trace;
    RecordingGl gl;
    std::unique_ptr<FrameRenderer> renderer;
};

std::vector<std::string> DrawInto(const std::string& target, int width, int height)
{
    const std::string floatType = Enum(GL_FLOAT);
    return {
        Call("glBindFramebuffer", {Enum(GL_FRAMEBUFFER), kFramebuffer}),
        Call("glBindTexture", {Enum(GL_TEXTURE_2D), target}),
        Call("glFramebufferTexture2D",
             {Enum(GL_FRAMEBUFFER), Enum(GL_COLOR_ATTACHMENT0), Enum(GL_TEXTURE_2D), target, "0"}),
        Call("glCheckFramebufferStatus", {Enum(GL_FRAMEBUFFER)}),
        Call("glDrawBuffers", {"1", Enum(GL_COLOR_ATTACHMENT0)}),
        Call("glUseProgram", {kProgram}),
        Call("glViewport", {"0", "0", std::to_string(width), std::to_string(height)}),
        Call("glBindBuffer", {Enum(GL_ARRAY_BUFFER), "1"}),
        Call("glBindBuffer", {Enum(GL_ELEMENT_ARRAY_BUFFER), "2"}),
        Call("glFrontFace", {Enum(GL_CCW)}),
        Call("glDisable", {Enum(GL_CULL_FACE)}),
        Call("glDisable", {Enum(GL_DEPTH_TEST)}),
        Call("glVertexAttribPointer", {"0", "2", floatType, "0", "16", "0"}),
        Call("glEnableVertexAttribArray", {"0"}),
        Call("glVertexAttribPointer", {"1", "2", floatType, "0", "16", "8"}),
        Call("glEnableVertexAttribArray", {"1"}),
        Call("glGetUniformLocation", {kProgram, "sampler"}),
        Call("glProgramUniform1i", {kProgram, std::to_string(RecordingGl::kSamplerLocation), "0"}),
        Call("glDrawElements", {Enum(GL_TRIANGLES), "6", Enum(GL_UNSIGNED_INT), "0"}),
        Call("glBindFramebuffer", {Enum(GL_FRAMEBUFFER), "0"}),
        Call("glUseProgram", {"0"}),
    };
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST_F(FrameRendererGlesTest, ConstructorBindsTheFourAndroidFunctionsByNameInOrder)
{
    Renderer();
    EXPECT_THAT(CallsNamed("eglGetProcAddress"),
                ElementsAre(Call("eglGetProcAddress", {"eglCreateImageKHR"}),
                            Call("eglGetProcAddress", {"eglDestroyImageKHR"}),
                            Call("eglGetProcAddress", {"eglGetNativeClientBufferANDROID"}),
                            Call("eglGetProcAddress", {"glEGLImageTargetTexture2DOES"})));
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(FrameRendererGlesTest, ConstructorUploadsTheQuadOnceAsStaticData)
{
    Renderer();
    const float vertices[] = {-1, -1, 0, 1, 1, -1, 1, 1, 1, 1, 1, 0, -1, 1, 0, 0};
    const uint32_t indices[] = {0, 1, 2, 2, 3, 0};
    std::vector<uint8_t> vertexBytes(sizeof(vertices));
    std::memcpy(vertexBytes.data(), vertices, sizeof(vertices));
    std::vector<uint8_t> indexBytes(sizeof(indices));
    std::memcpy(indexBytes.data(), indices, sizeof(indices));

    EXPECT_EQ(gl.BufferData(1), vertexBytes);
    EXPECT_EQ(gl.BufferData(2), indexBytes);
    EXPECT_EQ(gl.BufferUsage(1), static_cast<GLenum>(GL_STATIC_DRAW));
    EXPECT_EQ(gl.BufferUsage(2), static_cast<GLenum>(GL_STATIC_DRAW));
    EXPECT_THAT(CallsNamed("glBufferData"),
                ElementsAre(Call("glBufferData", {Enum(GL_ARRAY_BUFFER), "64", Enum(GL_STATIC_DRAW)}),
                            Call("glBufferData", {Enum(GL_ELEMENT_ARRAY_BUFFER), "24", Enum(GL_STATIC_DRAW)})));
}

TEST_F(FrameRendererGlesTest, ConstructorLinksOneProgramFromBothShadersAndDeletesTheShaders)
{
    Renderer();
    EXPECT_EQ(gl.ShaderSource(GL_VERTEX_SHADER), VertexShader);
    EXPECT_EQ(gl.ShaderSource(GL_FRAGMENT_SHADER), FragmentShader);
    EXPECT_THAT(CallsNamed("glAttachShader"),
                ElementsAre(Call("glAttachShader", {kProgram, "2"}), Call("glAttachShader", {kProgram, "3"})));
    EXPECT_EQ(gl.Count("glLinkProgram"), 1u);
    EXPECT_EQ(gl.Count("glValidateProgram"), 1u);
    EXPECT_THAT(gl.LiveShaders(), IsEmpty());
    EXPECT_THAT(gl.LivePrograms(), ElementsAre(1u));
    EXPECT_THAT(gl.LiveFramebuffers(), ElementsAre(1u));
}

TEST_F(FrameRendererGlesTest, ShaderThatDoesNotCompileLogsItsInfoLogAndIsLeftOut)
{
    gl.FailShaderCompilation(GL_FRAGMENT_SHADER, "0:5: '__samplerExternal2DY2YEXT' : unknown type");
    Renderer();
    EXPECT_THAT(trace.Texts(kNotice),
                ElementsAre("Wendrath: GL_ERROR: Shader compilation error",
                            "Wendrath: GL_ERROR: 0:5: '__samplerExternal2DY2YEXT' : unknown type"));
    // The program is still linked, with the vertex shader alone, and no shader is left behind.
    EXPECT_THAT(CallsNamed("glAttachShader"), ElementsAre(Call("glAttachShader", {kProgram, "2"})));
    EXPECT_EQ(gl.Count("glLinkProgram"), 1u);
    EXPECT_THAT(gl.LiveShaders(), IsEmpty());
}

TEST_F(FrameRendererGlesTest, OneFrameIsBoundAsAnImageDrawnIntoItsTargetAndTheImageDestroyed)
{
    CameraEvent event = Frames(1);
    const std::vector<std::string> calls = Render(event);

    const std::string external = Enum(GL_TEXTURE_EXTERNAL_OES);
    const std::string display = Address(RecordingGl::kDisplay);
    EXPECT_THAT(calls,
                testing::ElementsAreArray(Concat({
                    {
                        Call("glGetError"),
                        Call("glGenTextures", {"1"}),
                        Call("glGetError"),
                        Call("glActiveTexture", {Enum(GL_TEXTURE0)}),
                        Call("glBindTexture", {external, "1"}),
                        Call("eglGetNativeClientBufferANDROID", {"0x5000"}),
                        Call("eglCreateImageKHR", {display, "null", Enum(EGL_NATIVE_BUFFER_ANDROID), "0x5000", "null"}),
                        Call("glEGLImageTargetTexture2DOES", {external, "0x1000"}),
                    },
                    DrawInto("100", 640, 480),
                    {
                        Call("glActiveTexture", {Enum(GL_TEXTURE0)}),
                        Call("glBindTexture", {external, "0"}),
                        Call("eglDestroyImageKHR", {display, "0x1000"}),
                    },
                })));
    // What the engine finds afterwards: no framebuffer, no program, the target on unit 0.
    EXPECT_EQ(gl.BoundFramebuffer(), 0u);
    EXPECT_EQ(gl.CurrentProgram(), 0u);
    EXPECT_EQ(gl.BoundTexture(GL_TEXTURE_2D), 100u);
    EXPECT_EQ(gl.BoundTexture(GL_TEXTURE_EXTERNAL_OES), 0u);
    EXPECT_EQ(gl.LiveImages(), 0u);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(FrameRendererGlesTest, EachFrameUsesItsOwnExternalTextureBufferAndTarget)
{
    CameraEvent event = Frames(2);
    event.width = 320;
    event.height = 240;
    Render(event);
    EXPECT_THAT(CallsNamed("eglGetNativeClientBufferANDROID"),
                ElementsAre(Call("eglGetNativeClientBufferANDROID", {"0x5000"}),
                            Call("eglGetNativeClientBufferANDROID", {"0x5100"})));
    EXPECT_THAT(CallsNamed("glFramebufferTexture2D"), ElementsAre(HasSubstr(", 100, 0)"), HasSubstr(", 101, 0)")));
    EXPECT_THAT(CallsNamed("glBindTexture"),
                testing::Contains(Call("glBindTexture", {Enum(GL_TEXTURE_EXTERNAL_OES), "2"})));
    EXPECT_THAT(CallsNamed("glViewport"), testing::Each(Call("glViewport", {"0", "0", "320", "240"})));
    EXPECT_EQ(gl.Count("glDrawElements"), 2u);
    EXPECT_EQ(gl.Count("eglDestroyImageKHR"), 2u);
    EXPECT_EQ(gl.LiveImages(), 0u);
}

TEST_F(FrameRendererGlesTest, EventsWithTheSameFrameCountReuseTheExternalTextures)
{
    Render(Frames(2));
    Render(Frames(2));
    EXPECT_EQ(gl.Count("glGenTextures"), 2u);
    EXPECT_EQ(gl.Count("glDeleteTextures"), 0u);
    EXPECT_THAT(gl.LiveTextures(), ElementsAre(1u, 2u));
    EXPECT_EQ(gl.Count("glDrawElements"), 4u);
}

TEST_F(FrameRendererGlesTest, ChangedFrameCountReplacesTheExternalTexturesInOneDeletion)
{
    Render(Frames(2));
    const std::vector<std::string> calls = Render(Frames(3));
    EXPECT_EQ(calls.front(), Call("glDeleteTextures", {"2", "[1, 2]"}));
    EXPECT_THAT(gl.LiveTextures(), ElementsAre(3u, 4u, 5u));
    EXPECT_EQ(gl.Count("glDrawElements"), 5u);
}

TEST_F(FrameRendererGlesTest, EventWithNoFramesAfterTwoDeletesTheTexturesAndDrawsNothing)
{
    Render(Frames(2));
    const std::vector<std::string> calls = Render(Frames(0));
    EXPECT_THAT(calls, ElementsAre(Call("glDeleteTextures", {"2", "[1, 2]"})));
    EXPECT_THAT(gl.LiveTextures(), IsEmpty());
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(FrameRendererGlesTest, BufferWithoutAClientBufferIsReportedAndItsTargetStillDrawn)
{
    CameraEvent event = Frames(2);
    gl.RefuseClientBuffer(event.buffers[0]);
    Render(event);
    EXPECT_THAT(trace.Texts(kNotice), ElementsAre(kNoClientBuffer));
    EXPECT_THAT(CallsNamed("eglCreateImageKHR"), ElementsAre(HasSubstr("0x5100")));
    EXPECT_EQ(gl.Count("glDrawElements"), 2u);
    EXPECT_EQ(gl.Count("eglDestroyImageKHR"), 1u);
    EXPECT_EQ(gl.LiveImages(), 0u);
}

TEST_F(FrameRendererGlesTest, ImageThatCannotBeMadeLogsTheEglErrorAndItsTargetIsStillDrawn)
{
    gl.FailImages(EGL_BAD_PARAMETER);
    const std::vector<std::string> calls = Render(Frames(1));
    const std::vector<std::string> notices = trace.Texts(kNotice);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_THAT(notices[0], MatchesRegex("Wendrath: eglYUVImage OpenGL error \\(0x300c\\) at "
                                         ".*FrameRenderer_GLES\\.cpp:[0-9]+\n"));
    EXPECT_EQ(gl.Count("glEGLImageTargetTexture2DOES"), 0u);
    EXPECT_EQ(gl.Count("glDrawElements"), 1u);
    EXPECT_EQ(gl.Count("eglDestroyImageKHR"), 0u);
}

TEST_F(FrameRendererGlesTest, ImageThatCannotBeMadeWithoutAnEglErrorLogsNothing)
{
    gl.FailImages(EGL_SUCCESS);
    Render(Frames(1));
    EXPECT_EQ(gl.Count("eglGetError"), 1u);
    EXPECT_EQ(trace.Size(), 0u);
    EXPECT_EQ(gl.Count("glDrawElements"), 1u);
}

TEST_F(FrameRendererGlesTest, TextureGenerationErrorSkipsTheEventAndTheNextEventTriesAgain)
{
    gl.FailTextureGeneration(1, GL_OUT_OF_MEMORY);
    Render(Frames(2));
    const std::vector<std::string> notices = trace.Texts(kNotice);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_THAT(notices[0], MatchesRegex("Wendrath: OpenGL error \\(0x505\\) at .*TextureArray\\.cpp:[0-9]+\n"));
    EXPECT_EQ(notices[1], kAllocationFailed);
    EXPECT_EQ(gl.Count("glDrawElements"), 0u);
    EXPECT_EQ(gl.Count("eglGetNativeClientBufferANDROID"), 0u);

    Render(Frames(2));
    EXPECT_EQ(trace.Size(), 2u);
    EXPECT_EQ(gl.Count("glDrawElements"), 2u);
    EXPECT_EQ(gl.LiveTextures().size(), 2u);
}

TEST_F(FrameRendererGlesTest, ErrorsTheEngineLeftOnItsContextAreNotTakenForTheRenderers)
{
    gl.LeavePendingErrors({GL_INVALID_ENUM, GL_INVALID_OPERATION});
    Render(Frames(2));
    EXPECT_EQ(trace.Size(), 0u);
    EXPECT_EQ(gl.Count("glDrawElements"), 2u);
    EXPECT_EQ(gl.LiveTextures().size(), 2u);
}

TEST_F(FrameRendererGlesTest, IncompleteFramebufferLogsTheStatusSkipsThatFrameAndLeavesNoFramebufferBound)
{
    CameraEvent event = Frames(2);
    gl.SetFramebufferStatus(event.targets[1], GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT);
    Render(event);
    EXPECT_THAT(trace.Texts(kNotice),
                ElementsAre("Wendrath: FrameRenderer_GLES::RenderToTexture - !GL_FRAMEBUFFER_COMPLETE - (0x8cd6)"));
    EXPECT_EQ(gl.Count("glDrawElements"), 1u);
    EXPECT_EQ(gl.BoundFramebuffer(), 0u);
    // The skipped frame's image is still released.
    EXPECT_EQ(gl.Count("eglDestroyImageKHR"), 2u);
}

TEST_F(FrameRendererGlesTest, MalformedRecordsDrawNothingAllocateNothingAndAreReported)
{
    AHardwareBuffer* buffers[] = {FakeHardwareBuffer(0x5000)};
    uint32_t targets[] = {100};
    const RenderHwBuffersEventArgs records[] = {
        {-1, 64, 64, buffers, targets}, {1, 64, 64, nullptr, targets}, {1, 64, 64, buffers, nullptr},
        {1, -64, 64, buffers, targets}, {1, 64, -1, buffers, targets},
    };
    Renderer();
    const size_t mark = gl.CallCount();
    for (const auto& record : records) {
        Renderer().RenderHwBuffers(record);
    }
    EXPECT_THAT(gl.CallsSince(mark), IsEmpty());
    const std::vector<std::string> notices = trace.Texts(kNotice);
    ASSERT_EQ(notices.size(), 5u);
    EXPECT_THAT(notices[0],
                StartsWith("Wendrath: FrameRenderer_GLES::RenderHwBuffers - invalid record (bufferCount -1,"));
    EXPECT_THAT(notices[1], HasSubstr("hardwareBuffers (nil)"));
    EXPECT_THAT(notices[2], HasSubstr("targetTextures (nil)"));
    EXPECT_THAT(notices[3], HasSubstr("width -64"));
    EXPECT_THAT(notices[4], HasSubstr("height -1"));
}

TEST_F(FrameRendererGlesTest, EventWithNoFramesNeedsNoArrays)
{
    const RenderHwBuffersEventArgs empty{0, 0, 0, nullptr, nullptr};
    Renderer().RenderHwBuffers(empty);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST_F(FrameRendererGlesTest, DestructionDeletesEverythingTheRendererMade)
{
    Render(Frames(3));
    renderer.reset();
    EXPECT_THAT(gl.LiveTextures(), IsEmpty());
    EXPECT_THAT(gl.LiveBuffers(), IsEmpty());
    EXPECT_THAT(gl.LiveFramebuffers(), IsEmpty());
    EXPECT_THAT(gl.LivePrograms(), IsEmpty());
    EXPECT_EQ(gl.Count("glDeleteTextures"), 1u);
}

class MissingEglFunctionTest : public FrameRendererGlesTest, public testing::WithParamInterface<const char*> {};

TEST_P(MissingEglFunctionTest, IsReportedOnceAndNothingIsEverDrawn)
{
    gl.Withhold(GetParam());
    Renderer();
    EXPECT_THAT(trace.Texts(kNotice), ElementsAre(std::string("Wendrath: FrameRenderer_GLES::BindEGLFunction - ") +
                                                  GetParam() + " function not found"));
    const size_t mark = gl.CallCount();
    Render(Frames(2));
    Render(Frames(2));
    EXPECT_THAT(gl.CallsSince(mark), IsEmpty());
    EXPECT_EQ(trace.Size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EachAndroidFunction, MissingEglFunctionTest,
                         testing::Values("eglCreateImageKHR", "eglDestroyImageKHR", "eglGetNativeClientBufferANDROID",
                                         "glEGLImageTargetTexture2DOES"));

TEST(FrameRendererFactoryTest, InvalidApiIsLoggedAsAFailureAndMakesNoRenderer)
{
    TraceRecorder trace;
    RecordingGl gl;
    EXPECT_EQ(FrameRenderer::Create(GraphicsAPI::None, trace.Interface()), nullptr);
    EXPECT_THAT(trace.Texts(kXRTraceLevelError),
                ElementsAre("Wendrath: CreateFrameRenderer -- cannot create texture binder with invalid graphics API"));
    EXPECT_EQ(gl.CallCount(), 0u);
}

TEST(FrameRendererVulkanTest, TakesEventsWithoutDrawingOrLogging)
{
    TraceRecorder trace;
    RecordingGl gl;
    std::unique_ptr<FrameRenderer> renderer = FrameRenderer::Create(GraphicsAPI::Vulkan, trace.Interface());
    ASSERT_NE(dynamic_cast<FrameRenderer_Vulkan*>(renderer.get()), nullptr);
    CameraEvent event = Frames(2);
    renderer->RenderHwBuffers(event.Args());
    renderer.reset();
    EXPECT_EQ(gl.CallCount(), 0u);
    EXPECT_EQ(trace.Size(), 0u);
}

TEST(FrameRendererVulkanTest, BindTextureGivesANullImageHandle)
{
    FrameRenderer_Vulkan renderer(nullptr);
    std::unique_ptr<VkImage> image = renderer.BindTexture(FakeHardwareBuffer(0x5000), 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(*image, VkImage{});
}

} // namespace
} // namespace wendrath::test
