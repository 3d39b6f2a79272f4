#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/settings/EnvironmentBlock.h"
#include "platform/notifications/NotificationText.h"

namespace meterwright {

// Posts the program's notifications to the desktop's notification server
// (org.freedesktop.Notifications on the session bus) and keeps track of whether one is there.
// Where none answers, `notify-send` takes the notification instead. Every exchange is
// asynchronous with a deadline, on the main context that is the thread default where the
// notifier is created: its owner iterates that context, and nothing here waits for a server.
// One notifier per process.
class Notifier {
 public:
  // What the user will see of notifications, as far as this program can tell. `denied` is never
  // reported here: freedesktop servers have no per-application refusal that a client can read.
  enum class Authorization { unknown, allowed, allowedSilently, denied, notAsked };

  // Which way a post left the program.
  enum class Delivery {
    server,
    // Handed to notify-send, which was started.
    fallback,
    // notify-send could not be started either; the notification is dropped.
    dropped,
  };

  struct Options {
    // The session bus's address, notify-send's PATH and its environment.
    EnvironmentBlock environment;
    NotificationText::Identity identity{"Meterwright", "dev.velmora.meterwright",
                                        "dev.velmora.meterwright"};
    // For opening the bus and for each call to the server.
    double deadlineSeconds = 5;
  };

  explicit Notifier(Options options);
  ~Notifier();
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  // The last known state; `unknown` until a refresh finishes.
  Authorization authorization() const;
  // The first call in the life of this notifier refreshes the authorization; later calls do
  // nothing.
  void requestAuthorization();
  // Asks the server who it is and what it shows: `allowed` when it answers and shows bodies,
  // `allowedSilently` when it shows only titles, `notAsked` when the bus has no notification
  // server, `unknown` without a session bus or when the server does not answer in time.
  // `completion` runs once the new state is stored.
  void refreshAuthorization(std::function<void()> completion = {});

  // Shows one notification; never reports an error. Each post is a notification of its own, so
  // two identical posts both appear (`identifier` is therefore not needed to keep them apart; it
  // is accepted for callers that name their notifications). `sound` asks for the new-message
  // sound, or for silence. `delivered`, when given, learns which way it went.
  void post(const std::string& title, const std::string& body, bool sound,
            const std::string& identifier, std::function<void(Delivery)> delivered = {});

  // Opens the desktop's notification settings where this program knows them (GNOME, KDE, Xfce);
  // elsewhere nothing happens.
  void openSystemSettings();

  const NotificationText::Identity& identity() const;

  // Who answered the last refresh, as the server names itself (GetServerInformation).
  struct Server {
    std::string name;
    std::string vendor;
    std::string version;
    bool operator==(const Server&) const = default;
  };
  // Where the last refresh ended, for the diagnostics: which of the `unknown` cases it was, and
  // who answered when one did.
  enum class Reach { notYet, noSessionBus, noServer, silent, answered };
  Reach reach() const;
  // Known once a refresh has been answered.
  const std::optional<Server>& server() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace meterwright
