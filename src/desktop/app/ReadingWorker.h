#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace meterwright {

// The one background thread the application reads on, so a reader that blocks for tens of
// seconds never holds up the main loop. Jobs run one after another in the order given. The
// thread starts with the first job. Destruction drops the jobs still waiting and never waits for
// the running one: quitting must not last as long as a hung reader. That job finishes on its
// thread alone (it holds what it uses), then the thread ends.
class ReadingWorker {
 public:
  ReadingWorker() = default;
  ~ReadingWorker();
  ReadingWorker(const ReadingWorker&) = delete;
  ReadingWorker& operator=(const ReadingWorker&) = delete;

  void run(std::function<void()> job);

  // Whether a job that a destroyed worker left running is still in flight, in this process. The
  // program must not run its static destructors under such a job.
  static bool abandonedJobRunning();

 private:
  struct Shared;
  static void loop(const std::shared_ptr<Shared>& shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace meterwright
