// The Slurm array script of docs/scaling, run with bash as the array's tasks would run it: its
// shares of a folder, each written into a folder of its own, must together be exactly what one
// tovel-cli run over the folder writes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "cli_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;  // file name -> bytes

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

Files filesIn(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = readFile(entry.path().string());
    return files;
}

std::string namesOf(const Files& files) {
    std::string names;
    for (const auto& [name, bytes] : files) names += (names.empty() ? "" : " ") + name;
    return names;
}

struct TaskRun {
    int status = -1;
    std::string log;
};

class ArrayScript : public testing::Test {
protected:
    // Small sheets of several kinds, made once: pages, a spread (divided into two outputs), a
    // JPEG, and a damaged file that fails in whichever share it falls.
    static void SetUpTestSuite() {
        work_ = std::make_unique<TempDir>();
        fs::create_directory(work_->path() / "src");
        const struct {
            const char* preset;
            int seed;
            const char* name;
        } sheets[] = {{"novel-spread", 2, "a-spread.png"}, {"novel-page", 1, "p1.png"},
                      {"novel-page", 2, "p2.png"},         {"novel-page", 3, "p3.png"},
                      {"novel-page", 4, "p4.png"},         {"two-tier", 5, "p5.png"},
                      {"clean-page", 7, "p6.jpg"}};
        for (const auto& s : sheets) {
            const fs::path out = work_->path() / "src" / s.name;
            const std::string command = quoted(TOVEL_SYNTH) + " --preset " + s.preset + " --seed " +
                                        std::to_string(s.seed) + " --dpi 100 " + quoted(out.string());
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            fs::remove(fs::path(out).replace_extension(".json"));
        }
        writeFile(work_->path() / "src/damaged.png", "not an image");
    }
    static void TearDownTestSuite() { work_.reset(); }

    static const fs::path& work() { return work_->path(); }

    // Task `task` of an array of `arrayTasks`, the script splitting the folder into three shares.
    static TaskRun runTask(int task, int arrayTasks, const std::string& dest) {
        const std::string log = (work() / (dest + ".log")).string();
        const std::string command = "cd " + quoted(work().string()) +
                                    " && SLURM_ARRAY_TASK_ID=" + std::to_string(task) +
                                    " SLURM_ARRAY_TASK_COUNT=" + std::to_string(arrayTasks) +
                                    " SLURM_CPUS_PER_TASK=2 SHARDS=3 SOURCE=src DEST=" + quoted(dest) +
                                    " TOVEL_CLI=" + quoted(TOVEL_CLI) + " bash " +
                                    quoted(TOVEL_ARRAY_SCRIPT) + " --divide-page > " + quoted(log) + " 2>&1";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(log)};
    }

    static std::unique_ptr<TempDir> work_;
};

std::unique_ptr<TempDir> ArrayScript::work_;

}  // namespace

TEST_F(ArrayScript, ShareOutTheSheetsWithoutOverlapAndTogetherMatchOneRun) {
    fs::create_directory(work() / "dest-all");
    const CliRun whole = cli({"--keep-going", "--divide-page", "--quiet", "src", "dest-all"}, work());
    ASSERT_EQ(whole.status, 1) << "the damaged sheet fails\n" << whole.out;
    const Files all = filesIn(work() / "dest-all");
    ASSERT_TRUE(all.count("a-spread-tovel-1.png") && all.count("p6-tovel.jpg")) << namesOf(all);

    Files together;
    int failedTasks = 0;
    for (int k = 1; k <= 3; ++k) {
        const std::string dest = "dest-" + std::to_string(k);
        const TaskRun task = runTask(k, 3, dest);
        // The damaged sheet fails its task (exit 1, reported to the scheduler) after the rest of
        // the share is written; the other tasks succeed.
        if (contains(task.log, "damaged.png: result 7")) {
            ++failedTasks;
            EXPECT_EQ(task.status, 1) << task.log;
        } else {
            EXPECT_EQ(task.status, 0) << task.log;
        }
        const Files share = filesIn(work() / dest);
        EXPECT_FALSE(share.empty()) << "task " << k << " wrote nothing\n" << task.log;
        for (const auto& [name, bytes] : share) {
            EXPECT_EQ(together.count(name), 0u) << name << " written by two tasks";
            together[name] = bytes;
        }
    }
    EXPECT_EQ(failedTasks, 1);
    ASSERT_EQ(namesOf(together), namesOf(all));
    for (const auto& [name, bytes] : all) EXPECT_TRUE(together[name] == bytes) << name << " differs";
}

// `sbatch --array=2` re-runs one share alone: the array then has one task, and the share must
// still be the second of three, not the whole folder.
TEST_F(ArrayScript, ReRunsOneShareAloneAsTheSameShare) {
    const TaskRun first = runTask(2, 3, "first");
    const TaskRun again = runTask(2, 1, "again");
    EXPECT_EQ(again.status, first.status) << again.log;
    const Files share = filesIn(work() / "first");
    EXPECT_FALSE(share.empty()) << first.log;
    EXPECT_EQ(namesOf(filesIn(work() / "again")), namesOf(share)) << again.log;
}
