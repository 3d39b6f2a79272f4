#include "platform/secrets/FileSecretStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "core/crypto/Base64.h"
#include "core/crypto/CryptoPrimitives.h"
#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"
#include "core/time/Iso8601.h"

namespace meterwright {

namespace fs = std::filesystem;

namespace {

// Items are tokens and keys of a few KiB; anything near this is not a file we wrote.
constexpr std::size_t itemFileLimit = 16 * 1024 * 1024;

// File names stop at 255 bytes and AtomicFile's temporary name adds 8 more; longer encodings are
// shortened (see fileName).
constexpr std::size_t longestPlainName = 200;
constexpr std::size_t shortenedPrefix = 100;

bool isPlain(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

void percentEncode(std::string_view text, std::string& out) {
  static constexpr char hex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    // A leading "." is encoded too, so no name is hidden and none is "." or "..".
    if (isPlain(c) && !(i == 0 && c == '.')) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 0x0F];
    }
  }
}

std::string hexHash(std::string_view bytes) {
  return CryptoPrimitives::hex(CryptoPrimitives::blake2b(bytes));
}

enum class Presence { present, missing, unknown };

Presence presenceOf(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return Presence::present;
  return errno == ENOENT || errno == ENOTDIR ? Presence::missing : Presence::unknown;
}

void syncFolder(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::optional<std::string> encodeItem(const SecretItem& item) {
  nlohmann::json document = {{"service", item.service},
                             {"account", item.account},
                             {"label", item.label},
                             {"data", Base64::encode(item.data)},
                             {"modificationDate", Iso8601::format(item.modificationDate)}};
  // Nothing when service, account or label is not UTF-8.
  return JsonText::prettySorted(document);
}

std::optional<SecretItem> decodeItem(std::string_view text) {
  auto document = JsonText::parse(text);
  if (!document) return std::nullopt;
  JsonObjectReader reader(*document);
  auto service = reader.requiredString("service");
  auto account = reader.requiredString("account");
  auto label = reader.requiredString("label");
  auto data = reader.requiredString("data");
  auto date = reader.requiredString("modificationDate");
  if (!reader.ok()) return std::nullopt;
  auto bytes = Base64::decode(*data);
  auto modificationDate = Iso8601::parse(*date);
  if (!bytes || !modificationDate) return std::nullopt;
  return SecretItem{*service, *account, *label, *bytes, *modificationDate};
}

}  // namespace

FileSecretStore::FileSecretStore(fs::path folder, std::shared_ptr<const Clock> clock,
                                 std::function<bool(AtomicFile::Step)> stopAt)
    : folder_(std::move(folder)), clock_(std::move(clock)), stopAt_(std::move(stopAt)) {}

// Each byte of service and account outside [A-Za-z0-9._-], and a leading ".", becomes %XX; the two
// are joined with "#" (always encoded inside them, so the join is unambiguous) and end in ".json":
// no name can hold "/" or be "." or "..". A name longer than fits keeps its first bytes and ends
// with "~" and the BLAKE2b hash of the full encoding; "~" is never in a plain name, so the two
// forms cannot meet.
std::string FileSecretStore::fileName(const std::string& service, const std::string& account) {
  std::string name;
  percentEncode(service, name);
  name += '#';
  percentEncode(account, name);
  if (name.size() > longestPlainName) {
    name = name.substr(0, shortenedPrefix) + "~" + hexHash(name);
  }
  return name + ".json";
}

SecretReadResult FileSecretStore::read(const std::string& service, const std::string& account,
                                       bool /*allowInteraction*/) {
  auto file = FileReading::read(folder_ / fileName(service, account), itemFileLimit);
  switch (file.outcome) {
    case FileReading::Outcome::missing:
      return {SecretStatus::itemNotFound, std::nullopt};
    case FileReading::Outcome::unreadable:
    case FileReading::Outcome::tooLarge:
      return {SecretStatus::authFailed, std::nullopt};
    case FileReading::Outcome::read:
      break;
  }
  auto item = decodeItem(file.bytes);
  // A file under this name that claims another pair was not written here for this item.
  if (!item || item->service != service || item->account != account) {
    return {SecretStatus::authFailed, std::nullopt};
  }
  return {SecretStatus::success, std::move(item)};
}

int FileSecretStore::add(const SecretItem& item) {
  std::lock_guard lock(mutex_);
  switch (presenceOf(folder_ / fileName(item.service, item.account))) {
    case Presence::present:
      return SecretStatus::duplicateItem;
    case Presence::unknown:
      return SecretStatus::ioError;
    case Presence::missing:
      break;
  }
  SecretItem stored = item;
  stored.modificationDate = clock_->now();
  return write(stored);
}

int FileSecretStore::update(const std::string& service, const std::string& account,
                            const std::string& data, const std::string& label) {
  std::lock_guard lock(mutex_);
  switch (presenceOf(folder_ / fileName(service, account))) {
    case Presence::missing:
      return SecretStatus::itemNotFound;
    case Presence::unknown:
      return SecretStatus::ioError;
    case Presence::present:
      break;
  }
  // Every field is replaced, so even a damaged file is overwritten with a whole item.
  return write(SecretItem{service, account, label, data, clock_->now()});
}

int FileSecretStore::remove(const std::string& service, const std::string& account) {
  std::lock_guard lock(mutex_);
  if (::unlink((folder_ / fileName(service, account)).c_str()) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? SecretStatus::itemNotFound : SecretStatus::ioError;
  }
  syncFolder(folder_);
  return SecretStatus::success;
}

int FileSecretStore::write(const SecretItem& item) {
  auto text = encodeItem(item);
  if (!text) return SecretStatus::invalidParameter;
  AtomicFile::Options options;
  options.mode = 0600;
  // A secret stays 0600 even when the file it replaces was widened.
  options.exactMode = true;
  options.stopAt = stopAt_;
  if (!prepareFolder()) return SecretStatus::ioError;
  return AtomicFile::write(folder_ / fileName(item.service, item.account), *text, options)
             ? SecretStatus::success
             : SecretStatus::ioError;
}

// The folder is made 0700 (its parents the usual 0755), and a folder found with any other mode is
// set back to 0700, so nobody else can even list which services have items.
bool FileSecretStore::prepareFolder() const {
  fs::path parent = folder_.parent_path();
  if (!parent.empty() && !AtomicFile::createFolders(parent, 0755)) return false;
  if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  if (::stat(folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  return (info.st_mode & 07777) == 0700 || ::chmod(folder_.c_str(), 0700) == 0;
}

}  // namespace meterwright
