#pragma once

#include <memory>
#include <string>
#include <vector>

namespace meterwright::testing {

// What the fake logind says about suspending.
struct LogindSettings {
  std::string idleAction = "ignore";
  std::string lidAction = "suspend";
  std::string canSuspend = "yes";
};

// org.freedesktop.login1 on a test's bus, in this process, handled while the test iterates the
// thread-default main context. Inhibit hands out the write end of a pipe and keeps the read end,
// so the test sees when the caller lets its inhibitor go. Also answers the properties and
// CanSuspend that the sleep diagnostics read.
class FakeLogind {
 public:
  // `silent` keeps Inhibit calls unanswered until answerHeld().
  enum class Behaviour { answer, refuse, silent };

  FakeLogind(const std::string& busAddress, Behaviour behaviour = Behaviour::answer,
             LogindSettings settings = {});
  ~FakeLogind();

  bool ready() const;
  // The arguments of each Inhibit call, in order.
  const std::vector<std::vector<std::string>>& inhibitCalls() const;
  // Whether the caller still holds the inhibitor of that call.
  bool inhibitorHeld(std::size_t call) const;
  void emitPrepareForSleep(bool goingToSleep);
  // Hands out the inhibitors of the calls kept so far.
  void answerHeld();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright::testing
