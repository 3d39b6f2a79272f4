#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/encoding/Uuid.h"
#include "core/secrets/SecretStore.h"
#include "core/sync/pairing/PairingRecord.h"

namespace meterwright {

// Every device this Mac has paired with and the key agreed with each, kept as one document in one
// secret-store item with an in-memory cache in front. The store is read at most once per process;
// after that the cache is the authoritative copy and every change rewrites the whole item (delete,
// then add). A failed write keeps the change in memory so the running program goes on working with
// the new list, and `isRemembering()` turns false so the interface can say it will be forgotten.
//
// Every operation holds the store's lock for its whole duration, secret-store calls included. The
// store is last in the lock order (SyncCoordinator.h): it never calls out while holding its lock.
class PairedDeviceStore {
 public:
  static constexpr std::string_view account = "paired-devices";
  static constexpr std::string_view label = "Meterwright — paired devices";

  // No secret-store access until the first operation.
  PairedDeviceStore(std::shared_ptr<SecretStore> secrets, std::string service);

  const std::string& service() const { return service_; }

  // Oldest pairing first; records paired at the same instant keep the order of their ids.
  std::vector<PairingRecord> records();
  std::vector<PairedDevice> devices();
  std::optional<PairingRecord> record(const Uuid& deviceID);

  // Inserts or replaces the record of `record.device.id`; true when the item was written.
  bool save(const PairingRecord& record);
  // Writes the item even when the device was not known.
  void remove(const Uuid& deviceID);
  // Forgets every record and deletes the item; whether the last write failed stays as it was.
  void removeAll();
  // Nothing is written for an unknown device.
  void markSeen(const Uuid& deviceID, Date date);

  // False after a write that did not reach the secret store.
  bool isRemembering();

  // Stored key bytes as a key; nothing unless exactly 32 bytes.
  static std::optional<SymmetricKey> symmetricKey(std::string_view keyBytes);

 private:
  using RecordMap = std::map<Uuid, PairingRecord>;

  RecordMap& load();
  bool persist(RecordMap records);

  std::shared_ptr<SecretStore> secrets_;
  std::string service_;
  std::mutex lock_;
  std::optional<RecordMap> cache_;
  bool lastWriteFailed_ = false;
};

}  // namespace meterwright
