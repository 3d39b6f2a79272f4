#include "desktop/app/ReadingWorker.h"

#include <chrono>
#include <utility>

namespace meterwright {

ReadingWorker::~ReadingWorker() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ReadingWorker::run(std::function<void()> job) {
  {
    std::lock_guard guard(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
  }
  wake_.notify_one();
}

void ReadingWorker::loop() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      // Woken by a job or the end; the bounded wait only re-checks now and then.
      if (!wake_.wait_for(lock, std::chrono::minutes(1),
                          [this] { return stopping_ || !jobs_.empty(); })) {
        continue;
      }
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace meterwright
