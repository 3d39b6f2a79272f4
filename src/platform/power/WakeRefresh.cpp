#include "platform/power/WakeRefresh.h"

#include <atomic>

#include "platform/dbus/BusAddress.h"
#include "platform/dbus/BusCalls.h"

namespace meterwright {

struct WakeRefresh::Runner {
  WakeRefresh& owner;
  Scheduler& scheduler;
  Options options;
  PowerAssertion assertion;
  GMainContext* context = g_main_context_ref_thread_default();
  glib::Object<GDBusConnection> connection;
  guint subscription = 0;
  Scheduler::Token tick = 0;
  bool busy = false;
  bool listening = false;
  int wakes = 0;

  Runner(WakeRefresh& owner, Scheduler& scheduler, Options options)
      : owner(owner),
        scheduler(scheduler),
        options(options),
        assertion(scheduler, {options.environment, options.deadlineSeconds}) {}

  ~Runner() {
    scheduler.cancel(tick);
    if (subscription) g_dbus_connection_signal_unsubscribe(connection.get(), subscription);
    if (connection) g_dbus_connection_close(connection.get(), nullptr, nullptr, nullptr);
    g_main_context_unref(context);
  }

  void scheduleTick(const std::shared_ptr<Runner>& self, double interval) {
    std::weak_ptr<Runner> weak = self;
    tick = scheduler.after(
        interval,
        [weak, interval] {
          auto self = weak.lock();
          if (!self) return;
          self->scheduleTick(self, interval);
          self->runUnlessBusy(self);
        },
        interval * 0.25);
  }

  void runUnlessBusy(const std::shared_ptr<Runner>& self) {
    if (!owner.onRefresh || busy) return;
    busy = true;
    assertion.take(assertionCap);
    std::weak_ptr<Runner> weak = self;
    auto called = std::make_shared<std::atomic<bool>>(false);
    // The completion may come after the runner is gone; it keeps the context alive itself.
    std::shared_ptr<GMainContext> home(g_main_context_ref(context), g_main_context_unref);
    owner.onRefresh([weak, called, home] {
      if (called->exchange(true)) return;
      // Back to the runner's own thread before anything is touched.
      auto* box = new std::weak_ptr<Runner>(weak);
      g_main_context_invoke_full(
          home.get(), G_PRIORITY_DEFAULT,
          [](gpointer data) {
            if (auto self = static_cast<std::weak_ptr<Runner>*>(data)->lock()) {
              self->busy = false;
              self->assertion.release();
            }
            return G_SOURCE_REMOVE;
          },
          box, [](gpointer data) { delete static_cast<std::weak_ptr<Runner>*>(data); });
    });
  }

  void listen(const std::shared_ptr<Runner>& self) {
    std::weak_ptr<Runner> weak = self;
    BusCalls::connect(
        BusAddress::system(options.environment), options.deadlineSeconds,
        [weak](glib::Object<GDBusConnection> connection, std::string) {
          auto self = weak.lock();
          if (!self || !connection) return;
          self->connection = std::move(connection);
          self->subscription = g_dbus_connection_signal_subscribe(
              self->connection.get(), "org.freedesktop.login1", "org.freedesktop.login1.Manager",
              "PrepareForSleep", "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
              [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                 GVariant* parameters, gpointer data) {
                auto self = static_cast<std::weak_ptr<Runner>*>(data)->lock();
                if (!self || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
                gboolean goingToSleep = FALSE;
                g_variant_get(parameters, "(b)", &goingToSleep);
                if (goingToSleep) return;
                ++self->wakes;
                self->runUnlessBusy(self);
              },
              new std::weak_ptr<Runner>(weak),
              [](gpointer data) { delete static_cast<std::weak_ptr<Runner>*>(data); });
          // The bus handles a connection's messages in order: once it answers a call sent after
          // the subscription, the subscription is in force.
          BusCalls::call(self->connection.get(),
                         {"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "GetId", nullptr, G_VARIANT_TYPE("(s)")},
                         self->options.deadlineSeconds,
                         [weak](glib::Variant reply, glib::Error, GUnixFDList*) {
                           auto self = weak.lock();
                           if (self && reply) self->listening = true;
                         });
        });
  }
};

WakeRefresh::WakeRefresh(Scheduler& scheduler, Options options)
    : runner_(std::make_shared<Runner>(*this, scheduler, std::move(options))) {}

WakeRefresh::~WakeRefresh() = default;

void WakeRefresh::start(double interval) {
  runner_->listen(runner_);
  runner_->scheduleTick(runner_, interval);
}

bool WakeRefresh::busy() const {
  return runner_->busy;
}

PowerAssertion& WakeRefresh::assertion() {
  return runner_->assertion;
}

int WakeRefresh::wakesHeard() const {
  return runner_->wakes;
}

bool WakeRefresh::listening() const {
  return runner_->listening;
}

}  // namespace meterwright
