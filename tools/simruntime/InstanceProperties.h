// The simulated runtime's instance-level queries, answered as the loader and runtime answer them:
// the API layers the loader knows and the extensions of the runtime and of each layer (an unknown
// layer gives XR_ERROR_API_LAYER_NOT_PRESENT), the environment blend modes of the system, and what
// every xrCreateInstance asked to enable. Instance creation refuses a layer or an extension that
// nothing offers.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Runtime.h"

namespace quenra::simruntime {

// Copies of the names one xrCreateInstance asked for, in the caller's order.
struct InstanceCreateRecord {
    std::vector<std::string> apiLayers;
    std::vector<std::string> extensions;
};

// One xrEnumerateInstanceExtensionProperties call.
struct ExtensionQuery {
    // Empty for the runtime's own extensions (a null layer name).
    std::string layerName;
    bool forLayer;
    uint32_t capacity;
    XrResult result;
};

class InstanceProperties {
public:
    // Serves xrEnumerateApiLayerProperties, xrEnumerateInstanceExtensionProperties and
    // xrEnumerateEnvironmentBlendModes, and records xrCreateInstance, which must be in the table.
    explicit InstanceProperties(Runtime& runtime);
    ~InstanceProperties();
    InstanceProperties(const InstanceProperties&) = delete;
    InstanceProperties& operator=(const InstanceProperties&) = delete;

    static InstanceProperties& Current();

    // --- What the loader and runtime offer -------------------------------------------------
    void SetRuntimeExtensions(std::vector<std::string> names);
    // An API layer the loader knows, with the extensions it adds, listed in the order added.
    void AddApiLayer(const std::string& name, std::vector<std::string> extensions);
    // Every extension query for this layer returns `result` (a failure) and writes nothing.
    void FailLayerQuery(const std::string& name, XrResult result);
    // The modes of the one system (id 1), for every view configuration.
    void SetBlendModes(std::vector<XrEnvironmentBlendMode> modes);
    // With a real OpenXR loader in front, API layers are the loader's: instance creation then
    // takes any layer names the loader passes on and checks extensions against the runtime's own.
    void LeaveApiLayersToLoader() { apiLayersFromLoader = true; }

    // --- What the runtime saw --------------------------------------------------------------
    std::vector<InstanceCreateRecord> CreateRecords() const;
    std::vector<ExtensionQuery> ExtensionQueries() const;

private:
    struct ApiLayer {
        std::string name;
        std::vector<std::string> extensions;
    };

    static XrResult XRAPI_CALL EnumerateApiLayerProperties(uint32_t capacity, uint32_t* countOutput,
                                                           XrApiLayerProperties* properties);
    static XrResult XRAPI_CALL EnumerateInstanceExtensionProperties(const char* layerName, uint32_t capacity,
                                                                    uint32_t* countOutput,
                                                                    XrExtensionProperties* properties);
    static XrResult XRAPI_CALL EnumerateEnvironmentBlendModes(XrInstance instance, XrSystemId systemId,
                                                              XrViewConfigurationType viewConfigurationType,
                                                              uint32_t capacity, uint32_t* countOutput,
                                                              XrEnvironmentBlendMode* modes);
    static XrResult XRAPI_CALL CreateInstance(const XrInstanceCreateInfo* info, XrInstance* instance);

    const ApiLayer* FindLayer(const std::string& name) const;
    // Whether the runtime or one of the named layers offers the extension.
    bool Offers(const std::string& extension, const std::vector<std::string>& layers) const;

    Runtime& runtime;
    PFN_xrCreateInstance next = nullptr;
    std::vector<std::string> runtimeExtensions;
    std::vector<ApiLayer> layers;
    std::map<std::string, XrResult> failingLayers;
    bool apiLayersFromLoader = false;
    std::vector<XrEnvironmentBlendMode> blendModes{XR_ENVIRONMENT_BLEND_MODE_OPAQUE};
    std::vector<InstanceCreateRecord> createRecords;
    std::vector<ExtensionQuery> extensionQueries;
};

} // namespace quenra::simruntime
