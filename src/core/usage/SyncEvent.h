#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace meterwright {

// Something noteworthy that happened to a quota between two readings. Paired devices show these
// and the Mac turns the alert-worthy ones into notifications, so the texts live here.
struct SyncEvent {
  // The window started a new cycle; `wasSpent` tells whether it had been used up before.
  struct WindowReset {
    std::string provider;
    std::string providerName;
    // The window's label ("5h", "7d").
    std::string window;
    bool wasSpent = false;
    bool operator==(const WindowReset&) const = default;
  };

  // The window's remaining share fell to or below the warning threshold.
  struct RunningLow {
    std::string provider;
    std::string providerName;
    std::string window;
    int remainingPercent = 0;
    bool operator==(const RunningLow&) const = default;
  };

  struct Exhausted {
    std::string provider;
    std::string providerName;
    std::string window;
    bool operator==(const Exhausted&) const = default;
  };

  // The provider had numbers and now has none.
  struct ProviderOffline {
    std::string provider;
    std::string providerName;
    std::string reason;
    bool operator==(const ProviderOffline&) const = default;
  };

  // The provider's sign-in is about to lapse. The detector never produces it; the case belongs to
  // the vocabulary peers share.
  struct SignInExpiring {
    std::string provider;
    std::string providerName;
    int minutesLeft = 0;
    bool operator==(const SignInExpiring&) const = default;
  };

  using Case = std::variant<WindowReset, RunningLow, Exhausted, ProviderOffline, SignInExpiring>;

  Case value;

  bool operator==(const SyncEvent&) const = default;

  // The JSON member name: "windowReset", "runningLow", "exhausted", "providerOffline" or
  // "signInExpiring".
  std::string_view caseName() const;

  const std::string& provider() const;
  const std::string& providerName() const;

  // Stable identity, also used by lists: "low-claude-5h-15".
  std::string id() const;
  // Localised texts in the core module's language.
  std::string title() const;
  std::string body() const;
  // Whether the event should become a notification.
  bool deservesAlert() const;

  template <typename T>
  const T* as() const {
    return std::get_if<T>(&value);
  }
};

}  // namespace meterwright
