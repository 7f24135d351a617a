#include "terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "core/progress.h"

namespace {

int terminalColumns() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

// The longest head of text (UTF-8) that fits in columns terminal columns.
std::string fitColumns(const std::string& text, int columns) {
    std::mbstate_t state{};
    size_t pos = 0;
    int used = 0;
    while (pos < text.size()) {
        wchar_t wc;
        const size_t n = std::mbrtowc(&wc, text.data() + pos, text.size() - pos, &state);
        if (n == 0 || n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) break;
        const int w = std::max(wcwidth(wc), 0);
        if (used + w > columns) break;
        used += w;
        pos += n;
    }
    return text.substr(0, pos);
}

}  // namespace

TerminalProgress::TerminalProgress() {
    sharesScreen_ = isatty(STDOUT_FILENO) && isatty(STDERR_FILENO);
}

TerminalProgress::~TerminalProgress() { stop(); }

void TerminalProgress::start() {
    if (!isatty(STDERR_FILENO) || running_) return;
    running_ = true;
    worker_ = std::thread([this] { run(); });
}

void TerminalProgress::stop() {
    if (!running_) return;
    running_ = false;
    worker_.join();
    std::lock_guard<std::mutex> guard(lock_);
    erase();
}

void TerminalProgress::writeTrace(const char* text) {
    std::lock_guard<std::mutex> guard(lock_);
    if (sharesScreen_) erase();
    std::fputs(text, stdout);
    std::fflush(stdout);
    const size_t n = std::strlen(text);
    if (n > 0) lineOpen_ = text[n - 1] != '\n';
}

void TerminalProgress::run() {
    while (running_) {
        draw();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void TerminalProgress::draw() {
    std::lock_guard<std::mutex> guard(lock_);
    // A trace line still open on the same screen is left alone until it ends.
    if (sharesScreen_ && lineOpen_) return;
    constexpr int kBarWidth = 24;
    double fraction = progressFraction();
    fraction = fraction < 0 ? 0 : (fraction > 1 ? 1 : fraction);
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string line = "[";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBarWidth - filled), '-');
    char percent[16];
    std::snprintf(percent, sizeof percent, "] %3d%% ", static_cast<int>(fraction * 100));
    line += percent;
    line += takeStatusText(nullptr);
    const std::string shown = fitColumns(line, terminalColumns() - 1);
    std::fprintf(stderr, "\r\033[K%s", shown.c_str());
    std::fflush(stderr);
    barShown_ = true;
}

void TerminalProgress::erase() {
    if (!barShown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    barShown_ = false;
}
