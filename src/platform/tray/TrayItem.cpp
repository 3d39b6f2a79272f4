#include "platform/tray/TrayItem.h"

#include <unistd.h>

#include <atomic>

#include "platform/dbus/BusAddress.h"
#include "platform/dbus/BusCalls.h"
#include "platform/glib/MainContextScheduler.h"
#include "platform/tray/DbusMenuExport.h"
#include "platform/tray/StatusNotifierItemExport.h"
#include "platform/tray/WatcherRegistration.h"

namespace meterwright {

namespace {

constexpr const char* itemPath = "/StatusNotifierItem";
constexpr const char* menuPath = "/MenuBar";

std::string nextServiceName() {
  static std::atomic<int> made{0};
  return "org.kde.StatusNotifierItem-" + std::to_string(::getpid()) + "-" + std::to_string(++made);
}

}  // namespace

struct TrayItem::State {
  using Weak = std::weak_ptr<State>;

  Options options;
  std::string serviceName = nextServiceName();
  std::function<void(TrayAction)> action;
  std::function<void(int, int)> activate;
  std::function<void(bool)> availability;
  std::optional<bool> reported;

  TrayPresentation presentation;
  TrayMenu menu;
  bool menuSet = false;

  glib::Object<GDBusConnection> connection;
  gulong closedHandler = 0;
  guint nameOwner = 0;
  // Dropped with the state, and with it every action still to run.
  MainContextScheduler scheduler;
  std::optional<Scheduler::Token> grace;
  std::unique_ptr<StatusNotifierItemExport> item;
  std::unique_ptr<DbusMenuExport> menuExport;
  std::unique_ptr<WatcherRegistration> registration;

  ~State() {
    // The exports and the registration refer to the connection: they go first.
    registration.reset();
    menuExport.reset();
    item.reset();
    if (nameOwner) g_bus_unown_name(nameOwner);
    if (connection) {
      if (closedHandler) g_signal_handler_disconnect(connection.get(), closedHandler);
      g_dbus_connection_close(connection.get(), nullptr, nullptr, nullptr);
    }
  }

  void report(bool available) {
    stopGrace();
    if (reported == available) return;
    reported = available;
    soon([this, available] { call(availability, available); });
  }

  void stopGrace() {
    if (grace) scheduler.cancel(*grace);
    grace.reset();
  }

  // The application's handlers run from the main context rather than inside a D-Bus dispatch,
  // so one that drops the tray item (Quit) pulls nothing out from under a handler still running.
  void soon(std::function<void()> work) { scheduler.after(0, std::move(work)); }

  // Through a copy: the handler may destroy the item, and with it `handler`.
  template <typename Handler, typename... Arguments>
  static void call(const Handler& handler, Arguments... arguments) {
    if (Handler copy = handler) copy(arguments...);
  }

  void start(const std::shared_ptr<State>& self) {
    auto address = BusAddress::session(options.environment);
    // Without a bus nothing can appear later: that is known at once.
    grace = scheduler.after(address ? options.hostGraceSeconds : 0, [this] {
      grace.reset();
      if (!reported) report(false);
    });
    if (!address) return;
    BusCalls::connect(*address, options.deadlineSeconds,
                      [weak = Weak(self)](glib::Object<GDBusConnection> connection, std::string) {
                        auto self = weak.lock();
                        if (!self) {
                          if (connection)
                            g_dbus_connection_close(connection.get(), nullptr, nullptr, nullptr);
                          return;
                        }
                        if (!connection) return self->report(false);
                        self->connected(self, std::move(connection));
                      });
  }

  void connected(const std::shared_ptr<State>& self, glib::Object<GDBusConnection> opened) {
    connection = std::move(opened);
    // Keep the process when the bus goes away: the application runs on without a tray.
    g_dbus_connection_set_exit_on_close(connection.get(), FALSE);
    closedHandler = g_signal_connect_data(
        connection.get(), "closed",
        G_CALLBACK(+[](GDBusConnection*, gboolean, GError*, gpointer data) {
          if (auto state = static_cast<Weak*>(data)->lock()) state->lost();
        }),
        new Weak(self), [](gpointer data, GClosure*) { delete static_cast<Weak*>(data); },
        G_CONNECT_DEFAULT);
    menuExport =
        std::make_unique<DbusMenuExport>(connection.get(), menuPath, [this](TrayAction chosen) {
          soon([this, chosen] {
            if (action) action(chosen);
          });
        });
    item = std::make_unique<StatusNotifierItemExport>(
        connection.get(), itemPath, menuPath,
        [this](int x, int y) { soon([this, x, y] { call(activate, x, y); }); });
    if (!item->problem().empty() || !menuExport->problem().empty()) return report(false);
    item->show(presentation);
    if (menuSet) menuExport->setMenu(menu);
    auto freeWeak = [](gpointer data) { delete static_cast<Weak*>(data); };
    nameOwner = g_bus_own_name_on_connection(
        connection.get(), serviceName.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
        [](GDBusConnection*, const gchar*, gpointer data) {
          if (auto state = static_cast<Weak*>(data)->lock()) state->registerAs(state->serviceName);
        },
        [](GDBusConnection*, const gchar*, gpointer data) {
          // Hosts also accept the object path, taking the caller's unique name as the item's.
          if (auto state = static_cast<Weak*>(data)->lock(); state && !state->registration)
            state->registerAs(itemPath);
        },
        new Weak(self), freeWeak);
  }

  void registerAs(const std::string& service) {
    if (registration || !connection || g_dbus_connection_is_closed(connection.get())) return;
    registration = std::make_unique<WatcherRegistration>(
        connection.get(), service, options.deadlineSeconds, [this](bool shown) { report(shown); });
  }

  void lost() {
    registration.reset();
    report(false);
  }
};

TrayItem::TrayItem(Options options) : state_(std::make_shared<State>()) {
  state_->options = std::move(options);
  state_->start(state_);
}

TrayItem::~TrayItem() = default;

void TrayItem::setPresentation(const TrayPresentation& presentation) {
  state_->presentation = presentation;
  if (state_->item) state_->item->show(presentation);
}

void TrayItem::setMenu(const TrayMenu& menu) {
  state_->menu = menu;
  state_->menuSet = true;
  if (state_->menuExport) state_->menuExport->setMenu(menu);
}

void TrayItem::onAction(std::function<void(TrayAction)> handler) {
  state_->action = std::move(handler);
}

void TrayItem::onActivate(std::function<void(int x, int y)> handler) {
  state_->activate = std::move(handler);
}

void TrayItem::onHostAvailabilityChanged(std::function<void(bool)> handler) {
  state_->availability = std::move(handler);
}

std::optional<bool> TrayItem::hostAvailable() const {
  return state_->reported;
}

std::string TrayItem::hostProgram() const {
  return state_->registration ? state_->registration->watcherProgram() : std::string();
}

bool TrayItem::keepsPictureWidth(std::string_view hostProgram) {
  // Seen drawing a wide IconPixmap at the bar's height and its own width; xfce4-panel fits it
  // into a square, as KDE, GNOME's AppIndicator extension and LXQt are known to.
  return hostProgram == "waybar";
}

const std::string& TrayItem::serviceName() const {
  return state_->serviceName;
}

}  // namespace meterwright
