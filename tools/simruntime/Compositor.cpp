#include "Compositor.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <vector>

#include "PoseMath.h"

namespace quenra::simruntime {
namespace {
Compositor* current = nullptr;

struct Ray {
    XrVector3f origin;
    XrVector3f direction;
};

// Texture coordinates of a hit: u across to the right, v down from the top row.
struct Hit {
    float u;
    float v;
};

bool Inside(const Hit& hit)
{
    return hit.u >= 0 && hit.u < 1 && hit.v >= 0 && hit.v < 1;
}

// The larger root of a·t² + b·t + c = 0: where a ray from inside leaves, or where a ray from
// outside meets the far wall's inner face.
std::optional<float> FarRoot(float a, float b, float c)
{
    const float discriminant = b * b - 4 * a * c;
    if (a <= 0 || discriminant < 0) {
        return std::nullopt;
    }
    const float t = (-b + std::sqrt(discriminant)) / (2 * a);
    return t > 0 ? std::optional<float>(t) : std::nullopt;
}

// The plane z = 0 of the layer, seen from +z only; size in metres (a negative size mirrors).
std::optional<Hit> HitQuad(const Ray& ray, const XrExtent2Df& size)
{
    if (ray.direction.z >= 0 || ray.origin.z <= 0 || size.width == 0 || size.height == 0) {
        return std::nullopt;
    }
    const XrVector3f p = ray.origin + ray.direction * (-ray.origin.z / ray.direction.z);
    return Hit{p.x / size.width + 0.5f, 0.5f - p.y / size.height};
}

// Angle about +y from the layer's forward axis (−z), growing to the right (+x).
float Azimuth(XrVector3f p)
{
    return std::atan2(p.x, -p.z);
}

// A cylinder about the layer's y axis, its visible arc centred on −z, its inner face only.
std::optional<Hit> HitCylinder(const Ray& ray, const XrCompositionLayerCylinderKHR& layer)
{
    if (layer.centralAngle <= 0 || layer.aspectRatio <= 0) {
        return std::nullopt;
    }
    const XrVector3f& o = ray.origin;
    const XrVector3f& d = ray.direction;
    // Height over radius: the arc's length over the aspect ratio, in radii.
    const float heightOverRadius = layer.centralAngle / layer.aspectRatio;
    float azimuth = 0;
    float heightFraction = 0;
    if (layer.radius == 0 || std::isinf(layer.radius)) {
        const float across = std::sqrt(d.x * d.x + d.z * d.z);
        if (across == 0) {
            return std::nullopt;
        }
        azimuth = Azimuth(d);
        heightFraction = d.y / across / heightOverRadius;
    } else {
        const std::optional<float> t = FarRoot(d.x * d.x + d.z * d.z, 2 * (o.x * d.x + o.z * d.z),
                                               o.x * o.x + o.z * o.z - layer.radius * layer.radius);
        if (!t) {
            return std::nullopt;
        }
        const XrVector3f p = o + d * *t;
        azimuth = Azimuth(p);
        heightFraction = p.y / (layer.radius * heightOverRadius);
    }
    return Hit{azimuth / layer.centralAngle + 0.5f, 0.5f - heightFraction};
}

// A sphere about the layer's origin (infinite when the radius is 0), its inner face only;
// longitude centred on −z, latitude from the upper angle (top row) to the lower.
std::optional<Hit> HitEquirect(const Ray& ray, const XrCompositionLayerEquirect2KHR& layer)
{
    XrVector3f p = ray.direction;
    if (layer.radius != 0 && !std::isinf(layer.radius)) {
        const std::optional<float> t = FarRoot(Dot(ray.direction, ray.direction), 2 * Dot(ray.origin, ray.direction),
                                               Dot(ray.origin, ray.origin) - layer.radius * layer.radius);
        if (!t) {
            return std::nullopt;
        }
        p = ray.origin + ray.direction * *t;
    }
    const float span = layer.upperVerticalAngle - layer.lowerVerticalAngle;
    if (layer.centralHorizontalAngle <= 0 || span <= 0 || Length(p) == 0) {
        return std::nullopt;
    }
    const float latitude = std::asin(std::clamp(p.y / Length(p), -1.0f, 1.0f));
    return Hit{Azimuth(p) / layer.centralHorizontalAngle + 0.5f, (layer.upperVerticalAngle - latitude) / span};
}

Rgba Sample(const RgbaImage& image, const XrSwapchainSubImage& subImage, const Hit& hit)
{
    const XrRect2Di& rect = subImage.imageRect;
    const int32_t x = rect.offset.x + std::min(static_cast<int32_t>(hit.u * rect.extent.width), rect.extent.width - 1);
    const int32_t y =
        rect.offset.y + std::min(static_cast<int32_t>(hit.v * rect.extent.height), rect.extent.height - 1);
    if (x < 0 || y < 0 || x >= static_cast<int32_t>(image.width) || y >= static_cast<int32_t>(image.height)) {
        return {0, 0, 0, 0};
    }
    return image.Get(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
}

// One layer's texel over what lies beneath. Without the source-alpha flag the layer is opaque;
// with it, colour is premultiplied unless the unpremultiplied flag says otherwise.
void Blend(uint8_t* destination, const Rgba& source, XrCompositionLayerFlags flags)
{
    if ((flags & XR_COMPOSITION_LAYER_BLEND_TEXTURE_SOURCE_ALPHA_BIT) == 0) {
        destination[0] = source[0];
        destination[1] = source[1];
        destination[2] = source[2];
        return;
    }
    const float alpha = source[3] / 255.0f;
    const bool unpremultiplied = (flags & XR_COMPOSITION_LAYER_UNPREMULTIPLIED_ALPHA_BIT) != 0;
    for (int c = 0; c < 3; ++c) {
        const float colour = unpremultiplied ? source[c] * alpha : source[c];
        destination[c] = static_cast<uint8_t>(std::lround(std::min(255.0f, colour + destination[c] * (1 - alpha))));
    }
}

bool VisibleTo(XrEyeVisibility visibility, uint32_t eye)
{
    return visibility == XR_EYE_VISIBILITY_BOTH || (visibility == XR_EYE_VISIBILITY_LEFT && eye == 0) ||
           (visibility == XR_EYE_VISIBILITY_RIGHT && eye == 1);
}

// The common part of the quad, cylinder and equirect structures.
struct PlacedLayer {
    XrCompositionLayerFlags flags;
    XrSpace space;
    XrEyeVisibility eyeVisibility;
    XrSwapchainSubImage subImage;
    XrPosef pose;
};

template <typename Layer> PlacedLayer Placement(const XrCompositionLayerBaseHeader* header)
{
    const auto* layer = reinterpret_cast<const Layer*>(header);
    return {layer->layerFlags, layer->space, layer->eyeVisibility, layer->subImage, layer->pose};
}
} // namespace

Compositor::Compositor(Runtime& runtime, CpuSwapchainImages& images) : runtime(runtime), images(images)
{
    if (current != nullptr) {
        throw std::logic_error("only one Compositor may exist at a time");
    }
    next = reinterpret_cast<PFN_xrCreateReferenceSpace>(runtime.Function("xrCreateReferenceSpace"));
    if (next == nullptr) {
        throw std::logic_error("the runtime has no xrCreateReferenceSpace");
    }
    current = this;
    runtime.AddFunction("xrCreateReferenceSpace", reinterpret_cast<PFN_xrVoidFunction>(&CreateReferenceSpace));
}

Compositor::~Compositor()
{
    runtime.AddFunction("xrCreateReferenceSpace", reinterpret_cast<PFN_xrVoidFunction>(next));
    current = nullptr;
}

XrResult XRAPI_CALL Compositor::CreateReferenceSpace(XrSession session, const XrReferenceSpaceCreateInfo* info,
                                                     XrSpace* space)
{
    Compositor& self = *current;
    std::lock_guard<std::recursive_mutex> lock(self.runtime.Mutex());
    const XrResult result = self.next(session, info, space);
    if (XR_SUCCEEDED(result)) {
        self.spaces[HandleValue(*space)] = {info->referenceSpaceType, info->poseInReferenceSpace};
    }
    return result;
}

XrPosef Compositor::SpacePose(XrSpace space) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    auto found = spaces.find(HandleValue(space));
    if (found == spaces.end()) {
        return {{0, 0, 0, 1}, {0, 0, 0}};
    }
    return found->second.type == XR_REFERENCE_SPACE_TYPE_VIEW ? ComposePoses(head, found->second.pose)
                                                              : found->second.pose;
}

RgbaImage Compositor::Compose(const XrFrameEndInfo& frame, uint32_t eye, uint32_t width, uint32_t height) const
{
    EyeView view = defaultView;
    for (uint32_t i = 0; i < frame.layerCount; ++i) {
        const XrCompositionLayerBaseHeader* header = frame.layers[i];
        if (header != nullptr && header->type == XR_TYPE_COMPOSITION_LAYER_PROJECTION) {
            const auto* projection = reinterpret_cast<const XrCompositionLayerProjection*>(header);
            if (eye < projection->viewCount) {
                view = {ComposePoses(SpacePose(projection->space), projection->views[eye].pose),
                        projection->views[eye].fov};
                break;
            }
        }
    }

    // One ray per pixel centre, in LOCAL.
    std::vector<XrVector3f> directions(size_t(width) * height);
    const float left = std::tan(view.fov.angleLeft);
    const float right = std::tan(view.fov.angleRight);
    const float up = std::tan(view.fov.angleUp);
    const float down = std::tan(view.fov.angleDown);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const float across = left + (right - left) * ((x + 0.5f) / width);
            const float upward = up - (up - down) * ((y + 0.5f) / height);
            directions[size_t(y) * width + x] = Rotate(view.pose.orientation, {across, upward, -1.0f});
        }
    }

    RgbaImage picture(width, height, {0, 0, 0, 255});
    for (uint32_t i = 0; i < frame.layerCount; ++i) {
        const XrCompositionLayerBaseHeader* header = frame.layers[i];
        if (header == nullptr) {
            continue;
        }
        if (header->type == XR_TYPE_COMPOSITION_LAYER_PROJECTION) {
            // Drawn for the view it was rendered for, so its pixels map straight onto the picture's.
            const auto* projection = reinterpret_cast<const XrCompositionLayerProjection*>(header);
            if (eye >= projection->viewCount) {
                continue;
            }
            const XrSwapchainSubImage& subImage = projection->views[eye].subImage;
            const RgbaImage* image = images.Presented(subImage.swapchain);
            for (uint32_t y = 0; image != nullptr && y < height; ++y) {
                for (uint32_t x = 0; x < width; ++x) {
                    const Hit hit{(x + 0.5f) / width, (y + 0.5f) / height};
                    Blend(picture.At(x, y), Sample(*image, subImage, hit), projection->layerFlags);
                }
            }
            continue;
        }
        PlacedLayer placed{};
        switch (header->type) {
        case XR_TYPE_COMPOSITION_LAYER_QUAD:
            placed = Placement<XrCompositionLayerQuad>(header);
            break;
        case XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR:
            placed = Placement<XrCompositionLayerCylinderKHR>(header);
            break;
        case XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR:
            placed = Placement<XrCompositionLayerEquirect2KHR>(header);
            break;
        default:
            continue;
        }
        const RgbaImage* image = images.Presented(placed.subImage.swapchain);
        if (image == nullptr || !VisibleTo(placed.eyeVisibility, eye)) {
            continue;
        }
        const XrPosef pose = ComposePoses(SpacePose(placed.space), placed.pose);
        const XrVector3f origin = InverseTransform(pose, view.pose.position);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const Ray ray{origin, Rotate(Conjugate(pose.orientation), directions[size_t(y) * width + x])};
                std::optional<Hit> hit;
                if (header->type == XR_TYPE_COMPOSITION_LAYER_QUAD) {
                    hit = HitQuad(ray, reinterpret_cast<const XrCompositionLayerQuad*>(header)->size);
                } else if (header->type == XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR) {
                    hit = HitCylinder(ray, *reinterpret_cast<const XrCompositionLayerCylinderKHR*>(header));
                } else {
                    hit = HitEquirect(ray, *reinterpret_cast<const XrCompositionLayerEquirect2KHR*>(header));
                }
                if (hit && Inside(*hit)) {
                    Blend(picture.At(x, y), Sample(*image, placed.subImage, *hit), placed.flags);
                }
            }
        }
    }
    return picture;
}

} // namespace quenra::simruntime
