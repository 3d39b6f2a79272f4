#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"

namespace meterwright {

// Hands a long-lived Claude token from a terminal back to the program through a hand-off file.
// Nothing in the program starts that exchange yet; the windows only ever cancel it, which must
// leave no token behind on disk.
class TokenSetupAssistant {
 public:
  struct Waiting {
    int secondsLeft = 0;
    bool operator==(const Waiting&) const = default;
  };
  struct Saved {
    std::string suffix;
    bool operator==(const Saved&) const = default;
  };
  struct Failed {
    std::string message;
    bool operator==(const Failed&) const = default;
  };
  struct Idle {
    bool operator==(const Idle&) const = default;
  };
  using State = std::variant<Waiting, Saved, Failed, Idle>;

  std::function<void(const State&)> onStateChange;

  // The file a terminal writes the token into; it is discarded on cancel.
  void setHandoffFile(std::optional<std::filesystem::path> path) { handoff_ = std::move(path); }
  const std::optional<std::filesystem::path>& handoffFile() const { return handoff_; }

  // Overwrites the hand-off file with zeros over its whole length and deletes it, then reports
  // idle. (No wait is ever started yet, so there is no timer to stop.)
  void cancel();

  // Claude Code's `claude` program, as the Claude reader finds it.
  static std::optional<std::string> claudeExecutable(const FileLocations& locations,
                                                     const EnvironmentBlock& environment);

 private:
  std::optional<std::filesystem::path> handoff_;
};

}  // namespace meterwright
