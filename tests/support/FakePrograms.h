#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"
#include "support/TemporaryFolder.h"

// Fakes of the outside programs the readers start (tests/fakes/codex, tests/fakes/claude). Each
// takes its behaviour from FAKE_CODEX_MODE / FAKE_CLAUDE_MODE or, when unset, from <name>.mode next
// to itself, so a test can steer one started by the real executable too. The modes and recording
// variables are listed at the top of each fake.
namespace meterwright::testing::FakePrograms {

// <home>/.local/bin: where the readers look first.
std::filesystem::path binFolder(const TemporaryFolder& folder);

// Copies the fake `name` to `path` (default: binFolder/name), executable; returns the path.
std::filesystem::path install(const TemporaryFolder& folder, const std::string& name);
std::filesystem::path installAt(const std::string& name, const std::filesystem::path& path);

// Writes <bin>/<name>.mode.
void setMode(const TemporaryFolder& folder, const std::string& name, const std::string& mode);

// Writes an executable shell script to <bin>/<name>.
std::filesystem::path installScript(const TemporaryFolder& folder, const std::string& name,
                                    const std::string& script);

// Writes <bin>/<name>: a script that appends each run's arguments to <bin>/<name>.args, then prints
// <bin>/<name>.say and exits with the status in <bin>/<name>.status where those exist. It needs
// no PATH.
std::filesystem::path installRecorder(const TemporaryFolder& folder, const std::string& name);
// The arguments of each run of the recorder `name` so far, oldest first.
std::vector<std::vector<std::string>> recordedRuns(const TemporaryFolder& folder,
                                                   const std::string& name);

// This process's environment with PATH narrowed to the system folders, so a `codex` or `claude`
// installed on the machine is never found by accident.
EnvironmentBlock cleanEnvironment();

}  // namespace meterwright::testing::FakePrograms
