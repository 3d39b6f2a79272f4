#include "core/sync/pairing/PairedDeviceStore.h"

#include <algorithm>

#include "core/sync/pairing/PairedDeviceCoding.h"

namespace meterwright {

PairedDeviceStore::PairedDeviceStore(std::shared_ptr<SecretStore> secrets, std::string service)
    : secrets_(std::move(secrets)), service_(std::move(service)) {}

PairedDeviceStore::RecordMap& PairedDeviceStore::load() {
  if (cache_) return *cache_;
  RecordMap records;
  // A missing, unreadable or corrupt item reads as an empty store and is not retried; the next
  // successful write replaces it.
  SecretReadResult stored =
      secrets_->read(service_, std::string(account), /*allowInteraction=*/false);
  if (stored.status == SecretStatus::success && stored.item) {
    if (auto decoded = PairedDeviceCoding::decodeRecords(stored.item->data)) {
      for (PairingRecord& record : *decoded) {
        Uuid id = record.device.id;
        records.insert_or_assign(id, std::move(record));
      }
    }
  }
  cache_ = std::move(records);
  return *cache_;
}

bool PairedDeviceStore::persist(RecordMap records) {
  cache_ = std::move(records);
  std::vector<PairingRecord> list;
  list.reserve(cache_->size());
  for (const auto& [id, record] : *cache_) list.push_back(record);
  auto document = PairedDeviceCoding::encode(list);
  if (!document) {
    lastWriteFailed_ = true;
    return false;
  }
  secrets_->remove(service_, std::string(account));
  if (cache_->empty()) {
    lastWriteFailed_ = false;
    return true;
  }
  SecretItem item{service_, std::string(account), std::string(label), std::move(*document), {}};
  bool added = secrets_->add(item) == SecretStatus::success;
  lastWriteFailed_ = !added;
  return added;
}

std::vector<PairingRecord> PairedDeviceStore::records() {
  std::lock_guard guard(lock_);
  std::vector<PairingRecord> list;
  for (const auto& [id, record] : load()) list.push_back(record);
  std::stable_sort(list.begin(), list.end(), [](const PairingRecord& a, const PairingRecord& b) {
    return a.device.pairedAt < b.device.pairedAt;
  });
  return list;
}

std::vector<PairedDevice> PairedDeviceStore::devices() {
  std::vector<PairedDevice> list;
  for (PairingRecord& record : records()) list.push_back(std::move(record.device));
  return list;
}

std::optional<PairingRecord> PairedDeviceStore::record(const Uuid& deviceID) {
  std::lock_guard guard(lock_);
  const RecordMap& records = load();
  auto found = records.find(deviceID);
  if (found == records.end()) return std::nullopt;
  return found->second;
}

bool PairedDeviceStore::save(const PairingRecord& record) {
  std::lock_guard guard(lock_);
  RecordMap records = load();
  records.insert_or_assign(record.device.id, record);
  return persist(std::move(records));
}

void PairedDeviceStore::remove(const Uuid& deviceID) {
  std::lock_guard guard(lock_);
  RecordMap records = load();
  records.erase(deviceID);
  persist(std::move(records));
}

void PairedDeviceStore::removeAll() {
  std::lock_guard guard(lock_);
  cache_ = RecordMap{};
  secrets_->remove(service_, std::string(account));
}

void PairedDeviceStore::markSeen(const Uuid& deviceID, Date date) {
  std::lock_guard guard(lock_);
  RecordMap records = load();
  auto found = records.find(deviceID);
  if (found == records.end()) return;
  found->second.device.lastSeenAt = date;
  persist(std::move(records));
}

bool PairedDeviceStore::isRemembering() {
  std::lock_guard guard(lock_);
  return !lastWriteFailed_;
}

std::optional<SymmetricKey> PairedDeviceStore::symmetricKey(std::string_view keyBytes) {
  return SymmetricKey::fromBytes(keyBytes);
}

}  // namespace meterwright
