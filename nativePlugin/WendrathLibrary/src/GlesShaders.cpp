#include "GlesShaders.h"

namespace wendrath {

const char* const VertexShader = R"(#version 320 es
precision highp float;
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 tex_coord;
out vec2 uv;
void main()
{
    gl_Position = vec4(position, 0.0, 1.0);
    uv = tex_coord;
}
)";

// ITU-R BT.601 full range, then a gamma of 2.2.
const char* const FragmentShader = R"(#version 320 es
#extension GL_EXT_YUV_target : enable
precision highp float;
precision lowp sampler2D;
uniform __samplerExternal2DY2YEXT sampler;
in vec2 uv;
out vec4 color;
void main()
{
    vec4 yuv = texture(sampler, uv);
    vec3 rgb = yuv_2_rgb(yuv.rgb, itu_601_full_range);
    color = vec4(pow(rgb, vec3(2.2)), 1.0);
}
)";

} // namespace wendrath
