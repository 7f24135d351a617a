// The progress bar of tovel-cli: a line on standard error, redrawn every 100 ms from the progress
// state, that makes way for trace lines when both streams share one terminal.
#pragma once

#include <atomic>
#include <mutex>
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

private:
    void run();
    void draw();
    void erase();

    std::mutex lock_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    bool sharesScreen_ = false;
    bool barShown_ = false;
    bool lineOpen_ = false;  // the last trace text did not end its line
};
