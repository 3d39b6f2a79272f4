#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"
#include "core/time/Clock.h"

namespace meterwright {

class PollStateStore;

// Makes Claude Code renew its sign-in without the user: starts `claude` on a pseudo-terminal in a
// private folder, answers the folder-trust question once, waits for its input prompt and stops it.
// It never types a request and allows no tools. The time of the last attempt is kept in Claude's
// shared poll state, so the spacing between attempts holds across every process of the user.
class ClaudeSessionRenewer {
 public:
  struct Outcome {
    enum class Kind { failed, renewed, unchanged, noExecutable, signedOut, timedOut };
    Kind kind = Kind::failed;
    // Only `failed` carries a reason.
    std::string reason;
    bool operator==(const Outcome&) const = default;
  };

  // Attempts made through renewIfDue are at least this far apart.
  static constexpr double minimumSpacing = 600;

  ClaudeSessionRenewer(FileLocations locations, EnvironmentBlock environment,
                       std::shared_ptr<const Clock> clock, double terminationGrace = 5);

  // Nothing when the last attempt through here, in any process, was less than minimumSpacing
  // seconds ago, or another process is deciding; otherwise records the attempt (whatever comes of
  // it) and renews.
  std::optional<Outcome> renewIfDue(double timeout);
  // Always attempts; does not touch lastAttempt.
  Outcome renew(double timeout);
  // The distant past until the first attempt through renewIfDue.
  Date lastAttempt() const;
  // The poll state the attempts are recorded in.
  static constexpr const char* provider = "claude";

  // <support>/Meterwright/ClaudeRenew: the folder the child runs in.
  std::filesystem::path workingDirectory() const;
  // The transcript folders Claude Code may keep for the working folder, removed after every
  // attempt: <home>/.claude/projects/<workingDirectory with every "/" as "-">, the same name with
  // every character other than a letter or digit as "-" (how Claude Code names it when the path
  // holds dots or spaces, as ~/.local/share does), and both under $CLAUDE_CONFIG_DIR/projects
  // when that is set.
  std::vector<std::filesystem::path> transcriptFolders() const;

  // Tests shorten the pauses; the program keeps the defaults.
  struct Pauses {
    // Before answering the trust question, so the program is ready to take the key.
    double beforeTrustAnswer = 0.6;
    // After the prompt shows, so the program finishes writing the renewed sign-in.
    double afterReady = 1.5;
    double poll = 0.4;
  };
  void setPauses(Pauses pauses) { pauses_ = pauses; }

 private:
  FileLocations locations_;
  EnvironmentBlock environment_;
  std::shared_ptr<const Clock> clock_;
  double terminationGrace_;
  Pauses pauses_;
  std::shared_ptr<PollStateStore> pollStates_;
};

}  // namespace meterwright
