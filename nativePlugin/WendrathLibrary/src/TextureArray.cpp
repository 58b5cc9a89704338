#include "TextureArray.h"

#include "TraceLog.h"

namespace wendrath {

TextureArray::~TextureArray()
{
    Clear();
}

void TextureArray::Allocate(size_t count)
{
    Clear();
    textures.reserve(count);
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
