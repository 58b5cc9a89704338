// The exported face of the camera frame plug-in.
#pragma once

#include "UnityGraphics.h"
#include "UnityInterfaces.h"

extern "C" {
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnityPluginLoad(IUnityInterfaces* interfaces) noexcept;
// The render-event function for the engine: event 0 with a RenderHwBuffersEventArgs record.
UNITY_INTERFACE_EXPORT UnityRenderingEventAndData UNITY_INTERFACE_API GetRenderEventFuncPtr() noexcept;
// Keep the render thread from drawing while a script touches the buffers or textures of an
// event. Not recursive: one UnlockMutex per LockMutex, from the same thread.
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API LockMutex() noexcept;
UNITY_INTERFACE_EXPORT void UNITY_INTERFACE_API UnlockMutex() noexcept;
}
