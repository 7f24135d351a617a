// Where the time of a sheet goes: each thread keeps the milliseconds it spent in every stage of
// the sheet it works on. Read by the benchmark; the pipeline resets it at the start of a sheet.
#pragma once

enum class Stage {
    kLoad,
    kFirstCleaning,
    kSpectrum,
    kPagesAndTiers,
    kColumnsAndLines,
    kResampling,
    kOutput,  // the output cleaning, the whitening outside the text and the check before writing
    kSave,
    kCount
};

// The stage's name as the benchmark prints it.
const char* stageName(Stage stage);

struct StageTimes {
    double ms[static_cast<int>(Stage::kCount)] = {};
};

// The times the calling thread spent in each stage since the last resetStageTimes().
const StageTimes& stageTimes();
void resetStageTimes();

// Counts the time from its making to its end for stage. Stages nest: the time of an inner stage
// (the resampling inside the line stage) counts for it alone, not for the stage around it.
class ScopedStage {
public:
    explicit ScopedStage(Stage stage);
    ~ScopedStage();
    ScopedStage(const ScopedStage&) = delete;
    ScopedStage& operator=(const ScopedStage&) = delete;

private:
    Stage stage_;
    ScopedStage* outer_;
};
