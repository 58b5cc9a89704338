// Shader sources of the GLES renderer: a full-screen quad, and a fragment stage that samples
// the camera's YUV image directly and converts it to RGB.
#pragma once

namespace wendrath {

extern const char* const VertexShader;
extern const char* const FragmentShader;

} // namespace wendrath
