// GL texture names made and deleted together.
#pragma once

#include <cstddef>
#include <vector>

#include "PlatformGraphics.h"
#include "UnityXRTrace.h"

namespace wendrath {

class TextureArray {
public:
    // Allocation failures are logged to trace, which may be null.
    explicit TextureArray(IUnityXRTrace* trace) : _trace(trace) {}
    ~TextureArray();
    TextureArray(const TextureArray&) = delete;
    TextureArray& operator=(const TextureArray&) = delete;

    // Replaces the textures with count new ones; on a GL error the array stays shorter.
    void Allocate(size_t count);
    void Clear();
    size_t Size() const { return _textures.size(); }
    GLuint operator[](size_t index) const { return _textures[index]; }

private:
    IUnityXRTrace* const _trace;
    std::vector<GLuint> _textures;
};

} // namespace wendrath
