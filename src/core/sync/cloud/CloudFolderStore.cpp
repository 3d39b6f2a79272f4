#include "core/sync/cloud/CloudFolderStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "core/encoding/Uuid.h"
#include "core/sync/cloud/CloudFileNames.h"
#include "core/sync/cloud/CloudRecordCoding.h"
#include "core/text/LocalizedModule.h"

namespace meterwright {

namespace fs = std::filesystem;
using Kind = CloudStoreProblem::Kind;

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now, for the callers that must see close's own error (a write's last chance to fail).
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

std::string systemText(int error) {
  return std::generic_category().message(error);
}

CloudStoreProblem failed(std::string_view key, std::string_view english, const fs::path& path,
                         int error) {
  return {Kind::failed, L(key, english, path.string(), systemText(error))};
}

CloudStoreProblem failedToOpen(const fs::path& path, int error) {
  return failed("cloud.failed.open", "Could not open the iCloud folder %1$@: %2$@", path, error);
}
CloudStoreProblem failedToList(const fs::path& path, int error) {
  return failed("cloud.failed.list", "Could not list the iCloud folder %1$@: %2$@", path, error);
}
CloudStoreProblem failedToWrite(const fs::path& path, int error) {
  return failed("cloud.failed.write", "Could not write %1$@: %2$@", path, error);
}
CloudStoreProblem failedToRead(const fs::path& path, int error) {
  return failed("cloud.failed.read", "Could not read %1$@: %2$@", path, error);
}
CloudStoreProblem failedToRemove(const fs::path& path, int error) {
  return failed("cloud.failed.remove", "Could not remove %1$@: %2$@", path, error);
}

CloudStoreProblem badFile(Kind kind, const fs::path& path) {
  switch (kind) {
    case Kind::symbolicLink:
      return {kind,
              L("cloud.file.link", "%@ is a symbolic link; it is not followed.", path.string())};
    case Kind::notRegularFile:
      return {kind, L("cloud.file.notRegular", "%@ is not a regular file.", path.string())};
    case Kind::tooLarge:
      return {kind, L("cloud.file.tooLarge", "%@ is larger than a record can be.", path.string())};
    default:
      return {Kind::notARecord, L("cloud.file.notARecord", "%@ is not a record.", path.string())};
  }
}

// What occupies a name, judged without following it: nothing when it is free or a regular file.
std::optional<Kind> occupant(int folder, const char* name) {
  struct stat status {};
  if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  if (S_ISLNK(status.st_mode)) return Kind::symbolicLink;
  if (!S_ISREG(status.st_mode)) return Kind::notRegularFile;
  return std::nullopt;
}

// Calls `each` with every name in the folder but "." and "..", until it returns false. 0, or the
// error that ended the listing.
template <typename Each>
int listNames(int folder, Each&& each) {
  int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return errno;
  DIR* directory = ::fdopendir(copy);
  if (!directory) {
    int error = errno;
    ::close(copy);
    return error;
  }
  int error = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory);
    if (!entry) {
      error = errno;
      break;
    }
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!each(name)) break;
  }
  ::closedir(directory);
  return error;
}

struct OpenedZone {
  Descriptor zone;
  std::optional<CloudStoreProblem> problem;
};

OpenedZone openZone(const fs::path& container, bool create) {
  Descriptor folder(::open(container.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) {
    int error = errno;
    if (error == ENOENT) {
      return {Descriptor(), CloudStoreProblem{Kind::missing, failedToOpen(container, error).text}};
    }
    return {Descriptor(), failedToOpen(container, error)};
  }
  const std::string zoneName(CloudFolderStore::zoneName);
  const fs::path zonePath = container / zoneName;
  if (create && ::mkdirat(folder.get(), zoneName.c_str(), 0700) != 0 && errno != EEXIST) {
    return {Descriptor(),
            failed("cloud.failed.zone", "Could not create the folder %1$@: %2$@", zonePath, errno)};
  }
  Descriptor zone(
      ::openat(folder.get(), zoneName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!zone.valid()) {
    // Whatever occupies the zone's name, the route cannot work: these are failures, not files to
    // pass over.
    int error = errno;
    std::string text = error == ELOOP ? badFile(Kind::symbolicLink, zonePath).text
                       : error == ENOTDIR
                           ? L("cloud.file.notFolder", "%@ is not a folder.", zonePath.string())
                           : failedToOpen(zonePath, error).text;
    return {Descriptor(), CloudStoreProblem{Kind::failed, std::move(text)}};
  }
  return {std::move(zone), std::nullopt};
}

// At most `limit` bytes of a regular file in the folder; links, fifos and devices are refused
// before a byte is read, and nothing here waits on a writer.
std::pair<std::string, std::optional<CloudStoreProblem>> readFile(int folder, const char* name,
                                                                  const fs::path& path,
                                                                  std::size_t limit) {
  Descriptor file(
      ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.valid()) {
    int error = errno;
    if (error == ENOENT) return {{}, CloudStoreProblem{Kind::missing, {}}};
    if (error == ELOOP) return {{}, badFile(Kind::symbolicLink, path)};
    return {{}, failedToRead(path, error)};
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return {{}, failedToRead(path, errno)};
  if (!S_ISREG(status.st_mode)) return {{}, badFile(Kind::notRegularFile, path)};
  if (static_cast<unsigned long long>(status.st_size) > limit) {
    return {{}, badFile(Kind::tooLarge, path)};
  }
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return {{}, failedToRead(path, errno)};
    if (count == 0) break;
    // The file may have grown since fstat.
    if (bytes.size() + static_cast<std::size_t>(count) > limit) {
      return {{}, badFile(Kind::tooLarge, path)};
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
  return {std::move(bytes), std::nullopt};
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// Writes `bytes` under `name` through a temporary file renamed over it. A link, folder or other
// non-regular file at `name` is refused, never replaced or followed.
std::optional<CloudStoreProblem> writeFile(int folder, const std::string& name,
                                           const fs::path& path, std::string_view bytes) {
  if (auto kind = occupant(folder, name.c_str())) return badFile(*kind, path);
  const std::string temporary = CloudFileNames::temporaryName();
  Descriptor file(::openat(folder, temporary.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.valid()) return failedToWrite(path, errno);
  int error = 0;
  if (!writeAll(file.get(), bytes) || ::fsync(file.get()) != 0) error = errno ? errno : EIO;
  if (file.close() != 0 && error == 0) error = errno;
  if (error == 0 && ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::unlinkat(folder, temporary.c_str(), 0);
    // Renaming onto a folder that appeared meanwhile fails here rather than replacing it.
    if (auto kind = occupant(folder, name.c_str())) return badFile(*kind, path);
    return failedToWrite(path, error);
  }
  ::fsync(folder);
  return std::nullopt;
}

std::optional<CloudStoreProblem> removeFile(int folder, const std::string& name,
                                            const fs::path& path) {
  struct stat status {};
  if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return CloudStoreProblem{Kind::missing, {}};
    return failedToRemove(path, errno);
  }
  if (auto kind = occupant(folder, name.c_str())) return badFile(*kind, path);
  // Without AT_REMOVEDIR a folder swapped in meanwhile is refused, and a link is removed itself,
  // never what it points to.
  if (::unlinkat(folder, name.c_str(), 0) != 0) {
    if (errno == ENOENT) return CloudStoreProblem{Kind::missing, {}};
    return failedToRemove(path, errno);
  }
  return std::nullopt;
}

}  // namespace

CloudFolderStore::CloudFolderStore(fs::path container) : container_(std::move(container)) {}

std::optional<CloudStoreProblem> CloudFolderStore::check() const {
  {
    Descriptor folder(::open(container_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
      int error = errno;
      auto problem = failedToOpen(container_, error);
      if (error == ENOENT || error == ENOTDIR) problem.kind = Kind::missing;
      return problem;
    }
    if (int error = listNames(folder.get(), [](std::string_view) { return true; })) {
      return failedToList(container_, error);
    }
  }
  auto [zone, problem] = openZone(container_, true);
  if (problem) return problem;

  const std::string probe =
      std::string(CloudFileNames::temporaryPrefix) + "probe-" + Uuid::random().text();
  const fs::path probePath = zoneFolder() / probe;
  const std::string written = "probe " + probe;
  if (auto failure = writeFile(zone.get(), probe, probePath, written)) return failure;
  auto [read, readProblem] = readFile(zone.get(), probe.c_str(), probePath, written.size());
  if (!readProblem && read != written) {
    readProblem = CloudStoreProblem{
        Kind::failed, L("cloud.failed.readBack",
                        "Read %@ back, but it differs from what was written.", probePath.string())};
  }
  auto removeProblem = removeFile(zone.get(), probe, probePath);
  // The probe is this program's own file, so anything but a plain read failure means something
  // replaced or removed it meanwhile; both are failures of the check.
  if (readProblem) {
    if (readProblem->kind == Kind::failed) return readProblem;
    return failedToRead(probePath, readProblem->kind == Kind::missing ? ENOENT : EIO);
  }
  if (removeProblem) {
    if (removeProblem->kind == Kind::failed) return removeProblem;
    return failedToRemove(probePath, removeProblem->kind == Kind::missing ? ENOENT : EIO);
  }
  if (int error = listNames(zone.get(), [](std::string_view) { return true; })) {
    return failedToList(zoneFolder(), error);
  }
  return std::nullopt;
}

std::optional<CloudStoreProblem> CloudFolderStore::save(std::string_view recordName,
                                                        const CloudRecord& record) const {
  auto name = CloudFileNames::fileName(recordName);
  if (!name) return badFile(Kind::notARecord, zoneFolder() / std::string(recordName));
  const fs::path path = zoneFolder() / *name;
  auto text = CloudRecordCoding::encode(record);
  if (!text) return badFile(Kind::tooLarge, path);
  auto [zone, problem] = openZone(container_, false);
  if (problem) return problem;
  return writeFile(zone.get(), *name, path, *text);
}

CloudFolderStore::Fetched CloudFolderStore::fetch(std::string_view recordName) const {
  auto name = CloudFileNames::fileName(recordName);
  if (!name) return {std::nullopt, CloudStoreProblem{Kind::missing, {}}};
  const fs::path path = zoneFolder() / *name;
  auto [zone, problem] = openZone(container_, false);
  if (problem) return {std::nullopt, problem};
  auto [bytes, readProblem] =
      readFile(zone.get(), name->c_str(), path, CloudRecordCoding::maximumBytes);
  if (readProblem) return {std::nullopt, readProblem};
  auto record = CloudRecordCoding::decode(bytes);
  if (!record) return {std::nullopt, badFile(Kind::notARecord, path)};
  return {std::move(record), std::nullopt};
}

std::optional<CloudStoreProblem> CloudFolderStore::remove(std::string_view recordName) const {
  auto name = CloudFileNames::fileName(recordName);
  if (!name) return CloudStoreProblem{Kind::missing, {}};
  auto [zone, problem] = openZone(container_, false);
  if (problem) return problem;
  return removeFile(zone.get(), *name, zoneFolder() / *name);
}

std::vector<CloudIgnoredFile> CloudFolderStore::strayFiles(std::size_t limit) const {
  std::vector<CloudIgnoredFile> strays;
  auto opened = openZone(container_, false);
  if (opened.problem) return strays;
  const int zone = opened.zone.get();
  // A folder flooded with names must not keep the caller for long.
  std::size_t looked = 0;
  listNames(zone, [&](std::string_view name) {
    const std::string file(name);
    const fs::path path = zoneFolder() / file;
    std::optional<std::string> reason;
    switch (CloudFileNames::classify(name)) {
      case CloudFileNames::Kind::record: {
        struct stat status {};
        if (::fstatat(zone, file.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) break;
        if (S_ISLNK(status.st_mode)) {
          reason = badFile(Kind::symbolicLink, path).text;
        } else if (!S_ISREG(status.st_mode)) {
          reason = badFile(Kind::notRegularFile, path).text;
        } else if (static_cast<unsigned long long>(status.st_size) >
                   CloudRecordCoding::maximumBytes) {
          reason = badFile(Kind::tooLarge, path).text;
        }
        break;
      }
      case CloudFileNames::Kind::syncToolLeftover:
        reason = L("cloud.file.leftover", "%@ was left by a sync tool.", path.string());
        break;
      case CloudFileNames::Kind::hidden:
      case CloudFileNames::Kind::foreign:
        reason = L("cloud.file.foreign", "%@ is not a record's name.", path.string());
        break;
      case CloudFileNames::Kind::ownTemporary:
        break;
    }
    if (reason) strays.push_back({file, std::move(*reason)});
    return strays.size() < limit && ++looked < 100'000;
  });
  return strays;
}

}  // namespace meterwright
