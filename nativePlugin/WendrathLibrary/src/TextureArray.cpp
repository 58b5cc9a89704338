#include "TextureArray.h"

#include "TraceLog.h"

namespace wendrath {
namespace {

// GL keeps one flag per kind of error until it is read; an error the engine left on its context
// would otherwise be read below as the plug-in's own. Bounded, so a driver that keeps answering
// an error (a lost context) cannot hold the render thread.
void ClearPendingGlErrors()
{
    constexpr int kMaxPendingErrors = 16;
    for (int read = 0; read < kMaxPendingErrors; ++read) {
        if (glGetError() == GL_NO_ERROR) {
            return;
        }
    }
}

} // namespace

TextureArray::~TextureArray()
{
    Clear();
}

void TextureArray::Allocate(size_t count)
{
    Clear();
    if (count == 0) {
        return;
    }
    textures.reserve(count);
    ClearPendingGlErrors();
    for (size_t i = 0; i < count; ++i) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        const GLenum error = glGetError();
        if (error != GL_NO_ERROR) {
            TraceLog(trace, kXRTraceLevelNotice, "Wendrath: OpenGL error (0x%x) at %s:%d\n", error, __FILE__, __LINE__);
            return;
        }
        textures.push_back(texture);
    }
}

void TextureArray::Clear()
{
    if (textures.empty()) {
        return;
    }
    glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    textures.clear();
}

} // namespace wendrath
