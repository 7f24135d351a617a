// tovel-bench: times tovel-cli, as a whole process, on a fixed set of generated sheets.
//
//   tovel-bench --synth PATH --cli PATH --work DIR
//
// Generates 12 A4 single pages and 8 B5 spreads at 300 dpi with tovel-synth (fixed seeds), runs
// tovel-cli on each sheet alone, and prints the wall time, CPU time and peak memory of each run
// and their medians. Beside them, measured in this process on one core, the time of the sheet's
// preparation: the spectrum and both cleanings.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/trace.h"
#include "pipeline/image_io.h"
#include "prep/sheet_cleaning.h"
#include "prep/wave_lengths.h"

namespace fs = std::filesystem;

namespace {

struct Usage {
    bool ok = false;
    double wallMs = 0;
    double cpuMs = 0;
    double peakMb = 0;
    double prepMs = 0;
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

// Milliseconds of the spectrum and both cleanings of the sheet at path; -1 when it cannot be read.
double preparationMs(const std::string& path) {
    GreyImage image;
    if (loadGreyImage(path.c_str(), image) != 0) return -1;
    GreyImage master(image);
    const auto start = std::chrono::steady_clock::now();
    double waveX = 0, waveY = 0;
    if (!measureWaveLengths(image, waveX, waveY)) waveX = waveY = fallbackWaveLength(image.width, image.height);
    cleanForAnalysis(image, waveX, waveY);
    cleanForOutput(master, waveX, waveY);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
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
    std::string synth, cli, work;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--synth")) synth = argv[i + 1];
        else if (!std::strcmp(argv[i], "--cli")) cli = argv[i + 1];
        else if (!std::strcmp(argv[i], "--work")) work = argv[i + 1];
    }
    if (synth.empty() || cli.empty() || work.empty()) {
        std::fprintf(stderr, "usage: tovel-bench --synth PATH --cli PATH --work DIR\n");
        return 2;
    }
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

    std::printf("\n%-18s %10s %10s %10s %10s\n", "sheet (tovel-cli)", "wall ms", "cpu ms", "peak MB", "prep ms");
    std::vector<std::string> groups;
    std::vector<std::vector<Usage>> byGroup;
    for (const Sheet& s : sheets) {
        const fs::path in = fs::path(work) / "in" / fs::path(s.name).stem();
        const fs::path out = fs::path(work) / "out" / fs::path(s.name).stem();
        fs::create_directories(out, ec);
        Usage u = runMeasured({cli, "--quiet", in.string(), out.string()});
        u.prepMs = preparationMs((in / s.name).string());
        std::printf("%-18s %10.0f %10.0f %10.1f %10.0f%s\n", s.name.c_str(), u.wallMs, u.cpuMs,
                    u.peakMb, u.prepMs, u.ok ? "" : "  FAILED");
        auto g = std::find(groups.begin(), groups.end(), s.group);
        if (g == groups.end()) {
            groups.push_back(s.group);
            byGroup.emplace_back();
            g = groups.end() - 1;
        }
        byGroup[static_cast<size_t>(g - groups.begin())].push_back(u);
    }
    std::printf("\n%-18s %10s %10s %10s %10s\n", "median", "wall ms", "cpu ms", "peak MB", "prep ms");
    for (size_t i = 0; i < groups.size(); ++i) {
        std::vector<double> wall, cpu, peak, prep;
        for (const Usage& u : byGroup[i]) {
            wall.push_back(u.wallMs);
            cpu.push_back(u.cpuMs);
            peak.push_back(u.peakMb);
            prep.push_back(u.prepMs);
        }
        std::printf("%-18s %10.0f %10.0f %10.1f %10.0f\n", groups[i].c_str(), median(wall),
                    median(cpu), median(peak), median(prep));
    }
    return 0;
}
