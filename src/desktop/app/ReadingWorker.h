#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace meterwright {

// The one background thread the application reads on, so a reader that blocks for tens of
// seconds never holds up the main loop. Jobs run one after another in the order given. The
// thread starts with the first job; destruction lets the running job finish (every reader has a
// deadline), drops the ones still waiting and joins.
class ReadingWorker {
 public:
  ReadingWorker() = default;
  ~ReadingWorker();
  ReadingWorker(const ReadingWorker&) = delete;
  ReadingWorker& operator=(const ReadingWorker&) = delete;

  void run(std::function<void()> job);

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace meterwright
