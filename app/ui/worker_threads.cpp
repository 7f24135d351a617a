#include "ui/worker_threads.h"

#include <unistd.h>

#include "core/progress.h"
#include "core/trace.h"

WorkerThreads::~WorkerThreads() { stopAndJoinAll(); }

void WorkerThreads::start(std::function<void()> body) {
    auto worker = std::make_unique<Worker>();
    Worker* self = worker.get();
    std::lock_guard<std::mutex> lock(lock_);
    // The worker record is stored before the thread runs and outlives it: it is only dropped
    // after the join.
    workers_.push_back(std::move(worker));
    self->thread = std::thread([self, body = std::move(body)] {
        self->threadId = static_cast<unsigned>(gettid());
        body();
        self->finished = true;
    });
}

void WorkerThreads::reap(Worker& worker) {
    worker.thread.join();
    trace("thread #%u (hex:%X) terminated.\n", worker.threadId, worker.threadId);
}

int WorkerThreads::collectDeadThreads() {
    std::lock_guard<std::mutex> lock(lock_);
    for (size_t i = 0; i < workers_.size();) {
        if (!workers_[i]->finished) {
            ++i;
            continue;
        }
        reap(*workers_[i]);
        workers_[i] = std::move(workers_.back());
        workers_.pop_back();
    }
    return static_cast<int>(workers_.size());
}

int WorkerThreads::liveCount() const {
    std::lock_guard<std::mutex> lock(lock_);
    return static_cast<int>(workers_.size());
}

int WorkerThreads::busyCount() const {
    std::lock_guard<std::mutex> lock(lock_);
    int busy = 0;
    for (const auto& worker : workers_) busy += worker->finished ? 0 : 1;
    return busy;
}

void WorkerThreads::stopAndJoinAll() {
    std::vector<std::unique_ptr<Worker>> all;
    {
        std::lock_guard<std::mutex> lock(lock_);
        all.swap(workers_);
    }
    if (all.empty()) return;
    if (isJobRunning()) requestStop();
    for (auto& worker : all) reap(*worker);
}
