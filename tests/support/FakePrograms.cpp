#include "support/FakePrograms.h"

#include <stdexcept>

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
