#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/files/FileLock.h"
#include "core/readers/PollState.h"

namespace meterwright {

// Where the providers' poll states live. On disk (the program): one file per provider in a folder
// of the user's state home, <provider>.json, read-modify-written under an flock of <provider>.lock
// and replaced atomically, only when it changed. The lock is held for the bookkeeping alone, never
// while a provider is asked, and dies with a crashed process. In memory (tests, and a process whose
// folder cannot be written): the same, for this process only.
//
// A missing, damaged or foreign file reads as the start state: the provider is due.
class PollStateStore : public std::enable_shared_from_this<PollStateStore> {
 public:
  // How long a decision waits for another process's bookkeeping, in seconds: far longer than any
  // bookkeeping takes, short enough that a stuck holder does not stall a status line.
  static constexpr double defaultPatience = 1;

  static std::shared_ptr<PollStateStore> inFolder(std::filesystem::path folder);
  static std::shared_ptr<PollStateStore> inMemory();

  // One provider's state, with its lock held until this is destroyed.
  class Hold {
   public:
    Hold(Hold&& other) noexcept;
    Hold& operator=(Hold&&) = delete;

    // As read when the lock was taken; change it, then commit.
    PollState state;
    ~Hold();
    // Writes `state` when it differs from what was read. False when the write failed.
    bool commit();

   private:
    friend class PollStateStore;
    Hold(std::shared_ptr<PollStateStore> store, std::string provider,
         std::optional<FileLock> fileLock, std::unique_lock<std::timed_mutex> memoryLock,
         PollState read);

    // Kept alive while held: the memory lock is the store's.
    std::shared_ptr<PollStateStore> store_;
    std::string provider_;
    // Absent when the state is kept in memory.
    std::optional<FileLock> fileLock_;
    std::unique_lock<std::timed_mutex> memoryLock_;
    PollState read_;
  };

  // Takes the provider's lock, waiting up to `patience` seconds for another holder; nothing when
  // it is still held then.
  std::optional<Hold> hold(const std::string& provider, double patience = defaultPatience);
  // The state without the lock, as status lines read it.
  PollState peek(const std::string& provider);

  // <folder>/<provider>.json; empty in memory.
  std::filesystem::path file(const std::string& provider) const;

 private:
  explicit PollStateStore(std::optional<std::filesystem::path> folder);
  PollState load(const std::string& provider);
  bool save(const std::string& provider, const PollState& state, bool inMemory);

  std::optional<std::filesystem::path> folder_;
  std::timed_mutex memoryLock_;
  std::mutex memoryStatesLock_;
  std::map<std::string, PollState> memory_;
};

}  // namespace meterwright
