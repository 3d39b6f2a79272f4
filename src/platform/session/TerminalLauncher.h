#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"

// Opens the desktop's terminal emulator on a command the user runs themselves (signing in to a
// provider is theirs to do): the command goes into a small script in a private folder of the
// temporary directory, and a terminal is started on it, detached.
namespace meterwright::TerminalLauncher {

struct Options {
  // $TERMINAL and PATH are looked up here; the terminal is started with it.
  EnvironmentBlock environment;
  // The temporary directory: the script goes into its "MeterwrightSetup" folder.
  std::filesystem::path temporary;
};

// The script's text: a heading with `title`, the command, and a closing note; it then waits for
// Return, since a terminal emulator closes its window as soon as its command ends.
std::string script(const std::string& command, const std::string& title);

// The terminal and its arguments for running `script`: $TERMINAL, else x-terminal-emulator, else
// the first of gnome-terminal, konsole, xfce4-terminal and xterm on PATH. Nothing when none is
// there.
std::optional<std::vector<std::string>> terminalCommand(const std::string& script,
                                                        const EnvironmentBlock& environment);

// Writes the script (0700, atomically) as "<title>.sh" and starts the terminal on it. True when
// the script was written and the terminal started.
bool run(const std::string& command, const std::string& title, const Options& options);

}  // namespace meterwright::TerminalLauncher
