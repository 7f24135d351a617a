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

void TerminalProgress::writeTrace(const char* text) { write(stdout, text); }

void TerminalProgress::write(std::FILE* stream, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stream == stderr || sharesScreen_) erase();
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
    if (!text.empty() && (stream == stdout || sharesScreen_)) lineOpen_ = text.back() != '\n';
}

void TerminalProgress::setCounts(size_t done, size_t total) {
    done_ = done;
    total_ = total;
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
    char counts[96];
    std::snprintf(counts, sizeof counts, "] %zu/%zu sheets", done_.load(), total_.load());
    line += counts;
    // The time left, from the pace so far, once there is a pace to go by.
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    if (fraction > 0.01 && elapsed > 2) {
        const long left = static_cast<long>(elapsed / fraction * (1 - fraction) + 0.5);
        if (left >= 60) {
            std::snprintf(counts, sizeof counts, ", %ld min %02ld s left", left / 60, left % 60);
        } else {
            std::snprintf(counts, sizeof counts, ", %ld s left", left);
        }
        line += counts;
    }
    line += "  ";
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
