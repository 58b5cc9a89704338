#include "TraceRecorder.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace quenra::engine {
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
    trace_.Trace = &TraceRecorder::Trace;
}

TraceRecorder::~TraceRecorder() { current = nullptr; }

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
    std::lock_guard<std::mutex> lock(mutex_);
    if (echo_ != nullptr && level <= echoLevel_) {
        *echo_ << "  [trace " << LevelName(level) << "] " << text << '\n';
    }
    ++levelCounts_[level];
    if (keep_) {
        messages_.push_back({level, std::move(text)});
    }
}

void TraceRecorder::SetKeeping(bool keep)
{
    std::lock_guard<std::mutex> lock(mutex_);
    keep_ = keep;
}

void TraceRecorder::EchoTo(std::ostream& out, int level)
{
    std::lock_guard<std::mutex> lock(mutex_);
    echo_ = &out;
    echoLevel_ = level;
}

void TraceRecorder::SetEcho(bool echo)
{
    EchoTo(std::cerr, echo ? INT_MAX : INT_MIN);
}

std::vector<TraceMessage> TraceRecorder::Messages() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::vector<std::string> TraceRecorder::Texts(int level) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const TraceMessage& message : messages_) {
        if (message.level == level) {
            texts.push_back(message.text);
        }
    }
    return texts;
}

bool TraceRecorder::Contains(int level, const std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(messages_.begin(), messages_.end(),
                       [&](const TraceMessage& m) { return m.level == level && m.text == text; });
}

size_t TraceRecorder::Count(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(
        std::count_if(messages_.begin(), messages_.end(), [&](const TraceMessage& m) { return m.text == text; }));
}

size_t TraceRecorder::Size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

size_t TraceRecorder::CountAtLevel(int level) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = levelCounts_.find(level);
    return found != levelCounts_.end() ? found->second : 0;
}

void TraceRecorder::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
    levelCounts_.clear();
}

} // namespace quenra::engine
