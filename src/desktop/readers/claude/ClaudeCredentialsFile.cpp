#include "desktop/readers/claude/ClaudeCredentialsFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>

#include "core/files/AtomicFile.h"

namespace meterwright {

namespace {

Date modificationDate(const struct stat& info) {
  auto since =
      std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
  return Date{std::chrono::duration_cast<Date::duration>(since)};
}

}  // namespace

std::filesystem::path ClaudeCredentialsFile::location(const FileLocations& locations,
                                                      const EnvironmentBlock& environment) {
  auto configured = environment.get("CLAUDE_CONFIG_DIR");
  std::filesystem::path folder = configured && !configured->empty()
                                     ? std::filesystem::path(*configured)
                                     : locations.home / ".claude";
  return folder / ".credentials.json";
}

std::optional<std::vector<ClaudeCredentialItem>> ClaudeCredentialsFile::list() {
  std::vector<ClaudeCredentialItem> items;
  struct stat info {};
  if (::stat(file_.c_str(), &info) == 0) {
    items.push_back({std::string(service), modificationDate(info)});
  }
  return items;
}

SecretReadResult ClaudeCredentialsFile::read(const std::string& requested, bool) {
  SecretReadResult result;
  if (requested != service) return result;
  struct stat info {};
  if (::stat(file_.c_str(), &info) != 0) {
    result.status = errno == ENOENT ? SecretStatus::itemNotFound : SecretStatus::authFailed;
    return result;
  }
  // Opening a fifo or a device could block the reading indefinitely.
  if (!S_ISREG(info.st_mode)) {
    result.status = SecretStatus::authFailed;
    return result;
  }
  auto file = FileReading::read(file_, sizeLimit);
  switch (file.outcome) {
    case FileReading::Outcome::read:
      result.status = SecretStatus::success;
      result.item = SecretItem{std::string(service), "", std::string(service),
                               std::move(file.bytes), modificationDate(info)};
      return result;
    case FileReading::Outcome::missing:
      result.status = SecretStatus::itemNotFound;
      return result;
    case FileReading::Outcome::unreadable:
    case FileReading::Outcome::tooLarge:
      break;
  }
  result.status = SecretStatus::authFailed;
  return result;
}

}  // namespace meterwright
