#include "TraceRecorder.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace quenra::simengine {
namespace {
// The trace function carries no user data, so the live recorder is found here.
TraceRecorder* current = nullptr;

const char* LevelName(int level)
{
    switch (level) {
    case kXRTraceLevelError:
        return "error";
    case kXRTraceLevelWarning:
        return "warning";
    case kXRTraceLevelNotice:
        return "notice";
    default:
        return "other";
    }
}
} // namespace

TraceRecorder::TraceRecorder()
{
    if (current != nullptr) {
        throw std::logic_error("only one TraceRecorder may exist at a time");
    }
    current = this;
    trace.Trace = &TraceRecorder::Trace;
}

TraceRecorder::~TraceRecorder()
{
    std::lock_guard<std::mutex> lock(mutex);
    FlushRepeats();
    current = nullptr;
}

void UNITY_INTERFACE_API TraceRecorder::Trace(UnityXRTraceLevel level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    if (current != nullptr) {
        current->Add(level, std::move(text));
    }
}

void TraceRecorder::Add(int level, std::string text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (echo != nullptr && level <= echoLevel) {
        if (lastEchoedCount != 0 && lastEchoed.level == level && lastEchoed.text == text) {
            ++lastEchoedCount;
        } else {
            FlushRepeats();
            *echo << "  [trace " << LevelName(level) << "] " << text << '\n';
            lastEchoed = {level, text};
            lastEchoedCount = 1;
        }
    }
    ++levelCounts[level];
    if (keep) {
        messages.push_back({level, std::move(text)});
    }
}

void TraceRecorder::SetKeeping(bool keep)
{
    std::lock_guard<std::mutex> lock(mutex);
    this->keep = keep;
}

void TraceRecorder::FlushRepeats()
{
    if (echo != nullptr && lastEchoedCount > 1) {
        *echo << "  [trace " << LevelName(lastEchoed.level) << "] " << lastEchoed.text << " (\u00d7" << lastEchoedCount
              << ")\n";
    }
    lastEchoedCount = 0;
}

void TraceRecorder::EchoTo(std::ostream& out, int level)
{
    std::lock_guard<std::mutex> lock(mutex);
    FlushRepeats();
    echo = &out;
    echoLevel = level;
}

void TraceRecorder::SetEcho(bool echo)
{
    EchoTo(std::cerr, echo ? INT_MAX : INT_MIN);
}

std::vector<TraceMessage> TraceRecorder::Messages() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return messages;
}

std::vector<std::string> TraceRecorder::Texts(int level) const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> texts;
    for (const TraceMessage& message : messages) {
        if (message.level == level) {
            texts.push_back(message.text);
        }
    }
    return texts;
}

bool TraceRecorder::Contains(int level, const std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::any_of(messages.begin(), messages.end(),
                       [&](const TraceMessage& m) { return m.level == level && m.text == text; });
}

size_t TraceRecorder::Count(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<size_t>(
        std::count_if(messages.begin(), messages.end(), [&](const TraceMessage& m) { return m.text == text; }));
}

size_t TraceRecorder::Size() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return messages.size();
}

size_t TraceRecorder::CountAtLevel(int level) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = levelCounts.find(level);
    return found != levelCounts.end() ? found->second : 0;
}

void TraceRecorder::Clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    messages.clear();
    levelCounts.clear();
}

} // namespace quenra::simengine
