#include "desktop/app/ReadingWorker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace meterwright {

namespace {

// Constant-initialised and trivially destroyed: an abandoned thread may still count down while
// the process ends.
std::atomic<int> abandonedJobs{0};

}  // namespace

// What the thread shares with its owner; the thread keeps it alive past the owner's end.
struct ReadingWorker::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> jobs;
  bool stopping = false;
  bool running = false;
  // The owner went while a job ran: the thread ends after it, unjoined.
  bool abandoned = false;
};

ReadingWorker::~ReadingWorker() {
  if (!shared_) return;
  bool busy;
  {
    std::lock_guard guard(shared_->mutex);
    shared_->stopping = true;
    shared_->jobs.clear();
    busy = shared_->running;
    if (busy) {
      shared_->abandoned = true;
      abandonedJobs.fetch_add(1);
    }
  }
  shared_->wake.notify_all();
  if (busy) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void ReadingWorker::run(std::function<void()> job) {
  if (!shared_) shared_ = std::make_shared<Shared>();
  {
    std::lock_guard guard(shared_->mutex);
    if (shared_->stopping) return;
    shared_->jobs.push_back(std::move(job));
  }
  if (!thread_.joinable()) thread_ = std::thread([shared = shared_] { loop(shared); });
  shared_->wake.notify_one();
}

bool ReadingWorker::abandonedJobRunning() {
  return abandonedJobs.load() > 0;
}

void ReadingWorker::loop(const std::shared_ptr<Shared>& shared) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(shared->mutex);
      // Woken by a job or the end; the bounded wait only re-checks now and then.
      if (!shared->wake.wait_for(lock, std::chrono::minutes(1),
                                 [&] { return shared->stopping || !shared->jobs.empty(); })) {
        continue;
      }
      if (shared->stopping) return;
      job = std::move(shared->jobs.front());
      shared->jobs.pop_front();
      shared->running = true;
    }
    job();
    // What the job held goes here, before the count says it has ended.
    job = nullptr;
    std::lock_guard guard(shared->mutex);
    shared->running = false;
    if (shared->abandoned) {
      abandonedJobs.fetch_sub(1);
      return;
    }
  }
}

}  // namespace meterwright
