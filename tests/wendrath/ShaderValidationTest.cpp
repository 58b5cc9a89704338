// Both shader sources compile as GLSL ES 3.20 under glslang, the fragment one with
// GL_EXT_YUV_target. Mesa lacks that extension, so glslang is what shows the shader is valid.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "GlesShaders.h"

namespace wendrath::test {
namespace {

struct Validation {
    int status;
    std::string output;
};

// A folder of its own for one test's shader files, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = testing::TempDir() + "wendrath-shaders-XXXXXX";
        path = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TemporaryFolder()
    {
        if (!path.empty()) {
            std::system(("rm -rf '" + path + "'").c_str());
        }
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& Path() const { return path; }

private:
    std::string path;
};

// Runs glslangValidator on source as a shader of the stage named by extension ("vert", "frag").
Validation Validate(const std::string& source, const std::string& extension)
{
    TemporaryFolder folder;
    if (folder.Path().empty()) {
        return {-1, "cannot make a temporary folder"};
    }
    const std::string file = folder.Path() + "/shader." + extension;
    std::ofstream(file) << source;
    const std::string command = std::string("'") + GLSLANG_VALIDATOR + "' '" + file + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {-1, "cannot run " + command};
    }
    std::string output;
    std::array<char, 256> chunk;
    while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe) != nullptr) {
        output += chunk.data();
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string WithLineAfter(const std::string& source, const std::string& line, const std::string& added)
{
    const size_t at = source.find(line);
    if (at == std::string::npos) {
        return source;
    }
    const size_t end = source.find('\n', at) + 1;
    return source.substr(0, end) + added + source.substr(end);
}

std::string WithoutLine(const std::string& source, const std::string& line)
{
    const size_t at = source.find(line);
    return at == std::string::npos ? source : source.substr(0, at) + source.substr(source.find('\n', at) + 1);
}

const std::string kYuvExtension = "#extension GL_EXT_YUV_target : enable";

// glslang knows the extension's sampler type but, in the versions Debian ships, not its colour
// conversion built-ins. Where it lacks them they are declared, with the extension's call shape,
// right after the extension line; everything else in the shader is checked as written.
std::string FragmentShaderForGlslang()
{
    const std::string probe = "#version 320 es\n" + kYuvExtension +
                              "\nprecision highp float;\nout vec4 color;\n"
                              "void main() { color = vec4(yuv_2_rgb(vec3(0.5), itu_601_full_range), 1.0); }\n";
    if (Validate(probe, "frag").status == 0) {
        return FragmentShader;
    }
    return WithLineAfter(FragmentShader, kYuvExtension,
                         "const highp int itu_601_full_range = 1;\n"
                         "highp vec3 yuv_2_rgb(highp vec3 color, highp int standard);\n");
}

TEST(ShaderValidationTest, VertexShaderCompilesAsEssl320)
{
    EXPECT_EQ(std::string(VertexShader).rfind("#version 320 es\n", 0), 0u);
    const Validation result = Validate(VertexShader, "vert");
    EXPECT_EQ(result.status, 0) << result.output;
}

TEST(ShaderValidationTest, FragmentShaderCompilesAsEssl320WithTheYuvTargetExtension)
{
    EXPECT_EQ(std::string(FragmentShader).rfind("#version 320 es\n" + kYuvExtension + "\n", 0), 0u);
    const Validation result = Validate(FragmentShaderForGlslang(), "frag");
    EXPECT_EQ(result.status, 0) << result.output;
}

TEST(ShaderValidationTest, FragmentShaderIsRejectedWithoutTheYuvTargetExtension)
{
    // Shows the check above is real: glslang holds the YUV sampler to the extension.
    const Validation result = Validate(WithoutLine(FragmentShaderForGlslang(), kYuvExtension), "frag");
    EXPECT_NE(result.status, 0) << result.output;
}

} // namespace
} // namespace wendrath::test
