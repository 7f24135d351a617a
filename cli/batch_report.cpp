#include "batch_report.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "books/book_contents.h"
#include "core/progress.h"
#include "pipeline/image_io.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitDone = 0;
constexpr int kExitSheetFailed = 1;
constexpr int kExitStopped = 130;

// Why writing into folder failed, as far as can be told afterwards; empty when nothing shows.
std::string describeWriteFailure(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return "the destination folder is gone";
    struct statvfs disk {};
    if (statvfs(folder.c_str(), &disk) != 0) return "";
    if (disk.f_flag & ST_RDONLY) return "the destination is read-only";
    const unsigned long long free = static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize;
    return free < (1ull << 20) ? "the destination disk is full" : "";
}

}  // namespace

std::string describeResult(int result, const fs::path& path, const std::string& destination,
                           const std::string& outputPath) {
    std::error_code ec;
    switch (result) {
        case kLayoUnsettled: return "the sheet's orientation could not be settled";
        case kLayoPagesFailed: return "the page finder failed";
        case kLayoWriteFailed: {
            if (!canSaveGreyAs(outputPath.c_str())) {
                return "the output keeps the input's format, and " + fs::path(outputPath).extension().string() +
                       " files cannot be written";
            }
            const std::string cause = describeWriteFailure(destination);
            return "the output file could not be written" + (cause.empty() ? "" : ": " + cause);
        }
        case kLayoUnreadable:
            if (!fs::exists(path, ec) && !ec) return "the file is gone: it was moved or deleted during the run";
            return "the file cannot be read as an image: not an image, damaged or cut short";
        case kLayoTooSmall: return "the sheet is smaller than 70 pixels on its shorter side";
        case kLayoTooLarge:
            return "the sheet has more than " + std::to_string(kLargestSheetPixels / 1'000'000) + " million pixels";
        case kBookEncrypted: return "the book is encrypted (it needs a password)";
        case kBookDamaged: return "the book cannot be read: damaged or cut short";
        default: return "the sheet could not be processed";
    }
}

BatchReport::BatchReport(const VoiceSettings& voice, TerminalProgress& progress, std::string destination,
                         size_t total, unsigned char outputFormat)
    : voice_(voice), progress_(progress), destination_(std::move(destination)), total_(total),
      outputFormat_(outputFormat) {
    progress_.setCounts(0, total_);
}

void BatchReport::onSheet(void* context, const SheetReport& report) { static_cast<BatchReport*>(context)->sheet(report); }

std::string BatchReport::why(const SheetReport& report) const {
    const std::string output = outputPathInFormat((fs::path(destination_) / report.sheet->name).c_str(), outputFormat_);
    std::string text = "result " + std::to_string(report.result) + ": ";
    // A page too large inside a book is an entry or page refused before it was unpacked.
    if (report.result == kLayoTooLarge && !report.sheet->label.empty()) return text + "the page is too large to take out of its book";
    if (report.result == kLayoWriteFailed && report.sheet->label.empty() && hasBookExtension(sjisString(report.sheet->name.c_str()))) {
        const std::string cause = describeWriteFailure(destination_);
        text += "the book could not be written" + (cause.empty() ? "" : ": " + cause);
    } else {
        text += describeResult(report.result, report.sheet->path, destination_, output);
    }
    return report.detail.empty() ? text : text + " (" + report.detail + ")";
}

void BatchReport::say(const std::string& line) {
    if (voice_.quiet) return;
    // With --trace, standard output carries the trace alone, as it always has.
    progress_.write(voice_.trace ? stderr : stdout, line + "\n");
}

void BatchReport::fail(const std::string& line) { progress_.write(stderr, line + "\n"); }

void BatchReport::sheet(const SheetReport& report) {
    ++done_;
    total_ = std::max(total_, done_);  // a book's pages come on top of the books counted
    progress_.setCounts(done_, total_);
    if (voice_.trace) progress_.write(stdout, report.trace);
    if (!voice_.traceDir.empty() && !report.trace.empty()) {
        const fs::path file = fs::path(voice_.traceDir) / (report.sheet->name + ".trace.txt");
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << report.trace;
        if (!out) fail("tovel-cli: cannot write the trace of " + report.sheet->name + " into " + file.string());
    }
    const std::string& name = report.sheet->shown();
    if (report.result == kLayoDone) {
        std::string line = name + " -> ";
        for (size_t k = 0; k < report.outcome.written.size(); ++k)
            line += (k ? ", " : "") + report.outcome.written[k];
        if (!report.outcome.notice.empty()) line += " (written cleaned, as loaded: " + report.outcome.notice + ")";
        say(line);
    } else if (report.result != kLayoStopped) {
        const std::string line = name + ": " + why(report);
        if (voice_.keepGoing) {
            failures_ += "  " + line + "\n";
        } else if (firstFailure_.empty()) {
            // The failure that stops the job is told last, with what was written before it.
            firstFailure_ = line;
            return;
        }
        fail("tovel-cli: " + line);
    }
}

int BatchReport::finish(const FolderJobReport& report) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    if (voice_.trace) fail(takeStatusText(nullptr));
    if (report.result == kLayoStopped) {
        fail("tovel-cli: stopped; " + std::to_string(report.count) + " sheet(s) written before the stop");
        return kExitStopped;
    }
    char summary[160];
    std::snprintf(summary, sizeof summary, "tovel-cli: %d written, %zu failed in %.1f s (%.1f sheets per minute)",
                  report.count, report.failures.size(), seconds,
                  seconds > 0 ? (report.count + report.failures.size()) * 60.0 / seconds : 0.0);
    say(summary);
    if (report.result == kLayoDone) return kExitDone;
    if (voice_.keepGoing) {
        fail("tovel-cli: " + std::to_string(report.failures.size()) + " sheet(s) failed:\n" + failures_.substr(0, failures_.size() - 1));
    } else {
        fail("tovel-cli: " + firstFailure_ + "; " + std::to_string(report.count) + " sheet(s) written before it");
    }
    return kExitSheetFailed;
}
