#include "support/FakePrograms.h"

#include <stdexcept>
#include <utility>

#include "platform/process/ExecutableSearch.h"

namespace meterwright::testing::FakePrograms {

namespace fs = std::filesystem;

namespace {

fs::path writeExecutable(const fs::path& path, const std::string& script) {
  writeFile(path, script);
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

}  // namespace

fs::path binFolder(const TemporaryFolder& folder) {
  return folder.locations().home / ".local" / "bin";
}

fs::path installAt(const std::string& name, const fs::path& path) {
  std::string script = readFile(fs::path(METERWRIGHT_FAKES_DIR) / name);
  if (script.empty()) throw std::runtime_error("no fake program named " + name);
  // The interpreter by absolute path, so the fake runs under any PATH a test gives the reader.
  std::string python = "/usr/bin/python3";
  if (!ExecutableSearch::isExecutableFile(python)) {
    python = ExecutableSearch::find({}, "python3", EnvironmentBlock::ofProcess()).value_or("");
  }
  if (python.empty()) throw std::runtime_error("the fake programs need python3");
  script.replace(0, script.find('\n'), "#!" + python);
  return writeExecutable(path, script);
}

fs::path install(const TemporaryFolder& folder, const std::string& name) {
  return installAt(name, binFolder(folder) / name);
}

void setMode(const TemporaryFolder& folder, const std::string& name, const std::string& mode) {
  writeFile(binFolder(folder) / (name + ".mode"), mode);
}

fs::path installScript(const TemporaryFolder& folder, const std::string& name,
                       const std::string& script) {
  return writeExecutable(binFolder(folder) / name, "#!/bin/sh\n" + script);
}

// Arguments end in NUL and runs in RS, so arguments may hold line breaks.
fs::path installRecorder(const TemporaryFolder& folder, const std::string& name) {
  return installScript(folder, name, R"(here=${0%/*}; name=${0##*/}
{ printf '%s\0' "$@"; printf '\036'; } >> "$here/$name.args"
[ -f "$here/$name.say" ] && while IFS= read -r l; do printf '%s\n' "$l"; done < "$here/$name.say"
status=0; [ -f "$here/$name.status" ] && read -r status < "$here/$name.status"
exit $status
)");
}

std::vector<std::vector<std::string>> recordedRuns(const TemporaryFolder& folder,
                                                   const std::string& name) {
  std::vector<std::vector<std::string>> runs(1);
  std::string argument;
  for (char c : readFile(binFolder(folder) / (name + ".args"))) {
    if (c == '\x1e') runs.emplace_back();
    if (c == '\0') runs.back().push_back(std::exchange(argument, {}));
    if (c != '\x1e' && c != '\0') argument += c;
  }
  runs.pop_back();  // the run being written, if any
  return runs;
}

EnvironmentBlock cleanEnvironment() {
  EnvironmentBlock environment = EnvironmentBlock::ofProcess();
  environment.set("PATH", "/usr/bin:/bin");
  for (const char* name :
       {"FAKE_CODEX_MODE", "FAKE_CODEX_ANSWER", "FAKE_CODEX_RECORD", "FAKE_CLAUDE_MODE",
        "FAKE_CLAUDE_RECORD", "CLAUDE_CONFIG_DIR", "CLAUDE_CODE_CHILD_SESSION"}) {
    environment.remove(name);
  }
  return environment;
}

}  // namespace meterwright::testing::FakePrograms
