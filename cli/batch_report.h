// What tovel-cli tells the user about a job: by default a line per sheet and a closing summary;
// with --trace the trace of every sheet, whole and in name order; with --quiet only failures.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "pipeline/folder_job.h"
#include "terminal_progress.h"

struct VoiceSettings {
    bool trace = false;     // every sheet's trace on standard output
    std::string traceDir;   // else, or as well, each sheet's trace in DIR/NAME.trace.txt
    bool quiet = false;     // only failures
    bool keepGoing = false;
};

// Why the sheet at path failed with result, in words for the user; destination is the output
// folder and outputPath a path the outputs would have been written under.
std::string describeResult(int result, const std::filesystem::path& path, const std::string& destination,
                           const std::string& outputPath);

class BatchReport {
public:
    BatchReport(const VoiceSettings& voice, TerminalProgress& progress, std::string destination,
                size_t total, unsigned char outputFormat);

    // The job's SheetReporter: context is the BatchReport.
    static void onSheet(void* context, const SheetReport& report);

    // A line of the job's account outside the sheets' (a folder made, files skipped).
    void note(const std::string& line) { say(line); }

    // Says how the job ended and answers the exit status.
    int finish(const FolderJobReport& report);

private:
    void sheet(const SheetReport& report);
    void say(const std::string& line);   // a line of the job's account
    void fail(const std::string& line);  // a failure, always on standard error
    std::string why(const SheetReport& report) const;

    VoiceSettings voice_;
    TerminalProgress& progress_;
    std::string destination_;
    size_t total_;
    unsigned char outputFormat_;
    size_t done_ = 0;
    std::string failures_;      // the lines of the closing list of --keep-going
    std::string firstFailure_;  // without it, the failure that stopped the job
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};
