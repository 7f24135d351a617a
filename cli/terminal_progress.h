// The progress bar of tovel-cli: a line on standard error, redrawn every 100 ms from the progress
// state (sheets done of total, the time left, the status line), that makes way for every line
// written through it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class TerminalProgress {
public:
    // Routes trace output through this object; the bar itself starts with start().
    TerminalProgress();
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // Starts redrawing the bar when standard error is a terminal.
    void start();
    // Stops redrawing and erases the bar.
    void stop();

    // Writes trace text to standard output, erasing the bar first when it shares the screen.
    void writeTrace(const char* text);
    // Writes text to stream (standard output or error), the bar making way as for a trace.
    void write(std::FILE* stream, const std::string& text);

    // Sheets ended and sheets in the job, for the bar.
    void setCounts(size_t done, size_t total);

private:
    void run();
    void draw();
    void erase();

    std::mutex lock_;
    std::atomic<size_t> done_{0}, total_{0};
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::thread worker_;
    std::atomic<bool> running_{false};
    bool sharesScreen_ = false;
    bool barShown_ = false;
    bool lineOpen_ = false;  // the last trace text did not end its line
};
