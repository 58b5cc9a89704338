// Stand-in for the engine's XR trace interface: formats each message as the
// engine would and keeps (level, text) for assertions, counts messages per level,
// and can echo them to a stream as they arrive.
#pragma once

#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "UnityXRTrace.h"

namespace quenra::simengine {

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

    IUnityXRTrace* Interface() { return &trace; }

    std::vector<TraceMessage> Messages() const;
    // Texts only, in order, at the given level.
    std::vector<std::string> Texts(int level) const;
    bool Contains(int level, const std::string& text) const;
    size_t Count(const std::string& text) const;
    size_t Size() const;
    // Messages of exactly this level, kept or not.
    size_t CountAtLevel(int level) const;
    // Forgets the messages and the per-level counts.
    void Clear();

    // Off, messages are only counted and echoed, so a long run does not grow without end.
    void SetKeeping(bool keep);
    // Writes each message at `level` or more severe (a lower number) to `out` as it arrives. A message
    // that repeats the one before is held back and counted: once another comes (or the echo is
    // redirected, or the recorder goes), the repeat is written once as "text (×N)", N counting all.
    void EchoTo(std::ostream& out, int level);
    // Echo every message to stderr (useful when a test fails), or stop echoing.
    void SetEcho(bool echo);

private:
    static void UNITY_INTERFACE_API Trace(UnityXRTraceLevel level, const char* format, ...);
    void Add(int level, std::string text);
    // Writes the held-back repeats of the last echoed message, if any. Called with the mutex held.
    void FlushRepeats();

    IUnityXRTrace trace{};
    mutable std::mutex mutex;
    std::vector<TraceMessage> messages;
    std::map<int, size_t> levelCounts;
    bool keep = true;
    std::ostream* echo = nullptr;
    int echoLevel = 0;
    // The last message echoed, and how many times it came in a row.
    TraceMessage lastEchoed{0, {}};
    size_t lastEchoedCount = 0;
};

} // namespace quenra::simengine
