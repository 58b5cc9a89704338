#include "FakeGraphicsD3D11.h"

#include <stdexcept>

namespace quenra::simengine {
namespace {
FakeGraphicsD3D11* current = nullptr;
} // namespace

FakeGraphicsD3D11::FakeGraphicsD3D11(ID3D11Device* device) : device(device)
{
    if (current != nullptr) {
        throw std::logic_error("only one FakeGraphicsD3D11 may exist at a time");
    }
    current = this;
    table.GetDevice = &FakeGraphicsD3D11::GetDevice;
}

FakeGraphicsD3D11::~FakeGraphicsD3D11() { current = nullptr; }

ID3D11Device* UNITY_INTERFACE_API FakeGraphicsD3D11::GetDevice()
{
    return current->device;
}

} // namespace quenra::simengine
