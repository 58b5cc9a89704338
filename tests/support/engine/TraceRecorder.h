// Stand-in for the engine's XR trace interface: formats each message as the
// engine would and keeps (level, text) for assertions.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "UnityXRTrace.h"

namespace quenra::test {

struct TraceMessage {
    int level;
    std::string text;
};

class TraceRecorder {
public:
    TraceRecorder();
    ~TraceRecorder();
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    IUnityXRTrace* Interface() { return &trace_; }

    std::vector<TraceMessage> Messages() const;
    // Texts only, in order, at the given level.
    std::vector<std::string> Texts(int level) const;
    bool Contains(int level, const std::string& text) const;
    size_t Count(const std::string& text) const;
    size_t Size() const;
    void Clear();

    // Echo each message to stderr as it arrives (useful when a test fails).
    void SetEcho(bool echo) { echo_ = echo; }

private:
    static void UNITY_INTERFACE_API Trace(UnityXRTraceLevel level, const char* format, ...);
    void Add(int level, std::string text);

    IUnityXRTrace trace_{};
    mutable std::mutex mutex_;
    std::vector<TraceMessage> messages_;
    bool echo_ = false;
};

} // namespace quenra::test
