#include "platform/notifications/Notifier.h"

#include <algorithm>
#include <vector>

#include "platform/dbus/BusAddress.h"
#include "platform/dbus/BusCalls.h"
#include "platform/glib/DetachedLaunch.h"
#include "platform/notifications/NotificationSettings.h"
#include "platform/process/ExecutableSearch.h"

namespace meterwright {

namespace {

constexpr const char* serverName = "org.freedesktop.Notifications";
constexpr const char* serverPath = "/org/freedesktop/Notifications";

BusCalls::Method serverMethod(const char* name, GVariant* parameters, const char* replyType) {
  return {serverName, serverPath, serverName, name, parameters, G_VARIANT_TYPE(replyType)};
}

}  // namespace

struct Notifier::State {
  Options options;
  enum class Bus { connecting, none, open } bus = Bus::connecting;
  // `silent`: the name has an owner that did not answer in time.
  enum class Server { unknown, present, absent, silent } server = Server::unknown;
  glib::Object<GDBusConnection> connection;
  guint watch = 0;
  // Known once the present server has told them.
  std::optional<std::vector<std::string>> capabilities;
  Authorization authorization = Authorization::unknown;
  Reach reach = Reach::notYet;
  std::optional<Notifier::Server> information;
  bool asked = false;
  // Work that needs to know whether a server is there, in the order it came.
  std::vector<std::function<void()>> waiting;
  // Bounds the wait for that answer, in case the bus itself never says.
  GSource* settleAlarm = nullptr;

  ~State() {
    stopAlarm();
    if (watch) g_bus_unwatch_name(watch);
    if (connection) g_dbus_connection_close(connection.get(), nullptr, nullptr, nullptr);
  }

  bool settled() const {
    return bus == Bus::none || server == Server::absent || server == Server::silent ||
           (server == Server::present && capabilities);
  }

  bool declares(const char* capability) const {
    return capabilities &&
           std::find(capabilities->begin(), capabilities->end(), capability) != capabilities->end();
  }

  void stopAlarm() {
    if (!settleAlarm) return;
    g_source_destroy(settleAlarm);
    g_source_unref(settleAlarm);
    settleAlarm = nullptr;
  }

  void whenSettled(const std::shared_ptr<State>& self, std::function<void()> work) {
    if (settled()) {
      work();
      return;
    }
    waiting.push_back(std::move(work));
    if (settleAlarm) return;
    settleAlarm = g_timeout_source_new(static_cast<guint>(options.deadlineSeconds * 2000));
    g_source_set_callback(
        settleAlarm,
        [](gpointer data) {
          if (auto state = static_cast<std::weak_ptr<State>*>(data)->lock()) {
            state->stopAlarm();
            if (!state->settled()) {
              if (state->bus == Bus::connecting) state->bus = Bus::none;
              state->server = Server::silent;
            }
            state->flush();
          }
          return G_SOURCE_REMOVE;
        },
        new std::weak_ptr<State>(self),
        [](gpointer data) { delete static_cast<std::weak_ptr<State>*>(data); });
    g_source_attach(settleAlarm, g_main_context_get_thread_default());
  }

  void flush() {
    if (!settled()) return;
    stopAlarm();
    auto work = std::move(waiting);
    waiting.clear();
    for (auto& item : work) item();
  }

  void watchServer(const std::shared_ptr<State>& self) {
    watch = g_bus_watch_name_on_connection(
        connection.get(), serverName, G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, gpointer data) {
          auto state = static_cast<std::weak_ptr<State>*>(data)->lock();
          if (state) state->serverAppeared(state);
        },
        [](GDBusConnection*, const gchar*, gpointer data) {
          auto state = static_cast<std::weak_ptr<State>*>(data)->lock();
          if (!state) return;
          state->server = Server::absent;
          state->capabilities.reset();
          state->flush();
        },
        new std::weak_ptr<State>(self),
        [](gpointer data) { delete static_cast<std::weak_ptr<State>*>(data); });
  }

  void serverAppeared(const std::shared_ptr<State>& self) {
    server = Server::present;
    capabilities.reset();
    // Whether it reads markup decides how bodies are written, so it is asked before any post.
    std::weak_ptr<State> weak = self;
    BusCalls::call(connection.get(), serverMethod("GetCapabilities", nullptr, "(as)"),
                   options.deadlineSeconds, [weak](glib::Variant reply, glib::Error, GUnixFDList*) {
                     auto state = weak.lock();
                     if (!state || state->server != Server::present) return;
                     if (!reply) {
                       state->server = Server::silent;
                     } else {
                       std::vector<std::string> list;
                       GVariantIter* iterator = nullptr;
                       g_variant_get(reply.get(), "(as)", &iterator);
                       const gchar* item = nullptr;
                       while (g_variant_iter_loop(iterator, "&s", &item)) list.emplace_back(item);
                       g_variant_iter_free(iterator);
                       state->capabilities = std::move(list);
                     }
                     state->flush();
                   });
  }

  void send(const std::shared_ptr<State>& self, const std::string& title, const std::string& body,
            bool sound, std::function<void(Delivery)> delivered) {
    std::string shown = declares("body-markup") ? NotificationText::escapeMarkup(body) : body;
    if (server != Server::present || !connection) {
      fallback(title, shown, sound, delivered);
      return;
    }
    const auto& identity = options.identity;
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "desktop-entry",
                          g_variant_new_string(identity.desktopEntry.c_str()));
    if (sound) {
      g_variant_builder_add(&hints, "{sv}", "sound-name",
                            g_variant_new_string(NotificationText::soundName));
    } else {
      g_variant_builder_add(&hints, "{sv}", "suppress-sound", g_variant_new_boolean(TRUE));
    }
    GVariant* parameters =
        g_variant_new("(susss@asa{sv}i)", identity.appName.c_str(), 0u, identity.icon.c_str(),
                      title.c_str(), shown.c_str(), g_variant_new_strv(nullptr, 0), &hints, -1);
    std::weak_ptr<State> weak = self;
    BusCalls::call(
        connection.get(), serverMethod("Notify", parameters, "(u)"), options.deadlineSeconds,
        [weak, title, shown, sound, delivered](glib::Variant reply, glib::Error, GUnixFDList*) {
          auto state = weak.lock();
          if (!state) return;
          if (reply) {
            if (delivered) delivered(Delivery::server);
            return;
          }
          state->fallback(title, shown, sound, delivered);
        });
  }

  void fallback(const std::string& title, const std::string& body, bool sound,
                const std::function<void(Delivery)>& delivered) {
    const auto& environment = options.environment;
    auto program = ExecutableSearch::find({}, "notify-send", environment);
    bool started = program && DetachedLaunch::start(*program,
                                                    NotificationText::notifySendArguments(
                                                        options.identity, title, body, sound),
                                                    environment);
    if (delivered) delivered(started ? Delivery::fallback : Delivery::dropped);
  }
};

Notifier::Notifier(Options options) : state_(std::make_shared<State>()) {
  state_->options = std::move(options);
  auto address = BusAddress::session(state_->options.environment);
  if (!address) {
    state_->bus = State::Bus::none;
    return;
  }
  std::weak_ptr<State> weak = state_;
  BusCalls::connect(*address, state_->options.deadlineSeconds,
                    [weak](glib::Object<GDBusConnection> connection, std::string) {
                      auto state = weak.lock();
                      if (!state) return;
                      if (!connection) {
                        state->bus = State::Bus::none;
                        state->flush();
                        return;
                      }
                      state->connection = std::move(connection);
                      state->bus = State::Bus::open;
                      state->watchServer(state);
                    });
}

Notifier::~Notifier() = default;

Notifier::Authorization Notifier::authorization() const {
  return state_->authorization;
}

const NotificationText::Identity& Notifier::identity() const {
  return state_->options.identity;
}

Notifier::Reach Notifier::reach() const {
  return state_->reach;
}

const std::optional<Notifier::Server>& Notifier::server() const {
  return state_->information;
}

void Notifier::requestAuthorization() {
  if (state_->asked) return;
  state_->asked = true;
  refreshAuthorization();
}

void Notifier::refreshAuthorization(std::function<void()> completion) {
  State* state = state_.get();
  std::weak_ptr<State> weak = state_;
  state->whenSettled(state_, [state, weak, completion = std::move(completion)] {
    auto finish = [state, completion](Authorization authorization, Reach reach) {
      state->authorization = authorization;
      state->reach = reach;
      if (completion) completion();
    };
    if (state->bus == State::Bus::none) {
      finish(Authorization::unknown, Reach::noSessionBus);
      return;
    }
    if (state->server == State::Server::silent) {
      finish(Authorization::unknown, Reach::silent);
      return;
    }
    if (state->server != State::Server::present) {
      finish(Authorization::notAsked, Reach::noServer);
      return;
    }
    BusCalls::call(
        state->connection.get(), serverMethod("GetServerInformation", nullptr, "(ssss)"),
        state->options.deadlineSeconds,
        [weak, completion](glib::Variant reply, glib::Error, GUnixFDList*) {
          auto state = weak.lock();
          if (!state) return;
          if (!reply) {
            state->authorization = Authorization::unknown;
            state->reach = Reach::silent;
          } else {
            const gchar *name = nullptr, *vendor = nullptr, *version = nullptr,
                        *specVersion = nullptr;
            g_variant_get(reply.get(), "(&s&s&s&s)", &name, &vendor, &version, &specVersion);
            state->information = Server{name, vendor, version};
            state->reach = Reach::answered;
            // A server without "body" shows titles only: the user is told, but
            // quietly.
            state->authorization =
                state->declares("body") ? Authorization::allowed : Authorization::allowedSilently;
          }
          if (completion) completion();
        });
  });
}

void Notifier::post(const std::string& title, const std::string& body, bool sound,
                    const std::string& /*identifier*/, std::function<void(Delivery)> delivered) {
  std::string shownTitle = NotificationText::clean(title, NotificationText::Kind::title);
  // notify-send refuses an empty summary, and a server shows an empty one as a blank line.
  if (shownTitle.empty()) shownTitle = state_->options.identity.appName;
  std::string shownBody = NotificationText::clean(body, NotificationText::Kind::body);
  State* state = state_.get();
  std::weak_ptr<State> weak = state_;
  state->whenSettled(state_, [state, weak, shownTitle, shownBody, sound, delivered] {
    state->send(weak.lock(), shownTitle, shownBody, sound, delivered);
  });
}

void Notifier::openSystemSettings() {
  auto command = NotificationSettings::command(state_->options.environment);
  if (!command) return;
  std::vector<std::string> arguments(command->begin() + 1, command->end());
  DetachedLaunch::start(command->front(), arguments, state_->options.environment);
}

}  // namespace meterwright
