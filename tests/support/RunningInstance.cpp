#include "support/RunningInstance.h"

#include <glib.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/control/ControlServer.h"

namespace meterwright::testing {

struct RunningInstance::Thread {
  GMainContext* context = g_main_context_new();
  std::atomic<bool> stopping = false;
  bool listening = false;
  std::thread thread;

  ~Thread() { g_main_context_unref(context); }
};

RunningInstance::RunningInstance(std::filesystem::path socket,
                                 std::function<void(ControlServer&)> install)
    : thread_(std::make_unique<Thread>()) {
  std::promise<bool> started;
  std::future<bool> listening = started.get_future();
  Thread* state = thread_.get();
  state->thread = std::thread([state, socket, install, &started] {
    g_main_context_push_thread_default(state->context);
    {
      ControlServer::Options options;
      options.socket = socket;
      ControlServer server(options);
      install(server);
      started.set_value(server.start() == ControlServer::Start::listening);
      while (!state->stopping) g_main_context_iteration(state->context, TRUE);
    }
    g_main_context_pop_thread_default(state->context);
  });
  state->listening = listening.get();
}

RunningInstance::~RunningInstance() {
  thread_->stopping = true;
  g_main_context_wakeup(thread_->context);
  thread_->thread.join();
}

bool RunningInstance::listening() const {
  return thread_->listening;
}

}  // namespace meterwright::testing
