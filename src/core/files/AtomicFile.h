#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace meterwright {

// The one way the program writes a file: the bytes go to a temporary file beside the target, are
// flushed to disk, and the temporary file then replaces the target in one rename. A reader sees the
// old bytes or the new ones, never a mix, whatever happens to the process meanwhile.
namespace AtomicFile {

// The points between the steps of a write, for tests that stop a write half-way.
enum class Step { createdTemporary, wroteChunk, flushed, renamed };

struct Options {
  // A new file gets this mode less the umask. A file that is replaced keeps its own mode, and its
  // owner and group where the process may set them: a configuration a user keeps at 0600 stays so.
  mode_t mode = 0644;
  // The file ends with exactly `mode` whatever it replaces, for secrets that must stay 0600 even
  // when the file they replace was widened.
  bool exactMode = false;
  // Test seam: called at each step; returning true abandons the write on the spot, as a killed
  // process would (no clean-up), and the write reports failure.
  std::function<bool(Step)> stopAt;
};

// Writes `bytes` to `path`. The parent folder must exist. False on any failure, in which case the
// file at `path`, if any, is untouched. When `path` is a symbolic link this user made, the file it
// points to is replaced and the link kept; a link of anyone else's is refused.
bool write(const std::filesystem::path& path, std::string_view bytes, const Options& options = {});

// Creates `folder` and its parents; each folder made here gets `mode` less the umask. True when it
// exists after.
bool createFolders(const std::filesystem::path& folder, mode_t mode = 0755);

}  // namespace AtomicFile

// Reading a whole file with an upper bound, so a file of any size cannot exhaust memory.
namespace FileReading {

enum class Outcome { read, missing, unreadable, tooLarge };

struct Result {
  Outcome outcome = Outcome::missing;
  std::string bytes;
};

// The documents the program reads (configuration, last reading, stored items) are a few KiB; this
// bound leaves room for any plausible hand-edited file.
constexpr std::size_t defaultLimit = 16 * 1024 * 1024;

Result read(const std::filesystem::path& path, std::size_t limit = defaultLimit);

// The same for a file named by someone else (an icon reference, a theme's file): only a regular
// file is opened, so a fifo cannot hang the caller and a device is never touched (both read as
// unreadable); a file over `limit` is refused from its size before any byte is read.
Result readRegular(const std::filesystem::path& path, std::size_t limit);

}  // namespace FileReading

}  // namespace meterwright
