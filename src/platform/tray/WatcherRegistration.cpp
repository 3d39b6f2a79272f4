#include "platform/tray/WatcherRegistration.h"

#include <fstream>

#include "platform/dbus/BusCalls.h"

namespace meterwright {

namespace {

constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* watcherPath = "/StatusNotifierWatcher";

}  // namespace

struct WatcherRegistration::State {
  GDBusConnection* connection;
  std::string service;
  double deadlineSeconds;
  Changed changed;
  guint watch = 0;
  guint hostSignal = 0;
  // Counts the watchers seen, so a reply meant for an earlier one is recognised.
  unsigned generation = 0;
  bool registered = false;
  std::string program;

  ~State() {
    if (watch) g_bus_unwatch_name(watch);
    if (hostSignal) g_dbus_connection_signal_unsubscribe(connection, hostSignal);
  }

  using Weak = std::weak_ptr<State>;

  static void appeared(GDBusConnection*, const gchar*, const gchar*, gpointer data) {
    if (auto self = static_cast<Weak*>(data)->lock()) self->registerWith(self);
  }

  static void vanished(GDBusConnection*, const gchar*, gpointer data) {
    auto self = static_cast<Weak*>(data)->lock();
    if (!self) return;
    ++self->generation;
    self->program.clear();
    if (!self->registered) return;
    self->registered = false;
    self->changed(false);
  }

  // A watcher whose hosts were all gone says when one comes.
  static void hostRegistered(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                             const gchar*, GVariant*, gpointer data) {
    auto self = static_cast<Weak*>(data)->lock();
    if (self && self->registered) self->changed(true);
  }

  void registerWith(const std::shared_ptr<State>& self) {
    unsigned current = ++generation;
    registered = false;
    BusCalls::Method method{watcherName, watcherPath, watcherName, "RegisterStatusNotifierItem",
                            g_variant_new("(s)", service.c_str())};
    BusCalls::call(connection, method, deadlineSeconds,
                   [weak = Weak(self), current](glib::Variant, glib::Error error, GUnixFDList*) {
                     auto self = weak.lock();
                     if (!self || self->generation != current) return;
                     if (error) {
                       self->changed(false);
                       return;
                     }
                     self->registered = true;
                     self->askForProgram(self, current);
                   });
  }

  // Hosts differ in how they draw the picture (some fit it into a square, some keep its width);
  // the watcher's process is the one sign of which host this is.
  void askForProgram(const std::shared_ptr<State>& self, unsigned current) {
    BusCalls::Method method{
        "org.freedesktop.DBus",       "/org/freedesktop/DBus",           "org.freedesktop.DBus",
        "GetConnectionUnixProcessID", g_variant_new("(s)", watcherName), G_VARIANT_TYPE("(u)")};
    BusCalls::call(connection, method, deadlineSeconds,
                   [weak = Weak(self), current](glib::Variant reply, glib::Error, GUnixFDList*) {
                     auto self = weak.lock();
                     if (!self || self->generation != current) return;
                     self->program.clear();
                     if (reply) {
                       guint32 pid = 0;
                       g_variant_get(reply.get(), "(u)", &pid);
                       std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
                       std::getline(comm, self->program);
                     }
                     self->askForHost(self, current);
                   });
  }

  void askForHost(const std::shared_ptr<State>& self, unsigned current) {
    BusCalls::Method method{watcherName,
                            watcherPath,
                            "org.freedesktop.DBus.Properties",
                            "Get",
                            g_variant_new("(ss)", watcherName, "IsStatusNotifierHostRegistered"),
                            G_VARIANT_TYPE("(v)")};
    BusCalls::call(connection, method, deadlineSeconds,
                   [weak = Weak(self), current](glib::Variant reply, glib::Error, GUnixFDList*) {
                     auto self = weak.lock();
                     if (!self || self->generation != current) return;
                     // A watcher that cannot say is taken at its word that it shows items.
                     bool host = true;
                     if (reply) {
                       GVariant* value = nullptr;
                       g_variant_get(reply.get(), "(v)", &value);
                       if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
                         host = g_variant_get_boolean(value);
                       g_variant_unref(value);
                     }
                     self->changed(host);
                   });
  }
};

WatcherRegistration::WatcherRegistration(GDBusConnection* connection, std::string service,
                                         double deadlineSeconds, Changed changed)
    : state_(std::make_shared<State>()) {
  state_->connection = connection;
  state_->service = std::move(service);
  state_->deadlineSeconds = deadlineSeconds;
  state_->changed = std::move(changed);
  auto freeWeak = [](gpointer data) { delete static_cast<State::Weak*>(data); };
  state_->hostSignal = g_dbus_connection_signal_subscribe(
      connection, nullptr, watcherName, "StatusNotifierHostRegistered", watcherPath, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, State::hostRegistered, new State::Weak(state_), freeWeak);
  state_->watch = g_bus_watch_name_on_connection(
      connection, watcherName, G_BUS_NAME_WATCHER_FLAGS_NONE, State::appeared, State::vanished,
      new State::Weak(state_), freeWeak);
}

WatcherRegistration::~WatcherRegistration() = default;

const std::string& WatcherRegistration::watcherProgram() const {
  return state_->program;
}

}  // namespace meterwright
