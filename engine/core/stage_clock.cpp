#include "core/stage_clock.h"

#include <chrono>

namespace {

thread_local StageTimes t_times;
thread_local ScopedStage* t_current = nullptr;
thread_local long long t_innerStart = 0;

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

const char* stageName(Stage stage) {
    switch (stage) {
        case Stage::kLoad: return "load";
        case Stage::kFirstCleaning: return "first cleaning";
        case Stage::kSpectrum: return "spectrum";
        case Stage::kPagesAndTiers: return "pages and tiers";
        case Stage::kColumnsAndLines: return "columns and lines";
        case Stage::kResampling: return "placement and resampling";
        case Stage::kOutput: return "output cleaning";
        case Stage::kSave: return "save";
        case Stage::kCount: break;
    }
    return "?";
}

const StageTimes& stageTimes() { return t_times; }

void resetStageTimes() { t_times = StageTimes(); }

// The running stage is always the innermost: entering one closes the outer stage's running
// stretch, leaving it opens a new one.
ScopedStage::ScopedStage(Stage stage) : stage_(stage), outer_(t_current) {
    const long long start = nowNs();
    if (outer_) t_times.ms[static_cast<int>(outer_->stage_)] += (start - t_innerStart) / 1e6;
    t_innerStart = start;
    t_current = this;
}

ScopedStage::~ScopedStage() {
    const long long end = nowNs();
    t_times.ms[static_cast<int>(stage_)] += (end - t_innerStart) / 1e6;
    t_innerStart = end;
    t_current = outer_;
}
