#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace meterwright {

// Tells a waiting loop that a file in one folder was written or replaced (an atomic write renames
// a new file into place): an inotify watch whose descriptor the loop polls.
class FolderWatch {
 public:
  // Nothing when the folder cannot be watched.
  static std::optional<FolderWatch> start(const std::filesystem::path& folder);

  FolderWatch(FolderWatch&& other) noexcept;
  FolderWatch& operator=(FolderWatch&&) = delete;
  FolderWatch(const FolderWatch&) = delete;
  ~FolderWatch();

  // Readable when events are waiting.
  int fd() const { return fd_; }
  // Takes every waiting event; true when one of them concerns the file `name`.
  bool drain(std::string_view name);
  // Takes every waiting event; the names of the files they concern, in order, repeats kept.
  std::vector<std::string> drainNames();

 private:
  explicit FolderWatch(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace meterwright
