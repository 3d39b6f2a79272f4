#include "support/FakePrograms.h"

#include <stdexcept>

#include "platform/process/ExecutableSearch.h"

namespace meterwright::testing::FakePrograms {

namespace fs = std::filesystem;

namespace {

fs::path fakesFolder() {
  return fs::path(__FILE__).parent_path().parent_path() / "fakes";
}

// The fakes are Python scripts. Their first line names the interpreter by absolute path, so they
// run under any PATH a test gives the reader (including one without python3 on it).
std::string interpreter() {
  if (ExecutableSearch::isExecutableFile("/usr/bin/python3")) return "/usr/bin/python3";
  auto found = ExecutableSearch::find({}, "python3", EnvironmentBlock::ofProcess());
  if (!found) throw std::runtime_error("the fake programs need python3");
  return *found;
}

}  // namespace

fs::path binFolder(const TemporaryFolder& folder) {
  return folder.locations().home / ".local" / "bin";
}

fs::path installAt(const std::string& name, const fs::path& path) {
  std::string script = readFile(fakesFolder() / name);
  if (script.empty()) throw std::runtime_error("no fake program named " + name);
  std::size_t firstLineEnd = script.find('\n');
  script.replace(0, firstLineEnd, "#!" + interpreter());
  writeFile(path, script);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  return path;
}

fs::path install(const TemporaryFolder& folder, const std::string& name) {
  return installAt(name, binFolder(folder) / name);
}

void setMode(const TemporaryFolder& folder, const std::string& name, const std::string& mode) {
  writeFile(binFolder(folder) / (name + ".mode"), mode);
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
