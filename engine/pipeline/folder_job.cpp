#include "pipeline/folder_job.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "core/progress.h"
#include "core/trace.h"

const char* const kImageExtensions =
    "$BMP$GIF$ICO$JPG$JPEG$PBM$PCD$PGM$PCT$PICT$PIC$PNG$PPM$PSD$TIF$TIFF$XBM$XPM$";
const char* const kBookExtensions = "$PDF$CBZ$ZIP$";

namespace {

namespace fs = std::filesystem;

sjisString withSeparator(const sjisString& folder) {
    sjisString s(folder);
    if (!s.empty() && s.lastByte() != '/') s.append('/');
    return s;
}

// The sheets of a job and where each stands; shared by the workers and the reporting thread.
class JobState {
public:
    JobState(const std::vector<SheetEntry>& sheets, const JobSettings& settings)
        : sheets_(sheets), settings_(settings), reports_(sheets.size()) {}

    // The next sheet to start, or nothing when the job starts no more sheets.
    std::optional<size_t> take() {
        std::lock_guard<std::mutex> lock(lock_);
        if (!closed_ && next_ < sheets_.size() && isStopRequested()) stopped_ = true;
        if (closed_ || next_ >= sheets_.size() || stopped_) {
            closed_ = true;
            return std::nullopt;
        }
        return next_++;
    }

    // True when a stop request kept a sheet from starting.
    bool stopped() {
        std::lock_guard<std::mutex> lock(lock_);
        return stopped_;
    }

    // Sheet report.index has ended: a stop, or a failure without keepGoing, starts no more.
    void ended(int result) {
        std::lock_guard<std::mutex> lock(lock_);
        if (result == kLayoStopped || (result != kLayoDone && !settings_.keepGoing)) closed_ = true;
    }

    void finish(SheetReport report) {
        ended(report.result);
        std::lock_guard<std::mutex> lock(lock_);
        reports_[report.index] = std::move(report);
        ended_.notify_all();
    }

    void workerEnded() {
        std::lock_guard<std::mutex> lock(lock_);
        --workers_;
        ended_.notify_all();
    }

    void setWorkers(int n) { workers_ = n; }

    // The report of sheet index once it has ended; nothing when it was never started.
    std::optional<SheetReport> await(size_t index) {
        std::unique_lock<std::mutex> lock(lock_);
        ended_.wait(lock, [&] { return reports_[index].has_value() || (workers_ == 0 && index >= next_); });
        if (!reports_[index]) return std::nullopt;
        return std::move(reports_[index]);
    }

private:
    const std::vector<SheetEntry>& sheets_;
    const JobSettings& settings_;
    std::mutex lock_;
    std::condition_variable ended_;
    std::vector<std::optional<SheetReport>> reports_;
    size_t next_ = 0;
    bool closed_ = false;
    bool stopped_ = false;
    int workers_ = 0;
};

SheetReport runSheet(const std::vector<SheetEntry>& sheets, size_t index, const sjisString& dst,
                     const LayoOptions& options, const LayoStages& stages, bool captureTrace) {
    SheetReport report;
    report.index = index;
    report.sheet = &sheets[index];
    const SheetScope scope;
    std::optional<ScopedTraceCapture> capture;
    if (captureTrace) capture.emplace(report.trace);
    const sjisString outputPath = dst + sjisString(sheets[index].name.c_str());
    const LayoOptions sheetOptions = options;
    if (sheets[index].refused != 0) {
        trace("%s: %s\n", sheets[index].shown().c_str(), "the page could not be taken out of its book");
        report.result = sheets[index].refused;
    } else {
        report.result = runLayo(sheets[index].path.c_str(), outputPath.c_str(), sheetOptions, stages, &report.outcome);
#if defined(__GLIBC__)
        // A sheet frees buffers the size of the sheet; kept by the allocator, they fragment the
        // heap under the next sheet's, and a long job's memory grows by half a sheet's worth.
        // Handing the free pages back after each sheet keeps a job at about one sheet's peak.
        malloc_trim(0);
#endif
    }
    if (report.result != kLayoDone && report.result != kLayoStopped)
        trace("Error: LAYO() reported error. rc=%d\n", report.result);
    return report;
}

}  // namespace

namespace {

bool extensionIn(const char* extensions, const sjisString& fileName) {
    sjisString key("$");
    key.append(fileName.extension());
    key.append('$');
    key.toUpper();
    return std::strstr(extensions, key.c_str()) != nullptr;
}

}  // namespace

bool hasImageExtension(const sjisString& fileName) { return extensionIn(kImageExtensions, fileName); }

bool hasBookExtension(const sjisString& fileName) { return extensionIn(kBookExtensions, fileName); }

bool isOwnOutputName(const std::string& fileName) {
    const sjisString name(fileName.c_str());
    if (!hasImageExtension(name) && !hasBookExtension(name)) return false;
    const size_t dot = fileName.rfind('.');
    const std::string stem = fileName.substr(0, dot);
    for (const char* suffix : {"-tovel", "-tovel-1", "-tovel-2"}) {
        const size_t n = std::strlen(suffix);
        if (stem.size() > n && stem.compare(stem.size() - n, n, suffix) == 0) return true;
    }
    return false;
}

bool sameFolder(const sjisString& a, const sjisString& b) {
    std::error_code ec;
    const bool same = fs::equivalent(fs::path(a.empty() ? "." : a.c_str()), fs::path(b.empty() ? "." : b.c_str()), ec);
    return !ec && same;
}

size_t dropOwnOutputs(std::vector<SheetEntry>& sheets) {
    const size_t before = sheets.size();
    std::erase_if(sheets, [](const SheetEntry& sheet) { return isOwnOutputName(sheet.name); });
    return before - sheets.size();
}

bool listSheets(const sjisString& folder, std::vector<SheetEntry>& sheets) {
    std::error_code ec;
    const fs::path dir(folder.empty() ? "." : folder.c_str());
    fs::directory_iterator it(dir, ec);
    if (ec) return false;
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return false;
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;  // directories, devices, pipes
        if (!hasImageExtension(sjisString(name.c_str())) && !hasBookExtension(sjisString(name.c_str()))) continue;
        names.push_back(name);
    }
    if (ec) return false;
    std::sort(names.begin(), names.end());
    const sjisString src = withSeparator(folder);
    for (const std::string& name : names) sheets.push_back(SheetEntry{(src + sjisString(name.c_str())).c_str(), name});
    return true;
}

FolderJobReport runSheetList(const std::vector<SheetEntry>& sheets, const sjisString& destinationFolder,
                             const LayoOptions& options, const LayoStages& stages,
                             const JobSettings& settings, SheetReporter reporter, void* reporterContext) {
    FolderJobReport report;
    const sjisString dst = withSeparator(destinationFolder);
    JobState state(sheets, settings);
    const BatchProgress progress(static_cast<int>(sheets.size()));
    const int jobs = std::clamp(settings.jobs, 1, 256);
    auto deliver = [&](const SheetReport& sheet) {
        if (sheet.result == kLayoDone) {
            ++report.count;
        } else if (sheet.result == kLayoStopped) {
            if (report.result == kLayoDone) report.result = kLayoStopped;
        } else {
            report.failures.push_back(SheetFailure{sheet.index, sheet.sheet->shown(), sheet.result});
            if (report.result <= 0) {
                report.result = sheet.result;
                report.failedFile = sjisString(sheet.sheet->shown().c_str());
            }
        }
        if (reporter) reporter(reporterContext, sheet);
    };

    if (jobs == 1 || sheets.size() <= 1) {
        // One sheet at a time, on this thread, as the job always ran.
        while (const std::optional<size_t> index = state.take()) {
            const SheetReport sheet = runSheet(sheets, *index, dst, options, stages, settings.captureTrace);
            state.ended(sheet.result);
            deliver(sheet);
        }
    } else {
        // Workers take the sheets in list order; this thread hands out their reports in order.
        const int threads = std::min<int>(jobs, static_cast<int>(sheets.size()));
        state.setWorkers(threads);
        std::vector<std::thread> workers;
        for (int k = 0; k < threads; ++k)
            workers.emplace_back([&] {
                while (const std::optional<size_t> index = state.take())
                    state.finish(runSheet(sheets, *index, dst, options, stages, settings.captureTrace));
                state.workerEnded();
            });
        for (size_t i = 0; i < sheets.size(); ++i) {
            const std::optional<SheetReport> sheet = state.await(i);
            if (!sheet) break;
            deliver(*sheet);
        }
        for (std::thread& t : workers) t.join();
    }

    if (report.result == kLayoDone && state.stopped()) report.result = kLayoStopped;
    return report;
}

void endSheetJob(const FolderJobReport& report, bool keepGoing) {
    if (report.result > 0 && !keepGoing) {
        setStatusText("エラーが発生しました。処理を中断します。");
    } else if (report.result == kLayoStopped) {
        setStatusText("中止しました。");
    } else if (report.result == kLayoDone) {
        setStatusText("%d 画像を処理しました。", report.count);
    }
    setJobRunning(false);
    clearStopRequest();
}

FolderJobReport runSheetJob(const std::vector<SheetEntry>& sheets, const sjisString& destinationFolder,
                            const LayoOptions& options, const LayoStages& stages,
                            const JobSettings& settings, SheetReporter reporter, void* reporterContext) {
    const FolderJobReport report =
        runSheetList(sheets, destinationFolder, options, stages, settings, reporter, reporterContext);
    endSheetJob(report, settings.keepGoing);
    return report;
}

FolderJobReport runFolderJob(const sjisString& sourceFolder, const sjisString& destinationFolder,
                             const LayoOptions& options, const LayoStages& stages) {
    std::vector<SheetEntry> sheets;
    if (!listSheets(sourceFolder, sheets)) {
        FolderJobReport report;
        report.result = kFolderUnreadable;
        setStatusText("中止しました。");
        setJobRunning(false);
        clearStopRequest();
        return report;
    }
    return runSheetJob(sheets, destinationFolder, options, stages, JobSettings());
}
