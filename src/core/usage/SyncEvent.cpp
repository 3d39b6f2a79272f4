#include "core/usage/SyncEvent.h"

#include <array>

#include "core/text/LocalizedModule.h"

namespace meterwright {

namespace {

template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace

std::string_view SyncEvent::caseName() const {
  static constexpr std::array<std::string_view, std::variant_size_v<Case>> names{
      "windowReset", "runningLow", "exhausted", "providerOffline", "signInExpiring"};
  return names[value.index()];
}

const std::string& SyncEvent::provider() const {
  return std::visit([](const auto& event) -> const std::string& { return event.provider; }, value);
}

const std::string& SyncEvent::providerName() const {
  return std::visit([](const auto& event) -> const std::string& { return event.providerName; },
                    value);
}

std::string SyncEvent::id() const {
  return std::visit(Overloaded{
                        [](const WindowReset& e) { return "reset-" + e.provider + "-" + e.window; },
                        [](const RunningLow& e) {
                          return "low-" + e.provider + "-" + e.window + "-" +
                                 std::to_string(e.remainingPercent);
                        },
                        [](const Exhausted& e) { return "out-" + e.provider + "-" + e.window; },
                        [](const ProviderOffline& e) { return "offline-" + e.provider; },
                        [](const SignInExpiring& e) { return "signin-" + e.provider; },
                    },
                    value);
}

std::string SyncEvent::title() const {
  return std::visit(
      Overloaded{
          [](const WindowReset& e) {
            if (e.wasSpent) {
              return L("event.reset.back.title", "%1$@ %2$@ is back \u2014 100% again",
                       e.providerName, e.window);
            }
            return L("event.reset.title", "%1$@ %2$@ quota reset", e.providerName, e.window);
          },
          [](const RunningLow& e) {
            return L("event.low.title", "%1$@ %2$@ at %3$d%% left", e.providerName, e.window,
                     e.remainingPercent);
          },
          [](const Exhausted& e) {
            return L("event.spent.title", "%1$@ %2$@ quota is spent", e.providerName, e.window);
          },
          [](const ProviderOffline& e) {
            return L("event.offline.title", "%@ stopped reporting", e.providerName);
          },
          [](const SignInExpiring& e) {
            return L("event.signin.title", "%@ sign-in expires soon", e.providerName);
          },
      },
      value);
}

std::string SyncEvent::body() const {
  return std::visit(
      Overloaded{
          [](const WindowReset& e) {
            if (e.wasSpent) {
              return L("event.reset.back.body", "The %@ window has rolled over. You can carry on.",
                       e.window);
            }
            return L("event.reset.body", "The %@ window rolled over \u2014 full quota again.",
                     e.window);
          },
          [](const RunningLow& e) {
            return L("event.low.body", "%1$d%% of the %2$@ window is left.", e.remainingPercent,
                     e.window);
          },
          [](const Exhausted& e) {
            return L("event.spent.body", "The %@ window is used up until it resets.", e.window);
          },
          [](const ProviderOffline& e) { return e.reason; },
          [](const SignInExpiring& e) {
            return L("event.signin.body",
                     "About %d minutes left. Open it on your computer and it renews itself.",
                     e.minutesLeft);
          },
      },
      value);
}

bool SyncEvent::deservesAlert() const {
  return std::visit(Overloaded{
                        [](const WindowReset& e) { return e.wasSpent; },
                        [](const RunningLow&) { return true; },
                        [](const Exhausted&) { return true; },
                        [](const ProviderOffline&) { return false; },
                        [](const SignInExpiring&) { return true; },
                    },
                    value);
}

}  // namespace meterwright
