// Engine Direct3D 11 interface: the device the engine renders with.
#pragma once

#include "UnityInterfaces.h"

struct ID3D11Device;

struct IUnityGraphicsD3D11 : IUnityInterface {
    static constexpr uint64_t kIdentifierHigh = 0xaab37ef87a87d748ULL;
    static constexpr uint64_t kIdentifierLow = 0xbf76967f07efb177ULL;

    ID3D11Device*(UNITY_INTERFACE_API* GetDevice)();
};
