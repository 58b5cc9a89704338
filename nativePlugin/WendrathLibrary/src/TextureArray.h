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
    explicit TextureArray(IUnityXRTrace* trace) : trace(trace) {}
    ~TextureArray();
    TextureArray(const TextureArray&) = delete;
    TextureArray& operator=(const TextureArray&) = delete;

    // Replaces the textures with count new ones; on a GL error the array stays shorter.
    void Allocate(size_t count);
    void Clear();
    size_t Size() const { return textures.size(); }
    GLuint operator[](size_t index) const { return textures[index]; }

private:
    IUnityXRTrace* const trace;
    std::vector<GLuint> textures;
};

} // namespace wendrath
