// EGL and GL ES that do nothing and allocate nothing, in place of the platform's libraries in the
// camera plug-in's benchmark: what it times and counts is the plug-in's own work. Every call
// succeeds; names handed out are never zero.
#include <cstdint>

#include "PlatformGraphics.h"

namespace {

GLuint nextName = 1;

void Generate(GLsizei count, GLuint* names)
{
    for (GLsizei i = 0; i < count; ++i) {
        names[i] = nextName++;
    }
}

// Any address that is not null stands for an object.
template <typename Handle> Handle Some()
{
    static int object;
    return reinterpret_cast<Handle>(&object);
}

EGLImageKHR EGLAPIENTRY CreateImage(EGLDisplay, EGLContext, EGLenum, EGLClientBuffer, const EGLint*)
{
    return Some<EGLImageKHR>();
}
EGLBoolean EGLAPIENTRY DestroyImage(EGLDisplay, EGLImageKHR)
{
    return EGL_TRUE;
}
EGLClientBuffer EGLAPIENTRY NativeClientBuffer(const AHardwareBuffer*)
{
    return Some<EGLClientBuffer>();
}
void GL_APIENTRY ImageTargetTexture(GLenum, GLeglImageOES) {}

template <typename Function> __eglMustCastToProperFunctionPointerType Entry(Function function)
{
    return reinterpret_cast<__eglMustCastToProperFunctionPointerType>(function);
}

bool Named(const char* name, const char* expected)
{
    while (*name != '\0' && *name == *expected) {
        ++name;
        ++expected;
    }
    return *name == *expected;
}

} // namespace

extern "C" {
EGLDisplay EGLAPIENTRY eglGetCurrentDisplay()
{
    return Some<EGLDisplay>();
}
EGLint EGLAPIENTRY eglGetError()
{
    return EGL_SUCCESS;
}
__eglMustCastToProperFunctionPointerType EGLAPIENTRY eglGetProcAddress(const char* name)
{
    if (Named(name, "eglCreateImageKHR")) {
        return Entry(&CreateImage);
    }
    if (Named(name, "eglDestroyImageKHR")) {
        return Entry(&DestroyImage);
    }
    if (Named(name, "eglGetNativeClientBufferANDROID")) {
        return Entry(&NativeClientBuffer);
    }
    if (Named(name, "glEGLImageTargetTexture2DOES")) {
        return Entry(&ImageTargetTexture);
    }
    return nullptr;
}

void GL_APIENTRY glActiveTexture(GLenum) {}
void GL_APIENTRY glAttachShader(GLuint, GLuint) {}
void GL_APIENTRY glBindBuffer(GLenum, GLuint) {}
void GL_APIENTRY glBindFramebuffer(GLenum, GLuint) {}
void GL_APIENTRY glBindTexture(GLenum, GLuint) {}
void GL_APIENTRY glBufferData(GLenum, GLsizeiptr, const void*, GLenum) {}
GLenum GL_APIENTRY glCheckFramebufferStatus(GLenum)
{
    return GL_FRAMEBUFFER_COMPLETE;
}
void GL_APIENTRY glCompileShader(GLuint) {}
GLuint GL_APIENTRY glCreateProgram()
{
    return nextName++;
}
GLuint GL_APIENTRY glCreateShader(GLenum)
{
    return nextName++;
}
void GL_APIENTRY glDeleteBuffers(GLsizei, const GLuint*) {}
void GL_APIENTRY glDeleteFramebuffers(GLsizei, const GLuint*) {}
void GL_APIENTRY glDeleteProgram(GLuint) {}
void GL_APIENTRY glDeleteShader(GLuint) {}
void GL_APIENTRY glDeleteTextures(GLsizei, const GLuint*) {}
void GL_APIENTRY glDisable(GLenum) {}
void GL_APIENTRY glDrawBuffers(GLsizei, const GLenum*) {}
void GL_APIENTRY glDrawElements(GLenum, GLsizei, GLenum, const void*) {}
void GL_APIENTRY glEnableVertexAttribArray(GLuint) {}
void GL_APIENTRY glFramebufferTexture2D(GLenum, GLenum, GLenum, GLuint, GLint) {}
void GL_APIENTRY glFrontFace(GLenum) {}
void GL_APIENTRY glGenBuffers(GLsizei count, GLuint* names)
{
    Generate(count, names);
}
void GL_APIENTRY glGenFramebuffers(GLsizei count, GLuint* names)
{
    Generate(count, names);
}
void GL_APIENTRY glGenTextures(GLsizei count, GLuint* names)
{
    Generate(count, names);
}
GLenum GL_APIENTRY glGetError()
{
    return GL_NO_ERROR;
}
void GL_APIENTRY glGetShaderInfoLog(GLuint, GLsizei size, GLsizei* length, GLchar* log)
{
    if (length != nullptr) {
        *length = 0;
    }
    if (size > 0) {
        *log = '\0';
    }
}
void GL_APIENTRY glGetShaderiv(GLuint, GLenum, GLint* value)
{
    *value = GL_TRUE;
}
GLint GL_APIENTRY glGetUniformLocation(GLuint, const GLchar*)
{
    return 0;
}
void GL_APIENTRY glLinkProgram(GLuint) {}
void GL_APIENTRY glProgramUniform1i(GLuint, GLint, GLint) {}
void GL_APIENTRY glShaderSource(GLuint, GLsizei, const GLchar* const*, const GLint*) {}
void GL_APIENTRY glUseProgram(GLuint) {}
void GL_APIENTRY glValidateProgram(GLuint) {}
void GL_APIENTRY glVertexAttribPointer(GLuint, GLint, GLenum, GLboolean, GLsizei, const void*) {}
void GL_APIENTRY glViewport(GLint, GLint, GLsizei, GLsizei) {}
}
