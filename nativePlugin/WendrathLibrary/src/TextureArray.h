// GL texture names made and deleted together.
#pragma once

#include <cstddef>
#include <vector>

#include "PlatformGraphics.h"

namespace wendrath {

class TextureArray {
public:
    TextureArray() = default;
    ~TextureArray();
    TextureArray(const TextureArray&) = delete;
    TextureArray& operator=(const TextureArray&) = delete;

    // Replaces the textures with count new ones; on a GL error the array stays shorter.
    void Allocate(size_t count);
    void Clear();
    size_t Size() const { return _textures.size(); }
    GLuint operator[](size_t index) const { return _textures[index]; }

private:
    std::vector<GLuint> _textures;
};

} // namespace wendrath
