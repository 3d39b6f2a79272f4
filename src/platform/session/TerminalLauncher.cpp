#include "platform/session/TerminalLauncher.h"

#include "core/files/AtomicFile.h"
#include "core/files/PrivateFolder.h"
#include "platform/glib/DetachedLaunch.h"
#include "platform/process/ExecutableSearch.h"

namespace meterwright::TerminalLauncher {

namespace {

// Inside double quotes the shell still expands these.
std::string doubleQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::optional<std::string> program(const std::string& name, const EnvironmentBlock& environment) {
  if (name.find('/') != std::string::npos) {
    if (name.front() == '/' && ExecutableSearch::isExecutableFile(name)) return name;
    return std::nullopt;
  }
  return ExecutableSearch::find({}, name, environment);
}

// A file name cannot hold a slash; a title is free text.
std::string fileName(std::string title) {
  for (char& c : title)
    if (c == '/' || c == '\0') c = '-';
  return title + ".sh";
}

}  // namespace

std::string script(const std::string& command, const std::string& title) {
  return "#!/bin/bash\n"
         "clear\n"
         "echo " +
         doubleQuoted("Meterwright \u2014 " + title) +
         "\n"
         "echo\n" +
         command +
         "\n"
         "echo\n"
         "echo " +
         doubleQuoted("You can close this window and go back to Meterwright.") + "\nread -r\n";
}

std::optional<std::vector<std::string>> terminalCommand(const std::string& script,
                                                        const EnvironmentBlock& environment) {
  // Each terminal's way of being given a program to run instead of the user's shell.
  struct Known {
    const char* name;
    const char* option;
  };
  std::optional<std::string> chosen = environment.get("TERMINAL");
  if (chosen && !chosen->empty()) {
    if (auto path = program(*chosen, environment))
      return std::vector<std::string>{*path, "-e", script};
  }
  for (Known known :
       {Known{"x-terminal-emulator", "-e"}, Known{"gnome-terminal", "--"}, Known{"konsole", "-e"},
        Known{"xfce4-terminal", "-x"}, Known{"xterm", "-e"}}) {
    if (auto path = program(known.name, environment))
      return std::vector<std::string>{*path, known.option, script};
  }
  return std::nullopt;
}

bool run(const std::string& command, const std::string& title, const Options& options) {
  std::filesystem::path folder = options.temporary / "MeterwrightSetup";
  // A folder someone else made there could be read or changed by them.
  if (!PrivateFolder::prepare(folder)) return false;
  std::filesystem::path file = folder / fileName(title);
  if (!AtomicFile::write(file, script(command, title), {0700, true, {}})) return false;
  std::optional<std::vector<std::string>> terminal = terminalCommand(file, options.environment);
  if (!terminal) return false;
  std::vector<std::string> arguments(terminal->begin() + 1, terminal->end());
  return DetachedLaunch::start(terminal->front(), arguments, options.environment);
}

}  // namespace meterwright::TerminalLauncher
