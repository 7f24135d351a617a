#include "core/trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

void writeToStdout(const char* text, void*) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void discard(const char*, void*) {}

std::mutex g_sinkLock;
TraceSink g_sink = writeToStdout;
void* g_context = nullptr;
thread_local int t_muted = 0;
thread_local std::string* t_capture = nullptr;

}  // namespace

void setTraceSink(TraceSink sink, void* context) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink = sink ? sink : writeToStdout;
    g_context = sink ? context : nullptr;
}

void silenceTrace() { setTraceSink(discard, nullptr); }

ScopedTraceMute::ScopedTraceMute() { ++t_muted; }
ScopedTraceMute::~ScopedTraceMute() { --t_muted; }

ScopedTraceCapture::ScopedTraceCapture(std::string& text) : outer_(t_capture) { t_capture = &text; }
ScopedTraceCapture::~ScopedTraceCapture() { t_capture = outer_; }

void traceText(const std::string& text) {
    if (t_muted > 0 || text.empty()) return;
    if (t_capture) {
        t_capture->append(text);
        return;
    }
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink(text.c_str(), g_context);
}

void trace(const char* format, ...) {
    if (t_muted > 0) return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed < 0) {
        va_end(again);
        return;
    }
    const char* text = small;
    std::vector<char> large;
    if (static_cast<size_t>(needed) >= sizeof small) {
        large.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        text = large.data();
    }
    va_end(again);
    if (t_capture) {
        t_capture->append(text);
        return;
    }
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink(text, g_context);
}
