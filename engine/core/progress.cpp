#include "core/progress.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>

namespace {

constexpr size_t kStatusRoom = 1024;

std::atomic<bool> g_jobRunning{false};
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_statusDirty{false};
std::atomic<double> g_progress{0.0};

// The status line is held as wide text, 1024 characters at most, like the window shows it.
std::mutex g_statusLock;
wchar_t g_statusText[kStatusRoom] = L"";

// The batch: its total, the sheets finished, and one fraction per sheet in progress. A thread
// running a sheet of it holds a slot (t_slot >= 0) and the serial number of its sheet; the sheet
// started last owns the status line and the preview.
constexpr int kSlots = 256;
std::atomic<int> g_batchTotal{0};
std::atomic<int> g_batchFinished{0};
std::atomic<double> g_slotFraction[kSlots];
std::atomic<bool> g_slotUsed[kSlots];
std::atomic<long long> g_lastStarted{0};
std::atomic<long long> g_nextSerial{0};
thread_local int t_slot = -1;
thread_local long long t_serial = 0;

// True when the calling thread may change the status line and the preview.
bool ownsDisplay() { return t_serial == 0 || t_serial == g_lastStarted.load(); }

std::mutex g_previewLock;
std::unique_ptr<GreyImage> g_preview;
PreviewListener g_listener = nullptr;
void* g_listenerContext = nullptr;

// Converts 8-bit text in the process locale to wide text into out (room units, zero-terminated).
// A byte sequence that does not convert ends the text there.
void toWide(const char* text, wchar_t* out, size_t room) {
    if (room == 0) return;
    std::mbstate_t state{};
    size_t n = 0;
    const char* p = text;
    const char* end = text + std::strlen(text);
    while (p < end && n + 1 < room) {
        wchar_t wc;
        const size_t used = std::mbrtowc(&wc, p, static_cast<size_t>(end - p), &state);
        if (used == 0 || used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) break;
        out[n++] = wc;
        p += used;
    }
    out[n] = L'\0';
}

void formatStatus(const char* format, va_list args, wchar_t* out, size_t room) {
    char narrow[kStatusRoom];
    narrow[0] = '\0';
    if (format) std::vsnprintf(narrow, sizeof narrow, format, args);
    toWide(narrow, out, room);
}

void notifyPreview(bool erase) {
    PreviewListener listener;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_previewLock);
        listener = g_listener;
        context = g_listenerContext;
    }
    if (listener) listener(context, erase);
}

}  // namespace

bool setStatusText(const char* format, ...) {
    if (!ownsDisplay()) return !g_stopRequested;
    wchar_t line[kStatusRoom];
    va_list args;
    va_start(args, format);
    formatStatus(format, args, line, kStatusRoom);
    va_end(args);
    {
        std::lock_guard<std::mutex> lock(g_statusLock);
        std::wcscpy(g_statusText, line);
    }
    g_statusDirty = true;
    return !g_stopRequested;
}

bool appendStatusText(const char* format, ...) {
    if (!ownsDisplay()) return !g_stopRequested;
    std::lock_guard<std::mutex> lock(g_statusLock);
    const wchar_t* colon = std::wcsstr(g_statusText, L": ");
    const size_t keep = colon ? static_cast<size_t>(colon - g_statusText) + 2 : 0;
    va_list args;
    va_start(args, format);
    formatStatus(format, args, g_statusText + keep, kStatusRoom - keep);
    va_end(args);
    g_statusDirty = true;
    return !g_stopRequested;
}

void setProgress(float fraction) {
    (t_slot >= 0 ? g_slotFraction[t_slot] : g_progress) = static_cast<double>(fraction);
}

void addProgress(float delta) {
    std::atomic<double>& target = t_slot >= 0 ? g_slotFraction[t_slot] : g_progress;
    double old = target.load();
    while (!target.compare_exchange_weak(old, old + static_cast<double>(delta))) {
    }
}

bool isStopRequested() { return g_stopRequested; }

bool showPreview(const GreyImage& image) {
    if (g_stopRequested) return false;
    if (!ownsDisplay()) return true;
    {
        std::lock_guard<std::mutex> lock(g_previewLock);
        if (!g_listener) return true;
        auto copy = std::make_unique<GreyImage>(image);
        g_preview = std::move(copy);
    }
    notifyPreview(false);
    return true;
}

void clearPreview() {
    if (!ownsDisplay()) return;
    {
        std::lock_guard<std::mutex> lock(g_previewLock);
        g_preview.reset();
    }
    notifyPreview(true);
}

void requestStop() { g_stopRequested = true; }
void clearStopRequest() { g_stopRequested = false; }
void setJobRunning(bool running) { g_jobRunning = running; }
bool isJobRunning() { return g_jobRunning; }

void setPreviewListener(PreviewListener listener, void* context) {
    std::lock_guard<std::mutex> lock(g_previewLock);
    g_listener = listener;
    g_listenerContext = context;
    if (!listener) g_preview.reset();
}

bool copyPreview(GreyImage& out) {
    std::lock_guard<std::mutex> lock(g_previewLock);
    if (!g_preview) return false;
    out = *g_preview;
    return true;
}

std::string takeStatusText(bool* changed) {
    if (changed) *changed = g_statusDirty.exchange(false);
    wchar_t line[kStatusRoom];
    {
        std::lock_guard<std::mutex> lock(g_statusLock);
        std::wcscpy(line, g_statusText);
    }
    std::string out;
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (const wchar_t* p = line; *p; ++p) {
        const size_t n = std::wcrtomb(buf, *p, &state);
        if (n == static_cast<size_t>(-1)) continue;
        out.append(buf, n);
    }
    return out;
}

double progressFraction() {
    const int total = g_batchTotal;
    if (total <= 0) return g_progress;
    double done = g_batchFinished;
    for (int k = 0; k < kSlots; ++k)
        if (g_slotUsed[k]) done += std::clamp(g_slotFraction[k].load(), 0.0, 1.0);
    return std::min(done / total, 1.0);
}

BatchProgress::BatchProgress(int total) {
    g_batchFinished = 0;
    g_batchTotal = total;
}

BatchProgress::~BatchProgress() { g_batchTotal = 0; }

SheetScope::SheetScope() : slot_(-1) {
    for (int k = 0; k < kSlots && slot_ < 0; ++k) {
        bool expected = false;
        if (g_slotUsed[k].compare_exchange_strong(expected, true)) slot_ = k;
    }
    if (slot_ >= 0) g_slotFraction[slot_] = 0.0;
    t_slot = slot_;
    t_serial = ++g_nextSerial;
    g_lastStarted = t_serial;
}

SheetScope::~SheetScope() {
    ++g_batchFinished;
    if (slot_ >= 0) g_slotUsed[slot_] = false;
    t_slot = -1;
    t_serial = 0;
}
