#include "CompositionLayerGraphicsInterface.h"

#include <algorithm>

namespace Skelder {

CompositionLayerGraphicsInterface::CompositionLayerGraphicsInterface(IUnityXRTrace* trace) : trace(trace) {}

CompositionLayerGraphicsInterface::~CompositionLayerGraphicsInterface() = default;

int64_t CompositionLayerGraphicsInterface::FirstPreferredFormat(const std::vector<int64_t>& formats,
                                                                std::initializer_list<int64_t> preferred)
{
    // The runtime lists its formats best first, so its order decides among preferred ones.
    auto found = std::find_if(formats.begin(), formats.end(), [&](int64_t format) {
        return std::find(preferred.begin(), preferred.end(), format) != preferred.end();
    });
    if (found != formats.end()) {
        return *found;
    }
    return formats.empty() ? 0 : formats.front();
}

} // namespace Skelder
