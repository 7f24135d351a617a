// The worker threads of the window: the Start button starts one, the main window's timer joins
// it once its body has returned.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class WorkerThreads {
public:
    WorkerThreads() = default;
    // Asks a running job to stop and waits for every thread (see stopAndJoinAll).
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs body on a new thread at once. The thread counts as alive until it is joined by
    // collectDeadThreads or stopAndJoinAll, even after body has returned.
    void start(std::function<void()> body);

    // Joins every thread whose body has returned, tracing "thread #%u (hex:%X) terminated.\n"
    // with its kernel thread id for each. Answers the number of threads still alive. Never
    // blocks on a thread that is still working.
    int collectDeadThreads();

    // Threads started and not yet joined.
    int liveCount() const;

    // Threads whose body is still running; 0 means the next collectDeadThreads joins them all.
    int busyCount() const;

    // Requests a stop when a job is running, then joins every thread. Blocks until the job
    // reaches its next stop check.
    void stopAndJoinAll();

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> finished{false};
        unsigned threadId = 0;  // written by the thread before its body; read after the join
    };

    void reap(Worker& worker);

    mutable std::mutex lock_;
    std::vector<std::unique_ptr<Worker>> workers_;
};
