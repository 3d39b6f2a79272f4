#pragma once

#include <memory>
#include <string>
#include <vector>

namespace meterwright::testing {

// org.freedesktop.login1 on a test's bus, in this process, handled while the test iterates the
// thread-default main context. Inhibit hands out the write end of a pipe and keeps the read end,
// so the test sees when the caller lets its inhibitor go. Also answers the properties and
// CanSuspend that the sleep diagnostics read.
class FakeLogind {
 public:
  enum class Behaviour { answer, refuse, silent };

  struct Settings {
    std::string idleAction = "ignore";
    std::string lidAction = "suspend";
    std::string canSuspend = "yes";
  };

  FakeLogind(const std::string& busAddress, Behaviour behaviour = Behaviour::answer,
             Settings settings = {});
  ~FakeLogind();

  bool ready() const;
  // The arguments of each Inhibit call, in order.
  const std::vector<std::vector<std::string>>& inhibitCalls() const;
  // Whether the caller still holds the inhibitor of that call.
  bool inhibitorHeld(std::size_t call) const;
  void emitPrepareForSleep(bool goingToSleep);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright::testing
