// Runs tovel-cli (TOVEL_CLI) as a child process, its standard output and error going to a log.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

struct CliRun {
    int status = -1;  // exit status; -1 when the process did not exit normally
    std::string out;  // standard output and standard error
};

// A running tovel-cli. fileSizeLimit >= 0 makes every write past that many bytes of a file fail,
// as on a full disk (SIGXFSZ is ignored so that the write returns an error instead).
class Child {
public:
    Child(const std::vector<std::string>& args, const std::filesystem::path& cwd, long long fileSizeLimit = -1)
        : log_(cwd / ".cli-log") {
        std::vector<std::string> all{TOVEL_CLI};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(cwd.c_str()) != 0) _exit(127);
            dup2(logFd, 1);
            dup2(logFd, 2);
            if (fileSizeLimit >= 0) {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(logFd);
    }

    // A run that a failed check left behind is ended.
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::string log() const { return readFile(log_); }
    void interrupt() const { kill(pid_, SIGINT); }

    CliRun wait() {
        int raw = 0;
        waitpid(pid_, &raw, 0);
        pid_ = -1;
        CliRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, log()};
        std::filesystem::remove(log_);
        return run;
    }

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
};

inline CliRun cli(const std::vector<std::string>& args, const std::filesystem::path& cwd) {
    return Child(args, cwd).wait();
}

// Waits up to 60 seconds for done(); false when it never came.
template <class Condition>
bool waitFor(Condition done) {
    for (int i = 0; i < 6000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
