#pragma once

#include <filesystem>
#include <functional>
#include <memory>

namespace meterwright {
class ControlServer;
}

namespace meterwright::testing {

// A stand-in for the running application: a control server on a thread of its own with its own
// main context, for command-line jobs that talk to it from the test's thread.
class RunningInstance {
 public:
  // `install` sets the handlers, on the server's thread, before it listens.
  RunningInstance(std::filesystem::path socket, std::function<void(ControlServer&)> install);
  ~RunningInstance();
  RunningInstance(const RunningInstance&) = delete;
  RunningInstance& operator=(const RunningInstance&) = delete;

  // Whether the server listens.
  bool listening() const;

 private:
  struct Thread;
  std::unique_ptr<Thread> thread_;
};

}  // namespace meterwright::testing
