#pragma once

#include <filesystem>

#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"
#include "desktop/readers/claude/ClaudeCredentialItems.h"

namespace meterwright {

// Claude Code's sign-in on Linux: $CLAUDE_CONFIG_DIR/.credentials.json (default
// ~/.claude/.credentials.json), presented as the one item "Claude Code-credentials" dated by the
// file's modification time. Reading a file never needs a prompt. A missing file is itemNotFound;
// one that cannot be read (permissions, not a regular file, larger than any real sign-in) is
// authFailed.
class ClaudeCredentialsFile final : public ClaudeCredentialItems {
 public:
  // A real sign-in is well under a kilobyte.
  static constexpr std::size_t sizeLimit = 1024 * 1024;

  explicit ClaudeCredentialsFile(std::filesystem::path file) : file_(std::move(file)) {}

  static std::filesystem::path location(const FileLocations& locations,
                                        const EnvironmentBlock& environment);

  const std::filesystem::path& file() const { return file_; }

  std::optional<std::vector<ClaudeCredentialItem>> list() override;
  SecretReadResult read(const std::string& service, bool allowInteraction) override;

 private:
  std::filesystem::path file_;
};

}  // namespace meterwright
