#pragma once

#include <memory>

#include "core/time/Scheduler.h"

namespace meterwright {

// Actions run as GLib timeouts of the main context that is the thread default where this is
// created; the owner of that context must iterate it (the application's main loop, or a job's
// bounded wait). Destroying the scheduler drops every action that has not run.
class MainContextScheduler final : public Scheduler {
 public:
  MainContextScheduler();
  ~MainContextScheduler() override;
  MainContextScheduler(const MainContextScheduler&) = delete;
  MainContextScheduler& operator=(const MainContextScheduler&) = delete;

  Token after(double seconds, std::function<void()> action, double tolerance = 0) override;
  void cancel(Token token) override;

 private:
  struct Sources;
  std::shared_ptr<Sources> sources_;
};

}  // namespace meterwright
