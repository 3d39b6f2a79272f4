#include "desktop/windows/SetupChecklist.h"

#include <regex>

#include "core/format/Format.h"
#include "core/providers/ProviderRegistry.h"
#include "core/text/TextCase.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::SetupChecklist {

namespace {

using desktop::L;

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

// The texts that differ between the Claude and the Codex step.
struct ProviderTexts {
  std::string title;
  std::string button;
  std::string notInstalled;
  std::string connected;
  // Appended to the quoted executable: what the user's part in the terminal is.
  std::string arguments;
  std::string terminalTitle;
};

Step providerStep(const ProviderTexts& texts, const std::optional<std::string>& executable,
                  const ProviderReport& report, const Actions& actions) {
  Step step{texts.title, "", false, std::nullopt, true};
  if (!executable) {
    step.detail = texts.notInstalled;
    return step;
  }
  std::optional<std::string> retry = retryNote(report);
  if (report.connected) {
    step.done = true;
    std::vector<std::string> parts{texts.connected};
    if (!report.current && report.failure)
      parts.push_back(L("setup.latestRefresh", "Latest refresh: %@.",
                        TextCase::lowercased(report.failure->summary)));
    if (!report.current) parts.push_back(retry.value_or(""));
    step.detail = joined(parts);
  } else {
    std::string first =
        report.failure ? report.failure->summary + ". " + report.failure->hint
                       : L("setup.waitingFirstReading", "Found. Waiting for the first reading.");
    bool needsUser = report.failure && report.failure->needsUserAction;
    step.detail = joined({first, needsUser ? "" : retry.value_or("")});
  }
  if (!report.current) {
    std::string command = shellQuoted(*executable) + texts.arguments;
    step.action = {texts.button,
                   [run = actions.runInTerminal, command, title = texts.terminalTitle] {
                     if (run) run(command, title);
                   }};
  }
  return step;
}

Step notificationsStep(const Facts& facts, const Actions& actions) {
  Step step{L("setup.notifications.title", "Notifications"), "", false, std::nullopt, true};
  auto openSettings =
      std::pair{L("setup.openSettings", "Open Desktop Settings"), actions.openNotificationSettings};
  switch (facts.notifications) {
    case Notifier::Authorization::allowed:
      step.done = true;
      step.detail =
          L("setup.notifications.on", "Warnings arrive when a window drops below %d%% left.",
            facts.warnBelowRemainingPercent);
      break;
    case Notifier::Authorization::allowedSilently:
      step.done = true;
      step.detail = L("setup.notifications.silent",
                      "Allowed, but the desktop's notification server shows only titles — "
                      "warnings arrive without their details.");
      step.action = openSettings;
      break;
    case Notifier::Authorization::denied:
      step.detail = L("setup.notifications.denied",
                      "Turned off, so quota warnings never appear. Turn Meterwright back on in "
                      "your desktop's notification settings.");
      step.action = openSettings;
      break;
    case Notifier::Authorization::notAsked:
    case Notifier::Authorization::unknown:
      step.detail = L("setup.notifications.notAsked",
                      "No notification server has answered yet. Start one and Meterwright can "
                      "warn you before a window runs out.");
      step.action = std::pair{L("setup.askNow", "Ask now"), actions.askForNotifications};
      break;
  }
  return step;
}

Step loginStep(const Facts& facts, const Actions& actions) {
  Step step{L("setup.login.title", "Start at login"), "", facts.loginItemEnabled, std::nullopt,
            true};
  if (facts.loginItemEnabled) {
    step.detail = L("setup.login.on", "Meterwright opens when you log in to this desktop.");
  } else {
    step.detail = L("setup.login.off", "A status bar app is only useful if it is running.");
    step.action = std::pair{L("setup.login.button", "Turn on"), actions.turnOnLoginItem};
  }
  return step;
}

Step wakeStep(const Facts& facts, const Actions& actions) {
  Step step{L("setup.wake.title", "Readings while this computer sleeps"), "",
            facts.scheduledWake.has_value(), std::nullopt, true};
  std::vector<std::string> parts;
  if (facts.scheduledWake) {
    parts.push_back(L("setup.wake.on",
                      "This computer wakes at %@ every day, publishes a reading, and goes back "
                      "to sleep.",
                      wakeTime(*facts.scheduledWake)));
  } else {
    parts.push_back(L("setup.wake.off",
                      "Every reading your phone and watch show is taken here, and a sleeping "
                      "computer takes none. A systemd timer can wake it for a few seconds each "
                      "morning to publish one. Turning that on asks for your password once."));
  }
  // Linux has nothing that reads while the machine sleeps, as Power Nap would.
  parts.push_back(L("setup.wake.noPowerNap",
                    "Nothing runs while this computer is suspended, so a scheduled wake is the "
                    "only chance it gets."));
  parts.push_back(facts.wakeError.value_or(""));
  step.detail = joined(parts);
  bool on = !facts.scheduledWake;
  step.action =
      std::pair{on ? L("setup.wake.turnOn", "Turn on") : L("setup.wake.turnOff", "Turn off"),
                [set = actions.setWakeSchedule, on] {
                  if (set) set(on);
                }};
  return step;
}

}  // namespace

ProviderReport report(const std::string& id, const std::optional<Snapshot>& reading,
                      const std::map<std::string, SourceFailure>& failures, double retryIn) {
  ProviderReport result;
  std::string wanted = TextCase::lowercased(id);
  const ProviderSnapshot* provider = nullptr;
  if (reading) {
    for (const ProviderSnapshot& candidate : reading->providers) {
      if (TextCase::lowercased(candidate.id) == wanted) {
        provider = &candidate;
        break;
      }
    }
  }
  if (auto found = failures.find(wanted); found != failures.end()) result.failure = found->second;
  result.connected = provider && provider->hasData();
  result.current = provider && !result.failure;
  result.retryIn = retryIn > 0 ? retryIn : 0;
  return result;
}

std::optional<std::string> retryNote(const ProviderReport& report) {
  if (report.retryIn <= 0) return std::nullopt;
  return L("setup.tryingAgain", "Trying again in %@.", Format::relative(report.retryIn));
}

std::string wakeTime(const std::string& scheduleText) {
  static const std::regex pattern("at ([0-9]{1,2}:[0-9]{2}\\s?[AP]M|[0-9]{2}:[0-9]{2})");
  // systemd writes the timer's next elapse as "Tue 2026-12-08 08:00:00 CET", with no "at": its
  // hours and minutes are the time of day.
  static const std::regex systemdTime(" ([0-9]{2}:[0-9]{2}):[0-9]{2}( |$)");
  std::smatch match;
  if (std::regex_search(scheduleText, match, pattern)) return match[1].str();
  if (std::regex_search(scheduleText, match, systemdTime)) return match[1].str();
  return scheduleText;
}

std::string shellQuoted(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<Step> steps(const Facts& facts, const Actions& actions) {
  std::vector<Step> steps;
  steps.push_back(providerStep(
      {ProviderRegistry::claude().displayName, L("setup.claude.button", "Open Claude Code"),
       L("setup.claude.notInstalled",
         "Not installed on this computer. Meterwright will pick it up automatically once it is."),
       L("setup.claude.connected", "Connected through the sign-in Claude Code already has."),
       " auth status", L("setup.claude.terminalTitle", "Check Claude Code")},
      facts.claudeExecutable, facts.claude, actions));
  steps.push_back(providerStep(
      {ProviderRegistry::codex().displayName, L("setup.codex.button", "Sign in"),
       L("setup.codex.notInstalled",
         "Codex CLI not installed on this computer. Meterwright will pick it up automatically "
         "once it is."),
       L("setup.codex.connected", "Connected through the local Codex app-server."), " login",
       L("setup.codex.terminalTitle", "Sign in to Codex")},
      facts.codexExecutable, facts.codex, actions));
  steps.push_back(notificationsStep(facts, actions));
  steps.push_back(loginStep(facts, actions));
  steps.push_back(wakeStep(facts, actions));
  return steps;
}

}  // namespace meterwright::SetupChecklist
