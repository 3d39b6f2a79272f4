#include "platform/notifications/NotificationSettings.h"

#include <array>
#include <sstream>

#include "core/text/TextCase.h"
#include "platform/process/ExecutableSearch.h"

namespace meterwright::NotificationSettings {

namespace {

struct Panel {
  const char* desktop;  // as XDG_CURRENT_DESKTOP names it
  std::vector<std::string> command;
};

const std::array<Panel, 4> panels{{
    {"GNOME", {"gnome-control-center", "notifications"}},
    {"KDE", {"systemsettings", "kcm_notifications"}},
    {"XFCE", {"xfce4-notifyd-config"}},
    {"UNITY", {"gnome-control-center", "notifications"}},
}};

}  // namespace

std::optional<std::vector<std::string>> command(const EnvironmentBlock& environment) {
  // A colon-separated list, most specific first ("ubuntu:GNOME").
  std::istringstream desktops(environment.get("XDG_CURRENT_DESKTOP").value_or(""));
  for (std::string desktop; std::getline(desktops, desktop, ':');) {
    for (const auto& panel : panels) {
      if (!TextCase::equalIgnoringCase(desktop, panel.desktop)) continue;
      auto program = ExecutableSearch::find({}, panel.command.front(), environment);
      if (!program) return std::nullopt;
      std::vector<std::string> result = panel.command;
      result.front() = *program;
      return result;
    }
  }
  return std::nullopt;
}

}  // namespace meterwright::NotificationSettings
