#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/files/AtomicFile.h"
#include "core/secrets/SecretStore.h"
#include "core/time/Clock.h"

namespace meterwright {

// The Linux stand-in for the Keychain: one JSON file per item in a folder only the user can enter
// (0700), each file readable only by the user (0600) and replaced atomically, so a crash mid-write
// leaves the old item or the new one, never a mix. Callers normally pass
// FileLocations::supportFolder() / "keychain".
//
// A file holds {"service", "account", "label", "data" (standard Base64 with padding),
// "modificationDate" (ISO 8601, whole seconds)}; dates therefore read back floored to the second.
class FileSecretStore final : public SecretStore {
 public:
  // `stopAt` is handed to every AtomicFile write, so tests can abandon a write at any step.
  FileSecretStore(std::filesystem::path folder, std::shared_ptr<const Clock> clock,
                  std::function<bool(AtomicFile::Step)> stopAt = {});

  // Never needs the user, so `allowInteraction` changes nothing.
  SecretReadResult read(const std::string& service, const std::string& account,
                        bool allowInteraction = false) override;
  int add(const SecretItem& item) override;
  int update(const std::string& service, const std::string& account, const std::string& data,
             const std::string& label) override;
  int remove(const std::string& service, const std::string& account) override;

  // The name of the file inside the folder that holds an item; any service and account map to a
  // plain name that stays inside the folder, and different pairs to different names.
  static std::string fileName(const std::string& service, const std::string& account);

 private:
  int write(const SecretItem& item);
  bool prepareFolder() const;

  std::filesystem::path folder_;
  std::shared_ptr<const Clock> clock_;
  std::function<bool(AtomicFile::Step)> stopAt_;
  // Serialises add/update/remove so the check for an existing item and the write that follows it
  // are one step for other threads. Reads need no lock: files are only ever replaced whole.
  std::mutex mutex_;
};

}  // namespace meterwright
