#include "platform/glib/MainLoopWait.h"

#include <glib.h>

#include <chrono>

#include "platform/process/ChildProcess.h"

namespace meterwright::MainLoopWait {

bool until(const std::function<bool()>& done, double seconds) {
  GMainContext* context = g_main_context_ref_thread_default();
  auto deadline = ChildProcess::deadlineAfter(seconds);
  // Wakes the blocking iteration now and then, so a condition that no event of this context
  // announces (a file another process writes) is seen, and the deadline is kept.
  GSource* alarm = g_timeout_source_new(20);
  g_source_set_callback(
      alarm, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
  g_source_attach(alarm, context);
  bool finished = false;
  for (;;) {
    if (done()) {
      finished = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    g_main_context_iteration(context, TRUE);
  }
  g_source_destroy(alarm);
  g_source_unref(alarm);
  g_main_context_unref(context);
  return finished;
}

void run(double seconds) {
  until([] { return false; }, seconds);
}

}  // namespace meterwright::MainLoopWait
