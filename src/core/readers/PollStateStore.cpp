#include "core/readers/PollStateStore.h"

#include <algorithm>
#include <chrono>

#include "core/files/AtomicFile.h"
#include "core/files/FileLock.h"
#include "core/readers/PollStateCoding.h"

namespace meterwright {

namespace {

namespace fs = std::filesystem;

// The file name for a provider id: ids are lower-case words, but one from a hand-edited
// configuration must not reach outside the folder.
std::string fileStem(const std::string& provider) {
  std::string stem = provider.empty() ? "_" : provider;
  for (char& c : stem) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return stem;
}

}  // namespace

std::shared_ptr<PollStateStore> PollStateStore::inFolder(fs::path folder) {
  return std::shared_ptr<PollStateStore>(new PollStateStore(std::move(folder)));
}

std::shared_ptr<PollStateStore> PollStateStore::inMemory() {
  return std::shared_ptr<PollStateStore>(new PollStateStore(std::nullopt));
}

PollStateStore::PollStateStore(std::optional<fs::path> folder) : folder_(std::move(folder)) {}

fs::path PollStateStore::file(const std::string& provider) const {
  if (!folder_) return {};
  return *folder_ / (fileStem(provider) + ".json");
}

std::optional<PollStateStore::Hold> PollStateStore::hold(const std::string& provider,
                                                         double patience) {
  if (folder_) {
    std::optional<FileLock> lock;
    if (AtomicFile::createFolders(*folder_, 0700)) {
      lock = FileLock::open(*folder_ / (fileStem(provider) + ".lock"));
    }
    if (lock) {
      if (!lock->lock(patience)) return std::nullopt;
      return Hold(shared_from_this(), provider, std::move(lock), {}, load(provider));
    }
    // A folder that cannot be written must not stop the floors: they hold in this process.
  }
  std::unique_lock memory(memoryLock_, std::defer_lock);
  if (!memory.try_lock_for(std::chrono::duration<double>(std::max(patience, 0.0)))) {
    return std::nullopt;
  }
  std::lock_guard states(memoryStatesLock_);
  return Hold(shared_from_this(), provider, std::nullopt, std::move(memory), memory_[provider]);
}

PollState PollStateStore::peek(const std::string& provider) {
  {
    std::lock_guard states(memoryStatesLock_);
    // States kept in memory: the store's own, or a provider whose folder could not be written.
    auto found = memory_.find(provider);
    if (found != memory_.end()) return found->second;
    if (!folder_) return {};
  }
  return load(provider);
}

PollState PollStateStore::load(const std::string& provider) {
  auto read = FileReading::read(file(provider), 64 * 1024);
  if (read.outcome != FileReading::Outcome::read) return {};
  return PollStateCoding::decode(read.bytes, provider).value_or(PollState{});
}

bool PollStateStore::save(const std::string& provider, const PollState& state, bool inMemory) {
  if (inMemory) {
    std::lock_guard states(memoryStatesLock_);
    memory_[provider] = state;
    return true;
  }
  auto text = PollStateCoding::encode(state, provider);
  if (!text) return false;
  AtomicFile::Options options;
  options.mode = 0600;
  return AtomicFile::write(file(provider), *text, options);
}

PollStateStore::Hold::Hold(std::shared_ptr<PollStateStore> store, std::string provider,
                           std::optional<FileLock> fileLock,
                           std::unique_lock<std::timed_mutex> memoryLock, PollState read)
    : state(read),
      store_(std::move(store)),
      provider_(std::move(provider)),
      fileLock_(std::move(fileLock)),
      memoryLock_(std::move(memoryLock)),
      read_(std::move(read)) {}

PollStateStore::Hold::Hold(Hold&& other) noexcept
    : state(std::move(other.state)),
      store_(std::move(other.store_)),
      provider_(std::move(other.provider_)),
      fileLock_(std::move(other.fileLock_)),
      memoryLock_(std::move(other.memoryLock_)),
      read_(std::move(other.read_)) {}

PollStateStore::Hold::~Hold() {
  // The lock goes before the store it belongs to.
  fileLock_.reset();
  if (memoryLock_.owns_lock()) memoryLock_.unlock();
}

bool PollStateStore::Hold::commit() {
  if (state == read_) return true;
  if (!store_->save(provider_, state, !fileLock_)) return false;
  read_ = state;
  return true;
}

}  // namespace meterwright
