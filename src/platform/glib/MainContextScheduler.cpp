#include "platform/glib/MainContextScheduler.h"

#include <glib.h>

#include <cmath>
#include <map>

namespace meterwright {

struct MainContextScheduler::Sources {
  GMainContext* context = nullptr;
  Token last = 0;
  std::map<Token, GSource*> pending;

  // One timeout's action; the scheduler may be gone when it fires.
  struct Firing {
    std::weak_ptr<Sources> sources;
    Token token;
    std::function<void()> action;
  };
};

MainContextScheduler::MainContextScheduler() : sources_(std::make_shared<Sources>()) {
  sources_->context = g_main_context_ref_thread_default();
}

MainContextScheduler::~MainContextScheduler() {
  for (auto& [token, source] : sources_->pending) {
    g_source_destroy(source);
    g_source_unref(source);
  }
  g_main_context_unref(sources_->context);
}

Scheduler::Token MainContextScheduler::after(double seconds, std::function<void()> action,
                                             double tolerance) {
  if (!(seconds > 0)) seconds = 0;
  seconds = std::min(seconds, 86400.0 * 365);
  // A seconds timeout lets GLib wake this process once for every such timer due in the same
  // second; only worth it when the action may run a second late.
  GSource* source = tolerance >= 1 ? g_timeout_source_new_seconds(std::lround(seconds))
                                   : g_timeout_source_new(std::lround(seconds * 1000));
  Token token = ++sources_->last;
  auto* firing = new Sources::Firing{sources_, token, std::move(action)};
  g_source_set_callback(
      source,
      [](gpointer data) -> gboolean {
        auto* firing = static_cast<Sources::Firing*>(data);
        if (auto sources = firing->sources.lock()) {
          auto found = sources->pending.find(firing->token);
          if (found != sources->pending.end()) {
            g_source_unref(found->second);
            sources->pending.erase(found);
          }
        }
        // Moved out first: the action may destroy the scheduler, and with it this source.
        auto action = std::move(firing->action);
        if (action) action();
        return G_SOURCE_REMOVE;
      },
      firing, [](gpointer data) { delete static_cast<Sources::Firing*>(data); });
  sources_->pending.emplace(token, source);
  g_source_attach(source, sources_->context);
  return token;
}

void MainContextScheduler::cancel(Token token) {
  auto found = sources_->pending.find(token);
  if (found == sources_->pending.end()) return;
  g_source_destroy(found->second);
  g_source_unref(found->second);
  sources_->pending.erase(found);
}

}  // namespace meterwright
