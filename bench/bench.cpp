// tovel-bench: times tovel-cli, as a whole process, on a fixed set of generated sheets, beside
// unpaper (a general scan cleaner from Debian) on the same sheets as a yardstick.
//
//   tovel-bench --synth PATH --cli PATH --work DIR [--runs N] [--unpaper PATH]
//
// Generates 12 A4 single pages and 8 B5 spreads at 300 dpi with tovel-synth (fixed seeds). Each
// sheet is run N times (3 by default) through tovel-cli alone and through unpaper; the medians of
// wall time, CPU time and peak memory are printed per sheet with the ratio of the two wall times,
// then per group. Beside them, each sheet once through the pipeline in this process gives the
// milliseconds of every stage, printed as medians per group.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "books/archive_book.h"
#include "books/pdf_book.h"
#include "core/heap_reuse.h"
#include "core/stage_clock.h"
#include "core/trace.h"
#include "pipeline/image_io.h"
#include "pipeline/layo.h"

namespace fs = std::filesystem;

namespace {

struct Usage {
    bool ok = false;
    double wallMs = 0;
    double cpuMs = 0;
    double peakMb = 0;
};

// Runs argv with standard output and error sent to /dev/null and measures it.
Usage runMeasured(const std::vector<std::string>& args) {
    Usage u;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return u;
    if (pid == 0) {
        FILE* null = std::fopen("/dev/null", "w");
        if (null) {
            dup2(fileno(null), STDOUT_FILENO);
            dup2(fileno(null), STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (wait4(pid, &status, 0, &ru) != pid) return u;
    const auto end = std::chrono::steady_clock::now();
    u.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    u.wallMs = std::chrono::duration<double, std::milli>(end - start).count();
    u.cpuMs = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 +
              (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
    u.peakMb = ru.ru_maxrss / 1024.0;
    return u;
}

// The stage times of the sheet at path run once through the pipeline in this process; the
// output goes to outFolder.
StageTimes stagesOf(const std::string& path, const std::string& outFolder) {
    const std::string out = (fs::path(outFolder) / fs::path(path).filename()).string();
    runLayo(path.c_str(), out.c_str(), LayoOptions(), defaultLayoStages());
    return stageTimes();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The medians of n runs of args.
Usage medianRun(const std::vector<std::string>& args, int n) {
    std::vector<double> wall, cpu, peak;
    Usage m;
    m.ok = true;
    for (int i = 0; i < n; ++i) {
        const Usage u = runMeasured(args);
        m.ok = m.ok && u.ok;
        wall.push_back(u.wallMs);
        cpu.push_back(u.cpuMs);
        peak.push_back(u.peakMb);
    }
    m.wallMs = median(wall);
    m.cpuMs = median(cpu);
    m.peakMb = median(peak);
    return m;
}

// The first executable named name on PATH, or "" when there is none.
std::string onPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const fs::path candidate = fs::path(dirs.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return "";
}

struct Sheet {
    std::string name;
    std::string group;
    std::vector<std::string> synthArgs;
};

std::vector<Sheet> benchSheets() {
    std::vector<Sheet> sheets;
    const char* pagePresets[] = {"novel-page", "two-tier", "magazine"};
    for (int i = 0; i < 12; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "a4-page-%02d.jpg", i + 1);
        sheets.push_back({name, "A4 pages", {"--preset", pagePresets[i % 3], "--paper", "A4", "--seed", std::to_string(100 + i)}});
    }
    for (int i = 0; i < 8; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "b5-spread-%02d.jpg", i + 1);
        sheets.push_back({name, "B5 spreads", {"--preset", "novel-spread", "--paper", "B5", "--seed", std::to_string(200 + i)}});
    }
    return sheets;
}

}  // namespace

int main(int argc, char** argv) {
    std::string synth, cli, work, unpaper = onPath("unpaper");
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--synth")) synth = argv[i + 1];
        else if (!std::strcmp(argv[i], "--cli")) cli = argv[i + 1];
        else if (!std::strcmp(argv[i], "--work")) work = argv[i + 1];
        else if (!std::strcmp(argv[i], "--runs")) runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--unpaper")) unpaper = argv[i + 1];
    }
    if (synth.empty() || cli.empty() || work.empty()) {
        std::fprintf(stderr, "usage: tovel-bench --synth PATH --cli PATH --work DIR [--runs N] [--unpaper PATH]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it is measured, also into a file
    keepFreedSheetMemory();
    initImageIo();
    silenceTrace();
    synth = fs::absolute(synth).string();
    cli = fs::absolute(cli).string();
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::create_directories(work, ec);
    if (ec) {
        std::fprintf(stderr, "tovel-bench: cannot make %s: %s\n", work.c_str(), ec.message().c_str());
        return 2;
    }
    if (unpaper.empty()) std::printf("unpaper not found (scripts/install-deps --bench installs it): no yardstick.\n");

    const std::vector<Sheet> sheets = benchSheets();
    std::printf("Generating %zu sheets in %s ...\n", sheets.size(), work.c_str());
    for (const Sheet& s : sheets) {
        const fs::path in = fs::path(work) / "in" / fs::path(s.name).stem();
        fs::create_directories(in, ec);
        std::vector<std::string> args{synth};
        args.insert(args.end(), s.synthArgs.begin(), s.synthArgs.end());
        args.push_back((in / s.name).string());
        if (!runMeasured(args).ok) {
            std::fprintf(stderr, "tovel-bench: tovel-synth failed for %s\n", s.name.c_str());
            return 1;
        }
        fs::remove(in / (fs::path(s.name).stem().string() + ".json"), ec);  // the truth is not a sheet
    }

    std::printf("\nMedians of %d runs per sheet, one core each.\n", runs);
    std::printf("%-18s %9s %9s %8s | %9s %9s %8s | %7s\n", "sheet", "tovel ms", "cpu ms", "peak MB",
                "unpaper", "cpu ms", "peak MB", "ratio");
    struct Row {
        Usage tovel, yard;
        StageTimes stages;
    };
    std::vector<std::string> groups;
    std::vector<std::vector<Row>> byGroup;
    for (const Sheet& s : sheets) {
        const fs::path in = fs::path(work) / "in" / fs::path(s.name).stem();
        const fs::path out = fs::path(work) / "out" / fs::path(s.name).stem();
        const fs::path staged = fs::path(work) / "staged";
        fs::create_directories(out, ec);
        fs::create_directories(staged, ec);
        Row row;
        row.tovel = medianRun({cli, "--quiet", in.string(), out.string()}, runs);
        if (!unpaper.empty())
            row.yard = medianRun({unpaper, "--overwrite", (in / s.name).string(), (out / "unpaper.pgm").string()}, runs);
        row.stages = stagesOf((in / s.name).string(), staged.string());
        char ratio[16] = "-";
        if (row.yard.ok && row.yard.wallMs > 0) std::snprintf(ratio, sizeof ratio, "%.2f", row.tovel.wallMs / row.yard.wallMs);
        std::printf("%-18s %9.0f %9.0f %8.1f | %9.0f %9.0f %8.1f | %7s%s\n", s.name.c_str(), row.tovel.wallMs,
                    row.tovel.cpuMs, row.tovel.peakMb, row.yard.wallMs, row.yard.cpuMs, row.yard.peakMb, ratio,
                    row.tovel.ok ? "" : "  FAILED");
        auto g = std::find(groups.begin(), groups.end(), s.group);
        if (g == groups.end()) {
            groups.push_back(s.group);
            byGroup.emplace_back();
            g = groups.end() - 1;
        }
        byGroup[static_cast<size_t>(g - groups.begin())].push_back(row);
    }

    std::printf("\n%-18s %9s %9s %8s | %9s %9s %8s | %7s\n", "median", "tovel ms", "cpu ms", "peak MB",
                "unpaper", "cpu ms", "peak MB", "ratio");
    for (size_t i = 0; i < groups.size(); ++i) {
        std::vector<double> v[6], ratios;
        for (const Row& r : byGroup[i]) {
            const double vals[6] = {r.tovel.wallMs, r.tovel.cpuMs, r.tovel.peakMb, r.yard.wallMs, r.yard.cpuMs, r.yard.peakMb};
            for (int k = 0; k < 6; ++k) v[k].push_back(vals[k]);
            if (r.yard.wallMs > 0) ratios.push_back(r.tovel.wallMs / r.yard.wallMs);
        }
        char ratio[16] = "-";
        if (!ratios.empty()) std::snprintf(ratio, sizeof ratio, "%.2f", median(ratios));
        std::printf("%-18s %9.0f %9.0f %8.1f | %9.0f %9.0f %8.1f | %7s\n", groups[i].c_str(), median(v[0]),
                    median(v[1]), median(v[2]), median(v[3]), median(v[4]), median(v[5]), ratio);
    }

    std::printf("\nStage medians, ms (each sheet once through the pipeline in this process):\n%-26s", "stage");
    for (const std::string& g : groups) std::printf(" %12s", g.c_str());
    std::printf("\n");
    for (int k = 0; k < static_cast<int>(Stage::kCount); ++k) {
        std::printf("%-26s", stageName(static_cast<Stage>(k)));
        for (size_t i = 0; i < groups.size(); ++i) {
            std::vector<double> ms;
            for (const Row& r : byGroup[i]) ms.push_back(r.stages.ms[k]);
            std::printf(" %12.0f", median(ms));
        }
        std::printf("\n");
    }

    // Sheets side by side: the same eight A4 pages one at a time and two at a time.
    const fs::path batch = fs::path(work) / "batch";
    fs::create_directories(batch, ec);
    int copied = 0;
    for (const Sheet& s : sheets) {
        if (s.group != sheets.front().group || copied == 8) continue;
        fs::copy_file(fs::path(work) / "in" / fs::path(s.name).stem() / s.name, batch / s.name,
                      fs::copy_options::overwrite_existing, ec);
        ++copied;
    }
    std::printf("\n%d %s, whole job (median of %d runs):\n", copied, sheets.front().group.c_str(), runs);
    double wall[2] = {0, 0};
    for (int jobs : {1, 2}) {
        const fs::path out = fs::path(work) / ("batch-out-" + std::to_string(jobs));
        fs::create_directories(out, ec);
        const Usage u = medianRun({cli, "--quiet", "--jobs", std::to_string(jobs), batch.string(), out.string()}, runs);
        wall[jobs - 1] = u.wallMs;
        std::printf("  --jobs %d %9.0f ms  peak %6.1f MB%s\n", jobs, u.wallMs, u.peakMb, u.ok ? "" : "  FAILED");
    }
    if (wall[1] > 0) std::printf("  --jobs 2 is %.2f times as fast as --jobs 1\n", wall[0] / wall[1]);

    // Books: all twenty sheets as a folder, as a PDF and as a CBZ, the pages in the same order.
    const fs::path shelf = fs::path(work) / "books";
    fs::create_directories(shelf / "folder", ec);
    std::vector<PdfPageOut> pdfPages;
    std::vector<ArchiveEntryOut> entries;
    for (const Sheet& s : sheets) {
        const fs::path page = shelf / "folder" / s.name;
        fs::copy_file(fs::path(work) / "in" / fs::path(s.name).stem() / s.name, page, fs::copy_options::overwrite_existing, ec);
        pdfPages.push_back(PdfPageOut{page.string(), 72.0 / 300, 72.0 / 300});
        entries.push_back(ArchiveEntryOut{BookItem::kPage, s.name, page.string(), 0, 0644});
    }
    std::string why;
    for (const char* kind : {"pdf", "cbz"}) {
        fs::create_directories(shelf / kind, ec);
        const std::string book = (shelf / kind / (std::string("book.") + kind)).string();
        const bool written = kind[0] == 'p' ? writePdf(book, pdfPages, why) : writeArchive(book, entries, why);
        if (!written) std::fprintf(stderr, "tovel-bench: cannot write %s: %s\n", book.c_str(), why.c_str());
    }
    std::printf("\n%zu sheets as a folder and as books, --jobs 2 (median of %d runs):\n", sheets.size(), runs);
    double folderMs = 0;
    for (const char* kind : {"folder", "pdf", "cbz"}) {
        const fs::path out = shelf / (std::string("out-") + kind);
        fs::create_directories(out, ec);
        const Usage u = medianRun({cli, "--quiet", "--jobs", "2", (shelf / kind).string(), out.string()}, runs);
        if (kind[0] == 'f') folderMs = u.wallMs;
        std::printf("  %-6s %9.0f ms", kind, u.wallMs);
        if (kind[0] != 'f' && folderMs > 0) std::printf("  %+5.1f %% over the folder", 100.0 * (u.wallMs / folderMs - 1));
        std::printf("%s\n", u.ok ? "" : "  FAILED");
    }
    return 0;
}
