#include "desktop/readers/claude/ClaudeSessionRenewer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>
#include <thread>

#include "core/readers/PollStateStore.h"
#include "core/readers/TerminalTranscript.h"
#include "desktop/readers/claude/ClaudeExecutable.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/PseudoTerminal.h"

namespace meterwright {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Outcome = ClaudeSessionRenewer::Outcome;

constexpr std::array<std::string_view, 3> signedOutMarkers = {"Selectloginmethod", "Signintoyour",
                                                              "claudeauthlogin"};
constexpr std::string_view trustMarker = "Yes,Itrustthisfolder";
constexpr std::array<std::string_view, 3> readyMarkers = {"forshortcuts", "bypasspermissions",
                                                          "automodeon"};
constexpr std::size_t readSize = 16384;

template <std::size_t N>
bool containsAny(const std::string& text, const std::array<std::string_view, N>& markers) {
  return std::any_of(markers.begin(), markers.end(), [&](std::string_view marker) {
    return text.find(marker) != std::string::npos;
  });
}

void pause(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string folderName(const std::string& path, bool onlyAlphanumerics) {
  std::string name = path;
  for (char& c : name) {
    bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (c == '/' || (onlyAlphanumerics && !alphanumeric)) c = '-';
  }
  return name;
}

Outcome drive(PseudoTerminal& terminal, ChildProcess& child, double timeout,
              const ClaudeSessionRenewer::Pauses& pauses) {
  auto deadline = ChildProcess::deadlineAfter(timeout);
  TerminalTranscript transcript;
  bool trustAnswered = false;
  while (true) {
    bool running = child.isRunning();
    if (SteadyClock::now() >= deadline || !running) {
      return {running ? Outcome::Kind::timedOut : Outcome::Kind::unchanged, {}};
    }
    if (!terminal.waitReadable(pauses.poll)) continue;
    std::string bytes = terminal.read(readSize);
    if (bytes.empty()) {
      // The terminal hangs up when the child lets go of it: wait for the exit instead of spinning.
      child.waitForExit(pauses.poll);
      continue;
    }
    transcript.append(bytes);
    std::string flat = transcript.flattened();
    if (containsAny(flat, signedOutMarkers)) return {Outcome::Kind::signedOut, {}};
    if (!trustAnswered && flat.find(trustMarker) != std::string::npos) {
      pause(pauses.beforeTrustAnswer);
      terminal.write("\r");
      trustAnswered = true;
      continue;
    }
    if (containsAny(flat, readyMarkers)) {
      pause(pauses.afterReady);
      return {Outcome::Kind::renewed, {}};
    }
  }
}

}  // namespace

ClaudeSessionRenewer::ClaudeSessionRenewer(FileLocations locations, EnvironmentBlock environment,
                                           std::shared_ptr<const Clock> clock,
                                           double terminationGrace)
    : locations_(std::move(locations)),
      environment_(std::move(environment)),
      clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      terminationGrace_(terminationGrace),
      pollStates_(PollStateStore::inFolder(locations_.pollStateFolder())) {}

std::optional<ClaudeSessionRenewer::Outcome> ClaudeSessionRenewer::renewIfDue(double timeout) {
  {
    auto hold = pollStates_->hold(provider);
    // Another process is deciding right now: one of the two attempts is enough.
    if (!hold) return std::nullopt;
    Date now = clock_->now();
    Date last = hold->state.lastRenewalAttempt;
    // An attempt from the future (a clock set back, an edited file) cannot hold the gate shut.
    if (last <= now && secondsBetween(last, now) < minimumSpacing) return std::nullopt;
    hold->state.lastRenewalAttempt = now;
    hold->commit();
  }
  return renew(timeout);
}

Date ClaudeSessionRenewer::lastAttempt() const {
  return pollStates_->peek(provider).lastRenewalAttempt;
}

std::filesystem::path ClaudeSessionRenewer::workingDirectory() const {
  return locations_.supportFolder() / "ClaudeRenew";
}

std::vector<std::filesystem::path> ClaudeSessionRenewer::transcriptFolders() const {
  std::vector<std::filesystem::path> roots;
  if (locations_.home.is_absolute()) roots.push_back(locations_.home / ".claude" / "projects");
  if (auto configured = environment_.get("CLAUDE_CONFIG_DIR")) {
    std::filesystem::path folder(*configured);
    if (folder.is_absolute()) roots.push_back(folder / "projects");
  }
  std::string path = workingDirectory().string();
  std::vector<std::filesystem::path> folders;
  for (const auto& root : roots) {
    for (bool onlyAlphanumerics : {false, true}) {
      auto folder = root / folderName(path, onlyAlphanumerics);
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
        folders.push_back(folder);
      }
    }
  }
  return folders;
}

ClaudeSessionRenewer::Outcome ClaudeSessionRenewer::renew(double timeout) {
  std::optional<std::string> executable = ClaudeExecutable::find(locations_, environment_);
  if (!executable) return {Outcome::Kind::noExecutable, {}};

  std::error_code ignored;
  std::filesystem::create_directories(workingDirectory(), ignored);

  std::optional<PseudoTerminal> terminal = PseudoTerminal::open(100, 40);
  if (!terminal) return {Outcome::Kind::failed, "could not open a pseudo-terminal"};

  ChildProcess::Launch launch;
  launch.executable = *executable;
  // An empty list: no tool may run, whatever the sign-in screen or the model would do.
  launch.arguments = {"--allowed-tools", ""};
  launch.environment = environment_;
  launch.environment.set("TERM", "xterm-256color");
  launch.environment.set("COLUMNS", "100");
  launch.environment.set("LINES", "40");
  // Set inside a Claude Code session; the child must behave as a session of its own.
  launch.environment.remove("CLAUDE_CODE_CHILD_SESSION");
  launch.workingDirectory = workingDirectory();
  launch.input = launch.output = launch.error = ChildProcess::Stream::terminal;
  launch.terminal = terminal->slave();

  std::string launchError;
  std::optional<ChildProcess> child = ChildProcess::start(launch, &launchError);
  if (!child) return {Outcome::Kind::failed, launchError};

  terminal->closeSlave();
  Outcome outcome = drive(*terminal, *child, timeout, pauses_);
  child->terminate(terminationGrace_);
  terminal->closeMaster();
  for (const auto& folder : transcriptFolders()) std::filesystem::remove_all(folder, ignored);
  return outcome;
}

}  // namespace meterwright
