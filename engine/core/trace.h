// The one trace function: every stage writes its progress and decisions through it.
#pragma once

#include <string>

// Formats with printf rules and passes the text to the trace sink (standard output by default).
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A trace sink receives each formatted text whole; it must be safe to call from any thread.
using TraceSink = void (*)(const char* text, void* context);

// Installs a sink for all later trace text; nullptr restores standard output.
void setTraceSink(TraceSink sink, void* context);

// Drops every trace text until another sink is installed (tovel-cli --quiet).
void silenceTrace();

// While one lives, trace text from the thread that made it is dropped; other threads trace on.
// For work done only to look at its result (an inspection image), whose decisions would
// otherwise be mixed into the sheet's trace.
class ScopedTraceMute {
public:
    ScopedTraceMute();
    ~ScopedTraceMute();
    ScopedTraceMute(const ScopedTraceMute&) = delete;
    ScopedTraceMute& operator=(const ScopedTraceMute&) = delete;
};

// While one lives, trace text from the thread that made it is appended to text instead of going
// to the sink: a sheet run beside others keeps its trace whole, to be shown after it. Captures
// nest; the innermost receives the text. A mute wins over a capture.
class ScopedTraceCapture {
public:
    explicit ScopedTraceCapture(std::string& text);
    ~ScopedTraceCapture();
    ScopedTraceCapture(const ScopedTraceCapture&) = delete;
    ScopedTraceCapture& operator=(const ScopedTraceCapture&) = delete;

private:
    std::string* outer_;
};

// Passes text to the sink whole, as trace("%s", text) would, without formatting it again.
void traceText(const std::string& text);
