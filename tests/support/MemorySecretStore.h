#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "core/secrets/SecretStore.h"
#include "core/time/Clock.h"

namespace meterwright::testing {

// A secret store in memory with the statuses of the real one, for core tests that must not link
// the platform's file store. Items are dated by the clock given.
class MemorySecretStore final : public SecretStore {
 public:
  explicit MemorySecretStore(const Clock& clock) : clock_(clock) {}

  SecretReadResult read(const std::string& service, const std::string& account,
                        bool = false) override {
    std::lock_guard guard(lock_);
    auto found = items_.find({service, account});
    if (found == items_.end()) return {};
    return {SecretStatus::success, found->second};
  }
  int add(const SecretItem& item) override {
    std::lock_guard guard(lock_);
    SecretItem stored = item;
    stored.modificationDate = clock_.now();
    bool added = items_.try_emplace({item.service, item.account}, std::move(stored)).second;
    return added ? SecretStatus::success : SecretStatus::duplicateItem;
  }
  int update(const std::string& service, const std::string& account, const std::string& data,
             const std::string& label) override {
    std::lock_guard guard(lock_);
    auto found = items_.find({service, account});
    if (found == items_.end()) return SecretStatus::itemNotFound;
    found->second.data = data;
    found->second.label = label;
    found->second.modificationDate = clock_.now();
    return SecretStatus::success;
  }
  int remove(const std::string& service, const std::string& account) override {
    std::lock_guard guard(lock_);
    return items_.erase({service, account}) != 0 ? SecretStatus::success
                                                 : SecretStatus::itemNotFound;
  }

 private:
  const Clock& clock_;
  std::mutex lock_;
  std::map<std::pair<std::string, std::string>, SecretItem> items_;
};

}  // namespace meterwright::testing
