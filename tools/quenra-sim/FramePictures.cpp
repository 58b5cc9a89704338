#include "FramePictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "ApplicationView.h"
#include "Png.h"

namespace quenra::sim {

FramePictures::FramePictures(std::string directory, uint32_t frames, simruntime::Compositor& compositor)
    : directory(std::move(directory)), compositor(compositor)
{
    if (!this->directory.empty()) {
        for (double at : {0.2, 0.45, 0.75}) {
            dueFrames.push_back(std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(at * frames))));
        }
    }
}

void FramePictures::Observe(uint32_t frame, const XrFrameEndInfo& info, const std::string& arrangement)
{
    if (std::find(dueFrames.begin(), dueFrames.end(), frame) != dueFrames.end()) {
        composed.emplace_back(frame, compositor.Compose(info, 0, kViewWidth, kViewHeight), arrangement);
    }
}

void FramePictures::Write(const std::vector<simruntime::RgbaImage>& cameraTextures, const DeliveredRoom* room,
                          SimReport& report) const
{
    if (directory.empty()) {
        return;
    }
    for (const auto& [frame, picture, arrangement] : composed) {
        char name[32];
        std::snprintf(name, sizeof(name), "/frame-%03u.png", frame);
        WritePng(directory + name, picture);
        report.pictures.emplace_back(directory + name, "the left eye, composed: " + arrangement);
    }
    for (size_t i = 0; i < cameraTextures.size(); ++i) {
        const std::string path = directory + "/camera-" + std::to_string(i) + ".png";
        if (!cameraTextures[i].pixels.empty()) {
            WritePng(path, cameraTextures[i], true);
            report.pictures.emplace_back(path, "engine texture " + std::to_string(i) + " after the last render event");
        }
    }
    if (room != nullptr) {
        WritePng(directory + "/room-top.png", room->TopMap(ViewCamera(), 520, 420));
        report.pictures.emplace_back(directory + "/room-top.png",
                                     "the delivered meshes from above, planes outlined by alignment");
        room->WriteObj(directory + "/room.obj");
        report.pictures.emplace_back(directory + "/room.obj",
                                     "the delivered meshes in engine coordinates, one object per mesh id");
    }
}

} // namespace quenra::sim
