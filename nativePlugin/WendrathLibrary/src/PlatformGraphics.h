// EGL, GL ES 3.2 and the Android graphics declarations the camera renderers use. This is the one
// place where Android and a Linux host differ: on Android every name comes from the platform's
// headers; a host has the Khronos EGL and GL ES headers but no Android or Vulkan ones, so the few
// names the renderers need from those are declared here.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES3/gl32.h>
// After gl32.h: the extension header fills in what the core header leaves out.
#include <GLES2/gl2ext.h>

#if defined(__ANDROID__)
#include <android/hardware_buffer.h>
#include <vulkan/vulkan.h>
#else
// Never dereferenced here: the renderer hands hardware buffers on to EGL as they come.
struct AHardwareBuffer;
// Only the handle type is used: the Vulkan renderer draws nothing.
typedef struct VkImage_T* VkImage;

// Older Khronos headers lack the Android extensions the renderer binds by name.
#if !defined(EGL_ANDROID_get_native_client_buffer)
typedef EGLClientBuffer(EGLAPIENTRYP PFNEGLGETNATIVECLIENTBUFFERANDROIDPROC)(const struct AHardwareBuffer* buffer);
#endif
#if !defined(EGL_ANDROID_image_native_buffer)
#define EGL_NATIVE_BUFFER_ANDROID 0x3140
#endif
#endif
