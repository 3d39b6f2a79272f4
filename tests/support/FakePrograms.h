#pragma once

#include <filesystem>
#include <string>

#include "core/settings/EnvironmentBlock.h"
#include "support/TemporaryFolder.h"

// Fakes of the outside programs the readers start (tests/fakes/codex, tests/fakes/claude). Each
// fake picks its behaviour from an environment variable or, when that is unset, from a file next
// to itself, so a test can steer one started by the real executable too:
//   codex:  FAKE_CODEX_MODE  or <bin>/codex.mode   — answer (default), outOfOrder, split,
//           together, error, silent, exit, ignoreTerm, hugeLine, garbage, stringIds, noResult,
//           chatty, forks; FAKE_CODEX_ANSWER or <bin>/codex.answer: the "result" object to send;
//           FAKE_CODEX_RECORD: a file that receives every byte read from standard input.
//   claude: FAKE_CLAUDE_MODE or <bin>/claude.mode   — ready (default), signedOut, trust, silent,
//           exit, ignoreTerm; FAKE_CLAUDE_RECORD: a file that receives every byte read from the
//           terminal, and FAKE_CLAUDE_RECORD + ".args" / ".env" / ".cwd" its arguments,
//           environment and working folder.
namespace meterwright::testing::FakePrograms {

// <home>/.local/bin: where the readers look first.
std::filesystem::path binFolder(const TemporaryFolder& folder);

// Copies the fake `name` ("codex" or "claude") into binFolder under its real name, executable,
// and returns its path.
std::filesystem::path install(const TemporaryFolder& folder, const std::string& name);
// Copies the fake to any path (a folder on a test PATH, say).
std::filesystem::path installAt(const std::string& name, const std::filesystem::path& path);

// Writes <bin>/<name>.mode, the behaviour when the environment does not name one.
void setMode(const TemporaryFolder& folder, const std::string& name, const std::string& mode);

// This process's environment with PATH narrowed to the system folders, so a `codex` or `claude`
// installed on the machine is never found by accident.
EnvironmentBlock cleanEnvironment();

}  // namespace meterwright::testing::FakePrograms
