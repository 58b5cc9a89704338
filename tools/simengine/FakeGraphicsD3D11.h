// Stand-in for the engine's Direct3D 11 interface: hands plug-ins the device the engine
// renders with (the test's device).
#pragma once

#include "UnityGraphicsD3D11.h"

namespace quenra::simengine {

class FakeGraphicsD3D11 {
public:
    explicit FakeGraphicsD3D11(ID3D11Device* device);
    ~FakeGraphicsD3D11();
    FakeGraphicsD3D11(const FakeGraphicsD3D11&) = delete;
    FakeGraphicsD3D11& operator=(const FakeGraphicsD3D11&) = delete;

    IUnityGraphicsD3D11* Interface() { return &table; }

private:
    static ID3D11Device* UNITY_INTERFACE_API GetDevice();

    IUnityGraphicsD3D11 table{};
    ID3D11Device* device;
};

} // namespace quenra::simengine
