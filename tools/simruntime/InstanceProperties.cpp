#include "InstanceProperties.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace quenra::simruntime {
namespace {
InstanceProperties* current = nullptr;

const char* const kFunctions[] = {"xrEnumerateApiLayerProperties", "xrEnumerateInstanceExtensionProperties",
                                  "xrEnumerateEnvironmentBlendModes"};

// The two-call idiom: capacity 0 asks for the count; a capacity too small is an error.
template <typename Item, typename Fill>
XrResult EnumerateInto(size_t available, uint32_t capacity, uint32_t* countOutput, Item* items, XrStructureType type,
                       Fill fill)
{
    if (countOutput == nullptr || (capacity > 0 && items == nullptr)) {
        return XR_ERROR_VALIDATION_FAILURE;
    }
    *countOutput = static_cast<uint32_t>(available);
    if (capacity == 0) {
        return XR_SUCCESS;
    }
    if (capacity < available) {
        return XR_ERROR_SIZE_INSUFFICIENT;
    }
    for (size_t i = 0; i < available; ++i) {
        if (items[i].type != type) {
            return XR_ERROR_VALIDATION_FAILURE;
        }
    }
    for (size_t i = 0; i < available; ++i) {
        fill(items[i], i);
    }
    return XR_SUCCESS;
}

void CopyName(char* destination, size_t size, const std::string& name)
{
    const size_t length = std::min(name.size(), size - 1);
    std::memcpy(destination, name.data(), length);
    destination[length] = '\0';
}

bool NamesReadable(uint32_t count, const char* const* names)
{
    if (count > 0 && names == nullptr) {
        return false;
    }
    return std::all_of(names, names + count, [](const char* name) { return name != nullptr; });
}
} // namespace

InstanceProperties::InstanceProperties(Runtime& runtime) : runtime(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one InstanceProperties module may exist at a time");
    }
    PFN_xrVoidFunction create = runtime.Function("xrCreateInstance");
    if (create == nullptr) {
        throw std::logic_error("the runtime has no xrCreateInstance to record");
    }
    next = reinterpret_cast<PFN_xrCreateInstance>(create);
    current = this;
    runtime.AddFunction(kFunctions[0],
                        reinterpret_cast<PFN_xrVoidFunction>(&InstanceProperties::EnumerateApiLayerProperties));
    runtime.AddFunction(
        kFunctions[1], reinterpret_cast<PFN_xrVoidFunction>(&InstanceProperties::EnumerateInstanceExtensionProperties));
    runtime.AddFunction(kFunctions[2],
                        reinterpret_cast<PFN_xrVoidFunction>(&InstanceProperties::EnumerateEnvironmentBlendModes));
    runtime.AddFunction("xrCreateInstance", reinterpret_cast<PFN_xrVoidFunction>(&InstanceProperties::CreateInstance));
}

InstanceProperties::~InstanceProperties()
{
    for (const char* name : kFunctions) {
        runtime.RemoveFunction(name);
    }
    runtime.AddFunction("xrCreateInstance", reinterpret_cast<PFN_xrVoidFunction>(next));
    current = nullptr;
}

InstanceProperties& InstanceProperties::Current()
{
    if (current == nullptr) {
        throw std::logic_error("no simulated instance properties module exists");
    }
    return *current;
}

void InstanceProperties::SetRuntimeExtensions(std::vector<std::string> names)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    runtimeExtensions = std::move(names);
}

void InstanceProperties::AddApiLayer(const std::string& name, std::vector<std::string> extensions)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    layers.push_back({name, std::move(extensions)});
}

void InstanceProperties::FailLayerQuery(const std::string& name, XrResult result)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    failingLayers[name] = result;
}

void InstanceProperties::SetBlendModes(std::vector<XrEnvironmentBlendMode> modes)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    blendModes = std::move(modes);
}

std::vector<InstanceCreateRecord> InstanceProperties::CreateRecords() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return createRecords;
}

std::vector<ExtensionQuery> InstanceProperties::ExtensionQueries() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return extensionQueries;
}

const InstanceProperties::ApiLayer* InstanceProperties::FindLayer(const std::string& name) const
{
    auto found = std::find_if(layers.begin(), layers.end(), [&](const ApiLayer& layer) { return layer.name == name; });
    return found != layers.end() ? &*found : nullptr;
}

bool InstanceProperties::Offers(const std::string& extension, const std::vector<std::string>& layers) const
{
    if (std::find(runtimeExtensions.begin(), runtimeExtensions.end(), extension) != runtimeExtensions.end()) {
        return true;
    }
    return std::any_of(layers.begin(), layers.end(), [&](const std::string& name) {
        const ApiLayer* layer = FindLayer(name);
        return layer != nullptr &&
               std::find(layer->extensions.begin(), layer->extensions.end(), extension) != layer->extensions.end();
    });
}

XrResult XRAPI_CALL InstanceProperties::EnumerateApiLayerProperties(uint32_t capacity, uint32_t* countOutput,
                                                                    XrApiLayerProperties* properties)
{
    SIMRUNTIME_ENTER(call, "xrEnumerateApiLayerProperties");
    const std::vector<ApiLayer>& layers = Current().layers;
    return call.Return(EnumerateInto(layers.size(), capacity, countOutput, properties, XR_TYPE_API_LAYER_PROPERTIES,
                                     [&](XrApiLayerProperties& item, size_t i) {
                                         CopyName(item.layerName, sizeof(item.layerName), layers[i].name);
                                         item.specVersion = XR_CURRENT_API_VERSION;
                                         item.layerVersion = 1;
                                         CopyName(item.description, sizeof(item.description), layers[i].name);
                                     }));
}

XrResult XRAPI_CALL InstanceProperties::EnumerateInstanceExtensionProperties(const char* layerName, uint32_t capacity,
                                                                             uint32_t* countOutput,
                                                                             XrExtensionProperties* properties)
{
    RuntimeCall call("xrEnumerateInstanceExtensionProperties", {});
    InstanceProperties& self = Current();
    ExtensionQuery query{layerName != nullptr ? layerName : "", layerName != nullptr, capacity, XR_SUCCESS};
    auto answer = [&](XrResult result) {
        query.result = result;
        self.extensionQueries.push_back(query);
        return call.Return(result);
    };
    if (call.injected()) {
        query.result = *call.injected();
        self.extensionQueries.push_back(query);
        return *call.injected();
    }
    const std::vector<std::string>* extensions = &self.runtimeExtensions;
    if (layerName != nullptr) {
        auto failing = self.failingLayers.find(layerName);
        if (failing != self.failingLayers.end()) {
            return answer(failing->second);
        }
        const ApiLayer* layer = self.FindLayer(layerName);
        if (layer == nullptr) {
            return answer(XR_ERROR_API_LAYER_NOT_PRESENT);
        }
        extensions = &layer->extensions;
    }
    return answer(EnumerateInto(extensions->size(), capacity, countOutput, properties, XR_TYPE_EXTENSION_PROPERTIES,
                                [&](XrExtensionProperties& item, size_t i) {
                                    CopyName(item.extensionName, sizeof(item.extensionName), (*extensions)[i]);
                                    item.extensionVersion = 1;
                                }));
}

XrResult XRAPI_CALL InstanceProperties::EnumerateEnvironmentBlendModes(XrInstance instance, XrSystemId systemId,
                                                                       XrViewConfigurationType viewConfigurationType,
                                                                       uint32_t capacity, uint32_t* countOutput,
                                                                       XrEnvironmentBlendMode* modes)
{
    SIMRUNTIME_ENTER_ON(call, "xrEnumerateEnvironmentBlendModes", HandleKind::Instance, instance);
    if (systemId != 1) {
        return call.Return(XR_ERROR_SYSTEM_INVALID);
    }
    if (viewConfigurationType != XR_VIEW_CONFIGURATION_TYPE_PRIMARY_MONO &&
        viewConfigurationType != XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO) {
        return call.Return(XR_ERROR_VIEW_CONFIGURATION_TYPE_UNSUPPORTED);
    }
    const std::vector<XrEnvironmentBlendMode>& offered = Current().blendModes;
    SIMRUNTIME_INVALID_IF(call, countOutput == nullptr || (capacity > 0 && modes == nullptr));
    *countOutput = static_cast<uint32_t>(offered.size());
    if (capacity == 0) {
        return call.Return(XR_SUCCESS);
    }
    if (capacity < offered.size()) {
        return call.Return(XR_ERROR_SIZE_INSUFFICIENT);
    }
    std::copy(offered.begin(), offered.end(), modes);
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL InstanceProperties::CreateInstance(const XrInstanceCreateInfo* info, XrInstance* instance)
{
    InstanceProperties& self = Current();
    std::lock_guard<std::recursive_mutex> lock(self.runtime.Mutex());
    if (info == nullptr || !NamesReadable(info->enabledApiLayerCount, info->enabledApiLayerNames) ||
        !NamesReadable(info->enabledExtensionCount, info->enabledExtensionNames)) {
        RuntimeCall call("xrCreateInstance", {});
        return call.Return(XR_ERROR_VALIDATION_FAILURE);
    }
    InstanceCreateRecord record{
        {info->enabledApiLayerNames, info->enabledApiLayerNames + info->enabledApiLayerCount},
        {info->enabledExtensionNames, info->enabledExtensionNames + info->enabledExtensionCount}};
    self.createRecords.push_back(record);
    if (self.apiLayersFromLoader) {
        record.apiLayers.clear();
    }
    for (const std::string& layer : record.apiLayers) {
        if (self.FindLayer(layer) == nullptr) {
            RuntimeCall call("xrCreateInstance", {});
            return call.Return(XR_ERROR_API_LAYER_NOT_PRESENT);
        }
    }
    for (const std::string& extension : record.extensions) {
        if (!self.Offers(extension, record.apiLayers)) {
            RuntimeCall call("xrCreateInstance", {});
            return call.Return(XR_ERROR_EXTENSION_NOT_PRESENT);
        }
    }
    return self.next(info, instance);
}

} // namespace quenra::simruntime
